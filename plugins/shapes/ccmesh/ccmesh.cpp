// ccmesh: a Catmull-Clark subdivision surface with creases, corners, holes, face-varying data.
//
// RIB: SubdivisionMesh "catmull-clark". The faces (3 to 15 vertices each, counter-clockwise seen
// from the front) are a control cage; what is drawn is its limit surface, exactly: the ray meets
// the limit surface itself, and its normal and derivatives are the limit surface's, smooth across
// faces. Tags: "crease" (a chain of vertices whose edges get the sharpness given; 10 and above is
// infinitely sharp), "corner" (vertices, one sharpness for all or one each), "hole" (faces left
// out), "interpolateboundary" (0 or no tag: the boundary faces are dropped; 1: the boundary is
// interpolated and its corners pinned; 2: the boundary is interpolated, corners smooth) and
// "facevaryinginterpolateboundary" (0 smooth, 1 and 2 corners pinned (the default), 3 boundaries
// linear). Other tags are reported once and left out. Surface parameters: u and v run from 0 to 1
// over each quadrilateral face, and over each quarter of any other face (from a vertex to the
// middles of its edges and the face's centre); face is the face; su and sv are the position
// within the face in the subdivision's own numbering. The primitive variables are constant, one
// value per face ("perpiece"), one per vertex interpolated bilinearly on each face ("linear") or
// on the limit surface ("vertex"), or one per face corner when named in "facevarying" (smooth
// where the data is continuous, with its seams kept). A RIB file's "Cs" and "Os" arrive as "C" and
// "opacity".
//
// Parameters:
//   type          name         default   meaning
//   int[npolys]   nvertices    required  the vertex count of each face
//   int[]         vertices     required  the vertex indices of every face, one after the other
//   vertex point  P            required  the control points ("Pw", homogeneous points, is
//                                        accepted in its place)
//   string[k]     tags         none      the tag names
//   int[2k]       nargs        none      per tag: its integer and its float arguments
//   int[]         intargs      none      the integer arguments of all tags
//   float[]       floatargs    none      the float arguments of all tags
//   string[]      facevarying  none      the names of the variables given per face corner
//   normal        N            limit     shading normal
//   color         C            Color     surface colour; the default is the current Color
//   color         opacity      Opacity   surface opacity; the default is the current Opacity
//   float         s            u         texture coordinate
//   float         t            v         texture coordinate
//   float[2]      st           u v       s and t together
//
// Example:
//   SubdivisionMesh "catmull-clark" [4 4 4 4 4 4] [0 1 3 2 2 3 5 4 4 5 7 6 6 7 1 0 1 7 5 3
//     6 0 2 4] ["crease"] [2 1] [0 1] [10] "P" [-1 -1 1  1 -1 1  -1 1 1  1 1 1  -1 1 -1  1 1 -1
//     -1 -1 -1  1 -1 -1]
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "plugins/shapes/ccmesh/subdivision.h"

using namespace ovo;
using namespace ovo::shapes;

namespace {

constexpr const char* TypeName = "ccmesh";

// The faces: their sizes and vertex indices, checked against "P".
bool readFaces(RendererAPI& renderer, const ParameterSet& params, const Positions& pos,
               SubdivisionInput& m) {
    Parameter* nverts = params.find("nvertices", TypeInt);
    Parameter* verts = params.find("vertices", TypeInt);
    if (!nverts || !nverts->getInts() || !verts || !verts->getInts()) {
        refuse(renderer, "%s: \"nvertices\" and \"vertices\" are needed. Ignoring ...", TypeName);
        return false;
    }
    // A declared array of one face declares no more than its one value.
    const std::size_t nfaces = nverts->type().arraylen() > 0
                                   ? std::max<std::size_t>(1, declaredValues(*nverts))
                                   : declaredValues(*nverts);
    if (nfaces == 0) {
        refuse(renderer,
               "%s: the number of faces is not given (\"nvertices\" is an open array). "
               "Ignoring ...",
               TypeName);
        return false;
    }
    const int* sizes = nverts->getInts();
    std::size_t total = 0;
    for (std::size_t f = 0; f < nfaces; ++f) {
        if (sizes[f] < 3 || sizes[f] > 15) {
            refuse(renderer, "%s: face %zu has %d vertices; a face needs 3 to 15. Ignoring ...",
                   TypeName, f, sizes[f]);
            return false;
        }
        total += std::size_t(sizes[f]);
    }
    if (tooShort(*verts, total)) {
        refuse(renderer, "%s: \"vertices\" holds %zu indices; the faces need %zu. Ignoring ...",
               TypeName, declaredValues(*verts), total);
        return false;
    }
    const int* idx = verts->getInts();
    int top = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (idx[i] < 0 || (pos.declared != 0 && std::size_t(idx[i]) >= pos.declared)) {
            refuse(renderer, "%s: vertex index %d is out of range. Ignoring ...", TypeName, idx[i]);
            return false;
        }
        top = std::max(top, idx[i]);
    }
    m.faceSizes.assign(sizes, sizes + nfaces);
    m.indices.assign(idx, idx + total);
    const std::size_t n = pos.declared != 0 ? pos.declared : std::size_t(top) + 1;
    m.xyz.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point p = pos.at(i);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refuse(renderer, "%s: point %zu of \"P\" is not finite. Ignoring ...", TypeName, i);
            return false;
        }
        m.xyz[3 * i] = p.x;
        m.xyz[3 * i + 1] = p.y;
        m.xyz[3 * i + 2] = p.z;
    }
    return true;
}

// A sharpness as Embree's weight: the levels of sharp rules, infinite from 10 up.
float sharpness(float s) { return s >= 10.0f ? std::numeric_limits<float>::infinity() : s; }

RTCSubdivisionMode boundaryMode(int rule) {
    switch (rule) {
        case 0:
            return RTC_SUBDIVISION_MODE_NO_BOUNDARY;
        case 2:
            return RTC_SUBDIVISION_MODE_SMOOTH_BOUNDARY;
        default:
            return RTC_SUBDIVISION_MODE_PIN_CORNERS;
    }
}

RTCSubdivisionMode faceVaryingMode(int rule) {
    switch (rule) {
        case 0:
            return RTC_SUBDIVISION_MODE_SMOOTH_BOUNDARY;
        case 3:
            return RTC_SUBDIVISION_MODE_PIN_BOUNDARY;
        default:
            return RTC_SUBDIVISION_MODE_PIN_CORNERS;
    }
}

// Long because it is the table of tags: each takes its arguments in order from the shared
// integer and float arrays.
bool readTags(RendererAPI& renderer, const ParameterSet& params, SubdivisionInput& m) {
    m.faceVaryingBoundary = faceVaryingMode(1);
    Parameter* tagsP = params.find("tags", TypeString);
    if (!tagsP || !tagsP->getStrings()) return true;
    const std::size_t ntags = std::max<std::size_t>(1, declaredValues(*tagsP));
    Parameter* nargsP = params.find("nargs", TypeInt);
    Parameter* intsP = params.find("intargs", TypeInt);
    Parameter* floatsP = params.find("floatargs", TypeFloat);
    if (!nargsP || !nargsP->getInts() || tooShort(*nargsP, 2 * ntags)) {
        refuse(renderer, "%s: \"nargs\" must give two counts per tag. Ignoring ...", TypeName);
        return false;
    }
    const int* nargs = nargsP->getInts();
    const int* ints = intsP ? intsP->getInts() : nullptr;
    const float* floats = floatsP ? floatsP->getFloats() : nullptr;
    std::size_t needInts = 0, needFloats = 0;
    for (std::size_t t = 0; t < ntags; ++t) {
        if (nargs[2 * t] < 0 || nargs[2 * t + 1] < 0) {
            refuse(renderer, "%s: tag %zu has a negative argument count. Ignoring ...", TypeName,
                   t);
            return false;
        }
        needInts += std::size_t(nargs[2 * t]);
        needFloats += std::size_t(nargs[2 * t + 1]);
    }
    if ((needInts && (!ints || tooShort(*intsP, needInts))) ||
        (needFloats && (!floats || tooShort(*floatsP, needFloats)))) {
        refuse(renderer, "%s: the tags need %zu integer and %zu float arguments. Ignoring ...",
               TypeName, needInts, needFloats);
        return false;
    }
    const std::size_t nverts = m.xyz.size() / 3, nfaces = m.faceSizes.size();
    const char* const* names = tagsP->getStrings();
    std::set<std::string> reported;
    for (std::size_t t = 0, io = 0, fo = 0; t < ntags; ++t) {
        const std::string tag = names[t] ? names[t] : "";
        const int ni = nargs[2 * t], nf = nargs[2 * t + 1];
        const int* in = ints ? ints + io : nullptr;
        const float* fl = floats ? floats + fo : nullptr;
        io += std::size_t(ni);
        fo += std::size_t(nf);
        auto vertexOk = [&](int v) { return v >= 0 && std::size_t(v) < nverts; };
        if (tag == "crease" && ni >= 2 && nf >= 1) {
            const float w = sharpness(fl[0]);
            if (!(w > 0.0f)) continue;
            for (int k = 0; k + 1 < ni; ++k) {
                if (!vertexOk(in[k]) || !vertexOk(in[k + 1])) continue;
                m.creaseEdges.push_back(uint32_t(in[k]));
                m.creaseEdges.push_back(uint32_t(in[k + 1]));
                m.creaseWeights.push_back(w);
            }
        } else if (tag == "corner" && nf >= 1) {
            for (int k = 0; k < ni; ++k) {
                const float w = sharpness(fl[nf == ni ? k : 0]);
                if (!vertexOk(in[k]) || !(w > 0.0f)) continue;
                m.cornerVertices.push_back(uint32_t(in[k]));
                m.cornerWeights.push_back(w);
            }
        } else if (tag == "hole") {
            for (int k = 0; k < ni; ++k)
                if (in[k] >= 0 && std::size_t(in[k]) < nfaces) m.holes.push_back(uint32_t(in[k]));
        } else if (tag == "interpolateboundary") {
            m.boundary = boundaryMode(ni > 0 ? in[0] : 1);
        } else if (tag == "facevaryinginterpolateboundary") {
            m.faceVaryingBoundary = faceVaryingMode(ni > 0 ? in[0] : 1);
        } else if (reported.insert(tag).second) {
            if (ErrorManager* errors = renderer.GetErrorManager())
                errors->Warning("%s: tag \"%s\" is not supported. Ignoring it ...", TypeName,
                                tag.c_str());
        }
    }
    return true;
}

// The names listed in "facevarying".
std::vector<std::string> faceVaryingNames(const ParameterSet& params) {
    std::vector<std::string> names;
    Parameter* p = params.find("facevarying", TypeString);
    if (!p || !p->getStrings()) return names;
    const std::size_t n = std::max<std::size_t>(1, declaredValues(*p));
    for (std::size_t i = 0; i < n; ++i)
        if (p->getStrings()[i]) names.push_back(p->getStrings()[i]);
    return names;
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const Positions pos = findPositions(params);
    if (!pos.found()) {
        refuse(renderer, "%s: \"P\" is missing. Ignoring ...", TypeName);
        return nullptr;
    }
    SubdivisionInput input;
    if (!readFaces(renderer, params, pos, input) || !readTags(renderer, params, input))
        return nullptr;
    std::unique_ptr<SubdivisionMesh> mesh(
        new SubdivisionMesh(objectToWorld, attributes, std::move(input)));
    RTCError error = RTC_ERROR_NONE;
    if (!mesh->build(params, faceVaryingNames(params), error)) {
        refuse(renderer, "%s: Embree could not build the surface (%s). Ignoring ...", TypeName,
               embreeError(error));
        return nullptr;
    }
    mesh->readSt(params);
    return mesh.release();
}

}  // namespace

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
