// The patch plugins against surfaces worked out by hand: one set of bicubic control points in
// every basis, a NURBS sphere, heights over the unit square, and bilinear patches solved in
// closed form against the same surface traced through the grid.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

Point byHand(const std::vector<float>& g, const std::string& basis, double u, double v) {
    const auto wu = blend(basis, u), wv = blend(basis, v);
    double p[3] = {0, 0, 0};
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 3; ++c) p[c] += wu[i] * wv[j] * g[std::size_t(3 * (4 * j + i) + c)];
    return Point(float(p[0]), float(p[1]), float(p[2]));
}

TEST(Patches, OneGridInEveryBasisGivesTheBasisCurves) {
    const std::vector<float> grid = bentGrid();
    for (const char* basis : {"bezier", "bspline", "catmull-rom", "hermite", "power"}) {
        SCOPED_TRACE(basis);
        TestRenderer r;
        Reference<Shape> s = made(r, "bicubicpatch", bicubic(grid, basis), Transform(), noBias());
        auto want = [&](double u, double v) { return byHand(grid, basis, u, v); };
        for (double u = 0.05; u < 1.0; u += 0.1)
            for (double v = 0.05; v < 1.0; v += 0.15) {
                const Point p = want(u, v);
                const Hit h = hitDown(*s, p.x, p.y, 3.0f);
                EXPECT_TRUE(near(h.env.P, p, 2e-5f)) << u << " " << v;
                EXPECT_NEAR(h.t, 3.0f - p.z, 2e-5f);
                EXPECT_NEAR(h.env.u, u, 1e-4);
                EXPECT_NEAR(h.env.v, v, 1e-4);
                // The derivatives against differences of the formulas.
                const double e = 1e-3;
                const Vector du = (want(u + e, v) - want(u - e, v)) / float(2 * e),
                             dv = (want(u, v + e) - want(u, v - e)) / float(2 * e);
                EXPECT_TRUE(near(h.env.dPdu, du, 2e-3f));
                EXPECT_TRUE(near(h.env.dPdv, dv, 2e-3f));
                EXPECT_TRUE(near(h.env.Ng, unit(du ^ dv), 1e-3f));
            }
    }
}

// A sphere of radius 2 as a NURBS: a full circle of nine points along u revolved over a half
// circle of five along v, every corner point of weight √2/2.
std::string nurbsSphere() {
    const float w = std::sqrt(0.5f);
    const float cu[9][3] = {{1, 0, 1},   {1, 1, w},  {0, 1, 1},  {-1, 1, w}, {-1, 0, 1},
                            {-1, -1, w}, {0, -1, 1}, {1, -1, w}, {1, 0, 1}};
    const float cv[5][3] = {{0, -1, 1}, {1, -1, w}, {1, 0, 1}, {1, 1, w}, {0, 1, 1}};
    std::vector<float> pw;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 9; ++i) {
            const float weight = cu[i][2] * cv[j][2], r = 2.0f * cv[j][0];
            pw.insert(pw.end(), {r * cu[i][0] * weight, r * cu[i][1] * weight,
                                 2.0f * cv[j][1] * weight, weight});
        }
    return "int nu = 9; int uorder = 3; float[12] uknot = 0 0 0 1 1 2 2 3 3 4 4 4; float umin = 0; "
           "float umax = 4; int nv = 5; int vorder = 3; float[8] vknot = 0 0 0 1 1 2 2 2; float "
           "vmin = 0; float vmax = 2; vertex hpoint Pw = " +
           text(pw);
}

TEST(Patches, RationalNurbsSphereIsRound) {
    TestRenderer r;
    Reference<Shape> s = made(r, "nupatch", nurbsSphere(), Transform(), noBias());
    Rng rng(7);
    int hits = 0;
    for (int i = 0; i < 3000; ++i) {
        const Point o = Point(0, 0, 0) + 5.0f * rng.direction();
        const Ray ray(o, unit(rng.point(Point(-2.2f), Point(2.2f)) - o));
        // Where the ray passes the centre: well inside or well outside the sphere.
        const Vector toCentre = Point(0, 0, 0) - o;
        const float along = dot(toCentre, ray.d);
        const float miss = (toCentre - along * ray.d).length();
        Hit h;
        const bool got = s->intersect(ray, h);
        if (std::fabs(miss - 2.0f) < 0.01f) continue;  // grazing: either may do
        ASSERT_EQ(got, miss < 2.0f) << i;
        if (!got) continue;
        ++hits;
        EXPECT_NEAR(Vector(h.env.P).length(), 2.0f, 1e-4f);
        EXPECT_NEAR(h.t, along - std::sqrt(4.0f - miss * miss), 1e-4f);
        EXPECT_TRUE(near(h.env.Ng, unit(Vector(h.env.P)), 1e-3f));
        // dN/du of a sphere is dP/du over its radius.
        EXPECT_TRUE(near(h.env.dNdu, h.env.dPdu / 2.0f, 1e-2f * h.env.dPdu.length() + 1e-3f));
    }
    EXPECT_GT(hits, 800);
    EXPECT_NEAR(s->area(), 4.0f * Pi * 4.0f, 0.05f);
    EXPECT_GT(expectConsistentHits(*s, 7, 500), 100);
}

// "Pz" gives heights over the unit square: the corners (0, 0), (1, 0), (0, 1), (1, 1).
TEST(Patches, HeightsOverTheUnitSquare) {
    TestRenderer r;
    Reference<Shape> s =
        made(r, "bilinearpatch", "vertex float Pz = 0 0 1 1", Transform(), noBias());
    const Hit h = hitDown(*s, 0.3f, 0.6f);
    EXPECT_TRUE(near(h.env.P, Point(0.3f, 0.6f, 0.6f), 1e-5f));
    EXPECT_NEAR(h.env.u, 0.3f, 1e-5f);
    EXPECT_FALSE(s->intersect(down(1.2f, 0.6f)));
}

using F = std::vector<float>;

// A lone bilinear patch is solved in closed form; the same surface as a bicubic patch (its
// control points spread evenly over the quad) goes through the grid and Newton's method. Both
// must see the same hits, for flat and twisted quads and for one- and two-sided ones.
TEST(Quads, ClosedFormAgreesWithTheGrid) {
    struct Case {
        const char* what;
        F corners;  // (0,0), (1,0), (0,1), (1,1)
        bool twoSided;
    } const cases[] = {
        {"flat", F{-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}, true},
        {"twisted", F{-1, -1, 0.5f, 1, -1, -0.5f, -1, 1, -0.5f, 1, 1, 0.5f}, true},
        {"twisted, one-sided", F{-1, -1, 0.5f, 1, -1, -0.5f, -1, 1, -0.5f, 1, 1, 0.5f}, false},
        {"a kite", F{0, 0, 0, 2, 0.2f, 0.3f, 0.1f, 1, 0, 1.5f, 1.8f, -0.4f}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestRenderer r;
        F grid;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
                for (int k = 0; k < 3; ++k) {
                    const float u = float(i) / 3.0f, v = float(j) / 3.0f;
                    grid.push_back((1 - u) * (1 - v) * c.corners[k] +
                                   u * (1 - v) * c.corners[3 + k] + (1 - u) * v * c.corners[6 + k] +
                                   u * v * c.corners[9 + k]);
                }
        const ShapeAttributes a = attributes(c.twoSided, false, 1e-4f);
        Reference<Shape> q =
            made(r, "bilinearpatch", "vertex point P = " + text(c.corners), Transform(), a);
        Reference<Shape> b =
            made(r, "bicubicpatch", "vertex point P = " + text(grid), Transform(), a);
        Rng rng(11);
        int hits = 0;
        for (int i = 0; i < 3000; ++i) {
            const Point o(rng.range(-3, 3), rng.range(-3, 3), rng.range(-3, 3));
            const Point aim(rng.range(-1.2f, 1.2f), rng.range(-1.2f, 1.2f), rng.range(-0.6f, 0.6f));
            const Ray ray(o, rng.range(0.5f, 2.0f) * unit(aim - o), 0.0f, 1e30f);
            Hit hq, hb;
            const bool gq = q->intersect(ray, hq), gb = b->intersect(ray, hb);
            EXPECT_EQ(gq, q->intersect(ray)) << "ray " << i;
            // A ray that grazes an edge of the one it hits may miss the other.
            auto edge = [](const Hit& h) {
                return std::min(std::min(h.env.u, 1 - h.env.u), std::min(h.env.v, 1 - h.env.v)) <
                       1e-3f;
            };
            if (gq != gb && ((gq && edge(hq)) || (gb && edge(hb)))) continue;
            ASSERT_EQ(gq, gb) << "ray " << i;
            if (!gq) continue;
            // One-sided: where the surface turns edge-on the grid decides facing by its flat
            // cell, the closed form by the surface itself.
            if (!c.twoSided && std::fabs(hq.t - hb.t) > 1e-3f &&
                std::fabs(dot(hb.env.Ng, unit(ray.d))) < 0.2f)
                continue;
            ++hits;
            EXPECT_NEAR(hq.t, hb.t, 1e-4f * (1 + hb.t)) << "ray " << i;
            EXPECT_NEAR(hq.env.u, hb.env.u, 1e-3f) << "ray " << i;
            EXPECT_NEAR(hq.env.v, hb.env.v, 1e-3f) << "ray " << i;
            EXPECT_GT(dot(hq.env.Ng, hb.env.Ng), 0.999f) << "ray " << i;
            EXPECT_TRUE(near(hq.env.dPdu, hb.env.dPdu, 1e-3f)) << "ray " << i;
            EXPECT_TRUE(near(hq.env.dNdu, hb.env.dNdu, 1e-2f)) << "ray " << i;
        }
        EXPECT_GT(hits, 500);
    }
}

}  // namespace
