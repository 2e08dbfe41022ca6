// What every shape plugin owes whatever its surface: hits on the ray, in the bound, with unit
// normals along dPdu x dPdv, found again from along their normal, and samples on the surface;
// flat shapes facing the side their orientation says; samples spread in proportion to area.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// Two unit spheres at (-0.3, 0, 0) and (0.35, 0.1, 0), blended by a sum.
const std::string TwoBlobs =
    "int[8] code = 1001 0 1001 16 0 2 0 1; float[32] floats = 1 0 0 0 0 "
    "1 0 0 0 0 1 0 -0.3 0 0 1 1 0 0 0 0 1 0 0 0 0 1 0 0.35 0.1 0 1";
TEST(Shapes, HitsAndSamplesAreConsistentInEveryPlugin) {
    const struct {
        const char* type;
        std::string params;
        float backOff = 0.02f;
    } cases[] = {
        // The quadrics run it over their own cases.
        {"polygon", "vertex point P = 0 0 0 2 0 0 2 1 1 1 1 1 1 2 2 0 2 2; int nvertices = 6"},
        {"polygonMesh",
         "vertex point P = 0 0 0 1 0 0 1 1 0.5 0 1 0 2 0.5 0.3; int[2] nvertices = 4 3; int[] "
         "vertices = 0 1 2 3 1 4 2"},
        {"particle",
         "vertex point P = 0 0 0 0.5 0.2 0 -0.3 0.6 0.4; vertex float width = 0.4 0.2 0.6"},
        // Across given normals, twisting: a ribbon that faces the ray is another surface for
        // each ray. A ray that starts within a ribbon's half width of it misses it.
        {"linearcurves",
         "int ncurves = 1; int[1] nvertspercurve = 2; vertex point P = -1 0 0 1 0.2 0.3; vertex "
         "normal N = 0 0 1 0 0.6 1; float constantwidth = 0.2",
         0.1f},
        {"bicubicpatch", bicubic(bentGrid(), "bezier")},
        {"bicubicpatch", bicubic(bentGrid(), "bspline")},
        {"bilinearpatch", "vertex float Pz = 0 0.3 1 -0.2"},
        {"ccmesh", Cube},
        {"blobby", TwoBlobs},
    };
    TestRenderer r;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_GT(expectConsistentHits(*made(r, c.type, c.params, Transform(), attributes()), 5,
                                       1500, c.backOff),
                  100);
    }
}

TEST(Shapes, FlatShapesFollowOrientationMirroringAndOneSidedness) {
    const char* const tri = "vertex point P = 0 0 0 1 0 0 0 1 0; ";
    expectFlatOrientationRules("polygon", tri + std::string("int nvertices = 3"));
    expectFlatOrientationRules("polygonMesh",
                               tri + std::string("int[1] nvertices = 3; int[] vertices = 0 1 2"));
    expectFlatOrientationRules("ccmesh",
                               "vertex point P = 0 0 0 1 0 0 1 1 0 0 1 0; int[1] "
                               "nvertices = 4; int[] vertices = 0 1 2 3; string[1] tags = "
                               "interpolateboundary; int[2] nargs = 1 0; int[1] intargs = 1");
    expectFlatOrientationRules("bilinearpatch", "vertex point P = 0 0 0 1 0 0 0 1 0 1 1 0");
    expectFlatOrientationRules("nupatch", flatNurbs(2));
    expectFlatOrientationRules("nupatch", flatNurbs(40));
}

// Samples land on the surface and are uniform over the area: the share of them in one part is
// that part's share of the area.
TEST(Shapes, SamplesAreUniformOverTheArea) {
    const struct {
        const char* type;
        std::string params;
        std::function<bool(const ShaderEnvironment&)> inPart;
        double share, tolerance;
        int n;
        uint32_t seed;
    } cases[] = {
        // Of this frustum (height 2, radius 1, cut at z = 1, radii 1, 0.75 and 0.5 at z = 0, 0.5
        // and 1) the lower half holds (1 + 0.75) / (1 + 0.75 + 0.75 + 0.5).
        {"cone", "float height = 2; float radius = 1; float zmax = 1",
         [](const ShaderEnvironment& e) { return e.P.z < 0.5f; }, 1.75 / 3.0, 0.01, 40000, 7},
        // An L of three unit squares: the square at x >= 1 holds a third of the area.
        {"polygon", "vertex point P = 0 0 0 2 0 0 2 1 0 1 1 0 1 2 0 0 2 0; int nvertices = 6",
         [](const ShaderEnvironment& e) { return e.P.x > 1.0f; }, 1.0 / 3.0, 0.012, 30000, 9},
        // Triangles of areas 0.5 and 1.5, at z = 0 and 1.
        {"polygonMesh",
         "vertex point P = 0 0 0 1 0 0 0 1 0 0 0 1 3 0 1 0 1 1; int[2] nvertices = 3 3; int[] "
         "vertices = 0 1 2 3 4 5",
         [](const ShaderEnvironment& e) {
             EXPECT_LT(e.face, 2u);
             EXPECT_NEAR(e.P.z, float(e.face), 1e-6f);
             return e.face == 0;
         },
         0.25, 0.01, 20000, 8},
        // Spheres of radius 0.5 and 1 about x = 0 and x = 5.
        {"particle", "vertex point P = 0 0 0 5 0 0; vertex float width = 1 2",
         [](const ShaderEnvironment& e) {
             EXPECT_LT(e.face, 2u);
             EXPECT_NEAR(e.P.x, e.face == 0 ? 0.0f : 5.0f, 1.0f);
             return e.face == 0;
         },
         0.2, 0.01, 20000, 21},
    };
    TestRenderer r;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        Reference<Shape> s = made(r, c.type, c.params);
        Rng rng(c.seed);
        int in = 0;
        for (int i = 0; i < c.n; ++i) {
            ShaderEnvironment env;
            s->sample(env, Point(0.0f), rng.next(), rng.next());
            in += c.inPart(env);
        }
        EXPECT_NEAR(double(in) / c.n, c.share, c.tolerance);
    }
}

}  // namespace
