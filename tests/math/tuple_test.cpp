#include "core/math/tuple.h"

#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <type_traits>

using namespace ovo;
using ovotest::near;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

}  // namespace

TEST(Tuple, DivisionAndNormalisationFollowIeeeRules) {
    // A zero tuple normalises to NaN without failing.
    Tuple zero(0.0f, 0.0f, 0.0f);
    zero.normalize();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
    const Tuple h = Tuple(0.0f, 0.0f, 0.0f).hat();
    EXPECT_TRUE(std::isnan(h.x) && std::isnan(h.y) && std::isnan(h.z));

    // Division by zero goes through the reciprocal: every component becomes infinite, even 0.
    EXPECT_EQ(Tuple(1.0f, 2.0f, 3.0f) / 0.0f, Tuple(kInf, kInf, kInf));
    const Tuple qz = Tuple(1.0f, -2.0f, 0.0f) / 0.0f;
    EXPECT_EQ(qz.y, -kInf);
    EXPECT_TRUE(std::isnan(qz.z));  // 0 · (1/0)
    Tuple inPlace(1.0f, 2.0f, 3.0f);
    inPlace /= 0.0f;
    EXPECT_EQ(inPlace.z, kInf);

    // s / tuple is three true divisions.
    EXPECT_EQ(0.0f / Tuple(1.0f, 2.0f, 3.0f), Tuple(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(1.0f / Tuple(0.0f, -0.0f, 4.0f), Tuple(kInf, -kInf, 0.25f));

    // Negation flips the sign bit: -0 compares equal to 0 but is negative.
    const Tuple n = -Tuple(0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(std::signbit(n.x) && std::signbit(n.y) && std::signbit(n.z));
    EXPECT_TRUE(n == Tuple(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(n != Tuple(0.0f, 0.0f, 0.0f));

    // A NaN component makes == false and != true, even against itself.
    const Tuple withNaN(1.0f, kNaN, 0.0f);
    EXPECT_FALSE(withNaN == withNaN);
    EXPECT_TRUE(withNaN != withNaN);

    // Equality ignores the fourth component.
    EXPECT_TRUE(Tuple(1, 2, 3, 4) == Tuple(1, 2, 3, 5));
}

TEST(Tuple, LargestAxisAndSortAxisTies) {
    EXPECT_EQ(Tuple(1, -1, 0).largestAxis(), 0u);  // x wins a tie with y
    EXPECT_EQ(Tuple(0, 2, -2).largestAxis(), 2u);  // z wins a tie with the leader
    EXPECT_EQ(Tuple(1, 1, 1).largestAxis(), 2u);
    EXPECT_EQ(Tuple(-7, 1, 2).largestAxis(), 0u);  // by absolute value
    EXPECT_EQ(Tuple(0, -3, 2).largestAxis(), 1u);

    auto sorted = [](const Tuple& t) {
        int axes[3] = {-1, -1, -1};
        t.sortAxis(axes);
        return std::vector<int>(axes, axes + 3);
    };
    EXPECT_EQ(sorted(Tuple(0, 0, -5)), (std::vector<int>{2, 0, 1}));   // equal: cyclic order
    EXPECT_EQ(sorted(Tuple(0, -1, 3)), (std::vector<int>{2, 0, 1}));   // 0 > -1
    EXPECT_EQ(sorted(Tuple(-1, 0, 3)), (std::vector<int>{2, 1, 0}));   // signed, not absolute
    EXPECT_EQ(sorted(Tuple(5, -9, 1)), (std::vector<int>{1, 0, 2}));   // 5 > 1 keeps order
    EXPECT_EQ(sorted(Tuple(10, -2, 3)), (std::vector<int>{0, 2, 1}));  // 3 > -2 swaps
}

TEST(Tuple, ConstructionCopiesTheRightComponents) {
    // Scalar assignment leaves the fourth component alone.
    Tuple t(1, 2, 3, 9);
    t = 4.0f;
    EXPECT_EQ(t, Tuple(4, 4, 4));
    EXPECT_EQ(t.w, 9.0f);

    // set() copies three floats and keeps w.
    const float xyz[4] = {5, 6, 7, 8};
    t.set(xyz);
    EXPECT_EQ(t, Tuple(5, 6, 7));
    EXPECT_EQ(t.w, 9.0f);

    // Copies from Tuple carry four floats; Normal from Point or Vector takes three.
    const Tuple four(1, 2, 3, 4);
    EXPECT_EQ(Point(four).w, 4.0f);
    EXPECT_EQ(Vector(four).w, 4.0f);
    EXPECT_EQ(Normal(four).w, 4.0f);
    const Point p(four);
    EXPECT_EQ(Vector(p).w, 4.0f);
    EXPECT_EQ(Normal(p).w, 0.0f);
    EXPECT_EQ(Normal(Vector(four)).w, 0.0f);
    EXPECT_EQ(HPoint(xyz).w, 8.0f);
    EXPECT_EQ(HPoint(four, 2.0f), HPoint(1, 2, 3, 2));
    EXPECT_EQ(HPoint(four, 2.0f).w, 2.0f);
    EXPECT_EQ(HPoint(3.0f).w, 3.0f);
    EXPECT_EQ(Tuple(xyz), Tuple(5, 6, 7));
    EXPECT_EQ(Tuple(Color(0.5f, 0.25f, 2.0f)), Tuple(0.5f, 0.25f, 2.0f));

    // Indexing reads and writes x, y, z.
    Tuple idx(1, 2, 3);
    idx[1] = 8.0f;
    EXPECT_EQ(idx, Tuple(1, 8, 3));
    EXPECT_EQ(idx[2], 3.0f);

    // Point(HPoint) divides by w; a Point assigned from an HPoint divides too.
    EXPECT_EQ(Point(HPoint(2, 4, 6, 2)), Point(1, 2, 3));
    const HPoint hp(3, 6, 9, 3);
    const Point fromH = hp;
    EXPECT_EQ(fromH, Point(1, 2, 3));
    const Point atInfinity(HPoint(1, 0, -1, 0));
    EXPECT_EQ(atInfinity.x, kInf);
    EXPECT_TRUE(std::isnan(atInfinity.y));
    EXPECT_EQ(atInfinity.z, -kInf);

    // Arrays of tuples and colours share a stride.
    EXPECT_EQ(sizeof(Color), sizeof(Tuple));
    EXPECT_EQ(sizeof(Point), sizeof(Tuple));
    EXPECT_TRUE(std::is_trivially_copyable<Point>::value);
    EXPECT_TRUE(std::is_trivially_default_constructible<Tuple>::value);
}

TEST(Tuple, ArithmeticAndTypedResults) {
    const Tuple a(1, 2, 3), b(-2, 0.5f, 4);
    EXPECT_EQ(a + b, Tuple(-1, 2.5f, 7));
    EXPECT_EQ(a - 1.0f, Tuple(0, 1, 2));
    EXPECT_EQ(a * b, Tuple(-2, 1, 12));
    EXPECT_EQ(a / b, Tuple(-0.5f, 4, 0.75f));
    EXPECT_EQ(2.0f * a, Tuple(2, 4, 6));
    EXPECT_FLOAT_EQ(dot(a, b), 11.0f);
    EXPECT_FLOAT_EQ(a.length(), std::sqrt(14.0f));
    Tuple c = a;
    c += b;
    c *= 2.0f;
    c /= 4.0f;
    EXPECT_EQ(c, Tuple(-0.5f, 1.25f, 3.5f));

    // Cross product: right-handed basis, anticommutative, orthogonal to both factors.
    EXPECT_EQ(Tuple(1, 0, 0) ^ Tuple(0, 1, 0), Tuple(0, 0, 1));
    EXPECT_EQ(Tuple(0, 1, 0) ^ Tuple(0, 0, 1), Tuple(1, 0, 0));
    EXPECT_EQ(a ^ b, -(b ^ a));
    EXPECT_FLOAT_EQ(dot(a ^ b, a), 0.0f);
    EXPECT_FLOAT_EQ(dot(a ^ b, b), 0.0f);

    // Typed forms keep their meaning: Point - Point is a Vector, Point + Vector a Point; mixed
    // types (Point + Normal·s, Point - Vector) fall back to Tuple without ambiguity.
    const Point p(1, 1, 1), q(4, 5, 1);
    const Vector v = q - p;
    static_assert(std::is_same<decltype(q - p), Vector>::value, "");
    static_assert(std::is_same<decltype(p + v), Point>::value, "");
    static_assert(std::is_same<decltype(v - v), Vector>::value, "");
    static_assert(std::is_same<decltype(2.0f * p), Point>::value, "");
    static_assert(std::is_same<decltype(Normal(0, 0, 1) * 2.0f), Normal>::value, "");
    EXPECT_EQ(v.length(), 5.0f);
    EXPECT_EQ(p + 1.0f, Point(2, 2, 2));
    Point moved = p;
    moved += v;
    EXPECT_EQ(moved, q);
    moved -= v;
    EXPECT_EQ(moved, p);
    const Point offset = p + Normal(0, 0, 1) * 0.5f;
    EXPECT_EQ(offset, Point(1, 1, 1.5f));
    const Point back = q - v;
    EXPECT_EQ(back, p);
}

TEST(Tuple, HomogeneousArithmetic) {
    // The sum stands for the Euclidean sum of the points.
    const HPoint s = HPoint(1, 0, 0, 1) + HPoint(2, 0, 0, 2);
    EXPECT_EQ(s, HPoint(4, 0, 0, 2));
    EXPECT_EQ(s.w, 2.0f);
    EXPECT_EQ(Point(s), Point(2, 0, 0));
    const HPoint d = HPoint(6, 3, 3, 3) - HPoint(2, 2, 4, 2);
    EXPECT_EQ(Point(d), Point(2 - 1, 1 - 1, 1 - 2));

    // Scaling keeps w; shifting by s moves the Euclidean point by s.
    const HPoint scaled = 2.0f * HPoint(1, 2, 3, 4);
    EXPECT_EQ(scaled, HPoint(2, 4, 6, 4));
    EXPECT_EQ(scaled.w, 4.0f);
    EXPECT_EQ(Point(HPoint(2, 4, 6, 2) + 1.0f), Point(2, 3, 4));
    EXPECT_EQ(Point(HPoint(2, 4, 6, 2) - 1.0f), Point(0, 1, 2));

    // A plane against a point includes w, against a direction it does not.
    const HPoint plane(0, 0, 1, -5);
    EXPECT_EQ(dot(plane, Point(0, 0, 5)), 0.0f);
    EXPECT_EQ(dot(plane, Vector(0, 0, 5)), 5.0f);
    EXPECT_EQ(dot(HPoint(1, 2, 3, 4), HPoint(1, 1, 1, 2)), 14.0f);
}

TEST(Tuple, CoordinateSystemIsOrthonormal) {
    std::mt19937 rng(7);
    std::normal_distribution<float> g;
    std::vector<Tuple> inputs = {Tuple(1, 0, 0), Tuple(0, 1, 0), Tuple(0, 0, 1), Tuple(0, 0, -1),
                                 Tuple(-1, 0, 0)};
    for (int i = 0; i < 200; ++i) inputs.push_back(Tuple(g(rng), g(rng), g(rng)).hat());
    for (const Tuple& n : inputs) {
        Tuple a, b;
        n.coordinateSystem(a, b);
        // Unit, orthogonal, and b = n × a: a right-handed frame (n, a, b).
        EXPECT_TRUE(near(Tuple(a.length(), b.length(), dot(n ^ a, b)), Tuple(1, 1, 1), 2e-5f));
        EXPECT_TRUE(near(Tuple(dot(a, n), dot(b, n), dot(a, b)), Tuple(0, 0, 0), 2e-5f)) << n;
    }
    // The two branches: |x| > |y| puts a in the xz plane, otherwise in the yz plane.
    Tuple a, b;
    Tuple(0.8f, 0.6f, 0.0f).coordinateSystem(a, b);
    EXPECT_TRUE(near(a, Tuple(0, 0, 1), 1e-6f));
    Tuple(0.0f, 0.6f, 0.8f).coordinateSystem(a, b);
    EXPECT_TRUE(near(a, Tuple(0, 0.8f, -0.6f), 1e-6f));

    // normalize and hat agree and give unit length.
    Tuple t(3, 4, 12);
    const Tuple h = t.hat();
    EXPECT_EQ(t, Tuple(3, 4, 12));  // hat leaves the tuple alone
    t.normalize();
    EXPECT_EQ(t, h);
    EXPECT_TRUE(near(h, Tuple(3.0f / 13, 4.0f / 13, 12.0f / 13), 1e-7f));
}

TEST(Color, ChannelWiseArithmetic) {
    const Color a(0.5f, 1.0f, 2.0f), b(2.0f, 4.0f, 0.5f);
    EXPECT_EQ(a + b, Color(2.5f, 5.0f, 2.5f));
    EXPECT_EQ(a * b, Color(1.0f, 4.0f, 1.0f));
    EXPECT_EQ(a / b, Color(0.25f, 0.25f, 4.0f));
    EXPECT_EQ(1.0f - a, Color(0.5f, 0.0f, -1.0f));
    EXPECT_EQ(2.0f * a / 4.0f, Color(0.25f, 0.5f, 1.0f));
    Color c = a;
    c += b;
    c -= a;
    c *= a;
    c /= b;
    EXPECT_EQ(c, a);
    const float rgb[3] = {0.1f, 0.2f, 0.3f};
    EXPECT_EQ(Color(rgb), Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(Color(Tuple(1, 2, 3)), Color(1, 2, 3));
    EXPECT_EQ(Color(0.25f)[2], 0.25f);
    const Color nan(kNaN, 0, 0);
    EXPECT_FALSE(nan == nan);
    EXPECT_TRUE(nan != nan);
    EXPECT_EQ((Color(1, 1, 1) / 0.0f).g, kInf);
}
