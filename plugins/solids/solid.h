// The Boolean solid shared by the "union", "intersection" and "difference" plugins: an
// aggregate over two closed operands that answers the nearest boundary crossing of their
// combination. Each query gathers every crossing of each operand beyond the ray's start (the
// parity of the count tells whether the ray starts inside a closed operand; see isOpen and
// startsInside for open ones) and merges the two lists.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <list>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/aabb.h"
#include "core/math/random.h"
#include "core/params/error.h"

namespace ovo {
namespace solid {

enum class Operation { Union, Intersection, Difference };

// A crossing is found again unless the next query starts a little past it; relative to t so
// that scenes of any scale behave alike.
constexpr float RelativeEpsilon = 1e-5f;
constexpr float MinimumStep = 1e-30f;
// A bound on the crossings gathered per operand, against shapes that keep answering one point.
constexpr int MaxCrossings = 4096;
// How many lines test an operand for openness, and how many of them crossing it an odd number
// of times make it open.
constexpr int OpennessLines = 256;
constexpr int OddLinesOfAnOpenSurface = 2;

class Solid : public Aggregate {
  public:
    Solid(std::vector<Reference<Primitive>>& operands, Operation op)
        : Aggregate(operands), op(op), a(primitives[0].get()), b(primitives[1].get()) {
        openA = isOpen(*a);
        openB = isOpen(*b);
        switch (op) {
            case Operation::Union:
                bound = a->worldExtent();
                bound += b->worldExtent();
                break;
            case Operation::Intersection:
                // Disjoint operands leave an inverted box, which no ray enters.
                bound = a->worldExtent();
                bound &= b->worldExtent();
                break;
            case Operation::Difference:
                bound = a->worldExtent();
                break;
        }
    }

    bool intersect(const Ray& ray, Hit& hit) const override {
        std::list<Hit> result;
        const bool found = combine(ray, hit.env.ray, hit.env.geometrySet, result);
        if (found) take(hit, result.front());
        Hit::recycle(result);
        return found;
    }

    // Operands are not filtered by ray kind here, as for every boolean query.
    bool intersect(const Ray& ray) const override {
        std::list<Hit> result;
        const bool found = combine(ray, &unfiltered(), nullptr, result);
        Hit::recycle(result);
        return found;
    }

  private:
    // Leaves the boundary crossings of the combination at or beyond ray.mint in `crossings`;
    // true when the nearest of them lies within ray.maxt.
    bool combine(const Ray& ray, const RayDifferential* kind, const GeometrySet* set,
                 std::list<Hit>& crossings) const {
        if (!bound.intersect(ray, nullptr, nullptr)) return false;
        std::list<Hit> other;
        gather(*a, ray, kind, set, crossings);
        gather(*b, ray, kind, set, other);
        const bool inA = startsInside(*a, openA, ray, kind, set, crossings);
        const bool inB = startsInside(*b, openB, ray, kind, set, other);
        switch (op) {
            case Operation::Union:
                Hit::mergeFrom(crossings, !inA, other, !inB);
                break;
            case Operation::Intersection:
                Hit::mergeFrom(crossings, inA, other, inB);
                break;
            case Operation::Difference:
                // Where the second operand carves the first, the surface faces into it.
                for (Hit& h : other) {
                    h.env.Ng = -h.env.Ng;
                    h.env.dNdu = -h.env.dNdu;
                    h.env.dNdv = -h.env.dNdv;
                }
                Hit::mergeFrom(crossings, inA, other, !inB);
                break;
        }
        Hit::recycle(other);
        return !crossings.empty() && crossings.front().t <= ray.maxt;
    }

    static void gather(const Primitive& operand, const Ray& ray, const RayDifferential* kind,
                       const GeometrySet* set, std::list<Hit>& crossings) {
        Ray r = ray;
        r.maxt = 1e30f;  // the parity needs every crossing, not only those before maxt
        for (int n = 0; n < MaxCrossings; ++n) {
            Hit& h = Hit::append(crossings);
            h.env.ray = kind;
            h.env.geometrySet = set;
            if (!operand.intersect(r, h) || !(h.t >= r.mint)) {
                Hit::recycle(crossings, std::prev(crossings.end()));
                return;
            }
            r.mint = h.t + std::max(std::fabs(h.t) * RelativeEpsilon, MinimumStep);
        }
    }

    // Whether lines across the operand's bound cross it an odd number of times. Every line
    // crosses a closed surface an even number of times, so odd lines tell an open one (an
    // uncapped cylinder, a lone polygon); two are asked for, as a line through a seam may count
    // a crossing twice. The lines are the same for every run.
    static bool isOpen(const Primitive& operand) {
        const Aabb box = operand.worldExtent();
        const Vector diagonal(box.bmax[0] - box.bmin[0], box.bmax[1] - box.bmin[1],
                              box.bmax[2] - box.bmin[2]);
        const float size = diagonal.length();
        if (!(size > 0.0f) || !std::isfinite(size)) return false;
        uint32_t state = 0x9e3779b9u;
        auto inside = [&] {
            float c[3];
            for (int k = 0; k < 3; ++k) {
                state = xorshift(state);
                c[k] = box.bmin[k] + randomFloatFromBits(state) * diagonal[k];
            }
            return Point(c[0], c[1], c[2]);
        };
        std::list<Hit> crossings;
        int odd = 0;
        for (int line = 0; line < OpennessLines && odd < OddLinesOfAnOpenSurface; ++line) {
            const Point p = inside(), q = inside();
            const float length = (q - p).length();
            if (!(length > 0.0f)) continue;
            const Vector d = (q - p) / length;
            gather(operand, Ray(p - d * (2.0f * size), d), &unfiltered(), nullptr, crossings);
            odd += int(crossings.size() & 1);
            Hit::recycle(crossings);
        }
        return odd >= OddLinesOfAnOpenSurface;
    }

    // Whether the ray starts inside the operand. The parity of the crossings ahead answers for
    // a closed operand, and for an open one when the first crossing faces the way that parity
    // says. Where the facing disagrees, the crossings behind the start are counted: an odd
    // total means this line passes an open end, and an open surface has no inside but what its
    // crossings bound, so the facing of the first crossing decides.
    static bool startsInside(const Primitive& operand, bool open, const Ray& ray,
                             const RayDifferential* kind, const GeometrySet* set,
                             const std::list<Hit>& crossings) {
        const bool odd = (crossings.size() & 1) != 0;
        if (!open || crossings.empty()) return odd;
        const bool leavingFirst = crossings.front().classify(ray.d) == Hit::Leaving;
        if (leavingFirst == odd) return odd;
        const Point start = ray.o + ray.d * ray.mint;
        const Ray back(start, -ray.d, std::max(std::fabs(ray.mint) * RelativeEpsilon, MinimumStep),
                       1e30f, ray.time);
        std::list<Hit> behind;
        gather(operand, back, kind, set, behind);
        const bool oddLine = (behind.size() & 1) != (crossings.size() & 1);
        Hit::recycle(behind);
        return oddLine ? leavingFirst : odd;
    }

    // The ray kind of boolean queries: operands are not filtered by it.
    static const RayDifferential& unfiltered() {
        static const RayDifferential r = [] {
            RayDifferential d;
            d.type = -1;
            return d;
        }();
        return r;
    }

    // Copies what an intersection fills, leaving the caller's own fields of the record (the
    // ray, the scene, the tracing state) as they were.
    static void take(Hit& to, const Hit& from) {
        to.shape = from.shape;
        to.attributes = from.attributes;
        to.transform = from.transform;
        to.primitive = from.primitive;
        to.t = from.t;
        to.env.copyIntersection(from.env);
    }

    Operation op;
    const Primitive* a;
    const Primitive* b;
    bool openA = false, openB = false;  // see isOpen
};

// The entry of the three plugins: exactly two operands, in the order given.
inline Aggregate* create(const char* name, std::vector<Reference<Primitive>>& operands,
                         Operation op) {
    if (operands.size() != 2) {
        ErrorScope::current().Error(
            "%s: a solid operation needs exactly two operands, not %zu. "
            "Ignoring ...",
            name, operands.size());
        return nullptr;
    }
    if (!operands[0] || !operands[1]) {
        ErrorScope::current().Error("%s: null operand. Ignoring ...", name);
        return nullptr;
    }
    return new Solid(operands, op);
}

}  // namespace solid
}  // namespace ovo
