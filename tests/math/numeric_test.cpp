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

// Every expected root is found, and nothing but roots is reported.
::testing::AssertionResult sameRoots(std::vector<double> expected, const double* s, int n,
                                     double tol) {
    const std::vector<double> got(s, s + n);
    auto covers = [tol](const std::vector<double>& a, const std::vector<double>& b) {
        return std::all_of(a.begin(), a.end(), [&](double x) {
            return std::any_of(b.begin(), b.end(),
                               [&](double y) { return std::fabs(x - y) <= tol; });
        });
    };
    if (covers(expected, got) && covers(got, expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "roots differ, " << n << " found";
}

// The solver for the degree of `c`, which it may overwrite.
int solve(std::vector<double> c, double* s) {
    return c.size() == 3   ? SolveQuadric(c.data(), s)
           : c.size() == 4 ? SolveCubic(c.data(), s)
                           : SolveQuartic(c.data(), s);
}

}  // namespace

// Hand-picked polynomials with exact, repeated and missing roots: {coefficients, number of
// roots (negative: at least that many, for repeated roots that rounding may split), the roots}.
TEST(Numeric, FixedPolynomials) {
    const struct {
        std::vector<double> c;
        int count;
        std::vector<double> roots;
        double tol;
    } rows[] = {
        {{2, -3, 1}, 2, {1, 2}, 0},  // exact
        {{1, 2, 1}, 1, {-1}, 0},     // (x + 1)²: reported once
        {{1, 0, 1}, 0, {}, 0},
        {{2, -3, 0, 1}, 2, {1, -2}, 1e-12},  // (x − 1)²(x + 2): discriminant exactly 0
        {fromRoots({2, 2, 2}), 1, {2}, 1e-12},
        {{0, 0, 0, 5}, 1, {0}, 0},
        {times(fromRoots({-4}), {5, 2, 1}), 1, {-4}, 1e-10},  // Cardano, negative cube root
        {times(fromRoots({3}, 2.0), {1, 0, 1}), 1, {3}, 1e-10},
        {times({1, 0, 1}, {4, 0, 1}), 0, {}, 0},
        {times(fromRoots({0.5, -3}), {2, 2, 1}), 2, {0.5, -3}, 1e-9},
        {times(fromRoots({1, -1}), fromRoots({1, -1})), -2, {1, -1}, 1e-6},
        {fromRoots({0, 0, 3, -3}), -3, {0, 3, -3}, 1e-9},
    };
    for (const auto& row : rows) {
        std::vector<double> s(4, 0.0);
        const int n = solve(row.c, s.data());
        SCOPED_TRACE(testing::Message()
                     << "degree " << row.c.size() - 1 << ", roots " << row.roots.size());
        ASSERT_EQ(n, row.count < 0 ? std::max(n, -row.count) : row.count);
        EXPECT_TRUE(sameRoots(row.roots, s.data(), n, row.tol));
    }
}

// Random polynomials built from known, separated roots (with a complex pair for one cubic in
// two), and quartics with integer roots, whose exact coefficients give a resolvent root a hair
// off and z² − r just below zero: x⁴ − 5x² + 4, (x − 1)(x − 2)(x − 3)(x − 4), and more.
TEST(Numeric, RootsOfRandomPolynomials) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> u(-4, 4);
    std::uniform_int_distribution<int> whole(-6, 6);
    std::vector<std::vector<double>> integral = {{-2, -1, 1, 2}, {1, 2, 3, 4}};
    for (int n = 0; n < 300; ++n) {
        std::vector<double> roots(4);
        for (double& r : roots) r = whole(rng);
        std::sort(roots.begin(), roots.end());
        if (std::adjacent_find(roots.begin(), roots.end()) == roots.end())
            integral.push_back(roots);
    }
    double s[4];
    for (const std::vector<double>& roots : integral) {
        ASSERT_EQ(SolveQuartic(fromRoots(roots).data(), s), 4) << roots[0] << roots[1] << roots[2];
        EXPECT_TRUE(sameRoots(roots, s, 4, 1e-6));
    }
    for (int n = 0; n < 3000; ++n) {
        const int degree = 2 + n % 3;
        std::vector<double> roots(std::size_t(degree), 0.0);
        for (double& r : roots) r = u(rng);
        std::sort(roots.begin(), roots.end());
        bool separated = true;
        for (int i = 1; i < degree; ++i)
            separated &= roots[i] - roots[i - 1] > (degree == 2 ? 1e-3 : degree == 3 ? 1e-2 : 0.05);
        if (!separated) continue;
        ASSERT_EQ(solve(fromRoots(roots, u(rng) < 0 ? -1.5 : 3.0), s), degree) << n;
        EXPECT_TRUE(sameRoots(roots, s, degree, degree < 4 ? 1e-7 : 1e-6)) << n;
        EXPECT_TRUE(degree != 2 || s[0] <= s[1]) << n;
        if (degree != 3) continue;
        const double r = u(rng), re = u(rng), im = 0.5 + std::fabs(u(rng));
        ASSERT_EQ(SolveCubic(times(fromRoots({r}), {re * re + im * im, -2 * re, 1}).data(), s), 1);
        EXPECT_NEAR(s[0], r, 1e-7);
    }
}
