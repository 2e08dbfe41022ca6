// metal: a glossy surface whose highlights take the surface colour.
//
// The colour is Os * Cs * (Ka * ambient() + Ks * specular(Nf, V, roughness)), the opacity Os.
//
// Parameters:
//   type   name       default  meaning
//   float  Ka         1        ambient coefficient
//   float  Ks         1        specular coefficient
//   float  roughness  0.1      highlight size: smaller is sharper
//
// Example:
//   Surface "metal" "float roughness" [0.2]
#include "core/shading/compiled.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Ks;
    float roughness;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
};

const ShaderInfo Info = {"metal", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Metal : public CompiledShader<Data> {
  public:
    Metal() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Ks = 1.0f;
        d.roughness = 0.1f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        Tuple V = shaders::towardsViewer(env);
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs *
                 (d.Ka * SL::ambient(env) + d.Ks * SL::specular(env, Nf, V, d.roughness));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Metal(); }
