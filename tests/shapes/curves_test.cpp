// The curve plugins: the area a ribbon covers against its width times its length, ribbons that
// face the ray or lie across given normals, the bases, variables along the curves, counts.
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// Curves of these counts through P in the basis (none: the default).
std::string curves(const std::vector<float>& P, const std::vector<int>& counts, const char* basis) {
    const std::string n = std::to_string(counts.size());
    return "int ncurves = " + n + "; int[" + n + "] nvertspercurve = " + ints(counts) +
           "; vertex point P = " + text(P) +
           (basis ? std::string("; string basis = ") + basis : "");
}

// The area the shape covers seen along `down`: the share of a grid of rays through a window 3
// wide (along x) and 1 high about the origin that hits, times its area.
float coveredArea(const Reference<Shape>& s, const Vector& down = Vector(0, 0, -1)) {
    const int n = 400;
    int hits = 0;
    const Vector b = unit(down ^ Vector(1, 0, 0));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x = -1.5f + 3.0f * (i + 0.5f) / n, y = -0.5f + (j + 0.5f) / n;
            hits += s->intersect(Ray(Point(x, 0, 0) + y * b - 5.0f * down, down));
        }
    return 3.0f * float(hits) / float(n * n);
}

// Straight runs from x = -1 to 1: the area seen is the (mean) width times the length, from above
// and, as the ribbon turns to face the ray, from any side. Normals (0, 0, 1) lay the ribbon in
// z = 0 instead: nothing seen edge-on, Ng the normal, u growing along T × N (here -y).
TEST(Curves, CoverageIsWidthTimesLength) {
    const std::string w = "; float constantwidth = 0.2", N = "; linear normal N = 0 0 1 0 0 1";
    const Vector side = unit(Vector(0, -1, -1)), edgeOn(0, -1, 0);
    const struct {
        const char* type;
        std::string params;
        float area;  // seen from above, and from `side` unless normals are given
    } cases[] = {
        {"linearcurves", curves({-1, 0, 0, 0, 0, 0, 1, 0, 0}, {3}, nullptr) + w, 0.4f},
        {"linearcurves",
         curves({-1, 0, 0, 1, 0, 0}, {2}, nullptr) + "; linear float width = 0.1 0.3", 0.4f},
        {"cubiccurves", curves({-1, 0, 0, -0.5f, 0, 0, 0.5f, 0, 0, 1, 0, 0}, {4}, "bezier") + w,
         0.4f},
        {"cubiccurves",
         curves({-1, 0, 0, -1 / 3.0f, 0, 0, 1 / 3.0f, 0, 0, 1, 0, 0}, {4}, "bezier") +
             "; linear float width = 0.3 0.1",
         0.4f},
        // A B-spline starts at (P0 + 4 P1 + P2) / 6 and ends at (P1 + 4 P2 + P3) / 6: x ± 1/2.
        {"cubiccurves",
         curves({-2, 0, 0, -1 / 3.0f, 0, 0, 1 / 3.0f, 0, 0, 2, 0, 0}, {4}, "bspline") + w, 0.2f},
        {"linearcurves", curves({-1, 0, 0, 1, 0, 0}, {2}, nullptr) + w + N, 0.4f},
        {"cubiccurves", curves({-1, 0, 0, -0.3f, 0, 0, 0.3f, 0, 0, 1, 0, 0}, {4}, "bezier") + w + N,
         0.4f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        TestRenderer r;
        Reference<Shape> s = made(r, c.type, c.params, Transform(), noBias());
        const bool laid = c.params.find("normal N") != std::string::npos;
        EXPECT_NEAR(coveredArea(s), c.area, 0.01f);
        EXPECT_NEAR(coveredArea(s, laid ? edgeOn : side), laid ? 0.0f : c.area, 0.01f);
        if (!laid) {
            EXPECT_NEAR(s->area(), c.area, 1e-3f);
            continue;
        }
        const Hit h = hitDown(*s, 0.2f, 0.05f, 1);
        EXPECT_TRUE(near(h.env.Ng, Normal(0, 0, 1), 1e-5f));
        EXPECT_NEAR(h.env.u, 0.25f, 1e-3f);
    }
}

// A ribbon turns to face the ray: Ng against it from any side, u across the ribbon, v along it.
TEST(Curves, RibbonsFaceTheRay) {
    TestRenderer r;
    Reference<Shape> s =
        made(r, "linearcurves",
             curves({-1, 0, 0, 1, 0, 0}, {2}, nullptr) + "; float constantwidth = 0.2", Transform(),
             noBias());
    for (const Vector& d : {Vector(0, 0, -1), Vector(0, -1, 0), unit(Vector(0.2f, 1, 1))}) {
        const Hit h = hitOf(*s, Ray(Point(0.3f, 0, 0) - 4.0f * d, d));
        EXPECT_LT(dot(h.env.Ng, d), -0.99f * d.length());
        EXPECT_NEAR(h.env.u, 0.5f, 1e-3f);
        EXPECT_NEAR(h.env.v, 0.65f, 1e-4f);
        EXPECT_TRUE(near(h.env.dPdv, Vector(2, 0, 0), 1e-5f));
        EXPECT_NEAR(h.env.dPdu.length(), 0.2f, 1e-5f);
    }
}

// One set of control points in each basis, and in Bézier form turned by normals: rays at the
// point the basis puts at t, and a fifth of the width to either side, meet the ribbon there, u
// telling how far across (away from t = 1/2 Embree's four chords a segment would stray further).
TEST(Curves, BasesPlaceTheCurve) {
    const std::vector<float> P = {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0};
    const float width = 0.02f;
    const struct {
        const char* basis;
        std::string normals;
    } cases[] = {{"bezier", ""},
                 {"bspline", ""},
                 {"catmull-rom", ""},
                 {"power", ""},
                 {"bezier", "; vertex normal N = 0 0 1 0 0 1 0 0 1 0 0 1"}};
    for (const auto& c : cases) {
        TestRenderer r;
        Reference<Shape> s =
            made(r, "cubiccurves",
                 curves(P, {4}, c.basis) + "; float constantwidth = " + text({width}) + c.normals,
                 Transform(), noBias());
        const auto curve = [&](double t) {
            const auto w = blend(c.basis, t);
            Vector p(0.0f);
            for (int k = 0; k < 4; ++k) p += float(w[k]) * Vector(&P[std::size_t(3 * k)]);
            return p;
        };
        for (const double t : {0.1, 0.4, 0.5})
            for (const float off : {-0.2f, 0.0f, 0.2f}) {
                SCOPED_TRACE(std::string(c.basis) + c.normals + " at t = " + std::to_string(t) +
                             ", across " + std::to_string(off));
                const Vector T = curve(t + 1e-4) - curve(t - 1e-4);
                const Vector p = curve(t) + off * width * Vector(unit(Vector(-T.y, T.x, 0)));
                const Hit h = hitDown(*s, p.x, p.y, 1);
                EXPECT_NEAR(h.env.v, float(t), 5e-3f);
                EXPECT_NEAR(h.env.u, 0.5f - off, 2e-2f);
            }
    }
}

// Two curves of two segments each: a colour per curve, a value per segment end, a width per
// control point in the basis. Their counts as one array or as single values ("int
// nvertspercurve" with two values, as arrays too long for a count field reach the shapes).
TEST(Curves, VariablesAlongTheCurves) {
    std::vector<float> P;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 7; ++i) P.insert(P.end(), {float(i) / 3.0f, float(c), 0.0f});
    for (const char* counts : {"int[2] nvertspercurve", "int nvertspercurve"}) {
        SCOPED_TRACE(counts);
        TestRenderer r;
        Reference<Shape> s = made(
            r, "cubiccurves",
            std::string("int ncurves = 2; ") + counts + " = 7 7; vertex point P = " + text(P) +
                "; string basis = bezier; perpiece color C = 1 0 0 0 1 0; linear float s = 0 1 3 "
                "10 20 40; vertex float width = " +
                text(std::vector<float>(14, 0.1f)),
            Transform(), noBias());
        const struct {
            float x, y;
            float red, s, v;
        } cases[] = {
            {0.5f, 0, 1, 0.5f, 0.25f}, {1.5f, 0, 1, 2.0f, 0.75f}, {0.25f, 1, 0, 12.5f, 0.125f}};
        for (const auto& c : cases) {
            const Hit h = hitDown(*s, c.x, c.y + 0.01f, 1);
            EXPECT_NEAR(h.env.v, c.v, 1e-4f);
            EXPECT_NEAR(at(s->getCs(), h).r, c.red, 0);
            EXPECT_NEAR(at(s->getS(), h), c.s, 1e-4f);
            EXPECT_NEAR(h.env.dPdu.length(), 0.1f, 1e-4f);
        }
    }
}

}  // namespace
