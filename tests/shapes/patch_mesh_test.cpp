// Patch meshes and NURBS beyond the single patch: trim loops against their areas, periodic
// meshes without a seam, the classes of primitive variables, normals across seams.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// A loop of trim curves for the trimcurves plugin: one NURBS curve of (u·w, v·w, w) points.
std::string trimLoop(int order, const std::vector<float>& knots, const std::vector<float>& uvw) {
    const std::size_t n = uvw.size() / 3;
    return "int[1] ncurves = 1; int[1] n = " + std::to_string(n) +
           "; int[1] order = " + std::to_string(order) + "; float[] knot = " + text(knots) +
           "; float[1] min = " + text({knots[std::size_t(order - 1)]}) +
           "; float[1] max = " + text({knots[n]}) + "; vertex point P = " + text(uvw);
}

// The area of a shape in z = 0 over the unit square, counted by rays straight down.
float seenArea(const Reference<Shape>& s) {
    const int n = 300;
    int hits = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) hits += s->intersect(down((i + 0.5f) / n, (j + 0.5f) / n, 1));
    return float(hits) / float(n * n);
}

TEST(PatchMeshes, TrimLoopsCutTheirOwnArea) {
    const float w = std::sqrt(0.5f), radius = 0.3f;
    // A circle of radius 0.3 about (0.5, 0.5): nine points of a rational quadratic.
    std::vector<float> circle;
    const float cx[9] = {1, 1, 0, -1, -1, -1, 0, 1, 1}, cy[9] = {0, 1, 1, 1, 0, -1, -1, -1, 0};
    for (int k = 0; k < 9; ++k) {
        const float weight = k % 2 ? w : 1.0f;
        circle.insert(circle.end(),
                      {(0.5f + radius * cx[k]) * weight, (0.5f + radius * cy[k]) * weight, weight});
    }
    // A square of side 0.4, its corners joined by straight segments.
    const struct {
        const char* name;
        std::string trim;
        float area;
    } loops[] = {
        {"circle", trimLoop(3, {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4}, circle), Pi * radius * radius},
        {"square",
         trimLoop(2, {0, 0, 1, 2, 3, 4, 4},
                  {0.3f, 0.3f, 1, 0.7f, 0.3f, 1, 0.7f, 0.7f, 1, 0.3f, 0.7f, 1, 0.3f, 0.3f, 1}),
         0.16f}};
    for (const auto& loop : loops)
        for (bool inside : {true, false})
            for (int n : {2, 40}) {
                SCOPED_TRACE(std::string(loop.name) + (inside ? " inside " : " outside ") +
                             std::to_string(n));
                TestRenderer r;
                Reference<Shape> trim = made(r, "trimcurves", loop.trim);
                EXPECT_FALSE(trim->intersect(down(0.5f, 0.5f)));
                ShapeAttributes a = noBias();
                a.trimCurves->curves.push_back(trim);
                a.trimSenseInside = inside;
                EXPECT_NEAR(seenArea(made(r, "nupatch", flatNurbs(n), Transform(), a)),
                            inside ? 1.0f - loop.area : loop.area, 0.005f);
            }
    // umin and umax keep a part of the surface, and u still runs from 0 to 1 over it.
    TestRenderer r;
    Reference<Shape> s = made(r, "nupatch", flatNurbs(2, 0.25f, 0.75f), Transform(), noBias());
    EXPECT_NEAR(seenArea(s), 0.5f, 0.005f);
    const Hit h = hitDown(*s, 0.3f, 0.4f, 1);
    EXPECT_NEAR(h.env.u, 0.1f, 1e-5f);
    EXPECT_NEAR(h.env.v, 0.4f, 1e-5f);
    EXPECT_TRUE(near(h.env.dPdu, Vector(0.5f, 0, 0), 1e-5f));
}

// A B-spline mesh closed in u as the reader hands it over (its first three columns repeated): a
// tube about z with no seam in its normal, u running once around.
TEST(PatchMeshes, PeriodicMeshesCloseWithoutASeam) {
    std::vector<float> P;
    const int around = 8, rows = 5;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < around + 3; ++i) {
            const float a = TwoPi * float(i % around) / around;
            P.insert(P.end(), {std::cos(a), std::sin(a), float(j) - 2.0f});
        }
    TestRenderer r;
    const std::string mesh = "int nu = 11; int nv = 5; string basis = bspline; vertex point P = ";
    Reference<Shape> s = made(r, "bicubicpatch", mesh + text(P), Transform(), noBias());
    Hit previous;
    int wraps = 0;
    for (int k = 0; k <= 720; ++k) {
        const float a = TwoPi * float(k) / 720.0f;
        const Vector out(std::cos(a), std::sin(a), 0.0f);
        const Hit h = hitOf(*s, Ray(Point(0, 0, 0.3f) + 3.0f * out, -out));
        EXPECT_GT(dot(h.env.Ng, out), 0.99f);
        if (k > 0) {
            EXPECT_GT(dot(h.env.Ng, previous.env.Ng), std::cos(0.03f)) << k;
            EXPECT_LT((h.env.P - previous.env.P).length(), 0.02f) << k;
            if (h.env.u < previous.env.u) ++wraps;
        }
        previous = h;
    }
    EXPECT_EQ(wraps, 1);
}

// A flat 7 × 4 Bézier mesh (two patches by one) over [0, 2] × [0, 1] with the variables of
// every class.
TEST(PatchMeshes, VariablesOfEveryClass) {
    std::vector<float> P;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 7; ++i) P.insert(P.end(), {float(i) / 3.0f, float(j) / 3.0f, 0.0f});
    TestRenderer r;
    // The colour like the points, s at the patches' corners.
    const std::string mesh =
        "int nu = 7; int nv = 4; linear float s = 0 1 4 10 20 40; perpiece "
        "color opacity = 0.25 0 0 0.75 0 0; vertex point P = ";
    Reference<Shape> s = made(r, "bicubicpatch", mesh + text(P) + "; vertex color C = " + text(P),
                              Transform(), noBias());
    for (float x : {0.1f, 0.6f, 1.2f, 1.9f})
        for (float y : {0.2f, 0.7f}) {
            SCOPED_TRACE(std::to_string(x) + " " + std::to_string(y));
            const Hit h = hitDown(*s, x, y, 1);
            const unsigned f = h.env.face;
            EXPECT_EQ(f, x < 1.0f ? 0u : 1u);
            EXPECT_NEAR(h.env.u, x / 2.0f, 1e-5f);
            EXPECT_NEAR(h.env.v, y, 1e-5f);
            const Color c = at(s->getCs(), h);
            EXPECT_NEAR(c.r, x, 1e-5f);
            EXPECT_NEAR(c.g, y, 1e-5f);
            // Over the whole mesh u = x / 2: the colour's red grows twice as fast.
            EXPECT_NEAR(s->getCs()->derivativeUAt(f, h.env.su, h.env.sv).r, 2.0f, 1e-4f);
            const float lx = x < 1.0f ? x : x - 1.0f;
            const float a0 = x < 1.0f ? 0.0f : 1.0f, a1 = x < 1.0f ? 1.0f : 4.0f;
            const float b0 = x < 1.0f ? 10.0f : 20.0f, b1 = x < 1.0f ? 20.0f : 40.0f;
            const float want = (1 - y) * ((1 - lx) * a0 + lx * a1) + y * ((1 - lx) * b0 + lx * b1);
            EXPECT_NEAR(at(s->getS(), h), want, 1e-4f);
            EXPECT_NEAR(at(s->getOs(), h).r, x < 1.0f ? 0.25f : 0.75f, 0);
        }
}

}  // namespace
