// The blobby plugin: silhouettes against the analytic shapes one element makes, blends and
// combinations against a dense walk of an independently written field, per-leaf variables and
// the messages of malformed code.
#include <algorithm>
#include <functional>

#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

// One element's field as a function of its squared distance: 1 at the centre, 0 at the edge,
// 0.5 halfway out.
double falloff(double s) {
    return s >= 1.0 ? 0.0 : 1.0 - 22.0 / 9.0 * s + 17.0 / 9.0 * s * s - 4.0 / 9.0 * s * s * s;
}

// A sphere element of radius r (its surface alone is at r / 2) about c, as the code's matrix.
std::vector<float> sphere(float r, float x, float y, float z) {
    return {r, 0, 0, 0, 0, r, 0, 0, 0, 0, r, 0, x, y, z, 1};
}

struct Blob {
    std::vector<int> code;
    std::vector<float> floats;
    std::vector<const char*> strings;
};

Reference<Shape> build(TestRenderer& r, const Blob& b, Params& p, int nleaf = -1) {
    p.add(("int[" + std::to_string(b.code.size()) + "] code").c_str(), b.code);
    if (!b.floats.empty())
        p.add(("float[" + std::to_string(b.floats.size()) + "] floats").c_str(), b.floats);
    if (!b.strings.empty()) {
        ParamType type;
        const char* name = nullptr;
        type.fromString(("string[" + std::to_string(b.strings.size()) + "] strings").c_str(),
                        &name);
        p.set.push_back(new Parameter("strings", type, 1, b.strings.data(), false));
    }
    if (nleaf >= 0) p.add("int nleaf", nleaf);
    return make(r, "blobby", p);
}

Reference<Shape> build(TestRenderer& r, const Blob& b) {
    Params p;
    return build(r, b, p);
}

// The blobs of the combination tests: two overlapping spheres of radius 1 (surfaces alone of
// radius 0.5) at x = -0.3 and x = 0.35, combined by `ops` appended to their two instructions.
Blob pair(std::vector<int> ops) {
    Blob b;
    b.code = {1001, 0, 1001, 16};
    b.code.insert(b.code.end(), ops.begin(), ops.end());
    b.floats = sphere(1, -0.3f, 0, 0);
    const std::vector<float> second = sphere(1, 0.35f, 0.1f, 0);
    b.floats.insert(b.floats.end(), second.begin(), second.end());
    return b;
}

double leaf(const Point& p, double cx, double cy) {
    const double dx = p.x - cx, dy = p.y - cy, dz = p.z;
    return falloff(dx * dx + dy * dy + dz * dz);
}

struct Walked {
    bool hit = false;
    double t = 0.0;
    double closest = 1e30;  // smallest |field - 0.5| met along the way: small means grazing
};

// The first crossing of 0.5 by brute force: fine steps, then bisection.
template <class F>
Walked bruteForce(const Ray& ray, double t0, double t1, F field) {
    Walked w;
    const int steps = 20000;
    auto g = [&](double t) { return field(ray(float(t))) - 0.5; };
    double a = t0, ga = g(a);
    for (int i = 1; i <= steps; ++i) {
        const double b = t0 + (t1 - t0) * i / steps, gb = g(b);
        w.closest = std::min(w.closest, std::fabs(gb));
        if ((ga > 0.0) != (gb > 0.0)) {
            double lo = a, hi = b;
            for (int k = 0; k < 60; ++k) {
                const double m = 0.5 * (lo + hi);
                ((g(m) > 0.0) == (ga > 0.0) ? lo : hi) = m;
            }
            w.hit = true;
            w.t = 0.5 * (lo + hi);
            return w;
        }
        a = b;
        ga = gb;
    }
    return w;
}

TEST(Blobby, OneEllipsoidShowsTheHalfSizeEllipsoid) {
    // Matrices that scale by (sx, sy, sz), turn by `angle` about z and move to (cx, cy, cz).
    struct Case {
        float sx, sy, sz, angle, cx, cy, cz;
    } cases[] = {{1, 1, 1, 0, 0, 0, 0}, {2, 1, 0.5f, 0, 0.3f, -0.2f, 1}, {3, 1, 1, 0.6f, 0, 0, 0}};
    TestRenderer r;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "scale " << c.sx << " " << c.sy << " " << c.sz << " angle " << c.angle);
        const float co = std::cos(c.angle), si = std::sin(c.angle);
        Blob b;
        b.code = {1001, 0};
        b.floats = {c.sx * co, c.sx * si, 0,    0, -c.sy * si, c.sy * co, 0,    0,
                    0,         0,         c.sz, 0, c.cx,       c.cy,      c.cz, 1};
        Reference<Shape> s = build(r, b);
        ASSERT_TRUE(s);
        EXPECT_TRUE(r.messages().empty());
        int inside = 0, checked = 0;
        for (int i = 0; i < 41; ++i)
            for (int j = 0; j < 41; ++j) {
                const float x = c.cx + (i - 20) * 0.05f * c.sx, y = c.cy + (j - 20) * 0.05f * c.sx;
                // Back into the ellipsoid's own axes, in units of its visible half-axes.
                const double dx = x - c.cx, dy = y - c.cy;
                const double u = (dx * co + dy * si) / (0.5 * c.sx),
                             v = (-dx * si + dy * co) / (0.5 * c.sy);
                const double e = u * u + v * v;
                if (std::fabs(e - 1.0) < 0.02) continue;  // the rim itself
                ++checked;
                Hit hit;
                const Ray ray(Point(x, y, c.cz - 5), Vector(0, 0, 1));
                ASSERT_EQ(s->intersect(ray, hit), e < 1.0) << x << " " << y;
                if (e >= 1.0) continue;
                ++inside;
                // The near side of the ellipsoid: z = cz - (sz / 2) sqrt(1 - e).
                EXPECT_NEAR(hit.env.P.z, c.cz - 0.5 * c.sz * std::sqrt(1.0 - e), 1e-4);
                EXPECT_NEAR(hit.t, hit.env.P.z - (c.cz - 5), 1e-4);
                // The normal of the ellipsoid there: the gradient of u² + v² + w².
                const double w = (hit.env.P.z - c.cz) / (0.5 * c.sz);
                const double gu = u / (0.5 * c.sx), gv = v / (0.5 * c.sy);
                const Vector n(float(gu * co - gv * si), float(gu * si + gv * co),
                               float(w / (0.5 * c.sz)));
                EXPECT_TRUE(near3(hit.env.Ng, unit(n), 2e-3f));
                EXPECT_TRUE(s->intersect(ray));
            }
        EXPECT_GT(inside, 60);
        EXPECT_GT(checked, 1500);
        // The bound holds the whole element.
        const Aabb box = s->objectExtent();
        EXPECT_NEAR(box.bmax[2] - box.bmin[2], 2 * c.sz, 1e-4);
    }
}

TEST(Blobby, SegmentShowsTheHalfRadiusCapsule) {
    TestRenderer r;
    Blob b;
    b.code = {1002, 0};
    b.floats = {-1, 0, 0, 1, 0, 0, 1};
    const std::vector<float> moved = sphere(1, 0, 0, 2);
    b.floats.insert(b.floats.end(), moved.begin(), moved.end());
    Reference<Shape> s = build(r, b);
    ASSERT_TRUE(s);
    // Across the middle, over an end cap and beside it.
    struct Probe {
        float x, y;
        bool hit;
        double z;
    } probes[] = {{0, 0.3f, true, 2 - 0.4},
                  {1.3f, 0, true, 2 - 0.4},
                  {1.6f, 0, false, 0},
                  {0, 0.55f, false, 0},
                  {-1.0f, 0.4f, true, 2 - 0.3}};
    for (const Probe& p : probes) {
        Hit hit;
        ASSERT_EQ(s->intersect(Ray(Point(p.x, p.y, -3), Vector(0, 0, 1)), hit), p.hit) << p.x;
        if (p.hit) {
            EXPECT_NEAR(hit.env.P.z, p.z, 1e-4) << p.x;
        }
    }
}

TEST(Blobby, TwoSpheresBlendIntoOneRegionThatBulgesBetweenThem) {
    TestRenderer r;
    // Alone, each surface has radius 0.5 and they are 0.2 apart; their sum joins them.
    Blob b = pair({0, 2, 0, 1});
    b.floats = sphere(1, -0.6f, 0, 0);
    const std::vector<float> second = sphere(1, 0.6f, 0, 0);
    b.floats.insert(b.floats.end(), second.begin(), second.end());
    Reference<Shape> s = build(r, b);
    ASSERT_TRUE(s);
    const int n = 61;
    std::vector<int> covered(n * n, 0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const Point o(-1.5f + 3.0f * i / (n - 1), -1.5f + 3.0f * j / (n - 1), -4);
            covered[i * n + j] = s->intersect(Ray(o, Vector(0, 0, 1))) ? 1 : 0;
        }
    // One connected region (four-neighbour flood fill from the centre).
    std::vector<int> stack{(n / 2) * n + n / 2};
    ASSERT_EQ(covered[stack[0]], 1) << "the middle, outside both spheres alone, is covered";
    covered[stack[0]] = 2;
    while (!stack.empty()) {
        const int k = stack.back();
        stack.pop_back();
        const int i = k / n, j = k % n;
        const int next[4][2] = {{i + 1, j}, {i - 1, j}, {i, j + 1}, {i, j - 1}};
        for (const auto& q : next)
            if (q[0] >= 0 && q[0] < n && q[1] >= 0 && q[1] < n && covered[q[0] * n + q[1]] == 1) {
                covered[q[0] * n + q[1]] = 2;
                stack.push_back(q[0] * n + q[1]);
            }
    }
    EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), 0) << "a second region";
    // Each half is wider than a sphere alone (0.5), the waist narrower than the spheres.
    auto halfWidth = [&](float x) {
        float lo = 0, hi = 1.5f;
        for (int k = 0; k < 40; ++k) {
            const float m = 0.5f * (lo + hi);
            (s->intersect(Ray(Point(x, m, -4), Vector(0, 0, 1))) ? lo : hi) = m;
        }
        return lo;
    };
    // The half-width at x, where falloff((x + 0.6)² + h²) + falloff((x - 0.6)² + h²) = 0.5.
    auto expected = [](double x) {
        double lo = 0, hi = 1;
        for (int k = 0; k < 60; ++k) {
            const double h = 0.5 * (lo + hi);
            (falloff((x + 0.6) * (x + 0.6) + h * h) + falloff((x - 0.6) * (x - 0.6) + h * h) > 0.5
                 ? lo
                 : hi) = h;
        }
        return lo;
    };
    for (float x : {0.0f, 0.15f, 0.3f, 0.6f}) EXPECT_NEAR(halfWidth(x), expected(x), 1e-4) << x;
    // Between the spheres, wider than the nearer one alone; covered where neither reaches.
    EXPECT_GT(halfWidth(0.15f), std::sqrt(0.25f - 0.45f * 0.45f) + 0.05f);
    EXPECT_GT(halfWidth(0), 0.05f);
}

TEST(Blobby, CombinationsMatchABruteForceWalkOfTheField) {
    // The code after the two spheres, and the field it makes of their values a and b.
    struct Case {
        const char* name;
        std::vector<int> ops;
        std::function<double(double, double)> combine;
    };
    const std::vector<Case> cases = {
        {"add", {0, 2, 0, 1}, [](double a, double b) { return a + b; }},
        {"multiply", {1, 2, 0, 1}, [](double a, double b) { return a * b; }},
        {"maximum", {2, 2, 0, 1}, [](double a, double b) { return std::max(a, b); }},
        {"minimum", {3, 2, 0, 1}, [](double a, double b) { return std::min(a, b); }},
        {"subtract", {4, 0, 1}, [](double a, double b) { return a - b; }},
        {"subtract reversed", {4, 1, 0}, [](double a, double b) { return b - a; }},
        {"negate twice", {6, 1, 6, 2, 4, 0, 3}, [](double a, double b) { return a - b; }},
        {"identity", {7, 0}, [](double a, double) { return a; }},
        {"divide", {5, 0, 1}, [](double a, double b) { return b != 0.0 ? a / b : 0.0; }},
    };
    TestRenderer r;
    Rng rng(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reference<Shape> s = build(r, pair(c.ops));
        ASSERT_TRUE(s);
        auto field = [&](const Point& p) {
            return c.combine(leaf(p, -0.3, 0), leaf(p, 0.35, 0.1));
        };
        int hits = 0;
        for (int k = 0; k < 300; ++k) {
            const Point o(rng.range(-3, 3), rng.range(-3, 3), rng.range(-3, 3));
            const Point target(rng.range(-0.8f, 0.8f), rng.range(-0.6f, 0.6f),
                               rng.range(-0.6f, 0.6f));
            const Ray ray(o, target - o, 0.0f, 2.0f);
            const Walked w = bruteForce(ray, 0.0, 2.0, field);
            Hit hit;
            const bool got = s->intersect(ray, hit);
            if (got != w.hit) {
                // Only a ray that grazes the surface may disagree.
                EXPECT_LT(w.closest, 1e-3) << k;
                continue;
            }
            if (!got) continue;
            ++hits;
            EXPECT_NEAR(hit.t, w.t, 1e-4) << k;
        }
        EXPECT_GT(hits, 5);
    }
}

TEST(Blobby, PerLeafColoursBlendByEachLeafsShare) {
    TestRenderer r;
    Blob b = pair({0, 2, 0, 1});
    Params p;
    p.add("vertex color C", std::vector<float>{1, 0, 0, 0, 0, 1}, 2);
    Reference<Shape> s = build(r, b, p, 2);
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->getCs());
    const Ray rays[] = {Ray(Point(-0.3f, 0, -3), Vector(0, 0, 1)),
                        Ray(Point(0.35f, 0.1f, -3), Vector(0, 0, 1)),
                        Ray(Point(-3, 0, 0), Vector(1, 0, 0))};
    for (const Ray& ray : rays) {
        Hit hit;
        ASSERT_TRUE(s->intersect(ray, hit));
        const Point& q = hit.env.P;
        const double a = leaf(q, -0.3, 0), c = leaf(q, 0.35, 0.1);
        const Color got = s->getCs()->valueAt(hit.env.face, hit.env.su, hit.env.sv);
        EXPECT_NEAR(got.r, a / (a + c), 1e-4);
        EXPECT_NEAR(got.b, c / (a + c), 1e-4);
        EXPECT_NEAR(got.g, 0.0, 1e-6);
    }
    // A field plugin adds nothing; a leaf count without it leaves it out of the values.
    for (int nleaf : {2, 3}) {
        Blob withPlugin = b;
        withPlugin.code = {1001, 0, 9000, 1, 0, 1001, 16, 0, 3, 0, 1, 2};
        withPlugin.strings = {"dbo_plane"};
        Params q;
        // Red and blue for the spheres, green for the plugin when it counts.
        q.add("vertex color C",
              nleaf == 2 ? std::vector<float>{1, 0, 0, 0, 0, 1}
                         : std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1},
              nleaf);
        Reference<Shape> plugged = build(r, withPlugin, q, nleaf);
        ASSERT_TRUE(plugged && plugged->getCs());
        ASSERT_EQ(r.messages().size(), 1u);
        EXPECT_EQ(r.messages()[0].text,
                  "blobby: field plugin \"dbo_plane\" is not supported; its leaf adds nothing");
        r.messages().clear();
        Hit hit, alone;
        ASSERT_TRUE(plugged->intersect(rays[1], hit));
        ASSERT_TRUE(s->intersect(rays[1], alone));
        EXPECT_EQ(hit.t, alone.t);
        const Color got = plugged->getCs()->valueAt(hit.env.face, hit.env.su, hit.env.sv);
        const Color same = s->getCs()->valueAt(alone.env.face, alone.env.su, alone.env.sv);
        EXPECT_TRUE(near3(got, same, 1e-6f)) << nleaf;
    }
    // Constant and uniform (per-piece) values are one colour.
    for (const char* decl : {"constant color C", "perpiece color C"}) {
        Params q;
        q.add(decl, std::vector<float>{0.2f, 0.4f, 0.6f});
        Reference<Shape> one = build(r, b, q);
        ASSERT_TRUE(one && one->getCs());
        Hit hit;
        ASSERT_TRUE(one->intersect(rays[0], hit));
        EXPECT_TRUE(near3(one->getCs()->valueAt(hit.env.face, hit.env.su, hit.env.sv),
                          Color(0.2f, 0.4f, 0.6f), 1e-6f));
    }
}

TEST(Blobby, SurfaceDerivativesFollowTheParameters) {
    TestRenderer r;
    Blob b;
    b.code = {1001, 0};
    b.floats = sphere(2, 0, 0, 0);
    Reference<Shape> s = build(r, b);
    ASSERT_TRUE(s);
    // On a sphere about the centre, the frame is the sphere's: P moves by dPdu du.
    Hit a, c;
    ASSERT_TRUE(s->intersect(Ray(Point(0.3f, 0.2f, -3), Vector(0, 0, 1)), a));
    const Vector step = 1e-3f * a.env.dPdu;
    const Point moved = a.env.P + step;
    ASSERT_TRUE(s->intersect(Ray(Point(moved.x, moved.y, -3), Vector(0, 0, 1)), c));
    EXPECT_NEAR(c.env.u - a.env.u, 1e-3, 2e-5);
    EXPECT_NEAR(c.env.v - a.env.v, 0.0, 2e-5);
    EXPECT_NEAR(dot(a.env.dPdu, a.env.Ng), 0.0, 1e-4);
    EXPECT_NEAR(dot(a.env.dPdv, a.env.Ng), 0.0, 1e-4);
}

TEST(Blobby, RepellingPlaneFlattensTheSideItHolds) {
    TestRenderer r;
    Blob b;
    b.code = {1001, 0, 1003, 0, 16, 0, 2, 0, 1};
    b.floats = sphere(2, 0, 0, 0);
    b.floats.insert(b.floats.end(), {1, 0.1f, 0, 0});
    b.strings = {"ground.zfile"};
    Reference<Shape> s = build(r, b);
    ASSERT_TRUE(s);
    ASSERT_EQ(r.messages().size(), 1u);
    EXPECT_EQ(r.messages()[0].text,
              "blobby: depth map \"ground.zfile\" cannot be used by a ray tracer; the repelling "
              "plane is taken as flat");
    Hit above, below;
    ASSERT_TRUE(s->intersect(Ray(Point(0, 0, -3), Vector(0, 0, 1)), above));
    EXPECT_NEAR(above.env.P.z, -1.0, 1e-4);
    ASSERT_TRUE(s->intersect(Ray(Point(0, 0, 3), Vector(0, 0, -1)), below));
    EXPECT_LT(below.env.P.z, 0.0);
    EXPECT_GT(below.env.P.z, -0.1);
    EXPECT_NEAR(below.env.Ng.z, 1.0, 1e-3);
}

TEST(Blobby, MalformedCodeIsRefusedWithItsReason) {
    const std::vector<float> one = sphere(1, 0, 0, 0);
    struct Case {
        Blob blob;
        int nleaf;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{{}, one, {}}, -1, "blobby: \"code\" is missing. Ignoring ..."},
        {{{1001, 0, 12}, one, {}},
         -1,
         "blobby: unknown opcode 12 at code position 2. Ignoring ..."},
        {{{1001}, one, {}},
         -1,
         "blobby: opcode 1001 at code position 0 lacks its operands. Ignoring ..."},
        {{{1001, 4}, one, {}},
         -1,
         "blobby: the element at code position 0 needs floats 4 to 19 but there are 16. "
         "Ignoring ..."},
        {{{1001, 0, 0, 2, 0, 1}, one, {}},
         -1,
         "blobby: opcode 0 at code position 2 refers to instruction 1, which is not before it. "
         "Ignoring ..."},
        {{{1001, 0, 2, 0}, one, {}},
         -1,
         "blobby: opcode 2 at code position 2 needs a count of at least 1. Ignoring ..."},
        {{{1001, 0, 4, 0}, one, {}},
         -1,
         "blobby: opcode 4 at code position 2 lacks its operands. Ignoring ..."},
        {{{1001, 0}, one, {}}, 3, "blobby: nleaf is 3 but the code makes 1 leaves. Ignoring ..."},
        {{{1001, 0}, std::vector<float>(16, 0.0f), {}},
         -1,
         "blobby: the matrix of the element at code position 0 is singular. Ignoring ..."},
        {{{1000, 0}, {0.7f}, {}},
         -1,
         "blobby: no ellipsoid or segment bounds the surface. Ignoring ..."},
        {{{1003, 1, 0, 1001, 0}, one, {""}},
         -1,
         "blobby: the plane at code position 0 names string 1 but there are 1. Ignoring ..."},
        {{{1002, 0}, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {}},
         -1,
         "blobby: the segment at code position 0 has a radius of 0. Ignoring ..."},
    };
    TestRenderer r;
    for (const Case& c : cases) {
        Params p;
        if (c.blob.code.empty()) {
            expectRefused(r, make(r, "blobby", p), c.message);
            continue;
        }
        expectRefused(r, build(r, c.blob, p, c.nleaf), c.message);
    }
}

}  // namespace
