// Meshes with more polygons than a parameter type's count field holds (2^22 - 1): every polygon
// still reaches the shape. Most polygons here enclose no area, so they cost the triangulator a
// glance and Embree nothing; the last one lies where a cut-short list would never reach.
#include <numeric>

#include "api/api_test_util.h"
#include "core/geometry/primitive.h"

namespace {

using ovotest::RaytracerTest;

using BigMeshTest = RaytracerTest;

// A ray down -z through (x, 0) hits the mesh the world holds.
bool hitsAt(const ovo::Primitive& p, float x) {
    ovo::Ray down(ovo::Point(x, 0.0f, 10.0f), ovo::Vector(0.0f, 0.0f, -1.0f));
    ovo::Hit hit;
    return p.intersect(down, hit);
}

TEST_F(BigMeshTest, EveryPolygonOfAHugeMeshIsKept) {
    constexpr int Field = (1 << 22) - 1;  // the most a type's count can say
    const struct {
        int polygons;
        bool withLoops;  // the call with "nloops", whose counts then travel as "nloops"
    } cases[] = {{Field, false}, {Field + 2, false}, {Field + 2, true}};
    // A triangle left of the axis and one right of it; every other polygon is a point.
    const float P[18] = {-2, -1, 0, -1, -1, 0, -1.5f, 1, 0, 1, -1, 0, 2, -1, 0, 1.5f, 1, 0};
    enterWorld();
    const auto& made = renderer->getWorldNode()->primitives;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.polygons);
        const std::size_t before = made.size(), n = std::size_t(c.polygons);
        std::vector<int> nvertices(n, 4), vertices(4 * n - 2, 0);
        const std::vector<int> nloops(c.withLoops ? n : 0, 1);
        nvertices.front() = nvertices.back() = 3;
        std::iota(vertices.begin(), vertices.begin() + 3, 0);
        std::iota(vertices.end() - 3, vertices.end(), 3);
        renderer->Parameter("vertex point P", P);
        if (c.withLoops)
            renderer->Mesh("linear", c.polygons, nloops.data(), nvertices.data(), vertices.data());
        else
            renderer->Mesh("linear", c.polygons, nvertices.data(), vertices.data());
        expectSilence();
        ASSERT_EQ(made.size(), before + 1);
        for (float x : {-1.5f, 0.0f, 1.5f}) EXPECT_EQ(hitsAt(*made.back(), x), x != 0.0f) << x;
    }
}

}  // namespace
