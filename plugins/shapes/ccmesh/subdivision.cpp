// The Catmull-Clark surface: building Embree's geometry with its variables, and the hits.
#include "plugins/shapes/ccmesh/subdivision.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <tuple>

namespace ovo {
namespace shapes {

namespace {

// Tessellation segments along an edge, from its length against the mesh's size: enough for
// silhouettes of a coarse cage, one for a dense one. Hits are exact either way.
float edgeLevel(float length, float scale) {
    return clamp(std::ceil(32.0f * length / scale), 1.0f, 16.0f);
}

Vector vec(const float* f) { return Vector(f[0], f[1], f[2]); }

}  // namespace

SubdivisionMesh::SubdivisionMesh(const Transform& o2w, const ShapeAttributes& attrs,
                                 SubdivisionInput input)
    : Shape(o2w, attrs), mesh(std::move(input)) {
    nVertices = mesh.xyz.size() / 3;
    bound = Aabb(Point(&mesh.xyz[0]));
    for (std::size_t i = 1; i < nVertices; ++i) bound += Point(&mesh.xyz[3 * i]);
    const float diagonal = (Point(bound.bmax) - Point(bound.bmin)).length();
    scale = diagonal > 0.0f ? diagonal : 1.0f;
    bound.expand(1e-5f * scale);
    firstIndex.resize(mesh.faceSizes.size());
    uint32_t at = 0;
    for (std::size_t f = 0; f < mesh.faceSizes.size(); ++f) {
        firstIndex[f] = at;
        at += mesh.faceSizes[f];
    }
}

// Long for its list of buffers: topology, creases, corners, holes, levels and variables.
bool SubdivisionMesh::build(const ParameterSet& params, const std::vector<std::string>& faceVarying,
                            RTCError& error) {
    RTCDevice device = embreeDevice();
    RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_SUBDIVISION);
    const std::size_t nfaces = mesh.faceSizes.size(), nindices = mesh.indices.size();
    std::memcpy(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_FACE, 0, RTC_FORMAT_UINT,
                                        sizeof(uint32_t), nfaces),
                mesh.faceSizes.data(), nfaces * sizeof(uint32_t));
    std::memcpy(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT,
                                        sizeof(uint32_t), nindices),
                mesh.indices.data(), nindices * sizeof(uint32_t));
    // Four floats a point, the fourth 0: Embree reads points sixteen bytes at a time and
    // checks every lane of them.
    float* points = static_cast<float*>(rtcSetNewGeometryBuffer(
        g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 4 * sizeof(float), nVertices));
    for (std::size_t i = 0; i < nVertices; ++i) {
        std::copy(&mesh.xyz[3 * i], &mesh.xyz[3 * i + 3], &points[4 * i]);
        points[4 * i + 3] = 0.0f;
    }
    float* levels = static_cast<float*>(rtcSetNewGeometryBuffer(
        g, RTC_BUFFER_TYPE_LEVEL, 0, RTC_FORMAT_FLOAT, sizeof(float), nindices));
    for (std::size_t f = 0; f < nfaces; ++f) {
        const uint32_t n = mesh.faceSizes[f], first = firstIndex[f];
        for (uint32_t k = 0; k < n; ++k) {
            const Point a(&mesh.xyz[3 * std::size_t(mesh.indices[first + k])]);
            const Point b(&mesh.xyz[3 * std::size_t(mesh.indices[first + (k + 1) % n])]);
            levels[first + k] = edgeLevel((b - a).length(), scale);
        }
    }
    if (!mesh.creaseWeights.empty()) {
        std::memcpy(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_EDGE_CREASE_INDEX, 0, RTC_FORMAT_UINT2,
                                    2 * sizeof(uint32_t), mesh.creaseWeights.size()),
            mesh.creaseEdges.data(), mesh.creaseEdges.size() * sizeof(uint32_t));
        std::memcpy(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_EDGE_CREASE_WEIGHT, 0, RTC_FORMAT_FLOAT,
                                    sizeof(float), mesh.creaseWeights.size()),
            mesh.creaseWeights.data(), mesh.creaseWeights.size() * sizeof(float));
    }
    if (!mesh.cornerWeights.empty()) {
        std::memcpy(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX_CREASE_INDEX, 0, RTC_FORMAT_UINT,
                                    sizeof(uint32_t), mesh.cornerVertices.size()),
            mesh.cornerVertices.data(), mesh.cornerVertices.size() * sizeof(uint32_t));
        std::memcpy(
            rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX_CREASE_WEIGHT, 0, RTC_FORMAT_FLOAT,
                                    sizeof(float), mesh.cornerWeights.size()),
            mesh.cornerWeights.data(), mesh.cornerWeights.size() * sizeof(float));
    }
    if (!mesh.holes.empty())
        std::memcpy(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_HOLE, 0, RTC_FORMAT_UINT,
                                            sizeof(uint32_t), mesh.holes.size()),
                    mesh.holes.data(), mesh.holes.size() * sizeof(uint32_t));

    // The variables Embree interpolates: vertex and varying ones, and face-varying data. Each
    // face-varying variable and the varying ones get a topology of their own.
    struct Wanted {
        std::string key;
        const Parameter* p;
        int stride, offset, floats;
        bool faceVarying;
    };
    std::vector<Wanted> wanted;
    auto want = [&](const char* name, BaseType type, int floats) {
        const Parameter* p = params.find(name, type);
        if (!p || !p->getFloats() || p->type().arraylen() > 1) return;
        const Interpolation c = p->type().interpolation();
        if (c != InterpLinear && c != InterpVertex) return;
        const bool fv =
            std::find(faceVarying.begin(), faceVarying.end(), name) != faceVarying.end();
        wanted.push_back({name, p, floats, 0, floats, fv});
    };
    want("N", TypeNormal, 3);
    want("C", TypeColor, 3);
    want("opacity", TypeColor, 3);
    want("s", TypeFloat, 1);
    want("t", TypeFloat, 1);
    if (const Parameter* st = params.find("st", TypeFloat)) {
        const Interpolation c = st->type().interpolation();
        if (st->getFloats() && (c == InterpLinear || c == InterpVertex)) {
            const bool fv =
                std::find(faceVarying.begin(), faceVarying.end(), "st") != faceVarying.end();
            wanted.push_back({"st:0", st, 2, 0, 1, fv});
            wanted.push_back({"st:1", st, 2, 1, 1, fv});
        }
    }
    bool varying = false;
    unsigned faceVaryingCount = 0;
    for (const Wanted& w : wanted) {
        if (w.faceVarying)
            ++faceVaryingCount;
        else if (w.p->type().interpolation() == InterpLinear)
            varying = true;
    }
    topologies = 1 + (varying ? 1u : 0u) + faceVaryingCount;
    rtcSetGeometryTopologyCount(g, topologies);
    rtcSetGeometrySubdivisionMode(g, 0, mesh.boundary);
    if (varying) {
        // The same faces, interpolated linearly: varying values are bilinear on each face.
        std::memcpy(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 1, RTC_FORMAT_UINT,
                                            sizeof(uint32_t), nindices),
                    mesh.indices.data(), nindices * sizeof(uint32_t));
        rtcSetGeometrySubdivisionMode(g, 1, RTC_SUBDIVISION_MODE_PIN_ALL);
    }
    rtcSetGeometryVertexAttributeCount(g, unsigned(wanted.size()));
    unsigned nextTopology = varying ? 2u : 1u;
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        const Wanted& w = wanted[k];
        const unsigned topology = w.faceVarying                                 ? nextTopology++
                                  : w.p->type().interpolation() == InterpLinear ? 1u
                                                                                : 0u;
        addSlot(g, unsigned(k), topology, w.key, *w.p, w.stride, w.offset, w.floats, w.faceVarying);
    }
    if (!attributes.twoSided) {
        rtcSetGeometryUserData(g, this);
        rtcSetGeometryIntersectFilterFunction(g, &SubdivisionMesh::frontOnly);
        rtcSetGeometryOccludedFilterFunction(g, &SubdivisionMesh::frontOnly);
    }
    return embree.build(g, error);
}

// One-sided surfaces: only hits on the front count. Embree's normal turns like dPdu × dPdv.
void SubdivisionMesh::frontOnly(const RTCFilterFunctionNArguments* args) {
    const SubdivisionMesh* self = static_cast<const SubdivisionMesh*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1) continue;
        const Normal ng(RTCHitN_Ng_x(args->hit, args->N, i), RTCHitN_Ng_y(args->hit, args->N, i),
                        RTCHitN_Ng_z(args->hit, args->N, i));
        const Vector d(RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                       RTCRayN_dir_z(args->ray, args->N, i));
        if (!self->isFrontFacing(d, self->flipNormal(ng))) args->valid[i] = 0;
    }
}

// One variable as an attribute slot of the geometry. Face-varying data (one value per face
// corner) gets a topology of its own in which corners of one vertex with equal values share an
// index, so that the data is smooth wherever it is continuous and keeps its seams.
void SubdivisionMesh::addSlot(RTCGeometry g, unsigned slot, unsigned topology,
                              const std::string& key, const Parameter& p, int stride, int offset,
                              int floats, bool corners) {
    const std::size_t perElement = std::size_t(ParamType::BaseTypeNFloats(p.type().basetype()));
    const std::size_t count = corners ? mesh.indices.size() : nVertices;
    if (perElement == 0 || tooShort(p, count, std::size_t(stride) / perElement)) return;
    const float* f = p.getFloats();
    // Values of four floats, the unused ones 0, for the same reason as the points.
    auto attribute = [&](std::size_t n) {
        float* out = static_cast<float*>(rtcSetNewGeometryBuffer(
            g, RTC_BUFFER_TYPE_VERTEX_ATTRIBUTE, slot, RTC_FORMAT_FLOAT4, 4 * sizeof(float), n));
        std::fill(out, out + 4 * n, 0.0f);
        return out;
    };
    if (!corners) {
        float* out = attribute(count);
        for (std::size_t i = 0; i < count; ++i)
            for (int c = 0; c < floats; ++c)
                out[4 * i + std::size_t(c)] = f[i * std::size_t(stride) + std::size_t(offset + c)];
    } else {
        // Corners sorted by vertex and value; equal neighbours share one index.
        const std::size_t n = mesh.indices.size();
        std::vector<uint32_t> order(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = uint32_t(i);
        auto value = [&](uint32_t corner, int c) {
            return f[std::size_t(corner) * std::size_t(stride) + std::size_t(offset + c)];
        };
        auto less = [&](uint32_t a, uint32_t b) {
            if (mesh.indices[a] != mesh.indices[b]) return mesh.indices[a] < mesh.indices[b];
            for (int c = 0; c < floats; ++c)
                if (value(a, c) != value(b, c)) return value(a, c) < value(b, c);
            return false;
        };
        std::sort(order.begin(), order.end(), less);
        std::vector<uint32_t> index(n);
        std::vector<float> values;
        for (std::size_t k = 0; k < n; ++k) {
            if (k == 0 || less(order[k - 1], order[k]))
                for (int c = 0; c < floats; ++c) values.push_back(value(order[k], c));
            index[order[k]] = uint32_t(values.size() / std::size_t(floats) - 1);
        }
        std::memcpy(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, topology, RTC_FORMAT_UINT,
                                            sizeof(uint32_t), n),
                    index.data(), n * sizeof(uint32_t));
        rtcSetGeometrySubdivisionMode(g, topology, mesh.faceVaryingBoundary);
        const std::size_t m = values.size() / std::size_t(floats);
        float* out = attribute(m);
        for (std::size_t i = 0; i < m; ++i)
            for (int c = 0; c < floats; ++c)
                out[4 * i + std::size_t(c)] = values[i * std::size_t(floats) + std::size_t(c)];
    }
    rtcSetGeometryVertexAttributeTopology(g, slot, topology);
    slots[key] = EmbreeSlot{slot, floats};
}

template <class T>
Interpolator<T>* SubdivisionMesh::variable(const std::string& key, const Parameter& p) {
    if (!fitsVariable<T>(p, false)) return nullptr;
    switch (p.type().interpolation()) {
        case InterpConstant:
            return constantFrom<T>(p);
        case InterpPerPiece: {
            std::vector<T> values = readValues<T>(p, mesh.faceSizes.size());
            if (values.empty()) return nullptr;
            return new PieceInterpolator<T>(std::move(values), nullptr);
        }
        default: {
            auto found = slots.find(key);
            if (found == slots.end()) return nullptr;
            return new SubdivisionInterpolator<T>(embree.geometry, found->second);
        }
    }
}

template Interpolator<float>* SubdivisionMesh::variable<float>(const std::string&,
                                                               const Parameter&);
template Interpolator<Color>* SubdivisionMesh::variable<Color>(const std::string&,
                                                               const Parameter&);
template Interpolator<Normal>* SubdivisionMesh::variable<Normal>(const std::string&,
                                                                 const Parameter&);

void SubdivisionMesh::readSt(const ParameterSet& params) {
    Parameter* st = params.find("st", TypeFloat);
    if (!st || !st->getFloats()) return;
    const Interpolation c = st->type().interpolation();
    if (c == InterpConstant) {
        setS(constantFrom<float>(*st, 0));
        setT(constantFrom<float>(*st, 1));
    } else if (c == InterpPerPiece) {
        std::vector<float> s = readValues<float>(*st, mesh.faceSizes.size(), 2, 0);
        std::vector<float> t = readValues<float>(*st, mesh.faceSizes.size(), 2, 1);
        if (!s.empty()) setS(new PieceInterpolator<float>(std::move(s), nullptr));
        if (!t.empty()) setT(new PieceInterpolator<float>(std::move(t), nullptr));
    } else {
        auto s = slots.find("st:0"), t = slots.find("st:1");
        if (s != slots.end()) setS(new SubdivisionInterpolator<float>(embree.geometry, s->second));
        if (t != slots.end()) setT(new SubdivisionInterpolator<float>(embree.geometry, t->second));
    }
}

// ---------------------------------------------------------------------------------------------
// Hits

SubdivisionMesh::Limit SubdivisionMesh::limit(unsigned face, float u, float v, bool second) const {
    float P[3], du[3], dv[3], duu[3] = {0, 0, 0}, dvv[3] = {0, 0, 0}, duv[3] = {0, 0, 0};
    RTCInterpolateArguments a = {};
    a.geometry = embree.geometry;
    a.primID = face;
    a.u = u;
    a.v = v;
    a.bufferType = RTC_BUFFER_TYPE_VERTEX;
    a.bufferSlot = 0;
    a.P = P;
    a.dPdu = du;
    a.dPdv = dv;
    if (second) {
        a.ddPdudu = duu;
        a.ddPdvdv = dvv;
        a.ddPdudv = duv;
    }
    a.valueCount = 3;
    rtcInterpolate(&a);
    return Limit{Point(P[0], P[1], P[2]), vec(du), vec(dv), vec(duu), vec(dvv), vec(duv)};
}

void SubdivisionMesh::quadOrigin(unsigned face, float u, float v, float& ou, float& ov) const {
    if (mesh.faceSizes[face] == 4) {
        ou = ov = 0.0f;
        return;
    }
    ou = 2.0f * std::floor(0.5f * u) + 0.5f;
    ov = 2.0f * std::floor(0.5f * v) + 0.5f;
}

// Newton's method on the two planes that meet along the ray, within the quadrilateral the
// tessellation's hit lies in; false (and the arguments as they were) when it does not settle
// there within the ray's interval. `at` receives the limit surface where it settled.
bool SubdivisionMesh::refine(const Ray& ray, unsigned face, float& u, float& v, float& t,
                             Limit& at) const {
    const Vector d = ray.d;
    Vector n1 = std::fabs(d.x) > std::fabs(d.z) ? Vector(-d.y, d.x, 0.0f) : Vector(0.0f, -d.z, d.y);
    n1 = Vector(n1.hat());
    const Vector n2 = Vector((d ^ n1).hat());
    float ou, ov;
    quadOrigin(face, u, v, ou, ov);
    float uu = u, vv = v;
    for (int iteration = 0; iteration < 4; ++iteration) {
        const Limit l = limit(face, uu, vv, true);
        const Vector off = l.P - ray.o;
        const float F1 = dot(n1, off), F2 = dot(n2, off);
        if (std::fabs(F1) + std::fabs(F2) < 1e-6f * (scale + off.length())) {
            const float th = dot(off, d) / dot(d, d);
            if (!(th >= ray.mint && th <= ray.maxt) || !checkHitBias(ray, l.P)) return false;
            u = uu;
            v = vv;
            t = th;
            at = l;
            return true;
        }
        const float a = dot(n1, l.dPdu), b = dot(n1, l.dPdv), c = dot(n2, l.dPdu),
                    e = dot(n2, l.dPdv);
        const float det = a * e - b * c;
        if (!(std::fabs(det) > 0.0f)) return false;
        uu -= (e * F1 - b * F2) / det;
        vv -= (a * F2 - c * F1) / det;
        const float slack = 1e-4f;
        if (!(uu >= ou - slack && uu <= ou + 1.0f + slack && vv >= ov - slack &&
              vv <= ov + 1.0f + slack))
            return false;
        uu = clamp(uu, ou, ou + 1.0f);
        vv = clamp(vv, ov, ov + 1.0f);
    }
    return false;
}

void SubdivisionMesh::fill(ShaderEnvironment& env, unsigned face, float u, float v, const Limit& l,
                           const Vector& fallback) const {
    float ou, ov;
    quadOrigin(face, u, v, ou, ov);
    env.u = clamp(u - ou, 0.0f, 1.0f);
    env.v = clamp(v - ov, 0.0f, 1.0f);
    env.su = u;
    env.sv = v;
    env.face = face;
    env.dPdu = l.dPdu;
    env.dPdv = l.dPdv;
    Vector n = l.dPdu ^ l.dPdv;
    const bool degenerate = !(n.length() > 1e-6f * l.dPdu.length() * l.dPdv.length());
    if (degenerate) n = fallback;
    const Normal ng = unitOrZero(n);
    env.Ng = flipNormal(ng);
    if (degenerate) {
        env.dNdu = env.dNdv = Vector(0.0f);
        return;
    }
    computeNormalDerivatives(l.dPdu, l.dPdv, l.dPduu, l.dPduv, l.dPdvv, ng, env.dNdu, env.dNdv);
    if (dot(env.Ng, ng) < 0.0f) {
        env.dNdu = -env.dNdu;
        env.dNdv = -env.dNdv;
    }
}

bool SubdivisionMesh::intersect(const Ray& ray, Hit& hit) const {
    RTCRayHit rh;
    if (!embreeIntersect(embree.scene, ray, attributes.bias, rh)) return false;
    const unsigned face = rh.hit.primID;
    float u = rh.hit.u, v = rh.hit.v, t = rh.ray.tfar;
    Limit l;
    const bool exact = refine(ray, face, u, v, t, l);
    if (!exact) l = limit(face, u, v, true);
    hit.t = t;
    hit.env.P = exact ? l.P : ray(t);
    fill(hit.env, face, u, v, l, Vector(rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Area and samples

// The area of every face's quadrilaterals by Gauss-Legendre quadrature, made on first use.
void SubdivisionMesh::areas() const {
    std::call_once(areaOnce, [this] {
        static const float X[2] = {0.2113248654f, 0.7886751346f};
        const std::size_t n = mesh.faceSizes.size();
        std::vector<char> hole(n, 0);
        for (uint32_t h : mesh.holes)
            if (h < n) hole[h] = 1;
        cumulative.assign(n + 1, 0.0);
        for (std::size_t f = 0; f < n; ++f) {
            double a = 0.0;
            const uint32_t quads = mesh.faceSizes[f] == 4 ? 1 : mesh.faceSizes[f];
            for (uint32_t q = 0; q < quads && !hole[f]; ++q) {
                const float ou = quads == 1 ? 0.0f : 2.0f * float(q % 4) + 0.5f;
                const float ov = quads == 1 ? 0.0f : 2.0f * float(q / 4) + 0.5f;
                for (float x : X)
                    for (float y : X) {
                        const Limit l = limit(unsigned(f), ou + x, ov + y, false);
                        a += 0.25 * double((l.dPdu ^ l.dPdv).length());
                    }
            }
            cumulative[f + 1] = cumulative[f] + a;
        }
    });
}

float SubdivisionMesh::area() const {
    areas();
    return float(cumulative.back());
}

// A face in proportion to its area, one of its quadrilaterals by u, then the point evenly in
// that quadrilateral's parameters.
void SubdivisionMesh::sample(ShaderEnvironment& env, const Point&, float u, float v) const {
    areas();
    const double target = double(clamp(u, 0.0f, 1.0f)) * cumulative.back();
    std::size_t f = std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                                cumulative.begin() - 1);
    f = std::min(f, mesh.faceSizes.size() - 1);
    const double width = cumulative[f + 1] - cumulative[f];
    float x = width > 0.0 ? float((target - cumulative[f]) / width) : 0.5f;
    x = clamp(x, 0.0f, 0.999999f);
    float su = x, sv = clamp(v, 0.0f, 1.0f);
    if (mesh.faceSizes[f] != 4) {
        const uint32_t quads = mesh.faceSizes[f];
        const uint32_t q = std::min(quads - 1, uint32_t(x * float(quads)));
        su = 2.0f * float(q % 4) + 0.5f + (x * float(quads) - float(q));
        sv = 2.0f * float(q / 4) + 0.5f + sv;
    }
    const Limit l = limit(unsigned(f), su, sv, true);
    env.P = l.P;
    fill(env, unsigned(f), su, sv, l, Vector(0.0f, 0.0f, 1.0f));
}

}  // namespace shapes
}  // namespace ovo
