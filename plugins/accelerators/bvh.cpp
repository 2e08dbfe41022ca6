// bvh: the default accelerator, a bounding-volume hierarchy over the primitives of the world
// or of an object.
//
// A binary hierarchy is built with the surface-area heuristic over binned primitive centroids
// (all three axes, up to 32 bins, O(n log n)) and then collapsed into 256-byte nodes of up to
// eight children: each node takes the binary levels below it, always opening the child with
// the largest surface, until it holds eight; slots still free then split the largest leaves of
// more than four primitives in two, each part with its own bound. A node keeps its children's
// bounds side by side, four to a group, and the library's four-box test (the renderer's ray/box
// statistics count it), with the ray made ready once, gives for each group the children the
// ray enters and where. Nearest-hit rays descend into the nearest child and keep the others on
// a fixed-size stack with their entry distance, nearest on top, so that a child put aside is
// dropped without another test once a hit lies in front of it. Shadow and occlusion rays stop
// at the first hit.
// Leaves start on cache lines. Primitives whose shape is one flat triangle sit in blocks of
// four that keep their world corners, tested four at once; a triangle's own primitive is asked
// only when the ray may cross it. A nearest-hit ray asks those triangles once its walk is over,
// nearest first, and meanwhile culls beyond the farthest place their hits can lie; should the
// one that cut the walk shortest refuse the ray, the walk is made again asking each at once.
// Other primitives keep their bound and are asked when the ray enters it. Tracing is bound by
// memory latency as much as by arithmetic: the nodes and leaves live on huge pages where the
// system gives them, the loads of every child a ray enters are started together, letting
// their cache misses overlap, and so are those of a triangle's primitive and shape as soon as
// the ray may hit it. Nothing is allocated while tracing.
// Primitives with an empty bound (empty objects, solids that cannot exist) are left out;
// primitives with a non-finite bound are tested by every ray.
//
// Parameters:
//   "int leafsize"  the largest number of primitives in a leaf, 1 to 64; default 8. The
//                   heuristic makes leaves smaller where that pays.
//
// "bvh" is the accelerator every scene uses unless the "accelerator" option names another:
//   Attribute "accelerator" "bvh"
#include <emmintrin.h>
#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/base/prefetch.h"
#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/aabb.h"
#include "core/params/error.h"
#include "core/params/parameter.h"

namespace {

using namespace ovo;

constexpr int DefaultLeafSize = 8;
constexpr int MaxLeafSize = 64;
constexpr int Bins = 32;  // at most; small nodes use fewer
// Below this depth splits follow the heuristic; deeper ones halve the primitive count, so the
// binary depth stays below MedianDepth + 32. Every wide level goes at least one binary level
// down and leaves at most Width - 1 siblings waiting, which bounds the traversal stack.
constexpr int MedianDepth = 32;
constexpr int Width = 8;  // children per node
constexpr int StackSize = (Width - 1) * (MedianDepth + 32) + Width;
// Relative costs for the leaf decision, in box tests. A primitive other than a triangle keeps
// its own bound in the leaf, so it is asked only when the ray enters that bound, whether it
// sits alone or not: what a split saves is leaf tests, and what it costs is a level more to
// walk, box tests and mostly a cache miss on the way down.
constexpr float BoxCost = 1.0f;
constexpr float SplitCost = 2.0f;
// A block of up to four triangles is tested at once, for about the price of two box tests.
constexpr float BlockCost = 2.0f;
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
// starting at leaf line `index`; slots 0 to slots - 1 are in use, and bit s of `used` is set for
// each of them.
struct alignas(64) WideNode {
    Aabb4 boxes[Width / 4];
    uint32_t index[Width];
    uint8_t count[Width];
    uint8_t triangles[Width];  // of a leaf's count, how many are flat triangles
    uint8_t slots;
    uint8_t used;
};
static_assert(sizeof(WideNode) == 32 * Width, "a node is Width / 2 cache lines");

// A leaf holds its flat triangles first, then its other primitives, four to a block, and
// starts on a cache line. A triangle block keeps each triangle's world corners (the first and
// the two edges from it) lane by lane, so that one test takes the four at once, and what the
// margins of that test need; the shape behind a triangle is asked only when the ray may cross
// it. A block of other
// primitives keeps their bounds and, to start loading them early, their shapes; a primitive is
// asked when the ray enters its bound.
struct alignas(64) TriangleBlock {
    float v0[3][4];
    float e1[3][4];
    float e2[3][4];
    float size;   // the longest edge of the four
    float reach;  // the largest of a first corner's coordinate magnitudes plus its edge
    float unused[2];
    const GeometricPrimitive* primitive[4];
};
static_assert(sizeof(TriangleBlock) == 192, "a block is three cache lines");
struct BoundedBlock {
    Aabb4 boxes;
    const Primitive* primitive[4];
    const char* shape[4];
};
static_assert(sizeof(BoundedBlock) == 160, "a block is two and a half cache lines");
struct alignas(64) LeafLine {
    unsigned char bytes[64];
};
// What the leaves keep of a primitive, gathered while building: a flat triangle's world corners
// and longest edge, or another geometric primitive's shape.
struct Corners {
    Point p[3];
    float size;
    const char* shape;
};
constexpr uint32_t blocksOf(uint32_t triangles) { return (triangles + 3u) / 4u; }
constexpr uint32_t linesOf(uint32_t count, uint32_t triangles) {
    return 3u * blocksOf(triangles) +
           (blocksOf(count - triangles) * uint32_t(sizeof(BoundedBlock)) + 63u) / 64u;
}

inline __m128 absolute(__m128 x) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), x); }

// A ray spread over four lanes for the triangle tests, made once per ray.
struct RayLanes {
    __m128 ox, oy, oz, dx, dy, dz;
    float dmax, omax;  // the largest magnitude of a direction and of an origin coordinate
    explicit RayLanes(const Ray& r)
        : ox(_mm_set1_ps(r.o.x)),
          oy(_mm_set1_ps(r.o.y)),
          oz(_mm_set1_ps(r.o.z)),
          dx(_mm_set1_ps(r.d.x)),
          dy(_mm_set1_ps(r.d.y)),
          dz(_mm_set1_ps(r.d.z)),
          dmax(std::max(std::fabs(r.d.x), std::max(std::fabs(r.d.y), std::fabs(r.d.z)))),
          omax(std::max(std::fabs(r.o.x), std::max(std::fabs(r.o.y), std::fabs(r.o.z)))) {}
};

// The lanes of a block (of those in `lanes`) whose triangle the ray may cross within
// [mint, maxt]: the Moller-Trumbore test with every bound widened well beyond the rounding of
// this test, of the corners' transform and of the shape's own test, so that a ray the shape
// would accept is never refused. Positions carry errors in proportion to their magnitude, so
// the margins grow with the origin's and the corners' coordinates. Rays that run almost in a
// triangle's plane are left to the shape, and so is any lane where a NaN appears.
// With `lo` and `hi`, each lane that may be hit also gets where along the ray the shape's hit
// can lie, by the same margins: lo[k] <= t <= hi[k] (both infinite for a ray in the plane).
__attribute__((always_inline)) inline unsigned mayHit(const TriangleBlock& b, const RayLanes& q,
                                                      float mint, float maxt, unsigned lanes,
                                                      float* lo = nullptr, float* hi = nullptr) {
    auto mul = [](__m128 x, __m128 y) { return _mm_mul_ps(x, y); };
    auto sub = [](__m128 x, __m128 y) { return _mm_sub_ps(x, y); };
    auto add = [](__m128 x, __m128 y) { return _mm_add_ps(x, y); };
    const __m128 e1x = _mm_load_ps(b.e1[0]), e1y = _mm_load_ps(b.e1[1]), e1z = _mm_load_ps(b.e1[2]);
    const __m128 e2x = _mm_load_ps(b.e2[0]), e2y = _mm_load_ps(b.e2[1]), e2z = _mm_load_ps(b.e2[2]);
    const __m128 px = sub(mul(q.dy, e2z), mul(q.dz, e2y));
    const __m128 py = sub(mul(q.dz, e2x), mul(q.dx, e2z));
    const __m128 pz = sub(mul(q.dx, e2y), mul(q.dy, e2x));
    const __m128 det = add(add(mul(e1x, px), mul(e1y, py)), mul(e1z, pz));
    const __m128 tx = sub(q.ox, _mm_load_ps(b.v0[0]));
    const __m128 ty = sub(q.oy, _mm_load_ps(b.v0[1]));
    const __m128 tz = sub(q.oz, _mm_load_ps(b.v0[2]));
    const __m128 qx = sub(mul(ty, e1z), mul(tz, e1y));
    const __m128 qy = sub(mul(tz, e1x), mul(tx, e1z));
    const __m128 qz = sub(mul(tx, e1y), mul(ty, e1x));
    // The barycentrics and the distance, each times det, made positive with it.
    const __m128 sign = _mm_and_ps(det, _mm_set1_ps(-0.0f));
    const __m128 u = _mm_xor_ps(add(add(mul(tx, px), mul(ty, py)), mul(tz, pz)), sign);
    const __m128 v = _mm_xor_ps(add(add(mul(q.dx, qx), mul(q.dy, qy)), mul(q.dz, qz)), sign);
    const __m128 t = _mm_xor_ps(add(add(mul(e2x, qx), mul(e2y, qy)), mul(e2z, qz)), sign);
    const __m128 a = _mm_xor_ps(det, sign);

    const float spread = (q.omax + b.reach) * (1e-5f * b.size);
    const __m128 tiny = _mm_set1_ps(1e-4f);
    const __m128 grazing = _mm_cmpngt_ps(a, _mm_set1_ps(1e-4f * q.dmax * b.size * b.size));
    const __m128 m = add(mul(tiny, a), _mm_set1_ps(q.dmax * spread));
    const __m128 mt = add(mul(tiny, absolute(t)), _mm_set1_ps(b.size * spread));
    const __m128 negm = _mm_xor_ps(m, _mm_set1_ps(-0.0f));
    __m128 refused = _mm_or_ps(_mm_cmplt_ps(u, negm), _mm_cmplt_ps(v, negm));
    refused = _mm_or_ps(refused, _mm_cmpgt_ps(add(u, v), add(a, m)));
    refused = _mm_or_ps(refused, _mm_cmplt_ps(t, sub(mul(_mm_set1_ps(mint), a), mt)));
    refused = _mm_or_ps(refused, _mm_cmpgt_ps(t, add(mul(_mm_set1_ps(maxt), a), mt)));
    const unsigned result =
        (unsigned(_mm_movemask_ps(grazing)) | ~unsigned(_mm_movemask_ps(refused))) & lanes;
    if (lo && result) {
        const __m128 infinity = _mm_set1_ps(INFINITY);
        const __m128 l = _mm_div_ps(sub(t, mt), a), h = _mm_div_ps(add(t, mt), a);
        _mm_storeu_ps(lo, _mm_or_ps(_mm_and_ps(grazing, _mm_xor_ps(infinity, _mm_set1_ps(-0.0f))),
                                    _mm_andnot_ps(grazing, l)));
        _mm_storeu_ps(hi, _mm_or_ps(_mm_and_ps(grazing, infinity), _mm_andnot_ps(grazing, h)));
    }
    return result;
}

// Memory for the arrays rays walk. A ray over a large hierarchy touches lines all over its
// nodes and leaves, and on 4 KB pages nearly every one of those loads also misses the TLB: large
// arrays are placed on 2 MB boundaries and the kernel is asked to back them with huge pages
// (it may decline; nothing else changes then).
template <class T>
struct HugePages {
    using value_type = T;
    static constexpr size_t Huge = size_t(2) << 20;
    HugePages() = default;
    template <class U>
    HugePages(const HugePages<U>&) {}
    T* allocate(size_t n) {
        if (n > (size_t(-1) - Huge) / sizeof(T)) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        const bool huge = bytes >= Huge / 2;
        const size_t size = huge ? (bytes + Huge - 1) / Huge * Huge : bytes;
        void* p = nullptr;
        if (posix_memalign(&p, huge ? Huge : std::max<size_t>(64, alignof(T)), size) != 0)
            throw std::bad_alloc();
        if (huge) madvise(p, size, MADV_HUGEPAGE);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { std::free(p); }
    template <class U>
    bool operator==(const HugePages<U>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const HugePages<U>&) const {
        return false;
    }
};
using NodeArray = std::vector<WideNode, HugePages<WideNode>>;
using LeafArray = std::vector<LeafLine, HugePages<LeafLine>>;

// ---------------------------------------------------------------------------------------------
// Build

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
            uint32_t triangles = 0;
            for (uint32_t i = begin; i < end; ++i) triangles += items[i].index >> 31;
            const float leafCost =
                BlockCost * float(blocksOf(triangles)) + BoxCost * float(count - triangles);
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
    Collapser(const std::vector<Node>& binary, std::vector<Item>& items, NodeArray& wide)
        : binary(binary), items(items), wide(wide) {}

    void fill(uint32_t self, uint32_t root) {
        // The binary treelet taken in: part 0 is the root; opening a part appends its two
        // children. At most seven openings give eight children.
        struct Part {
            Aabb box;
            uint32_t index, count;
            bool opened;
        };
        Part parts[3 * Width];
        int n = 0, children = 1;
        parts[n++] = Part{Aabb(), root, 0, false};
        auto open = [&](int k) {
            const Node& b = binary[parts[k].index];
            parts[k].opened = true;
            for (int side = 0; side < 2; ++side)
                parts[n++] = Part{b.box[side], b.index[side], b.count[side], false};
            ++children;
        };
        open(0);
        while (children < Width) {
            int best = -1;
            float bestArea = -1.0f;
            for (int k = 1; k < n; ++k) {
                if (parts[k].opened || parts[k].count != 0) continue;
                const float area = parts[k].box.area();
                if (area > bestArea) bestArea = area, best = k;
            }
            if (best < 0) break;  // only leaves left
            open(best);
        }
        // Slots left over take the second block of a leaf, with its own bound: a ray then
        // loads only the blocks whose bound it enters, and the largest leaves go first.
        while (children < Width) {
            int best = -1;
            float bestArea = -1.0f;
            for (int k = 1; k < n; ++k) {
                if (parts[k].opened || parts[k].count <= 4) continue;
                const float area = parts[k].box.area() * float(parts[k].count);
                if (area > bestArea) bestArea = area, best = k;
            }
            if (best < 0) break;
            Part& leaf = parts[best];
            leaf.opened = true;
            uint32_t first = 0;
            Aabb a, b;
            splitLeaf(leaf.index, leaf.count, first, a, b);
            parts[n++] = Part{a, leaf.index, first, false};
            parts[n++] = Part{b, leaf.index + first, leaf.count - first, false};
            ++children;
        }

        int slots = 0;
        WideNode w;
        for (int k = 1; k < n; ++k) {
            if (parts[k].opened) continue;
            w.boxes[slots / 4].set(slots % 4, parts[k].box);
            w.index[slots] = parts[k].index;
            w.count[slots] = uint8_t(parts[k].count);
            ++slots;
        }
        w.slots = uint8_t(slots);
        w.used = uint8_t((1u << slots) - 1u);
        for (int s = slots; s < Width; ++s) {
            w.index[s] = 0;
            w.count[s] = 0;
        }

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
    // Splits the leaf of `count` primitives from `begin` in two along its longest centroid
    // axis, where the heuristic finds it cheapest when each part costs its area times its
    // blocks of four: the first `first` primitives go in bound a, the others in bound b.
    void splitLeaf(uint32_t begin, uint32_t count, uint32_t& first, Aabb& a, Aabb& b) {
        const Bounds all = boundsOf(items.data(), begin, begin + count);
        const __m128 extent = _mm_sub_ps(all.chi, all.clo);
        int axis = 0;
        for (int k = 1; k < 3; ++k)
            if (lane(extent, k) > lane(extent, axis)) axis = k;
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

// ---------------------------------------------------------------------------------------------
// The accelerator

class Bvh : public Aggregate {
  public:
    Bvh(std::vector<Reference<Primitive>>& list, int leafSize) : Aggregate(list) {
        std::vector<Item> items;
        items.reserve(primitives.size());
        std::vector<const Primitive*> bounded;
        bounded.reserve(primitives.size());
        std::vector<Corners> corners;  // one for each of the bounded ones
        corners.reserve(primitives.size());
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
            // Bounds computed through transforms may fall short of the surface by a few
            // rounding errors: a ray through an edge must still enter them.
            Aabb padded = b;
            for (int a = 0; a < 3; ++a) {
                const float pad = 4.8e-7f * std::max(std::fabs(b.bmin[a]), std::fabs(b.bmax[a]));
                padded.bmin[a] -= pad;
                padded.bmax[a] += pad;
            }
            // Asked now, while the primitive is in the cache.
            const bool triangle = describe(p.get(), corners.emplace_back());
            items.push_back(Item{{padded.bmin[0], padded.bmin[1], padded.bmin[2]},
                                 {padded.bmax[0], padded.bmax[1], padded.bmax[2]},
                                 0.0f,
                                 uint32_t(bounded.size()) | uint32_t(triangle) << 31});
            bounded.push_back(p.get());
        }
        if (nulls)
            ErrorScope::current().Warning("bvh: %zu null primitive(s) in the list. Ignoring ...",
                                          nulls);
        if (!unbounded.empty())
            ErrorScope::current().Warning(
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
        // Each leaf starts a cache line, in the order of the nodes that hold them.
        size_t lines = 0;
        for (WideNode& w : nodes)
            for (int s = 0; s < Width; ++s) {
                uint32_t triangles = 0;
                for (uint32_t i = 0; i < w.count[s]; ++i)
                    triangles += items[w.index[s] + i].index >> 31;
                w.triangles[s] = uint8_t(triangles);
                if (w.count[s]) lines += linesOf(w.count[s], triangles);
            }
        leafLines.resize(lines);
        uint32_t next = 0;
        for (WideNode& w : nodes)
            for (int s = 0; s < Width; ++s) {
                if (!w.count[s]) continue;
                TriangleBlock* block = reinterpret_cast<TriangleBlock*>(leafLines.data() + next);
                for (uint32_t k = 0; k < blocksOf(w.triangles[s]); ++k)
                    new (block + k) TriangleBlock();
                BoundedBlock* others = reinterpret_cast<BoundedBlock*>(
                    leafLines.data() + next + 3 * blocksOf(w.triangles[s]));
                for (uint32_t k = 0; k < blocksOf(w.count[s] - w.triangles[s]); ++k)
                    new (others + k) BoundedBlock();
                uint32_t t = 0, o = 0;
                for (uint32_t i = 0; i < w.count[s]; ++i) {
                    const Item& item = items[w.index[s] + i];
                    const uint32_t index = item.index & 0x7fffffffu;
                    const Primitive* p = bounded[index];
                    if (item.index >> 31) {
                        TriangleBlock& b = block[t / 4];
                        const int lane = int(t % 4);
                        const Corners& c = corners[index];
                        for (int a = 0; a < 3; ++a) {
                            b.v0[a][lane] = c.p[0][a];
                            b.e1[a][lane] = c.p[1][a] - c.p[0][a];
                            b.e2[a][lane] = c.p[2][a] - c.p[0][a];
                        }
                        b.size = std::max(b.size, c.size);
                        b.reach = std::max(
                            b.reach, std::max(std::fabs(c.p[0].x),
                                              std::max(std::fabs(c.p[0].y), std::fabs(c.p[0].z))) +
                                         c.size);
                        // Only geometric primitives answer for a triangle.
                        b.primitive[lane] = static_cast<const GeometricPrimitive*>(p);
                        ++t;
                    } else {
                        BoundedBlock& b = others[o / 4];
                        const int lane = int(o % 4);
                        b.boxes.set(lane, Aabb(item.lo[0], item.hi[0], item.lo[1], item.hi[1],
                                               item.lo[2], item.hi[2]));
                        b.primitive[lane] = p;
                        b.shape[lane] = corners[index].shape;
                        ++o;
                    }
                }
                w.index[s] = next;
                next += linesOf(w.count[s], w.triangles[s]);
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
        const Aabb4::Prepared inv(ray, Vector(1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z));
        const RayLanes q(ray);
        uint32_t stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            alignas(16) float entry[Width];
            const unsigned mask = enteredSlots(*node, ray, inv, entry);
            const WideNode* next = nullptr;
            for (unsigned m = mask; m; m &= m - 1) prefetchSlot(*node, unsigned(__builtin_ctz(m)));
            for (unsigned m = mask; m; m &= m - 1) {
                const unsigned slot = unsigned(__builtin_ctz(m));
                const uint32_t index = node->index[slot];
                if (const uint32_t count = node->count[slot]) {
                    if (anyInLeaf(ray, inv, q, index, count, node->triangles[slot])) return true;
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
    // A child waiting on the stack: where the ray enters its bound, and what it is.
    struct Waiting {
        float entry;
        uint32_t index;
        uint16_t count;
        uint16_t triangles;
    };

    // A triangle the ray may cross, not asked yet, and where along the ray its hit can lie.
    struct Candidate {
        float lo, hi;
        const Primitive* primitive;
    };
    static constexpr int MaxCandidates = 16;
    // What a walk for the nearest hit carries: the ray with the nearest hit accepted so far, and
    // the ray the walk culls with, cut at the nearest place a hit may lie. Deferring walks keep
    // the triangles that pass the pretest as candidates and ask them once the walk is over: the
    // primitive's lines then load while the walk goes on, instead of stalling it.
    struct Walk {
        Ray& r;
        Ray& bound;
        Hit& hit;
        Candidate* candidates;
        int count;
        bool found;
        void accept() {
            r.maxt = hit.t;
            bound.maxt = std::min(bound.maxt, hit.t);
            found = true;
        }
    };

    bool nearest(Ray& r, Hit& hit) const {
        const Aabb4::Prepared inv(r, Vector(1.0f / r.d.x, 1.0f / r.d.y, 1.0f / r.d.z));
        const RayLanes q(r);
        Ray bound = r;
        Candidate candidates[MaxCandidates];
        Walk walk{r, bound, hit, candidates, 0, false};
        this->walk<true>(walk, inv, q);
        // Nearest first; one whose hit cannot come before the nearest accepted is not asked.
        for (int k = 1; k < walk.count; ++k)
            for (int j = k; j > 0 && candidates[j - 1].lo > candidates[j].lo; --j)
                std::swap(candidates[j - 1], candidates[j]);
        for (int k = 0; k < walk.count && !(candidates[k].lo > r.maxt); ++k)
            if (candidates[k].primitive->intersect(r, hit)) walk.accept();
        // The walk culled beyond the candidates' farthest possible hits. When the candidate that
        // cut it shortest refused the ray (hidden from this kind of ray, or missed by a hair),
        // something beyond may be the nearest hit: walk again, asking every primitive at once.
        if (!(bound.maxt < r.maxt)) return walk.found;
        Walk again{r, r, hit, nullptr, 0, walk.found};
        this->walk<false>(again, inv, q);
        return again.found;
    }

    template <bool Defer>
    void walk(Walk& walk, const Aabb4::Prepared& inv, const RayLanes& q) const {
        const Ray& bound = walk.bound;
        Waiting stack[StackSize];
        int top = 0;
        const WideNode* node = nodes.data();
        for (;;) {
            alignas(16) float entry[Width];
            const unsigned mask = enteredSlots(*node, bound, inv, entry);
            if (mask) {
                // Every child entered is loaded at once, so that the cache misses overlap.
                for (unsigned m = mask; m; m &= m - 1)
                    prefetchSlot(*node, unsigned(__builtin_ctz(m)));
                unsigned s = unsigned(__builtin_ctz(mask));
                if (mask & (mask - 1)) {
                    // Nearest first: the others wait, sorted so that the nearest of them is
                    // on top.
                    Waiting w[Width];
                    int n = 0;
                    for (unsigned m = mask; m; m &= m - 1) {
                        const unsigned k = unsigned(__builtin_ctz(m));
                        Waiting c{entry[k], node->index[k], node->count[k], node->triangles[k]};
                        int j = n++;
                        for (; j > 0 && w[j - 1].entry < c.entry; --j) w[j] = w[j - 1];
                        w[j] = c;
                    }
                    for (int k = 0; k < n - 1; ++k) stack[top++] = w[k];
                    const Waiting& first = w[n - 1];
                    if (first.count == 0) {
                        node = &nodes[first.index];
                        continue;
                    }
                    nearestInLeaf<Defer>(walk, inv, q, first.index, first.count, first.triangles);
                } else if (node->count[s] == 0) {
                    node = &nodes[node->index[s]];
                    continue;
                } else {
                    nearestInLeaf<Defer>(walk, inv, q, node->index[s], node->count[s],
                                         node->triangles[s]);
                }
            }
            for (;;) {
                if (top == 0) return;
                const Waiting& w = stack[--top];
                // A hit found since it was put aside may now lie in front of it.
                if (w.entry > bound.maxt * Aabb4::Widening) continue;
                if (w.count == 0) {
                    node = &nodes[w.index];
                    break;
                }
                nearestInLeaf<Defer>(walk, inv, q, w.index, w.count, w.triangles);
            }
        }
    }

    // A child node, or a leaf's entries.
    void prefetchSlot(const WideNode& node, unsigned s) const {
        if (const uint32_t count = node.count[s]) {
            const LeafLine* line = leafLines.data() + node.index[s];
            const uint32_t n = std::min(linesOf(count, node.triangles[s]), 8u);
            for (uint32_t k = 0; k < n; ++k) prefetch(line + k);
        } else {
            const char* p = reinterpret_cast<const char*>(&nodes[node.index[s]]);
            for (int k = 0; k < 4; ++k) prefetch(p + 64 * k);
        }
    }

    // A ray with a NaN in it would enter every box.
    static bool isUsable(const Ray& r) {
        return r.o.x == r.o.x && r.o.y == r.o.y && r.o.z == r.o.z && r.d.x == r.d.x &&
               r.d.y == r.d.y && r.d.z == r.d.z;
    }

    // The slots in use whose bounds the ray enters, one bit each, and where it enters them.
    static unsigned enteredSlots(const WideNode& node, const Ray& r, const Aabb4::Prepared& inv,
                                 float* entry) {
        unsigned mask = node.boxes[0].intersect(inv, r.mint, r.maxt, entry);
        for (int k = 1; k < Width / 4; ++k)
            if (node.slots > 4 * k)
                mask |= node.boxes[k].intersect(inv, r.mint, r.maxt, entry + 4 * k) << 4 * k;
        return mask & node.used;
    }

    // Where a leaf's blocks and entries are.
    const TriangleBlock* blocksAt(uint32_t line) const {
        return reinterpret_cast<const TriangleBlock*>(leafLines.data() + line);
    }
    const BoundedBlock* othersAt(uint32_t line, uint32_t triangles) const {
        return reinterpret_cast<const BoundedBlock*>(leafLines.data() + line +
                                                     3 * blocksOf(triangles));
    }

    // Whether a primitive's shape is one flat triangle, with its world corners and longest edge;
    // otherwise its shape, when it has one.
    static bool describe(const Primitive* p, Corners& c) {
        const auto* g = dynamic_cast<const GeometricPrimitive*>(p);
        c.shape = g ? reinterpret_cast<const char*>(g->getShape().get()) : nullptr;
        if (!g || !g->worldTriangle(c.p)) return false;
        c.size = std::max((c.p[1] - c.p[0]).length(),
                          std::max((c.p[2] - c.p[0]).length(), (c.p[2] - c.p[1]).length()));
        return std::isfinite(c.size) && c.size > 0.0f;
    }

    // Triangles are tested four at once against their corners, and asked only when the ray may
    // cross them. Other primitives are asked when the ray enters their bound (a leaf of one was
    // entered through its own bound); the loads of every one of a group entered are started
    // before the first is asked, since a primitive's test reads the primitive, then its shape,
    // then the shape's own arrays, each a cache miss that would otherwise wait for the one
    // before.
    template <bool Defer>
    void nearestInLeaf(Walk& walk, const Aabb4::Prepared& inv, const RayLanes& q, uint32_t line,
                       uint32_t count, uint32_t triangles) const {
        Ray& r = walk.r;
        const Ray& bound = walk.bound;
        Hit& hit = walk.hit;
        const TriangleBlock* block = blocksAt(line);
        for (uint32_t first = 0; first < triangles; first += 4, ++block) {
            const unsigned lanes = triangles - first >= 4 ? 15u : (1u << (triangles - first)) - 1u;
            if (Defer) {
                alignas(16) float lo[4], hi[4];
                for (unsigned m = mayHit(*block, q, bound.mint, bound.maxt, lanes, lo, hi); m;
                     m &= m - 1) {
                    const int k = __builtin_ctz(m);
                    const GeometricPrimitive* p = block->primitive[k];
                    if (walk.count == MaxCandidates) {
                        if (p->intersect(r, hit)) walk.accept();
                        continue;
                    }
                    // The primitive's line and then its shape's load while the walk goes on.
                    prefetch(p);
                    startLoading(reinterpret_cast<const char*>(p->getShape().get()));
                    walk.candidates[walk.count++] = Candidate{lo[k], hi[k], p};
                    walk.bound.maxt = std::min(bound.maxt, hi[k]);
                }
            } else {
                for (unsigned m = mayHit(*block, q, r.mint, r.maxt, lanes); m; m &= m - 1)
                    if (block->primitive[__builtin_ctz(m)]->intersect(r, hit)) walk.accept();
            }
        }
        const uint32_t others = count - triangles;
        if (!others) return;
        // A lone primitive was entered through its own bound.
        const BoundedBlock* group = othersAt(line, triangles);
        if (count == 1) {
            if (group->primitive[0]->intersect(r, hit)) walk.accept();
            return;
        }
        for (uint32_t first = 0; first < others; first += 4, ++group) {
            const unsigned lanes = others - first >= 4 ? 15u : (1u << (others - first)) - 1u;
            alignas(16) float entry[4];
            const unsigned entered =
                group->boxes.intersect(inv, bound.mint, bound.maxt, entry) & lanes;
            for (unsigned m = entered; m; m &= m - 1) startLoading(*group, __builtin_ctz(m));
            for (unsigned m = entered; m; m &= m - 1) {
                const int k = __builtin_ctz(m);
                // A hit found meanwhile may lie in front of this bound.
                if (entry[k] > bound.maxt * Aabb4::Widening) continue;
                if (group->primitive[k]->intersect(r, hit)) walk.accept();
            }
        }
    }

    bool anyInLeaf(const Ray& r, const Aabb4::Prepared& inv, const RayLanes& q, uint32_t line,
                   uint32_t count, uint32_t triangles) const {
        const TriangleBlock* block = blocksAt(line);
        for (uint32_t first = 0; first < triangles; first += 4, ++block) {
            const unsigned lanes = triangles - first >= 4 ? 15u : (1u << (triangles - first)) - 1u;
            for (unsigned m = mayHit(*block, q, r.mint, r.maxt, lanes); m; m &= m - 1)
                if (block->primitive[__builtin_ctz(m)]->intersect(r)) return true;
        }
        const uint32_t others = count - triangles;
        if (!others) return false;
        const BoundedBlock* group = othersAt(line, triangles);
        if (count == 1) return group->primitive[0]->intersect(r);
        for (uint32_t first = 0; first < others; first += 4, ++group) {
            const unsigned lanes = others - first >= 4 ? 15u : (1u << (others - first)) - 1u;
            alignas(16) float entry[4];
            const unsigned entered = group->boxes.intersect(inv, r.mint, r.maxt, entry) & lanes;
            for (unsigned m = entered; m; m &= m - 1) startLoading(*group, __builtin_ctz(m));
            for (unsigned m = entered; m; m &= m - 1)
                if (group->primitive[__builtin_ctz(m)]->intersect(r)) return true;
        }
        return false;
    }

    static void startLoading(const BoundedBlock& block, int k) {
        prefetch(block.primitive[k]);
        startLoading(block.shape[k]);
    }
    static void startLoading(const char* shape) {
        if (shape)
            for (int line = 0; line < ShapeLines; ++line) prefetch(shape + 64 * line);
    }

    NodeArray nodes;      // the root is node 0
    LeafArray leafLines;  // the leaves' entries, each leaf from a line's start
    std::vector<const Primitive*> unbounded;
};
}  // namespace

extern "C" ovo::Aggregate* createAggregate(std::vector<ovo::Reference<ovo::Primitive>>& primitives,
                                           ovo::ParameterSet& parameters) {
    int leafSize = parameters.findInt("leafsize", DefaultLeafSize);
    if (leafSize < 1 || leafSize > MaxLeafSize) {
        ovo::ErrorScope::current().Warning("bvh: leafsize %d is outside 1 to %d. Using %d",
                                           leafSize, MaxLeafSize, DefaultLeafSize);
        leafSize = DefaultLeafSize;
    }
    try {
        return new Bvh(primitives, leafSize);
    } catch (const std::bad_alloc&) {
        ovo::ErrorScope::current().Severe(
            "bvh: out of memory building the hierarchy of %zu primitives. Ignoring ...",
            primitives.size());
        return nullptr;
    }
}
