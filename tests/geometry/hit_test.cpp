#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <numeric>
#include <random>
#include <vector>

#include "core/geometry/hit.h"
#include "tests/geometry/geometry_test_util.h"

using namespace ovo;
using ovotest::TestSphere;

namespace {

using V = std::vector<float>;

// Hits at these times, each tagged (in u) with `tag`.
std::list<Hit> hits(const V& ts, float tag = 0.0f) {
    std::list<Hit> out(ts.size());
    auto t = ts.begin();
    for (Hit& h : out) h.t = *t++, h.env.u = tag;
    return out;
}

// The times of a list's hits, or their tags.
V times(const std::list<Hit>& l, bool tags = false) {
    V out;
    for (const Hit& h : l) out.push_back(tags ? h.env.u : h.t);
    return out;
}

TEST(HitMerge, EqualTimesTakeTheSecondListFirst) {
    // Touching spans a = [1, 2] and b = [2, 3], b's hits tagged 1: the union has no boundary
    // where they touch; the intersection is the single point 2, b's crossing first, then a's.
    const struct {
        bool complemented;
        V times, tags;
    } cases[] = {{true, {1, 3}, {0, 1}}, {false, {2, 2}, {1, 0}}};
    for (const auto& c : cases) {
        std::list<Hit> a = hits({1, 2}), b = hits({2, 3}, 1.0f);
        Hit::merge(a, c.complemented, b, c.complemented);
        EXPECT_EQ(times(a), c.times);
        EXPECT_EQ(times(a, true), c.tags);
    }
}

// Point membership of a solid given by all its crossings beyond the start: a point is inside
// when an odd number of crossings lie beyond it.
bool inside(const std::vector<float>& crossings, float x) {
    int n = 0;
    for (float t : crossings) n += t > x;
    return n & 1;
}

TEST(HitMerge, AgreesWithPointMembershipOnRandomLists) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 2000; ++trial) {
        // Distinct crossing times shared out between the two lists.
        std::vector<float> pool(16);
        std::iota(pool.begin(), pool.end(), 1.0f);
        std::shuffle(pool.begin(), pool.end(), rng);
        const int na = int(rng() % 8), nb = int(rng() % 8);
        std::vector<float> ta(pool.begin(), pool.begin() + na);
        std::vector<float> tb(pool.begin() + na, pool.begin() + na + nb);
        std::sort(ta.begin(), ta.end());
        std::sort(tb.begin(), tb.end());
        const bool ca = rng() & 1, cb = rng() & 1;

        std::list<Hit> la = hits(ta), lb = hits(tb);
        Hit::merge(la, ca, lb, cb);

        auto member = [&](float x) { return (inside(ta, x) != ca) && (inside(tb, x) != cb); };
        std::vector<float> expected;
        for (float t : pool)
            if (member(t - 0.5f) != member(t + 0.5f)) expected.push_back(t);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(times(la), expected) << "trial " << trial << " ca " << ca << " cb " << cb;
    }
}

TEST(Hit, ClassifyAgainstTheGeometricNormal) {
    Hit h;
    h.env.Ng = Normal(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(h.classify(Vector(0.0f, 0.0f, 1.0f)), Hit::Leaving);
    EXPECT_EQ(h.classify(Vector(0.3f, 0.0f, -1.0f)), Hit::Entering);
    EXPECT_EQ(h.classify(Vector(1.0f, 0.0f, 0.0f)), Hit::Leaving);  // perpendicular leaves
}

}  // namespace

TEST(Hit, RecycledNodesComeBackEmpty) {
    Reference<Shape> shape(new TestSphere(1.0f));
    std::list<Hit> list;
    for (float t : {1.0f, 2.0f, 3.0f}) {
        Hit& h = Hit::append(list);
        h.shape = shape;
        h.t = t;
    }
    Hit::recycle(list, std::next(list.begin()));  // the tail only
    EXPECT_EQ(times(list), V({1.0f}));
    EXPECT_EQ(list.front().shape, shape.get());
    Hit::recycle(list);
    EXPECT_TRUE(list.empty());
    const Hit& reused = Hit::append(list);
    EXPECT_FALSE(reused.shape);
    EXPECT_EQ(reused.t, Hit().t);
    Hit::recycle(list);
}
