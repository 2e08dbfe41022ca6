// glass: a clear, refracting surface that reflects more at grazing angles.
//
// Light is split between a traced reflection and a traced refraction by Schlick's
// approximation of the Fresnel reflectance for the index of refraction eta (the ray leaving
// the glass sees 1/eta; past the critical angle everything is reflected). The colour is
// Os * Cs * Ka * ambient() + specularcolor * Ks * specular(Nf, V, roughness) + Kr * kr *
// trace(P, R) + Kt * kt * transmitcolor * trace(P, T); the surface counts as opaque, since
// what lies behind it arrives through the refracted ray.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             0        ambient coefficient
//   float  Ks             0.5      specular coefficient
//   float  Kr             1        reflection coefficient
//   float  Kt             1        transmission coefficient
//   float  roughness      0.05     highlight size: smaller is sharper
//   float  eta            1.5      index of refraction
//   color  specularcolor  1 1 1    highlight colour
//   color  transmitcolor  1 1 1    tint of the light passing through
//   float  samples        1        rays per direction when blurred
//   float  blur           0        half-angle of the reflection and refraction cones, radians
//
// Example:
//   Surface "glass" "float eta" [1.5] "color transmitcolor" [0.9 1 0.95]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"
#include "shaders/surface/illumination.h"
#include "shaders/surface/tracing.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Ks;
    float Kr;
    float Kt;
    float roughness;
    float eta;
    Color specularcolor;
    Color transmitcolor;
    float samples;
    float blur;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, Kr, TypeFloat),
    OVO_ARGUMENT(Data, Kt, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, eta, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, transmitcolor, TypeColor),
    OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, blur, TypeFloat),
};

const ShaderInfo Info = {"glass", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Glass : public CompiledShader<Data> {
  public:
    Glass() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 0.0f;
        d.Ks = 0.5f;
        d.Kr = 1.0f;
        d.Kt = 1.0f;
        d.roughness = 0.05f;
        d.eta = 1.5f;
        d.specularcolor = Color(1.0f);
        d.transmitcolor = Color(1.0f);
        d.samples = 1.0f;
        d.blur = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        Tuple V = shaders::towardsViewer(env);
        Tuple P = env.P;
        // Entering when the ray meets the outside of the surface.
        const bool entering = dot(env.I, env.N) < 0.0f;
        const float eta = entering ? 1.0f / d.eta : d.eta;
        Tuple T = shaders::refractDirection(env.I, Nf, eta);
        Tuple R = shaders::mirrorDirection(env, Nf);
        const float cosine = std::fabs(dot(SL::normalize(env.I), Nf));
        // Past the critical angle, or leaving into the denser side, Schlick uses the angle
        // inside the denser medium.
        float kr = 1.0f;
        if (T.length() > 0.0f)
            kr = shaders::schlick(entering ? cosine : std::fabs(dot(T, Nf)), d.eta);
        const float kt = 1.0f - kr;
        Color reflected(0.0f), refracted(0.0f);
        if (d.Kr * kr > 0.0f)
            reflected = SL::tracec(env, P, R, 2, strings::samples, int(d.samples),
                                   strings::samplecone, double(d.blur));
        if (d.Kt * kt > 0.0f)
            refracted = SL::tracec(env, P, T, 2, strings::samples, int(d.samples),
                                   strings::samplecone, double(d.blur));
        env.Oi = Color(1.0f);
        env.Ci = env.Os * env.Cs * d.Ka * SL::ambient(env) +
                 d.specularcolor * d.Ks * SL::specular(env, Nf, V, d.roughness) +
                 d.Kr * kr * reflected + d.Kt * kt * d.transmitcolor * refracted;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Glass(); }
