// shinymetal: polished metal that reflects its surroundings, tinted by the surface colour.
//
// The colour is Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness) + Kr * the
// environment along the mirror direction). With no texturename the reflection is traced;
// with one it is looked up in that environment map ("raytrace" or a geometry-set name traces
// too, the set restricting what is reflected). blur widens the reflection into a cone of that
// half-angle in radians, sampled by samples rays.
//
// Parameters:
//   type    name         default  meaning
//   float   Ka           1        ambient coefficient
//   float   Ks           1        specular coefficient
//   float   Kr           1        reflection coefficient
//   float   roughness    0.1      highlight size: smaller is sharper
//   string  texturename  ""       environment map; empty traces the reflection
//   float   samples      1        rays per reflection when blurred
//   float   blur         0        half-angle of the reflection cone, radians
//
// Example:
//   Surface "shinymetal" "float Kr" [0.8] "string texturename" ["sky.tx"]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "shaders/surface/illumination.h"
#include "shaders/surface/tracing.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Ks;
    float Kr;
    float roughness;
    OIIO::ustring texturename;
    float samples;
    float blur;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),           OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, Kr, TypeFloat),           OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, texturename, TypeString), OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, blur, TypeFloat),
};

const ShaderInfo Info = {"shinymetal", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class ShinyMetal : public CompiledShader<Data> {
  public:
    ShinyMetal() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Ks = 1.0f;
        d.Kr = 1.0f;
        d.roughness = 0.1f;
        d.texturename = OIIO::ustring();
        d.samples = 1.0f;
        d.blur = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        Tuple V = shaders::towardsViewer(env);
        Tuple R = shaders::mirrorDirection(env, Nf);
        const OIIO::ustring name = d.texturename.empty() ? strings::raytrace : d.texturename;
        Color reflected(0.0f);
        if (d.Kr > 0.0f)
            reflected = SL::environmentc(env, name, 0, R, 2, strings::samples, double(d.samples),
                                         strings::blur, double(d.blur));
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs *
                 (d.Ka * SL::ambient(env) + d.Ks * SL::specular(env, Nf, V, d.roughness) +
                  d.Kr * reflected);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new ShinyMetal(); }
