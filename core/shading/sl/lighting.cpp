// The illuminance loops with their per-point light cache, the light shaders' illuminate and
// solar, and the built-in lighting models.
#include "core/shading/sl/lighting.h"

#include <cmath>
#include <cstdio>

#include "core/math/constants.h"
#include "core/render/scene.h"
#include "core/shading/blocks.h"
#include "core/shading/light.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/trace.h"

namespace SL {

using ovo::DerivativeScope;
using ovo::Light;
using ovo::LightCacheEntry;
using ovo::Normal;
using ovo::Point;
using ovo::RayDifferential;
using ovo::Vector;

namespace {

// Shadow rays and the derivative offset passes gather no light.
inline bool gathers(const ShaderEnvironment& env) {
    return env.derivPass == 0 && !(env.ray && env.ray->type == RayDifferential::Transmission);
}

inline bool isBlack(const Color& c) { return c.r == 0.0f && c.g == 0.0f && c.b == 0.0f; }

inline bool insideCone(const ShaderEnvironment& env, const Vector& L) {
    if (!env.hasCone) return true;
    const float len = L.length();
    if (len == 0.0f) return false;
    // The angle to the axis is below the cone's angle when its cosine is above the cone's.
    return ovo::dot(env.coneAxis, L) > env.coneCos * len;
}

const std::vector<ovo::Reference<Light>>* lightList(const ShaderEnvironment& env) {
    return env.lights ? &env.lights->lights : nullptr;
}

// The first light at or after `i` whose ambient flag is `ambient`.
unsigned nextLight(const ShaderEnvironment& env, unsigned i, bool ambient) {
    const auto* list = lightList(env);
    if (!list) return 0;
    while (i < list->size() && (!(*list)[i] || (*list)[i]->isAmbient() != ambient)) ++i;
    return i;
}

// Where m puts the origin: its last column, as m * Point(0, 0, 0) gives it, without the products
// by zero.
inline Point origin(const ovo::Matrix& m) {
    const float w = m.m[3][3];
    if (w == 1.0f) return Point(m.m[0][3], m.m[1][3], m.m[2][3]);
    const float inv = 1.0f / w;
    return Point(m.m[0][3] * inv, m.m[1][3] * inv, m.m[2][3] * inv);
}

// The environment a light shader runs in for the surface point being lit: lit from `position`,
// giving sample `counter` of the light.
void prepareLightEnvironment(const ShaderEnvironment& env, const Light& light,
                             const Point& position, unsigned counter, ShaderEnvironment& lightEnv) {
    lightEnv.Ps = position;
    lightEnv.P = position;
    lightEnv.sampleCounter = counter;
    lightEnv.N = env.N;
    lightEnv.Ns = env.N;
    lightEnv.Ng = env.Ng;
    lightEnv.I = env.I;
    lightEnv.dPdx = env.dPdx;
    lightEnv.dPdy = env.dPdy;
    lightEnv.u = env.u;
    lightEnv.v = env.v;
    lightEnv.time = env.time;
    lightEnv.scene = env.scene;
    lightEnv.ray = env.ray;
    lightEnv.bias = env.bias;
    lightEnv.Cl = Color(0.0f);
    lightEnv.Ol = Color(1.0f);
    lightEnv.E = origin(light.getCoordinateSystem().m);
    lightEnv.lightDistance = 1e30f;
    lightEnv.derivPass = 0;
    lightEnv.derivCounter = 0;
}

// Runs sample `counter` of `light` for the point lit from `position`, in `block` (null: a block
// made ready here), and returns the block; what the light gave goes to `out`, and where it ended
// up (its P) to `from`. A light that gives the same at every point runs once per thread: later
// points take what it gave then. With `blocker`, where the thread keeps what last stopped the
// light's shadow rays goes there.
void* runLight(ShaderEnvironment& env, const Light& light, const Point& position, unsigned counter,
               void* block, ovo::LightOutput& out, Point& from,
               const ovo::Primitive*** blocker = nullptr) {
    ovo::ReadyRecord* record = ovo::readyRecord(light);
    if (const ovo::LightOutput* kept = ovo::keptOutput(record, block)) {
        out = *kept;
        from = position;  // such a light never sets P
        if (blocker) *blocker = ovo::lastBlocker(record);
        return block;
    }
    ShaderEnvironment lightEnv;
    prepareLightEnvironment(env, light, position, counter, lightEnv);
    DerivativeScope derivatives(lightEnv);
    for (int k = 0; k < 3; ++k) lightEnv.lightScrambles[k] = env.lightScrambles[k];
    if (!block) block = ovo::readyBlock(light, lightEnv, record);
    light.execute(lightEnv, block);
    for (int k = 0; k < 3; ++k) env.lightScrambles[k] = lightEnv.lightScrambles[k];
    out = ovo::LightOutput{lightEnv.Cl, lightEnv.Ol, lightEnv.L, lightEnv.lightDistance};
    from = lightEnv.P;
    ovo::keepOutput(record, out);
    if (blocker) *blocker = ovo::lastBlocker(record);
    return block;
}

// The fraction of the light's colour that reaches the surface point from a light at `lightP`
// (`lightDistance` away; 1e30 for a light without a position, along -lightL), whose shadow rays
// start from `blocker` (see LightCacheEntry).
Color shadow(ShaderEnvironment& env, const Point& lightP, float lightDistance, const Vector& lightL,
             const ovo::Primitive** blocker) {
    const Point from = env.cachePosition;
    env.shadowBlocker = blocker;
    Color c;
    if (lightDistance < 1e30f) {
        const float saved = env.lightDistance;
        env.lightDistance = lightDistance;
        c = transmissionTo(env, from, lightP);
        env.lightDistance = saved;
    } else {
        const Tuple dir = normalize(-lightL);
        RayDifferential ray(from, Vector(dir), env.bias, 1e30f, env.time);
        ray.type = RayDifferential::Transmission;
        ray.depth = (env.ray ? env.ray->depth : 0) + 1;
        c = transmissionRay(env, ray);
    }
    env.shadowBlocker = nullptr;
    return c;
}

// A sample a loop has reached: its shadow traced if it has none yet; false when no light gets
// through (the sample stays in the cache, black, for the loops after this one to skip).
bool accept(ShaderEnvironment& env, LightCacheEntry& e) {
    // The colour goes on from a register: read back from the entry just after the store, it
    // would wait for the store to retire.
    Color cl = e.Cl;
    if (e.shadowPending) {
        e.shadowPending = false;
        cl *= shadow(env, e.from, e.lightDistance, Vector(-e.L), e.blocker);
        e.Cl = cl;
    }
    if (isBlack(cl)) return false;
    env.L = e.L;
    env.Cl = cl;
    env.Ol = e.Ol;
    env.currentLight = e.light;
    env.currentLightData = e.data;
    return true;
}

// Next sample of an uncached loop; false (and the cache complete) at the end.
bool nextUncached(ShaderEnvironment& env, bool cone) {
    const auto* list = lightList(env);
    if (!list) {
        env.cacheValid = true;
        return false;
    }
    for (;;) {
        if (env.lightCursor >= list->size()) {
            env.cacheValid = true;
            return false;
        }
        const Light& light = *(*list)[env.lightCursor];
        if (env.sampleCounter >= light.numSamples()) {
            env.lightCursor = nextLight(env, env.lightCursor + 1, false);
            env.sampleCounter = 0;
            continue;
        }
        ovo::LightOutput out;
        Point from;
        const ovo::Primitive** blocker = nullptr;
        void* data = runLight(env, light, env.cachePosition, env.sampleCounter, nullptr, out, from,
                              &blocker);
        ++env.sampleCounter;
        if (isBlack(out.Cl)) {
            giveBlock(light, data);
            continue;
        }
        // One block for the usual one sample a light, rather than one per doubling.
        if (env.lightCache.capacity() == 0) env.lightCache.reserve(list->size());
        // Filled in place: a record built aside and copied in would be read back before its
        // field-by-field stores have retired.
        LightCacheEntry& entry = env.lightCache.emplace_back();
        entry.L = Vector(-out.L);
        entry.Cl = out.Cl;
        entry.Ol = out.Ol;
        entry.data = data;
        entry.light = &light;
        entry.from = from;
        entry.lightDistance = out.lightDistance;
        entry.shadowPending = light.castsShadows();
        entry.blocker = blocker;
        if (cone && !insideCone(env, entry.L)) continue;
        if (accept(env, entry)) return true;
    }
}

bool nextCached(ShaderEnvironment& env, bool cone) {
    while (env.cacheCursor < env.lightCache.size()) {
        LightCacheEntry& e = env.lightCache[env.cacheCursor++];
        if (cone && !insideCone(env, e.L)) continue;
        if (accept(env, e)) return true;
    }
    return false;
}

// exp(e·ln c), 0 once the product falls to -87 (and for c = 0).
inline float power(float c, float e) {
    if (!(c > 0.0f)) return 0.0f;
    const float x = e * std::log(c);
    return x <= -87.0f ? 0.0f : std::exp(x);
}

// What the current light asks diffuse() or specular() to leave out.
float leftOut(const ShaderEnvironment& env, ovo::Shader::Contribution which) {
    return env.currentLight ? env.currentLight->leftOut(which, env.currentLightData) : 0.0f;
}

}  // namespace

void startIlluminance(ShaderEnvironment& env, Tuple& position) {
    if (!gathers(env)) return;
    env.hasCone = false;
    if (Point(position) != env.cachePosition) {
        env.cachePosition = Point(position);
        env.cacheValid = false;
    }
    if (env.cacheValid) {
        env.cacheCursor = 0;
        return;
    }
    // A fresh fill: samples of an earlier position or of a loop left early are dropped.
    env.clearLightCache();
    env.lightCursor = nextLight(env, 0, false);
    env.sampleCounter = 0;
}

void startIlluminance(ShaderEnvironment& env, Tuple& position, Tuple& axis, float angle) {
    if (!gathers(env)) return;
    startIlluminance(env, position);
    env.hasCone = true;
    env.coneAxis = Vector(normalize(axis));
    env.coneAngle = angle;
    // No direction is within a cone of angle 0 or less; every one is within one wider than pi.
    env.coneCos = !(angle > 0.0f) ? 2.0f : angle > ovo::Pi ? -2.0f : std::cos(angle);
}

bool illuminance1(ShaderEnvironment& env) {
    if (!gathers(env)) return false;
    return env.cacheValid ? nextCached(env, false) : nextUncached(env, false);
}

bool illuminance3(ShaderEnvironment& env) {
    if (!gathers(env)) return false;
    return env.cacheValid ? nextCached(env, true) : nextUncached(env, true);
}

bool illuminate(ShaderEnvironment& env, Tuple& from) {
    env.P = Point(from);
    env.L = env.Ps - env.P;
    env.lightDistance = env.L.length();
    return true;
}

bool illuminate(ShaderEnvironment& env, Tuple& from, Tuple& axis, float angle) {
    illuminate(env, from);
    const Tuple l = normalize(env.L), a = normalize(axis);
    const float c = std::max(-1.0f, std::min(1.0f, ovo::dot(l, a)));
    return std::acos(c) < angle;
}

bool solar(ShaderEnvironment& env) {
    env.L = Vector(-(env.I - 2.0f * ovo::dot(env.N, env.I) * env.N));
    env.lightDistance = 1e30f;
    return true;
}

bool solar(ShaderEnvironment& env, Tuple& axis, float angle) {
    if (angle != 0.0f && env.derivPass == 0) std::fputs("non zero angle\n", stdout);
    env.L = Vector(axis);
    env.lightDistance = 1e30f;
    return true;
}

// Every sample of every ambient light, summed; Cl, Ol and L are left as the last sample that gave
// light left them.
Color ambient(ShaderEnvironment& env) {
    Color C(0.0f);
    if (!gathers(env)) return C;
    const auto* list = lightList(env);
    if (!list) return C;
    for (const ovo::Reference<Light>& light : *list) {
        if (!light || !light->isAmbient()) continue;
        void* block = nullptr;
        for (unsigned k = 0, n = light->numSamples(); k < n; ++k) {
            ovo::LightOutput out;
            Point from;
            block = runLight(env, *light, env.P, k, block, out, from);
            if (isBlack(out.Cl)) continue;
            C += out.Cl;
            env.Cl = out.Cl;
            env.Ol = out.Ol;
            env.L = out.L;
        }
        giveBlock(*light, block);
    }
    return C;
}

Color diffuse(ShaderEnvironment& env, Tuple& N) {
    Color C(0.0f);
    if (!gathers(env)) return C;
    Tuple P = env.P;
    startIlluminance(env, P, N, ovo::PiOver2);
    while (illuminance3(env)) {
        const float k = 1.0f - leftOut(env, ovo::Shader::NonDiffuse);
        C += env.Cl * (k * ovo::dot(N, normalize(env.L)));
    }
    return C;
}

Color specular(ShaderEnvironment& env, Tuple& N, Tuple& V, float roughness) {
    Color C(0.0f);
    if (!gathers(env)) return C;
    Tuple P = env.P;
    startIlluminance(env, P, N, ovo::PiOver2);
    while (illuminance3(env)) {
        const float k = 1.0f - leftOut(env, ovo::Shader::NonSpecular);
        Tuple L = normalize(env.L);
        C += env.Cl * k * specularbrdf(env, L, N, V, roughness);
    }
    return C;
}

Color specularbrdf(ShaderEnvironment& env, Tuple& L, Tuple& N, Tuple& V, float roughness) {
    const Tuple H = normalize(L + V);
    const float nh = ovo::dot(N, H);
    const float c = std::max(0.0f, nh);
    const int model = env.scene ? env.scene->specularModel : int(ovo::SpecularBmrt);
    float f;
    if (model == ovo::SpecularDefault) {
        f = power(c, 1.0f / roughness);
    } else if (model == ovo::SpecularTorrance) {
        const float r = std::max(roughness, 0.001f);
        const float a0 = std::acos(power(0.5f, r * r));
        const float delta = std::acos(std::max(-1.0f, std::min(1.0f, nh)));
        const float D = std::exp(-power(delta * 0.83255464f / a0, 1.25f));
        const float vh = std::max(ovo::dot(V, H), 1e-6f);
        const float nv = std::max(ovo::dot(N, V), 1e-6f);
        const float G = std::min(1.0f, 2.0f * nh * std::min(ovo::dot(N, L), nv) / (vh * nv));
        f = std::max(0.0f, D * G);
    } else {
        f = power(c, 8.0f / roughness);
    }
    return Color(f, f, f);
}

Color phong(ShaderEnvironment& env, Tuple& N, Tuple& V, float size) {
    Color C(0.0f);
    if (!gathers(env)) return C;
    const Tuple Nn = normalize(N);
    const Tuple R = reflect(-normalize(V), Nn);
    Tuple P = env.P;
    startIlluminance(env, P, N, ovo::PiOver2);
    while (illuminance3(env))
        C += env.Cl * power(std::max(0.0f, ovo::dot(R, normalize(env.L))), size);
    return C;
}

}  // namespace SL
