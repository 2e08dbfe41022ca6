// matte: a rough surface that scatters light equally in all directions (Lambert).
//
// The colour is Os * Cs * (Ka * ambient() + Kd * diffuse(Nf)), an ambient term included; the
// opacity is the surface opacity Os.
//
// Parameters:
//   type   name   default  meaning
//   float  Ka     1        ambient coefficient
//   float  Kd     1        diffuse coefficient
//
// Example:
//   Surface "matte" "float Kd" [0.8]
#include "core/shading/compiled.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
};

const ShaderInfo Info = {"matte", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Matte : public CompiledShader<Data> {
  public:
    Matte() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 1.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs * (d.Ka * SL::ambient(env) + d.Kd * SL::diffuse(env, Nf));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Matte(); }
