// The Boolean solid shared by the "union", "intersection" and "difference" plugins: an
// aggregate over two closed operands that answers the nearest boundary crossing of their
// combination. Each query gathers every crossing of each operand beyond the ray's start (so
// that the parity of the count tells whether the ray starts inside it) and merges the two lists.
#pragma once

#include <algorithm>
#include <cmath>
#include <iterator>
#include <list>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/aabb.h"
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

class Solid : public Aggregate {
  public:
    Solid(std::vector<Reference<Primitive>>& operands, Operation op)
        : Aggregate(operands), op(op), a(primitives[0].get()), b(primitives[1].get()) {
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
        static const RayDifferential unfiltered = [] {
            RayDifferential r;
            r.type = -1;
            return r;
        }();
        std::list<Hit> result;
        const bool found = combine(ray, &unfiltered, nullptr, result);
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
        switch (op) {
            case Operation::Union:
                Hit::merge(crossings, true, other, true);
                break;
            case Operation::Intersection:
                Hit::merge(crossings, false, other, false);
                break;
            case Operation::Difference:
                // Where the second operand carves the first, the surface faces into it.
                for (Hit& h : other) {
                    h.env.Ng = -h.env.Ng;
                    h.env.dNdu = -h.env.dNdu;
                    h.env.dNdv = -h.env.dNdv;
                }
                Hit::merge(crossings, false, other, true);
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
