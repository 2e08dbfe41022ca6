// The quadric plugins against their implicit equations and analytic areas: sampled points,
// rays from outside and inside, normals under orientation and mirroring, one-sided shapes,
// derivatives against finite differences, bounds, each shape's own exact hits, and the arc
// tangent their parameters come from.
#include "core/math/constants.h"
#include "plugins/shapes/shape_common.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

float rhoOf(const Point& p) { return std::sqrt(p.x * p.x + p.y * p.y); }

// Within the cut, to rounding: z (or rho) between lo and hi, the angle about z up to `sweep`
// degrees.
bool zIn(const Point& p, float lo, float hi) { return p.z >= lo - 1e-4f && p.z <= hi + 1e-4f; }
bool rhoIn(const Point& p, float lo, float hi) {
    return rhoOf(p) >= lo - 1e-4f && rhoOf(p) <= hi + 1e-4f;
}
bool swept(const Point& p, float sweep) {
    float phi = std::atan2(p.y, p.x);
    return (phi < 0.0f ? phi + TwoPi : phi) <= radians(sweep) + 1e-4f;
}

const struct QuadricCase {
    std::string name, type, params;
    std::function<float(const Point&)> residual;  // distance-like, 0 on the full surface
    std::function<Vector(const Point&)> outward;
    std::function<bool(const Point&)> inCut;
    double area;
    float scale;
} Cases[] = {
    {"cut sphere", "sphere",
     "float radius = 1.5; float zmin = -0.5; float zmax = 1.2; float thetamax = 250",
     [](const Point& p) { return p.length() - 1.5f; }, [](const Point& p) { return Vector(p); },
     [](const Point& p) { return zIn(p, -0.5f, 1.2f) && swept(p, 250); },
     radians(250.0f) * 1.5 * 1.7, 1.5f},
    {"cylinder", "cylinder",
     "float radius = 0.75; float zmin = -1; float zmax = 2; float thetamax = 300",
     [](const Point& p) { return rhoOf(p) - 0.75f; },
     [](const Point& p) { return Vector(p.x, p.y, 0.0f); },
     [](const Point& p) { return zIn(p, -1, 2) && swept(p, 300); }, radians(300.0f) * 0.75 * 3.0,
     2.0f},
    // Frustum of the cone of height 2 and base radius 1, between z = 0.25 and 1.5.
    {"cone", "cone", "float height = 2; float radius = 1; float zmin = 0.25; float zmax = 1.5",
     [](const Point& p) { return rhoOf(p) - (1.0f - p.z / 2.0f); },
     [](const Point& p) { return Vector(p.x, p.y, 0.5f * (1.0f - p.z / 2.0f)); },
     [](const Point& p) { return zIn(p, 0.25f, 1.5f); },
     Pi*(0.875 + 0.25) * std::sqrt(0.625 * 0.625 + 1.25 * 1.25), 1.0f},
    // A cone pointing down, from its base at z = 0 to its apex at z = -1.5, half swept.
    {"downward cone", "cone", "float height = -1.5; float radius = 0.8; float thetamax = 200",
     [](const Point& p) { return rhoOf(p) - 0.8f * (1.0f + p.z / 1.5f); },
     [](const Point& p) { return Vector(p.x, p.y, -(0.8f / 1.5f) * 0.8f * (1.0f + p.z / 1.5f)); },
     [](const Point& p) { return zIn(p, -1.5f, 0) && swept(p, 200); },
     radians(200.0f) / 2.0 * 0.8 * std::sqrt(0.8 * 0.8 + 1.5 * 1.5), 1.0f},
    {"annulus", "disk",
     "float height = 0.5; float innerRadius = 0.3; float outerRadius = 1.2; float thetamax = 270",
     [](const Point& p) { return p.z - 0.5f; }, [](const Point&) { return Vector(0, 0, 1); },
     [](const Point& p) { return rhoIn(p, 0.3f, 1.2f) && swept(p, 270); },
     radians(270.0f) / 2.0 * (1.44 - 0.09), 1.2f},
    // z = 2·rho²: radius 1 at zmax = 2, k = 0.5.
    {"paraboloid", "paraboloid", "float radius = 1; float zmin = 0.2; float zmax = 2",
     [](const Point& p) { return rhoOf(p) - std::sqrt(0.5f * p.z); },
     [](const Point& p) { return Vector(p.x, p.y, -0.25f); },
     [](const Point& p) { return zIn(p, 0.2f, 2); },
     Pi * 0.25 / 6.0 *
         (std::pow(1.0 + 4.0 * 2.0 / 0.5, 1.5) - std::pow(1.0 + 4.0 * 0.2 / 0.5, 1.5)),
     1.0f},
    // The default hyperboloid: rho² = 1 + z² for -1 <= z <= 1.
    {"hyperboloid", "hyperboloid", "float thetamax = 300",
     [](const Point& p) { return rhoOf(p) - std::sqrt(1.0f + p.z * p.z); },
     [](const Point& p) { return Vector(p.x, p.y, -p.z); },
     [](const Point& p) { return zIn(p, -1, 1); },
     radians(300.0f) * (std::sqrt(3.0) + std::asinh(std::sqrt(2.0)) / std::sqrt(2.0)), 1.4f},
    // A segment through a plane of the axis: the cone of height 1 and base radius 1.
    {"hyperboloid cone", "hyperboloid", "point bottom = 1 0 0; point top = 0 0 1",
     [](const Point& p) { return rhoOf(p) - (1.0f - p.z); },
     [](const Point& p) { return Vector(p.x, p.y, 1.0f - p.z); },
     [](const Point& p) { return zIn(p, 0, 1); }, Pi* std::sqrt(2.0), 1.0f},
    // A segment at one height: the flat annulus 0.5 <= rho <= 2 at z = 1.
    {"hyperboloid annulus", "hyperboloid", "point bottom = 0.5 0 1; point top = 2 0 1",
     [](const Point& p) { return p.z - 1.0f; }, [](const Point&) { return Vector(0, 0, 1); },
     [](const Point& p) { return rhoIn(p, 0.5f, 2); }, Pi*(4.0 - 0.25), 2.0f},
    {"cut torus", "torus",
     "float majorRadius = 1.2; float minorRadius = 0.4; float phimin = -45; float phimax = 200; "
     "float thetamax = 280",
     [](const Point& p) { return std::hypot(rhoOf(p) - 1.2f, p.z) - 0.4f; },
     [](const Point& p) {
         const float r = rhoOf(p);
         return Vector(p.x - 1.2f * p.x / r, p.y - 1.2f * p.y / r, p.z);
     },
     [](const Point& p) {
         float phi = degrees(std::atan2(p.z, rhoOf(p) - 1.2f));
         if (phi < -45.0f - 1e-2f) phi += 360.0f;
         return swept(p, 280) && phi <= 200.0f + 1e-2f;
     },
     radians(280.0f) * 0.4 *
         (1.2 * radians(245.0f) + 0.4 * (std::sin(radians(200.0f)) - std::sin(radians(-45.0f)))),
     1.6f},
};

// Surface points spread over the whole (u, v) square, away from its edges when `inner`.
std::vector<std::pair<float, float>> grid(int n, bool inner) {
    std::vector<std::pair<float, float>> uv;
    const float lo = inner ? 0.08f : 0.0f, hi = inner ? 0.92f : 0.999f;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            uv.push_back({lo + (hi - lo) * (i + 0.5f) / n, lo + (hi - lo) * (j + 0.37f) / n});
    return uv;
}

// The area, samples on the cut surface with the outward normal, a bound that holds them, and
// random rays that land on the cut surface.
TEST(Quadrics, AreasSamplesAndRandomRaysMatchTheSurface) {
    TestRenderer r;
    for (const QuadricCase& c : Cases) {
        SCOPED_TRACE(c.name);
        Reference<Shape> s = made(r, c.type, c.params, Transform(), attributes());
        EXPECT_NEAR(s->area(), c.area, 2e-5 * c.area);
        Aabb seen;
        for (auto uv : grid(24, false)) {
            ShaderEnvironment env;
            s->sample(env, Point(0.0f), uv.first, uv.second);
            EXPECT_NEAR(c.residual(env.P), 0.0f, 2e-5f * c.scale);
            EXPECT_TRUE(c.inCut(env.P));
            EXPECT_TRUE(near(env.Ng, unit(c.outward(env.P)), 2e-3f));
            seen += env.P;
        }
        // The bound holds the surface and little more (a partial sweep may keep a circle's
        // extent across).
        const Aabb box = s->objectExtent();
        for (int a = 0; a < 3; ++a) {
            EXPECT_LE(box.bmin[a], seen.bmin[a]);
            EXPECT_GE(box.bmax[a], seen.bmax[a]);
            EXPECT_LT(box.bmax[a] - box.bmin[a], seen.bmax[a] - seen.bmin[a] + 0.6f * c.scale);
        }
        EXPECT_GT(expectConsistentHits(*s, 11, 2000, 0.02f, true,
                                       [&](const ShaderEnvironment& e) {
                                           EXPECT_NEAR(c.residual(e.P), 0.0f, 1e-4f * c.scale);
                                           EXPECT_TRUE(c.inCut(e.P));
                                       }),
                  200);
    }
}

// Rays from outside and inside onto sampled points, under reversed orientation and mirroring:
// the hit is the sampled point with its parameters, the normal faces the oriented outside, and
// dPdu, dPdv, dNdu, dNdv match central differences of hits a small step away. A one-sided shape
// shows only its front; a ray at its back goes on.
TEST(Quadrics, HitsFindTheSampledPointUnderEveryOrientation) {
    TestRenderer r;
    Rng rng(3);
    for (const QuadricCase& c : Cases)
        forEachOrientation(c.name, [&](const Transform& t, const ShapeAttributes& a, float sign,
                                       bool twoSided) {
            Reference<Shape> s = made(r, c.type, c.params, t, a);
            const float delta = 0.05f * c.scale;
            for (auto uv : grid(5, true)) {
                Hit sampled, h0, behind;
                s->sample(sampled.env, Point(0.0f), uv.first, uv.second);
                const Point P = sampled.env.P;
                const Vector n = unit(c.outward(P)), front = sign * n;
                EXPECT_TRUE(near(sampled.env.Ng, front, 2e-3f));
                if (!twoSided) {
                    EXPECT_NEAR(hitOf(*s, Ray(P + delta * front, -front)).t, delta,
                                1e-4f * c.scale);
                    if (s->intersect(Ray(P - delta * front, front), behind)) {
                        EXPECT_GT(behind.t, delta + 1e-3f * c.scale);
                    }
                    continue;
                }
                // From outside against the normal, then from inside along it.
                for (const float sgn : {1.0f, -1.0f}) {
                    const float speed = rng.range(0.5f, 2.0f);
                    const Hit& hit = h0 = hitOf(*s, Ray(P + (sgn * delta) * n, (-sgn * speed) * n));
                    EXPECT_NEAR(hit.t, delta / speed, 1e-4f * c.scale / speed);
                    EXPECT_TRUE(near(hit.env.P, P, 1e-4f * c.scale));
                    EXPECT_TRUE(near(hit.env.Ng, front, 1e-3f));
                    EXPECT_NEAR(hit.env.u, sampled.env.u, 1e-4f);
                    EXPECT_NEAR(hit.env.v, sampled.env.v, 1e-3f);
                    EXPECT_TRUE(
                        near(hit.env.dPdu, sampled.env.dPdu, 2e-3f * hit.env.dPdu.length()));
                }
                // h0 is the hit from inside; step along dPdu and dPdv from it.
                const float h = 2e-3f;
                for (int dir = 0; dir < 2; ++dir) {
                    const Vector step = dir == 0 ? h0.env.dPdu : h0.env.dPdv;
                    const Hit plus = hitOf(*s, Ray(h0.env.P + h * step + delta * n, -n)),
                              minus = hitOf(*s, Ray(h0.env.P - h * step + delta * n, -n));
                    EXPECT_NEAR((plus.env.u - minus.env.u) / (2.0f * h), 1.0f - dir, 5e-3f);
                    EXPECT_NEAR((plus.env.v - minus.env.v) / (2.0f * h), float(dir), 5e-3f);
                    const Vector dN = (plus.env.Ng - minus.env.Ng) / (2.0f * h);
                    const Vector expected = dir == 0 ? h0.env.dNdu : h0.env.dNdv;
                    EXPECT_TRUE(near(dN, expected, 1e-2f * (expected.length() + 1.0f))) << dir;
                }
            }
        });
}

// ---- each shape's own exact answers ----

struct ExactHit {
    const char* what;
    const char* type;
    std::string params;
    Ray ray;
    float t;  // below 0: the ray misses
    Normal Ng;
    float u = -1.0f, v = -1.0f;  // checked when not negative
};

// Within three units in the last place of atan2 in double precision, with its sign (of a zero
// too): signed zeros, the axes, both sides of the switch at tan(pi/8), ratios that underflow,
// and a sweep of every direction at several scales.
TEST(Quadrics, ArcTangentFollowsTheLibrary) {
    auto check = [](float y, float x) {
        const double exact = std::atan2(double(y), double(x));
        const double ulp = exact == 0.0 ? 0.0 : std::ldexp(1.0, std::ilogb(float(exact)) - 23);
        const float got = ovo::shapes::arcTangent(y, x);
        EXPECT_LE(std::fabs(double(got) - exact), 3.0 * ulp) << y << ", " << x;
        EXPECT_EQ(std::signbit(got), std::signbit(exact)) << y << ", " << x;
    };
    const float values[] = {0.0f,  -0.0f, 1e-30f, -3e-8f, 0.25f, -0.41421354f, 0.41421360f, 0.7f,
                            -1.0f, 1.0f,  2.4f,   -7.5f,  1e6f,  -1e30f,       0.41421357f, 1e-6f};
    for (float y : values)
        for (float x : values) check(y, x);
    for (float scale : {1e-3f, 1.0f, 5e4f})
        for (int k = 0; k < 20000; ++k) {
            const double a = -Pi + TwoPi * (k + 0.37) / 20000.0;
            check(float(scale * std::sin(a)), float(scale * std::cos(a)));
        }
    EXPECT_TRUE(std::isnan(ovo::shapes::arcTangent(NAN, 1.0f)));
    EXPECT_TRUE(std::isnan(ovo::shapes::arcTangent(1.0f, NAN)));
}

TEST(Quadrics, ExactHitsAndMisses) {
    // The cylinder of radius 0.5 from z = 0 to 2, the cone of height 2 and radius 1, the annulus
    // 0.5..2 at z = 1, the bowl z = rho² up to 1, the hyperboloid wall at rho = 1 swept over
    // 90..180 degrees, and the torus 1/0.3.
    const std::string none, cone = "float height = 2; float radius = 1";
    const std::string cylinder = "float radius = 0.5; float zmin = 0; float zmax = 2";
    const std::string annulus = "float height = 1; float innerRadius = 0.5; float outerRadius = 2";
    const std::string bowl = "float radius = 1; float zmin = 0; float zmax = 1";
    const std::string wall = "point bottom = 0 1 0; point top = 0 1 2; float thetamax = 90";
    const std::string torus = "float majorRadius = 1; float minorRadius = 0.3";
    const float x1 = std::sqrt(0.99f), x75 = std::sqrt(0.75f);
    const Vector z(0, 0, 1), x(1, 0, 0);
    const std::vector<ExactHit> cases = {
        // Tangent at (1, 0, 0): the double root is a hit, just outside misses.
        {"grazing", "sphere", none, Ray(Point(1, 0, -5), z), 5, Normal(1, 0, 0)},
        {"just outside", "sphere", none, Ray(Point(1.0001f, 0, -5), z), -1, Normal()},
        // From the surface (the shapes keep a bias of 0.01): outwards the root at t = 0 is
        // within the bias and nothing else is there; inwards the far side is.
        {"outwards", "sphere", none, Ray(Point(1, 0, 0), x), -1, Normal()},
        {"inwards", "sphere", none, Ray(Point(1, 0, 0), -x), 2, Normal(-1, 0, 0)},
        {"equator", "sphere", none, Ray(Point(0, 5, 0), Vector(0, -1, 0)), 4, Normal(0, 1, 0),
         0.25f, 0.5f},
        // A cut lets rays through to the far side.
        {"through the wedge", "sphere", "float thetamax = 90", Ray(Point(-5, 0.1f, 0), x), 5 + x1,
         Normal(x1, 0.1f, 0), std::atan2(0.1f, x1) / PiOver2},
        {"cylinder side", "cylinder", cylinder, Ray(Point(-5, 0, 0.5f), x), 4.5f, Normal(-1, 0, 0),
         0.5f, 0.25f},
        // At the apex only t and v are defined.
        {"apex", "cone", cone, Ray(Point(0, 0, 5), -z), 3, Normal(0.0f), -1, 1},
        {"annulus", "disk", annulus, Ray(Point(0, -1, 5), Vector(0, 0, -2)), 2, Normal(0, 0, 1),
         0.75f, (2.0f - 1.0f) / 1.5f},
        {"in its plane", "disk", annulus, Ray(Point(-5, 1, 1), x), -1, Normal()},
        {"bowl bottom", "paraboloid", bowl, Ray(Point(0, 0, 5), -z), 5, Normal(0, 0, -1)},
        {"inside the sweep", "hyperboloid", wall, Ray(Point(-5, 0.5f, 1), x), 5 - x75,
         Normal(-x75, 0.5f, 0), (radians(150.0f) - PiOver2) / PiOver2, 0.5f},
        {"outer rim", "torus", torus, Ray(Point(-5, 0, 0), x), 3.7f, Normal(-1, 0, 0), 0.5f, 0},
        // A torus may have no hole at all.
        {"no hole", "torus", "float majorRadius = 0; float minorRadius = 0.5",
         Ray(Point(5, 0, 0), -x), 4.5f, Normal(1, 0, 0)},
        {"over the tube", "torus", torus, Ray(Point(-50, 0, 0.301f), x), -1, Normal()},
    };
    TestRenderer r;
    for (const ExactHit& c : cases) {
        SCOPED_TRACE(c.what);
        Reference<Shape> s = made(r, c.type, c.params);
        Hit hit;
        ASSERT_EQ(s->intersect(c.ray, hit), c.t >= 0.0f);
        EXPECT_EQ(s->intersect(c.ray), c.t >= 0.0f);
        if (c.t < 0.0f) continue;
        EXPECT_NEAR(hit.t, c.t, 1e-5f);
        EXPECT_TRUE(near(hit.env.P, c.ray(c.t), 1e-4f));
        EXPECT_TRUE(c.Ng.length() == 0.0f || near(hit.env.Ng, c.Ng, 1e-4f));
        EXPECT_TRUE(c.u < 0.0f || std::fabs(hit.env.u - c.u) <= 1e-5f) << hit.env.u;
        EXPECT_TRUE(c.v < 0.0f || std::fabs(hit.env.v - c.v) <= 1e-5f) << hit.env.v;
    }

    // Near-grazing over the top of the tube, from far away, still hits.
    EXPECT_TRUE(make(r, "torus", torus)->intersect(Ray(Point(-50, 0, 0.299f), x)));
}

TEST(Quadrics, PrimitiveVariablesAreConstantOrBilinear) {
    TestRenderer r;
    // The values are given as the renderer gives arrays without their lengths.
    Reference<Shape> s = made(r, "sphere",
                              "linear float s = 0 1 2 3 #1; color C = 0.2 0.4 0.6; vertex normal N "
                              "= 0 0 1 0 0 1 1 0 0 1 0 0 #1; float[2] st = 0.3 0.7");
    ASSERT_TRUE(s->getCs() && s->getN() && s->getT());
    const Hit h = hitOf(*s, Ray(Point(0, 5, 0), Vector(0, -1, 0)));  // u 0.25, v 0.5
    // Bilinear in (u, v): corners 0, 1, 2, 3 at (0,0), (1,0), (0,1), (1,1) (the derivatives are
    // the interpolator's own, tested with it).
    EXPECT_NEAR(at(s->getS(), h), 1.25f, 1e-5f);
    EXPECT_TRUE(near(Tuple(s->getCs()->value(0.9f, 0.1f)), Tuple(0.2f, 0.4f, 0.6f), 0.0f));
    EXPECT_TRUE(near(s->getN()->value(0.5f, 0.25f), Normal(0.25f, 0, 0.75f), 1e-6f));
    // "st" made s as well here only when "s" was not given: t comes from it.
    EXPECT_NEAR(s->getT()->value(0.1f, 0.9f), 0.7f, 0.0f);

    Reference<Shape> d =
        made(r, "disk", "linear float[2] st = 0 10 1 11 0 12 1 13 #1; perpiece color C = 1 0 0");
    ASSERT_TRUE(d->getS() && d->getT() && d->getCs());
    EXPECT_NEAR(d->getS()->value(0.25f, 0.5f), 0.25f, 1e-6f);
    EXPECT_NEAR(d->getT()->value(0.25f, 0.5f), 11.25f, 1e-5f);
    EXPECT_TRUE(near(Tuple(d->getCs()->value(0.5f, 0.5f)), Tuple(1, 0, 0), 0.0f));
    // A type the variable cannot have is declined.
    EXPECT_EQ(
        made(r, "disk", "float C = 1")->createColorInterpolator(*r.lists.back().set.find("C")),
        nullptr);
}

}  // namespace
