// Loads the shape plugins the way the renderer does (the file under $OVO_HOME/plugins, its
// createShape entry, then the primitive-variable interpolators), with a renderer whose error
// manager records every message.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
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

class TestRenderer : public RendererAPI {
  public:
    ErrorManager* GetErrorManager() override { return capture.manager; }
    std::vector<ovotest::Report>& messages() { return capture.handler.reports; }

  private:
    ovotest::CapturingManager capture;
};

inline OvoCreateShapeEntry entryFor(const std::string& type) {
    return OvoCreateShapeEntry(ovotest::pluginSymbol(type + ".shape.so", "createShape"));
}

// A parameter list that owns the values it refers to.
class Params {
  public:
    Params& add(const char* decl, std::vector<float> values, int nvalues = 1) {
        floats.push_back(std::move(values));
        return push(decl, floats.back().data(), nvalues);
    }
    Params& add(const char* decl, std::vector<int> values, int nvalues = 1) {
        ints.push_back(std::move(values));
        return push(decl, ints.back().data(), nvalues);
    }
    Params& add(const char* decl, float value) { return add(decl, std::vector<float>{value}); }
    Params& add(const char* decl, int value) { return add(decl, std::vector<int>{value}); }

    ParameterSet set;

  private:
    Params& push(const char* decl, const void* data, int nvalues) {
        ParamType type;
        const char* name = nullptr;
        EXPECT_GT(type.fromString(decl, &name), 0) << decl;
        set.push_back(new Parameter(name ? name : "", type, nvalues, data, false));
        return *this;
    }
    std::deque<std::vector<float>> floats;
    std::deque<std::vector<int>> ints;
};

// What the renderer's shape factory does: the entry, then the interpolators of "N", "C",
// "opacity", "s" and "t" when they are given.
inline Reference<Shape> make(TestRenderer& renderer, const std::string& type, Params& params,
                             const Transform& objectToWorld = Transform(),
                             const ShapeAttributes& attributes = ShapeAttributes()) {
    OvoCreateShapeEntry entry = entryFor(type);
    if (!entry) return Reference<Shape>();
    Shape* shape = entry(renderer, objectToWorld, attributes, params.set);
    if (!shape) return Reference<Shape>();
    if (Parameter* p = params.set.find("N", TypeNormal))
        if (auto* i = shape->createNormalInterpolator(*p)) shape->setN(i);
    if (Parameter* p = params.set.find("C", TypeColor))
        if (auto* i = shape->createColorInterpolator(*p)) shape->setCs(i);
    if (Parameter* p = params.set.find("opacity", TypeColor))
        if (auto* i = shape->createColorInterpolator(*p)) shape->setOs(i);
    if (Parameter* p = params.set.find("s", TypeFloat))
        if (auto* i = shape->createFloatInterpolator(*p)) shape->setS(i);
    if (Parameter* p = params.set.find("t", TypeFloat))
        if (auto* i = shape->createFloatInterpolator(*p)) shape->setT(i);
    return Reference<Shape>(shape);
}

inline ShapeAttributes attributes(bool twoSided = true, bool inside = false, float bias = 1e-4f) {
    ShapeAttributes a;
    a.twoSided = twoSided;
    a.orientationInside = inside;
    a.bias = bias;
    return a;
}

// Expects no shape and exactly one message, at level Error, with this text.
inline void expectRefused(TestRenderer& renderer, const Reference<Shape>& shape,
                          const std::string& text) {
    EXPECT_FALSE(shape) << text;
    ASSERT_EQ(renderer.messages().size(), 1u) << text;
    EXPECT_EQ(renderer.messages()[0].code, int(OIIO::ErrorHandler::EH_ERROR));
    EXPECT_EQ(renderer.messages()[0].text, text);
    renderer.messages().clear();
}

// Parameter lists that the plugin `type` refuses, each with its one message.
struct Refusal {
    std::function<void(Params&)> fill;
    const char* message;
};
inline void expectRefusals(TestRenderer& renderer, const std::string& type,
                           const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        Params p;
        c.fill(p);
        expectRefused(renderer, make(renderer, type, p), c.message);
    }
}

inline Vector unit(const Tuple& v) { return Vector(v.hat()); }

// A flat shape in the plane z = 0 that covers (0.2, 0.2) and faces +z: which side rays see and
// the normal they get follow reversed orientation, mirroring and one-sidedness.
inline void expectFlatOrientationRules(const std::string& type,
                                       const std::function<void(Params&)>& fill) {
    TestRenderer r;
    const Ray down(Point(0.2f, 0.2f, 1), Vector(0, 0, -1)),
        up(Point(0.2f, 0.2f, -1), Vector(0, 0, 1));
    for (int inside = 0; inside < 2; ++inside)
        for (int mirrored = 0; mirrored < 2; ++mirrored)
            for (int twoSided = 0; twoSided < 2; ++twoSided) {
                SCOPED_TRACE(type + " inside " + std::to_string(inside) + " mirrored " +
                             std::to_string(mirrored) + " two-sided " + std::to_string(twoSided));
                Params p;
                fill(p);
                const Transform t = mirrored ? Scale(-1.0f, 1.0f, 1.0f) : Transform();
                Reference<Shape> s = make(r, type, p, t, attributes(twoSided != 0, inside != 0));
                ASSERT_TRUE(s);
                // The front faces +z unless one flip turns it around.
                const float sign = (inside != mirrored) ? -1.0f : 1.0f;
                EXPECT_EQ(s->intersect(down), twoSided || sign > 0.0f);
                EXPECT_EQ(s->intersect(up), twoSided || sign < 0.0f);
                for (const Ray* ray : {&down, &up}) {
                    Hit h;
                    const bool hit = s->intersect(*ray, h);
                    EXPECT_EQ(hit, s->intersect(*ray));
                    if (hit) {
                        EXPECT_TRUE(near(h.env.Ng, Normal(0, 0, sign), 1e-6f));
                    }
                }
            }
}

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

// A bicubic patch of these 16 points in `basis`.
inline Params bicubic(const std::vector<float>& points, const char* basis) {
    Params p;
    p.add("vertex point P", points, 16);
    p.add("int nu", 4);
    p.add("int nv", 4);
    p.set.push_back(new Parameter("basis", ParamType(TypeString), 1, &basis, true));
    return p;
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

// What every shape promises whatever its surface: a hit lies on the ray within its interval and
// inside the bound, with u and v in [0, 1] and a unit normal along dPdu x dPdv; the boolean query
// agrees; a ray back along the normal meets the surface where it was hit or sampled. Returns the
// number of hits among `n` random rays aimed at the bound. Rays back along the normal start
// `backOff` of the bound's diagonal away; `samples` leaves samples out when false.
inline int expectConsistentHits(const Shape& s, uint32_t seed, int n = 1500, float backOff = 0.02f,
                                bool samples = true) {
    const Aabb box = s.objectExtent();
    const Point lo(box.bmin[0], box.bmin[1], box.bmin[2]),
        hi(box.bmax[0], box.bmax[1], box.bmax[2]);
    const float size = (hi - lo).length(), eps = 1e-4f * size;
    // Within rounding of the bound: a flat part lies in one of its planes.
    auto inBound = [&](const Point& p) {
        return p.x >= lo.x - eps && p.y >= lo.y - eps && p.z >= lo.z - eps && p.x <= hi.x + eps &&
               p.y <= hi.y + eps && p.z <= hi.z + eps;
    };
    Rng rng(seed);
    auto inBox = [&](float grow) {
        return Point(rng.range(lo.x - grow, hi.x + grow), rng.range(lo.y - grow, hi.y + grow),
                     rng.range(lo.z - grow, hi.z + grow));
    };
    auto onSurfaceAgain = [&](const ShaderEnvironment& env, const char* what) {
        const Vector back = -unit(env.Ng);
        Hit again;
        ASSERT_TRUE(s.intersect(Ray(env.P - backOff * size * back, back), again)) << what;
        EXPECT_TRUE(near(again.env.P, env.P, 2e-3f * size)) << what;
    };
    int hits = 0;
    for (int i = 0; i < n; ++i) {
        const Point o = inBox(size), aim = inBox(0.0f);
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
        EXPECT_TRUE(inBound(e.P)) << "ray " << i;
        EXPECT_TRUE(e.u >= 0.0f && e.u <= 1.0f && e.v >= 0.0f && e.v <= 1.0f) << "ray " << i;
        EXPECT_NEAR(e.Ng.length(), 1.0f, 1e-4f) << "ray " << i;
        const Vector cross = e.dPdu ^ e.dPdv;
        if (cross.length() > 1e-6f * size * size) {
            EXPECT_NEAR(std::fabs(dot(unit(cross), e.Ng)), 1.0f, 1e-3f) << "ray " << i;
        }
        onSurfaceAgain(e, "hit");
    }
    // A shape without an area is not sampled.
    for (int i = 0; i < (samples && s.area() > 0.0f ? 200 : 0); ++i) {
        ShaderEnvironment env;
        s.sample(env, Point(0.0f), rng.next(), rng.next());
        EXPECT_TRUE(inBound(env.P)) << "sample " << i;
        onSurfaceAgain(env, "sample");
    }
    return hits;
}

}  // namespace ovotest
