// Per-leaf matrices on a blobby (RIB's "mpoint"): the shaders' point is the hit in each
// element's own space placed by its leaf's matrix, blended by the elements' shares; and the
// default texture coordinates, the hit's x and y.
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

double share(const Point& p, double cx, double cy) {
    const double dx = p.x - cx, dy = p.y - cy, dz = p.z, s = dx * dx + dy * dy + dz * dz;
    return s >= 1.0 ? 0.0 : 1.0 - 22.0 / 9.0 * s + 17.0 / 9.0 * s * s - 4.0 / 9.0 * s * s * s;
}

// The row-vector matrix m applied to the point (x, y, z).
Vector place(const float* m, double x, double y, double z) {
    return Vector(float(x * m[0] + y * m[4] + z * m[8] + m[12]),
                  float(x * m[1] + y * m[5] + z * m[9] + m[13]),
                  float(x * m[2] + y * m[6] + z * m[10] + m[14]));
}

}  // namespace

TEST(BlobbyPref, PerLeafMatricesPlaceTheHitInEachElementsSpace) {
    // Two unit spheres at (-0.3, 0, 0) and (0.35, 0.1, 0), blended by a sum.
    const std::vector<float> elements = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.3f, 0,    0, 1,
                                         1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.35f, 0.1f, 0, 1};
    const struct {
        const char* what;
        std::vector<float> matrices;
    } cases[] = {
        // The elements' own matrices: the point stays where it is.
        {"own", elements},
        // Moved by (10, 0, 0); turned a quarter about z and moved up by 20.
        {"moved", {1, 0, 0, 0, 0,  1, 0, 0, 0, 0, 1, 0, 10, 0,  0, 1,
                   0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0,  20, 0, 1}},
    };
    const Ray rays[] = {
        Ray(Point(-0.3f, 0, -3), Vector(0, 0, 1)), Ray(Point(0.35f, 0.1f, -3), Vector(0, 0, 1)),
        Ray(Point(-3, 0, 0), Vector(1, 0, 0)), Ray(Point(0, 3, 0), Vector(0, -1, 0))};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRenderer r;
        Params p;
        p.add("int[8] code", std::vector<int>{1001, 0, 1001, 16, 0, 2, 0, 1});
        p.add("float[32] floats", elements);
        p.add("int nleaf", 2);
        p.add("vertex matrix Pref", c.matrices, 2);
        Reference<Shape> s = make(r, "blobby", p);
        ASSERT_TRUE(s);
        ASSERT_EQ(s->getVariables().size(), 1u);
        const PrimitiveVariable& pref = s->getVariables()[0];
        EXPECT_EQ(pref.name, "Pref");
        EXPECT_EQ(pref.type, TypePoint);
        ASSERT_TRUE(pref.tuples);
        for (const Ray& ray : rays) {
            Hit hit;
            ASSERT_TRUE(s->intersect(ray, hit));
            const Point& q = hit.env.P;
            const double a = share(q, -0.3, 0), b = share(q, 0.35, 0.1);
            const Vector expected =
                (float(a) * place(&c.matrices[0], q.x + 0.3, q.y, q.z) +
                 float(b) * place(&c.matrices[16], q.x - 0.35, q.y - 0.1, q.z)) /
                float(a + b);
            const Normal got = pref.tuples->valueAt(hit.env.face, hit.env.su, hit.env.sv);
            EXPECT_TRUE(near(Vector(got), expected, 1e-4f))
                << got.x << " " << got.y << " " << got.z << " at " << q.x << " " << q.y;
        }
    }
}

// Without "s" and "t" the texture coordinates are the hit's x and y in blob space, so a pattern
// keeps its scale along a long blob; given ones win.
TEST(BlobbyPref, TextureCoordinatesDefaultToTheHitsXAndY) {
    const std::vector<float> element = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 1, 0, 1};
    for (bool given : {false, true}) {
        SCOPED_TRACE(given ? "given" : "default");
        TestRenderer r;
        Params p;
        p.add("int[2] code", std::vector<int>{1001, 0});
        p.add("float[16] floats", element);
        if (given) p.add("vertex float[2] st", std::vector<float>{0.25f, 0.75f});
        Reference<Shape> s = make(r, "blobby", p);
        ASSERT_TRUE(s && s->getS() && s->getT());
        for (const Ray& ray : {Ray(Point(4.3f, 1.2f, -3), Vector(0, 0, 1)),
                               Ray(Point(9, 1.1f, 0), Vector(-1, 0, 0))}) {
            Hit hit;
            ASSERT_TRUE(s->intersect(ray, hit));
            const ShaderEnvironment& e = hit.env;
            EXPECT_NEAR(s->getS()->valueAt(e.face, e.su, e.sv), given ? 0.25f : e.P.x, 1e-5f);
            EXPECT_NEAR(s->getT()->valueAt(e.face, e.su, e.sv), given ? 0.75f : e.P.y, 1e-5f);
        }
    }
}
