// The blobby plugin: silhouettes against the analytic shapes one element makes, blends and
// combinations against a dense walk of an independently written field, per-leaf variables and
// the messages of malformed code.
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

// Each element is a field of the squared distance in its own space: a point in world space is
// taken back through the element's matrix (a scale by (sx, sy, sz) after a turn about z).
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

// Elements alone and combined, against a brute-force walk of the field they make: the first
// crossing of 0.5, and a normal down the field's gradient there.
TEST(Blobby, SurfacesMatchABruteForceWalkOfTheField) {
    using Field = std::function<double(const Point&)>;
    struct Case {
        const char* name;
        Blob blob;
        Field field;
    };
    const Point e(0.3f, -0.2f, 0.4f);
    auto two = [](std::function<double(double, double)> f) -> Field {
        return [f](const Point& p) { return f(leaf(p, -0.3, 0), leaf(p, 0.35, 0.1)); };
    };
    // A segment from x = -1 to 1 of radius 1, moved up by 2.
    Blob segment{{1002, 0}, {-1, 0, 0, 1, 0, 0, 1}, {}};
    const std::vector<float> up = sphere(1, 0, 0, 2);
    segment.floats.insert(segment.floats.end(), up.begin(), up.end());
    const std::vector<Case> cases = {
        {"ellipsoid",
         {{1001, 0}, ellipsoidMatrix(2, 1, 0.5f, 0, e), {}},
         [&](const Point& p) { return ellipsoid(p, 2, 1, 0.5, 0, e); }},
        {"turned ellipsoid",
         {{1001, 0}, ellipsoidMatrix(3, 1, 1, 0.6f, e), {}},
         [&](const Point& p) { return ellipsoid(p, 3, 1, 1, 0.6, e); }},
        {"segment", segment,
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reference<Shape> s = build(r, c.blob);
        ASSERT_TRUE(s);
        EXPECT_TRUE(r.messages().empty());
        const Aabb box = s->objectExtent();
        const Point lo(box.bmin[0], box.bmin[1], box.bmin[2]),
            hi(box.bmax[0], box.bmax[1], box.bmax[2]);
        int hits = 0;
        for (int k = 0; k < 300; ++k) {
            const Point o(rng.range(-3, 3), rng.range(-3, 3), rng.range(-3, 3));
            const Point target(rng.range(lo.x, hi.x), rng.range(lo.y, hi.y), rng.range(lo.z, hi.z));
            const Ray ray(o, target - o, 0.0f, 2.0f);
            const Walked w = bruteForce(ray, 0.0, 2.0, c.field);
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
        EXPECT_TRUE(near(got, same, 1e-6f)) << nleaf;
    }
    // Constant and uniform (per-piece) values are one colour.
    for (const char* decl : {"constant color C", "perpiece color C"}) {
        Params q;
        q.add(decl, std::vector<float>{0.2f, 0.4f, 0.6f});
        Reference<Shape> one = build(r, b, q);
        ASSERT_TRUE(one && one->getCs());
        Hit hit;
        ASSERT_TRUE(one->intersect(rays[0], hit));
        EXPECT_TRUE(near(one->getCs()->valueAt(hit.env.face, hit.env.su, hit.env.sv),
                         Color(0.2f, 0.4f, 0.6f), 1e-6f));
    }
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
