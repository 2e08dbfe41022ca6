#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/geometry/primitive.h"
#include "tests/geometry/geometry_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

struct Ball {
    Point c;
    float r;
    bool contains(const Point& p) const { return (p - c).length2() < r * r; }
    // Parameters where the infinite line meets the sphere (none when it misses or grazes).
    std::vector<double> crossings(const Ray& ray) const {
        const double ox = ray.o.x - c.x, oy = ray.o.y - c.y, oz = ray.o.z - c.z;
        const double A =
            double(ray.d.x) * ray.d.x + double(ray.d.y) * ray.d.y + double(ray.d.z) * ray.d.z;
        const double B = 2.0 * (ox * ray.d.x + oy * ray.d.y + oz * ray.d.z);
        const double C = ox * ox + oy * oy + oz * oz - double(r) * r;
        const double disc = B * B - 4 * A * C;
        if (disc <= 0) return {};
        const double s = std::sqrt(disc);
        return {(-B - s) / (2 * A), (-B + s) / (2 * A)};
    }
};

using Membership = std::function<bool(const Point&)>;

// Builds the solid operands and keeps their transforms alive.
class Scene {
  public:
    Scene() { unbiased.bias = 0.0f; }
    Reference<Primitive> ball(const Ball& b, const PrimitiveAttributes& a = PrimitiveAttributes()) {
        return store.wrap(new TestSphere(b.r, Transform::Identity, unbiased),
                          Translate(b.c.x, b.c.y, b.c.z), a);
    }
    static Reference<Primitive> solid(const char* op, Reference<Primitive> a,
                                      Reference<Primitive> b) {
        std::vector<Reference<Primitive>> operands{a, b};
        Reference<Primitive> s = makeAggregate(std::string(op) + ".shape.so", operands);
        if (!s) throw std::runtime_error(std::string("no ") + op);  // ends the test
        return s;
    }

  private:
    TransformStore store;
    ShapeAttributes unbiased;
};

// Bounds: both operands for the union, their overlap for the intersection, the first operand
// for the difference; the difference met where B was carved out of A faces away from what is
// left. A hit keeps the caller's context and passes the kind of ray on to the operands. Other
// operand counts, and null operands, are refused.
TEST(Solid, OperandsBoundsCarvedSurfaceAndTheCallersContext) {
    Scene scene;
    PrimitiveAttributes hiddenFromShadows;
    hiddenFromShadows.shading = new ShadingAttributes();
    hiddenFromShadows.shading->rayShadows = false;
    Reference<Primitive> a = scene.ball(Ball{Point(0, 0, 0), 1.0f}, hiddenFromShadows);
    Reference<Primitive> b = scene.ball(Ball{Point(1, 0, 0), 1.0f});
    Reference<Primitive> uni = Scene::solid("union", a, b);
    Reference<Primitive> diff = Scene::solid("difference", a, b);
    EXPECT_EQ(uni->worldExtent(), Aabb(-1, 2, -1, 1, -1, 1));
    EXPECT_EQ(Scene::solid("intersection", a, b)->worldExtent(), Aabb(0, 1, -1, 1, -1, 1));
    EXPECT_EQ(diff->worldExtent(), Aabb(-1, 1, -1, 1, -1, 1));
    Hit hit;
    ASSERT_TRUE(diff->intersect(Ray(Point(5, 0, 0), Vector(-1, 0, 0)), hit));
    EXPECT_FLOAT_EQ(hit.t, 5.0f);
    EXPECT_TRUE(near(hit.env.Ng, Normal(1, 0, 0), 1e-5f));
    EXPECT_TRUE(near(hit.env.P, Point(0, 0, 0), 1e-5f));

    const Ray right(Point(-5, 0, 0), Vector(1, 0, 0));
    RayDifferential shadow, camera;
    shadow.type = RayDifferential::Transmission;
    hit = Hit();
    hit.env.ray = &shadow;
    hit.env.traceFlags = 5;
    ASSERT_TRUE(uni->intersect(right, hit));
    EXPECT_FLOAT_EQ(hit.t, 5.0f);  // A is not there for shadow rays: B alone
    EXPECT_EQ(hit.env.ray, &shadow);
    EXPECT_EQ(hit.env.traceFlags, 5u);
    EXPECT_EQ(hit.primitive, b.get());
    hit.env.ray = &camera;
    ASSERT_TRUE(uni->intersect(right, hit));
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    EXPECT_EQ(hit.primitive, a.get());
    EXPECT_TRUE(hit.shape);

    // A solid needs exactly two operands, neither null.
    const struct {
        const char* op;
        std::vector<Reference<Primitive>> operands;
        const char* message;
    } cases[] = {
        {"union",
         {a},
         "3 union: a solid operation needs exactly two operands, not 1. Ignoring ..."},
        {"intersection",
         {a, a, a},
         "3 intersection: a solid operation needs exactly two operands, not 3. Ignoring ..."},
        {"difference", {a, Reference<Primitive>()}, "3 difference: null operand. Ignoring ..."},
    };
    for (const auto& c : cases) {
        CaptureReports reports;
        std::vector<Reference<Primitive>> operands = c.operands;
        EXPECT_FALSE(makeAggregate(std::string(c.op) + ".shape.so", operands));
        EXPECT_EQ(reports.texts(), std::vector<std::string>{c.message});
    }
}

// Random rays through nested solids against a reference that samples point membership on both
// sides of every sphere crossing.
TEST(Solid, RandomRaysAgreeWithPointMembership) {
    Scene scene;
    const Ball A{Point(0, 0, 0), 1.0f}, B{Point(0.8f, 0.3f, 0), 0.9f},
        C{Point(-0.4f, -0.2f, 0.5f), 0.6f};
    Reference<Primitive> a = scene.ball(A), b = scene.ball(B), c = scene.ball(C);
    struct Combination {
        const char* name;
        Reference<Primitive> solid;
        Membership inside;
    };
    std::vector<Combination> cases = {
        {"union", Scene::solid("union", a, b),
         [&](const Point& p) { return A.contains(p) || B.contains(p); }},
        {"intersection", Scene::solid("intersection", a, b),
         [&](const Point& p) { return A.contains(p) && B.contains(p); }},
        {"difference", Scene::solid("difference", a, b),
         [&](const Point& p) { return A.contains(p) && !B.contains(p); }},
        {"a - (b | c)", Scene::solid("difference", a, Scene::solid("union", b, c)),
         [&](const Point& p) { return A.contains(p) && !(B.contains(p) || C.contains(p)); }},
        {"(a & b) | c", Scene::solid("union", Scene::solid("intersection", a, b), c),
         [&](const Point& p) { return (A.contains(p) && B.contains(p)) || C.contains(p); }},
    };

    std::mt19937 rng(11);
    std::uniform_real_distribution<float> pos(-2.0f, 2.0f), dir(-1.0f, 1.0f), unit(0.0f, 1.0f);
    int checked = 0, found = 0;
    for (int n = 0; n < 3000; ++n) {
        Vector d(dir(rng), dir(rng), dir(rng));
        if (d.length() < 0.1f) continue;
        Ray ray(Point(pos(rng), pos(rng), pos(rng)), d * (0.5f + unit(rng)));
        if (n % 3 == 1) ray.mint = unit(rng);
        if (n % 5 == 2) ray.maxt = 1.0f + 2.0f * unit(rng);

        std::vector<double> ts;
        for (const Ball* s : {&A, &B, &C})
            for (double t : s->crossings(ray)) ts.push_back(t);
        std::sort(ts.begin(), ts.end());
        // Leave out rays where two crossings, or a crossing and the ray's start, nearly meet.
        bool clean = true;
        const double len = ray.d.length();
        for (size_t i = 0; i < ts.size(); ++i) {
            if (std::fabs(ts[i] - ray.mint) * len < 2e-3) clean = false;
            if (std::fabs(ts[i] - ray.maxt) * len < 2e-3) clean = false;
            if (i && (ts[i] - ts[i - 1]) * len < 2e-3) clean = false;
        }
        if (!clean) continue;

        for (const Combination& k : cases) {
            double expected = -1.0;
            for (double t : ts) {
                if (t < ray.mint) continue;
                const Point before = ray(float(t - 1e-4)), after = ray(float(t + 1e-4));
                if (k.inside(before) != k.inside(after)) {
                    expected = t;
                    break;
                }
            }
            const bool expectHit = expected >= 0.0 && expected <= ray.maxt;
            Hit hit;
            const bool got = k.solid->intersect(ray, hit);
            ASSERT_EQ(got, expectHit) << k.name << " ray " << n;
            ASSERT_EQ(k.solid->intersect(ray), expectHit) << k.name << " ray " << n;
            ++checked;
            if (!got) continue;
            ++found;
            EXPECT_NEAR(hit.t, expected, 1e-4 * std::max(1.0, expected)) << k.name << " ray " << n;
            // The geometric normal points out of the combination.
            const Vector out = Vector(hit.env.Ng) * 2e-4f;
            EXPECT_FALSE(k.inside(hit.env.P + out)) << k.name << " ray " << n;
            EXPECT_TRUE(k.inside(hit.env.P - out)) << k.name << " ray " << n;
        }
    }
    EXPECT_GT(checked, 5000);
    EXPECT_GT(found, 1000);
}

}  // namespace
