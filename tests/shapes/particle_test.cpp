// The particle plugin: points drawn as spheres of their width, against exact hits and a
// brute-force test over every sphere.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// n points in [-1, 1]³ of widths from 0.01 to 0.12.
struct Cloud {
    Cloud(int n, uint32_t seed) {
        Rng rng(seed);
        for (int i = 0; i < n; ++i) {
            P.insert(P.end(), {rng.range(-1, 1), rng.range(-1, 1), rng.range(-1, 1)});
            width.push_back(rng.range(0.01f, 0.12f));
        }
    }
    std::vector<float> P, width;
};

struct Nearest {
    bool hit = false;
    double t = 1e30;
    int index = -1;
    double slack = 1e30;  // how far from grazing the nearest hit ball is
};

Nearest bruteForce(const Cloud& c, const Ray& ray) {
    Nearest best;
    best.t = ray.maxt;
    const double dx = ray.d.x, dy = ray.d.y, dz = ray.d.z;
    const double a = dx * dx + dy * dy + dz * dz;
    for (std::size_t i = 0; i < c.width.size(); ++i) {
        const double r = 0.5 * c.width[i];
        const double ox = ray.o.x - double(c.P[3 * i]), oy = ray.o.y - double(c.P[3 * i + 1]),
                     oz = ray.o.z - double(c.P[3 * i + 2]);
        const double b = ox * dx + oy * dy + oz * dz, cc = ox * ox + oy * oy + oz * oz - r * r;
        const double disc = b * b - a * cc;
        if (disc < 0.0) continue;
        for (double t : {(-b - std::sqrt(disc)) / a, (-b + std::sqrt(disc)) / a}) {
            if (t < ray.mint || t >= best.t) continue;
            best = Nearest{true, t, int(i), disc / (a * r * r)};
            break;
        }
    }
    return best;
}

TEST(Particle, RandomRaysAgreeWithABruteForceTest) {
    TestRenderer r;
    const Cloud cloud(3000, 12);
    Reference<Shape> s =
        made(r, "particle",
             "vertex point P = " + text(cloud.P) + "; vertex float width = " + text(cloud.width),
             Transform(), noBias());
    Rng rng(13);
    int hits = 0;
    for (int i = 0; i < 3000; ++i) {
        const Point o = rng.point(Point(-2), Point(2)), aim = rng.point(Point(-1), Point(1));
        const Ray ray(o, rng.range(0.5f, 2.0f) * unit(aim - o), rng.range(0.0f, 0.5f),
                      rng.range(1.0f, 6.0f));
        const Nearest ref = bruteForce(cloud, ray);
        Hit h;
        const bool got = s->intersect(ray, h);
        if (ref.hit && ref.slack < 1e-4) continue;  // grazing: either answer will do
        ASSERT_EQ(got, ref.hit) << "ray " << i;
        if (!got) continue;
        ++hits;
        EXPECT_NEAR(h.t, ref.t, 1e-4 * (1.0 + ref.t));
        EXPECT_EQ(int(h.env.face), ref.index);
        const Point centre(&cloud.P[3 * ref.index]);
        EXPECT_NEAR((h.env.P - centre).length(), 0.5f * cloud.width[ref.index], 1e-5f);
        EXPECT_TRUE(near(h.env.Ng, unit(h.env.P - centre), 1e-3f));
    }
    EXPECT_GT(hits, 500);
}

TEST(Particle, PointsAreSpheresOfTheirWidth) {
    TestRenderer r;
    Reference<Shape> s =
        made(r, "particle", "vertex point P = 0 0 0 1 0 0 2 0 0; vertex float width = 0.2 0.4 0.6");
    // The top of a sphere: v = 1; its side at phi = 90 degrees: u = 0.25, v = 0.5.
    EXPECT_NEAR(hitDown(*s, 1, 0).env.v, 1.0f, 1e-5f);
    const Hit h = hitOf(*s, Ray(Point(1, 5, 0), Vector(0, -1, 0)));
    EXPECT_NEAR(h.env.u, 0.25f, 1e-6f);
    EXPECT_NEAR(h.env.v, 0.5f, 1e-6f);
    // dPdu turns about the point's centre; the normal's derivatives are P's over the radius.
    EXPECT_TRUE(near(h.env.dPdu, Vector(-TwoPi * 0.2f, 0, 0), 1e-5f));
    EXPECT_TRUE(near(h.env.dPdv, Vector(0, 0, Pi * 0.2f), 1e-5f));
    EXPECT_TRUE(near(h.env.dNdu, h.env.dPdu / 0.2f, 1e-4f));
    EXPECT_TRUE(near(h.env.dNdv, h.env.dPdv / 0.2f, 1e-4f));
    EXPECT_NEAR(s->area(), Pi * (0.04 + 0.16 + 0.36), 1e-5);
    const Aabb b = s->objectExtent();
    EXPECT_NEAR(b.bmin[0], -0.1f, 1e-6f);
    EXPECT_NEAR(b.bmax[0], 2.3f, 1e-6f);
    EXPECT_NEAR(b.bmax[1], 0.3f, 1e-6f);

    // "constantwidth" for all; a point of width 0 is not drawn.
    Reference<Shape> c = made(r, "particle",
                              "vertex point[3] P = 0 0 0 1 0 0 2 0 0; float constantwidth = 0.5; "
                              "vertex color C = 1 0 0 0 1 0 0 0 1; perpiece float s = 0.25");
    ASSERT_TRUE(c->getS());
    const Hit g = hitDown(*c, 1, 0);
    EXPECT_NEAR(g.t, 4.75f, 1e-5f);
    EXPECT_TRUE(near(Tuple(at(c->getCs(), g)), Tuple(0, 1, 0), 0.0f));
    EXPECT_EQ(c->getS()->valueAt(g.env.face, 0.3f, 0.3f), 0.25f);
    EXPECT_NEAR(c->area(), 3.0 * Pi * 0.25, 1e-5);
    Reference<Shape> one =
        made(r, "particle", "vertex point P = 0 0 0 1 0 0; vertex float width = 0 0.5");
    EXPECT_FALSE(one->intersect(down(0, 0)));
    EXPECT_EQ(hitDown(*one, 1, 0).env.face, 1u);  // the input index, whatever the tree's order
    EXPECT_NEAR(one->area(), Pi * 0.25, 1e-6);
}

// Orientation, mirroring and one-sidedness: when the near side turns its back, the ray goes on
// to the far side, which then faces it from inside.
TEST(Particle, OrientationTurnsTheNormalsAndTheSideSeen) {
    TestRenderer r;
    forEachOrientation("particle", [&](const Transform& t, const ShapeAttributes& a, float sign,
                                       bool twoSided) {
        Reference<Shape> ball =
            made(r, "particle", "vertex point P = 0 0 0; float constantwidth = 2", t, a);
        const bool nearSide = twoSided || sign > 0.0f;
        const Hit g = hitDown(*ball, 0, 0);
        EXPECT_NEAR(g.t, nearSide ? 4.0f : 6.0f, 1e-5f);
        EXPECT_TRUE(near(g.env.Ng, Normal(0, 0, sign * (nearSide ? 1.0f : -1.0f)), 1e-6f));
        EXPECT_TRUE(near(g.env.dNdu, sign * g.env.dPdu, 1e-4f));
        EXPECT_EQ(ball->intersect(Ray(Point(0, 0, 0), Vector(0, 0, 1))), twoSided || sign < 0.0f);
    });
}

}  // namespace
