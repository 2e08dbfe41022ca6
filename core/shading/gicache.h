// GICache: the records of earlier occlusion or irradiance gatherings, kept in an octree so that
// nearby shading points interpolate them instead of tracing a hemisphere of rays again. One
// cache holds occlusion (float), the other irradiance (Color); both live as long as the Scene.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "core/math/aabb.h"
#include "core/math/tuple.h"
#include "sys/tasking.h"

namespace ovo {

// One gathering: where and with which normal it was made, the radius R of its neighbourhood
// (the harmonic mean distance of the hits), its value, the value's change per rotation of the
// normal and per step of the position (one T per world axis), and the mean unoccluded
// direction.
template <class T>
struct GIRecord {
    Point P;
    Normal N;
    float R;
    T value;
    T rotationalGradient[3];
    T translationalGradient[3];
    Vector direction;
};

template <class T>
class GICache {
  public:
    // What the cache did so far; read it once rendering has finished.
    struct Statistics {
        uint64_t lookups = 0;       // interpolate calls
        uint64_t reused = 0;        // answered by the thread's last result
        uint64_t interpolated = 0;  // answered from the tree
        uint64_t records = 0;       // records inserted
    };

    // `bounds` is the world's; `threads` the number of worker threads (thread ids 0..threads-1
    // have a last-result slot each).
    GICache(const Aabb& bounds, unsigned threads);
    ~GICache();
    GICache(const GICache&) = delete;
    GICache& operator=(const GICache&) = delete;

    // The value at P with normal N from the thread's last result or the records around P:
    // true when at least `minimum` records accept (error below maxerror) and their weights
    // sum to at least `minimumWeight`. `cosMaxAngle` is the cosine of the normal deviation
    // that counts as an error of 1. `direction`, when given, receives the weighted mean
    // direction.
    bool interpolate(const Point& P, const Normal& N, float footprint, float maxerror, int minimum,
                     float minimumWeight, float cosMaxAngle, T& result, Vector* direction);

    // Stores a record, its radius limited by the footprint (a·footprint to b·footprint, within
    // the cache's own limits) and by its translational gradient, and makes it the calling
    // thread's last result.
    void insert(GIRecord<T> record, float footprint, float a, float b);
    // Drops the calling thread's last result. The render loop calls it as each pixel starts,
    // so that no pixel takes a value from whichever pixel its thread happened to shade before.
    void forgetLast() {
        if (Slot* mine = slot()) mine->valid = false;
    }

    Statistics statistics() const;
    float smallestRadius() const { return minRadius; }
    float largestRadius() const { return maxRadius; }

    // Switches: radius limits from the pixel footprint, radius clamping by the neighbouring
    // records, use of the gradients in interpolation.
    bool footprintLimits = true;
    bool neighbourClamping = false;
    bool gradients = true;
    float weightFactor = 1.0f;  // k: weight = 1 - k * error; influence cube P ± k·R/2

  private:
    // A stored record with the numbers the distance test reads, so that a walk scans one
    // contiguous array.
    struct Entry {
        float x, y, z, R;
        const GIRecord<T>* record;
    };
    struct Node {
        Node* children[8] = {};
        std::vector<Entry> stored;
    };
    // A thread's last answer and its counters, on a cache line of its own.
    struct alignas(64) Slot {
        bool valid = false;
        Point P;
        Normal N;
        T value;
        Vector direction;
        uint64_t lookups = 0, reused = 0, interpolated = 0, inserted = 0;
    };

    Slot* slot();
    // Visits every record stored on the nodes from the root to the deepest node holding P
    // that lies nearer to P than reach·R, with its distance.
    template <class Visit>
    void walk(const Point& P, float reach, Visit&& visit) const;
    // Visits the records stored on every node whose cell comes within `radius` of P (a record
    // stored on several nodes is visited once for each).
    template <class Visit>
    void near(const Node* node, const Point& centre, float half, const Point& P, float radius,
              Visit&& visit) const;
    void store(Node* node, const Point& centre, float half, int depth, const GIRecord<T>* record,
               float reach);
    static void destroy(Node* node);

    sys::RWMutex mutex;
    Aabb bounds;
    Node* root;
    Point rootCentre;
    float rootHalf;
    std::deque<GIRecord<T>> records;  // owns them; a deque keeps their addresses
    float extent;
    float minRadius;
    float maxRadius;
    std::vector<Slot> slots;
};

}  // namespace ovo
