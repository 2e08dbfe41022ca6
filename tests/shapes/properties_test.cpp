// One property check across every shape plugin: hits on the ray, in the bound, with unit normals
// along dPdu x dPdv, found again from along their normal, and samples on the surface.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

struct Case {
    const char* type;
    std::function<void(Params&)> fill;
    float backOff = 0.02f;
};

TEST(Shapes, HitsAndSamplesAreConsistentInEveryPlugin) {
    using F = std::vector<float>;
    using I = std::vector<int>;
    const Case cases[] = {
        // The quadrics run it over their own cases.
        {"polygon",
         [](Params& p) {
             p.add("vertex point P", F{0, 0, 0, 2, 0, 0, 2, 1, 1, 1, 1, 1, 1, 2, 2, 0, 2, 2}, 6);
             p.add("int nvertices", 6);
         }},
        {"polygonMesh",
         [](Params& p) {
             p.add("vertex point P", F{0, 0, 0, 1, 0, 0, 1, 1, 0.5f, 0, 1, 0, 2, 0.5f, 0.3f}, 5);
             p.add("int[2] nvertices", I{4, 3}).add("int[] vertices", I{0, 1, 2, 3, 1, 4, 2}, 7);
         }},
        {"particle",
         [](Params& p) {
             p.add("vertex point P", F{0, 0, 0, 0.5f, 0.2f, 0, -0.3f, 0.6f, 0.4f}, 3);
             p.add("vertex float width", F{0.4f, 0.2f, 0.6f}, 3);
         }},
        {"linearcurves",
         [](Params& p) {
             p.add("int ncurves", 1).add("int[1] nvertspercurve", I{2});
             p.add("vertex point P", F{-1, 0, 0, 1, 0.2f, 0.3f}, 2);
             // Across given normals, twisting: a ribbon that faces the ray is another surface
             // for each ray.
             p.add("vertex normal N", F{0, 0, 1, 0, 0.6f, 1}, 2);
             p.add("float constantwidth", 0.2f);
         },
         // A ray that starts within a ribbon's half width of it misses it.
         0.1f},
        {"bicubicpatch", [](Params& p) { p = bicubic(bentGrid(), "bezier"); }},
        {"bicubicpatch", [](Params& p) { p = bicubic(bentGrid(), "bspline"); }},
        {"bilinearpatch",
         [](Params& p) {
             p.add("vertex float Pz", F{0, 0.3f, 1, -0.2f}, 4);
         }},
        {"ccmesh",
         [](Params& p) {
             p.add("vertex point P", F{-1, -1, 1,  1, -1, 1,  -1, 1,  1,  1, 1,  1,
                                       -1, 1,  -1, 1, 1,  -1, -1, -1, -1, 1, -1, -1},
                   8);
             p.add("int[6] nvertices", I(6, 4));
             p.add("int[] vertices",
                   I{0, 1, 3, 2, 2, 3, 5, 4, 4, 5, 7, 6, 6, 7, 1, 0, 1, 7, 5, 3, 6, 0, 2, 4}, 24);
         }},
        {"blobby",
         [](Params& p) {
             p.add("int[8] code", I{1001, 0, 1001, 16, 0, 2, 0, 1});
             p.add("float[32] floats", F{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.3f, 0,    0, 1,
                                         1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.35f, 0.1f, 0, 1});
         }},
    };
    TestRenderer r;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Params p;
        c.fill(p);
        Reference<Shape> s = make(r, c.type, p, Transform(), attributes());
        ASSERT_TRUE(s);
        EXPECT_TRUE(r.messages().empty());
        EXPECT_GT(expectConsistentHits(*s, 5, 1500, c.backOff), 100);
    }
}

}  // namespace
