#include "core/math/aabb.h"

#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

using namespace ovo;

namespace {

const float kInf = std::numeric_limits<float>::infinity();

struct Interval {
    bool hit;
    double t0, t1;
};

// Brute force: clip the parameter segment against the six planes in double. unclipped leaves
// out the ray's own [mint, maxt] (the entry and exit of the infinite line).
Interval clipReference(const Aabb& b, const Ray& r, bool unclipped = false) {
    double t0 = unclipped ? -HUGE_VAL : r.mint, t1 = unclipped ? HUGE_VAL : r.maxt;
    for (int a = 0; a < 3; ++a) {
        const double o = r.o[a], d = r.d[a];
        if (d == 0.0) {
            if (o < b.bmin[a] || o > b.bmax[a]) return {false, t0, t1};
            continue;
        }
        double ta = (b.bmin[a] - o) / d, tb = (b.bmax[a] - o) / d;
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
    }
    return {t0 <= t1, t0, t1};
}

Vector reciprocal(const Vector& d) { return Vector(1.0f / d.x, 1.0f / d.y, 1.0f / d.z); }

int rayClass(const Vector& d) {
    auto code = [](float v) { return v < 0.0f ? 1 : 2; };
    return code(d.x) << 4 | code(d.y) << 2 | code(d.z);
}

struct Signs {
    unsigned int s[3];
    explicit Signs(const Vector& d)
        : s{d.x < 0.0f ? 1u : 0u, d.y < 0.0f ? 1u : 0u, d.z < 0.0f ? 1u : 0u} {}
};

struct Case {
    Aabb box;
    Ray ray;
};

Case randomCase(std::mt19937& rng) {
    std::uniform_real_distribution<float> pos(-2.0f, 2.0f), org(-4.0f, 4.0f), u(0.0f, 1.0f);
    std::normal_distribution<float> g;
    Case c;
    c.box = Aabb(pos(rng), pos(rng), pos(rng), pos(rng), pos(rng), pos(rng));
    const Point o(org(rng), org(rng), org(rng));
    // Half the rays aim near the box, so that hits and misses mix.
    const bool aim = u(rng) < 0.5f;
    const Point target(c.box.bmin[0] + (c.box.bmax[0] - c.box.bmin[0]) * (1.4f * u(rng) - 0.2f),
                       c.box.bmin[1] + (c.box.bmax[1] - c.box.bmin[1]) * (1.4f * u(rng) - 0.2f),
                       c.box.bmin[2] + (c.box.bmax[2] - c.box.bmin[2]) * (1.4f * u(rng) - 0.2f));
    Vector d;
    do
        d = aim ? Vector(target - o) + Vector(0.01f * g(rng), 0.01f * g(rng), 0.01f * g(rng))
                : Vector(g(rng), g(rng), g(rng));
    while (std::fabs(d.x) < 1e-3f || std::fabs(d.y) < 1e-3f || std::fabs(d.z) < 1e-3f);
    const float len = 0.25f + 4.0f * u(rng);  // unnormalised directions too
    d = Vector(d.hat()) * len;
    const float mint = u(rng) < 0.5f ? 0.0f : 4.0f * u(rng) - 2.0f;
    const float maxt = u(rng) < 0.3f ? 1e30f : mint + 6.0f * u(rng);
    c.ray = Ray(o, d, mint, maxt);
    return c;
}

// Cases within a relative hair of touching are left out: each variant rounds differently
// there, and the touching rules are tested separately with exact values.
bool nearTouching(const Interval& i) {
    const double scale = 1.0 + std::fabs(i.t0) + std::fabs(i.t1);
    return std::fabs(i.t1 - i.t0) < 1e-4 * scale;
}

}  // namespace

TEST(Aabb, ConstructionAndGrowth) {
    const Aabb empty;
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(empty.bmin[a], 1e30f);
        EXPECT_EQ(empty.bmax[a], -1e30f);
    }
    Aabb grown;
    grown += Aabb(Point(1, -2, 3));
    EXPECT_EQ(grown, Aabb(Point(1, -2, 3)));
    EXPECT_EQ(grown.bmin[1], -2.0f);
    EXPECT_EQ(grown.bmax[1], -2.0f);

    // Each axis pair in either order.
    const Aabb b(1, 0, 5, 2, -1, -3);
    const float lo[3] = {0, 2, -3}, hi[3] = {1, 5, -1};
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(b.bmin[a], lo[a]);
        EXPECT_EQ(b.bmax[a], hi[a]);
    }
    float bounds[6] = {1, 0, 5, 2, -1, -3};
    EXPECT_EQ(Aabb(bounds), b);
    EXPECT_EQ(b.corner(0), b.bmin);
    EXPECT_EQ(b.corner(1), b.bmax);
    EXPECT_EQ(Aabb(Point(1, 5, -1), Point(0, 2, -3)), b);
    EXPECT_EQ(Aabb(HPoint(2, 10, -2, 2), HPoint(0, 4, -6, 2)), b);  // divided by w

    // Point growth: min first, max only when min did not move.
    Aabb p(Point(0, 0, 0));
    p += Point(1, -1, 2);
    p += Point(-3, 4, 1);
    p += HPoint(10, 10, 10, 10);
    EXPECT_EQ(p, Aabb(-3, 1, -1, 4, 0, 2));
    // On the empty box every coordinate lands in the minimum: the reason to start
    // with Aabb(const Point&).
    Aabb fromEmpty;
    fromEmpty += Point(1, 2, 3);
    EXPECT_EQ(fromEmpty.bmin[0], 1.0f);
    EXPECT_EQ(fromEmpty.bmax[0], -1e30f);

    // Union and intersection; disjoint intersection stays inverted.
    Aabb u(0, 1, 0, 1, 0, 1);
    u += Aabb(2, 3, -1, 0.5f, 0.5f, 0.7f);
    EXPECT_EQ(u, Aabb(0, 3, -1, 1, 0, 1));
    Aabb i(0, 2, 0, 2, 0, 2);
    i &= Aabb(1, 3, -1, 1, 0.5f, 4);
    EXPECT_EQ(i, Aabb(1, 2, 0, 1, 0.5f, 2));
    Aabb apart(0, 1, 0, 1, 0, 1);
    apart &= Aabb(2, 3, 0, 1, 0, 1);
    EXPECT_EQ(apart.bmin[0], 2.0f);
    EXPECT_EQ(apart.bmax[0], 1.0f);

    // expand reports whether anything moved.
    Aabb e(0, 4, 0, 4, 0, 4);
    EXPECT_FALSE(e.expand(Aabb(1, 2, 1, 2, 1, 2)));
    EXPECT_FALSE(e.expand(Aabb(0, 4, 0, 4, 0, 4)));
    EXPECT_TRUE(e.expand(Aabb(1, 2, 1, 5, 1, 2)));
    EXPECT_EQ(e.bmax[1], 5.0f);
    EXPECT_TRUE(e.expand(Aabb(-1, 2, 1, 2, 1, 2)));
    e.expand(0.5f);
    EXPECT_EQ(e, Aabb(-1.5f, 4.5f, -0.5f, 5.5f, -0.5f, 4.5f));
}

TEST(Aabb, QueriesAndMeasures) {
    const Aabb a(0, 1, 0, 1, 0, 1);
    EXPECT_TRUE(a.overlaps(Aabb(1, 2, 0, 1, 0, 1)));  // shared face
    EXPECT_TRUE(a.overlaps(Aabb(1, 2, 1, 2, 1, 2)));  // shared corner
    EXPECT_FALSE(a.overlaps(Aabb(1.01f, 2, 0, 1, 0, 1)));
    EXPECT_FALSE(a.overlaps(Aabb(0, 1, 0, 1, -2, -0.5f)));
    EXPECT_TRUE(a.overlaps(Aabb(0.2f, 0.3f, 0.2f, 0.3f, 0.2f, 0.3f)));  // inside

    EXPECT_TRUE(a.contains(Point(0, 1, 0.5f)));  // inclusive
    EXPECT_FALSE(a.contains(Point(0, 1.0001f, 0.5f)));
    EXPECT_FALSE(a.contains(Point(std::numeric_limits<float>::quiet_NaN(), 0, 0)));

    // Sphere: touching is not overlapping.
    EXPECT_FALSE(a.overlaps(BSphere(Point(2, 0.5f, 0.5f), 1.0f)));
    EXPECT_TRUE(a.overlaps(BSphere(Point(2, 0.5f, 0.5f), 1.001f)));
    EXPECT_FALSE(a.overlaps(BSphere(Point(2, 2, 0.5f), 1.4142f)));  // corner region: √2 away
    EXPECT_TRUE(a.overlaps(BSphere(Point(2, 2, 0.5f), 1.4143f)));
    EXPECT_TRUE(a.overlaps(BSphere(Point(0.5f, 0.5f, 0.5f), 0.01f)));  // centre inside
    EXPECT_FALSE(a.overlaps(BSphere(Point(0.5f, 0.5f, 0.5f), 0.0f)));  // 0 > 0 is false

    const Aabb b(0, 2, 0, 3, 0, 4);
    EXPECT_EQ(b.area(), 2.0f * (2 * 3 + 2 * 4 + 3 * 4));
    EXPECT_EQ(b.volume(), 24.0f);
    EXPECT_EQ(b.length(0), 2.0f);
    EXPECT_EQ(b.length(2), 4.0f);
    // Double evaluation: a huge thin box keeps its tiny faces.
    const Aabb wide(0, 1e20f, 0, 1, 0, 1e-20f);
    EXPECT_FLOAT_EQ(wide.area(), 2.0f * (1e20f * (1e-20f + 1.0f) + 1e-20f));

    EXPECT_EQ(Aabb(0, 1, 0, 1, 0, 1).largestExtent(), 2u);  // cube: z
    EXPECT_EQ(Aabb(0, 2, 0, 2, 0, 1).largestExtent(), 0u);  // x wins a tie with y
    EXPECT_EQ(Aabb(0, 1, 0, 2, 0, 2).largestExtent(), 2u);  // later axis wins y = z
    EXPECT_EQ(Aabb(0, 1, 0, 3, 0, 2).largestExtent(), 1u);
    EXPECT_EQ(Aabb(0, 3, 0, 1, 0, 3).largestExtent(), 2u);
}

TEST(Aabb, RayTestsAgreeWithBruteForce) {
    std::mt19937 rng(2024);
    int compared = 0, hits = 0, v2hits = 0;
    for (int n = 0; n < 200000; ++n) {
        const Case c = randomCase(rng);
        const Interval ref = clipReference(c.box, c.ray);
        if (nearTouching(ref)) continue;
        // Variant 2 additionally needs the exit in front of t = 0.
        const bool refV2 = ref.hit && ref.t1 >= 0.0;
        if (ref.hit && std::fabs(ref.t1) < 1e-4 * (1.0 + std::fabs(ref.t0))) continue;
        ++compared;
        hits += ref.hit;
        v2hits += refV2;

        const Vector inv = reciprocal(c.ray.d);
        float t0 = -1, t1 = -1;
        ASSERT_EQ(c.box.intersect(c.ray, &t0, &t1), ref.hit) << n;
        if (ref.hit) {
            EXPECT_NEAR(t0, ref.t0, 1e-4 * (1 + std::fabs(ref.t0))) << n;
            EXPECT_NEAR(t1, ref.t1, 1e-4 * (1 + std::fabs(ref.t1))) << n;
        }
        ASSERT_EQ(c.box.intersect(c.ray, inv, nullptr, nullptr), refV2) << n;

        float e0 = -1, e1 = -1;
        ASSERT_EQ(c.box.intersect(c.ray, inv, rayClass(c.ray.d), &e0, &e1), ref.hit) << n;
        if (ref.hit) {
            // Variant 3 reports the unclipped entry and exit of the line.
            const Interval line = clipReference(c.box, c.ray, true);
            EXPECT_NEAR(e0, line.t0, 1e-4 * (1 + std::fabs(line.t0))) << n;
            EXPECT_NEAR(e1, line.t1, 1e-4 * (1 + std::fabs(line.t1))) << n;
        }
        const Signs s(c.ray.d);
        ASSERT_EQ(c.box.intersect(c.ray, inv, s.s), ref.hit) << n;
    }
    // The generator must mix hits and misses, including misses only variant 2 makes.
    EXPECT_GT(compared, 190000);
    EXPECT_GT(hits, compared / 10);
    EXPECT_LT(hits, compared * 9 / 10);
    EXPECT_LT(v2hits, hits);
}

TEST(Aabb, RayTestsTouchingAndInclusiveRules) {
    const Aabb box(0, 1, 0, 1, 0, 1);
    using Four = std::vector<bool>;
    auto all = [&](const Ray& r) {
        const Vector inv = reciprocal(r.d);
        const Signs s(r.d);
        float a = 0, b = 0;
        return Four{box.intersect(r, &a, &b), box.intersect(r, inv, nullptr, nullptr),
                    box.intersect(r, inv, rayClass(r.d), &a, &b), box.intersect(r, inv, s.s)};
    };
    const Four none(4, false), every(4, true);

    // A line through a corner only: the slab tests (1, 2) take the touching point, the
    // sign-classified ones (3, 4) need a strict overlap.
    EXPECT_EQ(all(Ray(Point(2, 0, 0), Vector(-1, 1, 1))), (Four{true, true, false, false}));
    float t0 = 0, t1 = 0;
    ASSERT_TRUE(box.intersect(Ray(Point(2, 0, 0), Vector(-1, 1, 1)), &t0, &t1));
    EXPECT_EQ(t0, 1.0f);
    EXPECT_EQ(t1, 1.0f);

    // The ray interval ending exactly at the entry, or starting exactly at the exit: every
    // variant is inclusive there.
    const Point o(-1, 0.5f, 0.5f);
    const Vector d(1, 0.125f, 0.25f);
    EXPECT_EQ(all(Ray(o, d, 0.0f, 1.0f)), every);
    EXPECT_EQ(all(Ray(o, d, 2.0f, 5.0f)), every);
    EXPECT_EQ(all(Ray(o, d, 2.0f + 1.0f / 1024, 5.0f)), none);
    EXPECT_EQ(all(Ray(o, d, 0.0f, 1.0f - 1.0f / 1024)), none);

    // Box wholly behind the origin but inside [mint, maxt]: only variant 2 refuses it.
    EXPECT_EQ(all(Ray(Point(3, 0.5f, 0.5f), Vector(1, 0.01f, 0.01f), -10.0f, 10.0f)),
              (Four{true, false, true, true}));

    // Variant 3 reports the unclipped interval, variant 1 the clipped one.
    const Ray inside(Point(0.5f, 0.5f, 0.5f), Vector(1, 1, 1), 0.0f, 1e30f);
    ASSERT_TRUE(box.intersect(inside, &t0, &t1));
    EXPECT_EQ(t0, 0.0f);
    EXPECT_EQ(t1, 0.5f);
    ASSERT_TRUE(box.intersect(inside, reciprocal(inside.d), 42, &t0, &t1));
    EXPECT_EQ(t0, -0.5f);
    EXPECT_EQ(t1, 0.5f);
    // Null pointers are allowed.
    EXPECT_TRUE(box.intersect(inside, nullptr, nullptr));
    EXPECT_TRUE(box.intersect(inside, reciprocal(inside.d), 42, nullptr, nullptr));
}

TEST(Aabb, RayTestsWithZeroDirectionComponents) {
    const Aabb box(0, 1, 0, 1, 0, 1);
    // Variant 1 takes the reciprocal itself: inside the x slab the interval is kept.
    float t0 = 0, t1 = 0;
    ASSERT_TRUE(box.intersect(Ray(Point(0.5f, -1, 0.5f), Vector(0, 1, 0)), &t0, &t1));
    EXPECT_EQ(t0, 1.0f);
    EXPECT_EQ(t1, 2.0f);
    EXPECT_FALSE(box.intersect(Ray(Point(1.5f, -1, 0.5f), Vector(0, 1, 0)), &t0, &t1));
    EXPECT_FALSE(box.intersect(Ray(Point(-0.5f, -1, 0.5f), Vector(-0.0f, 1, 0)), &t0, &t1));
    // Origin exactly on a face plane of the zero axis: 0 · ∞ is ignored, the ray grazes the face.
    EXPECT_TRUE(box.intersect(Ray(Point(1, -1, 0.5f), Vector(0, 1, 0)), &t0, &t1));
    EXPECT_TRUE(box.intersect(Ray(Point(0, -1, 0.5f), Vector(-0.0f, 1, 0)), &t0, &t1));
    // Two zero components: a ray along z.
    ASSERT_TRUE(box.intersect(Ray(Point(0.25f, 0.75f, 5), Vector(0, 0, -2)), &t0, &t1));
    EXPECT_EQ(t0, 2.0f);
    EXPECT_EQ(t1, 2.5f);

    // Variants 2 and 4 with an infinite reciprocal.
    const Vector d(0, 1, 0);
    const Vector inv(kInf, 1, kInf);
    const unsigned int signs[3] = {0, 0, 0};
    const Ray in(Point(0.5f, -1, 0.5f), d), out(Point(1.5f, -1, 0.5f), d);
    EXPECT_TRUE(box.intersect(in, inv, nullptr, nullptr));
    EXPECT_FALSE(box.intersect(out, inv, nullptr, nullptr));
    EXPECT_TRUE(box.intersect(in, inv, signs));
    EXPECT_FALSE(box.intersect(out, inv, signs));
    const Ray outBelow(Point(-0.5f, -1, 0.5f), d);
    EXPECT_FALSE(box.intersect(outBelow, inv, nullptr, nullptr));
    EXPECT_FALSE(box.intersect(outBelow, inv, signs));
    // Variant 2 on a face plane: the NaN slab distance falls back to the ray bounds.
    EXPECT_TRUE(box.intersect(Ray(Point(1, -1, 0.5f), d), inv, nullptr, nullptr));
}

TEST(Aabb, CountersAreSummedOverThreads) {
    const Aabb box(0, 1, 0, 1, 0, 1);
    const Ray hit(Point(-1, 0.5f, 0.5f), Vector(1, 0.1f, 0.1f));
    const Ray miss(Point(-1, 5, 0.5f), Vector(1, 0.1f, 0.1f));
    const Vector inv = reciprocal(hit.d);
    const unsigned int signs[3] = {0, 0, 0};

    Aabb::numIntersectionTests.reset();
    Aabb::numHits.reset();
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 0u);
    EXPECT_EQ(uint64_t(Aabb::numHits), 0u);

    // Every variant counts its test; only 1 and 3 count hits.
    box.intersect(hit, nullptr, nullptr);
    box.intersect(miss, nullptr, nullptr);
    box.intersect(hit, inv, nullptr, nullptr);
    box.intersect(hit, inv, 42, nullptr, nullptr);
    box.intersect(miss, inv, 42, nullptr, nullptr);
    box.intersect(hit, inv, signs);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 6u);
    EXPECT_EQ(Aabb::numHits.load(), 2u);

    // Threads count into their own slots; the totals include threads that have ended.
    constexpr int kThreads = 6, kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                box.intersect(i % 2 ? hit : miss, nullptr, nullptr);  // half hits
                box.intersect(hit, inv, 42, nullptr, nullptr);
                if (t % 2) box.intersect(hit, inv, signs);
            }
        });
    // Reading while they run is allowed (not exact, never a race).
    const uint64_t during = Aabb::numIntersectionTests;
    EXPECT_GE(during, 6u);
    for (std::thread& th : threads) th.join();
    const uint64_t tests = 6 + kThreads * 2 * kRounds + (kThreads / 2) * kRounds;
    const uint64_t hits = 2 + kThreads * (kRounds / 2 + kRounds);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), tests);
    EXPECT_EQ(Aabb::numHits.load(), hits);

    // reset clears the retired totals and the live slots alike.
    Aabb::numIntersectionTests.reset();
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 0u);
    EXPECT_EQ(Aabb::numHits.load(), hits);
    box.intersect(hit, nullptr, nullptr);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 1u);
    Aabb::numHits.reset();
}

// The four-box test answers as the branch-free single test for each slot, reports where the ray
// enters, and keeps boxes that rounding alone would refuse.
TEST(Aabb4, AgreesWithTheSingleTestAndReportsTheEntry) {
    std::mt19937 rng(77);
    int compared = 0, entered = 0;
    for (int n = 0; n < 50000; ++n) {
        Case cases[4];
        for (Case& c : cases) c = randomCase(rng);
        const Ray& ray = cases[0].ray;
        Aabb4 group;
        for (int s = 0; s < 4; ++s) group.set(s, cases[s].box);
        for (int s = 0; s < 4; ++s) ASSERT_EQ(group.get(s), cases[s].box);
        const Vector inv = reciprocal(ray.d);
        float entry[4];
        const unsigned mask = group.intersect(ray, inv, entry);
        for (int s = 0; s < 4; ++s) {
            const Interval ref = clipReference(cases[s].box, ray);
            if (nearTouching(ref) ||
                (ref.hit && std::fabs(ref.t1) < 1e-4 * (1 + std::fabs(ref.t0))))
                continue;
            ++compared;
            const bool single = cases[s].box.intersect(ray, inv, nullptr, nullptr);
            ASSERT_EQ(bool(mask >> s & 1u), single) << n << " slot " << s;
            if (single) {
                ++entered;
                EXPECT_NEAR(entry[s], ref.t0, 1e-4 * (1 + std::fabs(ref.t0))) << n;
            }
        }
    }
    EXPECT_GT(compared, 190000);
    EXPECT_GT(entered, compared / 10);
    EXPECT_LT(entered, compared * 9 / 10);
}

// The prepared-ray test computes only the plane met first and the one met last on each axis:
// it must give exactly the masks and entry distances of the full test, also for directions with
// zero components of either sign and origins lying in a box's planes, and refuse empty slots.
TEST(Aabb4, PreparedRayGivesTheSameAnswers) {
    std::mt19937 rng(91);
    std::uniform_int_distribution<int> pick(0, 9);
    int entered = 0;
    for (int n = 0; n < 50000; ++n) {
        Case cases[4];
        for (Case& c : cases) c = randomCase(rng);
        Ray ray = cases[0].ray;
        Aabb4 group;
        for (int s = 0; s < 4; ++s) group.set(s, cases[s].box);
        // Zero components (an infinite reciprocal) and origins in the planes of a box (NaN
        // slab distances on those axes).
        const int a = n % 3;
        if (pick(rng) < 3) ray.d[a] = pick(rng) < 5 ? 0.0f : -0.0f;
        if (pick(rng) < 3) ray.o[a] = pick(rng) < 5 ? cases[1].box.bmin[a] : cases[2].box.bmax[a];
        if (pick(rng) < 1) ray.o[(a + 1) % 3] = cases[3].box.bmin[(a + 1) % 3];
        const Vector inv = reciprocal(ray.d);
        float full[4], prepared[4];
        const unsigned want = group.intersect(ray, inv, full);
        const unsigned got =
            group.intersect(Aabb4::Prepared(ray, inv), ray.mint, ray.maxt, prepared);
        ASSERT_EQ(got, want) << n;
        for (int s = 0; s < 4; ++s)
            if (want >> s & 1u) {
                ++entered;
                ASSERT_EQ(prepared[s], full[s]) << n << " slot " << s;
            }
    }
    EXPECT_GT(entered, 15000);

    Aabb4 empty;
    const Ray r(Point(0, 0, 0), Vector(1, 1, 1));
    float entry[4];
    EXPECT_EQ(empty.intersect(Aabb4::Prepared(r, reciprocal(r.d)), r.mint, r.maxt, entry), 0u);
}

TEST(Aabb4, TouchingFlatAndEmptySlots) {
    // Flat boxes in z = 0 around the origin, and rays through their shared corner and edge
    // whose three slab distances round apart.
    Aabb4 flat;
    flat.set(0, Aabb(-1, 0, -1, 0, 0, 0));
    flat.set(1, Aabb(0, 1, -1, 0, 0, 0));
    flat.set(2, Aabb(0, 1, 0, 1, 0, 0));
    flat.set(3, Aabb(-1, 0, 0, 1, 0, 0));
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dir(-1.0f, 1.0f);
    for (int n = 0; n < 2000; ++n) {
        Vector d(dir(rng), dir(rng), dir(rng));
        if (std::fabs(d.z) < 0.05f) d.z = 0.5f;
        d = d.hat();
        const Point target = n % 2 ? Point(0, 0, 0) : Point(0.5f, 0, 0);
        const Ray r(target - 3.0f * d, d, 0.0f, 3.0f);  // it ends on the boxes
        float entry[4];
        const unsigned mask = flat.intersect(r, reciprocal(r.d), entry);
        // The corner belongs to all four boxes, the edge midpoint to two.
        ASSERT_EQ(mask, n % 2 ? 15u : 6u) << n;
        for (int s = 0; s < 4; ++s) {
            if (mask >> s & 1u) {
                EXPECT_LE(entry[s], r.maxt * Aabb4::Widening) << n;
            }
        }
    }
    // A ray in the plane of the flat boxes, along an axis (infinite reciprocals).
    float entry[4];
    const Ray along(Point(-5, 0.5f, 0), Vector(1, 0, 0));
    EXPECT_EQ(flat.intersect(along, reciprocal(along.d), entry), 12u);
    EXPECT_EQ(entry[2], 5.0f);
    EXPECT_EQ(entry[3], 4.0f);
    // Boxes clearly missed, or wholly behind the origin, stay out.
    const Ray away(Point(0, 0, 1), Vector(0, 0, 1));
    EXPECT_EQ(flat.intersect(away, reciprocal(away.d), entry), 0u);
    const Ray past(Point(0.5f, 0.5f, 1), Vector(0.01f, 0.01f, -1), 2.0f, 10.0f);
    EXPECT_EQ(flat.intersect(past, reciprocal(past.d), entry), 0u);

    // Four tests are counted per call; empty slots read as entered, so callers mask them.
    Aabb4 empty;
    Aabb::numIntersectionTests.reset();
    EXPECT_EQ(empty.intersect(along, reciprocal(along.d), entry), 15u);
    EXPECT_EQ(Aabb::numIntersectionTests.load(), 4u);
}
