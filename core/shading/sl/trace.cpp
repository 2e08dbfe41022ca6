// Tracing one ray: the nearest hit is shaded, and partly transparent surfaces let the ray go
// on, their colours composited front to back. Shadow rays filter light the same way.
#include "core/shading/sl/trace.h"

#include <algorithm>
#include <cstdarg>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/random.h"
#include "core/math/sampling.h"
#include "core/render/camera.h"
#include "core/render/scene.h"
#include "core/shading/sl/strings.h"

namespace SL {

using ovo::Color;
using ovo::Hit;
using ovo::Point;
using ovo::RayDifferential;
using ovo::Scene;
using ovo::ShaderEnvironment;
using ovo::Tuple;
using ovo::Vector;

namespace {

// A ray that keeps meeting transparent surfaces stops after this many; what is left behind
// them counts as the background.
constexpr int MaxLayers = 256;

inline Color transparency(const Color& opacity) {
    return Color(std::min(1.0f, std::max(0.0f, 1.0f - opacity.r)),
                 std::min(1.0f, std::max(0.0f, 1.0f - opacity.g)),
                 std::min(1.0f, std::max(0.0f, 1.0f - opacity.b)));
}

inline Point eye(const Scene& scene) {
    const ovo::Camera* camera = scene.getCamera();
    return camera ? camera->getCameraToWorld().m * Point(0.0f, 0.0f, 0.0f) : Point(0.0f);
}

inline float hitBias(const Hit& hit) { return hit.shape ? hit.shape->getAttributes().bias : 0.01f; }

void prepare(Hit& hit, const Scene& scene, const RayDifferential& ray, const Point& E) {
    hit.env.scene = &scene;
    hit.env.ray = &ray;
    hit.env.E = E;
    hit.env.time = ray.time;
}

struct Keywords {
    int samples = 1;
    float samplecone = 0.0f;
};

// Keywords travel through "..." as OIIO::ustring values, as compiled shaders pass them. A
// ustring has a user-provided copy constructor, so the C++ ABI passes it through "..." as a
// reference to a temporary, and GCC and clang read it back with va_arg the same way; clang
// warns that the type is not plain old data, which here is harmless.
// "samples" and "samplecone"; the list ends at an empty or unknown keyword.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnon-pod-varargs"
#endif
void parse(Keywords& k, int n, va_list ap) {
    for (int i = 0; i < n; ++i) {
        const OIIO::ustring key = va_arg(ap, OIIO::ustring);
        if (key.empty()) return;
        if (key == strings::samples)
            k.samples = va_arg(ap, int);
        else if (key == strings::samplecone)
            k.samplecone = float(va_arg(ap, double));
        else
            return;
    }
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

uint32_t reverseBits(uint32_t n) {
    n = (n << 16) | (n >> 16);
    n = ((n & 0x00ff00ffu) << 8) | ((n & 0xff00ff00u) >> 8);
    n = ((n & 0x0f0f0f0fu) << 4) | ((n & 0xf0f0f0f0u) >> 4);
    n = ((n & 0x33333333u) << 2) | ((n & 0xccccccccu) >> 2);
    return ((n & 0x55555555u) << 1) | ((n & 0xaaaaaaaau) >> 1);
}

uint32_t sobol2(uint32_t n, uint32_t scramble) {
    for (uint32_t d = 0x80000000u; n; n >>= 1, d ^= d >> 1)
        if (n & 1u) scramble ^= d;
    return scramble;
}

// Directions of a cone sampling: one along dir, or `samples` stratified over the cone.
template <class F>
Color sampleCone(const Keywords& k, const Vector& dir, F&& trace) {
    const Vector z(dir.hat());
    if (k.samplecone <= 0.01f || k.samples <= 1) return trace(z);
    Tuple x, y;
    z.coordinateSystem(x, y);
    const uint32_t s1 = ::urand(), s2 = ::urand();
    const float sinMax = std::sin(std::min(k.samplecone, 1.5707964f));
    Color sum(0.0f);
    for (int i = 0; i < k.samples; ++i) {
        const float u1 = float(double(reverseBits(uint32_t(i)) ^ s1) * (1.0 / 4294967296.0));
        const float u2 = float(double(sobol2(uint32_t(i), s2)) * (1.0 / 4294967296.0));
        sum += trace(CosineSampleCone(std::min(u1, 0.99999994f), std::min(u2, 0.99999994f), sinMax,
                                      Vector(x), Vector(y), z));
    }
    return sum / float(k.samples);
}

}  // namespace

bool traceRay(const Scene& scene, RayDifferential& ray, Color& Ci, Color& Oi) {
    if (ray.depth > scene.maxRayDepth && ray.type != RayDifferential::Gather) {
        Ci = scene.maxDepthColor;
        Oi = Color(0.0f);
        return false;
    }
    const Point E = eye(scene);
    RayDifferential r = ray;
    Ci = Color(0.0f);
    Oi = Color(0.0f);
    Color weight(1.0f);
    bool any = false;
    for (int layer = 0; layer < MaxLayers; ++layer) {
        Hit hit;
        prepare(hit, scene, r, E);
        if (!scene.intersect(r, hit)) {
            Ci += weight * scene.maxDepthColor;
            break;
        }
        if (!any) ray.maxt = hit.t;
        any = true;
        hit.shade(r, nullptr);
        Ci += weight * hit.env.Ci;
        Oi += weight * hit.env.Oi;
        const Color through = transparency(hit.env.Oi);
        if (std::max(through.r, std::max(through.g, through.b)) <= 0.001f) break;
        weight *= through;
        r.mint = hit.t + hitBias(hit);
    }
    return any;
}

Color transmissionRay(ShaderEnvironment& env, RayDifferential& ray) {
    Color result(1.0f);
    if (!env.scene) return result;
    const Scene& scene = *env.scene;
    RayDifferential r = ray;
    for (int layer = 0; layer < MaxLayers; ++layer) {
        Hit hit;
        prepare(hit, scene, r, env.E);
        if (!scene.intersect(r, hit)) break;
        const ovo::ShadingAttributes* s = hit.attributes.shading.get();
        if (!s || s->rayShadows) {
            if (s && s->transparentShadows) {
                const ovo::Interpolator<Color>* os = hit.shape ? hit.shape->getOs() : nullptr;
                result *= transparency(os ? os->valueAt(hit.env.face, hit.env.su, hit.env.sv)
                                          : s->opacity);
            } else {
                hit.shade(r, nullptr);
                result *= transparency(hit.env.Oi);
            }
        }
        if (result.r == 0.0f && result.g == 0.0f && result.b == 0.0f) break;
        r.mint = hit.t + hitBias(hit);
        if (r.mint >= r.maxt) break;
    }
    return result;
}

Color transmission(ShaderEnvironment& env, const Tuple& from, const Tuple& to, int n, ...) {
    Keywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, n, ap);
    va_end(ap);
    const Vector d(to - from);
    if (d.length() == 0.0f) return Color(1.0f);
    const float maxt = env.lightDistance >= 1e30f ? 1e30f : env.lightDistance - env.bias;
    const int depth = (env.ray ? env.ray->depth : 0) + 1;
    return sampleCone(k, d, [&](const Vector& dir) {
        RayDifferential ray(Point(from), dir, env.bias, maxt, env.time);
        ray.type = RayDifferential::Transmission;
        ray.depth = depth;
        return transmissionRay(env, ray);
    });
}

Color tracec(ShaderEnvironment& env, Tuple& P, Tuple& dir, int n, ...) {
    if (env.derivPass != 0 || !env.scene) return Color(0.0f);
    if (env.ray && (env.ray->type == RayDifferential::Transmission ||
                    env.ray->type == RayDifferential::Gather))
        return Color(0.0f);
    if (dir.length() == 0.0f) return Color(0.0f);
    Keywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, n, ap);
    va_end(ap);
    const int depth = (env.ray ? env.ray->depth : 0) + 1;
    return sampleCone(k, Vector(dir), [&](const Vector& d) {
        RayDifferential ray(Point(P), d, env.bias, 1e30f, env.time);
        ray.type = RayDifferential::Traced;
        ray.depth = depth;
        Color Ci, Oi;
        traceRay(*env.scene, ray, Ci, Oi);
        return Ci;
    });
}

}  // namespace SL
