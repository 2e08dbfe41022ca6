// The blobby plugin: elements and their combinations against a dense walk of an independently
// written field, per-leaf variables and matrices, default texture coordinates, the repelling plane.
#include "core/math/constants.h"
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// One element's field as a function of its squared distance: 1 at the centre, 0 at the edge,
// 0.5 halfway out.
double falloff(double s) {
    return s >= 1.0 ? 0.0 : 1.0 - 22.0 / 9.0 * s + 17.0 / 9.0 * s * s - 4.0 / 9.0 * s * s * s;
}

// An element's field at a point taken back through its matrix (a scale by (sx, sy, sz) after a
// turn about z).
double ellipsoid(const Point& p, double sx, double sy, double sz, double angle, const Point& c) {
    const double dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
    const double co = std::cos(angle), si = std::sin(angle);
    const double u = (dx * co + dy * si) / sx, v = (-dx * si + dy * co) / sy, w = dz / sz;
    return falloff(u * u + v * v + w * w);
}
std::vector<float> ellipsoidMatrix(float sx, float sy, float sz, float angle, const Point& c) {
    const float co = std::cos(angle), si = std::sin(angle);
    return {sx * co, sx * si, 0, 0, -sy * si, sy * co, 0, 0, 0, 0, sz, 0, c.x, c.y, c.z, 1};
}

// A sphere element of radius r (its surface alone is at r / 2) about c, and the field of one of
// radius 1 about (cx, cy, 0).
std::vector<float> sphere(float r, const Point& c) { return ellipsoidMatrix(r, r, r, 0, c); }
double leaf(const Point& p, float cx, float cy) {
    return ellipsoid(p, 1, 1, 1, 0, Point(cx, cy, 0));
}

template <class T>
std::vector<T> join(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The blobby's "code" and "floats", and what else the list takes.
std::string blob(const std::vector<int>& code, const std::vector<float>& floats,
                 const std::string& more = "") {
    return "int[" + std::to_string(code.size()) + "] code = " + ints(code) + "; float[" +
           std::to_string(floats.size()) + "] floats = " + text(floats) + "; " + more;
}

// Two overlapping spheres of radius 1 (surfaces alone of radius 0.5) at x = -0.3 and x = 0.35,
// combined by `ops` appended to their two instructions.
const std::vector<float> TwoSpheres =
    join(sphere(1, Point(-0.3f, 0, 0)), sphere(1, Point(0.35f, 0.1f, 0)));
std::string pair(std::vector<int> ops, const std::string& more = "") {
    return blob(join({1001, 0, 1001, 16}, ops), TwoSpheres, more);
}

// The row-vector matrix m applied to the point (x, y, z).
Vector place(const float* m, double x, double y, double z) {
    return Vector(float(x * m[0] + y * m[4] + z * m[8] + m[12]),
                  float(x * m[1] + y * m[5] + z * m[9] + m[13]),
                  float(x * m[2] + y * m[6] + z * m[10] + m[14]));
}

// The first crossing of 0.5 for t in [0, 2] by fine steps and bisection, -1 for none; and the
// smallest |field - 0.5| met on the way (small: the ray grazes).
template <class F>
std::pair<double, double> bruteForce(const Ray& ray, F field) {
    auto g = [&](double t) { return field(ray(float(t))) - 0.5; };
    double a = 0.0, ga = g(a), closest = 1e30;
    for (int i = 1; i <= 20000; ++i) {
        double b = i / 10000.0;
        const double gb = g(b);
        closest = std::min(closest, std::fabs(gb));
        if ((ga > 0.0) != (gb > 0.0)) {
            for (int k = 0; k < 60; ++k) {
                const double m = 0.5 * (a + b);
                ((g(m) > 0.0) == (ga > 0.0) ? a : b) = m;
            }
            return {0.5 * (a + b), closest};
        }
        a = b;
        ga = gb;
    }
    return {-1.0, closest};
}

// The first crossing of 0.5, and a normal down the field's gradient there.
TEST(Blobby, SurfacesMatchABruteForceWalkOfTheField) {
    using Field = std::function<double(const Point&)>;
    const Point e(0.3f, -0.2f, 0.4f);
    auto two = [](std::function<double(double, double)> f) -> Field {
        return [f](const Point& p) { return f(leaf(p, -0.3f, 0), leaf(p, 0.35f, 0.1f)); };
    };
    const struct {
        const char* name;
        std::string blob;
        Field field;
    } cases[] = {
        {"ellipsoid", blob({1001, 0}, ellipsoidMatrix(2, 1, 0.5f, 0, e)),
         [&](const Point& p) { return ellipsoid(p, 2, 1, 0.5, 0, e); }},
        {"turned ellipsoid", blob({1001, 0}, ellipsoidMatrix(3, 1, 1, 0.6f, e)),
         [&](const Point& p) { return ellipsoid(p, 3, 1, 1, 0.6, e); }},
        // A segment from x = -1 to 1 of radius 1, moved up by 2.
        {"segment", blob({1002, 0}, join({-1, 0, 0, 1, 0, 0, 1}, sphere(1, Point(0, 0, 2)))),
         [](const Point& p) {
             const double x = std::max(-1.0, std::min(1.0, double(p.x)));
             return falloff((p.x - x) * (p.x - x) + p.y * p.y + (p.z - 2.0) * (p.z - 2.0));
         }},
        {"add", pair({0, 2, 0, 1}), two([](double a, double b) { return a + b; })},
        {"multiply", pair({1, 2, 0, 1}), two([](double a, double b) { return a * b; })},
        {"maximum", pair({2, 2, 0, 1}), two([](double a, double b) { return std::max(a, b); })},
        {"minimum", pair({3, 2, 0, 1}), two([](double a, double b) { return std::min(a, b); })},
        {"subtract", pair({4, 0, 1}), two([](double a, double b) { return a - b; })},
        {"subtract reversed", pair({4, 1, 0}), two([](double a, double b) { return b - a; })},
        {"negate twice", pair({6, 1, 6, 2, 4, 0, 3}),
         two([](double a, double b) { return a - b; })},
        {"identity", pair({7, 0}), two([](double a, double) { return a; })},
        {"divide", pair({5, 0, 1}), two([](double a, double b) { return b != 0.0 ? a / b : 0.0; })},
    };
    TestRenderer r;
    Rng rng(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reference<Shape> s = made(r, "blobby", c.blob);
        const Point lo(s->objectExtent().bmin), hi(s->objectExtent().bmax);
        int hits = 0;
        for (int k = 0; k < 300; ++k) {
            const Point o = rng.point(Point(-3), Point(3));
            const Ray ray(o, rng.point(lo, hi) - o, 0.0f, 2.0f);
            const auto [t, closest] = bruteForce(ray, c.field);
            Hit hit;
            const bool got = s->intersect(ray, hit);
            // Only a ray that grazes the surface may disagree.
            if (got != (t >= 0.0)) {
                EXPECT_LT(closest, 1e-3) << k;
            }
            if (!got || t < 0.0) continue;
            ++hits;
            EXPECT_NEAR(hit.t, t, 1e-4) << k;
            const Point& q = hit.env.P;
            const double h = 1e-4;
            const Vector grad(float(c.field(q + Vector(h, 0, 0)) - c.field(q - Vector(h, 0, 0))),
                              float(c.field(q + Vector(0, h, 0)) - c.field(q - Vector(0, h, 0))),
                              float(c.field(q + Vector(0, 0, h)) - c.field(q - Vector(0, 0, h))));
            // Where a quotient's divisor falls to 0 the field jumps: no normal to compare.
            if (grad.length() > 1e-5f && grad.length() < 0.2f) {
                EXPECT_TRUE(near(hit.env.Ng, -unit(grad), 5e-3f)) << k;
            }
        }
        EXPECT_GT(hits, 5);
    }
}

// Per-leaf values blend by each leaf's share of the field: colours, and "Pref" given as one
// matrix per leaf (RIB's "mpoint") placing the hit in each element's own space.
TEST(Blobby, PerLeafValuesBlendByEachLeafsShare) {
    // The elements' own matrices, then moved by (10, 0, 0) and turned a quarter about z and
    // moved by (0, 20, 0).
    const std::vector<float> moved =
        join(sphere(1, Point(10, 0, 0)), ellipsoidMatrix(1, 1, 1, PiOver2, Point(0, 20, 0)));
    const Ray rays[] = {
        Ray(Point(-0.3f, 0, -3), Vector(0, 0, 1)), Ray(Point(0.35f, 0.1f, -3), Vector(0, 0, 1)),
        Ray(Point(-3, 0, 0), Vector(1, 0, 0)), Ray(Point(0, 3, 0), Vector(0, -1, 0))};
    TestRenderer r;
    Reference<Shape> own;
    for (const std::vector<float>* m : {&TwoSpheres, &moved}) {
        // Red and blue.
        Reference<Shape> s = made(r, "blobby",
                                  pair({0, 2, 0, 1},
                                       "int nleaf = 2; vertex color C = 1 0 0 0 0 1; "
                                       "vertex matrix Pref = " +
                                           text(*m)));
        if (!own) own = s;
        ASSERT_EQ(s->getVariables().size(), 1u);
        const PrimitiveVariable& pref = s->getVariables()[0];
        ASSERT_TRUE(pref.tuples);
        for (const Ray& ray : rays) {
            const Hit hit = hitOf(*s, ray);
            const Point& q = hit.env.P;
            const double a = leaf(q, -0.3f, 0), c = leaf(q, 0.35f, 0.1f);
            const Color got = at(s->getCs(), hit);
            EXPECT_NEAR(got.r, a / (a + c), 1e-4);
            EXPECT_NEAR(got.b, c / (a + c), 1e-4);
            EXPECT_NEAR(got.g, 0.0, 1e-6);
            const Vector expected = (float(a) * place(&(*m)[0], q.x + 0.3, q.y, q.z) +
                                     float(c) * place(&(*m)[16], q.x - 0.35, q.y - 0.1, q.z)) /
                                    float(a + c);
            EXPECT_TRUE(near(Vector(at(pref.tuples.get(), hit)), expected, 1e-4f));
        }
    }
    // A field plugin adds nothing; a leaf count without it leaves it out of the values.
    for (const char* colours : {"int nleaf = 2; vertex color C = 1 0 0 0 0 1",
                                "int nleaf = 3; vertex color C = 1 0 0 0 1 0 0 0 1"}) {
        // Red and blue for the spheres, green for the plugin when it counts.
        Reference<Shape> plugged =
            make(r, "blobby",
                 blob({1001, 0, 9000, 1, 0, 1001, 16, 0, 3, 0, 1, 2}, TwoSpheres,
                      std::string("string[1] strings = dbo_plane; ") + colours));
        ASSERT_TRUE(plugged);
        expectSaid(r, "blobby: field plugin \"dbo_plane\" is not supported; its leaf adds nothing");
        const Hit hit = hitOf(*plugged, rays[1]), alone = hitOf(*own, rays[1]);
        EXPECT_EQ(hit.t, alone.t);
        EXPECT_TRUE(near(at(plugged->getCs(), hit), at(own->getCs(), alone), 1e-6f)) << colours;
    }
    // Constant and uniform (per-piece) values are one colour.
    for (const char* decl : {"constant color C = 0.2 0.4 0.6", "perpiece color C = 0.2 0.4 0.6"}) {
        Reference<Shape> one = made(r, "blobby", pair({0, 2, 0, 1}, decl));
        EXPECT_TRUE(near(at(one->getCs(), hitOf(*one, rays[0])), Color(0.2f, 0.4f, 0.6f), 1e-6f));
    }
}

// Without "s" and "t" the texture coordinates are the hit's x and y in blob space, so a pattern
// keeps its scale along a long blob; given ones win.
TEST(Blobby, TextureCoordinatesDefaultToTheHitsXAndY) {
    for (const char* st : {"", "vertex float[2] st = 0.25 0.75"}) {
        SCOPED_TRACE(st);
        TestRenderer r;
        Reference<Shape> s = made(
            r, "blobby", blob({1001, 0}, {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 1, 0, 1}, st));
        for (const Ray& ray : {Ray(Point(4.3f, 1.2f, -3), Vector(0, 0, 1)),
                               Ray(Point(9, 1.1f, 0), Vector(-1, 0, 0))}) {
            const Hit hit = hitOf(*s, ray);
            EXPECT_NEAR(at(s->getS(), hit), *st ? 0.25f : hit.env.P.x, 1e-5f);
            EXPECT_NEAR(at(s->getT(), hit), *st ? 0.75f : hit.env.P.y, 1e-5f);
        }
    }
}

TEST(Blobby, RepellingPlaneFlattensTheSideItHolds) {
    TestRenderer r;
    Reference<Shape> s =
        make(r, "blobby",
             blob({1001, 0, 1003, 0, 16, 0, 2, 0, 1}, join(sphere(2, Point(0.0f)), {1, 0.1f, 0, 0}),
                  "string[1] strings = ground.zfile"));
    ASSERT_TRUE(s);
    expectSaid(r,
               "blobby: depth map \"ground.zfile\" cannot be used by a ray tracer; the repelling "
               "plane is taken as flat");
    EXPECT_NEAR(hitOf(*s, Ray(Point(0, 0, -3), Vector(0, 0, 1))).env.P.z, -1.0, 1e-4);
    const Hit below = hitDown(*s, 0, 0, 3);
    EXPECT_LT(below.env.P.z, 0.0);
    EXPECT_GT(below.env.P.z, -0.1);
    EXPECT_NEAR(below.env.Ng.z, 1.0, 1e-3);
}

}  // namespace
