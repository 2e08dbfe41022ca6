#include "core/math/numeric.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Coefficients (ascending powers) of lead · Π (x − root) and, for quartics, an extra quadratic
// factor x² + px + q with no real roots.
std::vector<double> fromRoots(const std::vector<double>& roots, double lead = 1.0) {
    std::vector<double> c = {lead};
    for (double r : roots) {
        std::vector<double> next(c.size() + 1, 0.0);
        for (size_t i = 0; i < c.size(); ++i) {
            next[i + 1] += c[i];
            next[i] -= r * c[i];
        }
        c = next;
    }
    return c;
}

std::vector<double> times(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> c(a.size() + b.size() - 1, 0.0);
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < b.size(); ++j) c[i + j] += a[i] * b[j];
    return c;
}

// Every expected distinct root is found, and nothing but roots is reported.
::testing::AssertionResult sameRoots(std::vector<double> expected, const double* s, int n,
                                     double tol) {
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    std::vector<double> got(s, s + n);
    for (double e : expected) {
        const bool found =
            std::any_of(got.begin(), got.end(), [&](double g) { return std::fabs(g - e) <= tol; });
        if (!found) return ::testing::AssertionFailure() << "root " << e << " missing";
    }
    for (double g : got) {
        const bool known = std::any_of(expected.begin(), expected.end(),
                                       [&](double e) { return std::fabs(g - e) <= tol; });
        if (!known) return ::testing::AssertionFailure() << "spurious root " << g;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Numeric, Quadric) {
    double s[2] = {0, 0};
    double c1[3] = {2, -3, 1};  // (x − 1)(x − 2)
    ASSERT_EQ(SolveQuadric(c1, s), 2);
    EXPECT_EQ(s[0], 1.0);  // −√D − p first
    EXPECT_EQ(s[1], 2.0);

    double c2[3] = {1, 2, 1};  // (x + 1)²: reported once
    ASSERT_EQ(SolveQuadric(c2, s), 1);
    EXPECT_EQ(s[0], -1.0);

    double c3[3] = {1, 0, 1};  // x² + 1
    EXPECT_EQ(SolveQuadric(c3, s), 0);

    double c4[3] = {-12, 2, 2};  // 2(x − 2)(x + 3): the leading coefficient is divided out
    ASSERT_EQ(SolveQuadric(c4, s), 2);
    EXPECT_EQ(s[0], -3.0);
    EXPECT_EQ(s[1], 2.0);

    std::mt19937 rng(4);
    std::uniform_real_distribution<double> u(-10, 10);
    for (int n = 0; n < 1000; ++n) {
        const std::vector<double> roots = {u(rng), u(rng)};
        if (std::fabs(roots[0] - roots[1]) < 1e-3) continue;
        std::vector<double> c = fromRoots(roots, u(rng) + 20.0);
        ASSERT_EQ(SolveQuadric(c.data(), s), 2);
        EXPECT_TRUE(sameRoots(roots, s, 2, 1e-9 * 100));
        EXPECT_LE(s[0], s[1]);
    }
}

TEST(Numeric, Cubic) {
    double s[3];
    // Three distinct roots.
    std::vector<double> c = fromRoots({1, 2, 3});
    ASSERT_EQ(SolveCubic(c.data(), s), 3);
    EXPECT_TRUE(sameRoots({1, 2, 3}, s, 3, 1e-9));

    // A single and a double root: (x − 1)²(x + 2) = x³ − 3x + 2, discriminant exactly 0.
    double rep[4] = {2, -3, 0, 1};
    ASSERT_EQ(SolveCubic(rep, s), 2);
    EXPECT_TRUE(sameRoots({1, -2}, s, 2, 1e-12));

    // A triple root: (x − 2)³.
    c = fromRoots({2, 2, 2});
    ASSERT_EQ(SolveCubic(c.data(), s), 1);
    EXPECT_NEAR(s[0], 2.0, 1e-12);
    double zero[4] = {0, 0, 0, 5};  // 5x³
    ASSERT_EQ(SolveCubic(zero, s), 1);
    EXPECT_EQ(s[0], 0.0);

    // One real root (Cardano), with a negative argument to the cube root.
    c = times(fromRoots({-4}), {5, 2, 1});  // (x + 4)(x² + 2x + 5)
    ASSERT_EQ(SolveCubic(c.data(), s), 1);
    EXPECT_NEAR(s[0], -4.0, 1e-10);
    c = times(fromRoots({3}, 2.0), {1, 0, 1});  // 2(x − 3)(x² + 1)
    ASSERT_EQ(SolveCubic(c.data(), s), 1);
    EXPECT_NEAR(s[0], 3.0, 1e-10);

    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(-5, 5);
    for (int n = 0; n < 1000; ++n) {
        std::vector<double> roots = {u(rng), u(rng), u(rng)};
        std::sort(roots.begin(), roots.end());
        if (roots[1] - roots[0] < 1e-2 || roots[2] - roots[1] < 1e-2) continue;
        c = fromRoots(roots, u(rng) < 0 ? -1.5 : 3.0);
        ASSERT_EQ(SolveCubic(c.data(), s), 3);
        EXPECT_TRUE(sameRoots(roots, s, 3, 1e-7));
        // One real root and a complex pair.
        const double r = u(rng), re = u(rng), im = 0.5 + std::fabs(u(rng));
        c = times(fromRoots({r}), {re * re + im * im, -2 * re, 1});
        ASSERT_EQ(SolveCubic(c.data(), s), 1);
        EXPECT_NEAR(s[0], r, 1e-7);
    }
}

TEST(Numeric, Quartic) {
    double s[4];
    std::vector<double> c = fromRoots({-2, -1, 1, 3});
    ASSERT_EQ(SolveQuartic(c.data(), s), 4);
    EXPECT_TRUE(sameRoots({-2, -1, 1, 3}, s, 4, 1e-9));

    // No real root: (x² + 1)(x² + 4).
    c = times({1, 0, 1}, {4, 0, 1});
    EXPECT_EQ(SolveQuartic(c.data(), s), 0);
    // Two real roots and a complex pair.
    c = times(fromRoots({0.5, -3}), {2, 2, 1});
    ASSERT_EQ(SolveQuartic(c.data(), s), 2);
    EXPECT_TRUE(sameRoots({0.5, -3}, s, 2, 1e-9));

    // A zero absolute term takes the cubic branch and adds the root 0: x(x − 1)(x − 2)(x − 4).
    c = fromRoots({0, 1, 2, 4});
    const int n0 = SolveQuartic(c.data(), s);
    ASSERT_EQ(n0, 4);
    EXPECT_TRUE(sameRoots({0, 1, 2, 4}, s, n0, 1e-9));

    // Repeated roots with exact arithmetic: (x² − 1)² (double roots ±1) and x²(x − 3)(x + 3)
    // (double root 0, found by the cubic branch).
    c = times(fromRoots({1, -1}), fromRoots({1, -1}));
    const int n1 = SolveQuartic(c.data(), s);
    ASSERT_GE(n1, 2);
    EXPECT_TRUE(sameRoots({1, -1}, s, n1, 1e-6));
    c = fromRoots({0, 0, 3, -3});
    const int n2 = SolveQuartic(c.data(), s);
    ASSERT_GE(n2, 3);
    EXPECT_TRUE(sameRoots({0, 3, -3}, s, n2, 1e-9));

    // Integer roots give exact coefficients whose resolvent root rounds a hair off, leaving
    // z² − r just below zero: x⁴ − 5x² + 4, (x − 1)(x − 2)(x − 3)(x − 4), and more at random.
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> whole(-6, 6);
    std::vector<std::vector<double>> integral = {{-2, -1, 1, 2}, {1, 2, 3, 4}};
    for (int n = 0; n < 300; ++n) {
        std::vector<double> roots = {double(whole(rng)), double(whole(rng)), double(whole(rng)),
                                     double(whole(rng))};
        std::sort(roots.begin(), roots.end());
        if (std::adjacent_find(roots.begin(), roots.end()) == roots.end())
            integral.push_back(roots);
    }
    for (const std::vector<double>& roots : integral) {
        c = fromRoots(roots);
        ASSERT_EQ(SolveQuartic(c.data(), s), 4) << roots[0] << roots[1] << roots[2] << roots[3];
        EXPECT_TRUE(sameRoots(roots, s, 4, 1e-6));
    }

    std::uniform_real_distribution<double> u(-4, 4);
    for (int n = 0; n < 1000; ++n) {
        std::vector<double> roots = {u(rng), u(rng), u(rng), u(rng)};
        std::sort(roots.begin(), roots.end());
        bool separated = true;
        for (int i = 0; i < 3; ++i) separated &= roots[i + 1] - roots[i] > 0.05;
        if (!separated) continue;
        c = fromRoots(roots, 0.5 + std::fabs(u(rng)));
        ASSERT_EQ(SolveQuartic(c.data(), s), 4) << n;
        EXPECT_TRUE(sameRoots(roots, s, 4, 1e-6)) << n;
    }
}
