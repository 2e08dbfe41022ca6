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

using Floats = std::initializer_list<std::pair<const char*, float>>;
using Colors = std::initializer_list<std::pair<const char*, Color>>;

// `name` with the values given bound; unlit, its diffuse and specular terms are off.
inline Reference<Shader> bound(const char* name, Floats floats, Colors colors = {},
                               bool lit = true) {
    ParameterSet p;
    const float zero = 0.0f;
    if (!lit) {
        p.push_back("Kd", ParamType(TypeFloat), &zero, true);
        p.push_back("Ks", ParamType(TypeFloat), &zero, true);
    }
    for (const auto& f : floats) p.push_back(f.first, ParamType(TypeFloat), &f.second, true);
    for (const auto& c : colors) p.push_back(c.first, ParamType(TypeColor), &c.second.r, true);
    return Reference<Shader>(makeShader(name, p));
}

inline Reference<Shader> unlit(const char* name, Floats floats = {}, Colors colors = {}) {
    return bound(name, floats, colors, false);
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
    g->layers = std::move(layers);
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
        for (int a = 0; a < 3; ++a) lo[a] = -Inf, hi[a] = Inf;
        attributes.shading = new ShadingAttributes();
    }
    Slab& limit(int a, float from, float to) {
        lo[a] = from;
        hi[a] = to;
        return *this;
    }
    bool hits(const Ray& ray, float& t) const {
        const float d = ray.d[axis];
        if (d == 0.0f) return false;
        t = (at - ray.o[axis]) / d;
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        const Point p = ray(t);
        for (int a = 0; a < 3; ++a)
            if (a != axis && (p[a] < lo[a] || p[a] > hi[a])) return false;
        return true;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        if (hit.env.geometrySet && !hit.env.geometrySet->contains(this)) return false;
        float t;
        if (!hits(ray, t)) return false;
        hit.t = t;
        hit.env.P = ray(t);
        Normal n(0.0f);
        n[axis] = facing;
        hit.env.Ng = hit.env.N = n;
        Vector du(0.0f), dv(0.0f);
        du[(axis + 1) % 3] = dv[(axis + 2) % 3] = 1.0f;
        hit.env.dPdu = du;
        hit.env.dPdv = dv;
        hit.env.u = hit.env.P[(axis + 1) % 3];
        hit.env.v = hit.env.P[(axis + 2) % 3];
        hit.attributes = attributes;
        hit.primitive = this;
        return true;
    }
    bool intersect(const Ray& ray) const override {
        float t;
        return hits(ray, t);
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
    float lo[3], hi[3];
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
