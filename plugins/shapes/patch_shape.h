// A surface of rational Bézier pieces, the shape behind every patch plugin. Embree traces a
// grid of points sampled on each piece (the pieces of one surface share the points of their
// common edges, so the grids close without cracks; a surface of few cells is traced without
// Embree, see patch_grid.h); a few Newton steps then carry the hit
// from the grid onto the surface itself, where P, the normal and the derivatives are those
// of the exact surface. A NURBS may be trimmed: candidate hits whose parameters fall in a
// trimmed region are refused while Embree searches, so that the ray goes on to what lies
// behind.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "core/geometry/hit.h"
#include "core/shading/environment.h"
#include "plugins/shapes/embree.h"
#include "plugins/shapes/patch_grid.h"
#include "plugins/shapes/patch_surface.h"
#include "plugins/shapes/trim.h"

namespace ovo {
namespace shapes {

class PatchSurface : public VariableShape<PatchSurface> {
  public:
    // `hpoints` are the homogeneous control points already cut into pieces (toPieces);
    // `controlWeights` the weights of the control grid when the surface is rational.
    PatchSurface(const Transform& o2w, const ShapeAttributes& attrs,
                 std::shared_ptr<const PatchLayout> layout, std::vector<float> hpoints,
                 std::vector<float> controlWeights)
        : VariableShape(o2w, attrs),
          layout(std::move(layout)),
          hpoints(std::move(hpoints)),
          controlWeights(std::move(controlWeights)) {
        const float* h = this->hpoints.data();
        bound = Aabb(Point(h[0] / h[3], h[1] / h[3], h[2] / h[3]));
        for (std::size_t k = 0; k + 3 < this->hpoints.size(); k += 4)
            bound += Point(h[k] / h[k + 3], h[k + 1] / h[k + 3], h[k + 2] / h[k + 3]);
        const float diagonal = (Point(bound.bmax) - Point(bound.bmin)).length();
        scale = diagonal > 0.0f ? diagonal : 1.0f;
        bound.expand(1e-5f * scale);
        closedU = closes(true);
        closedV = closes(false);
        quad = this->layout->p() == 1 && this->layout->q() == 1 && this->layout->pieces() == 1 &&
               !this->layout->rational;
        if (quad) {
            // A parallelogram (a floor, a wall): opposite edges are equal to the last bit, so the
            // terms of solveQuad that hold their difference are exact zeros.
            const Vector p00(h[0], h[1], h[2]), p10(h[4], h[5], h[6]), p01(h[8], h[9], h[10]),
                p11(h[12], h[13], h[14]);
            const Vector e11 = p11 - p10, e00 = p01 - p00, e10 = p10 - p00, back = p01 - p11;
            flat = e11.x == e00.x && e11.y == e00.y && e11.z == e00.z && back.x == -e10.x &&
                   back.y == -e10.y && back.z == -e10.z;
            flatNormal = e10 ^ e00;
        }
    }

    // Trimming by the loops of the attribute state, in the knot values of the surface.
    void trimWith(std::shared_ptr<const TrimRegion> region, bool insideAway) {
        trim = std::move(region);
        trimInside = insideAway;
    }

    // Samples the pieces and builds Embree's hierarchy; false with Embree's error.
    bool build(RTCError& error);

    Aabb objectExtent() const override { return bound; }

    float area() const override {
        areas();
        return float(cumulative.back());
    }

    bool intersect(const Ray& ray, Hit& hit) const override {
        Solution s;
        Vector gridNormal;
        Frame f;
        if (quad && !trim) {
            if (!solveQuad(ray, s, f)) return false;
            hit.t = s.tHit;
            hit.env.P = f.P;
            fill(hit.env, 0, s.s, s.t, f, Vector(f.Pu ^ f.Pv));
            return true;
        }
        if (!small.empty()) {
            GridHit g;
            if (!traceSmall(ray, false, g)) return false;
            s = Solution{g.piece, g.s, g.t, g.tHit};
            gridNormal = g.ng;
        } else {
            RTCRayHit rh;
            if (!embreeIntersect(embree.scene, ray, attributes.bias, rh)) return false;
            s = Solution{rh.hit.primID, rh.hit.u, rh.hit.v, rh.ray.tfar};
            gridNormal = Vector(rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z);
        }
        const bool exact = refine(ray, s, f);
        if (!exact) f = frameAt(s.piece, s.s, s.t);
        ShaderEnvironment& env = hit.env;
        hit.t = s.tHit;
        env.P = exact ? f.P : ray(s.tHit);
        fill(env, s.piece, s.s, s.t, f, gridNormal);
        return true;
    }

    bool intersect(const Ray& ray) const override {
        if (quad && !trim) {
            Solution s;
            Frame f;
            return solveQuad(ray, s, f);
        }
        if (small.empty()) return embreeOccluded(embree.scene, ray, attributes.bias);
        GridHit g;
        return traceSmall(ray, true, g);
    }

    // Uniform over the pieces by their area, then evenly in the piece's parameters.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        areas();
        const double target = double(clamp(u, 0.0f, 1.0f)) * cumulative.back();
        std::size_t k =
            std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                        cumulative.begin() - 1);
        k = std::min(k, layout->pieces() - 1);
        const double width = cumulative[k + 1] - cumulative[k];
        const float s = width > 0.0 ? float((target - cumulative[k]) / width) : 0.5f;
        const Frame f = frameAt(unsigned(k), clamp(s, 0.0f, 1.0f), v);
        env.P = f.P;
        fill(env, unsigned(k), clamp(s, 0.0f, 1.0f), v, f, Vector(0.0f, 0.0f, 1.0f));
    }

    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const {
        return patchVariable<T>(layout, controlWeights, p, stride, offset, packed);
    }

  private:
    struct Solution {
        unsigned piece;
        float s, t;  // in the piece
        float tHit;
    };

    static constexpr int MaxRate = 64;

    const float* piece(unsigned k) const {
        return &hpoints[std::size_t(k) * std::size_t(4 * layout->perPiece())];
    }
    Frame frameAt(unsigned k, float s, float t) const {
        return rationalFrame(piece(k), layout->p(), layout->q(), s, t);
    }

    // The hit record at (s, t) of piece k, in the shape's (u, v). `fallback` is the normal of
    // the grid, for points where the surface has none (a pole of a sphere).
    void fill(ShaderEnvironment& env, unsigned k, float s, float t, const Frame& f,
              const Vector& fallback) const {
        const PatchLayout& L = *layout;
        const Segment& su = L.su(k);
        const Segment& sv = L.sv(k);
        const float hu = su.hi - su.lo, hv = sv.hi - sv.lo;
        env.u = su.lo + s * hu;
        env.v = sv.lo + t * hv;
        env.su = s;
        env.sv = t;
        env.face = k;
        env.dPdu = f.Pu / hu;
        env.dPdv = f.Pv / hv;
        Vector n = env.dPdu ^ env.dPdv;
        const bool degenerate =
            !(n.length() > 1e-12f * dot(env.dPdu, env.dPdu) + 1e-12f * dot(env.dPdv, env.dPdv)) ||
            !(n.length() > 0.0f);
        if (degenerate) n = fallback;
        const Normal ng = unitOrZero(n);
        env.Ng = flipNormal(ng);
        // Where the surface has no second derivative (a flat patch) the normal does not turn.
        const bool flatHere =
            f.Puu == Vector(0.0f) && f.Puv == Vector(0.0f) && f.Pvv == Vector(0.0f);
        if (degenerate || flatHere) {
            env.dNdu = env.dNdv = Vector(0.0f);
            return;
        }
        computeNormalDerivatives(env.dPdu, env.dPdv, f.Puu / (hu * hu), f.Puv / (hu * hv),
                                 f.Pvv / (hv * hv), ng, env.dNdu, env.dNdv);
        // The derivatives follow the normal the hit reports.
        if (dot(env.Ng, ng) < 0.0f) {
            env.dNdu = -env.dNdu;
            env.dNdv = -env.dNdv;
        }
    }

    // Newton's method on the two planes that meet along the ray, from the grid's hit: true
    // with the surface's own hit in `s` when it converges close to where it started, within
    // the ray's interval, and the surface there in `at`; false (and `s` as it was) otherwise.
    bool refine(const Ray& ray, Solution& s, Frame& at) const {
        const PatchLayout& L = *layout;
        const Vector d = ray.d;
        Vector n1 =
            std::fabs(d.x) > std::fabs(d.z) ? Vector(-d.y, d.x, 0.0f) : Vector(0.0f, -d.z, d.y);
        n1 = Vector(n1.hat());
        const Vector n2 = Vector((d ^ n1).hat());
        const int nsu = L.columns(), nsv = L.rows();
        const unsigned k0 = s.piece;
        float U = float(k0 % unsigned(nsu)) + s.s, V = float(k0 / unsigned(nsu)) + s.t;
        const float U0 = U, V0 = V;
        const float reach =
            2.0f / float(std::min(rateU[k0 % unsigned(nsu)], rateV[k0 / unsigned(nsu)]));
        for (int iteration = 0; iteration < 8; ++iteration) {
            const int i = std::min(std::max(int(std::floor(U)), 0), nsu - 1);
            const int j = std::min(std::max(int(std::floor(V)), 0), nsv - 1);
            const unsigned k = unsigned(j * nsu + i);
            const Frame f = frameAt(k, U - float(i), V - float(j));
            const Vector off = f.P - ray.o;
            const float F1 = dot(n1, off), F2 = dot(n2, off);
            if (std::fabs(F1) + std::fabs(F2) < 1e-6f * (scale + off.length())) {
                const float t = dot(off, d) / dot(d, d);
                if (!(t >= ray.mint && t <= ray.maxt) || !checkHitBias(ray, f.P)) return false;
                s = Solution{k, U - float(i), V - float(j), t};
                at = f;
                return true;
            }
            const float a = dot(n1, f.Pu), b = dot(n1, f.Pv), c = dot(n2, f.Pu), e = dot(n2, f.Pv);
            const float det = a * e - b * c;
            if (!(std::fabs(det) > 0.0f)) return false;
            U -= (e * F1 - b * F2) / det;
            V -= (a * F2 - c * F1) / det;
            // A surface that closes on itself (a surface of revolution) goes on across its seam.
            if (closedU) U = wrap(U, float(nsu));
            if (closedV) V = wrap(V, float(nsv));
            // Away from where the grid put it, or off the surface: the grid's hit stands.
            if (!(apart(U, U0, float(nsu), closedU) <= reach &&
                  apart(V, V0, float(nsv), closedV) <= reach))
                return false;
            const float slack = 1e-4f;
            if (U < -slack || V < -slack || U > float(nsu) + slack || V > float(nsv) + slack)
                return false;
            U = clamp(U, 0.0f, float(nsu));
            V = clamp(V, 0.0f, float(nsv));
        }
        return false;
    }

    // A single bilinear piece (a floor, a wall, a quad) is met where the ray's plane equations
    // give a quadratic in u; each root in [0, 1] gives v and t. The nearest root that the ray's
    // interval, the bias and the facing accept is the hit.
    bool solveQuad(const Ray& ray, Solution& s, Frame& f) const {
        if (flat) return solveFlat(ray, s, f);
        const float* h = piece(0);
        const Vector p00(h[0], h[1], h[2]), p10(h[4], h[5], h[6]), p01(h[8], h[9], h[10]),
            p11(h[12], h[13], h[14]);
        const Vector o(ray.o.x, ray.o.y, ray.o.z), d = ray.d;
        const Vector e10 = p10 - p00, e11 = p11 - p10, e00 = p01 - p00;
        const Vector q00 = p00 - o, q10 = p10 - o;
        const float a = dot(q00 ^ d, e00);
        const float c = dot(e10 ^ (p01 - p11), d);
        const float b = dot(q10 ^ d, e11) - a - c;
        float roots[2] = {-1.0f, -1.0f};
        if (c == 0.0f) {
            if (b == 0.0f) return false;
            roots[0] = -a / b;
        } else {
            const float disc = b * b - 4.0f * a * c;
            if (!(disc >= 0.0f)) return false;
            const float q = -0.5f * (b + std::copysign(std::sqrt(disc), b));
            if (q == 0.0f) return false;
            roots[0] = q / c;
            roots[1] = a / q;
        }
        const float len = d.length();
        const float tnear = std::max(ray.mint, attributes.bias / len);
        bool found = false;
        Solution best{0, 0.0f, 0.0f, ray.maxt};
        for (float u : roots) {
            if (!(u >= 0.0f && u <= 1.0f)) continue;
            const Vector pa = q00 + (q10 - q00) * u, pb = e00 + (e11 - e00) * u;
            const Vector n = d ^ pb;
            const float det = dot(n, n);
            if (!(det > 0.0f)) continue;
            const Vector m = n ^ pa;
            const float t = dot(m, pb) / det;
            const float v = dot(m, d) / det;
            if (!(v >= 0.0f && v <= 1.0f && t >= tnear && t <= best.tHit)) continue;
            const Vector ng = (e10 + (e11 - e00) * v) ^ pb;
            if (!accepts(0, u, v, Normal(ng), d)) continue;
            best = Solution{0, u, v, t};
            found = true;
        }
        if (!found) return false;
        const float u = best.s, v = best.t;
        f.P = Point(p00 + e10 * u + e00 * v + (e11 - e00) * (u * v));
        f.Pu = e10 + (e11 - e00) * v;
        f.Pv = e00 + (e11 - e00) * u;
        f.Puv = e11 - e00;
        f.Puu = f.Pvv = Vector(0.0f);
        if (!checkHitBias(ray, f.P)) return false;
        s = best;
        return true;
    }

    // solveQuad for a parallelogram, step for step, without the terms that are zero there: the
    // quadratic in u is linear and the edges across v do not turn.
    bool solveFlat(const Ray& ray, Solution& s, Frame& f) const {
        const float* h = piece(0);
        const Vector p00(h[0], h[1], h[2]), p10(h[4], h[5], h[6]), p01(h[8], h[9], h[10]);
        const Vector o(ray.o.x, ray.o.y, ray.o.z), d = ray.d;
        const Vector e10 = p10 - p00, e00 = p01 - p00;
        const Vector q00 = p00 - o, q10 = p10 - o;
        const float a = dot(q00 ^ d, e00);
        const float b = dot(q10 ^ d, e00) - a;
        if (b == 0.0f) return false;
        const float u = -a / b;
        if (!(u >= 0.0f && u <= 1.0f)) return false;
        const float tnear = std::max(ray.mint, attributes.bias / d.length());
        const Vector pa = q00 + (q10 - q00) * u;
        const Vector n = d ^ e00;
        const float det = dot(n, n);
        if (!(det > 0.0f)) return false;
        const Vector m = n ^ pa;
        const float t = dot(m, e00) / det;
        const float v = dot(m, d) / det;
        if (!(v >= 0.0f && v <= 1.0f && t >= tnear && t <= ray.maxt)) return false;
        if (!accepts(0, u, v, Normal(flatNormal), d)) return false;
        f.P = Point(p00 + e10 * u + e00 * v);
        f.Pu = e10;
        f.Pv = e00;
        f.Puu = f.Puv = f.Pvv = Vector(0.0f);
        if (!checkHitBias(ray, f.P)) return false;
        s = Solution{0, u, v, t};
        return true;
    }

    static float wrap(float x, float period) {
        if (x < 0.0f) x += period;
        if (x >= period) x -= period;
        return x;
    }
    static float apart(float a, float b, float period, bool closed) {
        const float d = std::fabs(a - b);
        return closed ? std::min(d, period - d) : d;
    }

    // Whether the first and last edges of the surface across u (or v) are one curve: their
    // Bézier points coincide.
    bool closes(bool alongU) const {
        const PatchLayout& L = *layout;
        const int p1 = L.p() + 1, q1 = L.q() + 1, nsu = L.columns(), nsv = L.rows();
        const float tolerance = 1e-5f * scale;
        auto point = [&](int i, int j, int a, int b) {
            const float* h = piece(unsigned(j * nsu + i)) + 4 * (b * p1 + a);
            return Point(h[0] / h[3], h[1] / h[3], h[2] / h[3]);
        };
        for (int k = 0; k < (alongU ? nsv : nsu); ++k)
            for (int c = 0; c < (alongU ? q1 : p1); ++c) {
                const Point first = alongU ? point(0, k, 0, c) : point(k, 0, c, 0);
                const Point last =
                    alongU ? point(nsu - 1, k, p1 - 1, c) : point(k, nsv - 1, c, q1 - 1);
                if (!((first - last).length() <= tolerance)) return false;
            }
        return true;
    }

    // Area up to each piece, by Gauss-Legendre quadrature, made on first use.
    void areas() const {
        std::call_once(areaOnce, [this] {
            static const float X[3] = {0.1127016654f, 0.5f, 0.8872983346f};
            static const float W[3] = {5.0f / 18.0f, 8.0f / 18.0f, 5.0f / 18.0f};
            const std::size_t n = layout->pieces();
            cumulative.assign(n + 1, 0.0);
            for (std::size_t k = 0; k < n; ++k) {
                double a = 0.0;
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j) {
                        const Frame f = frameAt(unsigned(k), X[i], X[j]);
                        a += double(W[i] * W[j]) * double((f.Pu ^ f.Pv).length());
                    }
                cumulative[k + 1] = cumulative[k] + a;
            }
        });
    }

    // Whether a candidate hit of the grids counts: not on the back of a one-sided surface, not
    // where trimming removes the surface. `ng` is the grid's normal (it turns like dPdu × dPdv).
    bool accepts(unsigned piece, float s, float t, const Normal& ng, const Vector& d) const {
        if (!attributes.twoSided && !isFrontFacing(d, flipNormal(ng))) return false;
        return !trim || !trimmed(piece, s, t);
    }

    static void filter(const RTCFilterFunctionNArguments* args) {
        const PatchSurface* self = static_cast<const PatchSurface*>(args->geometryUserPtr);
        for (unsigned i = 0; i < args->N; ++i) {
            if (args->valid[i] != -1) continue;
            const Normal ng(RTCHitN_Ng_x(args->hit, args->N, i),
                            RTCHitN_Ng_y(args->hit, args->N, i),
                            RTCHitN_Ng_z(args->hit, args->N, i));
            const Vector d(RTCRayN_dir_x(args->ray, args->N, i),
                           RTCRayN_dir_y(args->ray, args->N, i),
                           RTCRayN_dir_z(args->ray, args->N, i));
            if (!self->accepts(RTCHitN_primID(args->hit, args->N, i),
                               RTCHitN_u(args->hit, args->N, i), RTCHitN_v(args->hit, args->N, i),
                               ng, d))
                args->valid[i] = 0;
        }
    }

    bool traceSmall(const Ray& ray, bool any, GridHit& g) const {
        const float len = ray.d.length();
        if (!(len > 0.0f)) return false;
        const float tnear = std::max(ray.mint, attributes.bias / len);
        return small.trace(
            ray, tnear, ray.maxt, any,
            [&](const GridHit& h) { return accepts(h.piece, h.s, h.t, Normal(h.ng), ray.d); }, g);
    }

    bool trimmed(unsigned k, float s, float t) const {
        const Segment& su = layout->su(k);
        const Segment& sv = layout->sv(k);
        const float u = su.knotLo + s * (su.knotHi - su.knotLo);
        const float v = sv.knotLo + t * (sv.knotHi - sv.knotLo);
        return trim->inside(u, v) == trimInside;
    }

    std::shared_ptr<const PatchLayout> layout;
    std::vector<float> hpoints;
    std::vector<float> controlWeights;
    std::shared_ptr<const TrimRegion> trim;
    bool trimInside = true;
    std::vector<int> rateU, rateV;  // grid cells across each column and row of pieces
    std::vector<float> gridPoints;  // the grids' points, which Embree reads in place
    Aabb bound;
    float scale = 1.0f;  // the size of the surface, for tolerances
    bool closedU = false, closedV = false;
    bool quad = false;  // one non-rational bilinear piece, solved in closed form
    bool flat = false;  // and a parallelogram, of this normal
    Vector flatNormal;
    EmbreeScene embree;
    SmallGrid small;  // in Embree's place for a surface of few cells
    mutable std::once_flag areaOnce;
    mutable std::vector<double> cumulative;
};

// The cells a piece needs across u and v for its grid to stay within `tolerance` of it: the
// second differences of the control net bound the second derivatives, and a cell of width h
// strays at most h²·max|P''|/8 from the surface.
inline void pieceRates(const float* h, int p, int q, float tolerance, int& ru, int& rv) {
    const int p1 = p + 1;
    auto at = [&](int a, int b) {
        const float* c = h + 4 * (b * p1 + a);
        return Point(c[0] / c[3], c[1] / c[3], c[2] / c[3]);
    };
    float duu = 0.0f, dvv = 0.0f, duv = 0.0f;
    for (int b = 0; b <= q; ++b)
        for (int a = 0; a + 2 <= p; ++a)
            duu = std::max(
                duu, (at(a + 2, b) - 2.0f * Vector(at(a + 1, b)) + Vector(at(a, b))).length());
    for (int a = 0; a <= p; ++a)
        for (int b = 0; b + 2 <= q; ++b)
            dvv = std::max(
                dvv, (at(a, b + 2) - 2.0f * Vector(at(a, b + 1)) + Vector(at(a, b))).length());
    for (int a = 0; a < p; ++a)
        for (int b = 0; b < q; ++b)
            duv = std::max(duv,
                           (at(a + 1, b + 1) - at(a + 1, b) - (at(a, b + 1) - at(a, b))).length());
    duu *= float(p * (p - 1));
    dvv *= float(q * (q - 1));
    duv *= float(p * q);
    const float t8 = 8.0f * tolerance;
    ru = int(std::ceil(std::sqrt((duu + duv) / t8)));
    rv = int(std::ceil(std::sqrt((dvv + duv) / t8)));
}

// Long for its bookkeeping: the rates, the shared points of the grids and Embree's buffers.
inline bool PatchSurface::build(RTCError& error) {
    const PatchLayout& L = *layout;
    const int nsu = L.columns(), nsv = L.rows();
    // A tolerance against the size of the surface; raised until the grids fit a budget.
    const double budget = std::max(4.0e6, 16.0 * double(L.pieces()));
    float tolerance = 1e-3f * scale;
    for (;;) {
        rateU.assign(std::size_t(nsu), 1);
        rateV.assign(std::size_t(nsv), 1);
        for (int j = 0; j < nsv; ++j)
            for (int i = 0; i < nsu; ++i) {
                int ru, rv;
                pieceRates(piece(unsigned(j * nsu + i)), L.p(), L.q(), tolerance, ru, rv);
                rateU[std::size_t(i)] = std::max(rateU[std::size_t(i)], std::min(ru, MaxRate));
                rateV[std::size_t(j)] = std::max(rateV[std::size_t(j)], std::min(rv, MaxRate));
            }
        double width = 1.0, height = 1.0;
        for (int r : rateU) width += r;
        for (int r : rateV) height += r;
        if (width * height <= budget) break;
        tolerance *= 4.0f;
    }
    // Column I of the shared points lies in piece column colOf[I] at s = sOf[I].
    std::vector<int> colStart(std::size_t(nsu) + 1, 0), rowStart(std::size_t(nsv) + 1, 0);
    for (int i = 0; i < nsu; ++i)
        colStart[std::size_t(i) + 1] = colStart[std::size_t(i)] + rateU[std::size_t(i)];
    for (int j = 0; j < nsv; ++j)
        rowStart[std::size_t(j) + 1] = rowStart[std::size_t(j)] + rateV[std::size_t(j)];
    const std::size_t W = std::size_t(colStart.back()) + 1, H = std::size_t(rowStart.back()) + 1;
    std::vector<int> colOf(W), rowOf(H);
    std::vector<float> sOf(W), tOf(H);
    for (int i = 0; i < nsu; ++i)
        for (int a = 0; a <= rateU[std::size_t(i)]; ++a) {
            const std::size_t I = std::size_t(colStart[std::size_t(i)] + a);
            if (a == 0 && i > 0) continue;  // the previous piece's last column
            colOf[I] = i;
            sOf[I] = float(a) / float(rateU[std::size_t(i)]);
        }
    for (int j = 0; j < nsv; ++j)
        for (int b = 0; b <= rateV[std::size_t(j)]; ++b) {
            const std::size_t J = std::size_t(rowStart[std::size_t(j)] + b);
            if (b == 0 && j > 0) continue;
            rowOf[J] = j;
            tOf[J] = float(b) / float(rateV[std::size_t(j)]);
        }

    // One float more than the points: Embree reads them sixteen bytes at a time.
    gridPoints.assign(3 * W * H + 1, 0.0f);
    float* xyz = gridPoints.data();
    for (std::size_t J = 0; J < H; ++J) {
        const int j = rowOf[J];
        const BasisAt bv(L.q(), tOf[J]);
        for (std::size_t I = 0; I < W; ++I) {
            const BasisAt bu(L.p(), sOf[I]);
            float h[24];
            tensor(piece(unsigned(j * nsu + colOf[I])), L.p(), L.q(), 4, bu, bv, h);
            float* o = &xyz[3 * (J * W + I)];
            o[0] = h[0] / h[3];
            o[1] = h[1] / h[3];
            o[2] = h[2] / h[3];
        }
    }
    std::vector<GridWindow> windows(L.pieces());
    for (int j = 0; j < nsv; ++j)
        for (int i = 0; i < nsu; ++i)
            windows[std::size_t(j * nsu + i)] =
                GridWindow{uint32_t(std::size_t(rowStart[std::size_t(j)]) * W +
                                    std::size_t(colStart[std::size_t(i)])),
                           uint32_t(W), uint16_t(rateU[std::size_t(i)] + 1),
                           uint16_t(rateV[std::size_t(j)] + 1)};
    if ((W - 1) * (H - 1) <= SmallGrid::MaxCells) {
        small.build(xyz, windows);
        return true;
    }
    RTCGeometry g = rtcNewGeometry(embreeDevice(), RTC_GEOMETRY_TYPE_GRID);
    rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, xyz, 0,
                               3 * sizeof(float), W * H);
    RTCGrid* grids = static_cast<RTCGrid*>(rtcSetNewGeometryBuffer(
        g, RTC_BUFFER_TYPE_GRID, 0, RTC_FORMAT_GRID, sizeof(RTCGrid), L.pieces()));
    if (!grids) {
        error = rtcGetDeviceError(embreeDevice());
        rtcReleaseGeometry(g);
        return false;
    }
    for (std::size_t k = 0; k < windows.size(); ++k)
        grids[k] =
            RTCGrid{windows[k].start, windows[k].stride, windows[k].width, windows[k].height};
    if (!attributes.twoSided || trim) {
        rtcSetGeometryUserData(g, this);
        rtcSetGeometryIntersectFilterFunction(g, &PatchSurface::filter);
        rtcSetGeometryOccludedFilterFunction(g, &PatchSurface::filter);
    }
    return embree.build(g, error);
}

// A patch surface of nu × nv control points laid out by the two directions, from the
// parameters; trimmed by the loops of the attribute state when `trimmable`. Null after
// reporting when it cannot be made.
inline Shape* makePatchSurface(RendererAPI& renderer, const char* type, const Transform& o2w,
                               const ShapeAttributes& attrs, const ParameterSet& params,
                               Direction du, Direction dv, int nu, int nv, bool trimmable) {
    std::vector<float> h;
    bool rational = false;
    if (!readControlPoints(renderer, type, params, nu, nv, h, rational)) return nullptr;
    auto layout = std::make_shared<PatchLayout>();
    layout->u = std::move(du);
    layout->v = std::move(dv);
    layout->nu = nu;
    layout->nv = nv;
    layout->rational = rational;
    layout->finish();
    // A rational surface is its homogeneous polynomial surface projected; a plain one is
    // converted point by point, since bases such as "hermite" and "power" weigh their control
    // values with factors that do not sum to 1.
    std::vector<float> weights, pieces;
    if (rational) {
        for (std::size_t k = 0; k < h.size(); k += 4) weights.push_back(h[k + 3]);
        pieces = toPieces(*layout, h.data(), 4);
    } else {
        std::vector<float> xyz;
        xyz.reserve(h.size() / 4 * 3);
        for (std::size_t k = 0; k < h.size(); k += 4) xyz.insert(xyz.end(), &h[k], &h[k + 3]);
        const std::vector<float> plain = toPieces(*layout, xyz.data(), 3);
        pieces.reserve(plain.size() / 3 * 4);
        for (std::size_t k = 0; k < plain.size(); k += 3) {
            pieces.insert(pieces.end(), &plain[k], &plain[k + 3]);
            pieces.push_back(1.0f);
        }
    }
    std::unique_ptr<PatchSurface> surface(
        new PatchSurface(o2w, attrs, layout, std::move(pieces), std::move(weights)));
    if (trimmable && attrs.trimCurves) {
        std::vector<const TrimLoop*> loops;
        for (const Reference<Shape>& s : attrs.trimCurves->curves)
            if (const TrimCurves* t = dynamic_cast<const TrimCurves*>(s.get()))
                for (const TrimLoop& loop : t->loops()) loops.push_back(&loop);
        auto region = std::make_shared<const TrimRegion>(loops);
        if (!region->empty()) surface->trimWith(region, attrs.trimSenseInside);
    }
    RTCError error = RTC_ERROR_NONE;
    if (!surface->build(error)) {
        refuse(renderer, "%s: Embree could not build the surface (%s). Ignoring ...", type,
               embreeError(error));
        return nullptr;
    }
    surface->readSt(params);
    return surface.release();
}

}  // namespace shapes
}  // namespace ovo
