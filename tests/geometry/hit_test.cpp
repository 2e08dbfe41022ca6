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

std::list<Hit> hits(std::initializer_list<float> ts) {
    std::list<Hit> out;
    for (float t : ts) {
        out.emplace_back();
        out.back().t = t;
    }
    return out;
}

std::vector<float> times(const std::list<Hit>& l) {
    std::vector<float> out;
    for (const Hit& h : l) out.push_back(h.t);
    return out;
}

std::vector<float> merged(std::initializer_list<float> a, bool ca, std::initializer_list<float> b,
                          bool cb) {
    std::list<Hit> la = hits(a), lb = hits(b);
    Hit::merge(la, ca, lb, cb);
    return times(la);
}

using V = std::vector<float>;

TEST(HitMerge, SpanListsOfTheBooleanOperations) {
    // Overlapping spans.
    EXPECT_EQ(merged({1, 4}, false, {2, 6}, false), V({2, 4}));  // intersection
    EXPECT_EQ(merged({1, 4}, true, {2, 6}, true), V({1, 6}));    // union
    EXPECT_EQ(merged({1, 4}, false, {2, 6}, true), V({1, 2}));   // difference a - b
    EXPECT_EQ(merged({2, 6}, false, {1, 4}, true), V({4, 6}));   // difference b - a
    // Disjoint spans.
    EXPECT_EQ(merged({1, 2}, true, {3, 4}, true), V({1, 2, 3, 4}));
    EXPECT_EQ(merged({1, 2}, false, {3, 4}, false), V());
    EXPECT_EQ(merged({1, 2}, false, {3, 4}, true), V({1, 2}));
    // One span inside the other.
    EXPECT_EQ(merged({1, 6}, false, {2, 3}, false), V({2, 3}));
    EXPECT_EQ(merged({1, 6}, true, {2, 3}, true), V({1, 6}));
    EXPECT_EQ(merged({1, 6}, false, {2, 3}, true), V({1, 2, 3, 6}));
}

TEST(HitMerge, EmptyListsAndRaysStartingInside) {
    // Intersection with nothing is nothing; subtracting nothing changes nothing.
    EXPECT_EQ(merged({1, 4}, false, {}, false), V());
    EXPECT_EQ(merged({1, 4}, false, {}, true), V({1, 4}));
    EXPECT_EQ(merged({}, true, {1, 4}, true), V({1, 4}));  // union with nothing
    EXPECT_EQ(merged({}, false, {1, 4}, false), V());      // nothing intersected
    EXPECT_EQ(merged({}, false, {}, false), V());
    // The ray starts inside A (one crossing): inside A the ray enters B at 1, A ends at 3.
    EXPECT_EQ(merged({3}, false, {1, 5}, false), V({1, 3}));
    // Starting inside both: the intersection ends at the first exit.
    EXPECT_EQ(merged({3}, false, {5}, false), V({3}));
    EXPECT_EQ(merged({3}, true, {5}, true), V({5}));  // union ends at the last exit
    // Starting inside A only, minus B entered at 2 and left at 4, then A ends at 7.
    EXPECT_EQ(merged({7}, false, {2, 4}, true), V({2, 4, 7}));
}

std::vector<float> tags(const std::list<Hit>& l) {
    std::vector<float> out;
    for (const Hit& h : l) out.push_back(h.env.u);
    return out;
}

TEST(HitMerge, EqualTimesTakeTheSecondListFirst) {
    // Touching spans a = [1, 2] and b = [2, 3]; b's hits are tagged 1.
    std::list<Hit> a = hits({1, 2}), b = hits({2, 3});
    for (Hit& h : b) h.env.u = 1.0f;
    Hit::merge(a, true, b, true);
    EXPECT_EQ(times(a), V({1, 3}));  // the union has no boundary where they touch
    EXPECT_EQ(tags(a), V({0, 1}));

    // Their intersection is the single point 2: b's crossing first, then a's.
    a = hits({1, 2});
    b = hits({2, 3});
    for (Hit& h : b) h.env.u = 1.0f;
    Hit::merge(a, false, b, false);
    EXPECT_EQ(times(a), V({2, 2}));
    EXPECT_EQ(tags(a), V({1, 0}));
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

        std::list<Hit> la, lb;
        for (float t : ta) la.emplace_back(), la.back().t = t;
        for (float t : tb) lb.emplace_back(), lb.back().t = t;
        Hit::merge(la, ca, lb, cb);

        auto member = [&](float x) { return (inside(ta, x) != ca) && (inside(tb, x) != cb); };
        std::vector<float> expected;
        for (float t : pool)
            if (member(t - 0.5f) != member(t + 0.5f)) expected.push_back(t);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(times(la), expected) << "trial " << trial << " ca " << ca << " cb " << cb;
    }
}

TEST(Hit, ClassifyAndOrdering) {
    Hit h;
    h.env.Ng = Normal(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(h.classify(Vector(0.0f, 0.0f, 1.0f)), Hit::Leaving);
    EXPECT_EQ(h.classify(Vector(0.3f, 0.0f, -1.0f)), Hit::Entering);
    EXPECT_EQ(h.classify(Vector(1.0f, 0.0f, 0.0f)), Hit::Leaving);  // perpendicular leaves
    EXPECT_EQ(int(Hit::Entering), 0);
    EXPECT_EQ(int(Hit::Leaving), 1);

    Hit a, b;
    a.t = 1.0f;
    b.t = 2.0f;
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a < a);
    std::list<Hit> l = hits({3, 1, 2});
    l.sort();
    EXPECT_EQ(times(l), V({1, 2, 3}));
}

TEST(Hit, DefaultRecordAndValueSemantics) {
    Hit fresh;
    EXPECT_FALSE(fresh.shape);
    EXPECT_FALSE(fresh.attributes.shading);
    EXPECT_EQ(fresh.transform, Transform::Identity);
    EXPECT_EQ(fresh.primitive, nullptr);
    EXPECT_EQ(fresh.env.ray, nullptr);
    EXPECT_EQ(fresh.env.geometrySet, nullptr);

    Reference<Shape> shape(new TestSphere(1.0f));
    Reference<ShadingAttributes> shading(new ShadingAttributes());
    Reference<LightList> lights(new LightList());
    {
        Hit h;
        h.shape = shape;
        h.attributes.shading = shading;
        h.env.lights = lights;
        h.t = 2.5f;
        EXPECT_EQ(shape->references(), 2);
        {
            Hit copy(h);
            EXPECT_EQ(copy.t, 2.5f);
            EXPECT_EQ(shape->references(), 3);
            EXPECT_EQ(shading->references(), 3);
            EXPECT_EQ(lights->references(), 3);
            Hit other;
            other.shape = Reference<Shape>(new TestSphere(2.0f));
            other = h;  // releases the sphere it held, which goes away
            EXPECT_EQ(other.shape.get(), shape.get());
            EXPECT_EQ(shape->references(), 4);
        }
        EXPECT_EQ(shape->references(), 2);
        EXPECT_EQ(shading->references(), 2);
        EXPECT_EQ(lights->references(), 2);
    }
    EXPECT_EQ(shape->references(), 1);
    EXPECT_EQ(shading->references(), 1);
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
    EXPECT_EQ(shape->references(), 4);
    Hit::recycle(list, std::next(list.begin()));  // the tail only
    EXPECT_EQ(times(list), V({1.0f}));
    EXPECT_EQ(shape->references(), 2);
    Hit::recycle(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(shape->references(), 1);  // spares keep nothing alive
    const Hit& reused = Hit::append(list);
    EXPECT_FALSE(reused.shape);
    EXPECT_EQ(reused.t, Hit().t);
    Hit::recycle(list);
}
