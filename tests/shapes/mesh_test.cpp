// The polygonMesh plugin: random rays against a brute-force triangle test (from many threads at
// once), per-vertex and per-polygon variables at known points, holes, the bias.
#include <array>
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
std::string meshParams(const Soup& s, const std::string& lengths = "") {
    return polygons(s.P, std::vector<int>(s.tris.size() / 3, 3), s.tris, lengths);
}

struct Reference3 {
    bool hit = false;
    double t = 0, u = 0, v = 0, margin = 1;  // margin: how far inside its triangle
    int face = -1;
};

// Möller and Trumbore in double precision: the nearest triangle within the ray's interval.
Reference3 bruteForce(const Soup& s, const Ray& ray) {
    using D = std::array<double, 3>;
    auto point = [&](int i) { return D{s.P[3 * i], s.P[3 * i + 1], s.P[3 * i + 2]}; };
    auto minus = [](const D& a, const D& b) { return D{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    auto dot = [](const D& a, const D& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    auto cross = [](const D& a, const D& b) {
        return D{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    const D o{ray.o.x, ray.o.y, ray.o.z}, d{ray.d.x, ray.d.y, ray.d.z};
    Reference3 best;
    best.t = ray.maxt;
    for (std::size_t f = 0; f < s.tris.size() / 3; ++f) {
        const int* v = &s.tris[3 * f];
        const D a = point(v[0]), e1 = minus(point(v[1]), a), e2 = minus(point(v[2]), a);
        const D p = cross(d, e2), tv = minus(o, a), q = cross(tv, e1);
        const double det = dot(e1, p);
        if (det == 0.0) continue;
        const double u = dot(tv, p) / det, w = dot(d, q) / det, t = dot(e2, q) / det;
        const double margin = std::min(std::min(u, w), 1.0 - u - w);
        if (margin < -1e-4 || t < ray.mint || t <= 0.0 || t >= best.t) continue;
        best = Reference3{margin >= 0.0, t, u, w, margin, int(f)};
    }
    return best;
}

// Rays at the soup against the brute force: distance, face, barycentrics, Ng the unit e1 x e2,
// and dPdu, dPdv the triangle's edges.
std::vector<Ray> checkRays(const Shape& s, const Soup& soup, int count) {
    Rng rng(2);
    std::vector<Ray> rays;
    int hits = 0, checked = 0;
    for (int i = 0; i < count; ++i) {
        const Point o = rng.point(Point(-2), Point(2)),
                    aim = rng.point(Point(-1, -1, -0.5f), Point(1, 1, 0.5f));
        rays.push_back(Ray(o, rng.range(0.3f, 3.0f) * unit(aim - o), rng.range(0.0f, 0.3f),
                           rng.range(0.5f, 5.0f)));
        const Reference3 ref = bruteForce(soup, rays.back());
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

// The arrays without their lengths, as the renderer pushes them: the mesh reads as many points
// as its indices reach. Then threads trace it and a one-sided copy at once, sampling as they go,
// and see what one thread sees.
TEST(PolygonMesh, RandomRaysAgreeWithABruteForceTriangleTestInEveryThread) {
    TestRenderer r;
    const Soup soup = makeSoup(40, 200, 1);
    Reference<Shape> s = made(r, "polygonMesh", meshParams(soup, "#1"), Transform(), noBias());
    Reference<Shape> oneSided =
        made(r, "polygonMesh", meshParams(soup), Transform(), attributes(false));
    const std::vector<Ray> rays = checkRays(*s, soup, 4000);

    const Shape* shapes[2] = {s.get(), oneSided.get()};
    const std::size_t n = rays.size();
    // Ray i % n against shape i / n: the distance of the hit, -1 for none.
    auto tOf = [&](std::size_t i) {
        Hit h;
        return shapes[i / n]->intersect(rays[i % n], h) ? h.t : -1.0f;
    };
    std::vector<float> expected;
    for (std::size_t i = 0; i < 2 * n; ++i) expected.push_back(tOf(i));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> pool;
    for (std::size_t k = 0; k < mismatches.size(); ++k)
        pool.emplace_back([&, k] {
            for (int pass = 0; pass < 3; ++pass)
                for (std::size_t i = k; i < 2 * n; i += 2) {
                    const float t = tOf(i);
                    if (t != expected[i] || shapes[i / n]->intersect(rays[i % n]) != (t >= 0.0f))
                        ++mismatches[k];
                    ShaderEnvironment env;
                    if (pass == 0 && i % 7 == 0)
                        shapes[i / n]->sample(env, Point(0.0f), float(i % 97) / 97.0f, 0.3f);
                }
        });
    for (std::thread& t : pool) t.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

// A large mesh is stored compactly and fills its hits from the shared arrays: the same answers.
TEST(PolygonMesh, LargeMeshesAnswerAsSmallOnes) {
    TestRenderer r;
    const Soup soup = makeSoup(182, 0, 3);  // 66,248 triangles
    checkRays(*made(r, "polygonMesh", meshParams(soup), Transform(), noBias()), soup, 400);
}

// A unit square made of the triangles (0 1 2) and (0 2 3), with values at its four corners.
TEST(PolygonMesh, PerVertexVariablesAreInterpolatedWithTheBarycentrics) {
    TestRenderer r;
    Reference<Shape> s =
        made(r, "polygonMesh",
             "vertex point P = 0 0 0 1 0 0 1 1 0 0 1 0; int[2] nvertices = 3 3; int[] vertices = 0 "
             "1 2 0 2 3; vertex normal N = 0 0 1 1 0 0 0 1 0 0 0 -1; vertex float s = 0 10 20 30; "
             "linear float t = 1 2 3 4; vertex color C = 1 0 0 0 1 0 0 0 1 1 1 1");
    // p0 + 0.2·e1 + 0.3·e2 of the second triangle (vertices 0, 2, 3).
    const Point target = Point(0, 0, 0) + 0.2f * Vector(1, 1, 0) + 0.3f * Vector(0, 1, 0);
    const Hit h = hitDown(*s, target.x, target.y, 1);
    EXPECT_EQ(h.env.face, 1u);
    // Weights 0.5, 0.2, 0.3 on vertices 0, 2, 3.
    EXPECT_TRUE(near(at(s->getN(), h), Normal(0, 0.2f, 0.2f), 1e-6f));
    EXPECT_NEAR(at(s->getS(), h), 0.2f * 20 + 0.3f * 30, 1e-5f);
    EXPECT_NEAR(at(s->getT(), h), 0.5f * 1 + 0.2f * 3 + 0.3f * 4, 1e-5f);
    EXPECT_TRUE(near(Tuple(at(s->getCs(), h)), Tuple(0.8f, 0.3f, 0.5f), 1e-6f));
    // Along the triangle's edges e1 (to vertex 2) and e2 (to vertex 3).
    EXPECT_NEAR(s->getS()->derivativeUAt(h.env.face, h.env.su, h.env.sv), 20.0f, 1e-6f);
    EXPECT_NEAR(s->getS()->derivativeVAt(h.env.face, h.env.su, h.env.sv), 30.0f, 1e-6f);
}

TEST(PolygonMesh, ConcavePolygonsAndHoles) {
    TestRenderer r;
    // Polygon 0: a 4x4 square with a 2x2 hole (two loops); polygon 1: an L beside it.
    Reference<Shape> s = made(
        r, "polygonMesh",
        "vertex point P = 0 0 0 4 0 0 4 4 0 0 4 0 1 1 0 3 1 0 3 3 0 1 3 0 5 0 0 7 0 0 7 1 0 6 1 0 "
        "6 2 0 5 2 0; int[2] nloops = 2 1; int[] nvertices = 4 4 6; int[] vertices = 0 1 2 3 4 5 "
        "6 7 8 9 10 11 12 13; perpiece float s = 7 9");
    EXPECT_NEAR(s->area(), 16 - 4 + 3, 1e-5);
    EXPECT_FALSE(s->intersect(down(2, 2)));        // the hole
    EXPECT_FALSE(s->intersect(down(6.5f, 1.5f)));  // the L's notch
    EXPECT_EQ(at(s->getS(), hitDown(*s, 0.5f, 3.5f, 1)), 7.0f);
    EXPECT_EQ(at(s->getS(), hitDown(*s, 5.5f, 1.5f, 1)), 9.0f);
}

TEST(PolygonMesh, BiasAndTheRaysInterval) {
    TestRenderer r;
    Reference<Shape> s = made(r, "polygonMesh",
                              "vertex point P = -1 -1 0 1 -1 0 0 1 0 -1 -1 1 1 -1 1 0 1 1; int[2] "
                              "nvertices = 3 3; int[] vertices = 0 1 2 3 4 5",
                              Transform(), attributes(true, false, 0.01f));
    // Starting on the lower triangle: it is within the bias, the upper one is not.
    const Hit h = hitOf(*s, Ray(Point(0, 0, 0), Vector(0, 0, 0.5f)));
    EXPECT_NEAR(h.t, 2.0f, 1e-6f);
    EXPECT_EQ(h.env.face, 1u);
    EXPECT_FALSE(s->intersect(Ray(Point(0, 0, 0.995f), Vector(0, 0, 1))));
    EXPECT_TRUE(s->intersect(Ray(Point(0, 0, 0.98f), Vector(0, 0, 1))));
    EXPECT_FALSE(s->intersect(Ray(Point(0, 0, -1), Vector(0, 0, 1), 0.0f, 0.99f)));
    EXPECT_EQ(hitOf(*s, Ray(Point(0, 0, -1), Vector(0, 0, 1), 1.5f, 3.0f)).env.face, 1u);
}

}  // namespace
