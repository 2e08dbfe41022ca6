// Per-vertex variables on four-sided faces are bilinear over the quad, not linear per
// triangle: checked against the bilinear map of the corners for a square, a trapezoid and a
// non-planar quad, in a lone polygon and in a mesh beside a triangle.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tests/shapes/shape_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

using Quad = std::array<Point, 4>;  // at (0,0), (1,0), (1,1), (0,1)
const Color Corner[4] = {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1), Color(1, 1, 1)};

template <class T>
T bilinear(const T (&c)[4], float s, float t) {
    return T((1 - t) * ((1 - s) * c[0] + s * c[1]) + t * ((1 - s) * c[3] + s * c[2]));
}
Point bilinear(const Quad& q, float s, float t) {
    const Point c[4] = {q[0], q[1], q[2], q[3]};
    return bilinear(c, s, t);
}

struct Case {
    const char* name;
    Quad quad;
};
// All seen from +z: the rays come down along -z.
const Case Cases[] = {
    {"square", {{Point(-1, -1, 0), Point(1, -1, 0), Point(1, 1, 0), Point(-1, 1, 0)}}},
    {"trapezoid", {{Point(0, 0, 0), Point(4, 0, 0), Point(3, 1, 0), Point(1, 1, 0)}}},
    {"convex quad",
     {{Point(0, 0, 0), Point(3, -0.5f, 0), Point(2.5f, 2, 0), Point(-0.5f, 1.5f, 0)}}},
    {"non-planar", {{Point(0, 0, 0), Point(2, 0, 0.5f), Point(2, 2, 0), Point(0, 2, 0.5f)}}},
};

std::vector<float> flat(const Quad& q) {
    std::vector<float> xyz;
    for (const Point& p : q) xyz.insert(xyz.end(), {p.x, p.y, p.z});
    return xyz;
}
std::vector<float> cornerColors() {
    std::vector<float> c;
    for (const Color& k : Corner) c.insert(c.end(), {k.r, k.g, k.b});
    return c;
}

// The colour where a ray straight down through (s, t) of the quad meets the shape.
bool colorAt(const Shape& shape, const Quad& q, float s, float t, Color& c) {
    const Point p = bilinear(q, s, t);
    Hit h;
    if (!shape.intersect(Ray(Point(p.x, p.y, 5), Vector(0, 0, -1)), h)) return false;
    c = shape.getCs()->valueAt(h.env.face, h.env.su, h.env.sv);
    return true;
}

// Every (s, t) of a grid gives the corners' bilinear colour: at the centre the mean of the
// four, along the diagonal no seam. The non-planar quad is a saddle over the xy square, so its
// hits seen from above project to the very (s, t) aimed at.
void expectBilinear(const Shape& shape, const Case& c) {
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) {
            const float s = 0.02f + 0.96f * float(i) / 8, t = 0.02f + 0.96f * float(j) / 8;
            Color got;
            ASSERT_TRUE(colorAt(shape, c.quad, s, t, got)) << c.name << " " << s << ", " << t;
            EXPECT_TRUE(near(Tuple(got), Tuple(bilinear(Corner, s, t)), 1e-4f))
                << c.name << " at " << s << ", " << t;
        }
    Color centre;
    ASSERT_TRUE(colorAt(shape, c.quad, 0.5f, 0.5f, centre));
    EXPECT_TRUE(near(Tuple(centre), Tuple(Color(0.5f, 0.5f, 0.5f)), 1e-4f)) << c.name;
}

// A lone polygon, and a mesh where the quad has a triangle beside it that stays linear.
TEST(QuadVertexVariables, QuadsAreBilinearInPolygonsAndMeshes) {
    for (const bool mesh : {false, true})
        for (const Case& c : Cases) {
            SCOPED_TRACE(mesh ? "polygonMesh" : "polygon");
            TestRenderer r;
            Params p;
            std::vector<float> xyz = flat(c.quad), colors = cornerColors();
            const Point apex(c.quad[0].x - 1, c.quad[0].y - 1, 0);
            if (mesh) {
                xyz.insert(xyz.end(), {apex.x, apex.y, apex.z});
                colors.insert(colors.end(), {0, 0, 0});
                p.add("int nvertices", std::vector<int>{4, 3}, 2);
                p.add("int vertices", std::vector<int>{0, 1, 2, 3, 4, 1, 0}, 7);
            } else {
                p.add("int nvertices", 4);
            }
            p.add("vertex point P", xyz, int(xyz.size() / 3));
            p.add("vertex color C", colors, int(colors.size() / 3));
            Reference<Shape> shape = make(r, mesh ? "polygonMesh" : "polygon", p);
            ASSERT_TRUE(shape && shape->getCs()) << c.name;
            expectBilinear(*shape, c);
            if (!mesh) continue;
            // The triangle's centroid takes the mean of its three corners.
            const Point centroid((apex.x + c.quad[1].x + c.quad[0].x) / 3,
                                 (apex.y + c.quad[1].y + c.quad[0].y) / 3, 0);
            Hit h;
            ASSERT_TRUE(
                shape->intersect(Ray(Point(centroid.x, centroid.y, 5), Vector(0, 0, -1)), h));
            EXPECT_TRUE(near(Tuple(shape->getCs()->valueAt(h.env.face, h.env.su, h.env.sv)),
                             Tuple((Corner[0] + Corner[1]) * (1.0f / 3.0f)), 1e-4f))
                << c.name;
        }
}

// The derivatives along the triangle's barycentrics are those of the bilinear colour.
TEST(QuadVertexVariables, DerivativesFollowTheBilinearColor) {
    const Case& c = Cases[2];
    TestRenderer r;
    Params p;
    p.add("vertex point P", flat(c.quad), 4);
    p.add("int nvertices", std::vector<int>{4}, 1);
    p.add("int vertices", std::vector<int>{0, 1, 2, 3}, 4);
    p.add("vertex color C", cornerColors(), 4);
    Reference<Shape> shape = make(r, "polygonMesh", p);
    ASSERT_TRUE(shape && shape->getCs());
    const Interpolator<Color>& cs = *shape->getCs();
    for (const float st : {0.2f, 0.45f, 0.7f}) {
        const Point at = bilinear(c.quad, st, 1 - st * 0.8f);
        Hit h;
        ASSERT_TRUE(shape->intersect(Ray(Point(at.x, at.y, 5), Vector(0, 0, -1)), h));
        const float e = 1e-3f;
        const unsigned f = h.env.face;
        const float u = h.env.su, v = h.env.sv;
        const Color du = (cs.valueAt(f, u + e, v) - cs.valueAt(f, u - e, v)) / (2 * e);
        const Color dv = (cs.valueAt(f, u, v + e) - cs.valueAt(f, u, v - e)) / (2 * e);
        EXPECT_TRUE(near(Tuple(cs.derivativeUAt(f, u, v)), Tuple(du), 2e-3f)) << st;
        EXPECT_TRUE(near(Tuple(cs.derivativeVAt(f, u, v)), Tuple(dv), 2e-3f)) << st;
    }
}

}  // namespace
