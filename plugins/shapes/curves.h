// What the two curve plugins share: curves as Embree's ribbons. Linear curves without normals are
// Embree's flat linear curves; every other curve is cut into cubic Bézier segments (any cubic
// basis converts exactly), flat and facing the ray, or turned to face the normals "N" when they
// are given. A ribbon's width is "width" (one value per segment end, or per control point)
// or "constantwidth".
//
// Hits: v runs along the whole curve (0 to 1), u across it (0 to 1, the middle at 1/2); face is
// the segment, su its parameter and sv the position across. Ng faces the ray on a flat ribbon
// and turns with "N" on an oriented one.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/shading/environment.h"
#include "plugins/shapes/embree.h"
#include "plugins/shapes/patch_basis.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {

// Where each segment lies: its curve and its place along it.
struct CurveLayout {
    struct Curve {
        uint32_t firstSegment, segments;
        uint32_t firstVertex, vertices;  // control points
        uint32_t firstVarying;           // segment ends: segments + 1 of them
    };
    std::vector<Curve> curves;
    std::shared_ptr<const std::vector<uint32_t>> curveOf;  // by segment
    Direction basis;                                       // cubic curves only
    bool cubic = false;

    const Curve& of(unsigned segment) const { return curves[(*curveOf)[segment]]; }
    std::size_t segments() const { return curveOf->size(); }
    std::size_t vertices() const {
        return curves.empty() ? 0 : curves.back().firstVertex + curves.back().vertices;
    }
    std::size_t varying() const {
        return curves.empty() ? 0 : curves.back().firstVarying + curves.back().segments + 1;
    }
};

// A value along a curve: linear between segment ends (varying values, and vertex values of
// linear curves) or in Bézier form per segment (vertex values of cubic curves).
template <class T>
class CurveInterpolator : public Interpolator<T> {
  public:
    static constexpr int D = floatsOf<T>();
    CurveInterpolator(std::shared_ptr<const CurveLayout> layout, std::vector<float> values,
                      bool bezier)
        : layout(std::move(layout)), values(std::move(values)), bezier(bezier) {}

    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float, float) const override { return detail::zeroOf<T>(); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    // The values are kept per segment (ends, or Bézier points), not indexed as given.
    const T* controlValue(int) const override { return nullptr; }
    T valueAt(unsigned segment, float t, float) const override { return at(segment, t, false); }
    T derivativeUAt(unsigned, float, float) const override { return detail::zeroOf<T>(); }
    T derivativeVAt(unsigned segment, float t, float) const override {
        return at(segment, t, true);
    }

  private:
    T at(unsigned segment, float t, bool derivative) const {
        const CurveLayout::Curve& c = layout->of(segment);
        float out[3] = {0.0f, 0.0f, 0.0f};
        if (bezier) {
            float b[MaxOrder], db[MaxOrder], ddb[MaxOrder];
            bernstein(3, t, b, db, ddb);
            const float* v = &values[std::size_t(segment) * 4 * D];
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < D; ++i)
                    out[i] += (derivative ? db[k] * float(c.segments) : b[k]) * v[k * D + i];
        } else {
            const std::size_t end = c.firstVarying + (segment - c.firstSegment);
            const float* a = &values[end * D];
            const float* b = a + D;
            for (int i = 0; i < D; ++i)
                out[i] = derivative ? (b[i] - a[i]) * float(c.segments) : a[i] + t * (b[i] - a[i]);
        }
        return readValue<T>(out);
    }

    std::shared_ptr<const CurveLayout> layout;
    std::vector<float> values;
    bool bezier;
};

// How many ray-facing quads Embree cuts each segment of a flat Bézier curve into: the quads'
// middle lines are chords of the curve. Over a piece of parameter length h = 1/n a chord strays
// at most h^2 max|B''| / 8 from a cubic, and max|B''| <= 6 d, d the larger second difference
// of the control points: n >= sqrt(3 d / w) keeps it within a quarter of the width w. w is the
// segment's mean width (its Bézier radii average to the mean radius along it); the smallest
// would send every blade that tapers to a point to the cap. The rate is the geometry's, so the
// largest over the segments, from Embree's default of four up to sixteen, where Embree 3 clamps
// it anyway; each quad more costs every ray that reaches the segment.
inline int bezierTessellationRate(const float* control, std::size_t segments) {
    constexpr int least = 4, most = 16;
    double need = least * least;  // n^2
    for (std::size_t s = 0; s < segments && need < most * most; ++s) {
        const float* p = control + 16 * s;
        double bend = 0.0, width = 0.0;
        for (int k = 0; k < 2; ++k) {
            double sq = 0.0;
            for (int i = 0; i < 3; ++i) {
                const double e = double(p[4 * k + i]) - 2.0 * p[4 * k + 4 + i] + p[4 * k + 8 + i];
                sq += e * e;
            }
            bend = std::max(bend, sq);
        }
        for (int k = 0; k < 4; ++k) width += 0.5 * double(p[4 * k + 3]);  // 2 x mean radius
        if (width > 0.0) need = std::max(need, 3.0 * std::sqrt(bend) / width);
    }
    return need < most * most ? int(std::ceil(std::sqrt(need))) : most;
}

class CurveSet : public Shape {
  public:
    CurveSet(const Transform& o2w, const ShapeAttributes& attrs,
             std::shared_ptr<const CurveLayout> layout)
        : Shape(o2w, attrs), layout(std::move(layout)) {}

    // The control points (x, y, z, radius) Embree reads, four per segment for Bézier
    // segments or one per vertex for flat linear ones, and the normals of oriented ones; false
    // with Embree's error.
    bool build(std::vector<float> points, std::vector<float> normalData, bool bezierSegments,
               RTCError& error) {
        bezier = bezierSegments;
        control = std::move(points);
        normals = std::move(normalData);
        oriented = !normals.empty();
        control.insert(control.end(), 4, 0.0f);  // Embree reads sixteen bytes past the last
        normals.insert(normals.end(), 4, 0.0f);
        const std::size_t nsegs = layout->segments();
        const std::size_t npoints = control.size() / 4 - 1;
        RTCGeometryType type = !bezier    ? RTC_GEOMETRY_TYPE_FLAT_LINEAR_CURVE
                               : oriented ? RTC_GEOMETRY_TYPE_NORMAL_ORIENTED_BEZIER_CURVE
                                          : RTC_GEOMETRY_TYPE_FLAT_BEZIER_CURVE;
        RTCGeometry g = rtcNewGeometry(embreeDevice(), type);
        rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4, control.data(),
                                   0, 4 * sizeof(float), npoints);
        if (oriented)
            rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_NORMAL, 0, RTC_FORMAT_FLOAT3,
                                       normals.data(), 0, 3 * sizeof(float), npoints);
        uint32_t* index = static_cast<uint32_t*>(rtcSetNewGeometryBuffer(
            g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT, sizeof(uint32_t), nsegs));
        for (std::size_t s = 0; s < nsegs; ++s) index[s] = uint32_t(first(unsigned(s)));
        // Ribbons turned by normals are solved on the curve itself and take no rate.
        if (bezier && !oriented)
            rtcSetGeometryTessellationRate(g, float(bezierTessellationRate(control.data(), nsegs)));
        if (!bezier) {
            rtcSetGeometryUserData(g, this);
            rtcSetGeometryIntersectFilterFunction(g, &CurveSet::withinSegment);
            rtcSetGeometryOccludedFilterFunction(g, &CurveSet::withinSegment);
        }
        bound = Aabb(Point(control[0], control[1], control[2]));
        float widest = 0.0f;
        for (std::size_t i = 0; i < npoints; ++i) {
            bound += Point(&control[4 * i]);
            widest = std::max(widest, control[4 * i + 3]);
        }
        bound.expand(widest * 1.0001f + 1e-6f);
        return embree.build(g, error);
    }

    Aabb objectExtent() const override { return bound; }

    bool intersect(const Ray& ray, Hit& hit) const override {
        RTCRayHit rh;
        if (!embreeIntersect(embree.scene, ray, attributes.bias, rh)) return false;
        hit.t = rh.ray.tfar;
        hit.env.P = ray(hit.t);
        fill(hit.env, rh.hit.primID, rh.hit.u, ray.d,
             Normal(rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z));
        return true;
    }

    bool intersect(const Ray& ray) const override {
        return embreeOccluded(embree.scene, ray, attributes.bias);
    }

    float area() const override {
        areas();
        return float(cumulative.back());
    }

    // A segment in proportion to its area, then a point along and across it; the normal is
    // the oriented ribbon's, or a direction across the curve for a flat one.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        areas();
        const double target = double(clamp(u, 0.0f, 1.0f)) * cumulative.back();
        std::size_t s =
            std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                        cumulative.begin() - 1);
        s = std::min(s, layout->segments() - 1);
        const double width = cumulative[s + 1] - cumulative[s];
        const float t =
            width > 0.0 ? clamp(float((target - cumulative[s]) / width), 0.0f, 1.0f) : 0.5f;
        const Point4 c = centre(unsigned(s), t);
        Vector side = oriented ? normalAt(unsigned(s), t) : Vector(0.0f);
        if (!oriented) {
            Tuple a, b;
            Vector(c.tangent.hat()).coordinateSystem(a, b);
            side = Vector(a);
        }
        env.P = c.P +
                (2.0f * clamp(v, 0.0f, 1.0f) - 1.0f) * c.radius * Vector((c.tangent ^ side).hat());
        fill(env, unsigned(s), t, -side, Normal(side));
    }

    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const;
    Interpolator<float>* createFloatInterpolator(Parameter& p) override {
        return variable<float>(p, 1, 0, false);
    }
    Interpolator<Color>* createColorInterpolator(Parameter& p) override {
        return variable<Color>(p, 3, 0, false);
    }
    Interpolator<Normal>* createNormalInterpolator(Parameter& p) override {
        return variable<Normal>(p, 3, 0, false);
    }
    void readSt(const ParameterSet& params) {
        Parameter* st = params.find("st", TypeFloat);
        if (!st || !st->getFloats()) return;
        setS(variable<float>(*st, 2, 0, true));
        setT(variable<float>(*st, 2, 1, true));
    }

  private:
    struct Point4 {
        Point P;
        Vector tangent;  // along the segment's own parameter
        float radius;
    };

    // Embree closes flat linear segments with round caps; a ribbon ends square with its
    // segment, so hits beyond the ends of the segment are refused.
    static void withinSegment(const RTCFilterFunctionNArguments* args) {
        const CurveSet* self = static_cast<const CurveSet*>(args->geometryUserPtr);
        for (unsigned i = 0; i < args->N; ++i) {
            if (args->valid[i] != -1) continue;
            const float t = RTCRayN_tfar(args->ray, args->N, i);
            const Point P(
                RTCRayN_org_x(args->ray, args->N, i) + t * RTCRayN_dir_x(args->ray, args->N, i),
                RTCRayN_org_y(args->ray, args->N, i) + t * RTCRayN_dir_y(args->ray, args->N, i),
                RTCRayN_org_z(args->ray, args->N, i) + t * RTCRayN_dir_z(args->ray, args->N, i));
            const float* p = &self->control[4 * self->first(RTCHitN_primID(args->hit, args->N, i))];
            const Vector e(p[4] - p[0], p[5] - p[1], p[6] - p[2]);
            const float along = dot(P - Point(p[0], p[1], p[2]), e);
            if (!(along >= 0.0f && along <= dot(e, e))) args->valid[i] = 0;
        }
    }

    std::size_t first(unsigned s) const {
        if (bezier) return 4 * std::size_t(s);
        const CurveLayout::Curve& c = layout->of(s);
        return c.firstVertex + (s - c.firstSegment);
    }

    // The centre line of segment s at t, its tangent and its radius.
    Point4 centre(unsigned s, float t) const {
        const float* p = &control[4 * first(s)];
        Point4 r;
        if (!bezier) {
            const float* q = p + 4;
            r.P =
                Point(p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2]));
            r.tangent = Vector(q[0] - p[0], q[1] - p[1], q[2] - p[2]);
            r.radius = p[3] + t * (q[3] - p[3]);
            return r;
        }
        float b[MaxOrder], db[MaxOrder], ddb[MaxOrder];
        bernstein(3, t, b, db, ddb);
        float out[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 4; ++i) {
                out[i] += b[k] * p[4 * k + i];
                out[4 + i] += db[k] * p[4 * k + i];
            }
        r.P = Point(out[0], out[1], out[2]);
        r.tangent = Vector(out[4], out[5], out[6]);
        r.radius = out[3];
        return r;
    }

    Vector normalAt(unsigned s, float t) const {
        float b[MaxOrder], db[MaxOrder], ddb[MaxOrder];
        bernstein(3, t, b, db, ddb);
        const float* n = &normals[3 * first(s)];
        Vector r(0.0f);
        for (int k = 0; k < 4; ++k) r += b[k] * Vector(n[3 * k], n[3 * k + 1], n[3 * k + 2]);
        return r;
    }

    // The hit record at P (already set) on segment s at t, seen along d.
    void fill(ShaderEnvironment& env, unsigned s, float t, const Vector& d,
              const Normal& embreeNormal) const {
        const CurveLayout::Curve& c = layout->of(s);
        const Point4 m = centre(s, t);
        const float nsegs = float(c.segments);
        // Across the ribbon: perpendicular to the curve and to the ray, or to the normal.
        Vector across = oriented ? Vector(m.tangent ^ normalAt(s, t)) : Vector(d ^ m.tangent);
        if (!(across.length() > 0.0f)) {
            Tuple a, b;
            Vector(Vector(m.tangent).hat()).coordinateSystem(a, b);
            across = Vector(a);
        }
        across = Vector(across.hat());
        const float r = m.radius > 0.0f ? m.radius : 1e-12f;
        env.u = clamp(0.5f + 0.5f * dot(env.P - m.P, across) / r, 0.0f, 1.0f);
        env.v = (float(s - c.firstSegment) + t) / nsegs;
        env.su = t;
        env.sv = env.u;
        env.face = s;
        env.dPdu = 2.0f * r * across;
        env.dPdv = nsegs * m.tangent;
        Normal n = unitOrZero(env.dPdu ^ env.dPdv);
        if (!(n.length() > 0.0f)) n = unitOrZero(embreeNormal);
        env.Ng = oriented ? flipNormal(n) : n;
        env.dNdu = env.dNdv = Vector(0.0f);
    }

    // Area up to each segment: length times width, by Gauss-Legendre quadrature.
    void areas() const {
        std::call_once(areaOnce, [this] {
            static const float X[3] = {0.1127016654f, 0.5f, 0.8872983346f};
            static const float W[3] = {5.0f / 18.0f, 8.0f / 18.0f, 5.0f / 18.0f};
            const std::size_t n = layout->segments();
            cumulative.assign(n + 1, 0.0);
            for (std::size_t s = 0; s < n; ++s) {
                double a = 0.0;
                for (int i = 0; i < 3; ++i) {
                    const Point4 m = centre(unsigned(s), X[i]);
                    a += double(W[i]) * double(m.tangent.length()) * 2.0 * double(m.radius);
                }
                cumulative[s + 1] = cumulative[s] + a;
            }
        });
    }

    std::shared_ptr<const CurveLayout> layout;
    std::vector<float> control;  // x, y, z, radius
    std::vector<float> normals;  // of the control points of oriented curves
    bool bezier = false, oriented = false;
    Aabb bound;
    EmbreeScene embree;
    mutable std::once_flag areaOnce;
    mutable std::vector<double> cumulative;
};

// Constant, one value per curve ("perpiece"), one per segment end ("linear"), or one per
// control point ("vertex": in the basis of a cubic curve, linear along a linear one).
template <class T>
Interpolator<T>* CurveSet::variable(const Parameter& p, int stride, int offset, bool packed) const {
    if (!fitsVariable<T>(p, packed)) return nullptr;
    constexpr int D = floatsOf<T>();
    const CurveLayout& L = *layout;
    const Interpolation c = p.type().interpolation();
    if (c == InterpConstant) return constantFrom<T>(p, offset);
    if (c == InterpPerPiece) {
        if (L.curves.size() == 1) return constantFrom<T>(p, offset);
        std::vector<T> values = readValues<T>(p, L.curves.size(), stride, offset);
        if (values.empty()) return nullptr;
        return new PieceInterpolator<T>(std::move(values), L.curveOf);
    }
    const bool vertex = c == InterpVertex && L.cubic;
    const std::size_t n = vertex ? L.vertices() : L.varying();
    const float* f = p.getFloats();
    const std::size_t perElement = std::size_t(ParamType::BaseTypeNFloats(p.type().basetype()));
    if (tooShort(p, n, std::size_t(stride) / perElement)) return nullptr;
    std::vector<float> raw(n * D);
    for (std::size_t i = 0; i < n; ++i)
        for (int k = 0; k < D; ++k)
            raw[i * D + std::size_t(k)] = f[i * std::size_t(stride) + std::size_t(offset + k)];
    if (!vertex) return new CurveInterpolator<T>(layout, std::move(raw), false);
    std::vector<float> segments(L.segments() * 4 * D);
    for (const CurveLayout::Curve& cv : L.curves)
        for (uint32_t k = 0; k < cv.segments; ++k)
            L.basis.toBezier(int(k), &raw[std::size_t(cv.firstVertex) * D], D, D,
                             &segments[std::size_t(cv.firstSegment + k) * 4 * D]);
    return new CurveInterpolator<T>(layout, std::move(segments), true);
}

// A value per segment end of every curve (its "linear" class; for linear curves also its
// "vertex" class), from a parameter of any class; `fallback` when the parameter is absent.
// Empty after reporting when it is too short.
inline bool valuesAtEnds(RendererAPI& renderer, const char* type, const CurveLayout& L,
                         const Parameter* p, int D, const float* fallback,
                         std::vector<float>& out) {
    out.assign(L.varying() * std::size_t(D), 0.0f);
    const float* f = p ? p->getFloats() : nullptr;
    const Interpolation c = f ? p->type().interpolation() : InterpConstant;
    const std::size_t need = c == InterpPerPiece   ? L.curves.size()
                             : c == InterpConstant ? 1
                                                   : L.varying();
    if (f && c != InterpConstant && tooShort(*p, need)) {
        refuse(renderer, "%s: \"%s\" holds %zu values; the curves need %zu. Ignoring ...", type,
               p->name().c_str(), declaredValues(*p), need);
        return false;
    }
    for (const CurveLayout::Curve& cv : L.curves)
        for (uint32_t e = 0; e <= cv.segments; ++e) {
            const std::size_t at = cv.firstVarying + e;
            const std::size_t from = !f                    ? 0
                                     : c == InterpConstant ? 0
                                     : c == InterpPerPiece ? std::size_t(&cv - &L.curves[0])
                                                           : at;
            for (int k = 0; k < D; ++k)
                out[at * D + std::size_t(k)] = f ? f[from * D + std::size_t(k)] : fallback[k];
        }
    return true;
}

// Segment ends as the Bézier points of a straight run: the ends and the thirds between.
inline void thirds(const float* a, const float* b, int D, float* out, int stride) {
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < D; ++i) out[k * stride + i] = a[i] + (b[i] - a[i]) * float(k) / 3.0f;
}

// The curves of a "linearcurves" or "cubiccurves" call; null after reporting.
// Long for its checks and its three ways of giving widths and normals.
inline Shape* makeCurves(RendererAPI& renderer, const char* type, const Transform& o2w,
                         const ShapeAttributes& attrs, const ParameterSet& params, bool cubic) {
    auto layout = std::make_shared<CurveLayout>();
    layout->cubic = cubic;
    const int ncurves = params.findInt("ncurves", 0);
    Parameter* counts = params.find("nvertspercurve", TypeInt);
    if (ncurves < 1 || ncurves > (1 << 28) || !counts || !counts->getInts() ||
        (declaredValues(*counts) > 1 && tooShort(*counts, std::size_t(ncurves)))) {
        refuse(renderer,
               "%s: \"ncurves\" and \"nvertspercurve\" must give the curves. Ignoring ...", type);
        return nullptr;
    }
    int step = 1;
    const CubicBasis* basis = nullptr;
    if (cubic) {
        const std::string name = params.findString("basis", "bezier");
        basis = findCubicBasis(name);
        if (!basis) {
            refuse(renderer, "%s: unknown basis \"%s\". Ignoring ...", type, name.c_str());
            return nullptr;
        }
        step = params.findInt("vstep", basis->step);
        if (step < 1) {
            refuse(renderer, "%s: vstep is %d; it must be at least 1. Ignoring ...", type, step);
            return nullptr;
        }
    }
    auto curveOf = std::make_shared<std::vector<uint32_t>>();
    uint32_t segs = 0, verts = 0, ends = 0, widest = 0;
    // One count serves every curve; more than 2^22 counts arrive as single values.
    const bool perCurve = declaredValues(*counts) > 1;
    for (int c = 0; c < ncurves; ++c) {
        const int n = counts->getInts()[perCurve ? c : 0];
        const bool fits = cubic ? n >= 4 && (n - 4) % step == 0 : n >= 2;
        if (!fits || n > (1 << 28) || double(verts) + n > double(1u << 30)) {
            refuse(renderer,
                   "%s: curve %d has %d vertices, which make no whole segments. "
                   "Ignoring ...",
                   type, c, n);
            return nullptr;
        }
        const uint32_t k = cubic ? uint32_t((n - 4) / step + 1) : uint32_t(n - 1);
        layout->curves.push_back({segs, k, verts, uint32_t(n), ends});
        curveOf->insert(curveOf->end(), k, uint32_t(c));
        segs += k;
        verts += uint32_t(n);
        ends += k + 1;
        widest = std::max(widest, k);
    }
    layout->curveOf = curveOf;
    if (cubic) layout->basis = Direction::cubic(*basis, step, int(widest));
    const Positions pos = findPositions(params);
    if (!pos.found() || (pos.declared != 0 && pos.declared < verts)) {
        refuse(renderer, "%s: \"P\" must give the %u control points. Ignoring ...", type, verts);
        return nullptr;
    }
    std::vector<float> xyz(3 * std::size_t(verts));
    for (std::size_t i = 0; i < verts; ++i) {
        const Point p = pos.at(i);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refuse(renderer, "%s: point %zu of \"P\" is not finite. Ignoring ...", type, i);
            return nullptr;
        }
        xyz[3 * i] = p.x;
        xyz[3 * i + 1] = p.y;
        xyz[3 * i + 2] = p.z;
    }
    // Widths and normals: in the basis when given per control point of a cubic curve, else
    // at the segment ends.
    const float one = params.findFloat("constantwidth", 1.0f);
    const Parameter* width = params.find("width", TypeFloat);
    const Parameter* N = params.find("N", TypeNormal);
    const bool basisWidth = cubic && width && width->type().interpolation() == InterpVertex;
    const bool basisNormal = cubic && N && N->type().interpolation() == InterpVertex;
    if ((basisWidth && tooShort(*width, verts)) || (basisNormal && tooShort(*N, verts))) {
        refuse(renderer, "%s: \"%s\" must give one value per control point. Ignoring ...", type,
               basisWidth && tooShort(*width, verts) ? "width" : "N");
        return nullptr;
    }
    std::vector<float> widthEnds, normalEnds;
    const float up[3] = {0.0f, 0.0f, 1.0f};
    if ((!basisWidth && !valuesAtEnds(renderer, type, *layout, width, 1, &one, widthEnds)) ||
        (N && !basisNormal && !valuesAtEnds(renderer, type, *layout, N, 3, up, normalEnds)))
        return nullptr;
    const bool bezier = cubic || N;
    std::vector<float> points, normals;
    if (!bezier) {
        points.resize(4 * std::size_t(verts));
        for (std::size_t i = 0; i < verts; ++i) {
            std::copy(&xyz[3 * i], &xyz[3 * i + 3], &points[4 * i]);
            points[4 * i + 3] = std::max(0.0f, 0.5f * widthEnds[i]);  // ends are vertices
        }
    } else {
        points.resize(16 * std::size_t(segs));
        if (N) normals.resize(12 * std::size_t(segs));
        for (const CurveLayout::Curve& cv : layout->curves)
            for (uint32_t k = 0; k < cv.segments; ++k) {
                float* out = &points[16 * std::size_t(cv.firstSegment + k)];
                float tmp[12];
                if (cubic) {
                    layout->basis.toBezier(int(k), &xyz[3 * std::size_t(cv.firstVertex)], 3, 3,
                                           tmp);
                    for (int j = 0; j < 4; ++j)
                        std::copy(&tmp[3 * j], &tmp[3 * j + 3], &out[4 * j]);
                } else {
                    thirds(&xyz[3 * std::size_t(cv.firstVertex + k)],
                           &xyz[3 * std::size_t(cv.firstVertex + k + 1)], 3, out, 4);
                }
                if (basisWidth) {
                    layout->basis.toBezier(int(k), width->getFloats() + cv.firstVertex, 1, 1, tmp);
                    for (int j = 0; j < 4; ++j) out[4 * j + 3] = tmp[j];
                } else {
                    thirds(&widthEnds[cv.firstVarying + k], &widthEnds[cv.firstVarying + k + 1], 1,
                           out + 3, 4);
                }
                for (int j = 0; j < 4; ++j) out[4 * j + 3] = std::max(0.0f, 0.5f * out[4 * j + 3]);
                if (!N) continue;
                float* nout = &normals[12 * std::size_t(cv.firstSegment + k)];
                if (basisNormal)
                    layout->basis.toBezier(int(k), N->getFloats() + 3 * cv.firstVertex, 3, 3, nout);
                else
                    thirds(&normalEnds[3 * (cv.firstVarying + k)],
                           &normalEnds[3 * (cv.firstVarying + k + 1)], 3, nout, 3);
            }
    }
    std::unique_ptr<CurveSet> set(new CurveSet(o2w, attrs, layout));
    RTCError error = RTC_ERROR_NONE;
    if (!set->build(std::move(points), std::move(normals), bezier, error)) {
        refuse(renderer, "%s: Embree could not build the curves (%s). Ignoring ...", type,
               embreeError(error));
        return nullptr;
    }
    set->readSt(params);
    return set.release();
}

}  // namespace shapes
}  // namespace ovo
