// mirror: a surface that reflects what is around it, traced.
//
// The colour is Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * (Ks *
// specular(Nf, V, roughness) + Kr * trace(P, R))), R the mirror direction; blur spreads the
// reflection over a cone of that half-angle in radians, sampled by samples rays.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             0        ambient coefficient
//   float  Kd             0        diffuse coefficient
//   float  Ks             1        specular coefficient
//   float  Kr             1        reflection coefficient
//   float  roughness      0.05     highlight size: smaller is sharper
//   color  specularcolor  1 1 1    colour of highlights and reflections
//   float  samples        1        rays per reflection when blurred
//   float  blur           0        half-angle of the reflection cone, radians
//
// Example:
//   Surface "mirror" "float Kr" [0.9]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"
#include "shaders/surface/illumination.h"
#include "shaders/surface/tracing.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float Kr;
    float roughness;
    Color specularcolor;
    float samples;
    float blur;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),        OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),        OVO_ARGUMENT(Data, Kr, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat), OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, samples, TypeFloat),   OVO_ARGUMENT(Data, blur, TypeFloat),
};

const ShaderInfo Info = {"mirror", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Mirror : public CompiledShader<Data> {
  public:
    Mirror() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 0.0f;
        d.Kd = 0.0f;
        d.Ks = 1.0f;
        d.Kr = 1.0f;
        d.roughness = 0.05f;
        d.specularcolor = Color(1.0f);
        d.samples = 1.0f;
        d.blur = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        Tuple V = shaders::towardsViewer(env);
        Tuple P = env.P;
        Tuple R = shaders::mirrorDirection(env, Nf);
        Color reflected(0.0f);
        if (d.Kr > 0.0f)
            reflected = SL::tracec(env, P, R, 2, strings::samples, int(d.samples),
                                   strings::samplecone, double(d.blur));
        env.Oi = env.Os;
        env.Ci = env.Os * (env.Cs * (d.Ka * SL::ambient(env) + d.Kd * SL::diffuse(env, Nf)) +
                           d.specularcolor *
                               (d.Ks * SL::specular(env, Nf, V, d.roughness) + d.Kr * reflected));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Mirror(); }
