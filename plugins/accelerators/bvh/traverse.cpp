// The walks of the "bvh" accelerator: nearest hit and any hit, the leaf tests, and the list of
// triangles a nearest-hit walk asks once it is over. Everything here runs for every ray: it
// allocates nothing, and all but the two entry points stay in this file to be inlined.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/base/prefetch.h"
#include "core/geometry/hit.h"
#include "plugins/accelerators/bvh/bvh.h"

namespace ovo {
namespace bvh {
namespace {

// How much of a shape object to load ahead of its test: shapes keep what their test reads
// (bounds, plane, frame, array pointers) in their first few lines.
constexpr int ShapeLines = 4;

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
constexpr int MaxCandidates = 16;

// What a walk for the nearest hit carries: the ray with the nearest hit accepted so far, and
// the span the walk culls with, [mint, maxt] cut at the nearest place a hit may lie. Deferring
// walks keep the triangles that pass the pretest as candidates and ask them once the walk is
// over: the primitive's lines then load while the walk goes on, instead of stalling it.
// The span is two floats, not a copy of the ray: a whole-ray copy reads back the fields the
// caller has just stored one by one, and that load waits for every store to retire.
struct Walk {
    Ray& r;
    Hit& hit;
    Candidate* candidates;
    // Apart, so that they are read from the ray one by one: one wide load of the two would
    // wait for the caller's separate stores of each to retire.
    float mint;
    int count;
    float maxt;
    bool found;
    void accept() {
        r.maxt = hit.t;
        maxt = std::min(maxt, hit.t);
        found = true;
    }
};

// A ray with a NaN in it would enter every box.
inline bool isUsable(const Ray& r) {
    return r.o.x == r.o.x && r.o.y == r.o.y && r.o.z == r.o.z && r.d.x == r.d.x && r.d.y == r.d.y &&
           r.d.z == r.d.z;
}

// The slots in use whose bounds the ray enters, one bit each, and where it enters them.
inline unsigned enteredSlots(const WideNode& node, float mint, float maxt,
                             const Aabb4::Prepared& inv, float* entry) {
    unsigned mask = node.boxes[0].intersect(inv, mint, maxt, entry);
    for (int k = 1; k < Width / 4; ++k)
        if (node.slots > 4 * k)
            mask |= node.boxes[k].intersect(inv, mint, maxt, entry + 4 * k) << 4 * k;
    return mask & node.used;
}

// A child node, or a leaf's entries.
inline void prefetchSlot(const Tree& tree, const WideNode& node, unsigned s) {
    if (const uint32_t count = node.count[s]) {
        const LeafLine* line = tree.leafLines.data() + node.index[s];
        const uint32_t n = std::min(linesOf(count, node.triangles[s]), 8u);
        for (uint32_t k = 0; k < n; ++k) prefetch(line + k);
    } else {
        const char* p = reinterpret_cast<const char*>(&tree.nodes[node.index[s]]);
        for (int k = 0; k < 4; ++k) prefetch(p + 64 * k);
    }
}

inline void startLoading(const char* shape) {
    if (shape)
        for (int line = 0; line < ShapeLines; ++line) prefetch(shape + 64 * line);
}
inline void startLoading(const BoundedBlock& block, int k) {
    prefetch(block.primitive[k]);
    startLoading(block.shape[k]);
}

// A block's lanes in use, of `left` entries still to test from it on.
inline unsigned lanesOf(uint32_t left) { return left >= 4 ? 15u : (1u << left) - 1u; }

// Triangles are tested four at once against their corners, and asked only when the ray may
// cross them. Other primitives are asked when the ray enters their bound (a leaf of one was
// entered through its own bound); the loads of every one of a group entered are started
// before the first is asked, since a primitive's test reads the primitive, then its shape,
// then the shape's own arrays, each a cache miss that would otherwise wait for the one
// before.
template <bool Defer>
inline void nearestInLeaf(const Tree& tree, Walk& walk, const Aabb4::Prepared& inv,
                          const RayLanes& q, uint32_t line, uint32_t count, uint32_t triangles) {
    Ray& r = walk.r;
    Hit& hit = walk.hit;
    const TriangleBlock* block = blocksAt(tree.leafLines.data() + line);
    for (uint32_t first = 0; first < triangles; first += 4, ++block) {
        const unsigned lanes = lanesOf(triangles - first);
        if (Defer) {
            alignas(16) float lo[4], hi[4];
            for (unsigned m = mayHit(*block, q, walk.mint, walk.maxt, lanes, lo, hi); m;
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
                walk.maxt = std::min(walk.maxt, hi[k]);
            }
        } else {
            for (unsigned m = mayHit(*block, q, r.mint, r.maxt, lanes); m; m &= m - 1)
                if (block->primitive[__builtin_ctz(m)]->intersect(r, hit)) walk.accept();
        }
    }
    const uint32_t others = count - triangles;
    if (!others) return;
    // A lone primitive was entered through its own bound.
    const BoundedBlock* group = othersAt(tree.leafLines.data() + line, triangles);
    if (count == 1) {
        if (group->primitive[0]->intersect(r, hit)) walk.accept();
        return;
    }
    for (uint32_t first = 0; first < others; first += 4, ++group) {
        const unsigned lanes = lanesOf(others - first);
        alignas(16) float entry[4];
        const unsigned entered = group->boxes.intersect(inv, walk.mint, walk.maxt, entry) & lanes;
        for (unsigned m = entered; m; m &= m - 1) startLoading(*group, __builtin_ctz(m));
        for (unsigned m = entered; m; m &= m - 1) {
            const int k = __builtin_ctz(m);
            // A hit found meanwhile may lie in front of this bound.
            if (entry[k] > walk.maxt * Aabb4::Widening) continue;
            if (group->primitive[k]->intersect(r, hit)) walk.accept();
        }
    }
}

// The first primitive of a leaf found to be hit, or null.
inline const Primitive* anyInLeaf(const Tree& tree, const Ray& r, const Aabb4::Prepared& inv,
                                  const RayLanes& q, uint32_t line, uint32_t count,
                                  uint32_t triangles) {
    const TriangleBlock* block = blocksAt(tree.leafLines.data() + line);
    for (uint32_t first = 0; first < triangles; first += 4, ++block) {
        const unsigned lanes = lanesOf(triangles - first);
        for (unsigned m = mayHit(*block, q, r.mint, r.maxt, lanes); m; m &= m - 1) {
            const Primitive* p = block->primitive[__builtin_ctz(m)];
            if (p->intersect(r)) return p;
        }
    }
    const uint32_t others = count - triangles;
    if (!others) return nullptr;
    const BoundedBlock* group = othersAt(tree.leafLines.data() + line, triangles);
    if (count == 1) return group->primitive[0]->intersect(r) ? group->primitive[0] : nullptr;
    for (uint32_t first = 0; first < others; first += 4, ++group) {
        const unsigned lanes = lanesOf(others - first);
        alignas(16) float entry[4];
        const unsigned entered = group->boxes.intersect(inv, r.mint, r.maxt, entry) & lanes;
        for (unsigned m = entered; m; m &= m - 1) startLoading(*group, __builtin_ctz(m));
        for (unsigned m = entered; m; m &= m - 1) {
            const Primitive* p = group->primitive[__builtin_ctz(m)];
            if (p->intersect(r)) return p;
        }
    }
    return nullptr;
}

// The children of `node` in `mask` (at least two), sorted into `w` so that the nearest entry
// comes last; returns how many.
__attribute__((always_inline)) inline int sortEntered(const WideNode& node, unsigned mask,
                                                      const float* entry, Waiting* w) {
    int n = 0;
    for (unsigned m = mask; m; m &= m - 1) {
        const unsigned k = unsigned(__builtin_ctz(m));
        Waiting c{entry[k], node.index[k], node.count[k], node.triangles[k]};
        int j = n++;
        for (; j > 0 && w[j - 1].entry < c.entry; --j) w[j] = w[j - 1];
        w[j] = c;
    }
    return n;
}

template <bool Defer>
inline void walkNearest(const Tree& tree, Walk& walk, const Aabb4::Prepared& inv,
                        const RayLanes& q) {
    Waiting stack[StackSize];
    int top = 0;
    const WideNode* node = tree.nodes.data();
    for (;;) {
        alignas(16) float entry[Width];
        const unsigned mask = enteredSlots(*node, walk.mint, walk.maxt, inv, entry);
        if (mask) {
            // Every child entered is loaded at once, so that the cache misses overlap.
            for (unsigned m = mask; m; m &= m - 1)
                prefetchSlot(tree, *node, unsigned(__builtin_ctz(m)));
            unsigned s = unsigned(__builtin_ctz(mask));
            if (mask & (mask - 1)) {
                // Nearest first: the others wait, sorted so that the nearest of them is on top.
                Waiting w[Width];
                const int n = sortEntered(*node, mask, entry, w);
                // One fixed-size copy of every slot the stack keeps room for: a loop of n - 1
                // becomes a string move, whose start-up costs more than the whole copy. The
                // slots past n - 1 are copied but not counted.
                std::memcpy(&stack[top], w, sizeof(Waiting) * (Width - 1));
                top += n - 1;
                const Waiting& first = w[n - 1];
                if (first.count == 0) {
                    node = &tree.nodes[first.index];
                    continue;
                }
                nearestInLeaf<Defer>(tree, walk, inv, q, first.index, first.count, first.triangles);
            } else if (node->count[s] == 0) {
                node = &tree.nodes[node->index[s]];
                continue;
            } else {
                nearestInLeaf<Defer>(tree, walk, inv, q, node->index[s], node->count[s],
                                     node->triangles[s]);
            }
        }
        for (;;) {
            if (top == 0) return;
            const Waiting& w = stack[--top];
            // A hit found since it was put aside may now lie in front of it.
            if (w.entry > walk.maxt * Aabb4::Widening) continue;
            if (w.count == 0) {
                node = &tree.nodes[w.index];
                break;
            }
            nearestInLeaf<Defer>(tree, walk, inv, q, w.index, w.count, w.triangles);
        }
    }
}

inline bool nearest(const Tree& tree, Ray& r, Hit& hit) {
    const Aabb4::Prepared inv(r, Vector(1.0f / r.d.x, 1.0f / r.d.y, 1.0f / r.d.z));
    const RayLanes q(r);
    Candidate candidates[MaxCandidates];
    Walk walk{r, hit, candidates, r.mint, 0, r.maxt, false};
    walkNearest<true>(tree, walk, inv, q);
    // Nearest first; one whose hit cannot come before the nearest accepted is not asked.
    for (int k = 1; k < walk.count; ++k)
        for (int j = k; j > 0 && candidates[j - 1].lo > candidates[j].lo; --j)
            std::swap(candidates[j - 1], candidates[j]);
    for (int k = 0; k < walk.count && !(candidates[k].lo > r.maxt); ++k)
        if (candidates[k].primitive->intersect(r, hit)) walk.accept();
    // The walk culled beyond the candidates' farthest possible hits. When the candidate that
    // cut it shortest refused the ray (hidden from this kind of ray, or missed by a hair),
    // something beyond may be the nearest hit: walk again, asking every primitive at once.
    if (!(walk.maxt < r.maxt)) return walk.found;
    Walk again{r, hit, nullptr, r.mint, 0, r.maxt, walk.found};
    walkNearest<false>(tree, again, inv, q);
    return again.found;
}

// The first primitive found to be hit, or null.
const Primitive* anyHit(const Tree& tree, const std::vector<const Primitive*>& unbounded,
                        const Ray& ray) {
    for (const Primitive* p : unbounded)
        if (p->intersect(ray)) return p;
    if (tree.nodes.empty() || !isUsable(ray)) return nullptr;

    // A zero component gives an infinite reciprocal, which the box test handles.
    const Aabb4::Prepared inv(ray, Vector(1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z));
    const RayLanes q(ray);
    uint32_t stack[StackSize];
    int top = 0;
    const WideNode* node = tree.nodes.data();
    for (;;) {
        alignas(16) float entry[Width];
        const unsigned mask = enteredSlots(*node, ray.mint, ray.maxt, inv, entry);
        const WideNode* next = nullptr;
        for (unsigned m = mask; m; m &= m - 1)
            prefetchSlot(tree, *node, unsigned(__builtin_ctz(m)));
        for (unsigned m = mask; m; m &= m - 1) {
            const unsigned slot = unsigned(__builtin_ctz(m));
            const uint32_t index = node->index[slot];
            if (const uint32_t count = node->count[slot]) {
                if (const Primitive* p =
                        anyInLeaf(tree, ray, inv, q, index, count, node->triangles[slot]))
                    return p;
            } else if (next) {
                stack[top++] = index;
            } else {
                next = &tree.nodes[index];
            }
        }
        if (next) {
            node = next;
        } else {
            if (top == 0) return nullptr;
            node = &tree.nodes[stack[--top]];
        }
    }
}

}  // namespace

bool Bvh::intersect(const Ray& ray, Hit& hit) const {
    Ray r = ray;
    bool found = false;
    for (const Primitive* p : unbounded) {
        if (p->intersect(r, hit)) {
            r.maxt = hit.t;
            found = true;
        }
    }
    if (tree.nodes.empty() || !isUsable(r)) return found;
    return nearest(tree, r, hit) || found;
}

bool Bvh::intersect(const Ray& ray) const { return anyHit(tree, unbounded, ray) != nullptr; }

bool Bvh::occluded(const Ray& ray, const Primitive*& blocker) const {
    const Primitive* p = anyHit(tree, unbounded, ray);
    if (p) blocker = p;
    return p != nullptr;
}

}  // namespace bvh
}  // namespace ovo
