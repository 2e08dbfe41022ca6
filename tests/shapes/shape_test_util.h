// Makes shapes through the renderer's shape factory from parameter lists written as text, with
// a renderer that records every message; and the checks every shape owes whatever its surface.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <deque>
#include <functional>
#include <list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/geometry/hit.h"
#include "core/geometry/shape.h"
#include "core/math/transform.h"
#include "core/params/error.h"
#include "core/params/parameter.h"
#include "tests/common/test_util.h"

namespace ovotest {

using namespace ovo;

// Keeps every message, and the parameter lists of the shapes made, which their interpolators
// may go on reading.
class TestRenderer : public RendererAPI {
  public:
    ErrorManager* GetErrorManager() override { return capture.manager; }
    std::vector<ovotest::Report>& messages() { return capture.handler.reports; }
    std::list<struct Params> lists;

  private:
    ovotest::CapturingManager capture;
};

// A parameter list that owns its values, written as text: "float radius = 1.5; vertex point P =
// 0 0 0 1 0 0 0 1 0; string basis = bspline" gives each declaration as many values as its numbers
// fill, or the count after a "#" ("... 1 1 0 #1": an array that does not tell its length);
// strings are single words. An entry replaces an earlier one of its name.
struct Params {
    Params(const std::string& text) {
        std::istringstream entries(text);
        for (std::string entry; std::getline(entries, entry, ';');) {
            const std::size_t eq = entry.find('=');
            if (eq == std::string::npos) continue;
            std::istringstream left(entry.substr(0, eq)), right(entry.substr(eq + 1));
            std::string decl, name;
            while (left >> name) decl += (decl.empty() ? "" : " ") + name;
            const ParamType type(decl.c_str());
            EXPECT_NE(type.basetype(), TypeUnknown) << decl;
            int count = -1;
            std::vector<std::string>& words = texts.emplace_back();
            for (std::string w; right >> w;)
                w[0] == '#' ? void(count = std::stoi(w.substr(1))) : words.push_back(w);
            const int per = std::max(1, ParamType::BaseTypeNFloats(type.basetype())) *
                            std::max(1, int(type.arraylen()));
            const void* data = nullptr;
            // The values in a vector of their own that stays where it is.
            auto keep = [&](auto& pool, auto read) {
                auto& v = pool.emplace_back();
                for (const std::string& w : words) v.push_back(read(w));
                data = v.data();
            };
            if (type.basetype() == TypeString)
                keep(strings, [](const std::string& w) { return w.c_str(); });
            else if (type.basetype() == TypeInt)
                keep(ints, [](const std::string& w) { return std::stoi(w); });
            else
                keep(floats, [](const std::string& w) { return std::stof(w); });
            set.erase(name.c_str());
            set.push_back(new Parameter(name, type, count >= 0 ? count : int(words.size()) / per,
                                        data, false));
        }
    }
    ParameterSet set;

  private:
    std::deque<std::vector<float>> floats;
    std::deque<std::vector<int>> ints;
    std::deque<std::vector<const char*>> strings;
    std::deque<std::vector<std::string>> texts;
};

// Numbers as text that reads back to the very same floats.
inline std::string text(const std::vector<float>& values) {
    std::string out;
    char buffer[32];
    for (float v : values) out += (std::snprintf(buffer, sizeof buffer, "%.9g ", v), buffer);
    return out;
}
inline std::string ints(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += std::to_string(v) + " ";
    return out;
}

// What the renderer's shape factory makes of the plugin `type` and these parameters.
inline Reference<Shape> make(TestRenderer& renderer, const std::string& type,
                             const std::string& text, const Transform& objectToWorld = Transform(),
                             const ShapeAttributes& attributes = ShapeAttributes()) {
    std::string path = pluginDir();
    return Reference<Shape>(createShape(type, path, renderer, objectToWorld, attributes,
                                        renderer.lists.emplace_back(text).set));
}

// The shape a test needs: a refusal ends the test with its reason; making it says nothing.
inline Reference<Shape> made(TestRenderer& renderer, const std::string& type,
                             const std::string& text, const Transform& objectToWorld = Transform(),
                             const ShapeAttributes& attributes = ShapeAttributes()) {
    const std::size_t before = renderer.messages().size();
    Reference<Shape> s = make(renderer, type, text, objectToWorld, attributes);
    const std::string said =
        renderer.messages().size() > before ? renderer.messages()[before].text : "";
    if (!s) throw std::runtime_error(type + " refused: " + said);
    EXPECT_EQ(said, "") << type;
    return s;
}

// The hit of a ray that must meet the shape: a miss ends the test.
inline Hit hitOf(const Shape& s, const Ray& ray) {
    Hit h;
    if (s.intersect(ray, h)) return h;
    std::ostringstream where;
    where << "no hit from (" << ray.o.x << ", " << ray.o.y << ", " << ray.o.z << ") along ("
          << ray.d.x << ", " << ray.d.y << ", " << ray.d.z << ")";
    throw std::runtime_error(where.str());
}
// The ray straight down onto (x, y) from height z, and its hit.
inline Ray down(float x, float y, float z = 5.0f) { return Ray(Point(x, y, z), Vector(0, 0, -1)); }
inline Hit hitDown(const Shape& s, float x, float y, float z = 5.0f) {
    return hitOf(s, down(x, y, z));
}

// A primitive variable where a hit lies: a variable the shape does not have ends the test.
template <class T>
T at(const Interpolator<T>* variable, const Hit& h) {
    if (!variable) throw std::runtime_error("the shape has no such variable");
    return variable->valueAt(h.env.face, h.env.su, h.env.sv);
}

inline ShapeAttributes attributes(bool twoSided = true, bool inside = false, float bias = 1e-4f) {
    ShapeAttributes a;
    a.twoSided = twoSided;
    a.orientationInside = inside;
    a.bias = bias;
    return a;
}

// Two-sided, outside out, without bias: rays may start anywhere.
inline ShapeAttributes noBias() { return attributes(true, false, 0.0f); }

// Expects exactly one message, with this text (and level, if given), and forgets it.
inline void expectSaid(TestRenderer& renderer, const std::string& text, int level = -1) {
    ASSERT_EQ(renderer.messages().size(), 1u) << text;
    if (level >= 0) {
        EXPECT_EQ(renderer.messages()[0].code, level);
    }
    EXPECT_EQ(renderer.messages()[0].text, text);
    renderer.messages().clear();
}

// Expects no shape and exactly one message, at level Error, with this text.
inline void expectRefused(TestRenderer& renderer, const Reference<Shape>& shape,
                          const std::string& text) {
    EXPECT_FALSE(shape) << text;
    expectSaid(renderer, text, int(OIIO::ErrorHandler::EH_ERROR));
}

inline Vector unit(const Tuple& v) { return Vector(v.hat()); }

// Calls f(objectToWorld, attributes, sign, twoSided) under every combination of reversed
// orientation, mirroring and one-sidedness; sign is -1 where exactly one flip turns the front
// around.
template <class F>
void forEachOrientation(const std::string& what, F f) {
    for (int flips = 0; flips < 8; ++flips) {
        const bool inside = flips & 1, mirrored = flips & 2, twoSided = flips & 4;
        SCOPED_TRACE(what + " inside " + std::to_string(inside) + " mirrored " +
                     std::to_string(mirrored) + " two-sided " + std::to_string(twoSided));
        f(mirrored ? Scale(-1.0f, 1.0f, 1.0f) : Transform(), attributes(twoSided, inside),
          inside != mirrored ? -1.0f : 1.0f, twoSided);
    }
}

// A flat shape in z = 0 that covers (0.2, 0.2) and faces +z: the side rays see and the normal
// they get follow reversed orientation, mirroring and one-sidedness.
inline void expectFlatOrientationRules(const std::string& type, const std::string& params) {
    TestRenderer r;
    forEachOrientation(
        type, [&](const Transform& t, const ShapeAttributes& a, float sign, bool twoSided) {
            Reference<Shape> s = made(r, type, params, t, a);
            // A one-sided shape shows its front only to the ray down when it faces +z.
            for (const float dz : {-1.0f, 1.0f}) {
                const Ray ray(Point(0.2f, 0.2f, -dz), Vector(0, 0, dz));
                Hit h;
                const bool hit = s->intersect(ray, h);
                EXPECT_EQ(hit, twoSided || dz == -sign);
                EXPECT_EQ(s->intersect(ray), hit);
                if (hit) {
                    EXPECT_TRUE(near(h.env.Ng, Normal(0, 0, sign), 1e-6f));
                }
            }
        });
}

// "vertex point P = ...; int[n] nvertices = ...; int[] vertices = ...", the arrays of P and the
// indices written without their lengths when `lengths` is "#1" (as the renderer pushes them).
inline std::string polygons(const std::vector<float>& P, const std::vector<int>& sizes,
                            const std::vector<int>& vertices, const std::string& lengths = "") {
    return "vertex point P = " + text(P) + lengths + "; int[" + std::to_string(sizes.size()) +
           "] nvertices = " + ints(sizes) + "; int[] vertices = " + ints(vertices) + lengths;
}

// The cube [-1, 1]³ as six quadrilaterals, counter-clockwise seen from outside.
inline const std::string Cube =
    "vertex point P = -1 -1 1 1 -1 1 -1 1 1 1 1 1 -1 1 -1 1 1 -1 -1 -1 -1 1 -1 -1; int[6] "
    "nvertices = 4 4 4 4 4 4; int[] vertices = 0 1 3 2 2 3 5 4 4 5 7 6 6 7 1 0 1 7 5 3 6 0 2 4";

// A 4 × 4 grid evenly spaced in x and y with heights that bend it: in every basis the surface
// is then a height field over the plane, so a ray straight down meets it once.
inline std::vector<float> bentGrid() {
    static const float z[16] = {0.1f,  -0.2f, 0.15f, 0.0f, -0.1f, 0.3f,   0.2f, -0.15f,
                                0.05f, 0.25f, -0.3f, 0.1f, 0.2f,  -0.05f, 0.1f, 0.0f};
    std::vector<float> p;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) p.insert(p.end(), {i / 3.0f, j / 3.0f, z[4 * j + i]});
    return p;
}

// The weights of the four control values of a cubic basis at t, written out: Hermite's are two
// ends and their tangents (P0, R0, P1, R1), the power basis's the coefficients of t³, t², t
// and 1.
inline std::array<double, 4> blend(const std::string& basis, double t) {
    const double s = 1 - t, t2 = t * t, t3 = t2 * t;
    if (basis == "bezier") return {s * s * s, 3 * t * s * s, 3 * t2 * s, t3};
    if (basis == "bspline")
        return {s * s * s / 6, (3 * t3 - 6 * t2 + 4) / 6, (-3 * t3 + 3 * t2 + 3 * t + 1) / 6,
                t3 / 6};
    if (basis == "catmull-rom")
        return {0.5 * (-t3 + 2 * t2 - t), 0.5 * (3 * t3 - 5 * t2 + 2), 0.5 * (-3 * t3 + 4 * t2 + t),
                0.5 * (t3 - t2)};
    if (basis == "hermite")
        return {2 * t3 - 3 * t2 + 1, t3 - 2 * t2 + t, -2 * t3 + 3 * t2, t3 - t2};
    EXPECT_EQ(basis, "power");
    return {t3, t2, t, 1};
}

// A bicubic patch of these 16 points in `basis`.
inline std::string bicubic(const std::vector<float>& points, const std::string& basis) {
    return "vertex point P = " + text(points) + "; int nu = 4; int nv = 4; string basis = " + basis;
}

// The unit square in z = 0 as a NURBS of order 2 with n × n control points (more than a few
// make enough grid cells for Embree to trace it), kept between umin and umax.
inline std::string flatNurbs(int n, float umin = 0.0f, float umax = 1.0f) {
    std::vector<float> knots = {0.0f}, P;
    for (int i = 0; i < n; ++i) knots.push_back(float(i) / float(n - 1));
    knots.push_back(1.0f);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            P.insert(P.end(), {float(i) / float(n - 1), float(j) / float(n - 1), 0.0f});
    const std::string k = "float[" + std::to_string(n + 2) + "] ", nn = std::to_string(n);
    return "int nu = " + nn + "; int uorder = 2; " + k + "uknot = " + text(knots) +
           "; float umin = " + text({umin}) + "; float umax = " + text({umax}) +
           "; int nv = " + nn + "; int vorder = 2; " + k + "vknot = " + text(knots) +
           "; float vmin = 0; float vmax = 1; vertex point P = " + text(P);
}

// Deterministic uniform numbers for the tests.
class Rng {
  public:
    explicit Rng(uint32_t seed) : state(seed * 2654435761u + 1u) {}
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) * (1.0f / 16777216.0f);
    }
    float range(float lo, float hi) { return lo + (hi - lo) * next(); }
    Point point(const Point& lo, const Point& hi) {
        return Point(range(lo.x, hi.x), range(lo.y, hi.y), range(lo.z, hi.z));
    }
    Vector direction() {
        for (;;) {
            const Vector v(range(-1, 1), range(-1, 1), range(-1, 1));
            const float l = v.length();
            if (l > 0.05f && l <= 1.0f) return Vector(v / l);
        }
    }

  private:
    uint32_t state;
};

// What every shape promises: a hit lies on the ray within its interval and inside the bound,
// with u, v in [0, 1] and a unit normal along dPdu x dPdv; the boolean query agrees; a ray back
// along the normal (from `backOff` of the bound's diagonal away) meets the surface where it was
// hit or sampled. Returns the hits among `n` random rays at the bound, each handed to `check`.
inline int expectConsistentHits(
    const Shape& s, uint32_t seed, int n = 1500, float backOff = 0.02f, bool samples = true,
    const std::function<void(const ShaderEnvironment&)>& check = [](const ShaderEnvironment&) {}) {
    const Aabb box = s.objectExtent();
    const Point lo(box.bmin), hi(box.bmax);
    const float size = (hi - lo).length(), eps = 1e-4f * size;
    // The bound to rounding: a flat part lies in one of its planes.
    const Aabb bound(lo.x - eps, hi.x + eps, lo.y - eps, hi.y + eps, lo.z - eps, hi.z + eps);
    Rng rng(seed);
    auto onSurfaceAgain = [&](const ShaderEnvironment& env, const char* what) {
        const Vector back = -unit(env.Ng);
        const Hit again = hitOf(s, Ray(env.P - backOff * size * back, back));
        EXPECT_TRUE(near(again.env.P, env.P, 2e-3f * size)) << what;
    };
    int hits = 0, framed = 0;
    for (int i = 0; i < n; ++i) {
        const Point o = rng.point(lo - Vector(size), hi + Vector(size)), aim = rng.point(lo, hi);
        const Ray ray(o, rng.range(0.3f, 3.0f) * unit(aim - o), rng.range(0.0f, 0.3f),
                      rng.range(0.5f, 4.0f) * size);
        Hit h;
        const bool got = s.intersect(ray, h);
        EXPECT_EQ(got, s.intersect(ray)) << "ray " << i;
        if (!got) continue;
        ++hits;
        const ShaderEnvironment& e = h.env;
        EXPECT_TRUE(h.t >= ray.mint && h.t <= ray.maxt) << "ray " << i;
        EXPECT_TRUE(near(e.P, ray(h.t), 1e-4f * size)) << "ray " << i;
        EXPECT_TRUE(bound.contains(e.P)) << "ray " << i;
        EXPECT_TRUE(e.u >= 0.0f && e.u <= 1.0f && e.v >= 0.0f && e.v <= 1.0f) << "ray " << i;
        EXPECT_NEAR(e.Ng.length(), 1.0f, 1e-4f) << "ray " << i;
        const Vector cross = e.dPdu ^ e.dPdv;
        if (cross.length() > 1e-6f * size * size) {
            EXPECT_NEAR(std::fabs(dot(unit(cross), e.Ng)), 1.0f, 1e-3f) << "ray " << i;
            ++framed;
        }
        onSurfaceAgain(e, "hit");
        check(e);
    }
    // The surface derivatives vanish only where the parameters pinch (a pole, an apex).
    EXPECT_GE(framed, hits * 9 / 10) << "hits without dPdu and dPdv";
    // A shape without an area is not sampled.
    for (int i = 0; i < (samples && s.area() > 0.0f ? 200 : 0); ++i) {
        ShaderEnvironment env;
        s.sample(env, Point(0.0f), rng.next(), rng.next());
        EXPECT_TRUE(bound.contains(env.P)) << "sample " << i;
        onSurfaceAgain(env, "sample");
    }
    return hits;
}

}  // namespace ovotest
