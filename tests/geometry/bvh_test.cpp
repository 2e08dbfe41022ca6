#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/geometry/primitive.h"
#include "tests/geometry/geometry_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

// Every primitive in turn: the nearest hit's t (-1 for none) and whether any accepts the ray,
// the reference for the hierarchy.
struct Answer {
    float t;
    bool any;
};
std::vector<Answer> bruteForce(const std::vector<Reference<Primitive>>& prims,
                               const std::vector<Ray>& rays) {
    std::vector<Answer> out;
    for (const Ray& ray : rays) {
        Answer a{-1.0f, false};
        Ray r = ray;
        Hit hit;
        for (const Reference<Primitive>& p : prims) {
            if (p && p->intersect(r, hit)) r.maxt = a.t = hit.t;
            a.any = a.any || (p && p->intersect(ray));
        }
        out.push_back(a);
    }
    return out;
}

// The same t (only a tie may pick another primitive) and the same boolean answer.
void expectAgreement(const Primitive& bvh, const std::vector<Ray>& rays,
                     const std::vector<Answer>& expected) {
    for (size_t i = 0; i < rays.size(); ++i) {
        Hit hit;
        ASSERT_EQ(bvh.intersect(rays[i], hit) ? hit.t : -1.0f, expected[i].t) << "ray " << i;
        ASSERT_EQ(bvh.intersect(rays[i]), expected[i].any) << "ray " << i;
    }
}

// The hierarchy over `prims`, with its default leaf size or the one given: none ends the test.
Reference<Primitive> bvhOf(std::vector<Reference<Primitive>>& prims,
                           int leaf = std::numeric_limits<int>::min()) {
    ParameterSet params;
    if (leaf != std::numeric_limits<int>::min())
        params.push_back("leafsize", ParamType(TypeInt), &leaf, true);
    Reference<Primitive> bvh = makeAggregate("bvh.accelerator.so", prims, params);
    if (!bvh) throw std::runtime_error("no hierarchy");
    return bvh;
}

// Random rays over the box [-s, s]^3, including directions with zero and negative-zero
// components and rays with a limited interval.
std::vector<Ray> randomRays(std::mt19937& rng, int n, float s) {
    std::uniform_real_distribution<float> pos(-s, s), dir(-1.0f, 1.0f), unit(0.0f, 1.0f);
    std::vector<Ray> rays;
    for (int i = 0; i < n; ++i) {
        Vector d(dir(rng), dir(rng), dir(rng));
        if (i % 10 == 3) d[i % 3] = 0.0f;
        if (i % 10 == 4) d[(i + 1) % 3] = -0.0f;
        if (i % 20 == 5) d = Vector(0.0f, 0.0f, 0.0f), d[i % 3] = dir(rng) < 0 ? -1.0f : 1.0f;
        if (d.length2() == 0.0f) d = Vector(1.0f, 0.0f, 0.0f);
        Ray r(Point(pos(rng), pos(rng), pos(rng)), d);
        if (i % 7 == 1) r.maxt = s * unit(rng);
        if (i % 11 == 2) r.mint = s * 0.5f * unit(rng);
        rays.push_back(r);
    }
    return rays;
}

// A triangle whose primitive refuses every ray (as one hidden from a kind of ray would) still
// passes the hierarchy's own triangle pretest: rays must go on to the nearest that accepts them.
class RefusingTriangle : public TestTriangle {
  public:
    using TestTriangle::TestTriangle;
    bool intersect(const Ray&, Hit&) const override { return false; }
    bool intersect(const Ray&) const override { return false; }
};

// Thousands of small triangles and transformed spheres in a 20-unit cube.
std::vector<Reference<Primitive>> randomScene(TransformStore& store, std::mt19937& rng,
                                              int triangles, int spheres) {
    std::uniform_real_distribution<float> pos(-10.0f, 10.0f), off(-0.6f, 0.6f), size(0.05f, 0.5f),
        angle(0.0f, 6.0f);
    std::vector<Reference<Primitive>> prims;
    for (int i = 0; i < triangles; ++i) {
        const Point c(pos(rng), pos(rng), pos(rng));
        Point v[3];
        for (Point& p : v) p = c + Vector(off(rng), off(rng), off(rng));
        // Some lie in an axis plane: their bounds have no thickness there.
        if (i % 10 < 3)
            for (Point& p : v) p[i % 10] = c[i % 10];
        if (i % 8 == 1) {
            // Made around the origin and placed by a rotation, a scale and a move.
            Vector axis(off(rng), off(rng), 1.0f);
            axis.normalize();
            const Transform t =
                Translate(c.x, c.y, c.z) * Rotate(angle(rng), axis) * Scale(1.5f, 0.5f, 1.0f);
            const Transform inv = t.inverse();
            for (Point& p : v) p = inv * p;
            prims.push_back(store.wrap(new TestTriangle(v[0], v[1], v[2]), t));
            continue;
        }
        Shape* tri = i % 6 == 5 ? new RefusingTriangle(v[0], v[1], v[2])
                                : new TestTriangle(v[0], v[1], v[2]);
        if (i % 4 == 0)
            prims.push_back(new ControlMeshPrimitive(Reference<Shape>(tri), PrimitiveAttributes()));
        else
            prims.push_back(store.wrap(tri, Transform::Identity));
    }
    for (int i = 0; i < spheres; ++i) {
        Vector axis(off(rng), off(rng), off(rng) + 1.0f);
        axis.normalize();
        const Transform t = Translate(pos(rng), pos(rng), pos(rng)) * Rotate(angle(rng), axis) *
                            Scale(size(rng), size(rng), size(rng));
        prims.push_back(store.wrap(new TestSphere(1.0f), t));
    }
    return prims;
}

TEST(Bvh, AgreesWithBruteForceOnRandomScenes) {
    std::mt19937 rng(1);
    TransformStore store;
    std::vector<Reference<Primitive>> prims = randomScene(store, rng, 3000, 1000);
    const std::vector<Ray> rays = randomRays(rng, 10000, 12.0f);

    Reference<Primitive> bvh = bvhOf(prims);
    // The bound is the union of the primitives' world extents.
    Aabb expected;
    for (const Reference<Primitive>& p : prims) expected += p->worldExtent();
    EXPECT_EQ(bvh->worldExtent(), expected);
    EXPECT_EQ(bvh->objectExtent(), expected);

    const std::vector<Answer> expectedAnswers = bruteForce(prims, rays);
    const auto hits = std::count_if(expectedAnswers.begin(), expectedAnswers.end(),
                                    [](const Answer& a) { return a.t >= 0.0f; });
    EXPECT_GT(hits, 1000);  // the rays do find things
    EXPECT_LT(hits, long(rays.size()) - 1000);
    const uint64_t testsBefore = Aabb::numIntersectionTests;
    expectAgreement(*bvh, rays, expectedAnswers);
    EXPECT_GT(Aabb::numIntersectionTests - testsBefore, rays.size());

    // Every leaf size gives the same answers, traced from four threads at once.
    std::vector<Reference<Primitive>> others;
    for (int leaf : {1, 2, 16, 64}) others.push_back(bvhOf(prims, leaf));
    std::vector<std::thread> pool;
    for (const Reference<Primitive>& other : others)
        pool.emplace_back([&] { expectAgreement(*other, rays, expectedAnswers); });
    for (std::thread& t : pool) t.join();
}

// Flat triangles sit in the leaves as world corners that rays are pretested against; only the
// shape decides. Rays through the shared edges and corners of a fan, rays almost in its plane,
// rays starting on it, and the same fan placed far from the origin by a transform must find
// exactly what the shapes find.
TEST(Bvh, TrianglePretestRefusesNothingTheShapeAccepts) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    TransformStore store;
    const int spokes = 7;
    std::vector<Point> ring;
    for (float k = 0; k < spokes; ++k)
        ring.emplace_back(std::cos(TwoPi * k / spokes), std::sin(TwoPi * k / spokes), 0);
    const Transform placements[] = {
        Transform::Identity,
        Translate(0.3f, -0.2f, 0.1f) * Rotate(0.6f, Vector(Vector(1, 1, 0).hat())),
        Translate(1.0e4f, -3.0e3f, 2.0e3f) * Rotate(0.35f, Vector(Vector(0, 1, 1).hat())) *
            Scale(0.01f, 0.02f, 1),
    };
    for (const Transform& place : placements) {
        SCOPED_TRACE(&place - placements);
        std::vector<Reference<Primitive>> prims;
        for (int k = 0; k < spokes; ++k)
            prims.push_back(store.wrap(
                new TestTriangle(Point(0, 0, 0), ring[k], ring[(k + 1) % spokes]), place));
        // The points to aim at, in world space: the centre, every corner, every edge midpoint.
        std::vector<Point> targets{place * Point(0, 0, 0)};
        for (int k = 0; k < spokes; ++k) {
            targets.push_back(place * ring[k]);
            targets.push_back(place * Point(0.5f * ring[k].x, 0.5f * ring[k].y, 0));
            const Point mid((ring[k].x + ring[(k + 1) % spokes].x) * 0.5f,
                            (ring[k].y + ring[(k + 1) % spokes].y) * 0.5f, 0);
            targets.push_back(place * mid);
        }
        const Normal n = Normal(Vector(place * Normal(0, 0, 1)).hat());
        const Vector inPlane = Vector(place * Vector(1, 0.3f, 0)).hat();
        const float scale = Vector(place * Vector(1, 0, 0)).length();
        std::vector<Ray> rays;
        for (const Point& p : targets) {
            for (int k = 0; k < 20; ++k) {
                Vector d(2 * unit(rng) - 1, 2 * unit(rng) - 1, 2 * unit(rng) - 1);
                if (k < 4) d = Vector(n) * (k % 2 ? 1e-3f : -1e-3f) + inPlane;  // grazing
                if (d.length2() < 1e-6f) d = Vector(n);
                d = d.hat();
                // Some start on the fan, some end on it.
                rays.push_back(Ray(p - 3.0f * scale * d, d));
                if (k == 5) rays.push_back(Ray(p, d));
                if (k == 6) rays.push_back(Ray(p - 3.0f * scale * d, d, 0.0f, 3.0f * scale));
            }
        }
        const std::vector<Answer> e = bruteForce(prims, rays);
        EXPECT_GT(std::count_if(e.begin(), e.end(), [](const Answer& a) { return a.t >= 0.0f; }),
                  long(rays.size()) / 3);
        for (int leaf : {1, 4, 8}) expectAgreement(*bvhOf(prims, leaf), rays, e);
    }
}

TEST(Bvh, DegenerateInputsAndLeafSizes) {
    std::mt19937 rng(3);
    TransformStore store;
    const std::vector<Ray> rays = randomRays(rng, 3000, 3.0f);

    {  // No primitives at all.
        CaptureReports reports;
        std::vector<Reference<Primitive>> none;
        Reference<Primitive> bvh = bvhOf(none);
        EXPECT_EQ(bvh->worldExtent(), Aabb());
        expectAgreement(*bvh, rays, std::vector<Answer>(rays.size(), Answer{-1.0f, false}));
        EXPECT_TRUE(reports.records().empty());
    }
    {  // Zero-size boxes: triangles collapsed to points, many of them at one point.
        std::vector<Reference<Primitive>> points;
        std::uniform_real_distribution<float> pos(-2.0f, 2.0f);
        for (int i = 0; i < 1000; ++i) {
            const Point p = i % 2 ? Point(pos(rng), pos(rng), pos(rng)) : Point(0.25f, 0, 0);
            points.push_back(store.wrap(new TestTriangle(p, p, p), Transform::Identity));
        }
        points.push_back(store.wrap(new TestSphere(0.3f), Translate(1, 1, 1)));
        Reference<Primitive> bvh = bvhOf(points);
        expectAgreement(*bvh, rays, bruteForce(points, rays));
        EXPECT_TRUE(bvh->worldExtent().contains(Point(0.25f, 0, 0)));
    }
    {  // Centroids crowding exponentially towards zero: a deep heuristic tree.
        std::vector<Reference<Primitive>> crowd;
        for (int k = 0; k < 120; ++k) {
            const float x = std::ldexp(1.0f, -k);
            crowd.push_back(store.wrap(new TestSphere(0.3f * x), Translate(x, 0, 0)));
        }
        Reference<Primitive> bvh = bvhOf(crowd, 1);
        std::vector<Ray> along(rays);
        for (int k = 0; k < 120; ++k)
            along.push_back(Ray(Point(std::ldexp(1.0f, -k), 0, -1), Vector(0, 0, 1)));
        expectAgreement(*bvh, along, bruteForce(crowd, along));
    }

    // A leaf size out of range falls back to the default.
    std::vector<Reference<Primitive>> one{store.wrap(new TestSphere(1.0f), Transform::Identity)};
    for (int leaf : {0, -3, 65}) {
        CaptureReports reports;
        Reference<Primitive> bvh = bvhOf(one, leaf);
        EXPECT_TRUE(bvh->intersect(Ray(Point(0, 0, -5), Vector(0, 0, 1))));
        EXPECT_EQ(reports.texts(),
                  std::vector<std::string>{"2 bvh: leafsize " + std::to_string(leaf) +
                                           " is outside 1 to 64. Using 8"});
    }
}

TEST(Bvh, NullInfiniteAndEmptyPrimitives) {
    CaptureReports reports;
    std::mt19937 rng(4);
    TransformStore store;
    std::vector<Reference<Primitive>> prims = randomScene(store, rng, 200, 200);
    prims.push_back(Reference<Primitive>());
    prims.push_back(Reference<Primitive>());
    prims.push_back(new ovotest::PlanePrimitive(Point(0, 0, 0), Vector(0, 0, 1)));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Aabb nanBox;
    nanBox.bmin[0] = nan;
    prims.push_back(store.wrap(new BoxOnlyShape(Aabb(0, 1, 0, 1, 0, 1)), Transform::Identity));
    prims.push_back(new NoPPrimitive(Reference<Shape>(new BoxOnlyShape(nanBox)),
                                     PrimitiveAttributes(), Transform::Identity));
    prims.push_back(store.wrap(new BoxOnlyShape(Aabb()), Transform::Identity));  // empty

    Reference<Primitive> bvh = bvhOf(prims);
    EXPECT_EQ(
        reports.texts(),
        (std::vector<std::string>{
            "2 bvh: 2 null primitive(s) in the list. Ignoring ...",
            "2 bvh: 2 primitive(s) with an infinite or invalid bound; every ray tests them"}));
    // The plane is found by rays that cross z = 0 and nothing else is nearer.
    const std::vector<Ray> rays = randomRays(rng, 5000, 12.0f);
    expectAgreement(*bvh, rays, bruteForce(prims, rays));
    Hit hit;
    ASSERT_TRUE(bvh->intersect(Ray(Point(20, 20, 5), Vector(0, 0, -1)), hit));
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
}

}  // namespace
