#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "core/math/constants.h"
#include "core/math/random.h"
#include "core/math/sampling.h"
#include "tests/math/math_test_util.h"

using namespace ovo;

TEST(Random, FirstValuesFollowTheClassicSeedAndThreadsGetTheirOwnStreams) {
    // Only a fresh process has an untouched generator: the check runs in a re-executed child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const uint32_t y = xorshift(2463534242u);
            const uint32_t first = urand();
            const float f = ovo::random();  // the same word, its low 23 bits
            std::exit(first == y && f == float(xorshift(y) & 0x7fffff) / 8388608.0f ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(randomFloatFromBits(0xffc00000u), 0.5f);  // only the low 23 bits count

    constexpr int Threads = 4, Draws = 5000;
    std::vector<std::vector<uint32_t>> drawn(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&drawn, t] {
            for (int i = 0; i < Draws; ++i) drawn[t].push_back(urand());
            float samples[64];
            StratifiedSample2D(samples, 4, 8, true);
            Shuffle(samples, 32, 2);
            drawn[t].push_back(uint32_t(ovo::random() * 1e6f));
        });
    for (std::thread& th : threads) th.join();
    std::set<uint32_t> firsts;
    for (const std::vector<uint32_t>& v : drawn) {
        for (int i = 1; i < Draws; ++i) ASSERT_EQ(v[i], xorshift(v[i - 1]));
        firsts.insert(v[0]);
    }
    EXPECT_EQ(firsts.size(), size_t(Threads));
}

// Each warp lands in its domain, at the right place for the corners of the unit square, and with
// the right density: the share of samples in a known part of the domain.
TEST(Sampling, WarpsLandInTheirDomainsWithTheirDensities) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const Vector z = Vector(Tuple(1, 2, 2).hat());
    Tuple tx, ty;
    z.coordinateSystem(tx, ty);
    const Vector x(tx), y(ty);
    const float cos30 = std::cos(radians(30.0f)), cos15 = std::cos(radians(15.0f));
    const int n = 40000;
    int quadrant[4] = {}, inner = 0, corner = 0, upper = 0, uniformInner = 0, cosineInner = 0;
    for (int i = 0; i < n; ++i) {
        const float u1 = u(rng), u2 = u(rng);
        float dx, dy, bu, bv;
        ConcentricSampleDisk(u1, u2, &dx, &dy);
        const float r = std::sqrt(dx * dx + dy * dy);
        // Concentric squares go to concentric circles.
        ASSERT_NEAR(r, std::max(std::fabs(2 * u1 - 1), std::fabs(2 * u2 - 1)), 1e-5f);
        quadrant[(dx < 0) + 2 * (dy < 0)]++;
        inner += r < std::sqrt(0.5f);
        UniformSampleTriangle(u1, u2, bu, bv);
        ASSERT_TRUE(bu >= 0.0f && bv >= 0.0f && bu + bv <= 1.0f + 1e-6f) << bu << " " << bv;
        corner += bu > 0.5f;
        const Point p = UniformSampleSphere(u1, u2);
        ASSERT_NEAR(p.length(), 1.0f, 1e-5f);
        upper += p.z > 0.5f;
        const Vector c = UniformSampleCone(u1, u2, cos30, x, y, z);
        const Vector w = CosineSampleCone(u2, u1, 0.5f, x, y, z);
        ASSERT_NEAR(c.length(), 1.0f, 1e-5f);
        ASSERT_NEAR(w.length(), 1.0f, 1e-5f);
        ASSERT_GE(std::min(dot(c, z), dot(w, z)), cos30 - 1e-6f);
        uniformInner += dot(c, z) > cos15;
        cosineInner += dot(w, z) > cos15;
    }
    for (int q = 0; q < 4; ++q) EXPECT_NEAR(quadrant[q], n / 4, 600);
    EXPECT_NEAR(inner, n / 2, 600);
    EXPECT_NEAR(corner, n / 4, 500);  // u > 1/2 is a quarter of the triangle
    EXPECT_NEAR(upper, n / 4, 500);   // z uniform on the sphere
    EXPECT_NEAR(uniformInner, (1 - cos15) / (1 - cos30) * n, 600);  // by solid angle
    const double s15 = std::sin(radians(15.0f));
    EXPECT_NEAR(cosineInner, s15 * s15 / 0.25 * n, 600);  // sin² 15° / sin² 30°

    struct Corner {
        float u1, u2;
        Tuple disk;
    } corners[] = {{0.5f, 0.5f, Tuple(0, 0, 0)},
                   {0.0f, 0.5f, Tuple(-1, 0, 0)},
                   {0.5f, 1.0f, Tuple(0, 1, 0)},
                   {1.0f, 1.0f, Tuple(std::sqrt(0.5f), std::sqrt(0.5f), 0)}};
    for (const Corner& c : corners) {
        float dx, dy;
        ConcentricSampleDisk(c.u1, c.u2, &dx, &dy);
        EXPECT_TRUE(ovotest::near(Tuple(dx, dy, 0), c.disk, 1e-6f)) << c.u1 << " " << c.u2;
    }
    EXPECT_TRUE(ovotest::near(UniformSampleSphere(0.5f, 0.25f), Point(0, 1, 0), 1e-6f));
    EXPECT_NEAR(dot(CosineSampleCone(1.0f, 0.25f, 1.0f, x, y, z), y), 1.0f, 1e-5f);
}

TEST(Sampling, StratifiedAndShuffledDrawInOrder) {
    // Without jitter the cell centres, x fastest; n < 1 writes and draws nothing.
    float g[12];
    StratifiedSample2D(g, 3, 2, false);
    const float centres[12] = {1 / 6.f, 0.25f, 0.5f, 0.25f, 5 / 6.f, 0.25f,
                               1 / 6.f, 0.75f, 0.5f, 0.75f, 5 / 6.f, 0.75f};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(g[i], centres[i]) << i;
    StratifiedSample1D(g, 4, false);
    EXPECT_EQ(std::vector<float>(g, g + 4), (std::vector<float>{0.125f, 0.375f, 0.625f, 0.875f}));
    const uint32_t before = randomState();
    StratifiedSample1D(g, 0, true);
    StratifiedSample2D(g, 3, 0, true);
    Shuffle(g, 0, 2);
    EXPECT_EQ(g[0], 0.125f);
    EXPECT_EQ(randomState(), before);

    // Jittered: one value per stratum from the shared generator, dx before dy in every cell.
    uint32_t y = randomState();
    StratifiedSample1D(g, 8, true);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(g[i], (float(i) + randomFloatFromBits(y = xorshift(y))) / 8.0f);
    StratifiedSample2D(g, 3, 2, true);
    for (int cell = 0; cell < 6; ++cell) {
        EXPECT_EQ(g[2 * cell], (cell % 3 + randomFloatFromBits(y = xorshift(y))) / 3.0f);
        EXPECT_EQ(g[2 * cell + 1], (cell / 3 + randomFloatFromBits(y = xorshift(y))) / 2.0f);
    }
    EXPECT_EQ(randomState(), y);

    // Shuffle swaps whole samples (pairs stay together), sample i with urand() mod count.
    float pairs[20], expected[20];
    for (int i = 0; i < 20; ++i) pairs[i] = expected[i] = float(i % 2 ? 100 + i / 2 : i / 2);
    for (int i = 0; i < 10; ++i) {
        const int other = int((y = xorshift(y)) % 10u);
        std::swap(expected[2 * i], expected[2 * other]);
        std::swap(expected[2 * i + 1], expected[2 * other + 1]);
    }
    Shuffle(pairs, 10, 2);
    EXPECT_EQ(std::vector<float>(pairs, pairs + 20), std::vector<float>(expected, expected + 20));
}

TEST(Random, LeapsEqualThatManySteps) {
    for (uint32_t seed : {1u, 2463534242u, 0x80000000u, 0xdeadbeefu}) {
        uint32_t y = seed;
        for (uint64_t n = 0; n <= 1300; ++n) {
            if (n <= 65 || n == 80 || n == 1024 || n == 1280) {
                ASSERT_EQ(XorshiftLeap(n)(seed), y) << n;
            }
            y = xorshift(y);
        }
    }
}
