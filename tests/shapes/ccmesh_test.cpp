// The ccmesh plugin against Catmull-Clark limits worked out by hand: the cube's limit points,
// creases that stay sharp, holes, boundaries, and variables whose limits are known.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// The tag that says how the boundary is treated (none for a rule below 0).
std::string boundary(int rule) {
    if (rule < 0) return "";
    return "; string[1] tags = interpolateboundary; int[2] nargs = 1 0; int[1] intargs = " +
           std::to_string(rule);
}

// A ccmesh without bias, so rays may start anywhere.
Reference<Shape> ccmesh(TestRenderer& r, const std::string& params) {
    return made(r, "ccmesh", params, Transform(), noBias());
}

// The limit of a cube's corner is (n²v + 4Σe + Σf) / n(n + 5) with n = 3: (1/2, 1/2, 1/2); a
// face's centre, a regular point after one step, goes to 68/81 of the way out.
TEST(CatmullClark, CubeReachesItsLimitPoints) {
    TestRenderer r;
    Reference<Shape> s = ccmesh(r, Cube);
    for (const Vector& towards : {Vector(0, 0, 1), Vector(1, 0, 0), Vector(0, -1, 0),
                                  Vector(1, 1, 1), Vector(-1, 1, -1), Vector(1, -1, 1)}) {
        // A little off the axes: a ray exactly through a vertex of Embree's tessellation may
        // slip between its triangles.
        const float distance = towards.length() > 1.0f ? std::sqrt(0.75f) : 68.0f / 81.0f;
        const Vector d = unit(towards + Vector(1e-3f, 2e-3f, -1.5e-3f));
        const Hit h = hitOf(*s, Ray(Point(0, 0, 0) + 5.0f * d, -d));
        EXPECT_NEAR(Vector(h.env.P).length(), distance, 1e-5f);
        EXPECT_NEAR(h.t, 5.0f - distance, 1e-5f);
        // Normal by symmetry; Embree's limit normal at a vertex of valence 3 is close.
        EXPECT_TRUE(near(h.env.Ng, Normal(d), 5e-3f));
    }
    // Smooth everywhere: where rays along a diagonal pass from one face's patch to the next,
    // the normal turns by no more than the rays move.
    const Vector diagonal = unit(Vector(-1, 0, -1)), across = unit(Vector(-1, 0, 1));
    int seams = 0;
    Hit last;
    for (float k = -0.3f; k < 0.3f; k += 0.002f) {
        const Hit h = hitOf(*s, Ray(Point(3, 0.2f, 3) + k * across, diagonal));
        if (k > -0.3f && h.env.face != last.env.face) {
            ++seams;
            EXPECT_GT(dot(h.env.Ng, last.env.Ng), 0.9999f);
        }
        last = h;
    }
    EXPECT_EQ(seams, 1);
    EXPECT_GT(s->area(), 4.0f * Pi * 0.5f * 0.5f);  // more than the sphere through the corners
    EXPECT_LT(s->area(), 4.0f * Pi * 0.84f * 0.84f);
}

// With its four edges creased infinitely sharp the top face stays a sharp rim; with sharpness
// 0 it rounds off like the rest.
TEST(CatmullClark, CreasedEdgesStaySharp) {
    for (const bool sharp : {true, false}) {
        SCOPED_TRACE(sharp);
        TestRenderer r;
        Reference<Shape> s = ccmesh(r, Cube +
                                           "; string[1] tags = crease; int[2] nargs = 5 1; int[5] "
                                           "intargs = 0 1 3 2 0; float[1] floatargs = " +
                                           (sharp ? "10" : "0"));
        // Towards the top face's rim, seen from above and from the side.
        const Hit rimTop = hitDown(*s, 0.0f, 0.7f);
        const Hit rimSide = hitOf(*s, Ray(Point(0.0f, 5, 0.7f), Vector(0, -1, 0)));
        if (sharp) {
            // The sharp rim keeps the top face flat, its own corners its only neighbours; the
            // side meets it at an angle.
            EXPECT_NEAR(rimTop.env.P.z, 1.0f, 1e-5f);
            EXPECT_TRUE(near(rimTop.env.Ng, Normal(0, 0, 1), 1e-5f));
            EXPECT_LT(dot(rimTop.env.Ng, rimSide.env.Ng), 0.5f);
        } else {
            // Smooth, and symmetric under swapping y and z.
            EXPECT_NEAR(rimTop.env.Ng.y, rimSide.env.Ng.z, 1e-4f);
            EXPECT_GT(dot(rimTop.env.Ng, rimSide.env.Ng), 0.6f);
        }
    }
}

TEST(CatmullClark, TagsHolesAndBoundaries) {
    TestRenderer r;
    // Unknown tags are reported once and left out.
    EXPECT_TRUE(make(r, "ccmesh",
                     Cube + "; string[2] tags = smoothtriangles smoothtriangles; int[4] nargs = 1 "
                            "0 1 0; int[2] intargs = 1 1"));
    expectSaid(r, "ccmesh: tag \"smoothtriangles\" is not supported. Ignoring it ...");

    // The top face left out: a ray down the axis meets the bottom from inside.
    Reference<Shape> s =
        ccmesh(r, Cube +
                      "; string[2] tags = hole interpolateboundary; int[4] nargs = 1 0 1 0; "
                      "int[2] intargs = 0 1");
    EXPECT_LT(hitDown(*s, 0.01f, 0.02f).env.P.z, -0.5f);

    // A 3 × 3 grid of quads in z = 0 over [-1.5, 1.5]²: without a boundary rule only the middle
    // face makes surface; with rule 1 the whole grid does, corners pinned.
    std::vector<float> P;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) P.insert(P.end(), {-1.5f + i, -1.5f + j, 0.0f});
    std::vector<int> faces;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const int a = 4 * j + i;
            faces.insert(faces.end(), {a, a + 1, a + 5, a + 4});
        }
    for (int rule : {-1, 0, 1, 2}) {  // -1: no tag
        SCOPED_TRACE(rule);
        Reference<Shape> g = ccmesh(r, polygons(P, std::vector<int>(9, 4), faces) + boundary(rule));
        EXPECT_EQ(g->intersect(down(1.45f, 1.45f, 1)), rule == 1);
        const Hit m = hitDown(*g, 0.1f, 0.2f, 1);
        EXPECT_NEAR(m.env.P.z, 0.0f, 1e-6f);
        EXPECT_TRUE(near(m.env.Ng, Normal(0, 0, 1), 1e-5f));
    }
}

// Subdivision is affine: a vertex colour that is an affine function of the position stays that
// function on the limit surface. Varying values are bilinear on each face, one value per face
// is one value, and face-varying values keep a seam between faces.
TEST(CatmullClark, VariablesFollowTheirClasses) {
    TestRenderer r;
    // Two quads side by side, x from -1 to 1, boundary interpolated.
    const std::vector<float> P = {-1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 1, 0, 0, 1, 0, 1, 1, 0};
    const std::vector<int> faces = {0, 1, 4, 3, 1, 2, 5, 4};
    std::string p = polygons(P, {4, 4}, faces) + boundary(1);
    std::vector<float> affine;
    for (std::size_t i = 0; i < P.size(); i += 3)
        affine.insert(affine.end(), {0.5f + 0.25f * P[i], P[i + 1], 0.2f});
    // Per corner: t is 0 on the left face and 1 on the right, a seam down the middle.
    p += "; vertex color C = " + text(affine) +
         "; linear float s = 0 1 2 3 4 5; perpiece color opacity = 0.1 0.2 0.3 0.7 0.8 0.9; linear "
         "float t = 0 0 0 0 1 1 1 1; string facevarying = t";
    Reference<Shape> s = ccmesh(r, p);
    for (float x : {-0.8f, -0.3f, 0.3f, 0.7f}) {
        SCOPED_TRACE(x);
        const Hit h = hitDown(*s, x, 0.4f, 1);
        const unsigned f = h.env.face;
        const Color c = at(s->getCs(), h);
        EXPECT_NEAR(c.r, 0.5f + 0.25f * h.env.P.x, 1e-5f);
        EXPECT_NEAR(c.g, h.env.P.y, 1e-5f);
        // Varying s: bilinear in the face's own u, v from its corners.
        const int* v = &faces[4 * f];
        const float u = h.env.u, w = h.env.v;
        const float want = (1 - w) * ((1 - u) * v[0] + u * v[1]) + w * ((1 - u) * v[3] + u * v[2]);
        EXPECT_NEAR(at(s->getS(), h), want, 1e-5f);
        EXPECT_NEAR(at(s->getOs(), h).r, f == 0 ? 0.1f : 0.7f, 0);
        EXPECT_NEAR(at(s->getT(), h), x < 0 ? 0.0f : 1.0f, 1e-5f);
    }
}

// A pentagon is cut into five quadrilaterals, each with u and v from 0 to 1.
TEST(CatmullClark, OtherFacesAreCutIntoQuadrilaterals) {
    TestRenderer r;
    const std::vector<float> P = {0, 0, 0, 1, 0, 0, 1.3f, 1, 0, 0.5f, 1.6f, 0, -0.3f, 1, 0};
    std::string p = polygons(P, {5}, {0, 1, 2, 3, 4}) + boundary(1);
    // "st" given per vertex as the points' x and y: the limit keeps an affine function.
    std::vector<float> st;
    for (std::size_t k = 0; k < P.size(); k += 3) st.insert(st.end(), {P[k], P[k + 1]});
    p += "; vertex float[2] st = " + text(st);
    Reference<Shape> s = ccmesh(r, p);
    int hits = 0;
    for (float x = -0.2f; x < 1.3f; x += 0.1f)
        for (float y = 0.0f; y < 1.6f; y += 0.1f) {
            Hit h;
            if (!s->intersect(down(x, y, 1), h)) continue;
            ++hits;
            EXPECT_NEAR(at(s->getS(), h), x, 1e-4f);
            EXPECT_NEAR(at(s->getT(), h), y, 1e-4f);
            EXPECT_NEAR(h.env.P.z, 0.0f, 1e-6f);
            EXPECT_TRUE(near(h.env.Ng, Normal(0, 0, 1), 1e-5f));
        }
    EXPECT_GT(hits, 100);
}

// Cages Catmull-Clark has no rule for make a surface or a refusal, never a crash.
TEST(CatmullClark, OddCagesMakeSomething) {
    const std::vector<float> P = {0, 0, 0, 1, 0, 0,  1, 1, 0,  0, 1, 0, 0, 0,
                                  1, 1, 0, 1, 0, -1, 0, 1, -1, 0, 5, 5, 5};
    const struct {
        const char* name;
        std::vector<int> sizes, vertices;
    } cases[] = {
        {"three faces on one edge", {4, 4, 4}, {0, 1, 2, 3, 1, 0, 4, 5, 0, 1, 7, 6}},
        {"a vertex twice in a face", {4}, {0, 1, 1, 2}},
        {"one face twice", {4, 4}, {0, 1, 2, 3, 0, 1, 2, 3}},
        {"faces turned against each other", {4, 4}, {0, 1, 2, 3, 1, 0, 6, 7}},
        {"every point the same", {3}, {8, 8, 8}},
    };
    for (const auto& c : cases)
        for (int rule : {-1, 1}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(rule));
            TestRenderer r;
            Reference<Shape> s =
                make(r, "ccmesh", polygons(P, c.sizes, c.vertices) + boundary(rule), Transform(),
                     noBias());
            // Without a boundary rule the boundary faces make no surface, yet samples still land
            // on them: only the hits are checked then.
            if (s) expectConsistentHits(*s, 3, 300, 0.02f, rule >= 0);
        }
}

}  // namespace
