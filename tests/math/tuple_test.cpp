#include "core/math/tuple.h"

#include <gtest/gtest.h>

#include <random>
#include <type_traits>
#include <vector>

#include "tests/math/math_test_util.h"

using namespace ovo;
using ovotest::near;

// Point(HPoint) divides by w, also when assigned: Point(const Tuple&) must not win.
TEST(Tuple, PointFromHomogeneousDividesByW) {
    const Point fromH = HPoint(3, 6, 9, 3);
    EXPECT_EQ(fromH, Point(1, 2, 3));
    EXPECT_EQ(Point(HPoint(Tuple(1, 2, 3) * 2.0f, 2.0f) + HPoint(Tuple(1, 1, 1) * 4.0f, 4.0f)),
              Point(2, 3, 4));  // the Euclidean sum
    static_assert(std::is_same<decltype(Point(1, 1, 1) + Vector(0, 0, 1)), Point>::value, "");
}

// The largest axis (x wins a tie with y, z a tie with the leader), then the other two by
// decreasing signed value, ties in cyclic order.
TEST(Tuple, LargestAndSortedAxesBreakTies) {
    const std::pair<Tuple, std::vector<int>> rows[] = {
        {Tuple(1, -1, 0), {0, 2, 1}}, {Tuple(0, 2, -2), {2, 1, 0}}, {Tuple(1, 1, 1), {2, 0, 1}},
        {Tuple(-7, 1, 2), {0, 2, 1}}, {Tuple(0, -3, 2), {1, 2, 0}}, {Tuple(0, 0, -5), {2, 0, 1}},
        {Tuple(-1, 0, 3), {2, 1, 0}}, {Tuple(5, -9, 1), {1, 0, 2}}, {Tuple(10, -2, 3), {0, 2, 1}}};
    for (const auto& [t, sorted] : rows) {
        std::vector<int> axes(3, -1);
        t.sortAxis(axes.data());
        EXPECT_EQ(axes, sorted) << t;
        EXPECT_EQ(int(t.largestAxis()), sorted[0]) << t;
    }
}

TEST(Tuple, CoordinateSystemIsRightHandedAndOrthonormal) {
    std::mt19937 rng(7);
    std::normal_distribution<float> g;
    std::vector<Tuple> inputs = {Tuple(1, 0, 0), Tuple(0, 1, 0), Tuple(0, 0, -1), Tuple(-1, 0, 0)};
    for (int i = 0; i < 200; ++i) inputs.push_back(Tuple(g(rng), g(rng), g(rng)).hat());
    for (const Tuple& n : inputs) {
        Tuple a, b;
        n.coordinateSystem(a, b);
        EXPECT_TRUE(near(Tuple(a.length(), b.length(), dot(n ^ a, b)), Tuple(1, 1, 1), 2e-5f));
        EXPECT_TRUE(near(Tuple(dot(a, n), dot(b, n), dot(a, b)), Tuple(0, 0, 0), 2e-5f)) << n;
    }
}
