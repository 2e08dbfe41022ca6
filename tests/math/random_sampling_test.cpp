#include "core/math/random.h"
#include "core/math/sampling.h"

#include "core/math/constants.h"
#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

using namespace ovo;

TEST(Random, FirstValueAfterLoadIsOneStepFromTheClassicSeed) {
    // Only a fresh process has an untouched generator: the check runs in a re-executed child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            uint32_t y = 2463534242u;
            y ^= y << 13;
            y ^= y >> 17;
            y ^= y << 5;
            const uint32_t first = urand();
            const uint32_t second = urand();
            std::exit(first == y && second == xorshift(y) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            // ovo::random() draws from the same word and keeps the low 23 bits.
            const uint32_t y = xorshift(2463534242u);
            const float f = ovo::random();
            std::exit(f == float(y & 0x7fffff) / 8388608.0f ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Random, FloatsFromBitsAndSequences) {
    EXPECT_EQ(randomFloatFromBits(0u), 0.0f);
    EXPECT_EQ(randomFloatFromBits(0xff800000u), 0.0f);  // only the low 23 bits count
    EXPECT_EQ(randomFloatFromBits(0x00400000u), 0.5f);
    EXPECT_EQ(randomFloatFromBits(0x007fffffu), 1.0f - 1.0f / 8388608.0f);  // below 1

    // urand and random share the state word and step it once per call.
    const uint32_t a = urand();
    const float f = ovo::random();
    EXPECT_EQ(f, randomFloatFromBits(xorshift(a)));
    const uint32_t b = urand();
    EXPECT_EQ(b, xorshift(xorshift(a)));
    EXPECT_EQ(randomState(), b);

    // Values fill [0, 1) evenly.
    int buckets[10] = {};
    for (int i = 0; i < 100000; ++i) {
        const float r = ovo::random();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        ++buckets[int(r * 10)];
    }
    for (int k = 0; k < 10; ++k) EXPECT_NEAR(buckets[k], 10000, 500) << k;
}

TEST(Random, ThreadsDrawDistinctStreamsWithoutRaces) {
    constexpr int kThreads = 4, kDraws = 5000;
    std::vector<std::vector<uint32_t>> drawn(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&drawn, t] {
            std::vector<uint32_t>& mine = drawn[t];
            for (int i = 0; i < kDraws; ++i) mine.push_back(urand());
            float samples[64];
            StratifiedSample2D(samples, 4, 8, true);
            Shuffle(samples, 32, 2);
            mine.push_back(uint32_t(ovo::random() * 1e6f));
        });
    for (std::thread& th : threads) th.join();
    // Each thread follows the xorshift recurrence from its own seed; the streams differ.
    std::set<uint32_t> firsts;
    for (const std::vector<uint32_t>& v : drawn) {
        for (int i = 1; i < kDraws; ++i) ASSERT_EQ(v[i], xorshift(v[i - 1]));
        firsts.insert(v[0]);
    }
    EXPECT_EQ(firsts.size(), size_t(kThreads));
}

TEST(Sampling, WarpsLandInTheirDomains) {
    float dx = 1, dy = 1;
    ConcentricSampleDisk(0.5f, 0.5f, &dx, &dy);
    EXPECT_EQ(dx, 0.0f);
    EXPECT_EQ(dy, 0.0f);
    ConcentricSampleDisk(1.0f, 0.5f, &dx, &dy);
    EXPECT_NEAR(dx, 1.0f, 1e-6f);
    EXPECT_NEAR(dy, 0.0f, 1e-6f);
    ConcentricSampleDisk(0.5f, 1.0f, &dx, &dy);  // top edge centre: (0, 1)
    EXPECT_NEAR(dx, 0.0f, 1e-6f);
    EXPECT_NEAR(dy, 1.0f, 1e-6f);
    ConcentricSampleDisk(0.0f, 0.5f, &dx, &dy);
    EXPECT_NEAR(dx, -1.0f, 1e-6f);
    ConcentricSampleDisk(0.5f, 0.0f, &dx, &dy);
    EXPECT_NEAR(dy, -1.0f, 1e-6f);
    ConcentricSampleDisk(1.0f, 1.0f, &dx, &dy);  // square corner → 45° on the rim
    EXPECT_NEAR(dx, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(dy, std::sqrt(0.5f), 1e-6f);

    // Concentric squares map to concentric circles, and the map preserves area: the quadrants
    // of the disk get equal shares.
    std::mt19937 rng(21);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    int quadrant[4] = {}, inner = 0;
    const int n = 40000;
    for (int i = 0; i < n; ++i) {
        const float u1 = u(rng), u2 = u(rng);
        ConcentricSampleDisk(u1, u2, &dx, &dy);
        const float r = std::sqrt(dx * dx + dy * dy);
        ASSERT_LE(r, 1.0f + 1e-6f);
        const float squareRadius = std::max(std::fabs(2 * u1 - 1), std::fabs(2 * u2 - 1));
        ASSERT_NEAR(r, squareRadius, 1e-5f);
        quadrant[(dx < 0) + 2 * (dy < 0)]++;
        inner += r < std::sqrt(0.5f);  // half the area
    }
    for (int q = 0; q < 4; ++q) EXPECT_NEAR(quadrant[q], n / 4, 600);
    EXPECT_NEAR(inner, n / 2, 600);

    // Triangle: inside, and uniform (the sub-triangle u > 1/2 holds a quarter of the area).
    float bu, bv;
    UniformSampleTriangle(0.0f, 0.7f, bu, bv);
    EXPECT_EQ(bu, 1.0f);
    EXPECT_EQ(bv, 0.0f);
    UniformSampleTriangle(1.0f, 1.0f, bu, bv);
    EXPECT_EQ(bu, 0.0f);
    EXPECT_EQ(bv, 1.0f);
    int corner = 0;
    for (int i = 0; i < n; ++i) {
        UniformSampleTriangle(u(rng), u(rng), bu, bv);
        ASSERT_GE(bu, 0.0f);
        ASSERT_GE(bv, 0.0f);
        ASSERT_LE(bu + bv, 1.0f + 1e-6f);
        corner += bu > 0.5f;
    }
    EXPECT_NEAR(corner, n / 4, 500);

    // Sphere: unit length, z uniform (Archimedes), poles at the ends.
    EXPECT_TRUE(ovotest::near(UniformSampleSphere(0.0f, 0.3f), Point(0, 0, 1), 1e-6f));
    EXPECT_TRUE(ovotest::near(UniformSampleSphere(1.0f, 0.3f), Point(0, 0, -1), 1e-6f));
    EXPECT_TRUE(ovotest::near(UniformSampleSphere(0.5f, 0.25f), Point(0, 1, 0), 1e-6f));
    int upper = 0;
    for (int i = 0; i < n; ++i) {
        const Point p = UniformSampleSphere(u(rng), u(rng));
        ASSERT_NEAR(p.length(), 1.0f, 1e-5f);
        upper += p.z > 0.5f;
    }
    EXPECT_NEAR(upper, n / 4, 500);

    // Cones around an arbitrary frame: inside the half-angle, unit length, right density.
    const Vector z = Vector(Tuple(1, 2, 2).hat());
    Tuple tx, ty;
    z.coordinateSystem(tx, ty);
    const Vector x(tx), y(ty);
    const float cosMax = std::cos(radians(30.0f));
    int uniformInner = 0, cosineInner = 0;
    const float cosHalf = std::cos(radians(15.0f));
    for (int i = 0; i < n; ++i) {
        const Vector v = UniformSampleCone(u(rng), u(rng), cosMax, x, y, z);
        ASSERT_NEAR(v.length(), 1.0f, 1e-5f);
        ASSERT_GE(dot(v, z), cosMax - 1e-6f);
        uniformInner += dot(v, z) > cosHalf;
        const Vector w = CosineSampleCone(u(rng), u(rng), std::sin(radians(30.0f)), x, y, z);
        ASSERT_NEAR(w.length(), 1.0f, 1e-5f);
        ASSERT_GE(dot(w, z), cosMax - 1e-6f);
        cosineInner += dot(w, z) > cosHalf;
    }
    // Uniform in solid angle: P(θ < 15°) = (1 − cos 15°)/(1 − cos 30°).
    const double pUniform = (1 - std::cos(radians(15.0f))) / (1 - cosMax);
    EXPECT_NEAR(uniformInner, pUniform * n, 600);
    // Cosine-weighted: P = sin² 15° / sin² 30°.
    const double s15 = std::sin(radians(15.0f)), s30 = 0.5;
    EXPECT_NEAR(cosineInner, s15 * s15 / (s30 * s30) * n, 600);
    // The extremes of u1: the axis and the rim.
    EXPECT_TRUE(ovotest::near(UniformSampleCone(1.0f, 0.2f, cosMax, x, y, z), z, 1e-6f));
    EXPECT_NEAR(dot(UniformSampleCone(0.0f, 0.2f, cosMax, x, y, z), z), cosMax, 1e-6f);
    EXPECT_TRUE(ovotest::near(CosineSampleCone(0.0f, 0.7f, 1.0f, x, y, z), z, 1e-6f));
    // u2 = 1/4 turns a quarter from x towards y.
    EXPECT_NEAR(dot(CosineSampleCone(1.0f, 0.25f, 1.0f, x, y, z), y), 1.0f, 1e-5f);
}

TEST(Sampling, StratifiedAndShuffled) {
    float s[16];
    StratifiedSample1D(s, 4, false);
    EXPECT_EQ(s[0], 0.125f);
    EXPECT_EQ(s[1], 0.375f);
    EXPECT_EQ(s[2], 0.625f);
    EXPECT_EQ(s[3], 0.875f);

    // n < 1 writes nothing and draws nothing.
    s[0] = -1.0f;
    const uint32_t before = randomState();
    StratifiedSample1D(s, 0, true);
    StratifiedSample2D(s, 3, 0, true);
    Shuffle(s, 0, 2);
    EXPECT_EQ(s[0], -1.0f);
    EXPECT_EQ(randomState(), before);

    // Jittered: one value per stratum, drawn from the shared generator in order.
    uint32_t y = randomState();
    float j[8];
    StratifiedSample1D(j, 8, true);
    for (int i = 0; i < 8; ++i) {
        y = xorshift(y);
        EXPECT_EQ(j[i], (float(i) + randomFloatFromBits(y)) / 8.0f);
        EXPECT_GE(j[i], i / 8.0f);
        EXPECT_LT(j[i], (i + 1) / 8.0f);
    }
    EXPECT_EQ(randomState(), y);

    // 2D: row order, x fastest; without jitter the cell centres.
    float g[12];
    StratifiedSample2D(g, 3, 2, false);
    const float centres[12] = {1 / 6.f, 0.25f, 0.5f, 0.25f, 5 / 6.f, 0.25f,
                               1 / 6.f, 0.75f, 0.5f, 0.75f, 5 / 6.f, 0.75f};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(g[i], centres[i]) << i;
    // With jitter dx is drawn before dy in every cell.
    y = randomState();
    StratifiedSample2D(g, 3, 2, true);
    for (int cell = 0; cell < 6; ++cell) {
        const int cx = cell % 3, cy = cell / 3;
        y = xorshift(y);
        EXPECT_EQ(g[2 * cell], (cx + randomFloatFromBits(y)) / 3.0f);
        y = xorshift(y);
        EXPECT_EQ(g[2 * cell + 1], (cy + randomFloatFromBits(y)) / 2.0f);
    }

    // Shuffle permutes whole samples (pairs stay together), driven by urand() mod count.
    float pairs[20];
    for (int i = 0; i < 10; ++i) {
        pairs[2 * i] = float(i);
        pairs[2 * i + 1] = float(100 + i);
    }
    float expected[20];
    std::copy(pairs, pairs + 20, expected);
    y = randomState();
    for (int i = 0; i < 10; ++i) {
        y = xorshift(y);
        const int other = int(y % 10u);
        std::swap(expected[2 * i], expected[2 * other]);
        std::swap(expected[2 * i + 1], expected[2 * other + 1]);
    }
    Shuffle(pairs, 10, 2);
    std::multiset<float> firsts;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pairs[2 * i], expected[2 * i]);
        EXPECT_EQ(pairs[2 * i + 1], pairs[2 * i] + 100.0f);
        firsts.insert(pairs[2 * i]);
    }
    EXPECT_EQ(firsts.size(), 10u);
    EXPECT_EQ(*firsts.begin(), 0.0f);
    EXPECT_EQ(*firsts.rbegin(), 9.0f);
}
