// The field of a blobby: its elements, the program that combines them, and the evaluation that
// the shape and its primitive-variable interpolators share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/math/aabb.h"
#include "core/math/ray.h"
#include "core/math/tuple.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {
namespace blobby {

constexpr float Threshold = 0.5f;
constexpr float MaxFalloffSlope = 1.59f;  // the largest |d falloff / dr| on [0, 1] is 1.5834

// 1 at r = 0 to 0 at r = 1 with zero slope at both ends, as a cubic in s = r²; 0.5 at r = 0.5.
// Factored, it keeps its precision near the edge, where quotients of fields magnify errors.
inline float falloff(float s) {
    if (s >= 1.0f) return 0.0f;
    const float e = 1.0f - s;
    return e * e * (1.0f - 4.0f / 9.0f * s);
}
inline float falloffSlope(float s) {  // d falloff / ds
    if (s >= 1.0f) return 0.0f;
    return -(1.0f - s) * (22.0f - 12.0f * s) / 9.0f;
}

enum Opcode { Add = 0, Multiply, Maximum, Minimum, Subtract, Divide, Negate, Identity };
enum ElementKind { Constant, Ellipsoid, Segment, Plane, Inert };

struct Element {
    ElementKind kind = Inert;
    float value = 0.0f;  // a constant's value, a plane's strength
    float reach = 1.0f;  // a plane's reach
    float inv[9] = {};   // blob space to the element's own space: q = inv (p - origin)
    Point origin;
    Point a, b;  // a segment's end points, in its own space
    float radius = 1.0f;
    float slope = 0.0f;  // bound on the gradient's length in blob space
    Aabb bound;          // in blob space; empty for constants and planes

    bool bounded() const { return kind == Ellipsoid || kind == Segment; }
    Vector local(const Point& p) const {
        const float x = p.x - origin.x, y = p.y - origin.y, z = p.z - origin.z;
        return Vector(inv[0] * x + inv[1] * y + inv[2] * z, inv[3] * x + inv[4] * y + inv[5] * z,
                      inv[6] * x + inv[7] * y + inv[8] * z);
    }
    Vector localDirection(const Vector& d) const {
        return Vector(inv[0] * d.x + inv[1] * d.y + inv[2] * d.z,
                      inv[3] * d.x + inv[4] * d.y + inv[5] * d.z,
                      inv[6] * d.x + inv[7] * d.y + inv[8] * d.z);
    }
    // The squared distance in units of the element's size, and the offset it is measured along.
    float distance2(const Point& p, Vector& along) const {
        const Vector q = local(p);
        if (kind == Ellipsoid) {
            along = q;
            return dot(q, q);
        }
        const Vector ab = b - a, aq = q - a;
        const float len2 = dot(ab, ab);
        const float h = len2 > 0.0f ? clamp(dot(aq, ab) / len2, 0.0f, 1.0f) : 0.0f;
        along = Vector(aq - h * ab) / radius;
        return dot(along, along);
    }
    float evaluate(const Point& p) const {
        switch (kind) {
            case Constant:
                return value;
            case Plane: {
                const float h = -p.z / reach;
                return h <= 0.0f ? -value : -value * falloff(h * h);
            }
            case Ellipsoid:
            case Segment: {
                Vector q;
                return falloff(distance2(p, q));
            }
            default:
                return 0.0f;
        }
    }
    // Value and gradient in blob space.
    float evaluate(const Point& p, Vector& grad) const {
        grad = Vector(0.0f);
        switch (kind) {
            case Plane: {
                const float h = -p.z / reach;
                if (h <= 0.0f) return -value;
                grad = Vector(0.0f, 0.0f, value * falloffSlope(h * h) * 2.0f * h / reach);
                return -value * falloff(h * h);
            }
            case Ellipsoid:
            case Segment: {
                Vector q;
                const float s = distance2(p, q);
                if (s >= 1.0f) return 0.0f;
                // d s / d q is 2 q (over the radius for a segment); carried back by inv's
                // transpose.
                const float k = 2.0f * falloffSlope(s) / (kind == Segment ? radius : 1.0f);
                grad = Vector(k * (inv[0] * q.x + inv[3] * q.y + inv[6] * q.z),
                              k * (inv[1] * q.x + inv[4] * q.y + inv[7] * q.z),
                              k * (inv[2] * q.x + inv[5] * q.y + inv[8] * q.z));
                return falloff(s);
            }
            default:
                return evaluate(p);
        }
    }
    // Where the ray is within the element's reach; false when nowhere in [t0, t1].
    bool span(const Ray& ray, float& t0, float& t1) const {
        const Vector o = local(ray.o), d = localDirection(ray.d);
        if (kind == Ellipsoid) {
            double roots[2];
            if (solveQuadratic(dot(d, d), 2.0 * dot(o, d), double(dot(o, o)) - 1.0, roots) < 2)
                return false;
            t0 = std::max(t0, float(roots[0]));
            t1 = std::min(t1, float(roots[1]));
            return t0 <= t1;
        }
        // A segment: the box around its capsule in its own space.
        for (int k = 0; k < 3; ++k) {
            const float lo = std::min(a[k], b[k]) - radius, hi = std::max(a[k], b[k]) + radius;
            if (d[k] == 0.0f) {
                if (o[k] < lo || o[k] > hi) return false;
                continue;
            }
            float tn = (lo - o[k]) / d[k], tf = (hi - o[k]) / d[k];
            if (tn > tf) std::swap(tn, tf);
            t0 = std::max(t0, tn);
            t1 = std::min(t1, tf);
        }
        return t0 <= t1;
    }
};

struct Instruction {
    int op;          // an Opcode, or -1 for a leaf
    uint32_t first;  // operands[first..first+count), or the leaf's number
    uint32_t count;
};

// What a value can be over part of a ray, and how fast it can change there.
struct Range {
    float lo, hi, slope;
};

// The field: elements, the program that combines them, and the evaluation that the shape and
// its primitive-variable interpolators share.
class Field {
  public:
    std::vector<Element> leaves;
    std::vector<Instruction> program;
    std::vector<uint32_t> operands;
    std::vector<Aabb> groups;  // bounds of GroupSize consecutive leaves, the code's order
    std::vector<int> slot;     // each leaf's place among the per-leaf values; -1 for none
    std::size_t valued = 0;    // how many per-leaf values a variable gives
    bool sumOfLeaves = false;  // the program adds every leaf once: only leaves near need a look
    Aabb bound;
    Point centre;

    // Consecutive leaves usually lie together (writers emit them along a shape): a ray skips
    // whole groups whose bound it misses.
    static constexpr std::size_t GroupSize = 8;

    // Called once the program is read.
    void finish() {
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            if (i % GroupSize == 0) groups.emplace_back();
            if (leaves[i].bounded()) {
                bound += leaves[i].bound;
                groups.back() += leaves[i].bound;
            }
        }
        centre =
            Point(0.5f * (bound.bmin[0] + bound.bmax[0]), 0.5f * (bound.bmin[1] + bound.bmax[1]),
                  0.5f * (bound.bmin[2] + bound.bmax[2]));
        std::vector<int> uses(leaves.size(), 0);
        sumOfLeaves = addsLeaves(uint32_t(program.size() - 1), uses) &&
                      std::all_of(uses.begin(), uses.end(), [](int n) { return n == 1; });
        for (const Element& e : leaves)
            if (e.kind == Plane) planeSlope += e.slope;
    }

    // The field at p, where only the leaves listed in `near` can be above zero.
    float value(const Point& p, const uint32_t* near, std::size_t nNear,
                std::vector<float>& work) const {
        if (sumOfLeaves) {
            float sum = unboundedSum(p);
            for (std::size_t i = 0; i < nNear; ++i) sum += leaves[near[i]].evaluate(p);
            return sum;
        }
        work.resize(program.size());
        for (std::size_t i = 0; i < program.size(); ++i) {
            const Instruction& in = program[i];
            if (in.op < 0) {
                work[i] = leaves[in.first].evaluate(p);
                continue;
            }
            const uint32_t* o = &operands[in.first];
            float v = work[o[0]];
            switch (in.op) {
                case Add:
                    for (uint32_t k = 1; k < in.count; ++k) v += work[o[k]];
                    break;
                case Multiply:
                    for (uint32_t k = 1; k < in.count; ++k) v *= work[o[k]];
                    break;
                case Maximum:
                    for (uint32_t k = 1; k < in.count; ++k) v = std::max(v, work[o[k]]);
                    break;
                case Minimum:
                    for (uint32_t k = 1; k < in.count; ++k) v = std::min(v, work[o[k]]);
                    break;
                case Subtract:
                    v -= work[o[1]];
                    break;
                case Divide:
                    v = work[o[1]] != 0.0f ? v / work[o[1]] : 0.0f;
                    break;
                case Negate:
                    v = -v;
                    break;
                default:
                    break;
            }
            work[i] = v;
        }
        return work.back();
    }

    // Value and gradient at p over every leaf (forward differentiation of the program).
    float gradient(const Point& p, Vector& grad, std::vector<float>& values,
                   std::vector<Vector>& grads) const {
        values.resize(program.size());
        grads.resize(program.size());
        for (std::size_t i = 0; i < program.size(); ++i) {
            const Instruction& in = program[i];
            if (in.op < 0) {
                values[i] = leaves[in.first].evaluate(p, grads[i]);
                continue;
            }
            const uint32_t* o = &operands[in.first];
            float v = values[o[0]];
            Vector g = grads[o[0]];
            for (uint32_t k = 1; in.op <= Minimum && k < in.count; ++k) {
                const float w = values[o[k]];
                const Vector& gw = grads[o[k]];
                if (in.op == Add) {
                    v += w;
                    g += gw;
                } else if (in.op == Multiply) {
                    g = Vector(g * w + gw * v);
                    v *= w;
                } else if ((in.op == Maximum && w > v) || (in.op == Minimum && w < v)) {
                    v = w;
                    g = gw;
                }
            }
            if (in.op == Subtract) {
                v -= values[o[1]];
                g -= grads[o[1]];
            } else if (in.op == Divide) {
                const float w = values[o[1]];
                if (w != 0.0f) {
                    g = Vector((g * w - grads[o[1]] * v) / (w * w));
                    v /= w;
                } else {
                    v = 0.0f;
                    g = Vector(0.0f);
                }
            } else if (in.op == Negate) {
                v = -v;
                g = -g;
            }
            values[i] = v;
            grads[i] = g;
        }
        grad = grads.back();
        return values.back();
    }

    // A bound on the field's slope where only the leaves listed in `near` (and flagged in
    // `active`) can be above zero; infinite when a division makes it unbounded.
    float slope(const uint32_t* near, std::size_t nNear, const std::vector<uint8_t>& active,
                std::vector<Range>& ranges) const {
        if (sumOfLeaves) {
            float s = planeSlope;
            for (std::size_t i = 0; i < nNear; ++i) s += leaves[near[i]].slope;
            return s;
        }
        ranges.resize(program.size());
        for (std::size_t i = 0; i < program.size(); ++i) ranges[i] = rangeOf(i, active, ranges);
        return ranges.back().slope;
    }

  private:
    float unboundedSum(const Point& p) const {
        float sum = 0.0f;
        for (uint32_t i : unbounded) sum += leaves[i].evaluate(p);
        return sum;
    }

    Range rangeOf(std::size_t i, const std::vector<uint8_t>& active,
                  const std::vector<Range>& ranges) const {
        const Instruction& in = program[i];
        if (in.op < 0) {
            const Element& e = leaves[in.first];
            if (e.kind == Constant) return Range{e.value, e.value, 0.0f};
            if (e.kind == Plane) return Range{-e.value, 0.0f, e.slope};
            if (e.bounded() && active[in.first]) return Range{0.0f, 1.0f, e.slope};
            return Range{0.0f, 0.0f, 0.0f};
        }
        const uint32_t* o = &operands[in.first];
        Range r = ranges[o[0]];
        const Range* b = in.count > 1 ? &ranges[o[1]] : nullptr;
        auto mag = [](const Range& x) { return std::max(std::fabs(x.lo), std::fabs(x.hi)); };
        switch (in.op) {
            case Add:
            case Multiply:
            case Maximum:
            case Minimum:
                for (uint32_t k = 1; k < in.count; ++k) {
                    const Range& w = ranges[o[k]];
                    if (in.op == Add) {
                        r = Range{r.lo + w.lo, r.hi + w.hi, r.slope + w.slope};
                    } else if (in.op == Multiply) {
                        const float c[4] = {r.lo * w.lo, r.lo * w.hi, r.hi * w.lo, r.hi * w.hi};
                        r = Range{*std::min_element(c, c + 4), *std::max_element(c, c + 4),
                                  r.slope * mag(w) + w.slope * mag(r)};
                    } else if (in.op == Maximum) {
                        r = Range{std::max(r.lo, w.lo), std::max(r.hi, w.hi),
                                  std::max(r.slope, w.slope)};
                    } else {
                        r = Range{std::min(r.lo, w.lo), std::min(r.hi, w.hi),
                                  std::max(r.slope, w.slope)};
                    }
                }
                return r;
            case Subtract:
                return Range{r.lo - b->hi, r.hi - b->lo, r.slope + b->slope};
            case Divide: {
                const float m = b->lo > 0.0f ? b->lo : (b->hi < 0.0f ? -b->hi : 0.0f);
                if (m == 0.0f) return Range{-1e30f, 1e30f, 1e30f};
                const float c[4] = {r.lo / b->lo, r.lo / b->hi, r.hi / b->lo, r.hi / b->hi};
                return Range{*std::min_element(c, c + 4), *std::max_element(c, c + 4),
                             (r.slope * mag(*b) + b->slope * mag(r)) / (m * m)};
            }
            case Negate:
                return Range{-r.hi, -r.lo, r.slope};
            default:
                return r;
        }
    }

    // True when instruction i only adds leaves (through nested adds), counting each use.
    bool addsLeaves(uint32_t i, std::vector<int>& uses) {
        const Instruction& in = program[i];
        if (in.op < 0) {
            ++uses[in.first];
            if (leaves[in.first].kind == Constant || leaves[in.first].kind == Plane)
                unbounded.push_back(in.first);
            return true;
        }
        if (in.op != Add && in.op != Identity) return false;
        for (uint32_t k = 0; k < in.count; ++k)
            if (!addsLeaves(operands[in.first + k], uses)) return false;
        return true;
    }

    std::vector<uint32_t> unbounded;  // constants and planes, which are everywhere
    float planeSlope = 0.0f;
};

}  // namespace blobby
}  // namespace shapes
}  // namespace ovo
