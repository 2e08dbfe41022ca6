// polygonMesh: a mesh of planar polygons sharing vertices, convex or concave, holes allowed.
//
// Its polygons are split into triangles, all held by this one shape and traced with Embree. The
// normal of a polygon turns with its vertex order (counter-clockwise seen from the front). RIB:
// PointsPolygons, and PointsGeneralPolygons for polygons with holes. A mesh of 65,536 triangles
// or more is stored compactly, for about 50 bytes a triangle beyond its input arrays instead of
// 115; rays are then slower over it, about 7% when they are coherent and 15% when they scatter.
//
// Surface parameters: u, v (and su, sv) are the barycentrics of the second and third vertex of the
// triangle that was hit; face is that triangle's index. The primitive variables are constant, one
// value per polygon ("perpiece"), or one per vertex ("vertex", "linear"; face-varying data arrives
// as linear data indexed like the vertices). Per-vertex variables are bilinear over each polygon
// of four vertices, so no seam shows along its diagonal. A RIB file's "Cs" and "Os" arrive as "C"
// and "opacity".
//
// Parameters:
//   type          name       default   meaning
//   vertex point  P          required  the vertex positions ("Pw", homogeneous points, is accepted
//                                      in its place)
//   int[npolys]   nvertices  required  the vertex count of each polygon, or with "nloops" of each
//                                      loop
//   int[]         vertices   required  the vertex indices of every polygon (loop), one after the
//                                      other
//   int[npolys]   nloops     none      the loops of each polygon, the first its outline, the others
//                                      holes
//   normal        N          Ng        shading normal
//   color         C          Color     surface colour; the default is the current Color
//   color         opacity    Opacity   surface opacity; the default is the current Opacity
//   float         s          u         texture coordinate
//   float         t          v         texture coordinate
//   float[2]      st         u v       s and t together
//
// Example:
//   PointsPolygons [3 3] [0 1 2  0 2 3] "P" [0 0 0  1 0 0  1 1 0  0 1 0]
//     "st" [0 0  1 0  1 1  0 1]

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "core/geometry/hit.h"
#include "core/math/sampling.h"
#include "core/shading/environment.h"
#include "plugins/shapes/embree.h"
#include "plugins/shapes/faces.h"

namespace ovo {
namespace shapes {
namespace {

class PolygonMesh : public Shape {
  public:
    // From this many triangles on, a mesh is stored compactly (see build()).
    static constexpr std::size_t CompactTriangles = std::size_t(1) << 16;

    PolygonMesh(const Transform& o2w, const ShapeAttributes& attrs, std::vector<float> xyz,
                std::vector<uint32_t> tris, std::vector<uint32_t> polygonOfTriangle,
                std::size_t polygons)
        : Shape(o2w, attrs),
          xyz(std::move(xyz)),
          triangles(std::make_shared<const std::vector<uint32_t>>(std::move(tris))),
          nPolygons(polygons),
          flip(flipNormal(Normal(0.0f, 0.0f, 1.0f)).z < 0.0f) {
        if (!polygonOfTriangle.empty())
            polygonOf = std::make_shared<const std::vector<uint32_t>>(std::move(polygonOfTriangle));
        nVertices = (this->xyz.size() - 1) / 3;
        bound = Aabb(vertex(0));
        for (std::size_t i = 1; i < nVertices; ++i) bound += vertex(i);
        double sum = 0.0;
        for (std::size_t i = 0; i < triangles->size() / 3; ++i) sum += triangleArea(i);
        totalArea = sum;
    }

    ~PolygonMesh() override {
        if (scene) rtcReleaseScene(scene);
    }

    // Hands the data to Embree and builds its hierarchy; false with Embree's error.
    bool build(RTCError& error) {
        RTCDevice device = embreeDevice();
        if (!device) {
            error = rtcGetDeviceError(nullptr);
            return false;
        }
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        // The vertex array carries one float more than it needs: Embree reads vertices
        // sixteen bytes at a time.
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                   xyz.data(), 0, 3 * sizeof(float), nVertices);
        rtcSetSharedGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                   triangles->data(), 0, 3 * sizeof(uint32_t),
                                   triangles->size() / 3);
        if (!attributes.twoSided) {
            rtcSetGeometryUserData(geometry, this);
            rtcSetGeometryIntersectFilterFunction(geometry, &PolygonMesh::frontOnly);
            rtcSetGeometryOccludedFilterFunction(geometry, &PolygonMesh::frontOnly);
        }
        rtcCommitGeometry(geometry);
        scene = rtcNewScene(device);
        // Large meshes trade some speed for memory: Embree keeps indices in its leaves instead
        // of copies of the vertices, and builds with less scratch memory.
        if (triangles->size() / 3 >= CompactTriangles)
            rtcSetSceneFlags(scene, RTC_SCENE_FLAG_COMPACT);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene);
        error = rtcGetDeviceError(device);
        if (error != RTC_ERROR_NONE) return false;
        return true;
    }

    Aabb objectExtent() const override { return bound; }
    float area() const override { return float(totalArea); }

    bool intersect(const Ray& ray, Hit& hit) const override {
        RTCRayHit rh;
        if (!embreeRay(ray, attributes.bias, rh.ray)) return false;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        rtcIntersect1(scene, &context, &rh);
        if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return false;
        const uint32_t face = rh.hit.primID;
        const uint32_t* v = &(*triangles)[3 * std::size_t(face)];
        const Point p0 = vertex(v[0]);
        const Vector e1 = vertex(v[1]) - p0, e2 = vertex(v[2]) - p0;
        const float t = rh.ray.tfar;
        ShaderEnvironment& env = hit.env;
        hit.t = t;
        env.P = ray(t);
        // Embree's Ng is e1 × e2, worked out already: only dPdu and dPdv wait for the record.
        env.Ng = flipNormal(unitOrZero(Vector(rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z)));
        env.u = env.su = rh.hit.u;
        env.v = env.sv = rh.hit.v;
        env.face = face;
        env.dPdu = e1;
        env.dPdv = e2;
        env.dNdu = env.dNdv = Vector(0.0f);
        return true;
    }

    bool intersect(const Ray& ray) const override {
        RTCRay r;
        if (!embreeRay(ray, attributes.bias, r)) return false;
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        rtcOccluded1(scene, &context, &r);
        return r.tfar < 0.0f;  // Embree marks an occluded ray with tfar = -inf
    }

    // Uniform over the area: u picks a triangle in proportion to its area and is reused,
    // rescaled, to place the point in it.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        std::call_once(cumulativeOnce, [this] {
            const std::size_t n = triangles->size() / 3;
            cumulative.resize(n + 1);
            cumulative[0] = 0.0;
            for (std::size_t i = 0; i < n; ++i) cumulative[i + 1] = cumulative[i] + triangleArea(i);
        });
        const double total = cumulative.back();
        const double target = double(clamp(u, 0.0f, 1.0f)) * total;
        std::size_t k =
            std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                        cumulative.begin() - 1);
        k = std::min(k, cumulative.size() - 2);
        const double width = cumulative[k + 1] - cumulative[k];
        const float ur = width > 0.0 ? float((target - cumulative[k]) / width) : 0.5f;
        float b1, b2;
        UniformSampleTriangle(clamp(ur, 0.0f, 1.0f), v, b1, b2);
        const uint32_t* t = &(*triangles)[3 * k];
        const Point p0 = vertex(t[0]);
        const Vector e1 = vertex(t[1]) - p0, e2 = vertex(t[2]) - p0;
        env.P = p0 + (b1 * e1 + b2 * e2);
        env.Ng = flipNormal(unitOrZero(e1 ^ e2));
        env.u = env.su = b1;
        env.v = env.sv = b2;
        env.face = unsigned(k);
        env.dPdu = e1;
        env.dPdv = e2;
    }

    // Called before the interpolators are made: the quads whose per-vertex variables are
    // bilinear.
    void setQuads(std::shared_ptr<const QuadTable> table) { quads = std::move(table); }

    Interpolator<float>* createFloatInterpolator(Parameter& p) override {
        return faceInterpolator<float>(p, nVertices, nPolygons, triangles, polygonOf, quads);
    }
    Interpolator<Color>* createColorInterpolator(Parameter& p) override {
        return faceInterpolator<Color>(p, nVertices, nPolygons, triangles, polygonOf, quads);
    }
    Interpolator<Normal>* createNormalInterpolator(Parameter& p) override {
        return faceInterpolator<Normal>(p, nVertices, nPolygons, triangles, polygonOf, quads);
    }

    void readSt(const ParameterSet& params) {
        Parameter* st = params.find("st", TypeFloat);
        if (!st || !st->getFloats()) return;
        setS(faceInterpolator<float>(*st, nVertices, nPolygons, triangles, polygonOf, quads, 2, 0,
                                     true));
        setT(faceInterpolator<float>(*st, nVertices, nPolygons, triangles, polygonOf, quads, 2, 1,
                                     true));
    }

  private:
    Point vertex(std::size_t i) const { return Point(&xyz[3 * i]); }

    double triangleArea(std::size_t i) const {
        const uint32_t* t = &(*triangles)[3 * i];
        const Point p0 = vertex(t[0]);
        return 0.5 * double(Vector((vertex(t[1]) - p0) ^ (vertex(t[2]) - p0)).length());
    }

    // One-sided meshes: only hits on the front count. Embree's Ng is e1 × e2, ours before
    // the orientation flip.
    static void frontOnly(const RTCFilterFunctionNArguments* args) {
        const PolygonMesh* mesh = static_cast<const PolygonMesh*>(args->geometryUserPtr);
        for (unsigned i = 0; i < args->N; ++i) {
            if (args->valid[i] != -1) continue;
            float facing =
                RTCRayN_dir_x(args->ray, args->N, i) * RTCHitN_Ng_x(args->hit, args->N, i) +
                RTCRayN_dir_y(args->ray, args->N, i) * RTCHitN_Ng_y(args->hit, args->N, i) +
                RTCRayN_dir_z(args->ray, args->N, i) * RTCHitN_Ng_z(args->hit, args->N, i);
            if (mesh->flip) facing = -facing;
            if (!(facing < 0.0f)) args->valid[i] = 0;
        }
    }

    std::vector<float> xyz;  // packed positions and one spare float
    std::shared_ptr<const std::vector<uint32_t>> triangles;
    std::shared_ptr<const std::vector<uint32_t>> polygonOf;  // null: triangle i is polygon i
    std::shared_ptr<const QuadTable> quads;                  // null: no per-vertex variables
    std::size_t nVertices = 0, nPolygons = 0;
    bool flip;  // the orientation turns normals around
    Aabb bound;
    double totalArea = 0.0;
    RTCScene scene = nullptr;
    mutable std::once_flag cumulativeOnce;
    mutable std::vector<double> cumulative;  // area up to each triangle, made on first sample
};

// A parameter's length, or false when it is an open array that does not say.
bool lengthOf(const Parameter& p, std::size_t& n) {
    if (p.type().arraylen() == 0 && p.nvalues() <= 1) return false;
    const std::size_t declared = declaredValues(p);
    n = declared != 0 ? declared : 1;
    return true;
}

constexpr const char* TypeName = "polygonMesh";

// A mesh's polygons as given: loops per polygon, vertices per loop, and the vertex indices.
struct Topology {
    Parameter* nloopsP = nullptr;  // null: every polygon is one loop
    Parameter* nvertsP = nullptr;
    Parameter* vertsP = nullptr;
    std::size_t npolys = 0;
    std::vector<int> loopsOf;  // the loops of each polygon
    std::size_t nloopsTotal = 0, nindices = 0;
};

// "nvertices", "vertices" and the optional "nloops", and from them the number of polygons.
bool findArrays(RendererAPI& renderer, ParameterSet& params, Topology& m) {
    m.nloopsP = params.find("nloops", TypeInt);
    m.nvertsP = params.find("nvertices", TypeInt);
    m.vertsP = params.find("vertices", TypeInt);
    if (!m.nvertsP || !m.nvertsP->getInts()) {
        refuse(renderer, "%s: \"nvertices\" is missing. Ignoring ...", TypeName);
        return false;
    }
    if (!m.vertsP || !m.vertsP->getInts()) {
        refuse(renderer, "%s: \"vertices\" is missing. Ignoring ...", TypeName);
        return false;
    }
    if (m.nloopsP && !m.nloopsP->getInts()) m.nloopsP = nullptr;
    if (!lengthOf(m.nloopsP ? *m.nloopsP : *m.nvertsP, m.npolys)) {
        refuse(renderer,
               "%s: the number of polygons is not given (\"%s\" is an open array). "
               "Ignoring ...",
               TypeName, m.nloopsP ? "nloops" : "nvertices");
        return false;
    }
    return true;
}

// The loops of each polygon and of all.
bool countLoops(RendererAPI& renderer, Topology& m) {
    m.loopsOf.assign(m.npolys, 1);
    m.nloopsTotal = m.npolys;
    if (!m.nloopsP) return true;
    const int* nl = m.nloopsP->getInts();
    m.nloopsTotal = 0;
    for (std::size_t i = 0; i < m.npolys; ++i) {
        if (nl[i] < 1) {
            refuse(renderer, "%s: polygon %zu has %d loops; it needs at least 1. Ignoring ...",
                   TypeName, i, nl[i]);
            return false;
        }
        m.loopsOf[i] = nl[i];
        m.nloopsTotal += std::size_t(nl[i]);
    }
    return true;
}

// The vertex indices of all loops, each loop of at least three.
bool countIndices(RendererAPI& renderer, Topology& m) {
    if (tooShort(*m.nvertsP, m.nloopsTotal)) {
        refuse(renderer, "%s: \"nvertices\" holds %zu counts; the polygons need %zu. Ignoring ...",
               TypeName, declaredValues(*m.nvertsP), m.nloopsTotal);
        return false;
    }
    const int* nverts = m.nvertsP->getInts();
    m.nindices = 0;
    for (std::size_t l = 0; l < m.nloopsTotal; ++l) {
        if (nverts[l] < 3) {
            refuse(renderer, "%s: %s %zu has %d vertices; it needs at least 3. Ignoring ...",
                   TypeName, m.nloopsP ? "loop" : "polygon", l, nverts[l]);
            return false;
        }
        m.nindices += std::size_t(nverts[l]);
    }
    if (m.nindices > (std::size_t(1) << 31)) {
        refuse(renderer, "%s: %zu vertex indices are too many. Ignoring ...", TypeName, m.nindices);
        return false;
    }
    if (tooShort(*m.vertsP, m.nindices)) {
        refuse(renderer, "%s: \"vertices\" holds %zu indices; the polygons need %zu. Ignoring ...",
               TypeName, declaredValues(*m.vertsP), m.nindices);
        return false;
    }
    return true;
}

// Checks every index against "P"; `nvertices` becomes the number of points the mesh keeps: all
// of "P" when it declares its length, else up to the largest index.
bool checkIndices(RendererAPI& renderer, const Topology& m, const Positions& pos,
                  std::size_t& nvertices) {
    const int* verts = m.vertsP->getInts();
    int top = 0;
    for (std::size_t i = 0; i < m.nindices; ++i) {
        if (verts[i] < 0 || (pos.declared != 0 && std::size_t(verts[i]) >= pos.declared)) {
            if (pos.declared != 0)
                refuse(renderer,
                       "%s: vertex index %d is out of range (\"P\" holds %zu points). "
                       "Ignoring ...",
                       TypeName, verts[i], pos.declared);
            else
                refuse(renderer, "%s: vertex index %d is out of range. Ignoring ...", TypeName,
                       verts[i]);
            return false;
        }
        top = std::max(top, verts[i]);
    }
    nvertices = pos.declared != 0 ? pos.declared : std::size_t(top) + 1;
    return true;
}

// The first `nvertices` points, packed, with the spare float Embree's reads need; false when
// one is not finite.
bool packPositions(RendererAPI& renderer, const Positions& pos, std::size_t nvertices,
                   std::vector<float>& xyz) {
    xyz.assign(3 * nvertices + 1, 0.0f);
    for (std::size_t i = 0; i < nvertices; ++i) {
        const Point p = pos.at(i);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refuse(renderer, "%s: point %zu of \"P\" is not finite. Ignoring ...", TypeName, i);
            return false;
        }
        xyz[3 * i] = p.x;
        xyz[3 * i + 1] = p.y;
        xyz[3 * i + 2] = p.z;
    }
    return true;
}

// A four-sided polygon split into the triangles `first` and `first + 1`.
struct QuadSource {
    std::size_t first;
    uint32_t vertex[4];
};

// Whether any primitive variable but the positions is given per vertex: only then do the
// quads need a table.
bool hasVertexVariables(const ParameterSet& params) {
    for (const Parameter* p : params) {
        const unsigned interpolation = p->type().interpolation();
        if ((interpolation == InterpVertex || interpolation == InterpLinear) && p->name() != "P" &&
            p->name() != "Pw")
            return true;
    }
    return false;
}

// The triangles of every polygon. Triangles pass as they are; once a polygon is split,
// `polygonOf` names the polygon of every triangle (until then it stays empty: triangle i is
// polygon i).
void triangulate(const std::vector<float>& xyz, const Topology& m, std::vector<uint32_t>& tris,
                 std::vector<uint32_t>& polygonOf, std::vector<QuadSource>& quads) {
    const int* nverts = m.nvertsP->getInts();
    const int* verts = m.vertsP->getInts();
    tris.reserve(3 * (m.nindices - 2 * m.nloopsTotal));
    bool allTriangles = true;
    Triangulator triangulator;
    std::size_t loop = 0, index = 0;
    for (std::size_t poly = 0; poly < m.npolys; ++poly) {
        const int nl = m.loopsOf[poly];
        const uint32_t* idx = reinterpret_cast<const uint32_t*>(verts + index);
        const std::size_t before = tris.size();
        if (nl == 1 && nverts[loop] == 3) {
            tris.insert(tris.end(), idx, idx + 3);
        } else {
            if (allTriangles) {
                allTriangles = false;
                polygonOf.reserve(tris.size() / 3 + m.npolys);
                for (std::size_t f = 0; f < tris.size() / 3; ++f) polygonOf.push_back(uint32_t(f));
            }
            triangulator.run(xyz.data(), idx, nverts + loop, nl, tris);
            if (nl == 1 && nverts[loop] == 4 && tris.size() == before + 6)
                quads.push_back(QuadSource{before / 3, {idx[0], idx[1], idx[2], idx[3]}});
        }
        if (!allTriangles)
            for (std::size_t f = before; f < tris.size(); f += 3)
                polygonOf.push_back(uint32_t(poly));
        for (int l = 0; l < nl; ++l) index += std::size_t(nverts[loop + std::size_t(l)]);
        loop += std::size_t(nl);
    }
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const Positions pos = findPositions(params);
    if (!pos.found()) {
        refuse(renderer, "%s: \"P\" is missing. Ignoring ...", TypeName);
        return nullptr;
    }
    Topology m;
    std::size_t nvertices = 0;
    std::vector<float> xyz;
    if (!findArrays(renderer, params, m) || !countLoops(renderer, m) ||
        !countIndices(renderer, m) || !checkIndices(renderer, m, pos, nvertices) ||
        !packPositions(renderer, pos, nvertices, xyz))
        return nullptr;
    std::vector<uint32_t> tris, polygonOf;
    std::vector<QuadSource> quadSources;
    triangulate(xyz, m, tris, polygonOf, quadSources);
    if (tris.empty()) {
        refuse(renderer, "%s: no polygon encloses any area. Ignoring ...", TypeName);
        return nullptr;
    }

    std::shared_ptr<QuadTable> quads;
    if (!quadSources.empty() && hasVertexVariables(params)) {
        quads = std::make_shared<QuadTable>(tris.size() / 3);
        for (const QuadSource& q : quadSources)
            quads->add(xyz.data(), tris.data(), q.first, q.vertex);
    }
    std::unique_ptr<PolygonMesh> mesh(new PolygonMesh(objectToWorld, attributes, std::move(xyz),
                                                      std::move(tris), std::move(polygonOf),
                                                      m.npolys));
    mesh->setQuads(std::move(quads));
    RTCError error = RTC_ERROR_NONE;
    if (!mesh->build(error)) {
        refuse(renderer, "%s: Embree could not build the mesh (%s). Ignoring ...", TypeName,
               embreeError(error));
        return nullptr;
    }
    mesh->readSt(params);
    return mesh.release();
}

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
