// Count arrays too long for a type's count field reach the shapes as that many single values
// ("int nvertspercurve" with n values); the shapes read them as they read "int[n]".
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

TEST(LongCounts, CurvesReadEveryCountOfSingleValues) {
    // Two curves of 2 and 3 vertices; the second one ends at x = 2.
    const std::vector<float> P = {0, 0, 0, 1, 0, 0, 0, 2, 0, 1, 2, 0, 2, 2, 0};
    const struct {
        const char* decl;
        int nvalues;
    } forms[] = {{"int[2] nvertspercurve", 1}, {"int nvertspercurve", 2}};
    for (const auto& f : forms) {
        SCOPED_TRACE(f.decl);
        TestRenderer r;
        Params p;
        p.add("int ncurves", 2);
        p.add(f.decl, std::vector<int>{2, 3}, f.nvalues);
        p.add("vertex point P", P, 5);
        Reference<Shape> s = make(r, "linearcurves", p);
        ASSERT_TRUE(s);
        EXPECT_TRUE(r.messages().empty());
        EXPECT_TRUE(s->intersect(Ray(Point(1.8f, 2, 5), Vector(0, 0, -1))));
        EXPECT_FALSE(s->intersect(Ray(Point(1.8f, 0, 5), Vector(0, 0, -1))));
    }
}

}  // namespace
