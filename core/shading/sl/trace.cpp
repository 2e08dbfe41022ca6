// Tracing one ray: the nearest hit is shaded, and partly transparent surfaces let the ray go
// on, their colours composited front to back. Shadow rays filter light the same way. Cone
// tracing, occlusion and indirect diffuse are built on these two.
#include "core/shading/sl/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/math/constants.h"
#include "core/math/random.h"
#include "core/math/sampling.h"
#include "core/render/camera.h"
#include "core/render/scene.h"
#include "core/shading/gicache.h"
#include "core/shading/hemisphere.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/keywords.h"
#include "core/shading/sl/strings.h"

namespace SL {

using ovo::Color;
using ovo::GeometrySet;
using ovo::GICache;
using ovo::GIRecord;
using ovo::HemisphereSampler;
using ovo::Hit;
using ovo::Normal;
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

inline float luminance(const Color& c) { return 0.299f * c.r + 0.587f * c.g + 0.114f * c.b; }

inline float hitBias(const Hit& hit) { return hit.shape ? hit.shape->getAttributes().bias : 0.01f; }

}  // namespace

// A cache line of its own: written on every traced ray, never beside another thread's.
struct alignas(64) HitReuse::Stack {
    std::vector<std::unique_ptr<Hit>> hits;  // one per nesting level; their addresses stay
    size_t depth = 0;
};

namespace {

// Initial-exec, as the block store's pointer (core/shading/blocks.cpp): one per traced ray.
__attribute__((tls_model("initial-exec"))) thread_local HitReuse::Stack* reusedHits = nullptr;

// The hit record of one traced ray: the thread's record of this nesting level while a
// HitReuse lives, a record of its own otherwise. `next` readies it for the next layer.
class HitLease {
  public:
    HitLease() : stack(reusedHits) {
        if (stack) {
            if (stack->depth == stack->hits.size()) stack->hits.push_back(std::make_unique<Hit>());
            hit = stack->hits[stack->depth++].get();
        } else {
            hit = &local.emplace();
        }
    }
    ~HitLease() {
        if (stack) --stack->depth;
    }
    HitLease(const HitLease&) = delete;
    HitLease& operator=(const HitLease&) = delete;

    Hit& next() {
        // The transforms are left: every intersection sets them.
        hit->env.reuse();
        hit->t = 1e30f;
        hit->primitive = nullptr;
        return *hit;
    }

  private:
    HitReuse::Stack* stack;
    Hit* hit;
    std::optional<Hit> local;
};

void prepare(Hit& hit, const Scene& scene, const RayDifferential& ray, const Point& E,
             const GeometrySet* set) {
    hit.env.scene = &scene;
    hit.env.ray = &ray;
    hit.env.E = E;
    hit.env.time = ray.time;
    hit.env.geometrySet = set;
}

// A ray one level below the ray being shaded.
RayDifferential childRay(const ShaderEnvironment& env, const Point& o, const Vector& d, float mint,
                         float maxt, int type) {
    RayDifferential ray(o, d, mint, maxt, env.time);
    ray.type = type;
    ray.depth = (env.ray ? env.ray->depth : 0) + 1;
    if (type == RayDifferential::Gather)
        ray.diffuseDepth =
            env.ray && env.ray->type == RayDifferential::Gather ? env.ray->diffuseDepth + 1 : 1;
    return ray;
}

inline bool isShadowRay(const ShaderEnvironment& env) {
    return env.ray && env.ray->type == RayDifferential::Transmission;
}

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

// One ray along dir when the cone is at most 0.01, else `samples` directions over the cone,
// scrambled (0, 2)-sequence points warped cosine-wise; the mean of what `trace` returns.
template <class F>
Color sampleCone(int samples, float cone, const Vector& dir, F&& trace) {
    const Vector z(dir.hat());
    if (cone <= 0.01f) return trace(z);
    samples = std::max(1, samples);
    Tuple x, y;
    z.coordinateSystem(x, y);
    const uint32_t s1 = ::urand(), s2 = ::urand();
    const float sinMax = std::sin(std::min(cone, ovo::PiOver2));
    Color sum(0.0f);
    for (int i = 0; i < samples; ++i) {
        const float u1 = float(double(reverseBits(uint32_t(i)) ^ s1) * (1.0 / 4294967296.0));
        const float u2 = float(double(sobol2(uint32_t(i), s2)) * (1.0 / 4294967296.0));
        sum += trace(CosineSampleCone(std::min(u1, 0.99999994f), std::min(u2, 0.99999994f), sinMax,
                                      Vector(x), Vector(y), z));
    }
    return sum / float(samples);
}

// "samples" and "samplecone"; the list ends at an empty or unknown keyword.
struct ConeKeywords {
    int samples = 1;
    float samplecone = 0.0f;
};

void parse(ConeKeywords& k, KeywordReader r) {
    for (OIIO::ustring key = r.next(); !key.empty(); key = r.next()) {
        if (key == strings::samples)
            k.samples = r.integer();
        else if (key == strings::samplecone)
            k.samplecone = float(r.number());
        else
            return;
    }
}

}  // namespace

HitReuse::HitReuse() : stack(reusedHits ? nullptr : new Stack) {
    if (stack) reusedHits = stack;
}

HitReuse::~HitReuse() {
    if (!stack) return;
    reusedHits = nullptr;
    delete stack;
}

bool traceRay(const Scene& scene, RayDifferential& ray, Color& Ci, Color& Oi,
              const GeometrySet* set) {
    if (ray.depth > scene.maxRayDepth && ray.type != RayDifferential::Gather) {
        Ci = scene.maxDepthColor;
        Oi = Color(0.0f);
        return false;
    }
    const Point& E = scene.getEye();
    // The layers move the ray's start past each surface on the caller's ray itself, and its end
    // moves to the first hit once they are done: a copy made here would read back the fields
    // the camera has just stored one by one, and that load waits for the stores to retire.
    RayDifferential& r = ray;
    const float mint = ray.mint;
    float first = ray.maxt;
    Ci = Color(0.0f);
    Oi = Color(0.0f);
    Color weight(1.0f);
    bool any = false;
    HitLease lease;
    for (int layer = 0; layer < MaxLayers; ++layer) {
        Hit& hit = lease.next();
        prepare(hit, scene, r, E, set);
        if (!scene.intersect(r, hit)) {
            Ci += weight * scene.maxDepthColor;
            break;
        }
        if (!any) first = hit.t;
        any = true;
        hit.shade(r, nullptr);
        Ci += weight * hit.env.Ci;
        Oi += weight * hit.env.Oi;
        const Color through = transparency(hit.env.Oi);
        if (std::max(through.r, std::max(through.g, through.b)) <= 0.001f) break;
        weight *= through;
        r.mint = hit.t + hitBias(hit);
    }
    ray.mint = mint;
    ray.maxt = first;
    return any;
}

Color transmissionRay(ShaderEnvironment& env, RayDifferential& ray, const GeometrySet* set,
                      float* firstHit) {
    Color result(1.0f);
    if (firstHit) *firstHit = 1e30f;
    if (!env.scene) return result;
    const Scene& scene = *env.scene;
    // In a world whose every surface stops shadow rays whole, that a shadow ray meets one is the
    // answer. A light's shadow rays from points close together are mostly stopped by the same
    // primitive: the one that stopped the last of them on this thread is asked first.
    const bool opaque =
        scene.shadowsOpaque() && ray.type == RayDifferential::Transmission && !set && !firstHit;
    if (opaque && env.shadowBlocker) {
        const ovo::Primitive*& last = *env.shadowBlocker;
        if (last && last->intersect(ray)) return Color(0.0f);
        last = nullptr;
        return scene.occluded(ray, last) ? Color(0.0f) : result;
    }
    // Most shadow rays reach the light: learning that nothing lies on the ray is cheaper than
    // the nearest-hit walk and spares them the hit record.
    if (!scene.intersect(static_cast<const ovo::Ray&>(ray))) return result;
    if (opaque) return Color(0.0f);
    // The walk moves the ray's start past each surface it meets, on the caller's ray itself
    // (put back at the end): a copy made here would read back the fields the caller has just
    // stored one by one, and on every shadow ray that read waits for the stores to retire.
    RayDifferential& r = ray;
    const float mint = ray.mint;
    HitLease lease;
    for (int layer = 0; layer < MaxLayers; ++layer) {
        Hit& hit = lease.next();
        prepare(hit, scene, r, env.E, set);
        if (!scene.intersect(r, hit)) break;
        const ovo::ShadingAttributes* s = hit.attributes.shading.get();
        if (!s || s->rayShadows) {
            if (firstHit && *firstHit >= 1e30f) *firstHit = hit.t;
            if (s && (s->transparentShadows || ovo::opacityFromOs(hit.attributes))) {
                const ovo::Interpolator<Color>* os = hit.shape ? hit.shape->getOs() : nullptr;
                result *= transparency(os ? os->valueAt(hit.env.face, hit.env.su, hit.env.sv)
                                          : s->opacity);
            } else {
                // Shaded only for its opacity: as for a shadow ray, whatever the ray's type, so
                // that it runs no lights and gathers nothing.
                RayDifferential opacityRay = r;
                opacityRay.type = RayDifferential::Transmission;
                opacityRay.maxt = hit.t;
                hit.env.ray = &opacityRay;
                hit.shade(opacityRay, nullptr);
                result *= transparency(hit.env.Oi);
            }
        }
        if (result.r == 0.0f && result.g == 0.0f && result.b == 0.0f) break;
        r.mint = hit.t + hitBias(hit);
        if (r.mint >= r.maxt) break;
    }
    ray.mint = mint;
    return result;
}

Color traceCone(ShaderEnvironment& env, const Point& P, const Vector& dir, int samples, float cone,
                const GeometrySet* set) {
    if (!env.scene) return Color(0.0f);
    return sampleCone(samples, cone, dir, [&](const Vector& d) {
        RayDifferential ray = childRay(env, P, d, env.bias, 1e30f, RayDifferential::Traced);
        Color Ci, Oi;
        traceRay(*env.scene, ray, Ci, Oi, set);
        return Ci;
    });
}

Color transmissionCone(ShaderEnvironment& env, const Point& from, const Vector& dir, float maxt,
                       int samples, float cone, const GeometrySet* set) {
    return sampleCone(samples, cone, dir, [&](const Vector& d) {
        RayDifferential ray = childRay(env, from, d, env.bias, maxt, RayDifferential::Transmission);
        return transmissionRay(env, ray, set);
    });
}

Color transmission(ShaderEnvironment& env, const Tuple& from, const Tuple& to, int n, ...) {
    ConeKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap));
    va_end(ap);
    const Vector d(to - from);
    if (d.length() == 0.0f) return Color(1.0f);
    const float maxt = env.lightDistance >= 1e30f ? 1e30f : env.lightDistance - env.bias;
    return transmissionCone(env, Point(from), d, maxt, k.samples, k.samplecone, nullptr);
}

Color transmissionTo(ShaderEnvironment& env, const Point& from, const Point& to) {
    // transmissionCone's one ray, step for step.
    const Vector d(to - from);
    if (d.length() == 0.0f) return Color(1.0f);
    const float maxt = env.lightDistance >= 1e30f ? 1e30f : env.lightDistance - env.bias;
    RayDifferential ray =
        childRay(env, from, Vector(d.hat()), env.bias, maxt, RayDifferential::Transmission);
    return transmissionRay(env, ray);
}

Color tracec(ShaderEnvironment& env, Tuple& P, Tuple& dir, int n, ...) {
    if (env.derivPass != 0 || !env.scene) return Color(0.0f);
    if (env.ray && (env.ray->type == RayDifferential::Transmission ||
                    env.ray->type == RayDifferential::Gather))
        return Color(0.0f);
    if (dir.length() == 0.0f) return Color(0.0f);
    ConeKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap));
    va_end(ap);
    return traceCone(env, Point(P), Vector(dir), k.samples, k.samplecone, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Occlusion and indirect diffuse

namespace {

struct GatherKeywords {
    float bias = 0.01f;
    float maxhitdist = 1e30f;
    float coneangle = ovo::PiOver2;
    bool uniform = false;
    int falloffmode = 0;
    float falloff = 0.0f;
    Tuple* environmentdir = nullptr;
    float maxerror = 0.25f;
    float maxpixeldist = -1.0f;
};

// The keywords of the table, negative values standing for their defaults.
void parse(GatherKeywords& k, KeywordReader r, const ShaderEnvironment& env) {
    for (OIIO::ustring key = r.next(); !key.empty(); key = r.next()) {
        if (key == strings::bias)
            k.bias = float(r.number());
        else if (key == strings::maxhitdist)
            k.maxhitdist = float(r.number());
        else if (key == strings::coneangle)
            k.coneangle = float(r.number());
        else if (key == strings::distribution)
            k.uniform = r.name() == strings::uniform;
        else if (key == strings::falloffmode)
            k.falloffmode = r.integer();
        else if (key == strings::falloff)
            k.falloff = float(r.number());
        else if (key == strings::environmentdir)
            k.environmentdir = r.pointer<Tuple>();
        else if (key == strings::maxerror)
            k.maxerror = float(r.number());
        else if (key == strings::maxpixeldist)
            k.maxpixeldist = float(r.number());
        else if (key == strings::subset || key == strings::filename || key == strings::filemode ||
                 key == strings::coordsystem)
            r.name();
        else if (key == strings::adaptative || key == strings::maxvariation)
            r.number();
        else
            break;
    }
    if (k.bias < 0.0f) k.bias = env.bias;
    if (k.maxhitdist < 0.0f) k.maxhitdist = 1e30f;
    if (k.maxerror < 0.0f) k.maxerror = 0.25f;
    if (k.maxpixeldist < 0.0f) k.maxpixeldist = env.scene ? env.scene->maxPixelDistance : 20.0f;
}

// A gathering's hemisphere sampler, one per thread and nesting level (a gathering ray may be
// shaded by a surface that gathers again), so that gathering allocates nothing once warm.
template <class T>
class SamplerLease {
  public:
    SamplerLease() {
        if (depth() >= pool().size()) pool().emplace_back(new HemisphereSampler<T>());
        sampler = pool()[depth()++].get();
    }
    ~SamplerLease() { --depth(); }
    SamplerLease(const SamplerLease&) = delete;
    SamplerLease& operator=(const SamplerLease&) = delete;
    HemisphereSampler<T>& operator*() const { return *sampler; }

  private:
    static std::vector<std::unique_ptr<HemisphereSampler<T>>>& pool() {
        static thread_local std::vector<std::unique_ptr<HemisphereSampler<T>>> samplers;
        return samplers;
    }
    static size_t& depth() {
        static thread_local size_t level = 0;
        return level;
    }
    HemisphereSampler<T>* sampler;
};

inline float falloffWeight(const GatherKeywords& k, float d) {
    if (!(k.falloff > 0.0f)) return 1.0f;
    if (k.falloffmode == 1) {
        const float x = std::max(0.0f, 1.0f - d / k.maxhitdist);
        return x > 0.0f ? std::pow(x, k.falloff) : 0.0f;
    }
    return std::exp(-d * k.falloff);
}

inline float brightness(float v) { return v; }
inline float brightness(const Color& c) { return luminance(c); }

// The caches keep records whose reach, maxerror·R/2, lies between the scene's smallest pixel
// distance and "maxpixeldist" pixel footprints: the radius limits are those reaches over
// maxerror/2.
template <class T>
void insertRecord(GICache<T>& cache, const Scene& scene, const GIRecord<T>& record, float footprint,
                  const GatherKeywords& k) {
    const float toRadius = 2.0f / (k.maxerror > 0.0f ? k.maxerror : 0.25f);
    cache.insert(record, footprint, scene.minPixelDistance, k.maxpixeldist * toRadius);
}

// Traces the hemisphere of rows × 4·rows rays around N from P; `sample(ray, distance)` gives
// each ray's value and the distance of what it hit (1e30 for nothing). Stores the record in
// `cache` and returns the mean.
template <class T, class Sample>
T gather(ShaderEnvironment& env, const Point& P, const Normal& N, int samples,
         const GatherKeywords& k, float footprint, GICache<T>& cache, Sample&& sample) {
    SamplerLease<T> lease;
    HemisphereSampler<T>& h = *lease;
    const int rows = std::max(1, int(std::sqrt(float(std::max(0, samples) / 4))));
    h.setup(rows, 4 * rows, Vector(N), k.coneangle, !k.uniform);
    Vector open(0.0f);
    for (int i = 0; i < h.size(); ++i) {
        const Vector& d = h.direction(i);
        RayDifferential ray = childRay(env, P, d, k.bias, k.maxhitdist, RayDifferential::Gather);
        float distance = 1e30f;
        const T value = sample(ray, distance);
        if (brightness(value) < 0.0001f) open += d;
        h.record(i, value * falloffWeight(k, distance),
                 distance >= 1e30f ? std::numeric_limits<float>::infinity() : distance);
    }
    GIRecord<T> record;
    record.P = P;
    record.N = N;
    record.R = h.radius();
    record.value = h.average();
    h.gradients(record.rotationalGradient, record.translationalGradient);
    record.direction = Vector(normalize(open));
    insertRecord(cache, *env.scene, record, footprint, k);
    if (k.environmentdir) *k.environmentdir = record.direction;
    return record.value;
}

inline float footprintOf(const ShaderEnvironment& env) {
    return std::sqrt((env.dPdx ^ env.dPdy).length());
}

float occlusion(ShaderEnvironment& env, const Tuple& P, const Tuple& N, int samples,
                const GatherKeywords& k) {
    // A shadow ray's shading wants only the surface's opacity.
    if (!env.scene || isShadowRay(env)) return 0.0f;
    const Normal n(Tuple(N).hat());
    const float footprint = footprintOf(env);
    float result = 0.0f;
    Tuple direction;
    if (env.scene->interpolateOcclusion(P, n, footprint, k.maxerror, 3, result, &direction)) {
        if (k.environmentdir) *k.environmentdir = normalize(direction);
        return result;
    }
    return gather<float>(env, Point(P), n, samples, k, footprint, env.scene->getOcclusionCache(),
                         [&](RayDifferential& ray, float& distance) {
                             const Color through = transmissionRay(env, ray, nullptr, &distance);
                             return 1.0f - luminance(through);
                         });
}

Color indirectdiffuse(ShaderEnvironment& env, const Tuple& P, const Tuple& N, int samples,
                      const GatherKeywords& k) {
    if (!env.scene || isShadowRay(env)) return Color(0.0f);
    const Normal n(Tuple(N).hat());
    const float footprint = footprintOf(env);
    Color result(0.0f);
    Tuple direction;
    if (env.scene->interpolateIrradiance(P, n, footprint, k.maxerror, 3, result, &direction)) {
        if (k.environmentdir) *k.environmentdir = normalize(direction);
        return result;
    }
    return gather<Color>(env, Point(P), n, samples, k, footprint, env.scene->getIrradianceCache(),
                         [&](RayDifferential& ray, float& distance) {
                             Color Ci, Oi;
                             distance = traceRay(*env.scene, ray, Ci, Oi) ? ray.maxt : 1e30f;
                             return Ci;
                         });
}

bool belowDiffuseLimit(const ShaderEnvironment& env) {
    const int depth = env.ray ? env.ray->diffuseDepth : 0;
    return !env.scene || depth < env.scene->maxDiffuseDepth;
}

// The rays a gathering call traces without a count of its own. A count below one (point-based
// shaders pass 0: their count is the point cloud's, and rays have none) takes it too.
constexpr int DefaultGatherSamples = 64;
inline int gatherSamples(float samples) {
    return samples >= 1.0f ? int(std::min(samples, 1e9f)) : DefaultGatherSamples;
}

}  // namespace

float occlusion2(ShaderEnvironment& env, const Tuple& P, const Tuple& N, int n, ...) {
    GatherKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap), env);
    va_end(ap);
    return occlusion(env, P, N, DefaultGatherSamples, k);
}

float occlusion3(ShaderEnvironment& env, const Tuple& P, const Tuple& N, float samples, int n,
                 ...) {
    GatherKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap), env);
    va_end(ap);
    return occlusion(env, P, N, gatherSamples(samples), k);
}

Color indirectdiffuse2(ShaderEnvironment& env, const Tuple& P, const Tuple& N, int n, ...) {
    if (!belowDiffuseLimit(env)) return Color(0.0f);
    GatherKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap), env);
    va_end(ap);
    return indirectdiffuse(env, P, N, DefaultGatherSamples, k);
}

Color indirectdiffuse3(ShaderEnvironment& env, const Tuple& P, const Tuple& N, float samples, int n,
                       ...) {
    if (!belowDiffuseLimit(env)) return Color(0.0f);
    GatherKeywords k;
    va_list ap;
    va_start(ap, n);
    parse(k, KeywordReader(n, &ap), env);
    va_end(ap);
    return indirectdiffuse(env, P, N, gatherSamples(samples), k);
}

}  // namespace SL
