// Axis-aligned bounding boxes and the ray/box tests that accelerators run in their inner
// loops. The tests are inline: they allocate nothing, lock nothing and call nothing virtual.
#pragma once

#include "core/math/ray.h"
#include "core/math/tuple.h"

#include <xmmintrin.h>

#include <atomic>
#include <cmath>
#include <cstdint>

namespace ovo {

namespace detail {

// Per-thread slot of the ray/box counters. Each thread increments only its own slot with a
// plain load and store (no locked instruction); readers sum the slots of all threads under the
// registry lock. The values are atomics only so that those cross-thread reads are not races.
struct AabbCounterSlot {
    std::atomic<uint64_t> value[2];  // tests, hits
    AabbCounterSlot* prev;
    AabbCounterSlot* next;
    int state;  // 0 until the thread registers its slot, then 1
};

// Initial-exec TLS: a fixed offset from the thread pointer, no call on access, also from
// plugins loaded later (libovo itself is always loaded with the host).
extern __thread AabbCounterSlot aabbCounterSlot __attribute__((tls_model("initial-exec")));

// Called once per thread, on its first ray/box test.
void registerAabbCounterSlot();

inline void countAabb(int which, uint64_t n = 1) {
    AabbCounterSlot& slot = aabbCounterSlot;
    if (__builtin_expect(slot.state == 0, 0)) registerAabbCounterSlot();
    std::atomic<uint64_t>& v = slot.value[which];
    v.store(v.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

}  // namespace detail

struct BSphere {
    float center[3];
    float radius;

    BSphere() = default;
    BSphere(const Point& c, float r) : center{c.x, c.y, c.z}, radius(r) {}
};

class Aabb {
  public:
    float bmin[3];
    float bmax[3];

    // A process-wide statistic: the sum over every thread's count. Totals are exact once the
    // counting threads have finished (or been joined); while they run, a reading may miss the
    // last few increments.
    class Counter {
      public:
        constexpr explicit Counter(int index) : index(index) {}
        Counter(const Counter&) = delete;
        Counter& operator=(const Counter&) = delete;

        uint64_t load() const;
        operator uint64_t() const { return load(); }
        // Zero in every thread; meant for tests and for hosts between frames.
        void reset();

      private:
        int index;
    };

    static Counter numIntersectionTests;
    static Counter numHits;

    // The empty box: any point or box added to it replaces it.
    constexpr Aabb() : bmin{1e30f, 1e30f, 1e30f}, bmax{-1e30f, -1e30f, -1e30f} {}
    // Bound-array order: x pair, y pair, z pair, each pair in either order.
    Aabb(float x0, float x1, float y0, float y1, float z0, float z1) {
        setAxis(0, x0, x1);
        setAxis(1, y0, y1);
        setAxis(2, z0, z1);
    }
    explicit Aabb(const float* b) : Aabb(b[0], b[1], b[2], b[3], b[4], b[5]) {}
    explicit Aabb(float* b) : Aabb(static_cast<const float*>(b)) {}
    Aabb(const Point& a, const Point& b) : Aabb(a.x, b.x, a.y, b.y, a.z, b.z) {}
    Aabb(const HPoint& a, const HPoint& b) : Aabb(Point(a), Point(b)) {}
    explicit Aabb(const Point& p) : bmin{p.x, p.y, p.z}, bmax{p.x, p.y, p.z} {}

    const float* corner(int i) const { return i ? bmax : bmin; }

    // Union.
    Aabb& operator+=(const Aabb& b) {
        for (int a = 0; a < 3; ++a) {
            if (b.bmin[a] < bmin[a]) bmin[a] = b.bmin[a];
            if (b.bmax[a] > bmax[a]) bmax[a] = b.bmax[a];
        }
        return *this;
    }
    // Intersection; disjoint boxes give an inverted box, returned as it is.
    Aabb& operator&=(const Aabb& b) {
        for (int a = 0; a < 3; ++a) {
            if (b.bmin[a] > bmin[a]) bmin[a] = b.bmin[a];
            if (b.bmax[a] < bmax[a]) bmax[a] = b.bmax[a];
        }
        return *this;
    }
    // Grows a box that already holds a point: the max test is skipped when the min moved, so
    // start a box with Aabb(const Point&), not with the empty box.
    Aabb& operator+=(const Point& p) {
        for (int a = 0; a < 3; ++a) {
            if (p[a] < bmin[a])
                bmin[a] = p[a];
            else if (p[a] > bmax[a])
                bmax[a] = p[a];
        }
        return *this;
    }
    Aabb& operator+=(const HPoint& h) { return *this += Point(h); }

    // Union in place; true if any bound moved.
    bool expand(const Aabb& b) {
        bool changed = false;
        for (int a = 0; a < 3; ++a) {
            if (b.bmin[a] < bmin[a]) {
                bmin[a] = b.bmin[a];
                changed = true;
            }
            if (b.bmax[a] > bmax[a]) {
                bmax[a] = b.bmax[a];
                changed = true;
            }
        }
        return changed;
    }
    void expand(float delta) {
        for (int a = 0; a < 3; ++a) {
            bmin[a] -= delta;
            bmax[a] += delta;
        }
    }

    // Touching boxes overlap.
    bool overlaps(const Aabb& b) const {
        for (int a = 0; a < 3; ++a)
            if (!(bmax[a] >= b.bmin[a] && b.bmax[a] >= bmin[a])) return false;
        return true;
    }
    // Inclusive on every face.
    bool contains(const Tuple& p) const {
        for (int a = 0; a < 3; ++a)
            if (!(bmin[a] <= p[a] && p[a] <= bmax[a])) return false;
        return true;
    }
    // A sphere that only touches the box does not overlap it.
    bool overlaps(const BSphere& s) const {
        float d2 = 0.0f;
        for (int a = 0; a < 3; ++a) {
            const float c = s.center[a];
            if (c < bmin[a]) {
                const float e = bmin[a] - c;
                d2 += e * e;
            } else if (c > bmax[a]) {
                const float e = c - bmax[a];
                d2 += e * e;
            }
        }
        return s.radius * s.radius > d2;
    }

    float area() const {
        const double dx = double(bmax[0]) - bmin[0], dy = double(bmax[1]) - bmin[1],
                     dz = double(bmax[2]) - bmin[2];
        return static_cast<float>(2.0 * (dx * (dz + dy) + dy * dz));
    }
    float volume() const {
        return static_cast<float>((double(bmax[0]) - bmin[0]) * (double(bmax[1]) - bmin[1]) *
                                  (double(bmax[2]) - bmin[2]));
    }
    float length(unsigned axis) const { return bmax[axis] - bmin[axis]; }
    // Ties go to the later axis, except that x wins a tie with y.
    unsigned largestExtent() const {
        const float dx = std::fabs(length(0)), dy = std::fabs(length(1)), dz = std::fabs(length(2));
        if (dy > dx) return dy > dz ? 1u : 2u;
        return dx > dz ? 0u : 2u;
    }

    // 1. Slab test in double. Writes the clipped interval through the non-null pointers and
    // counts a hit.
    inline bool intersect(const Ray& r, float* hit0, float* hit1) const;
    // 2. Branch-free SSE test with the reciprocal direction. Besides overlapping [mint, maxt]
    // the box must not lie wholly behind t = 0. Writes nothing, counts no hit.
    inline bool intersect(const Ray& r, const Vector& invDir, float* hit0, float* hit1) const;
    // 3. Sign-classified test; rayClass holds two bits per axis (x highest), 1 negative and
    // 2 positive: 21 is all negative, 42 all positive. Defined for the eight classes without a
    // zero component; any other class gives an arbitrary (but harmless) answer. Writes the
    // unclipped entry and exit, counts a hit.
    inline bool intersect(const Ray& r, const Vector& invDir, int rayClass, float* hit0,
                          float* hit1) const;
    // 4. Corner-selecting test; sign[a] is 1 where the direction is negative on axis a.
    inline bool intersect(const Ray& r, const Vector& invDir, const unsigned int* const sign) const;

  private:
    void setAxis(int a, float v0, float v1) {
        bmin[a] = v0 < v1 ? v0 : v1;
        bmax[a] = v0 < v1 ? v1 : v0;
    }
};

// Four boxes side by side, one array per bound and axis, tested against one ray at once: the
// inner loop of wide hierarchies. The test follows the rules of the branch-free test above
// (reciprocal direction, interval clipped to [mint, maxt], nothing wholly behind t = 0) and
// counts four ray/box tests, but it never refuses a box for rounding: each slab distance is
// within three rounding errors of its exact value, so the exit is widened by twice that before
// it is compared with the entry. A ray through an edge or a corner of a box, or in the plane of
// a flat one, enters it (as may a ray that passes within that margin). A slot left empty reads
// as entered (the test does not order a box's two corners): callers mask the slots they use.
class Aabb4 {
  public:
    alignas(16) float lo[3][4];
    alignas(16) float hi[3][4];

    Aabb4() {
        for (int s = 0; s < 4; ++s) set(s, Aabb());
    }
    void set(int slot, const Aabb& b) {
        for (int a = 0; a < 3; ++a) {
            lo[a][slot] = b.bmin[a];
            hi[a][slot] = b.bmax[a];
        }
    }
    Aabb get(int slot) const {
        Aabb b;
        for (int a = 0; a < 3; ++a) {
            b.bmin[a] = lo[a][slot];
            b.bmax[a] = hi[a][slot];
        }
        return b;
    }
    // Bit s set when the ray enters box s; entry[s] is then where (at mint or later).
    inline unsigned intersect(const Ray& r, const Vector& invDir, float entry[4]) const;

    // A ray made ready once for many four-box tests: its origin and reciprocal direction in
    // every lane, and for each axis which of the two planes it meets first.
    struct Prepared {
        __m128 o[3], inv[3];
        unsigned nearPlane[3], farPlane[3];  // float offsets from lo[a]: 0 (lo) or 12 (hi)
        Prepared(const Ray& r, const Vector& invDir) {
            for (int a = 0; a < 3; ++a) {
                o[a] = _mm_set1_ps(r.o[a]);
                inv[a] = _mm_set1_ps(invDir[a]);
                // By the reciprocal's sign, so that a zero of either sign picks the plane its
                // infinite reciprocal sends to -infinity.
                const bool negative = std::signbit(invDir[a]);
                nearPlane[a] = negative ? 12u : 0u;
                farPlane[a] = negative ? 0u : 12u;
            }
        }
    };
    // The same answer and entries as the test above for boxes whose corners are in order, with
    // the ray cut to [mint, maxt]: only the plane met first and the one met last are computed
    // on each axis. An empty slot (corners in reverse order) reads as missed.
    inline unsigned intersect(const Prepared& r, float mint, float maxt, float entry[4]) const;

    // What the exit is widened by: 1 + 2 gamma(3), gamma(n) = n u / (1 - n u), u = 2^-24. A box
    // entered at `entry` stays entered by the same ray cut short to maxt exactly while
    // entry <= maxt * Widening.
    static constexpr float Widening = 1.0f + 6.0f * 5.9604645e-8f / (1.0f - 3.0f * 5.9604645e-8f);
};
static_assert(sizeof(Aabb4) == 96, "lo and hi are one block of 24 floats");

inline unsigned Aabb4::intersect(const Ray& r, const Vector& invDir, float entry[4]) const {
    detail::countAabb(0, 4);
    const __m128 rmin = _mm_set1_ps(r.mint);
    const __m128 rmax = _mm_set1_ps(r.maxt);
    __m128 entryT = rmin, exitT = rmax;
    for (int a = 0; a < 3; ++a) {
        const __m128 org = _mm_set1_ps(r.o[a]);
        const __m128 inv = _mm_set1_ps(invDir[a]);
        const __m128 ta = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(lo[a]), org), inv);
        const __m128 tb = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(hi[a]), org), inv);
        // As in the single test, a NaN slab distance falls back to the ray's own bound.
        exitT = _mm_min_ps(exitT, _mm_max_ps(_mm_min_ps(ta, rmax), _mm_min_ps(tb, rmax)));
        entryT = _mm_max_ps(entryT, _mm_min_ps(_mm_max_ps(ta, rmin), _mm_max_ps(tb, rmin)));
    }
    _mm_storeu_ps(entry, entryT);
    const __m128 widened = _mm_mul_ps(exitT, _mm_set1_ps(Widening));
    const __m128 miss =
        _mm_or_ps(_mm_cmplt_ps(widened, entryT), _mm_cmplt_ps(exitT, _mm_setzero_ps()));
    return unsigned(~_mm_movemask_ps(miss)) & 15u;
}

inline unsigned Aabb4::intersect(const Prepared& r, float mint, float maxt, float entry[4]) const {
    detail::countAabb(0, 4);
    // lo and hi are one block of 24 floats: hi[a] is 12 floats after lo[a].
    const float* planes = reinterpret_cast<const float*>(this);
    __m128 entryT = _mm_set1_ps(mint), exitT = _mm_set1_ps(maxt);
#pragma GCC unroll 3
    for (int a = 0; a < 3; ++a) {
        const __m128 tn =
            _mm_mul_ps(_mm_sub_ps(_mm_load_ps(planes + 4 * a + r.nearPlane[a]), r.o[a]), r.inv[a]);
        const __m128 tf =
            _mm_mul_ps(_mm_sub_ps(_mm_load_ps(planes + 4 * a + r.farPlane[a]), r.o[a]), r.inv[a]);
        // maxps and minps return their second operand when one is NaN (the origin in the plane
        // of an axis the ray does not move along): that slab then leaves the interval alone.
        entryT = _mm_max_ps(tn, entryT);
        exitT = _mm_min_ps(tf, exitT);
    }
    _mm_storeu_ps(entry, entryT);
    const __m128 widened = _mm_mul_ps(exitT, _mm_set1_ps(Widening));
    const __m128 miss =
        _mm_or_ps(_mm_cmplt_ps(widened, entryT), _mm_cmplt_ps(exitT, _mm_setzero_ps()));
    return unsigned(~_mm_movemask_ps(miss)) & 15u;
}

inline bool operator==(const Aabb& a, const Aabb& b) {
    for (int i = 0; i < 3; ++i)
        if (a.bmin[i] != b.bmin[i] || a.bmax[i] != b.bmax[i]) return false;
    return true;
}
inline bool operator!=(const Aabb& a, const Aabb& b) { return !(a == b); }

inline bool Aabb::intersect(const Ray& r, float* hit0, float* hit1) const {
    detail::countAabb(0);
    double tNear = r.mint, tFar = r.maxt;
    for (int a = 0; a < 3; ++a) {
        // A zero component gives an infinite reciprocal: the slab then keeps the interval or
        // rejects the ray. A NaN bound (origin on the plane) is ignored by the comparisons.
        const float inv = static_cast<float>(1.0 / double(r.d[a]));
        const double nearPlane = inv > 0.0f ? bmin[a] : bmax[a];
        const double farPlane = inv > 0.0f ? bmax[a] : bmin[a];
        const double tn = (nearPlane - r.o[a]) * inv;
        const double tf = (farPlane - r.o[a]) * inv;
        if (tn > tNear) tNear = tn;
        if (tf < tFar) tFar = tf;
        if (tNear > tFar) return false;
    }
    if (hit0) *hit0 = static_cast<float>(tNear);
    if (hit1) *hit1 = static_cast<float>(tFar);
    detail::countAabb(1);
    return true;
}

inline bool Aabb::intersect(const Ray& r, const Vector& invDir, float*, float*) const {
    detail::countAabb(0);
    // Lane 3 repeats z so that the four-wide reductions see only the three axes. The loads stay
    // inside the objects: Point, Vector are four floats, and bmin+2 covers bmin[2], bmax[0..2].
    const float* b = bmin;
    const __m128 o = _mm_loadu_ps(&r.o.x);
    const __m128 rcp = _mm_loadu_ps(&invDir.x);
    const __m128 lo4 = _mm_loadu_ps(b);
    const __m128 hi4 = _mm_loadu_ps(b + 2);
    const __m128 org = _mm_shuffle_ps(o, o, _MM_SHUFFLE(2, 2, 1, 0));
    const __m128 inv = _mm_shuffle_ps(rcp, rcp, _MM_SHUFFLE(2, 2, 1, 0));
    const __m128 lo = _mm_shuffle_ps(lo4, lo4, _MM_SHUFFLE(2, 2, 1, 0));
    const __m128 hi = _mm_shuffle_ps(hi4, hi4, _MM_SHUFFLE(3, 3, 2, 1));
    const __m128 ta = _mm_mul_ps(_mm_sub_ps(lo, org), inv);
    const __m128 tb = _mm_mul_ps(_mm_sub_ps(hi, org), inv);
    const __m128 rmin = _mm_set1_ps(r.mint);
    const __m128 rmax = _mm_set1_ps(r.maxt);
    // minps/maxps return their second operand when one is NaN: a NaN slab distance (origin on a
    // plane of a zero-direction axis) falls back to the ray's own bound.
    __m128 exitT = _mm_max_ps(_mm_min_ps(ta, rmax), _mm_min_ps(tb, rmax));
    __m128 entryT = _mm_min_ps(_mm_max_ps(ta, rmin), _mm_max_ps(tb, rmin));
    exitT = _mm_min_ps(exitT, _mm_shuffle_ps(exitT, exitT, _MM_SHUFFLE(1, 0, 3, 2)));
    exitT = _mm_min_ps(exitT, _mm_shuffle_ps(exitT, exitT, _MM_SHUFFLE(2, 3, 0, 1)));
    entryT = _mm_max_ps(entryT, _mm_shuffle_ps(entryT, entryT, _MM_SHUFFLE(1, 0, 3, 2)));
    entryT = _mm_max_ps(entryT, _mm_shuffle_ps(entryT, entryT, _MM_SHUFFLE(2, 3, 0, 1)));
    const float exitS = _mm_cvtss_f32(exitT);
    const float entryS = _mm_cvtss_f32(entryT);
    return !(exitS < entryS || exitS < 0.0f);
}

inline bool Aabb::intersect(const Ray& r, const Vector& invDir, int rayClass, float* hit0,
                            float* hit1) const {
    detail::countAabb(0);
    // The low bit of each axis pair marks a negative direction: the ray enters through the
    // maximum face and leaves through the minimum one.
    const bool nx = rayClass & 0x10, ny = rayClass & 0x04, nz = rayClass & 0x01;
    const float txEntry = ((nx ? bmax[0] : bmin[0]) - r.o.x) * invDir.x;
    const float txExit = ((nx ? bmin[0] : bmax[0]) - r.o.x) * invDir.x;
    const float tyEntry = ((ny ? bmax[1] : bmin[1]) - r.o.y) * invDir.y;
    const float tyExit = ((ny ? bmin[1] : bmax[1]) - r.o.y) * invDir.y;
    if (txEntry >= tyExit || tyEntry >= txExit) return false;
    float entry = txEntry > tyEntry ? txEntry : tyEntry;
    float exit = txExit < tyExit ? txExit : tyExit;
    const float tzEntry = ((nz ? bmax[2] : bmin[2]) - r.o.z) * invDir.z;
    const float tzExit = ((nz ? bmin[2] : bmax[2]) - r.o.z) * invDir.z;
    if (entry >= tzExit || tzEntry >= exit) return false;
    if (tzEntry > entry) entry = tzEntry;
    if (tzExit < exit) exit = tzExit;
    if (r.mint > exit || entry > r.maxt) return false;
    if (hit0) *hit0 = entry;
    if (hit1) *hit1 = exit;
    detail::countAabb(1);
    return true;
}

inline bool Aabb::intersect(const Ray& r, const Vector& invDir,
                            const unsigned int* const sign) const {
    detail::countAabb(0);
    // Each step of double arithmetic on floats rounds to the float result, so float it is.
    float tmin = (corner(sign[0])[0] - r.o.x) * invDir.x;
    float tmax = (corner(1 - sign[0])[0] - r.o.x) * invDir.x;
    const float tymin = (corner(sign[1])[1] - r.o.y) * invDir.y;
    const float tymax = (corner(1 - sign[1])[1] - r.o.y) * invDir.y;
    if (tmin >= tymax || tymin >= tmax) return false;
    if (tymin > tmin) tmin = tymin;
    if (tymax < tmax) tmax = tymax;
    const float tzmin = (corner(sign[2])[2] - r.o.z) * invDir.z;
    const float tzmax = (corner(1 - sign[2])[2] - r.o.z) * invDir.z;
    if (tmin >= tzmax || tzmin >= tmax) return false;
    const float entry = tmin > tzmin ? tmin : tzmin;
    const float exit = tmax < tzmax ? tmax : tzmax;
    return entry <= r.maxt && exit >= r.mint;
}

}  // namespace ovo
