// The build of the "bvh" accelerator: a binary hierarchy by the surface-area heuristic over
// binned centroids, collapsed into wide nodes, whose leaves are then filled with the blocks
// rays test (the layout is in layout.h).
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "core/params/error.h"
#include "plugins/accelerators/bvh/bvh.h"

namespace ovo {
namespace bvh {
namespace {

constexpr int Bins = 32;  // at most; small nodes use fewer
// Relative costs for the leaf decision, in box tests. A primitive other than a triangle keeps
// its own bound in the leaf, so it is asked only when the ray enters that bound, whether it
// sits alone or not: what a split saves is leaf tests, and what it costs is a level more to
// walk, box tests and mostly a cache miss on the way down.
constexpr float BoxCost = 1.0f;
constexpr float SplitCost = 2.0f;
// A block of up to four triangles is tested at once, for about the price of two box tests.
constexpr float BlockCost = 2.0f;

// A node of the binary hierarchy while building. A child is a leaf when its count is not zero:
// `index` is then its first entry in the leaf array; otherwise `index` is the child's node.
struct Node {
    Aabb box[2];
    uint32_t index[2];
    uint16_t count[2];
};

// What the leaves keep of a primitive, gathered while building: a flat triangle's world corners
// and longest edge, or another geometric primitive's shape.
struct Corners {
    Point p[3];
    float size;
    const char* shape;
};

// A primitive's bound while building; bit 31 of `index` marks a flat triangle. The loads of lo and
// hi read four floats each: lo's fourth is hi[0] and hi's fourth is `zero`, so the index never
// enters arithmetic.
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

// The primitives with a finite, non-empty bound, each with what its leaf keeps of it.
struct Gathered {
    std::vector<Item> items;
    std::vector<const Primitive*> bounded;
    std::vector<Corners> corners;  // one for each of the bounded ones
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
    void growCentroid(__m128 c) {
        clo = _mm_min_ps(clo, c);
        chi = _mm_max_ps(chi, c);
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

// The axis along which an extent is longest.
inline int longestAxis(__m128 extent) {
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (lane(extent, a) > lane(extent, axis)) axis = a;
    return axis;
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

// ---------------------------------------------------------------------------------------------
// The binary hierarchy

// Bins track the primitives' bounds only; the children's centroid bounds are gathered while
// partitioning, which visits every primitive anyway.
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
inline Bin emptyBin() { return Bin{_mm_set1_ps(1e30f), _mm_set1_ps(-1e30f), 0}; }

// How centroids fall into the bins of one node: `count` bins along each axis over the
// centroids' bound. Unusable axes (no centroid extent) have scale 0: everything falls into
// bin 0.
struct Binning {
    int count;
    __m128 cmin, scale, last;
    bool usable[3];

    // False when no axis separates the centroids.
    bool setUp(const Bounds& bounds, uint32_t primitives) {
        // A few primitives need few bins: clearing and sweeping them costs more than binning.
        count = int(std::min<uint32_t>(Bins, std::max<uint32_t>(8, primitives)));
        last = _mm_set1_ps(float(count - 1));
        cmin = bounds.clo;
        alignas(16) float s4[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int a = 0; a < 3; ++a) {
            const float extent = lane(bounds.chi, a) - lane(bounds.clo, a);
            const float s = float(count) * (1.0f - 1e-6f) / extent;
            usable[a] = extent > 0.0f && std::isfinite(s);
            if (usable[a]) s4[a] = s;
        }
        scale = _mm_load_ps(s4);
        return usable[0] || usable[1] || usable[2];
    }
    // The bin of centroid `c` along each axis.
    void binsOf(__m128 c, int* b) const {
        const __m128 f = _mm_mul_ps(_mm_sub_ps(c, cmin), scale);
        _mm_store_si128(reinterpret_cast<__m128i*>(b),
                        _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(f, _mm_setzero_ps()), last)));
    }
};

// The cheapest split found among the bins: bins 0 to `bin` of `axis` go left.
struct BestSplit {
    float cost = 1e38f;
    int axis = 0;
    int bin = -1;
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
        const Split split = depth < MedianDepth
                                ? splitByHeuristic(begin, end, bounds, mid, left, right)
                                : Split::None;
        if (split == Split::Leaf) return Child{begin, uint16_t(count)};
        if (split == Split::None) {
            if (count <= leafSize) return Child{begin, uint16_t(count)};
            mid = splitAtMedian(begin, end, bounds);
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
        return Child{self, 0};
    }

  private:
    enum class Split { Done, Leaf, None };

    // Done: [begin, mid) and [mid, end) with their bounds. Leaf: a leaf is cheaper than any
    // split. None: no axis separates the centroids.
    Split splitByHeuristic(uint32_t begin, uint32_t end, const Bounds& bounds, uint32_t& mid,
                           Bounds& bestLeft, Bounds& bestRight) {
        Binning binning;
        if (!binning.setUp(bounds, end - begin)) return Split::None;
        Bin bins[3][Bins];
        fillBins(begin, end, binning, bins);
        BestSplit best;
        for (int a = 0; a < 3; ++a)
            if (binning.usable[a]) sweep(bins[a], binning.count, a, best);
        if (best.bin < 0) return Split::None;
        if (end - begin <= leafSize && leafIsCheaper(begin, end, bounds, best.cost))
            return Split::Leaf;
        mid = partition(begin, end, binning, bins, best, bestLeft, bestRight);
        return Split::Done;
    }

    void fillBins(uint32_t begin, uint32_t end, const Binning& binning, Bin (*bins)[Bins]) const {
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < binning.count; ++b) bins[a][b] = emptyBin();
        for (uint32_t i = begin; i < end; ++i) {
            const Item& item = items[i];
            const __m128 lo = item.loadLo(), hi = item.loadHi();
            alignas(16) int b[4];
            binning.binsOf(_mm_add_ps(lo, hi), b);
            for (int a = 0; a < 3; ++a) {
                Bin& bin = bins[a][b[a]];
                bin.grow(lo, hi);
                ++bin.count;
            }
        }
    }

    // Every split between the `nb` bins of axis `a`, weighed by area times count on each side.
    static void sweep(const Bin* bins, int nb, int a, BestSplit& best) {
        // Right-hand sweep first: area and count of bins b .. nb-1.
        float rightArea[Bins];
        uint32_t rightCount[Bins];
        Bin r = emptyBin();
        for (int b = nb - 1; b > 0; --b) {
            r.grow(bins[b]);
            rightArea[b] = r.count ? halfArea(r.lo, r.hi) : 0.0f;
            rightCount[b] = r.count;
        }
        Bin l = emptyBin();
        for (int b = 0; b < nb - 1; ++b) {
            l.grow(bins[b]);
            if (l.count == 0 || rightCount[b + 1] == 0) continue;
            const float cost =
                float(l.count) * halfArea(l.lo, l.hi) + float(rightCount[b + 1]) * rightArea[b + 1];
            if (cost < best.cost) best = BestSplit{cost, a, b};
        }
    }

    // Whether a small node is cheaper kept as one leaf than split at the best cost found.
    bool leafIsCheaper(uint32_t begin, uint32_t end, const Bounds& bounds, float bestCost) const {
        const float area = halfArea(bounds.lo, bounds.hi);
        // Points and flat nodes have no area to weigh: keep them whole.
        if (!(area > 0.0f)) return true;
        uint32_t triangles = 0;
        for (uint32_t i = begin; i < end; ++i) triangles += items[i].index >> 31;
        const float leafCost =
            BlockCost * float(blocksOf(triangles)) + BoxCost * float(end - begin - triangles);
        const float splitCost = SplitCost + BoxCost * bestCost / area;
        return leafCost <= splitCost;
    }

    // Moves the primitives of the best split's left bins before the others and returns where
    // the right side starts; each side gets its bound from the bins and its centroids' bound
    // on the way.
    uint32_t partition(uint32_t begin, uint32_t end, const Binning& binning,
                       const Bin (*bins)[Bins], const BestSplit& best, Bounds& left,
                       Bounds& right) {
        const int a = best.axis;
        left = Bounds();
        right = Bounds();
        for (int b = 0; b < binning.count; ++b) {
            Bounds& side = b <= best.bin ? left : right;
            side.lo = _mm_min_ps(side.lo, bins[a][b].lo);
            side.hi = _mm_max_ps(side.hi, bins[a][b].hi);
        }
        // The same arithmetic as the binning decides each side.
        auto isLeft = [&](__m128 c) {
            alignas(16) int b[4];
            binning.binsOf(c, b);
            return b[a] <= best.bin;
        };
        uint32_t i = begin, j = end;
        for (;;) {
            for (; i < j; ++i) {
                const __m128 c = items[i].centroid();
                if (!isLeft(c)) break;
                left.growCentroid(c);
            }
            for (; i < j; --j) {
                const __m128 c = items[j - 1].centroid();
                if (isLeft(c)) break;
                right.growCentroid(c);
            }
            if (i >= j) break;
            std::swap(items[i], items[j - 1]);
            left.growCentroid(items[i].centroid());
            right.growCentroid(items[j - 1].centroid());
            ++i;
            --j;
        }
        return i;
    }

    // Halves [begin, end) along the longest axis of the centroids; returns the middle.
    uint32_t splitAtMedian(uint32_t begin, uint32_t end, const Bounds& bounds) {
        const __m128 extent = _mm_sub_ps(bounds.chi, bounds.clo);
        const int a = longestAxis(extent);
        const uint32_t mid = begin + (end - begin) / 2;
        // Coincident centroids need no ordering: any halving will do.
        if (lane(extent, a) > 0.0f)
            std::nth_element(items.begin() + begin, items.begin() + mid, items.begin() + end,
                             [a](const Item& x, const Item& y) {
                                 return x.lo[a] + x.hi[a] < y.lo[a] + y.hi[a];
                             });
        return mid;
    }

    std::vector<Item>& items;
    std::vector<Node>& nodes;
    uint32_t leafSize;
};

// ---------------------------------------------------------------------------------------------
// Wide nodes

// The binary treelet one wide node takes in: part 0 is the root; opening a part appends its two
// children. At most seven openings give eight children.
struct Treelet {
    struct Part {
        Aabb box;
        uint32_t index, count;
        bool opened;
    };
    Part parts[3 * Width];
    int n = 0, children = 1;
};

// Collapses the binary hierarchy into wide nodes. The child nodes of one wide node are stored
// side by side, after their parent.
class Collapser {
  public:
    Collapser(const std::vector<Node>& binary, std::vector<Item>& items, NodeArray& wide)
        : binary(binary), items(items), wide(wide) {}

    void fill(uint32_t self, uint32_t root) {
        Treelet t;
        t.parts[t.n++] = Treelet::Part{Aabb(), root, 0, false};
        open(t, 0);
        openLargestNodes(t);
        splitLargestLeaves(t);
        WideNode w = slotsOf(t);
        const int slots = w.slots;

        // Reserve the child nodes side by side, then fill each.
        uint32_t childNode[Width], binaryIndex[Width];
        for (int s = 0; s < slots; ++s) {
            if (w.count[s] != 0) continue;
            childNode[s] = uint32_t(wide.size());
            wide.emplace_back();
        }
        for (int s = 0; s < slots; ++s) binaryIndex[s] = w.index[s];
        for (int s = 0; s < slots; ++s)
            if (w.count[s] == 0) w.index[s] = childNode[s];
        wide[self] = w;
        for (int s = 0; s < slots; ++s)
            if (w.count[s] == 0) fill(childNode[s], binaryIndex[s]);
    }

  private:
    // Puts the two children of binary node part k in its place.
    void open(Treelet& t, int k) const {
        const Node& b = binary[t.parts[k].index];
        t.parts[k].opened = true;
        for (int side = 0; side < 2; ++side)
            t.parts[t.n++] = Treelet::Part{b.box[side], b.index[side], b.count[side], false};
        ++t.children;
    }

    // The unopened part to take next: the child node with the largest surface, or with
    // `leaves` the leaf of more than four primitives with the largest surface times count;
    // -1 when there is none.
    static int largest(const Treelet& t, bool leaves) {
        int best = -1;
        float bestArea = -1.0f;
        for (int k = 1; k < t.n; ++k) {
            const Treelet::Part& p = t.parts[k];
            if (p.opened || (leaves ? p.count <= 4 : p.count != 0)) continue;
            const float area = leaves ? p.box.area() * float(p.count) : p.box.area();
            if (area > bestArea) bestArea = area, best = k;
        }
        return best;
    }

    // Opens the child node with the largest surface until the treelet has Width children or
    // only leaves.
    void openLargestNodes(Treelet& t) const {
        while (t.children < Width) {
            const int best = largest(t, false);
            if (best < 0) break;  // only leaves left
            open(t, best);
        }
    }

    // Slots left over take the second block of a leaf, with its own bound: a ray then loads
    // only the blocks whose bound it enters, and the largest leaves go first.
    void splitLargestLeaves(Treelet& t) {
        while (t.children < Width) {
            const int best = largest(t, true);
            if (best < 0) break;
            Treelet::Part& leaf = t.parts[best];
            leaf.opened = true;
            uint32_t first = 0;
            Aabb a, b;
            splitLeaf(leaf.index, leaf.count, first, a, b);
            t.parts[t.n++] = Treelet::Part{a, leaf.index, first, false};
            t.parts[t.n++] = Treelet::Part{b, leaf.index + first, leaf.count - first, false};
            ++t.children;
        }
    }

    // The wide node of a treelet's unopened parts; its child nodes still have binary indices.
    static WideNode slotsOf(const Treelet& t) {
        int slots = 0;
        WideNode w;
        for (int k = 1; k < t.n; ++k) {
            if (t.parts[k].opened) continue;
            w.boxes[slots / 4].set(slots % 4, t.parts[k].box);
            w.index[slots] = t.parts[k].index;
            w.count[slots] = uint8_t(t.parts[k].count);
            ++slots;
        }
        w.slots = uint8_t(slots);
        w.used = uint8_t((1u << slots) - 1u);
        for (int s = slots; s < Width; ++s) {
            w.index[s] = 0;
            w.count[s] = 0;
        }
        return w;
    }

    // Splits the leaf of `count` primitives from `begin` in two along its longest centroid
    // axis, where the heuristic finds it cheapest when each part costs its area times its
    // blocks of four: the first `first` primitives go in bound a, the others in bound b.
    void splitLeaf(uint32_t begin, uint32_t count, uint32_t& first, Aabb& a, Aabb& b) {
        const Bounds all = boundsOf(items.data(), begin, begin + count);
        const int axis = longestAxis(_mm_sub_ps(all.chi, all.clo));
        std::sort(items.begin() + begin, items.begin() + begin + count,
                  [axis](const Item& x, const Item& y) {
                      return x.lo[axis] + x.hi[axis] < y.lo[axis] + y.hi[axis];
                  });
        float rightArea[MaxLeafSize];
        Bounds r;
        for (uint32_t k = count - 1; k > 0; --k) {
            const Item& item = items[begin + k];
            r.grow(item.loadLo(), item.loadHi(), item.centroid());
            rightArea[k] = halfArea(r.lo, r.hi);
        }
        Bounds l;
        float bestCost = 1e38f;
        first = count / 2;
        for (uint32_t k = 1; k < count; ++k) {
            const Item& item = items[begin + k - 1];
            l.grow(item.loadLo(), item.loadHi(), item.centroid());
            const float cost = halfArea(l.lo, l.hi) * float(blocksOf(k)) +
                               rightArea[k] * float(blocksOf(count - k));
            if (cost < bestCost) bestCost = cost, first = k;
        }
        const Bounds left = boundsOf(items.data(), begin, begin + first);
        const Bounds right = boundsOf(items.data(), begin + first, begin + count);
        a = toAabb(left.lo, left.hi);
        b = toAabb(right.lo, right.hi);
    }

    const std::vector<Node>& binary;
    std::vector<Item>& items;
    NodeArray& wide;
};

// The wide nodes over all items, the root first: a single leaf becomes a root with one slot.
inline void buildNodes(std::vector<Item>& items, int leafSize, NodeArray& nodes) {
    std::vector<Node> binary;
    binary.reserve(items.size());
    const Bounds all = boundsOf(items.data(), 0, uint32_t(items.size()));
    const Child root = Builder(items, binary, leafSize).build(0, uint32_t(items.size()), all, 0);
    nodes.reserve(binary.size() / 2 + 2);
    nodes.emplace_back();
    if (root.count) {
        WideNode& w = nodes[0];
        for (int s = 0; s < Width; ++s) {
            w.index[s] = 0;
            w.count[s] = 0;
        }
        w.boxes[0].set(0, toAabb(all.lo, all.hi));
        w.index[0] = root.index;
        w.count[0] = uint8_t(root.count);
        w.slots = 1;
        w.used = 1;
    } else {
        Collapser(binary, items, nodes).fill(0, root.index);
    }
    nodes.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------------
// Primitives in, leaves out

// Whether a primitive's shape is one flat triangle, with its world corners and longest edge;
// otherwise its shape, when it has one.
inline bool describe(const Primitive* p, Corners& c) {
    const auto* g = dynamic_cast<const GeometricPrimitive*>(p);
    c.shape = g ? reinterpret_cast<const char*>(g->getShape().get()) : nullptr;
    if (!g || !g->worldTriangle(c.p)) return false;
    c.size = std::max((c.p[1] - c.p[0]).length(),
                      std::max((c.p[2] - c.p[0]).length(), (c.p[2] - c.p[1]).length()));
    return std::isfinite(c.size) && c.size > 0.0f;
}

inline bool isFinite(const Aabb& b) {
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(b.bmin[a]) || !std::isfinite(b.bmax[a])) return false;
    return true;
}

// An inverted bound holds nothing that can be hit.
inline bool isEmpty(const Aabb& b) {
    return b.bmin[0] > b.bmax[0] || b.bmin[1] > b.bmax[1] || b.bmin[2] > b.bmax[2];
}

// Bounds computed through transforms may fall short of the surface by a few rounding errors: a
// ray through an edge must still enter them.
inline Aabb padded(const Aabb& b) {
    Aabb p = b;
    for (int a = 0; a < 3; ++a) {
        const float pad = 4.8e-7f * std::max(std::fabs(b.bmin[a]), std::fabs(b.bmax[a]));
        p.bmin[a] -= pad;
        p.bmax[a] += pad;
    }
    return p;
}

// Sorts the primitives into those the hierarchy holds and those with a non-finite bound, which
// every ray tests; primitives with an empty bound cannot be hit and are left out. `bound`
// grows by every primitive's.
inline void gather(const std::vector<Reference<Primitive>>& primitives, Gathered& g, Aabb& bound,
                   std::vector<const Primitive*>& unbounded) {
    g.items.reserve(primitives.size());
    g.bounded.reserve(primitives.size());
    g.corners.reserve(primitives.size());
    size_t nulls = 0;
    for (const Reference<Primitive>& p : primitives) {
        if (!p) {
            ++nulls;
            continue;
        }
        const Aabb b = p->worldExtent();
        bound += b;
        if (!isFinite(b)) {
            unbounded.push_back(p.get());
            continue;
        }
        if (isEmpty(b)) continue;
        const Aabb box = padded(b);
        // Asked now, while the primitive is in the cache.
        const bool triangle = describe(p.get(), g.corners.emplace_back());
        g.items.push_back(Item{{box.bmin[0], box.bmin[1], box.bmin[2]},
                               {box.bmax[0], box.bmax[1], box.bmax[2]},
                               0.0f,
                               uint32_t(g.bounded.size()) | uint32_t(triangle) << 31});
        g.bounded.push_back(p.get());
    }
    if (nulls)
        ErrorScope::current().Warning("bvh: %zu null primitive(s) in the list. Ignoring ...",
                                      nulls);
    if (!unbounded.empty())
        ErrorScope::current().Warning(
            "bvh: %zu primitive(s) with an infinite or invalid bound; every ray tests them",
            unbounded.size());
}

// Counts each leaf's flat triangles into its slot and returns the lines all leaves take.
inline size_t countLines(NodeArray& nodes, const std::vector<Item>& items) {
    size_t lines = 0;
    for (WideNode& w : nodes)
        for (int s = 0; s < Width; ++s) {
            uint32_t triangles = 0;
            for (uint32_t i = 0; i < w.count[s]; ++i)
                triangles += items[w.index[s] + i].index >> 31;
            w.triangles[s] = uint8_t(triangles);
            if (w.count[s]) lines += linesOf(w.count[s], triangles);
        }
    return lines;
}

inline void putTriangle(TriangleBlock& b, int lane, const Corners& c, const Primitive* p) {
    for (int a = 0; a < 3; ++a) {
        b.v0[a][lane] = c.p[0][a];
        b.e1[a][lane] = c.p[1][a] - c.p[0][a];
        b.e2[a][lane] = c.p[2][a] - c.p[0][a];
    }
    b.size = std::max(b.size, c.size);
    b.reach = std::max(
        b.reach,
        std::max(std::fabs(c.p[0].x), std::max(std::fabs(c.p[0].y), std::fabs(c.p[0].z))) + c.size);
    // Only geometric primitives answer for a triangle.
    b.primitive[lane] = static_cast<const GeometricPrimitive*>(p);
}

// Writes the leaf of the `count` items from `first`, `triangles` of them flat triangles, from
// `line` on.
inline void fillLeaf(LeafLine* line, const Item* first, uint32_t count, uint32_t triangles,
                     const Gathered& g) {
    TriangleBlock* block = blocksAt(line);
    for (uint32_t k = 0; k < blocksOf(triangles); ++k) new (block + k) TriangleBlock();
    BoundedBlock* others = othersAt(line, triangles);
    for (uint32_t k = 0; k < blocksOf(count - triangles); ++k) new (others + k) BoundedBlock();
    uint32_t t = 0, o = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Item& item = first[i];
        const uint32_t index = item.index & 0x7fffffffu;
        const Primitive* p = g.bounded[index];
        if (item.index >> 31) {
            putTriangle(block[t / 4], int(t % 4), g.corners[index], p);
            ++t;
        } else {
            BoundedBlock& b = others[o / 4];
            const int lane = int(o % 4);
            b.boxes.set(
                lane, Aabb(item.lo[0], item.hi[0], item.lo[1], item.hi[1], item.lo[2], item.hi[2]));
            b.primitive[lane] = p;
            b.shape[lane] = g.corners[index].shape;
            ++o;
        }
    }
}

// Each leaf starts a cache line, in the order of the nodes that hold them; a slot's index
// turns from its first item into its first line.
inline void fillLeaves(Tree& tree, const Gathered& g) {
    tree.leafLines.resize(countLines(tree.nodes, g.items));
    uint32_t next = 0;
    for (WideNode& w : tree.nodes)
        for (int s = 0; s < Width; ++s) {
            if (!w.count[s]) continue;
            fillLeaf(tree.leafLines.data() + next, g.items.data() + w.index[s], w.count[s],
                     w.triangles[s], g);
            w.index[s] = next;
            next += linesOf(w.count[s], w.triangles[s]);
        }
}

}  // namespace

Bvh::Bvh(std::vector<Reference<Primitive>>& list, int leafSize) : Aggregate(list) {
    Gathered g;
    gather(primitives, g, bound, unbounded);
    if (g.items.empty()) return;
    buildNodes(g.items, leafSize, tree.nodes);
    fillLeaves(tree, g);
}

}  // namespace bvh
}  // namespace ovo
