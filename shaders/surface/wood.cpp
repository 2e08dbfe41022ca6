// wood: growth rings around the z axis of the shader's space, with a fine grain along it.
//
// The rings are warped by noise so that no two are quite round, each shading from light
// early wood to a dark band of late wood; the grain streaks run along z. Lit as "plastic".
//
// Parameters:
//   type   name           default         meaning
//   float  Ka             1               ambient coefficient
//   float  Kd             0.75            diffuse coefficient
//   float  Ks             0.15            specular coefficient
//   float  roughness      0.1             highlight size
//   color  specularcolor  1 1 1           highlight colour
//   float  ringscale      10              rings per unit of distance from the axis
//   float  grainy         1               strength of the grain, 0 for none
//   color  lightwood      0.7 0.45 0.25   colour of the early wood
//   color  darkwood       0.35 0.2 0.08   colour of the late wood
//
// Example:
//   Surface "wood" "float ringscale" [14] "color darkwood" [0.3 0.15 0.05]
#include <cmath>

#include "core/shading/compiled.h"
#include "shaders/patterns.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float roughness;
    Color specularcolor;
    float ringscale;
    float grainy;
    Color lightwood;
    Color darkwood;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, ringscale, TypeFloat),
    OVO_ARGUMENT(Data, grainy, TypeFloat),
    OVO_ARGUMENT(Data, lightwood, TypeColor),
    OVO_ARGUMENT(Data, darkwood, TypeColor),
};

const ShaderInfo Info = {"wood", GlobalOs | GlobalN | GlobalI | GlobalP, ShaderTypeSurface};

class Wood : public CompiledShader<Data> {
  public:
    Wood() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.75f;
        d.Ks = 0.15f;
        d.roughness = 0.1f;
        d.specularcolor = Color(1.0f);
        d.ringscale = 10.0f;
        d.grainy = 1.0f;
        d.lightwood = Color(0.7f, 0.45f, 0.25f);
        d.darkwood = Color(0.35f, 0.2f, 0.08f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const Tuple PP = shaders::shaderPoint(env);
        // The trunk wanders a little, and each ring's radius wobbles along it.
        const Tuple PQ = PP + shaders::vectorNoise(PP * 0.8f) * 0.12f;
        float r = std::sqrt(PQ.x * PQ.x + PQ.y * PQ.y) * d.ringscale;
        r += 0.4f * shaders::noise(PQ * 3.0f);
        const float ring = r - std::floor(r);
        // Early wood lightens slowly across the ring; the late-wood band ends it sharply.
        const float late = shaders::smoothstep(0.55f, 0.85f, ring) *
                           (1.0f - shaders::smoothstep(0.9f, 1.0f, ring));
        const float grain = shaders::noise(Tuple(PP.x * 60.0f, PP.y * 60.0f, PP.z * 3.0f));
        const float dark = std::min(1.0f, std::max(0.0f, late + d.grainy * 0.25f * grain));
        const Color Ct = shaders::mix(d.lightwood, d.darkwood, dark);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Wood(); }
