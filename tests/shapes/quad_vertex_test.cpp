// Per-vertex variables on four-sided faces are bilinear over the quad, not linear per
// triangle: checked against the bilinear map of the corners for a square, a trapezoid and a
// non-planar quad, in a lone polygon and in a mesh beside a triangle, with their derivatives.
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

const Color Corner[4] = {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1), Color(1, 1, 1)};

template <class T>
T bilinear(const T (&c)[4], float s, float t) {
    return T((1 - t) * ((1 - s) * c[0] + s * c[1]) + t * ((1 - s) * c[3] + s * c[2]));
}

// All seen from +z: the rays come down along -z. The non-planar quad is a saddle over the xy
// square, so its hits seen from above project to the very (s, t) aimed at.
const struct {
    const char* name;
    Point quad[4];  // at (0,0), (1,0), (1,1), (0,1)
} Cases[] = {
    {"square", {Point(-1, -1, 0), Point(1, -1, 0), Point(1, 1, 0), Point(-1, 1, 0)}},
    {"trapezoid", {Point(0, 0, 0), Point(4, 0, 0), Point(3, 1, 0), Point(1, 1, 0)}},
    {"convex quad", {Point(0, 0, 0), Point(3, -0.5f, 0), Point(2.5f, 2, 0), Point(-0.5f, 1.5f, 0)}},
    {"non-planar", {Point(0, 0, 0), Point(2, 0, 0.5f), Point(2, 2, 0), Point(0, 2, 0.5f)}},
};

// A lone polygon, and a mesh where the quad has a triangle beside it that stays linear. Every
// (s, t) of a grid gives the corners' bilinear colour (at the centre the mean of the four, along
// the diagonal no seam), and the derivatives along the triangle's barycentrics are those of the
// bilinear colour.
TEST(QuadVertexVariables, QuadsAreBilinearInPolygonsAndMeshes) {
    for (const bool mesh : {false, true})
        for (const auto& c : Cases) {
            SCOPED_TRACE(std::string(mesh ? "polygonMesh " : "polygon ") + c.name);
            TestRenderer r;
            std::vector<float> xyz;
            for (const Point& p : c.quad) xyz.insert(xyz.end(), {p.x, p.y, p.z});
            const Point apex(c.quad[0].x - 1, c.quad[0].y - 1, 0);
            const std::string params =
                mesh ? "vertex point P = " + text(xyz) + text({apex.x, apex.y, apex.z}) +
                           "; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1 0 0 0; int nvertices = 4 "
                           "3; int vertices = 0 1 2 3 4 1 0"
                     : "vertex point P = " + text(xyz) +
                           "; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1; int nvertices = 4";
            Reference<Shape> shape = made(r, mesh ? "polygonMesh" : "polygon", params);
            ASSERT_TRUE(shape->getCs());
            const Interpolator<Color>& cs = *shape->getCs();
            auto hitAt = [&](const Point& p) { return hitDown(*shape, p.x, p.y); };
            for (int i = 0; i <= 8; ++i)
                for (int j = 0; j <= 8; ++j) {
                    const float s = 0.02f + 0.96f * float(i) / 8, t = 0.02f + 0.96f * float(j) / 8;
                    const Hit h = hitAt(bilinear(c.quad, s, t));
                    const unsigned f = h.env.face;
                    const float u = h.env.su, v = h.env.sv, e = 1e-3f;
                    EXPECT_TRUE(near(Tuple(at(&cs, h)), Tuple(bilinear(Corner, s, t)), 1e-4f))
                        << s << ", " << t;
                    const Color du = (cs.valueAt(f, u + e, v) - cs.valueAt(f, u - e, v)) / (2 * e);
                    const Color dv = (cs.valueAt(f, u, v + e) - cs.valueAt(f, u, v - e)) / (2 * e);
                    EXPECT_TRUE(near(Tuple(cs.derivativeUAt(f, u, v)), Tuple(du), 2e-3f));
                    EXPECT_TRUE(near(Tuple(cs.derivativeVAt(f, u, v)), Tuple(dv), 2e-3f));
                }
            EXPECT_TRUE(near(Tuple(at(&cs, hitAt(bilinear(c.quad, 0.5f, 0.5f)))),
                             Tuple(Color(0.5f, 0.5f, 0.5f)), 1e-4f));
            if (!mesh) continue;
            // The triangle's centroid takes the mean of its three corners.
            const Hit h = hitDown(*shape, (apex.x + c.quad[1].x + c.quad[0].x) / 3,
                                  (apex.y + c.quad[1].y + c.quad[0].y) / 3);
            EXPECT_TRUE(
                near(Tuple(at(&cs, h)), Tuple((Corner[0] + Corner[1]) * (1.0f / 3.0f)), 1e-4f));
        }
}

}  // namespace
