// bvh: the default accelerator, a bounding-volume hierarchy over the primitives of the world
// or of an object.
//
// A binary hierarchy is built with the surface-area heuristic over binned primitive centroids
// (all three axes, 32 bins, O(n log n)), then every two levels are collapsed into one 128-byte
// node holding the bounds of up to four children, so that two adjacent cache lines decide two
// levels of the walk. Leaves keep each primitive's bound beside it, and a primitive is only
// asked when the ray enters that bound. Nearest-hit rays visit children front to back (by
// their entry distances, or by the split axes for rays with a zero direction component), skip
// whatever lies beyond the nearest hit found so far, and use a fixed-size stack, allocating
// nothing; shadow and occlusion rays stop at the first hit. Every ray/box test is one of the
// library's Aabb tests, so the renderer's ray/box statistics count them.
// Primitives with an empty bound (empty objects, solids that cannot exist) are left out;
// primitives with a non-finite bound are tested by every ray.
//
// Parameters:
//   "int leafsize"  the largest number of primitives in a leaf, 1 to 64; default 4. The
//                   heuristic makes leaves smaller where that pays.
//
// "bvh" is the accelerator every scene uses unless the "accelerator" option names another:
//   Attribute "accelerator" "bvh"
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/aabb.h"
#include "core/params/error.h"
#include "core/params/parameter.h"

namespace {

using namespace ovo;

constexpr int DefaultLeafSize = 4;
constexpr int MaxLeafSize = 64;
constexpr int Bins = 32;  // at most; small nodes use fewer
// Below this depth splits follow the heuristic; deeper ones halve the primitive count, so the
// binary depth stays below MedianDepth + 32, the wide depth below half of that, and a walk
// never holds more than three waiting children per wide level.
constexpr int MedianDepth = 32;
constexpr int StackSize = 3 * (MedianDepth + 32) / 2 + 4;
// Relative costs of visiting a node (two box tests) and of asking a primitive (a box test, a
// virtual call, a ray transform and the shape's own test, mostly cache misses).
constexpr float TraversalCost = 1.0f;
constexpr float IntersectionCost = 1.5f;

// A node of the binary hierarchy while building. A child is a leaf when its count is not zero:
// `index` is then its first entry in the leaf array; otherwise `index` is the child's node.
struct Node {
    Aabb box[2];
    uint32_t index[2];
    uint16_t count[2];
    uint8_t axis;  // split axis
};

// The nodes rays walk: two binary levels in one. Slots 0 and 1 are the children of the first
// binary child, slots 2 and 3 those of the second; a binary child that was a leaf takes the
// first slot of its pair and leaves the other empty. Each slot's reference is tagged:
//   bit 0 set      a leaf of one primitive: the pointer is the reference with bits 0-2 clear;
//   bit 0 clear    bits 3-18 hold a count (0 for an interior node, EmptySlot for nothing) and
//                  bits 32-63 an index (the child node, or the first entry of a leaf).
// Bits 1-2 of the first three references hold the split axes: of the level above the pairs,
// then of each pair. An empty slot's bound lies at -1e30, where no ray enters it.
constexpr uint64_t EmptySlot = 0xffff;
struct alignas(64) WideNode {
    Aabb box[4];
    uint64_t ref[4];

    static bool isPrimitive(uint64_t r) { return r & 1u; }
    static const Primitive* primitive(uint64_t r) {
        return reinterpret_cast<const Primitive*>(uintptr_t(r & ~uint64_t(7)));
    }
    static uint32_t count(uint64_t r) { return uint32_t(r >> 3) & 0xffffu; }
    static uint32_t index(uint64_t r) { return uint32_t(r >> 32); }
    unsigned axis(int i) const { return unsigned(ref[i] >> 1) & 3u; }
};
static_assert(sizeof(WideNode) == 128, "a node is two cache lines");
static_assert(alignof(Primitive) >= 8, "primitive pointers leave three bits for tags");

struct LeafEntry {
    Aabb box;
    const Primitive* primitive;
};
static_assert(sizeof(LeafEntry) == 32, "two entries per cache line");

// ---------------------------------------------------------------------------------------------
// Build

// A primitive's bound while building. The loads of lo and hi read four floats each: lo's fourth
// is hi[0] and hi's fourth is `zero`, so the index never enters arithmetic.
struct Item {
    float lo[3];
    float hi[3];
    float zero;
    uint32_t index;
    __m128 loadLo() const { return _mm_loadu_ps(lo); }
    __m128 loadHi() const { return _mm_loadu_ps(hi); }
    // Twice the centroid: the scale does not matter for binning.
    __m128 centroid() const { return _mm_add_ps(loadLo(), loadHi()); }
};

struct Bounds {
    __m128 lo = _mm_set1_ps(1e30f), hi = _mm_set1_ps(-1e30f);
    __m128 clo = _mm_set1_ps(1e30f), chi = _mm_set1_ps(-1e30f);  // of the centroids
    void grow(__m128 l, __m128 h, __m128 c) {
        lo = _mm_min_ps(lo, l);
        hi = _mm_max_ps(hi, h);
        clo = _mm_min_ps(clo, c);
        chi = _mm_max_ps(chi, c);
    }
    void grow(const Bounds& b) {
        lo = _mm_min_ps(lo, b.lo);
        hi = _mm_max_ps(hi, b.hi);
        clo = _mm_min_ps(clo, b.clo);
        chi = _mm_max_ps(chi, b.chi);
    }
};

inline float lane(__m128 v, int a) {
    alignas(16) float f[4];
    _mm_store_ps(f, v);
    return f[a];
}

inline float halfArea(__m128 lo, __m128 hi) {
    alignas(16) float d[4];
    _mm_store_ps(d, _mm_sub_ps(hi, lo));
    return d[0] * (d[1] + d[2]) + d[1] * d[2];
}

inline Aabb toAabb(__m128 lo, __m128 hi) {
    alignas(16) float l[4], h[4];
    _mm_store_ps(l, lo);
    _mm_store_ps(h, hi);
    Aabb b;
    for (int a = 0; a < 3; ++a) {
        b.bmin[a] = l[a];
        b.bmax[a] = h[a];
    }
    return b;
}

Bounds boundsOf(const Item* items, uint32_t begin, uint32_t end) {
    Bounds b;
    for (uint32_t i = begin; i < end; ++i)
        b.grow(items[i].loadLo(), items[i].loadHi(), items[i].centroid());
    return b;
}

struct Child {
    uint32_t index;
    uint16_t count;
};

class Builder {
  public:
    Builder(std::vector<Item>& items, std::vector<Node>& nodes, int leafSize)
        : items(items), nodes(nodes), leafSize(uint32_t(leafSize)) {}

    Child build(uint32_t begin, uint32_t end, const Bounds& bounds, int depth) {
        const uint32_t count = end - begin;
        if (count == 1) return Child{begin, 1};

        Bounds left, right;
        uint32_t mid = begin;
        int axis = 0;
        const Split split = depth < MedianDepth
                                ? splitByHeuristic(begin, end, bounds, axis, mid, left, right)
                                : Split::None;
        if (split == Split::Leaf) return Child{begin, uint16_t(count)};
        if (split == Split::None) {
            if (count <= leafSize) return Child{begin, uint16_t(count)};
            splitAtMedian(begin, end, bounds, axis, mid);
            left = boundsOf(items.data(), begin, mid);
            right = boundsOf(items.data(), mid, end);
        }

        const uint32_t self = uint32_t(nodes.size());
        nodes.emplace_back();
        const Child a = build(begin, mid, left, depth + 1);
        const Child b = build(mid, end, right, depth + 1);
        Node& node = nodes[self];
        node.box[0] = toAabb(left.lo, left.hi);
        node.box[1] = toAabb(right.lo, right.hi);
        node.index[0] = a.index;
        node.index[1] = b.index;
        node.count[0] = a.count;
        node.count[1] = b.count;
        node.axis = uint8_t(axis);
        return Child{self, 0};
    }

  private:
    enum class Split { Done, Leaf, None };

    // Bins track the primitives' bounds only; the children's centroid bounds are gathered
    // while partitioning, which visits every primitive anyway.
    struct Bin {
        __m128 lo, hi;
        uint32_t count;
        void grow(__m128 l, __m128 h) {
            lo = _mm_min_ps(lo, l);
            hi = _mm_max_ps(hi, h);
        }
        void grow(const Bin& b) {
            grow(b.lo, b.hi);
            count += b.count;
        }
    };

    // Unusable axes (no centroid extent) have scale 0: everything falls into bin 0.
    static inline __m128 binsOf(__m128 c, __m128 cmin, __m128 scale, __m128 last) {
        const __m128 b = _mm_mul_ps(_mm_sub_ps(c, cmin), scale);
        return _mm_min_ps(_mm_max_ps(b, _mm_setzero_ps()), last);
    }

    // Done: [begin, mid) and [mid, end) with their bounds. Leaf: a leaf is cheaper than any
    // split. None: no axis separates the centroids.
    Split splitByHeuristic(uint32_t begin, uint32_t end, const Bounds& bounds, int& bestAxis,
                           uint32_t& mid, Bounds& bestLeft, Bounds& bestRight) {
        // A few primitives need few bins: clearing and sweeping them costs more than binning.
        const uint32_t count = end - begin;
        const int nb = int(std::min<uint32_t>(Bins, std::max<uint32_t>(8, count)));
        const __m128 last = _mm_set1_ps(float(nb - 1));
        alignas(16) float scale[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        bool usable[3];
        for (int a = 0; a < 3; ++a) {
            const float extent = lane(bounds.chi, a) - lane(bounds.clo, a);
            const float s = float(nb) * (1.0f - 1e-6f) / extent;
            usable[a] = extent > 0.0f && std::isfinite(s);
            if (usable[a]) scale[a] = s;
        }
        if (!usable[0] && !usable[1] && !usable[2]) return Split::None;
        const __m128 scale4 = _mm_load_ps(scale);

        Bin bins[3][Bins];
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < nb; ++b)
                bins[a][b] = Bin{_mm_set1_ps(1e30f), _mm_set1_ps(-1e30f), 0};
        for (uint32_t i = begin; i < end; ++i) {
            const Item& item = items[i];
            const __m128 lo = item.loadLo(), hi = item.loadHi();
            const __m128 c = _mm_add_ps(lo, hi);
            alignas(16) float b[4];
            _mm_store_ps(b, binsOf(c, bounds.clo, scale4, last));
            for (int a = 0; a < 3; ++a) {
                Bin& bin = bins[a][int(b[a])];
                bin.grow(lo, hi);
                ++bin.count;
            }
        }

        float bestCost = 1e38f;
        int bestSplit = -1;
        for (int a = 0; a < 3; ++a) {
            if (!usable[a]) continue;
            // Right-hand sweep first: area and count of bins b .. nb-1.
            float rightArea[Bins];
            uint32_t rightCount[Bins];
            Bin r{_mm_set1_ps(1e30f), _mm_set1_ps(-1e30f), 0};
            for (int b = nb - 1; b > 0; --b) {
                r.grow(bins[a][b]);
                rightArea[b] = r.count ? halfArea(r.lo, r.hi) : 0.0f;
                rightCount[b] = r.count;
            }
            Bin l{_mm_set1_ps(1e30f), _mm_set1_ps(-1e30f), 0};
            for (int b = 0; b < nb - 1; ++b) {
                l.grow(bins[a][b]);
                if (l.count == 0 || rightCount[b + 1] == 0) continue;
                const float cost = float(l.count) * halfArea(l.lo, l.hi) +
                                   float(rightCount[b + 1]) * rightArea[b + 1];
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = a;
                    bestSplit = b;
                }
            }
        }
        if (bestSplit < 0) return Split::None;

        if (count <= leafSize) {
            const float area = halfArea(bounds.lo, bounds.hi);
            // Points and flat nodes have no area to weigh: keep them whole.
            if (!(area > 0.0f)) return Split::Leaf;
            const float leafCost = IntersectionCost * float(count);
            const float splitCost = TraversalCost + IntersectionCost * bestCost / area;
            if (leafCost <= splitCost) return Split::Leaf;
        }

        const int a = bestAxis;
        bestLeft = Bounds();
        bestRight = Bounds();
        for (int b = 0; b < nb; ++b) {
            Bounds& side = b <= bestSplit ? bestLeft : bestRight;
            side.lo = _mm_min_ps(side.lo, bins[a][b].lo);
            side.hi = _mm_max_ps(side.hi, bins[a][b].hi);
        }
        // The same arithmetic as the binning decides each side.
        auto isLeft = [&](__m128 c) {
            return int(lane(binsOf(c, bounds.clo, scale4, last), a)) <= bestSplit;
        };
        auto grow = [](Bounds& side, __m128 c) {
            side.clo = _mm_min_ps(side.clo, c);
            side.chi = _mm_max_ps(side.chi, c);
        };
        uint32_t i = begin, j = end;
        for (;;) {
            for (; i < j; ++i) {
                const __m128 c = items[i].centroid();
                if (!isLeft(c)) break;
                grow(bestLeft, c);
            }
            for (; i < j; --j) {
                const __m128 c = items[j - 1].centroid();
                if (isLeft(c)) break;
                grow(bestRight, c);
            }
            if (i >= j) break;
            std::swap(items[i], items[j - 1]);
            grow(bestLeft, items[i].centroid());
            grow(bestRight, items[j - 1].centroid());
            ++i;
            --j;
        }
        mid = i;
        return Split::Done;
    }

    void splitAtMedian(uint32_t begin, uint32_t end, const Bounds& bounds, int& axis,
                       uint32_t& mid) {
        const __m128 extent = _mm_sub_ps(bounds.chi, bounds.clo);
        axis = 0;
        for (int a = 1; a < 3; ++a)
            if (lane(extent, a) > lane(extent, axis)) axis = a;
        mid = begin + (end - begin) / 2;
        // Coincident centroids need no ordering: any halving will do.
        if (lane(extent, axis) > 0.0f) {
            const int a = axis;
            std::nth_element(items.begin() + begin, items.begin() + mid, items.begin() + end,
                             [a](const Item& x, const Item& y) {
                                 return x.lo[a] + x.hi[a] < y.lo[a] + y.hi[a];
                             });
        }
    }

    std::vector<Item>& items;
    std::vector<Node>& nodes;
    uint32_t leafSize;
};

// Collapses the binary hierarchy into wide nodes, each parent before its children.
class Collapser {
  public:
    Collapser(const std::vector<Node>& binary, const std::vector<const Primitive*>& leafPrimitives,
              std::vector<WideNode>& wide)
        : binary(binary), leafPrimitives(leafPrimitives), wide(wide) {}

    uint32_t collapse(uint32_t b) {
        const uint32_t self = uint32_t(wide.size());
        wide.emplace_back();
        Aabb box[4];
        uint32_t index[4], count[4];
        unsigned axis[3];
        const Node& n = binary[b];
        axis[0] = n.axis;
        for (int side = 0; side < 2; ++side) {
            const int s0 = 2 * side;
            if (n.count[side]) {
                box[s0] = n.box[side];
                index[s0] = n.index[side];
                count[s0] = n.count[side];
                box[s0 + 1] = Aabb(Point(-1e30f));
                index[s0 + 1] = 0;
                count[s0 + 1] = EmptySlot;
                axis[1 + side] = 0;
                continue;
            }
            const Node& c = binary[n.index[side]];
            axis[1 + side] = c.axis;
            for (int k = 0; k < 2; ++k) {
                box[s0 + k] = c.box[k];
                index[s0 + k] = c.index[k];
                count[s0 + k] = c.count[k];
            }
        }
        for (int slot = 0; slot < 4; ++slot)
            if (count[slot] == 0) index[slot] = collapse(index[slot]);
        WideNode& w = wide[self];
        for (int slot = 0; slot < 4; ++slot) {
            w.box[slot] = box[slot];
            w.ref[slot] = reference(index[slot], count[slot]);
        }
        for (int i = 0; i < 3; ++i) w.ref[i] |= uint64_t(axis[i]) << 1;
        return self;
    }

    uint64_t reference(uint32_t index, uint32_t count) const {
        if (count == 1) return uint64_t(uintptr_t(leafPrimitives[index])) | 1u;
        return (uint64_t(index) << 32) | (uint64_t(count) << 3);
    }

  private:
    const std::vector<Node>& binary;
    const std::vector<const Primitive*>& leafPrimitives;
    std::vector<WideNode>& wide;
};

// ---------------------------------------------------------------------------------------------
// The accelerator

class Bvh : public Aggregate {
  public:
    Bvh(std::vector<Reference<Primitive>>& list, int leafSize) : Aggregate(list) {
        std::vector<Item> items;
        items.reserve(primitives.size());
        std::vector<const Primitive*> bounded;
        bounded.reserve(primitives.size());
        size_t nulls = 0;
        for (const Reference<Primitive>& p : primitives) {
            if (!p) {
                ++nulls;
                continue;
            }
            const Aabb b = p->worldExtent();
            bound += b;
            bool finite = true, empty = false;
            for (int a = 0; a < 3; ++a) {
                finite = finite && std::isfinite(b.bmin[a]) && std::isfinite(b.bmax[a]);
                empty = empty || b.bmin[a] > b.bmax[a];
            }
            if (!finite) {
                unbounded.push_back(p.get());
                continue;
            }
            if (empty) continue;  // nothing in it can be hit
            items.push_back(Item{{b.bmin[0], b.bmin[1], b.bmin[2]},
                                 {b.bmax[0], b.bmax[1], b.bmax[2]},
                                 0.0f,
                                 uint32_t(bounded.size())});
            bounded.push_back(p.get());
        }
        if (nulls)
            geometryErrorManager().Warning("bvh: %zu null primitive(s) in the list. Ignoring ...",
                                           nulls);
        if (!unbounded.empty())
            geometryErrorManager().Warning(
                "bvh: %zu primitive(s) with an infinite or invalid bound; every ray tests them",
                unbounded.size());
        if (items.empty()) return;

        std::vector<Node> binary;
        binary.reserve(items.size() / std::max(1, leafSize / 2) + 1);
        const Bounds all = boundsOf(items.data(), 0, uint32_t(items.size()));
        const Child root =
            Builder(items, binary, leafSize).build(0, uint32_t(items.size()), all, 0);
        leaves.resize(items.size());
        std::vector<const Primitive*> leafPrimitives(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            const Item& item = items[i];
            leaves[i].box =
                Aabb(item.lo[0], item.hi[0], item.lo[1], item.hi[1], item.lo[2], item.hi[2]);
            leaves[i].primitive = leafPrimitives[i] = bounded[item.index];
        }

        Collapser collapser(binary, leafPrimitives, nodes);
        if (root.count) {
            // A single leaf: a root whose other children are empty.
            WideNode w;
            for (int slot = 0; slot < 4; ++slot) {
                w.box[slot] = Aabb(Point(-1e30f));
                w.ref[slot] = collapser.reference(0, EmptySlot);
            }
            w.box[0] = toAabb(all.lo, all.hi);
            w.ref[0] = collapser.reference(root.index, root.count);
            nodes.push_back(w);
        } else {
            nodes.reserve(binary.size() / 2 + 1);
            collapser.collapse(0);
        }
        nodes.shrink_to_fit();
    }

    bool intersect(const Ray& ray, Hit& hit) const override {
        Ray r = ray;
        bool found = false;
        for (const Primitive* p : unbounded) {
            if (p->intersect(r, hit)) {
                r.maxt = hit.t;
                found = true;
            }
        }
        if (nodes.empty() || !isUsable(r)) return found;
        if (r.d.x != 0.0f && r.d.y != 0.0f && r.d.z != 0.0f)
            return nearestClassified(r, hit) || found;
        return nearestByAxis(r, hit) || found;
    }

    bool intersect(const Ray& ray) const override {
        for (const Primitive* p : unbounded)
            if (p->intersect(ray)) return true;
        if (nodes.empty() || !isUsable(ray)) return false;

        const Vector inv(1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z);
        const WideNode* stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            const unsigned mask = enteredSlots(*node, ray, inv);
            const WideNode* next = nullptr;
            for (unsigned slot = 0; slot < 4; ++slot) {
                if (!(mask >> slot & 1u)) continue;
                const uint64_t ref = node->ref[slot];
                if (WideNode::isPrimitive(ref)) {
                    if (WideNode::primitive(ref)->intersect(ray)) return true;
                } else if (const uint32_t count = WideNode::count(ref)) {
                    if (count != EmptySlot && anyInLeaf(ray, inv, WideNode::index(ref), count))
                        return true;
                } else {
                    const WideNode* child = &nodes[WideNode::index(ref)];
                    prefetch(child);
                    if (next)
                        stack[top++] = child;
                    else
                        next = child;
                }
            }
            if (next) {
                node = next;
            } else {
                if (top == 0) return false;
                node = stack[--top];
            }
        }
    }

  private:
    // Rays with no zero direction component: the sign-classified test gives each child's entry
    // distance, so children are visited front to back and skipped once beyond the nearest hit.
    bool nearestClassified(Ray& r, Hit& hit) const {
        const Vector inv(1.0f / r.d.x, 1.0f / r.d.y, 1.0f / r.d.z);
        const int rayClass =
            ((inv.x < 0.0f ? 1 : 2) << 4) | ((inv.y < 0.0f ? 1 : 2) << 2) | (inv.z < 0.0f ? 1 : 2);
        bool found = false;
        Far stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            float entry[4], exit;
            unsigned slots[4];
            int m = 0;
            for (unsigned slot = 0; slot < 4; ++slot) {
                if (!node->box[slot].intersect(r, inv, rayClass, &entry[slot], &exit)) continue;
                int k = m++;  // insertion into front-to-back order
                while (k > 0 && entry[slots[k - 1]] > entry[slot]) {
                    slots[k] = slots[k - 1];
                    --k;
                }
                slots[k] = slot;
            }
            const WideNode* next = nullptr;
            float nextEntry = 0.0f;
            const int pushedFrom = top;
            for (int k = 0; k < m; ++k) {
                const unsigned slot = slots[k];
                if (entry[slot] > r.maxt) break;
                const uint64_t ref = node->ref[slot];
                if (!WideNode::isPrimitive(ref) && WideNode::count(ref) == 0) {
                    const WideNode* child = &nodes[WideNode::index(ref)];
                    prefetch(child);
                    prefetch(reinterpret_cast<const char*>(child) + 64);
                    if (next)
                        stack[top++] = Far{child, entry[slot]};
                    else
                        next = child, nextEntry = entry[slot];
                } else if (WideNode::isPrimitive(ref) || WideNode::count(ref) != EmptySlot) {
                    if (nearestIn(ref, r, inv, hit)) found = true;
                }
            }
            // Pushed front to back; the nearest must come off first.
            std::reverse(stack + pushedFrom, stack + top);
            if (next && nextEntry <= r.maxt) {
                node = next;
                continue;
            }
            for (;;) {
                if (top == 0) return found;
                const Far& f = stack[--top];
                if (f.entry <= r.maxt) {
                    node = f.node;
                    break;
                }
            }
        }
    }

    // Rays with a zero direction component: children in the order of the split axes.
    bool nearestByAxis(Ray& r, Hit& hit) const {
        bool found = false;

        const Vector inv(1.0f / r.d.x, 1.0f / r.d.y, 1.0f / r.d.z);
        // The sign of the reciprocal, not of the direction: -0 must count as negative.
        const unsigned sign[3] = {inv.x < 0.0f, inv.y < 0.0f, inv.z < 0.0f};
        Pending stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            const unsigned mask = enteredSlots(*node, r, inv);
            if (mask) {
                // Front to back: the nearer pair by the upper split, then within each pair.
                const unsigned near = sign[node->axis(0)], far = near ^ 1u;
                const unsigned nearFirst = sign[node->axis(1 + near)];
                const unsigned farFirst = sign[node->axis(1 + far)];
                const unsigned order[4] = {2 * near + nearFirst, 2 * near + (nearFirst ^ 1u),
                                           2 * far + farFirst, 2 * far + (farFirst ^ 1u)};
                // Start the loads of everything entered, then ask the leaves, then descend.
                unsigned inner[4], leaf[4];
                int n = 0, l = 0;
                for (int k = 0; k < 4; ++k) {
                    const unsigned slot = order[k];
                    if (!(mask >> slot & 1u)) continue;
                    const uint64_t ref = node->ref[slot];
                    if (WideNode::isPrimitive(ref)) {
                        prefetch(WideNode::primitive(ref));
                        leaf[l++] = slot;
                    } else if (const uint32_t count = WideNode::count(ref)) {
                        if (count == EmptySlot) continue;
                        prefetch(&leaves[WideNode::index(ref)]);
                        leaf[l++] = slot;
                    } else {
                        const WideNode* child = &nodes[WideNode::index(ref)];
                        prefetch(child);
                        prefetch(reinterpret_cast<const char*>(child) + 64);
                        inner[n++] = slot;
                    }
                }
                for (int k = 0; k < l; ++k)
                    if (nearestIn(node->ref[leaf[k]], r, inv, hit)) found = true;
                if (n) {
                    // The farther ones wait with their bounds, to be tested again against the
                    // nearest hit found by then.
                    for (int k = n - 1; k > 0; --k)
                        stack[top++] = Pending{&node->box[inner[k]],
                                               &nodes[WideNode::index(node->ref[inner[k]])]};
                    node = &nodes[WideNode::index(node->ref[inner[0]])];
                    continue;
                }
            }
            for (;;) {
                if (top == 0) return found;
                const Pending& p = stack[--top];
                if (p.box->intersect(r, inv, nullptr, nullptr)) {
                    node = p.node;
                    break;
                }
            }
        }
    }

    struct Pending {
        const Aabb* box;
        const WideNode* node;
    };
    struct Far {
        const WideNode* node;
        float entry;
    };

    static void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }

    // A ray with a NaN in it would enter every box.
    static bool isUsable(const Ray& r) {
        return r.o.x == r.o.x && r.o.y == r.o.y && r.o.z == r.o.z && r.d.x == r.d.x &&
               r.d.y == r.d.y && r.d.z == r.d.z;
    }

    // The slots whose bounds the ray enters, one bit each; no branch per slot.
    static unsigned enteredSlots(const WideNode& node, const Ray& r, const Vector& inv) {
        unsigned mask = 0;
        for (unsigned slot = 0; slot < 4; ++slot)
            mask |= unsigned(node.box[slot].intersect(r, inv, nullptr, nullptr)) << slot;
        return mask;
    }

    bool nearestIn(uint64_t ref, Ray& r, const Vector& inv, Hit& hit) const {
        if (WideNode::isPrimitive(ref)) {
            if (!WideNode::primitive(ref)->intersect(r, hit)) return false;
            r.maxt = hit.t;
            return true;
        }
        bool found = false;
        const LeafEntry* e = &leaves[WideNode::index(ref)];
        for (uint32_t i = 0, count = WideNode::count(ref); i < count; ++i) {
            if (!e[i].box.intersect(r, inv, nullptr, nullptr)) continue;
            if (e[i].primitive->intersect(r, hit)) {
                r.maxt = hit.t;
                found = true;
            }
        }
        return found;
    }

    bool anyInLeaf(const Ray& r, const Vector& inv, uint32_t first, uint32_t count) const {
        const LeafEntry* e = &leaves[first];
        for (uint32_t i = 0; i < count; ++i) {
            if (!e[i].box.intersect(r, inv, nullptr, nullptr)) continue;
            if (e[i].primitive->intersect(r)) return true;
        }
        return false;
    }

    std::vector<WideNode> nodes;  // the root is node 0
    std::vector<LeafEntry> leaves;
    std::vector<const Primitive*> unbounded;
};

}  // namespace

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& primitives,
                                           ovo::ParameterSet& parameters) {
    int leafSize = parameters.findInt("leafsize", DefaultLeafSize);
    if (leafSize < 1 || leafSize > MaxLeafSize) {
        ovo::geometryErrorManager().Warning("bvh: leafsize %d is outside 1 to %d. Using %d",
                                            leafSize, MaxLeafSize, DefaultLeafSize);
        leafSize = DefaultLeafSize;
    }
    try {
        return new Bvh(primitives, leafSize);
    } catch (const std::bad_alloc&) {
        ovo::geometryErrorManager().Severe(
            "bvh: out of memory building the hierarchy of %zu primitives. Ignoring ...",
            primitives.size());
        return nullptr;
    }
}
