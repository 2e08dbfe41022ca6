// Hit::shade: the shading globals of a hit, its screen-space differentials, and the runs of
// its displacement, surface and volume layers with the offset passes that derivatives need.
#include <cmath>

#include "core/geometry/hit.h"
#include "core/geometry/shape.h"
#include "core/render/scene.h"
#include "core/shading/blocks.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

namespace {

unsigned groupMask(const ShaderGroup* g) { return g ? g->globals : 0u; }

// Screen-space differentials from the ray differential: the offset rays meet the tangent
// plane at P, and the steps there are expressed in dPdu and dPdv on the two axes where the
// plane is least foreshortened.
void differentials(ShaderEnvironment& env, const RayDifferential& ray) {
    if (ray.hasDifferentials) {
        const Normal& n = env.Ng;
        const float d = -dot(n, env.P);
        auto offset = [&](const Ray& r) -> Vector {
            const float denom = dot(n, r.d);
            if (denom == 0.0f) return Vector(0.0f);
            const float t = -(dot(n, r.o) + d) / denom;
            return r(t) - env.P;
        };
        env.dPdx = offset(ray.rx);
        env.dPdy = offset(ray.ry);
        // Drop the axis where |Ng| is largest (ties go to the later axis).
        const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
        int a0, a1;
        if (ax > ay && ax > az) {
            a0 = 1;
            a1 = 2;
        } else if (ay > az) {
            a0 = 0;
            a1 = 2;
        } else {
            a0 = 0;
            a1 = 1;
        }
        const float det = env.dPdu[a0] * env.dPdv[a1] - env.dPdv[a0] * env.dPdu[a1];
        if (std::fabs(det) < 1e-5f) {
            env.dudx = env.dvdy = 1.0f;
            env.dudy = env.dvdx = 0.0f;
            return;
        }
        const float inv = 1.0f / det;
        env.dudx = (env.dPdv[a1] * env.dPdx[a0] - env.dPdv[a0] * env.dPdx[a1]) * inv;
        env.dvdx = (env.dPdu[a0] * env.dPdx[a1] - env.dPdu[a1] * env.dPdx[a0]) * inv;
        env.dudy = (env.dPdv[a1] * env.dPdy[a0] - env.dPdv[a0] * env.dPdy[a1]) * inv;
        env.dvdy = (env.dPdu[a0] * env.dPdy[a1] - env.dPdu[a1] * env.dPdy[a0]) * inv;
        return;
    }
    // No differentials: one pixel at the hit's distance, spread along dPdu and dPdv.
    const float xres = env.scene ? float(env.scene->xResolution()) : 1.0f;
    const float yres = env.scene ? float(env.scene->yResolution()) : 1.0f;
    const float dist = (env.P - env.E).length();
    auto step = [&](const Vector& dp, float res) -> float {
        const float len = dp.length(), il = env.I.length();
        if (len == 0.0f || il == 0.0f) return 0.0f;
        const float c = dot(env.I, dp) / (len * il);
        const float s = std::sqrt(std::max(0.0f, 1.0f - c * c));
        return s > 0.0f ? dist / res / len / s : 0.0f;
    };
    env.dudx = step(env.dPdu, xres);
    env.dvdy = step(env.dPdv, yres);
    env.dudy = env.dvdx = 0.0f;
    env.dPdx = env.dPdu * env.dudx;
    env.dPdy = env.dPdv * env.dvdy;
}

// What an offset pass shifts, so that it can be put back after the layer.
struct Shifted {
    Point P;
    float u, v, s, t;
    Normal N;
};

class PassRunner {
  public:
    explicit PassRunner(Hit& hit) : env(hit.env), shape(hit.shape.get()) {}

    // One layer run in `pass` (0 main, 1 x step, 2 y step).
    void run(const Shader& layer, std::vector<void*>& layerData, void* data, int pass) {
        env.derivPass = pass;
        env.derivCounter = 0;
        if (pass == 0) {
            layer.init(env, layerData, shape, data);
            layer.execute(env, data);
            return;
        }
        const Shifted saved{env.P, env.u, env.v, env.s, env.t, env.N};
        const float du = pass == 1 ? env.dudx : env.dudy;
        const float dv = pass == 1 ? env.dvdx : env.dvdy;
        env.P += pass == 1 ? env.dPdx : env.dPdy;
        if (pass == 1)
            env.u += du;
        else
            env.v += dv;
        env.N = Normal(env.N + env.dNdu * du + env.dNdv * dv);
        const Interpolator<float>* si = shape ? shape->getS() : nullptr;
        const Interpolator<float>* ti = shape ? shape->getT() : nullptr;
        env.s += si ? si->derivativeUAt(env.face, env.su, env.sv) * du +
                          si->derivativeVAt(env.face, env.su, env.sv) * dv
                    : du;
        env.t += ti ? ti->derivativeUAt(env.face, env.su, env.sv) * du +
                          ti->derivativeVAt(env.face, env.su, env.sv) * dv
                    : dv;
        layer.init(env, layerData, shape, data);
        layer.execute(env, data);
        env.P = saved.P;
        env.u = saved.u;
        env.v = saved.v;
        env.s = saved.s;
        env.t = saved.t;
        env.N = saved.N;
        env.derivPass = 0;
    }

  private:
    ShaderEnvironment& env;
    const Shape* shape;
};

void createBlocks(const ShaderGroup& g, std::vector<void*>& data) {
    data.clear();
    data.reserve(g.layers.size());
    for (const Reference<Shader>& s : g.layers) data.push_back(takeBlock(*s));
}

void destroyBlocks(const ShaderGroup* g, std::vector<void*>& data) {
    if (g)
        for (size_t i = 0; i < data.size() && i < g->layers.size(); ++i)
            giveBlock(*g->layers[i], data[i]);
    data.clear();
}

bool hasLayers(const ShaderGroup* g) { return g && !g->layers.empty(); }

// The globals the shaders read, from the shape's primitive variables where it has them.
void setGlobals(Hit& hit, unsigned mask) {
    ShaderEnvironment& env = hit.env;
    const HitAttributes& a = hit.attributes;
    const Shape* s = hit.shape.get();
    if (mask & GlobalCs) {
        const Interpolator<Color>* cs = s ? s->getCs() : nullptr;
        env.Cs =
            cs ? cs->valueAt(env.face, env.su, env.sv) : (a.shading ? a.shading->C : Color(1.0f));
    }
    if (mask & GlobalOs) {
        const Interpolator<Color>* os = s ? s->getOs() : nullptr;
        env.Os = os ? os->valueAt(env.face, env.su, env.sv)
                    : (a.shading ? a.shading->opacity : Color(1.0f));
    }
    if (const Interpolator<Normal>* n = (mask & GlobalN) && s ? s->getN() : nullptr) {
        const Transform o2w(env.space.m, env.space.mInv);
        env.N = o2w * n->valueAt(env.face, env.su, env.sv);
        env.dNdu = o2w * Normal(n->derivativeUAt(env.face, env.su, env.sv));
        env.dNdv = o2w * Normal(n->derivativeVAt(env.face, env.su, env.sv));
    } else {
        env.N = env.Ng;
    }
    if (mask & GlobalS) {
        const Interpolator<float>* si = s ? s->getS() : nullptr;
        env.s = si ? si->valueAt(env.face, env.su, env.sv) : env.u;
    }
    if (mask & GlobalT) {
        const Interpolator<float>* ti = s ? s->getT() : nullptr;
        env.t = ti ? ti->valueAt(env.face, env.su, env.sv) : env.v;
    }
}

// Everything but the globals that the layers find set when they start.
void prepare(Hit& hit, const RayDifferential& ray) {
    ShaderEnvironment& env = hit.env;
    const HitAttributes& a = hit.attributes;
    env.cacheValid = false;
    env.I = env.P - ray.o;
    if (env.I.length2() < 1e-12f) env.I = ray.d;  // shorter than 1e-6, without a square root
    differentials(env, ray);
    env.Ci = Color(0.0f);
    env.Oi = Color(1.0f);
    env.du = std::max(std::fabs(env.dudx), std::fabs(env.dudy));
    env.dv = std::max(std::fabs(env.dvdx), std::fabs(env.dvdy));
    env.lights = a.lights;
    env.surface = a.surface;
    env.displacement = a.displacement;
    env.volume = a.volume;
    env.bias = hit.shape ? hit.shape->getAttributes().bias : 0.01f;
    env.derivPass = 0;
    env.derivCounter = 0;
}

// The offset passes a group needs (x when it reads du, y when it reads dv), then the main pass.
template <class AfterLayer>
void runPasses(PassRunner& runner, const ShaderGroup& group, std::vector<void*>& data,
               unsigned mask, AfterLayer afterLayer) {
    for (int pass : {1, 2, 0}) {
        if (pass == 1 && !(mask & GlobalDu)) continue;
        if (pass == 2 && !(mask & GlobalDv)) continue;
        for (size_t i = 0; i < group.layers.size(); ++i) {
            runner.run(*group.layers[i], data, data[i], pass);
            afterLayer(pass);
        }
    }
}

// Displacement moves N (and P, which is put back: the hit point stays where the ray met it);
// the offset passes leave N as the main pass found it.
void displace(Hit& hit, PassRunner& runner, const ShaderGroup& group, unsigned mask) {
    ShaderEnvironment& env = hit.env;
    createBlocks(group, env.displacementData);
    const Point P = env.P;
    Normal N = env.N;
    runPasses(runner, group, env.displacementData, mask, [&](int pass) {
        env.P = P;
        if (pass != 0)
            env.N = N;
        else
            N = env.N;
    });
}

// Every layer starts from the primitive's Cs and Os.
void surface(Hit& hit, PassRunner& runner, const ShaderGroup& group, unsigned mask) {
    ShaderEnvironment& env = hit.env;
    createBlocks(group, env.surfaceData);
    const Color Cs = env.Cs, Os = env.Os;
    runPasses(runner, group, env.surfaceData, mask, [&](int) {
        env.Cs = Cs;
        env.Os = Os;
    });
}

// Volumes run once, in the main pass.
void volume(Hit& hit, PassRunner& runner, const ShaderGroup& group) {
    ShaderEnvironment& env = hit.env;
    createBlocks(group, env.volumeData);
    for (size_t i = 0; i < group.layers.size(); ++i)
        runner.run(*group.layers[i], env.volumeData, env.volumeData[i], 0);
    destroyBlocks(&group, env.volumeData);
}

}  // namespace

void Hit::shade(const RayDifferential& ray, float* out) {
    const ShaderGroup* surfaceGroup = attributes.surface.get();
    const ShaderGroup* displacementGroup = attributes.displacement.get();
    const ShaderGroup* volumeGroup = attributes.volume.get();
    const unsigned displacementMask = groupMask(displacementGroup);
    const unsigned surfaceMask = groupMask(surfaceGroup);

    // Object to current, composed with what the primitives above already put there. Below a
    // plain primitive that is still the identity, and the product would only copy the hit's own.
    if (env.space == Transform::Identity) {
        env.space.m = transform.mInv;
        env.space.mInv = transform.m;
    } else {
        env.space.m = env.space.m * transform.mInv;
        env.space.mInv = transform.m * env.space.mInv;
    }
    setGlobals(*this, surfaceMask | displacementMask);
    prepare(*this, ray);

    DerivativeScope derivatives(env);
    PassRunner runner(*this);
    if (hasLayers(displacementGroup)) displace(*this, runner, *displacementGroup, displacementMask);
    if (hasLayers(surfaceGroup)) surface(*this, runner, *surfaceGroup, surfaceMask);
    if (hasLayers(volumeGroup)) volume(*this, runner, *volumeGroup);
    destroyBlocks(surfaceGroup, env.surfaceData);
    destroyBlocks(displacementGroup, env.displacementData);
    env.clearLightCache();
    if (out) *out = 1.0f;
}

}  // namespace ovo
