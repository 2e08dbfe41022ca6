// The polygonMesh plugin: random rays against a brute-force triangle test, per-vertex and
// per-polygon variables at known points, holes, the bias, and many threads tracing one mesh at
// once.
#include <thread>

#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

struct Soup {
    std::vector<float> P;
    std::vector<int> tris;
};

// A wavy grid of triangles and a scatter of loose ones inside [-1, 1]³.
Soup makeSoup(int n, int loose, uint32_t seed) {
    Soup s;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = -1.0f + 2.0f * i / n, y = -1.0f + 2.0f * j / n;
            s.P.insert(s.P.end(), {x, y, 0.3f * std::sin(3.0f * x) * std::cos(2.0f * y)});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            s.tris.insert(s.tris.end(), {a, b, d, a, d, c});
        }
    Rng rng(seed);
    for (int k = 0; k < loose; ++k) {
        const int base = int(s.P.size() / 3);
        const Point c(rng.range(-1, 1), rng.range(-1, 1), rng.range(-1, 1));
        for (int v = 0; v < 3; ++v) {
            const Vector d = rng.range(0.05f, 0.3f) * rng.direction();
            s.P.insert(s.P.end(), {c.x + d.x, c.y + d.y, c.z + d.z});
        }
        s.tris.insert(s.tris.end(), {base, base + 1, base + 2});
    }
    return s;
}

// Without declared lengths the arrays are given as the renderer pushes them.
std::string meshParams(const Soup& s, bool declareLengths = true) {
    const std::string nt = std::to_string(s.tris.size() / 3), length = declareLengths ? "" : "#1";
    return "vertex point P = " + text(s.P) + length + "; int[" + nt +
           "] nvertices = " + ints(std::vector<int>(s.tris.size() / 3, 3)) +
           "; int[] vertices = " + ints(s.tris) + length;
}

struct Reference3 {
    bool hit = false;
    double t = 0, u = 0, v = 0, margin = 1;  // margin: how far inside its triangle
    int face = -1;
};

// Möller and Trumbore in double precision over every triangle: the nearest within the ray's
// interval and beyond the bias.
Reference3 bruteForce(const Soup& s, const Ray& ray, float bias) {
    Reference3 best;
    best.t = ray.maxt;
    const double ox = ray.o.x, oy = ray.o.y, oz = ray.o.z, dx = ray.d.x, dy = ray.d.y, dz = ray.d.z;
    const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
    for (std::size_t f = 0; f < s.tris.size() / 3; ++f) {
        const float* a = &s.P[3 * s.tris[3 * f]];
        const float* b = &s.P[3 * s.tris[3 * f + 1]];
        const float* c = &s.P[3 * s.tris[3 * f + 2]];
        const double e1[3] = {b[0] - double(a[0]), b[1] - double(a[1]), b[2] - double(a[2])};
        const double e2[3] = {c[0] - double(a[0]), c[1] - double(a[1]), c[2] - double(a[2])};
        const double p[3] = {dy * e2[2] - dz * e2[1], dz * e2[0] - dx * e2[2],
                             dx * e2[1] - dy * e2[0]};
        const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
        if (det == 0.0) continue;
        const double tv[3] = {ox - a[0], oy - a[1], oz - a[2]};
        const double u = (tv[0] * p[0] + tv[1] * p[1] + tv[2] * p[2]) / det;
        const double q[3] = {tv[1] * e1[2] - tv[2] * e1[1], tv[2] * e1[0] - tv[0] * e1[2],
                             tv[0] * e1[1] - tv[1] * e1[0]};
        const double v = (dx * q[0] + dy * q[1] + dz * q[2]) / det;
        const double t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
        const double margin = std::min(std::min(u, v), 1.0 - u - v);
        if (margin < -1e-4 || t < ray.mint || t * len <= bias || t >= best.t) continue;
        best.hit = margin >= 0.0;
        best.t = t;
        best.u = u;
        best.v = v;
        best.margin = margin;
        best.face = int(f);
    }
    return best;
}

// Rays at the soup, checked against the brute force: the hit's distance, face, barycentrics,
// and Ng as the unit e1 x e2 with dPdu, dPdv the triangle's edges.
std::vector<Ray> checkRays(const Shape& s, const Soup& soup, int count) {
    Rng rng(2);
    std::vector<Ray> rays;
    int hits = 0, checked = 0;
    for (int i = 0; i < count; ++i) {
        const Point o(rng.range(-2, 2), rng.range(-2, 2), rng.range(-2, 2));
        const Point aim(rng.range(-1, 1), rng.range(-1, 1), rng.range(-0.5f, 0.5f));
        rays.push_back(Ray(o, rng.range(0.3f, 3.0f) * unit(aim - o), rng.range(0.0f, 0.3f),
                           rng.range(0.5f, 5.0f)));
        const Reference3 ref = bruteForce(soup, rays.back(), 0.0f);
        Hit h;
        const bool got = s.intersect(rays.back(), h);
        // Rays through an edge or a corner may go either way.
        if (ref.face >= 0 && std::fabs(ref.margin) < 1e-4) continue;
        ++checked;
        EXPECT_EQ(got, ref.hit) << "ray " << i;
        if (!got || !ref.hit) continue;
        ++hits;
        EXPECT_NEAR(h.t, ref.t, 1e-4 * (1.0 + ref.t));
        EXPECT_EQ(int(h.env.face), ref.face);
        EXPECT_NEAR(h.env.u, ref.u, 1e-3);
        EXPECT_NEAR(h.env.v, ref.v, 1e-3);
        const int* t = &soup.tris[3 * ref.face];
        const Point a(&soup.P[3 * t[0]]), b(&soup.P[3 * t[1]]), c(&soup.P[3 * t[2]]);
        EXPECT_TRUE(near(h.env.dPdu, b - a, 1e-6f));
        EXPECT_TRUE(near(h.env.dPdv, c - a, 1e-6f));
        EXPECT_TRUE(near(h.env.Ng, unit((b - a) ^ (c - a)), 1e-5f));
    }
    EXPECT_GT(hits, count / 4);
    EXPECT_GT(checked, count * 39 / 40);
    return rays;
}

// The arrays are given without their lengths, as the renderer pushes them: the mesh reads as
// many points as its indices reach. Then many threads trace it, and a one-sided mesh of the
// same triangles, at once, sampling as they go, and see what one thread sees.
TEST(PolygonMesh, RandomRaysAgreeWithABruteForceTriangleTestInEveryThread) {
    TestRenderer r;
    const Soup soup = makeSoup(40, 200, 1);
    Reference<Shape> s = make(r, "polygonMesh", meshParams(soup, false), Transform(), noBias());
    Reference<Shape> oneSided =
        make(r, "polygonMesh", meshParams(soup), Transform(), attributes(false));
    ASSERT_TRUE(s && oneSided);
    ASSERT_TRUE(r.messages().empty());
    const std::vector<Ray> rays = checkRays(*s, soup, 4000);

    const Shape* shapes[2] = {s.get(), oneSided.get()};
    const std::size_t n = rays.size();
    std::vector<float> expected;
    for (std::size_t i = 0; i < 2 * n; ++i) {
        Hit h;
        expected.push_back(shapes[i / n]->intersect(rays[i % n], h) ? h.t : -1.0f);
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> pool;
    for (std::size_t k = 0; k < mismatches.size(); ++k)
        pool.emplace_back([&, k] {
            for (int pass = 0; pass < 3; ++pass)
                for (std::size_t i = k; i < 2 * n; i += 2) {
                    const Shape& shape = *shapes[i / n];
                    Hit h;
                    const float t = shape.intersect(rays[i % n], h) ? h.t : -1.0f;
                    if (t != expected[i] || shape.intersect(rays[i % n]) != (t >= 0.0f))
                        ++mismatches[k];
                    if (pass == 0 && i % 7 == 0) {
                        ShaderEnvironment env;
                        shape.sample(env, Point(0.0f), float(i % 97) / 97.0f, 0.3f);
                    }
                }
        });
    for (std::thread& t : pool) t.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

// A large mesh is stored compactly and fills its hits from the shared arrays: the same answers.
TEST(PolygonMesh, LargeMeshesAnswerAsSmallOnes) {
    TestRenderer r;
    const Soup soup = makeSoup(182, 0, 3);  // 66,248 triangles
    Reference<Shape> s = make(r, "polygonMesh", meshParams(soup), Transform(), noBias());
    ASSERT_TRUE(s);
    checkRays(*s, soup, 400);
}

// A unit square made of the triangles (0 1 2) and (0 2 3), with values at its four corners.
TEST(PolygonMesh, PerVertexVariablesAreInterpolatedWithTheBarycentrics) {
    TestRenderer r;
    Reference<Shape> s =
        make(r, "polygonMesh",
             "vertex point P = 0 0 0 1 0 0 1 1 0 0 1 0; int[2] nvertices = 3 3; int[] vertices = 0 "
             "1 2 0 "
             "2 3; vertex normal N = 0 0 1 1 0 0 0 1 0 0 0 -1; vertex float s = 0 10 20 30; linear "
             "float t = 1 2 3 4; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1");
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->getN() && s->getS() && s->getT() && s->getCs());
    // p0 + 0.2·e1 + 0.3·e2 of the second triangle (vertices 0, 2, 3).
    const Point target = Point(0, 0, 0) + 0.2f * Vector(1, 1, 0) + 0.3f * Vector(0, 1, 0);
    Hit h;
    ASSERT_TRUE(s->intersect(Ray(target + Vector(0, 0, 1), Vector(0, 0, -1)), h));
    EXPECT_EQ(h.env.face, 1u);
    const unsigned f = h.env.face;
    const float su = h.env.su, sv = h.env.sv;
    // Weights 0.5, 0.2, 0.3 on vertices 0, 2, 3.
    EXPECT_TRUE(near(s->getN()->valueAt(f, su, sv), Normal(0, 0.2f, 0.2f), 1e-6f));
    EXPECT_NEAR(s->getS()->valueAt(f, su, sv), 0.2f * 20 + 0.3f * 30, 1e-5f);
    EXPECT_NEAR(s->getT()->valueAt(f, su, sv), 0.5f * 1 + 0.2f * 3 + 0.3f * 4, 1e-5f);
    EXPECT_TRUE(near(Tuple(s->getCs()->valueAt(f, su, sv)), Tuple(0.8f, 0.3f, 0.5f), 1e-6f));
    // Along the triangle's edges e1 (to vertex 2) and e2 (to vertex 3).
    EXPECT_NEAR(s->getS()->derivativeUAt(f, su, sv), 20.0f, 1e-6f);
    EXPECT_NEAR(s->getS()->derivativeVAt(f, su, sv), 30.0f, 1e-6f);
}

TEST(PolygonMesh, ConcavePolygonsAndHoles) {
    TestRenderer r;
    // Polygon 0: a 4x4 square with a 2x2 hole (two loops); polygon 1: an L beside it.
    Reference<Shape> s = make(
        r, "polygonMesh",
        "vertex point P = 0 0 0 4 0 0 4 4 0 0 4 0 1 1 0 3 1 0 3 3 0 1 3 0 5 0 0 7 0 0 7 1 0 6 1 0 "
        "6 2 0 5 2 0; int[2] nloops = 2 1; int[] nvertices = 4 4 6; int[] vertices = 0 1 2 3 4 5 "
        "6 7 8 9 10 11 12 13; perpiece float s = 7 9");
    ASSERT_TRUE(s);
    EXPECT_NEAR(s->area(), 16 - 4 + 3, 1e-5);
    Hit h;
    EXPECT_FALSE(s->intersect(Ray(Point(2, 2, 1), Vector(0, 0, -1))));        // the hole
    EXPECT_FALSE(s->intersect(Ray(Point(6.5f, 1.5f, 1), Vector(0, 0, -1))));  // the L's notch
    ASSERT_TRUE(s->intersect(Ray(Point(0.5f, 3.5f, 1), Vector(0, 0, -1)), h));
    EXPECT_EQ(s->getS()->valueAt(h.env.face, h.env.su, h.env.sv), 7.0f);
    ASSERT_TRUE(s->intersect(Ray(Point(5.5f, 1.5f, 1), Vector(0, 0, -1)), h));
    EXPECT_EQ(s->getS()->valueAt(h.env.face, h.env.su, h.env.sv), 9.0f);
}

TEST(PolygonMesh, BiasAndTheRaysInterval) {
    TestRenderer r;
    Reference<Shape> s = make(r, "polygonMesh",
                              "vertex point P = -1 -1 0 1 -1 0 0 1 0 -1 -1 1 1 -1 1 0 1 1; int[2] "
                              "nvertices = 3 3; int[] vertices = 0 1 2 3 4 5",
                              Transform(), attributes(true, false, 0.01f));
    ASSERT_TRUE(s);
    Hit h;
    // Starting on the lower triangle: it is within the bias, the upper one is not.
    ASSERT_TRUE(s->intersect(Ray(Point(0, 0, 0), Vector(0, 0, 0.5f)), h));
    EXPECT_NEAR(h.t, 2.0f, 1e-6f);
    EXPECT_EQ(h.env.face, 1u);
    EXPECT_FALSE(s->intersect(Ray(Point(0, 0, 0.995f), Vector(0, 0, 1))));
    EXPECT_TRUE(s->intersect(Ray(Point(0, 0, 0.98f), Vector(0, 0, 1))));
    EXPECT_FALSE(s->intersect(Ray(Point(0, 0, -1), Vector(0, 0, 1), 0.0f, 0.99f)));
    ASSERT_TRUE(s->intersect(Ray(Point(0, 0, -1), Vector(0, 0, 1), 1.5f, 3.0f), h));
    EXPECT_EQ(h.env.face, 1u);
}

}  // namespace
