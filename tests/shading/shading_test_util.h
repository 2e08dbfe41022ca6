// Shared by the shading tests: shaders made from the test plugins and the compiled shaders, the
// counters those plugins export, textures written for the lookups, and small worlds of
// axis-aligned planes for the tracing and gathering tests.
#pragma once

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/plugin.h>

#include <atomic>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/render/scene.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"
#include "core/shading/shader_group.h"
#include "tests/common/test_util.h"

namespace ovotest {

using namespace ovo;

// A test-plugin or compiled shader with `parameters` bound under `spaces`.
inline Shader* makeShader(const std::string& name, ParameterSet parameters = {},
                          std::map<OIIO::ustring, Transform> spaces = {}) {
    return createShader(name, pluginDir(Plugins::TestOnly) + ":" + pluginDir(Plugins::Shaders),
                        spaces, parameters);
}

// One value bound to a shader parameter: a float, a colour, a point, a string, or values of
// any type given as floats.
struct Arg {
    Arg(const char* name, float f) : name(name), type(TypeFloat), values{f} {}
    Arg(const char* name, const Color& c) : name(name), type(TypeColor), values{c.r, c.g, c.b} {}
    Arg(const char* name, const Point& p) : name(name), type(TypePoint), values{p.x, p.y, p.z} {}
    Arg(const char* name, const char* s) : name(name), type(TypeString), text(s) {}
    Arg(const char* name, ParamType type, std::vector<float> values)
        : name(name), type(type), values(std::move(values)) {}
    const char* name;
    ParamType type;
    std::vector<float> values;
    const char* text = nullptr;
};
using Args = std::initializer_list<Arg>;

inline ParameterSet argsOf(Args args) {
    ParameterSet p;
    for (const Arg& a : args)
        p.push_back(a.name, a.type, a.text ? (const void*)&a.text : a.values.data(), true);
    return p;
}

// `name` with `args` bound.
inline Reference<Shader> bound(const char* name, Args args = {}) {
    return Reference<Shader>(makeShader(name, argsOf(args)));
}
// The same with its diffuse and specular terms off.
inline Reference<Shader> unlit(const char* name, Args args = {}) {
    ParameterSet p = argsOf(args);
    const float zero = 0.0f;
    for (const char* k : {"Kd", "Ks"}) p.push_back(k, ParamType(TypeFloat), &zero, true);
    return Reference<Shader>(makeShader(name, p));
}
inline Reference<Light> lightOf(const char* name, Args args = {}) {
    return Reference<Light>(dynamic_cast<Light*>(makeShader(name, argsOf(args))));
}

// Colours within `tol` of each other (Euclidean distance).
inline ::testing::AssertionResult near(const Color& a, const Color& b, float tol = 1e-3f) {
    return near(Tuple(a.r, a.g, a.b), Tuple(b.r, b.g, b.b), tol);
}

// Hits borrow their records from the primitive they met, which outlives them; a test's own
// hit borrows from records kept here until the program ends.
template <class T>
T* keep(const Reference<T>& record) {
    static auto* kept = new std::vector<Reference<ReferenceCounted>>();
    kept->emplace_back(record.get());
    return record.get();
}

inline Reference<ShaderGroup> groupOf(std::vector<Reference<Shader>> layers) {
    Reference<ShaderGroup> g(new ShaderGroup());
    for (Reference<Shader>& s : layers) g->add(std::move(s));
    return g;
}

// A hit at P on the plane z = 0 facing Ng, where u = x and v = y.
inline Hit planeHit(const Point& P, const Normal& Ng = Normal(0, 0, 1)) {
    Hit hit;
    hit.t = 1.0f;
    hit.env.P = P;
    hit.env.Ng = Ng;
    hit.env.u = P.x;
    hit.env.v = P.y;
    hit.env.dPdu = Vector(1, 0, 0);
    hit.env.dPdv = Vector(0, 1, 0);
    return hit;
}

// A ray from o along (0, 0, dz) whose offset rays lean `step` further in x and in y.
inline RayDifferential steppedRay(const Point& o, float dz, float step) {
    RayDifferential ray(o, Vector(0, 0, dz));
    ray.hasDifferentials = true;
    ray.rx = Ray(o, Vector(step, 0, dz));
    ray.ry = Ray(o, Vector(0, step, dz));
    return ray;
}

// The counter the test plugin `plugin` hands out through its function `symbol`.
template <class T>
T* counter(const std::string& plugin, const char* symbol) {
    const std::string file = plugin + ".shader." + OIIO::Plugin::plugin_extension();
    T* (*entry)() = pluginSymbol<T* (*)()>(file, symbol, Plugins::TestOnly);
    return entry ? entry() : nullptr;
}

// A w x h texture `name` in `dir` whose pixel (x, y) has the colour quadrant[2y/h][2x/w].
inline std::string writeTexture(const ScratchDir& dir, const char* name, int w, int h,
                                const Color (&quadrant)[2][2],
                                OIIO::ImageBufAlgo::MakeTextureMode kind, const char* wrap) {
    OIIO::ImageBuf image(OIIO::ImageSpec(w, h, 3, OIIO::TypeDesc::FLOAT));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setpixel(x, y, &quadrant[2 * y / h][2 * x / w].r);
    OIIO::ImageSpec config;
    if (wrap) config.attribute("wrapmodes", wrap);
    EXPECT_TRUE(OIIO::ImageBufAlgo::make_texture(kind, image, dir / name, config));
    return dir / name;
}
// A 16 x 16 texture: red, green on the top row of quadrants (t < 0.5), blue, white below;
// "periodic" is its own wrap mode.
inline std::string writeChecker(const ScratchDir& dir) {
    const Color q[2][2] = {{Color(1, 0, 0), Color(0, 1, 0)}, {Color(0, 0, 1), Color(1.0f)}};
    return writeTexture(dir, "checker.tx", 16, 16, q, OIIO::ImageBufAlgo::MakeTxTexture,
                        "periodic");
}
// A lat-long sky, z up: `above` over the horizon, `below` under it.
inline std::string writeSky(const ScratchDir& dir, const Color& above, const Color& below) {
    const Color q[2][2] = {{above, above}, {below, below}};
    return writeTexture(dir, "sky.tx", 32, 16, q, OIIO::ImageBufAlgo::MakeTxEnvLatl, nullptr);
}

// The plane where coordinate `axis` is `at`, facing `facing` (+1 or -1 along the axis), hit
// only where every other coordinate lies within [lo, hi] of that axis.
class Slab : public Primitive {
  public:
    Slab(int axis, float at, float facing) : axis(axis), at(at), facing(facing) {
        attributes.shading = new ShadingAttributes();
    }
    Slab& limit(int a, float from, float to) {
        lo[a] = from;
        hi[a] = to;
        return *this;
    }
    // Shaded "constant": it glows with `colour`.
    Slab& glow(const Color& colour) {
        attributes.shading->C = colour;
        attributes.surface = groupOf({Reference<Shader>(makeShader("constant"))});
        return *this;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        if (hit.env.geometrySet && !hit.env.geometrySet->contains(this)) return false;
        if (ray.d[axis] == 0.0f) return false;
        const float t = (at - ray.o[axis]) / ray.d[axis];
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        const Point p = ray(t);
        for (int a = 0; a < 3; ++a)
            if (a != axis && (p[a] < lo[a] || p[a] > hi[a])) return false;
        hit.t = t;
        hit.env.P = p;
        Normal n(0.0f);
        n[axis] = facing;
        hit.env.Ng = hit.env.N = n;
        hit.env.dPdu = hit.env.dPdv = Vector(0.0f);
        hit.env.dPdu[(axis + 1) % 3] = hit.env.dPdv[(axis + 2) % 3] = 1.0f;
        hit.env.u = hit.env.P[(axis + 1) % 3];
        hit.env.v = hit.env.P[(axis + 2) % 3];
        hit.attributes = attributes;
        hit.primitive = this;
        return true;
    }
    bool intersect(const Ray& ray) const override {
        Hit hit;
        return intersect(ray, hit);
    }
    Aabb objectExtent() const override { return worldExtent(); }
    Aabb worldExtent() const override {
        float b[6];
        for (int a = 0; a < 3; ++a) {
            b[2 * a] = a == axis ? at : std::max(lo[a], -1e30f);
            b[2 * a + 1] = a == axis ? at : std::min(hi[a], 1e30f);
        }
        return Aabb(b);
    }

    static constexpr float Inf = std::numeric_limits<float>::infinity();
    PrimitiveAttributes attributes;

  private:
    int axis;
    float at, facing;
    float lo[3] = {-Inf, -Inf, -Inf}, hi[3] = {Inf, Inf, Inf};
};

// The nearest hit of any member; counts every ray it is asked to trace.
class World : public Primitive {
  public:
    Slab& add(Slab* s) {
        members.emplace_back(s);
        return *s;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        rays.fetch_add(1, std::memory_order_relaxed);
        Ray r = ray;
        bool found = false;
        for (const Reference<Primitive>& m : members)
            if (m->intersect(r, hit)) r.maxt = hit.t, found = true;
        return found;
    }
    bool intersect(const Ray& ray) const override {
        Hit hit;
        return intersect(ray, hit);
    }
    Aabb objectExtent() const override { return worldExtent(); }
    Aabb worldExtent() const override {
        Aabb b;
        for (const Reference<Primitive>& m : members) b += m->worldExtent();
        return b;
    }

    std::vector<Reference<Primitive>> members;
    mutable std::atomic<unsigned long> rays{0};
};

// A render-time scene of `world` with the default ray settings (or `settings`), no camera.
inline std::unique_ptr<Scene> sceneOf(World& world, const RaySettings& settings = RaySettings(),
                                      GeometrySets sets = GeometrySets(),
                                      image::LazyTextureSystem* textures = nullptr) {
    return std::make_unique<Scene>(nullptr, &world, nullptr, textures, settings, NamedSpaces(),
                                   std::move(sets));
}

// A shading point of `scene` at P facing N (a pixel of no width).
inline ShaderEnvironment pointOf(const Scene& scene, const Point& P, const Normal& N) {
    ShaderEnvironment env;
    env.scene = &scene;
    env.P = P;
    env.N = env.Ng = N;
    return env;
}

}  // namespace ovotest
