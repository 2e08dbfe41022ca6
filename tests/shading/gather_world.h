// Small worlds for the tracing and gathering tests: axis-aligned planes and rectangles with
// their own attributes, a list that finds the nearest hit and counts the rays it is asked,
// and a render-time Scene around them.
#pragma once

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/render/scene.h"

namespace ovotest {

using namespace ovo;

// The plane where coordinate `axis` is `at`, facing `facing` (+1 or -1 along the axis), hit
// only where every other coordinate lies within [lo, hi] of that axis.
class Slab : public Primitive {
  public:
    Slab(int axis, float at, float facing) : axis(axis), at(at), facing(facing) {
        const float inf = std::numeric_limits<float>::infinity();
        for (int a = 0; a < 3; ++a) lo[a] = -inf, hi[a] = inf;
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
        hit.env.Ng = n;
        hit.env.N = n;
        Vector du(0.0f), dv(0.0f);
        du[(axis + 1) % 3] = 1.0f;
        dv[(axis + 2) % 3] = 1.0f;
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
        for (const Reference<Primitive>& m : members) {
            if (m->intersect(r, hit)) {
                r.maxt = hit.t;
                found = true;
            }
        }
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
                                      GeometrySets sets = GeometrySets()) {
    return std::unique_ptr<Scene>(
        new Scene(nullptr, &world, nullptr, nullptr, settings, NamedSpaces(), std::move(sets)));
}

// A shading point of `scene` at P facing N whose pixel is `footprint` wide.
inline ShaderEnvironment pointOf(const Scene& scene, const Point& P, const Normal& N,
                                 float footprint = 0.0f) {
    ShaderEnvironment env;
    env.scene = &scene;
    env.P = P;
    env.N = env.Ng = N;
    Tuple a, b;
    N.coordinateSystem(a, b);
    env.dPdx = Vector(a) * footprint;
    env.dPdy = Vector(b) * footprint;
    return env;
}

}  // namespace ovotest
