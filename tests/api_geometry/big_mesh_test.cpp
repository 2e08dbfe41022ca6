// Meshes with more polygons than a parameter type's count field holds (2^22 - 1): every polygon
// still reaches the shape. Most polygons here enclose no area, so they cost the triangulator a
// glance and Embree nothing; the last one lies where a cut-short list would never reach.
#include <vector>

#include "api/api_test_util.h"
#include "core/geometry/primitive.h"

namespace {

using ovotest::RaytracerTest;

class BigMeshTest : public RaytracerTest {};

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
        const std::size_t before = made.size();
        std::vector<int> nvertices(std::size_t(c.polygons), 4), vertices;
        nvertices.front() = nvertices.back() = 3;
        vertices.reserve(4 * nvertices.size());
        vertices.insert(vertices.end(), {0, 1, 2});
        vertices.resize(vertices.size() + 4 * (nvertices.size() - 2), 0);
        vertices.insert(vertices.end(), {3, 4, 5});
        renderer->Parameter("vertex point P", P);
        if (c.withLoops) {
            const std::vector<int> nloops(nvertices.size(), 1);
            renderer->Mesh("linear", c.polygons, nloops.data(), nvertices.data(), vertices.data());
        } else {
            renderer->Mesh("linear", c.polygons, nvertices.data(), vertices.data());
        }
        expectSilence();
        ASSERT_EQ(made.size(), before + 1);
        EXPECT_TRUE(hitsAt(*made.back(), -1.5f));
        EXPECT_TRUE(hitsAt(*made.back(), 1.5f));
        EXPECT_FALSE(hitsAt(*made.back(), 0.0f));
    }
}

}  // namespace
