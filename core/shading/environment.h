// ShaderEnvironment: the per-shading-point record. Intersection fills its geometric fields,
// Hit::shade fills the rest and runs the shaders on it, and every SL function receives it.
// Only the thread that shades the hit touches it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/base/reference.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/shading/shader_group.h"

namespace ovo {

class Scene;
class GeometrySet;
class Light;
class Primitive;

// One light sample at the current illuminance position. Its shadow is traced the first time a
// loop accepts the sample: a sample behind the surface, outside every loop's cone, never needs it.
struct LightCacheEntry {
    // Left unset: the illuminance loop that adds an entry sets every field, and clearing them
    // first would double the stores of every light sample.
    LightCacheEntry() {}

    Vector L;  // from the surface point toward the light
    Color Cl;  // multiplied by the shadow transmission once `shadowPending` is false
    Color Ol;
    void* data;  // the light's data block
    const Light* light;
    Point from;  // where the light shader put the light (P), and how far it is
    float lightDistance;
    bool shadowPending;
    // Where this thread keeps what last stopped the light's shadow rays; null when it keeps
    // nothing for the light.
    const Primitive** blocker;
};

// The plain values of a shading record: everything but the references it shares, the lists it
// owns and the transforms every intersection sets. They are one block so that a record reused for
// the next ray is reset by one copy of a new record's values (ShaderEnvironment::reuse).
struct ShadingValues {
    float ncomps = 3.0f;
    float alpha = 1.0f;
    Color Ci = Color(0.0f);
    Color Cs = Color(1.0f);
    Color Cl = Color(0.0f);
    Color Oi = Color(1.0f);
    Color Os = Color(1.0f);
    Color Ol = Color(1.0f);
    float u = 0, v = 0, du = 0, dv = 0, s = 0, t = 0;
    // Where the shape's primitive variables are interpolated, and on which face.
    float su = 0, sv = 0;
    unsigned face = 0;
    Point P = Point(0.0f);
    Point Ps = Point(0.0f);
    Normal N = Normal(0.0f);
    // In a light shader: the shading normal of the surface point being lit. An area light
    // sets N to its own surface's normal, so the lit point's normal needs a field of its own.
    Normal Ns = Normal(0.0f);
    Normal Ng = Normal(0.0f);
    Vector I = Vector(0.0f);
    Vector L = Vector(0.0f);
    Point E = Point(0.0f);
    Vector dPdu = Vector(0.0f), dPdv = Vector(0.0f);
    Vector dNdu = Vector(0.0f), dNdv = Vector(0.0f);
    Vector dPdx = Vector(0.0f), dPdy = Vector(0.0f);
    float dudx = 0, dudy = 0, dvdx = 0, dvdy = 0;
    float time = 0;
    float lightDistance = 1e30f;  // set by illuminate/solar
    unsigned traceFlags = 0;      // set by the tracing functions on the hits they create

    const RayDifferential* ray = nullptr;  // the ray being shaded (type, depth)
    const Scene* scene = nullptr;
    const GeometrySet* geometrySet = nullptr;  // when set, only its members can be hit
    // While a light's shadow is traced: its LightCacheEntry::blocker.
    const Primitive** shadowBlocker = nullptr;
    float bias = 0.01f;  // secondary rays start this far from the surface

    // Derivatives: Du/Dv call sites store their offset-pass values in a block of
    // MaxDerivativeSlots floats lent while shaders run on this record (DerivativeScope); null
    // otherwise, and then every derivative is 0.
    static const int MaxDerivativeSlots = 1024;
    float* derivStore = nullptr;
    int derivCounter = 0;
    int derivPass = 0;  // 0 main, 1 x-offset, 2 y-offset

    // Illuminance-loop state (the cache itself is in ShaderEnvironment). The cache holds the
    // samples of one position; a loop that starts at another position before the cache is
    // complete begins afresh.
    Point cachePosition = Point(1e30f);
    bool cacheValid = false;
    unsigned cacheCursor = 0;
    unsigned lightCursor = 0;
    unsigned sampleCounter = 0;  // in a light's own environment: the index of its sample
    const Light* currentLight = nullptr;
    void* currentLightData = nullptr;
    bool hasCone = false;
    Vector coneAxis = Vector(0.0f, 0.0f, 1.0f);
    float coneAngle = 0.0f;
    float coneCos = 1.0f;  // the cosine of coneAngle, clamped for angles outside (0, pi]
    // Scrambles an area light draws when it starts at a point and keeps for its later samples.
    uint32_t lightScrambles[3] = {0, 0, 0};
};

class ShaderEnvironment : public ShadingValues {
  public:
    ShaderEnvironment();
    ShaderEnvironment(const ShaderEnvironment& other);
    ShaderEnvironment& operator=(const ShaderEnvironment& other);
    ~ShaderEnvironment();

    // The field that holds the shading global of a ShaderGlobal flag; null for flags that
    // name no field ("time", "dtime", "dPdtime", unknown flags).
    void* globalAddress(unsigned flag);

    // Frees the data blocks of the light cache (and of the ambient loop) and empties it.
    void clearLightCache();

    // Back to a new record's values for the next ray, keeping the shader and light references
    // (the next hit often needs the same ones, and reassigning them touches counters that every
    // thread shares) and the storage of the lists.
    void reuse();

    // Copies what an intersection fills (P, Ng, u, v, where primitive variables are
    // interpolated, the surface derivatives, time and the object and shader spaces; see Hit),
    // leaving this record's own context (ray, scene, tracing and shading state) as it is.
    void copyIntersection(const ShaderEnvironment& from);

    // Object to current (matrix) and current to object (inverse); shader to current and back,
    // set by Shader::init. Outside the plain values: every intersection sets both, so a record
    // reused for the next ray need not reset them.
    Transform space;
    Transform shaderSpace;

    // Borrowed from the primitive being shaded, which the scene keeps for longer.
    Borrowed<LightList> lights;  // the primitive's active lights
    // The light cache: the accepted light samples at cachePosition.
    std::vector<LightCacheEntry> lightCache;

    // Shader groups being run and the data blocks of their layers, in layer order.
    Borrowed<ShaderGroup> surface, displacement, volume;
    std::vector<void*> surfaceData, displacementData, volumeData;
};

// The derivative slots of one shading level, lent to an environment while it lives. Shading
// makes one on its own stack: every nesting level (a ray traced and shaded inside a shader, a
// light shader inside an illuminance loop) has its own, nothing is allocated or looked up per
// thread, and hit records stay small.
class DerivativeScope {
  public:
    explicit DerivativeScope(ShaderEnvironment& env) : env(env) { env.derivStore = slots; }
    ~DerivativeScope() { env.derivStore = nullptr; }
    DerivativeScope(const DerivativeScope&) = delete;
    DerivativeScope& operator=(const DerivativeScope&) = delete;

  private:
    ShaderEnvironment& env;
    // Left unset: every offset pass writes a call site's slots before the main pass reads them.
    float slots[ShaderEnvironment::MaxDerivativeSlots];
};

}  // namespace ovo
