// bvh: the default accelerator, a bounding-volume hierarchy over the primitives of the world
// or of an object.
//
// A binary hierarchy is built with the surface-area heuristic over binned primitive centroids
// (all three axes, up to 32 bins, O(n log n)) and then collapsed into 128-byte nodes of four
// children: each node takes the binary levels below it, always opening the child with the
// largest surface, until it holds four children. A node stores, for each of the eight octants
// of ray directions, the order of its children front to back along the binary splits it took
// in, so a ray never sorts. Every box test is the library's branch-free Aabb test with the
// reciprocal direction (the renderer's ray/box statistics count them); a node's four tests
// give a mask whose bits are walked in that order. Nearest-hit rays descend into the nearest
// child, keep the others on a fixed-size stack, and test a waiting child's box again only when
// a hit found meanwhile has shortened the ray. Shadow and occlusion rays stop at the first
// hit. Leaves keep each primitive's bound beside it, every leaf from the start of a cache
// line, and a primitive is only asked when the ray enters its bound. Tracing is bound by
// memory latency rather than arithmetic, so the loads of every child and primitive a ray
// enters are started together, letting their cache misses overlap. Nothing is allocated while
// tracing.
// Primitives with an empty bound (empty objects, solids that cannot exist) are left out;
// primitives with a non-finite bound are tested by every ray.
//
// Parameters:
//   "int leafsize"  the largest number of primitives in a leaf, 1 to 64; default 4. The
//                   heuristic makes leaves smaller where that pays.
//
// "bvh" is the accelerator every scene uses unless the "accelerator" option names another:
//   Attribute "accelerator" "bvh"
#include <emmintrin.h>

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
// binary depth stays below MedianDepth + 32. Every wide level goes at least one binary level
// down and leaves at most three siblings waiting, which bounds the traversal stack.
constexpr int MedianDepth = 32;
constexpr int StackSize = 3 * (MedianDepth + 32) + 4;
// Relative costs for the leaf decision, in box tests. Every primitive keeps its own bound, so
// a primitive is asked only when the ray enters that bound, whether it sits in a leaf of its
// own or shares one: what a split saves is box tests, and what it costs is a binary level
// more to walk, that is box tests plus, mostly, a cache miss on the way down.
constexpr float BoxCost = 1.0f;
constexpr float SplitCost = 4.0f;
// How much of a shape object to load ahead of its test: shapes keep what their test reads
// (bounds, plane, frame, array pointers) in their first few lines.
constexpr int ShapeLines = 4;

// A node of the binary hierarchy while building. A child is a leaf when its count is not zero:
// `index` is then its first entry in the leaf array; otherwise `index` is the child's node.
// Child 0 holds the smaller centroids along `axis`.
struct Node {
    Aabb box[2];
    uint32_t index[2];
    uint16_t count[2];
    uint8_t axis;
};

// The nodes rays walk. A slot holds a child node (count 0) or a leaf of `count` primitives
// starting at entry `index`. order[o] lists the slots front to back for rays whose direction
// has the signs of octant o (bit a set: negative along axis a), two bits per slot, the first
// in the lowest bits; slots not in use come last.
struct alignas(64) WideNode {
    Aabb box[4];
    uint32_t index[4];
    uint8_t count[4];
    uint8_t order[8];
    uint8_t slots;  // in use: 0 to slots - 1
};
static_assert(sizeof(WideNode) == 128, "a node is two cache lines");

// A primitive in a leaf with its bound: one load brings both.
struct LeafEntry {
    Aabb box;
    const Primitive* primitive;
};
static_assert(sizeof(LeafEntry) == 32, "two entries per cache line");
struct alignas(64) LeafLine {
    LeafEntry entry[2];
};

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
            alignas(16) int b[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(b),
                            _mm_cvttps_epi32(binsOf(c, bounds.clo, scale4, last)));
            for (int a = 0; a < 3; ++a) {
                Bin& bin = bins[a][b[a]];
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
            const float leafCost = BoxCost * float(count);
            const float splitCost = SplitCost + BoxCost * bestCost / area;
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
            alignas(16) int b[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(b),
                            _mm_cvttps_epi32(binsOf(c, bounds.clo, scale4, last)));
            return b[a] <= bestSplit;
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

// Collapses the binary hierarchy into wide nodes. The child nodes of one wide node are stored
// side by side, after their parent.
class Collapser {
  public:
    Collapser(const std::vector<Node>& binary, std::vector<WideNode>& wide)
        : binary(binary), wide(wide) {}

    void fill(uint32_t self, uint32_t root) {
        // The binary treelet taken in: item 0 is the root; opening an item appends its two
        // children. At most three openings give four children.
        struct Item {
            Aabb box;
            uint32_t index, count;
            int first;  // the first of its two children once opened, else -1
            unsigned axis;
        };
        Item items[7];
        int n = 0, children = 1;
        items[n++] = Item{Aabb(), root, 0, -1, 0};
        auto open = [&](int k) {
            const Node& b = binary[items[k].index];
            items[k].first = n;
            items[k].axis = b.axis;
            for (int side = 0; side < 2; ++side)
                items[n++] = Item{b.box[side], b.index[side], b.count[side], -1, 0};
            ++children;
        };
        open(0);
        while (children < 4) {
            int best = -1;
            float bestArea = -1.0f;
            for (int k = 1; k < n; ++k) {
                if (items[k].first >= 0 || items[k].count != 0) continue;
                const float area = items[k].box.area();
                if (area > bestArea) bestArea = area, best = k;
            }
            if (best < 0) break;  // only leaves left
            open(best);
        }

        int slotOf[7];
        int slots = 0;
        WideNode w;
        for (int k = 1; k < n; ++k) {
            if (items[k].first >= 0) continue;
            slotOf[k] = slots;
            w.box[slots] = items[k].box;
            w.index[slots] = items[k].index;
            w.count[slots] = uint8_t(items[k].count);
            ++slots;
        }
        w.slots = uint8_t(slots);
        for (int s = slots; s < 4; ++s) {
            w.box[s] = Aabb();
            w.index[s] = 0;
            w.count[s] = 0;
        }
        for (unsigned octant = 0; octant < 8; ++octant) {
            // Front to back: at each binary split, the side the ray's direction comes from.
            unsigned order = 0;
            int position = 0;
            int pending[8], top = 0;
            pending[top++] = 0;
            while (top) {
                const Item& it = items[pending[--top]];
                if (it.first < 0) {
                    order |= unsigned(slotOf[&it - items]) << (2 * position++);
                    continue;
                }
                const int near = it.first + int(octant >> it.axis & 1u);
                const int far = it.first + int(~octant >> it.axis & 1u);
                pending[top++] = far;
                pending[top++] = near;
            }
            for (int s = slots; s < 4; ++s) order |= unsigned(s) << (2 * position++);
            w.order[octant] = uint8_t(order);
        }

        // Reserve the child nodes side by side, then fill each.
        uint32_t childNode[4];
        for (int s = 0; s < slots; ++s) {
            if (w.count[s] != 0) continue;
            childNode[s] = uint32_t(wide.size());
            wide.emplace_back();
        }
        const uint32_t binaryIndex[4] = {w.index[0], w.index[1], w.index[2], w.index[3]};
        for (int s = 0; s < slots; ++s)
            if (w.count[s] == 0) w.index[s] = childNode[s];
        wide[self] = w;
        for (int s = 0; s < slots; ++s)
            if (w.count[s] == 0) fill(childNode[s], binaryIndex[s]);
    }

  private:
    const std::vector<Node>& binary;
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
        std::vector<const char*> shapes;  // of the bounded ones
        bounded.reserve(primitives.size());
        shapes.reserve(primitives.size());
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
            // Asked now, while the primitive is in the cache.
            const auto* g = dynamic_cast<const GeometricPrimitive*>(p.get());
            shapes.push_back(g ? reinterpret_cast<const char*>(g->getShape().get()) : nullptr);
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
        binary.reserve(items.size());
        const Bounds all = boundsOf(items.data(), 0, uint32_t(items.size()));
        const Child root =
            Builder(items, binary, leafSize).build(0, uint32_t(items.size()), all, 0);
        nodes.reserve(binary.size() / 2 + 2);
        nodes.emplace_back();
        if (root.count) {
            // A single leaf: a root with one slot.
            WideNode& w = nodes[0];
            for (int s = 0; s < 4; ++s) {
                w.box[s] = Aabb();
                w.index[s] = 0;
                w.count[s] = 0;
            }
            w.box[0] = toAabb(all.lo, all.hi);
            w.index[0] = root.index;
            w.count[0] = uint8_t(root.count);
            for (uint8_t& o : w.order) o = 0xe4;  // 0, 1, 2, 3
            w.slots = 1;
        } else {
            Collapser(binary, nodes).fill(0, root.index);
        }
        nodes.shrink_to_fit();

        // Each leaf starts a cache line, in the order of the nodes that hold them.
        size_t lines = 0;
        for (const WideNode& w : nodes)
            for (int s = 0; s < 4; ++s) lines += (w.count[s] + 1u) / 2u;
        leafLines.resize(lines);
        leafShapes.assign(2 * lines, nullptr);
        LeafEntry* entry = leafLines.data()->entry;
        uint32_t next = 0;
        for (WideNode& w : nodes)
            for (int s = 0; s < 4; ++s) {
                if (!w.count[s]) continue;
                for (uint32_t i = 0; i < w.count[s]; ++i) {
                    const Item& item = items[w.index[s] + i];
                    entry[next + i].box = Aabb(item.lo[0], item.hi[0], item.lo[1], item.hi[1],
                                               item.lo[2], item.hi[2]);
                    entry[next + i].primitive = bounded[item.index];
                    leafShapes[next + i] = shapes[item.index];
                }
                w.index[s] = next;
                next += 2 * ((w.count[s] + 1u) / 2u);
            }
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
        return nearest(r, hit) || found;
    }

    bool intersect(const Ray& ray) const override {
        for (const Primitive* p : unbounded)
            if (p->intersect(ray)) return true;
        if (nodes.empty() || !isUsable(ray)) return false;

        // A zero component gives an infinite reciprocal, which the box test handles.
        const Vector inv(1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z);
        const unsigned octant = octantOf(inv);
        uint32_t stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            const unsigned mask = enteredSlots(*node, ray, inv);
            for (unsigned m = mask; m; m &= m - 1) prefetchSlot(*node, __builtin_ctz(m));
            unsigned order = node->order[octant];
            const WideNode* next = nullptr;
            for (int k = 0; k < 4; ++k, order >>= 2) {
                const unsigned slot = order & 3u;
                if (!(mask >> slot & 1u)) continue;
                const uint32_t index = node->index[slot];
                if (const uint32_t count = node->count[slot]) {
                    if (anyInLeaf(ray, inv, index, count)) return true;
                } else if (next) {
                    stack[top++] = index;
                } else {
                    next = &nodes[index];
                }
            }
            if (next) {
                node = next;
            } else {
                if (top == 0) return false;
                node = &nodes[stack[--top]];
            }
        }
    }

  private:
    // A child waiting on the stack: its bound (in its parent), what it is, and the end of the
    // ray when it was put there.
    struct Waiting {
        const Aabb* box;
        uint32_t index;
        uint32_t count;
        float maxt;
    };

    bool nearest(Ray& r, Hit& hit) const {
        const Vector inv(1.0f / r.d.x, 1.0f / r.d.y, 1.0f / r.d.z);
        const unsigned octant = octantOf(inv);
        bool found = false;
        Waiting stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            const unsigned mask = enteredSlots(*node, r, inv);
            // The entered slots front to back, without a branch per slot.
            unsigned order = node->order[octant];
            unsigned slots[4];
            int n = 0;
            for (int k = 0; k < 4; ++k, order >>= 2) {
                slots[n] = order & 3u;
                n += int(mask >> (order & 3u) & 1u);
            }
            if (n) {
                // Every child entered is loaded at once, so that the cache misses overlap; the
                // farther ones wait, the nearest of them on top.
                for (int k = 0; k < n; ++k) prefetchSlot(*node, slots[k]);
                for (int k = n - 1; k > 0; --k) {
                    const unsigned s = slots[k];
                    stack[top++] = Waiting{&node->box[s], node->index[s], node->count[s], r.maxt};
                }
                const unsigned s = slots[0];
                if (node->count[s] == 0) {
                    node = &nodes[node->index[s]];
                    continue;
                }
                if (nearestInLeaf(r, inv, node->index[s], node->count[s], hit)) found = true;
            }
            for (;;) {
                if (top == 0) return found;
                const Waiting& w = stack[--top];
                // A hit found since it was put aside may now lie in front of it.
                if (w.maxt > r.maxt && !w.box->intersect(r, inv, nullptr, nullptr)) continue;
                if (w.count == 0) {
                    node = &nodes[w.index];
                    break;
                }
                if (nearestInLeaf(r, inv, w.index, w.count, hit)) found = true;
            }
        }
    }

    static void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }
    // A child node, or a leaf's first two lines (up to four entries) and its shape pointers.
    void prefetchSlot(const WideNode& node, unsigned s) const {
        const char* p = node.count[s] ? reinterpret_cast<const char*>(leafEntries() + node.index[s])
                                      : reinterpret_cast<const char*>(&nodes[node.index[s]]);
        prefetch(p);
        if (node.count[s] != 1) prefetch(p + 64);
        if (node.count[s]) prefetch(leafShapes.data() + node.index[s]);
    }

    // Bit a set when the direction is negative along axis a; -0 counts as negative, as its
    // reciprocal does.
    static unsigned octantOf(const Vector& inv) {
        return unsigned(inv.x < 0.0f) | unsigned(inv.y < 0.0f) << 1 | unsigned(inv.z < 0.0f) << 2;
    }

    // A ray with a NaN in it would enter every box.
    static bool isUsable(const Ray& r) {
        return r.o.x == r.o.x && r.o.y == r.o.y && r.o.z == r.o.z && r.d.x == r.d.x &&
               r.d.y == r.d.y && r.d.z == r.d.z;
    }

    // The slots in use whose bounds the ray enters, one bit each. Nodes near the leaves often
    // hold two children: their empty slots are not tested.
    static unsigned enteredSlots(const WideNode& node, const Ray& r, const Vector& inv) {
        unsigned mask = 0;
        for (unsigned slot = 0, n = node.slots; slot < n; ++slot)
            mask |= unsigned(node.box[slot].intersect(r, inv, nullptr, nullptr)) << slot;
        return mask;
    }

    const LeafEntry* leafEntries() const { return leafLines.data()->entry; }

    // A leaf of one primitive was entered through its own bound; larger leaves test each
    // primitive's bound first and start the loads of every primitive entered before asking the
    // first, so that their cache misses overlap.
    bool nearestInLeaf(Ray& r, const Vector& inv, uint32_t first, uint32_t count, Hit& hit) const {
        const LeafEntry* e = leafEntries() + first;
        if (count == 1) {
            if (!e->primitive->intersect(r, hit)) return false;
            r.maxt = hit.t;
            return true;
        }
        const uint64_t entered = enteredEntries(e, count, r, inv);
        bool found = false;
        for (uint64_t m = entered; m; m &= m - 1) {
            const LeafEntry& entry = e[__builtin_ctzll(m)];
            // A hit found meanwhile may have moved the ray's end in front of this bound.
            if (found && !entry.box.intersect(r, inv, nullptr, nullptr)) continue;
            if (entry.primitive->intersect(r, hit)) {
                r.maxt = hit.t;
                found = true;
            }
        }
        return found;
    }

    bool anyInLeaf(const Ray& r, const Vector& inv, uint32_t first, uint32_t count) const {
        const LeafEntry* e = leafEntries() + first;
        if (count == 1) return e->primitive->intersect(r);
        for (uint64_t m = enteredEntries(e, count, r, inv); m; m &= m - 1)
            if (e[__builtin_ctzll(m)].primitive->intersect(r)) return true;
        return false;
    }

    // The entries of a leaf whose bounds the ray enters, one bit each (leaves hold at most 64),
    // with the loads of their primitives and shapes started: a primitive's test reads the
    // primitive, then its shape, then the shape's own arrays, each a cache miss that would
    // otherwise wait for the one before.
    uint64_t enteredEntries(const LeafEntry* e, uint32_t count, const Ray& r,
                            const Vector& inv) const {
        const char* const* shape = leafShapes.data() + (e - leafEntries());
        uint64_t mask = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const bool in = e[i].box.intersect(r, inv, nullptr, nullptr);
            if (in) {
                prefetch(e[i].primitive);
                if (const char* p = shape[i])
                    for (int line = 0; line < ShapeLines; ++line) prefetch(p + 64 * line);
            }
            mask |= uint64_t(in) << i;
        }
        return mask;
    }

    std::vector<WideNode> nodes;      // the root is node 0
    std::vector<LeafLine> leafLines;  // the leaves' entries, each leaf from a line's start
    // Beside each entry, its primitive's shape when the primitive is a geometric one.
    std::vector<const char*> leafShapes;
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
