#include "core/math/aabb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "tests/math/math_test_util.h"

using namespace ovo;

namespace {

struct Interval {
    bool hit;
    double t0, t1;
};

// Brute force: clip the parameter segment against the six planes in double; `line` leaves out
// the ray's own [mint, maxt].
Interval clipReference(const Aabb& b, const Ray& r, bool line = false) {
    double t0 = line ? -HUGE_VAL : r.mint, t1 = line ? HUGE_VAL : r.maxt;
    for (int a = 0; a < 3; ++a) {
        if (r.d[a] == 0.0f) {
            if (r.o[a] < b.bmin[a] || r.o[a] > b.bmax[a]) return {false, t0, t1};
            continue;
        }
        const double ta = (b.bmin[a] - double(r.o[a])) / r.d[a];
        const double tb = (b.bmax[a] - double(r.o[a])) / r.d[a];
        t0 = std::max(t0, std::min(ta, tb));
        t1 = std::min(t1, std::max(ta, tb));
    }
    return {t0 <= t1, t0, t1};
}

Vector reciprocal(const Vector& d) { return Vector(1.0f / d.x, 1.0f / d.y, 1.0f / d.z); }
int rayClass(const Vector& d) {
    return (d.x < 0 ? 1 : 2) << 4 | (d.y < 0 ? 1 : 2) << 2 | (d.z < 0 ? 1 : 2);
}

// The four single-box tests: slab, branch-free, sign-classified, corner-selecting.
std::vector<bool> allFour(const Aabb& box, const Ray& r) {
    const Vector inv = reciprocal(r.d);
    const unsigned signs[3] = {r.d.x < 0.0f, r.d.y < 0.0f, r.d.z < 0.0f};
    float a = 0, b = 0;
    return {box.intersect(r, &a, &b), box.intersect(r, inv, nullptr, nullptr),
            box.intersect(r, inv, rayClass(r.d), &a, &b), box.intersect(r, inv, signs)};
}

// A random box and a ray that aims near it half the time, with unnormalised directions and
// assorted [mint, maxt].
std::pair<Aabb, Ray> randomCase(std::mt19937& rng) {
    std::uniform_real_distribution<float> pos(-2.0f, 2.0f), org(-4.0f, 4.0f), u(0.0f, 1.0f);
    std::normal_distribution<float> g;
    const Aabb box(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng));
    const Point o(org(rng), org(rng), org(rng));
    Point target;
    for (int a = 0; a < 3; ++a) target[a] = box.bmin[a] + box.length(a) * (1.4f * u(rng) - 0.2f);
    const bool aim = u(rng) < 0.5f;
    Vector d;
    do
        d = aim ? Vector(target - o) + Vector(0.01f * g(rng), 0.01f * g(rng), 0.01f * g(rng))
                : Vector(g(rng), g(rng), g(rng));
    while (std::fabs(d.x) < 1e-3f || std::fabs(d.y) < 1e-3f || std::fabs(d.z) < 1e-3f);
    d = Vector(d.hat()) * (0.25f + 4.0f * u(rng));
    const float mint = u(rng) < 0.5f ? 0.0f : 4.0f * u(rng) - 2.0f;
    return {box, Ray(o, d, mint, u(rng) < 0.3f ? 1e30f : mint + 6.0f * u(rng))};
}

// Within a relative hair of touching, or of an exit at t = 0, each variant rounds its own way:
// those cases are left to the exact tests.
bool nearTouching(const Interval& i) {
    return std::fabs(i.t1 - i.t0) < 1e-4 * (1.0 + std::fabs(i.t0) + std::fabs(i.t1)) ||
           (i.hit && std::fabs(i.t1) < 1e-4 * (1 + std::fabs(i.t0)));
}

}  // namespace

TEST(Aabb, RayTestsAgreeWithBruteForce) {
    std::mt19937 rng(2024);
    int compared = 0, hits = 0, frontHits = 0;
    for (int n = 0; n < 200000; ++n) {
        const auto [box, ray] = randomCase(rng);
        const Interval ref = clipReference(box, ray);
        if (nearTouching(ref)) continue;
        const bool front = ref.hit && ref.t1 >= 0.0;  // the branch-free test needs the exit ahead
        ++compared, hits += ref.hit, frontHits += front;
        ASSERT_EQ(allFour(box, ray), (std::vector<bool>{ref.hit, front, ref.hit, ref.hit})) << n;
        if (!ref.hit) continue;
        float t0 = -1, t1 = -1, e0 = -1, e1 = -1;
        box.intersect(ray, &t0, &t1);
        box.intersect(ray, reciprocal(ray.d), rayClass(ray.d), &e0, &e1);
        const Interval line = clipReference(box, ray, true);  // the sign-classified test's
        EXPECT_NEAR(t0, ref.t0, 1e-4 * (1 + std::fabs(ref.t0))) << n;
        EXPECT_NEAR(t1, ref.t1, 1e-4 * (1 + std::fabs(ref.t1))) << n;
        EXPECT_NEAR(e0, line.t0, 1e-4 * (1 + std::fabs(line.t0))) << n;
        EXPECT_NEAR(e1, line.t1, 1e-4 * (1 + std::fabs(line.t1))) << n;
    }
    // The generator mixes hits and misses, including misses only the branch-free test makes.
    EXPECT_GT(compared, 190000);
    EXPECT_GT(hits, compared / 10);
    EXPECT_LT(hits, compared * 9 / 10);
    EXPECT_LT(frontHits, hits);
}

TEST(Aabb, RayTestsTouchingInclusiveAndZeroDirectionRules) {
    const Aabb box(0, 1, 0, 1, 0, 1);
    const Point o(-1, 0.5f, 0.5f);
    const Vector d(1, 0.125f, 0.25f), up(0, 1, 0);
    // The sign-classified test is not defined for zero components: -1 skips it there.
    const struct {
        Ray ray;
        int expected[4];
    } rows[] = {
        {Ray(Point(2, 0, 0), Vector(-1, 1, 1)), {1, 1, 0, 0}},  // a corner: slab tests only
        {Ray(o, d, 0.0f, 1.0f), {1, 1, 1, 1}},                  // ends at the entry
        {Ray(o, d, 2.0f, 5.0f), {1, 1, 1, 1}},                  // starts at the exit
        {Ray(o, d, 2.0f + 1.0f / 1024, 5.0f), {0, 0, 0, 0}},
        {Ray(Point(3, 0.5f, 0.5f), Vector(1, 0.01f, 0.01f), -10, 10), {1, 0, 1, 1}},  // behind
        {Ray(Point(0.5f, -1, 0.5f), up), {1, 1, -1, 1}},
        {Ray(Point(1.5f, -1, 0.5f), up), {0, 0, -1, 0}},
        {Ray(Point(-0.5f, -1, 0.5f), Vector(-0.0f, 1, 0)), {0, -1, -1, -1}},
        {Ray(Point(1, -1, 0.5f), up), {1, 1, -1, -1}},  // in a face plane: 0 · ∞ is ignored
        {Ray(Point(0, -1, 0.5f), Vector(-0.0f, 1, 0)), {1, -1, -1, -1}},
        {Ray(Point(0.25f, 0.75f, 5), Vector(0, 0, -2)), {1, -1, -1, -1}},
    };
    for (const auto& row : rows) {
        const std::vector<bool> got = allFour(box, row.ray);
        for (int v = 0; v < 4; ++v)
            if (row.expected[v] >= 0) {
                EXPECT_EQ(got[v], row.expected[v] == 1) << "variant " << v + 1 << " " << row.ray.o;
            }
    }
    // Exact intervals: the slab test (rayClass 0 here) clips to [mint, maxt], the
    // sign-classified one does not.
    const struct {
        Ray ray;
        int rayClass;
        float t0, t1;
    } exact[] = {{Ray(Point(2, 0, 0), Vector(-1, 1, 1)), 0, 1, 1},
                 {Ray(Point(0.5f, -1, 0.5f), up), 0, 1, 2},
                 {Ray(Point(0.5f, 0.5f, 0.5f), Vector(1, 1, 1)), 0, 0, 0.5f},
                 {Ray(Point(0.5f, 0.5f, 0.5f), Vector(1, 1, 1)), 42, -0.5f, 0.5f}};
    for (const auto& e : exact) {
        float t0 = 0, t1 = 0;
        ASSERT_TRUE(e.rayClass ? box.intersect(e.ray, reciprocal(e.ray.d), e.rayClass, &t0, &t1)
                               : box.intersect(e.ray, &t0, &t1));
        EXPECT_EQ(t0, e.t0);
        EXPECT_EQ(t1, e.t1);
    }
}

TEST(Aabb, GrowthOverlapAndLargestExtent) {
    EXPECT_EQ(Aabb(1, 0, 5, 2, -1, -3), Aabb(Point(0, 2, -3), Point(1, 5, -1)));  // any order
    Aabb fromEmpty;  // every coordinate lands in the minimum: start from Aabb(const Point&)
    fromEmpty += Point(1, 2, 3);
    EXPECT_EQ(fromEmpty.bmax[0], -1e30f);
    Aabb e(0, 4, 0, 4, 0, 4);
    EXPECT_FALSE(e.expand(Aabb(0, 4, 1, 2, 1, 2)));  // expand reports whether anything moved
    EXPECT_TRUE(e.expand(Aabb(1, 2, 1, 5, 1, 2)));
    EXPECT_TRUE(e.expand(Aabb(-1, 2, 1, 2, 1, 2)));
    e.expand(0.5f);
    EXPECT_EQ(e, Aabb(-1.5f, 4.5f, -0.5f, 5.5f, -0.5f, 4.5f));
    const Aabb a(0, 1, 0, 1, 0, 1);
    EXPECT_TRUE(a.overlaps(Aabb(1, 2, 1, 2, 1, 2)));                // a shared corner
    EXPECT_FALSE(a.overlaps(BSphere(Point(2, 0.5f, 0.5f), 1.0f)));  // touching is not overlapping
    EXPECT_FALSE(a.overlaps(BSphere(Point(2, 2, 0.5f), 1.4142f)));  // the corner region: √2 away
    EXPECT_TRUE(a.overlaps(BSphere(Point(2, 2, 0.5f), 1.4143f)));
    EXPECT_EQ(Aabb(0, 2, 0, 3, 0, 4).area(), 52.0f);
    // Ties go to the later axis, except that x wins a tie with y.
    const std::pair<Aabb, unsigned> extents[] = {{Aabb(0, 1, 0, 1, 0, 1), 2},
                                                 {Aabb(0, 2, 0, 2, 0, 1), 0},
                                                 {Aabb(0, 1, 0, 3, 0, 2), 1},
                                                 {Aabb(0, 3, 0, 1, 0, 3), 2}};
    for (const auto& [box, axis] : extents) EXPECT_EQ(box.largestExtent(), axis);
}

TEST(Aabb, CountersAreSummedOverThreads) {
    const Aabb box(0, 1, 0, 1, 0, 1);
    const Ray hit(Point(-1, 0.5f, 0.5f), Vector(1, 0.1f, 0.1f)), miss(Point(-1, 5, 0.5f), hit.d);
    const Vector inv = reciprocal(hit.d);
    const unsigned int signs[3] = {0, 0, 0};
    Aabb::numIntersectionTests.reset();
    Aabb::numHits.reset();
    // Every variant counts its test; only the slab and sign-classified ones count hits.
    box.intersect(hit, inv, nullptr, nullptr);
    box.intersect(miss, inv, 42, nullptr, nullptr);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 2u);
    EXPECT_EQ(uint64_t(Aabb::numHits), 0u);

    // Threads count into their own slots; the totals include threads that have ended.
    constexpr int Threads = 6, Rounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < Rounds; ++i) {
                box.intersect(i % 2 ? hit : miss, nullptr, nullptr);
                box.intersect(hit, inv, 42, nullptr, nullptr);
                if (t % 2) box.intersect(hit, inv, signs);
            }
        });
    EXPECT_GE(Aabb::numIntersectionTests.load(), 2u);  // reading while they run is no race
    for (std::thread& th : threads) th.join();
    const uint64_t hits = Threads * (Rounds / 2 + Rounds);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 2u + Threads * 2 * Rounds + Threads / 2 * Rounds);
    EXPECT_EQ(Aabb::numHits.load(), hits);
    Aabb::numIntersectionTests.reset();  // the retired totals and the live slots alike
    EXPECT_EQ(Aabb::numHits.load(), hits);
    box.intersect(hit, nullptr, nullptr);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 1u);
    Aabb::numHits.reset();
}

// The four-box test answers as the branch-free single test for each slot and reports where the
// ray enters; the prepared-ray form gives exactly the same masks and entries, also for zero
// direction components of either sign and origins in a box's planes.
TEST(Aabb4, AgreesWithTheSingleTestAndThePreparedRay) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> pick(0, 9);
    int compared = 0, entered = 0, preparedEntered = 0;
    for (int n = 0; n < 50000; ++n) {
        std::pair<Aabb, Ray> cases[4];
        Aabb4 group;
        for (int s = 0; s < 4; ++s) group.set(s, (cases[s] = randomCase(rng)).first);
        for (int s = 0; s < 4; ++s) ASSERT_EQ(group.get(s), cases[s].first);
        Ray ray = cases[0].second;
        float entry[4], prepared[4];
        unsigned mask = group.intersect(ray, reciprocal(ray.d), entry);
        for (int s = 0; s < 4; ++s) {
            const Interval ref = clipReference(cases[s].first, ray);
            if (nearTouching(ref)) continue;
            const bool single = cases[s].first.intersect(ray, reciprocal(ray.d), nullptr, nullptr);
            ++compared, entered += single;
            ASSERT_EQ(bool(mask >> s & 1u), single) << n << " slot " << s;
            if (single) {
                EXPECT_NEAR(entry[s], ref.t0, 1e-4 * (1 + std::fabs(ref.t0))) << n;
            }
        }
        const int a = n % 3;
        if (pick(rng) < 3) ray.d[a] = pick(rng) < 5 ? 0.0f : -0.0f;
        if (pick(rng) < 3)
            ray.o[a] = pick(rng) < 5 ? cases[1].first.bmin[a] : cases[2].first.bmax[a];
        if (pick(rng) < 1) ray.o[(a + 1) % 3] = cases[3].first.bmin[(a + 1) % 3];
        const Vector inv = reciprocal(ray.d);
        mask = group.intersect(ray, inv, entry);
        ASSERT_EQ(group.intersect(Aabb4::Prepared(ray, inv), ray.mint, ray.maxt, prepared), mask)
            << n;
        preparedEntered += __builtin_popcount(mask);
        for (int s = 0; s < 4; ++s)
            if (mask >> s & 1u) {
                ASSERT_EQ(prepared[s], entry[s]) << n << " slot " << s;
            }
    }
    EXPECT_GT(compared, 190000);
    EXPECT_GT(entered, compared / 10);
    EXPECT_LT(entered, compared * 9 / 10);
    EXPECT_GT(preparedEntered, 15000);
}

TEST(Aabb4, TouchingFlatAndEmptySlots) {
    // Flat boxes in z = 0 around the origin, and rays through their shared corner and edge whose
    // three slab distances round apart: the corner belongs to all four, the edge midpoint to two.
    Aabb4 flat;
    const float lower[4][2] = {{-1, -1}, {0, -1}, {0, 0}, {-1, 0}};  // the quadrants' (x, y)
    for (int s = 0; s < 4; ++s)
        flat.set(s, Aabb(lower[s][0], lower[s][0] + 1, lower[s][1], lower[s][1] + 1, 0, 0));
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dir(-1.0f, 1.0f);
    float entry[4];
    for (int n = 0; n < 2000; ++n) {
        Vector d(dir(rng), dir(rng), dir(rng));
        if (std::fabs(d.z) < 0.05f) d.z = 0.5f;
        d = d.hat();
        const Ray r((n % 2 ? Point(0, 0, 0) : Point(0.5f, 0, 0)) - 3.0f * d, d, 0.0f, 3.0f);
        const unsigned mask = flat.intersect(r, reciprocal(r.d), entry);
        ASSERT_EQ(mask, n % 2 ? 15u : 6u) << n;
        for (int s = 0; s < 4; ++s)
            if (mask >> s & 1u) {
                EXPECT_LE(entry[s], r.maxt * Aabb4::Widening) << n;
            }
    }
    const Ray along(Point(-5, 0.5f, 0), Vector(1, 0, 0));  // in the plane of the flat boxes
    EXPECT_EQ(flat.intersect(along, reciprocal(along.d), entry), 12u);
    EXPECT_EQ(entry[2], 5.0f);
    // Empty slots read as entered by the plain test (callers mask them), as missed by the
    // prepared one; four tests are counted per call.
    Aabb4 empty;
    for (int s = 0; s < 4; ++s) EXPECT_EQ(empty.get(s), Aabb()) << s;
    Aabb::numIntersectionTests.reset();
    EXPECT_EQ(empty.intersect(along, reciprocal(along.d), entry), 15u);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 4u);
    const Ray r(Point(0, 0, 0), Vector(1, 1, 1));
    EXPECT_EQ(empty.intersect(Aabb4::Prepared(r, reciprocal(r.d)), r.mint, r.maxt, entry), 0u);
}
