// A lone bilinear patch is solved in closed form; the same surface as a bicubic patch (its
// control points spread evenly over the quad) goes through the grid and Newton's method. Both
// must see the same hits, for flat and twisted quads and for one- and two-sided ones.
#include <gtest/gtest.h>

#include "tests/shapes/shape_test_util.h"

namespace ovotest {
namespace {

using F = std::vector<float>;

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
}  // namespace ovotest
