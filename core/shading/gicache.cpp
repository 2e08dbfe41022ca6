// GICache: lookups walk the octree path of the query point under the read lock; insertions
// store a record on every node of one level that its influence cube overlaps, so every point
// inside the cube finds the record on its path.
#include "core/shading/gicache.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace ovo {

namespace {

// Deeper than this the cells stop shrinking: records smaller than the root over 2^24 share.
constexpr int MaxDepth = 24;

// A record goes into every cell its influence cube overlaps on the first level whose cells'
// half side is below this fraction of the cube's: smaller cells hold fewer records that a
// lookup must test, at the price of more copies (at most (2/fraction + 1)^3 per record, a
// quarter of that for records spread over a surface). 0.5 halved the lookup time of the
// occlusion benchmark against cells as large as the cube.
constexpr float StorageFraction = 0.5f;

inline float clampZero(float v) { return std::max(v, 0.0f); }
inline Color clampZero(const Color& c) {
    return Color(std::max(c.r, 0.0f), std::max(c.g, 0.0f), std::max(c.b, 0.0f));
}

// The length of a gradient: per unit of distance, of the value (the largest channel).
inline float gradientLength(const float g[3]) {
    return std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
}
inline float gradientLength(const Color g[3]) {
    float longest = 0.0f;
    for (int c = 0; c < 3; ++c) {
        const float x = (&g[0].r)[c], y = (&g[1].r)[c], z = (&g[2].r)[c];
        longest = std::max(longest, std::sqrt(x * x + y * y + z * z));
    }
    return longest;
}

inline int octant(const Point& P, const Point& centre) {
    return (P.x > centre.x ? 1 : 0) | (P.y > centre.y ? 2 : 0) | (P.z > centre.z ? 4 : 0);
}

inline Point childCentre(const Point& centre, float half, int i) {
    const float q = half * 0.5f;
    return Point(centre.x + (i & 1 ? q : -q), centre.y + (i & 2 ? q : -q),
                 centre.z + (i & 4 ? q : -q));
}

inline bool finite(float v) { return std::isfinite(v); }

}  // namespace

template <class T>
GICache<T>::GICache(const Aabb& b, unsigned threads)
    : bounds(b), root(new Node()), rootCentre(0.0f), slots(std::max(1u, threads)) {
    const float* lo = bounds.corner(0);
    const float* hi = bounds.corner(1);
    float side = 0.0f;
    bool usable = true;
    for (int a = 0; a < 3; ++a) {
        usable = usable && finite(lo[a]) && finite(hi[a]) && lo[a] <= hi[a];
        side = std::max(side, hi[a] - lo[a]);
    }
    // An empty or unbounded world still gets a cache: a unit cube around the origin.
    usable = usable && side > 0.0f && side < 1e29f;
    if (usable)
        rootCentre = Point((lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f);
    extent = usable ? side : 1.0f;
    rootHalf = extent * 0.5f;
    minRadius = 0.005f * extent;
    maxRadius = 0.32f * extent;
}

template <class T>
GICache<T>::~GICache() {
    destroy(root);
}

template <class T>
void GICache<T>::destroy(Node* node) {
    if (!node) return;
    for (Node* c : node->children) destroy(c);
    delete node;
}

template <class T>
typename GICache<T>::Slot* GICache<T>::slot() {
    const unsigned id = sys::getThreadID();
    return id < slots.size() ? &slots[id] : nullptr;
}

template <class T>
template <class Visit>
void GICache<T>::walk(const Point& P, float reach, Visit&& visit) const {
    const Node* node = root;
    Point centre = rootCentre;
    float half = rootHalf;
    const float reach2 = reach * reach;
    while (node) {
        for (const Entry& e : node->stored) {
            const float dx = P.x - e.x, dy = P.y - e.y, dz = P.z - e.z;
            const float d2 = dx * dx + dy * dy + dz * dz;
            if (d2 < reach2 * e.R * e.R) visit(*e.record, std::sqrt(d2));
        }
        const int i = octant(P, centre);
        centre = childCentre(centre, half, i);
        half *= 0.5f;
        node = node->children[i];
    }
}

template <class T>
template <class Visit>
void GICache<T>::near(const Node* node, const Point& centre, float half, const Point& P,
                      float radius, Visit&& visit) const {
    for (int a = 0; a < 3; ++a)
        if (P[a] + radius < centre[a] - half || P[a] - radius > centre[a] + half) return;
    for (const Entry& e : node->stored) visit(*e.record);
    for (int i = 0; i < 8; ++i)
        if (node->children[i])
            near(node->children[i], childCentre(centre, half, i), half * 0.5f, P, radius, visit);
}

template <class T>
bool GICache<T>::interpolate(const Point& P, const Normal& N, float footprint, float maxerror,
                             int minimum, float minimumWeight, float cosMaxAngle, T& result,
                             Vector* direction) {
    Slot* mine = slot();
    if (mine) {
        ++mine->lookups;
        if (mine->valid && (P - mine->P).length() <= footprint && dot(N, mine->N) >= 0.95f) {
            ++mine->reused;
            result = mine->value;
            if (direction) *direction = mine->direction;
            return true;
        }
    }
    if (maxerror == 0.0f) return false;

    const float angleScale = 1.0f / (1.0f - cosMaxAngle);
    T sum = T(0.0f);
    Vector directionSum(0.0f);
    float weights = 0.0f;
    int count = 0;
    {
        sys::RWMutexLock lock(mutex, sys::RWMutexRead);
        // Records farther than maxerror·R/2 have an error of at least maxerror.
        walk(P, 0.5f * maxerror, [&](const GIRecord<T>& r, float distance) {
            const float cosine = std::min(1.0f, dot(N, r.N));
            if (cosine < 0.0f) return;
            const Vector offset = P - r.P;
            if (dot(offset, N + r.N) < -0.05f) return;  // the record lies in front of P
            const float error = std::max(distance / (r.R * 0.5f),
                                         std::sqrt(std::max(0.0f, 1.0f - cosine) * angleScale));
            if (!(error < maxerror)) return;
            const float w = 1.0f - weightFactor * error;
            T value = r.value;
            if (gradients) {
                const Vector turn = r.N ^ N;
                for (int a = 0; a < 3; ++a)
                    value +=
                        r.rotationalGradient[a] * turn[a] + r.translationalGradient[a] * offset[a];
                value = clampZero(value);
            }
            sum += value * w;
            directionSum += r.direction * w;
            weights += w;
            ++count;
        });
    }
    if (count < minimum || !(weights >= minimumWeight)) return false;
    result = sum / weights;
    const Vector mean = directionSum / weights;
    if (direction) *direction = mean;
    if (mine) {
        ++mine->interpolated;
        mine->valid = true;
        mine->P = P;
        mine->N = N;
        mine->value = result;
        mine->direction = mean;
    }
    return true;
}

template <class T>
void GICache<T>::store(Node* node, const Point& centre, float half, int depth,
                       const GIRecord<T>* record, float reach) {
    if (depth >= MaxDepth || half < reach * StorageFraction) {
        node->stored.push_back(Entry{record->P.x, record->P.y, record->P.z, record->R, record});
        return;
    }
    for (int i = 0; i < 8; ++i) {
        bool overlaps = true;
        for (int a = 0; a < 3 && overlaps; ++a)
            overlaps =
                (i >> a) & 1 ? record->P[a] + reach > centre[a] : record->P[a] - reach <= centre[a];
        if (!overlaps) continue;
        Node*& child = node->children[i];
        if (!child) child = new Node();
        store(child, childCentre(centre, half, i), half * 0.5f, depth + 1, record, reach);
    }
}

template <class T>
void GICache<T>::insert(GIRecord<T> r, float footprint, float a, float b) {
    // The radius limits: the cache's own, narrowed by the pixel footprint.
    float lower = minRadius, upper = maxRadius;
    if (footprintLimits && footprint > 0.0f && finite(footprint)) {
        lower = std::max(minRadius, a * footprint);
        upper = std::min(maxRadius, b * footprint);
    }
    const float unclamped = r.R;
    float R = std::min(unclamped, upper);
    if (gradients) {
        const float g = gradientLength(r.translationalGradient);
        if (g > 1e-6f) R = std::min(R, R / g);
    }
    R = std::max(R, lower);  // the lower limit wins: it bounds the number of records
    if (!(R > 0.0f) || !finite(R)) R = std::max(minRadius, 1e-6f);
    if (gradients) {
        const float scale =
            finite(unclamped) && unclamped > 0.0f ? std::min(1.0f, R / unclamped) : 0.0f;
        for (int k = 0; k < 3; ++k) {
            r.rotationalGradient[k] = r.rotationalGradient[k] * scale;
            r.translationalGradient[k] = r.translationalGradient[k] * scale;
        }
    }
    {
        sys::RWMutexLock lock(mutex, sys::RWMutexWrite);
        if (neighbourClamping)
            near(root, rootCentre, rootHalf, r.P, R, [&](const GIRecord<T>& other) {
                const float d = (r.P - other.P).length();
                if (d < R) R = std::max(lower, std::min(R, other.R + d));
            });
        r.R = R;
        records.push_back(r);
        store(root, rootCentre, rootHalf, 0, &records.back(), weightFactor * R * 0.5f);
    }
    if (Slot* mine = slot()) {
        ++mine->inserted;
        mine->valid = true;
        mine->P = r.P;
        mine->N = r.N;
        mine->value = r.value;
        mine->direction = r.direction;
    }
}

template <class T>
typename GICache<T>::Statistics GICache<T>::statistics() const {
    Statistics s;
    for (const Slot& t : slots) {
        s.lookups += t.lookups;
        s.reused += t.reused;
        s.interpolated += t.interpolated;
    }
    s.records = records.size();
    return s;
}

template class GICache<float>;
template class GICache<Color>;

}  // namespace ovo
