// bumpy: round bumps of noise over the surface, seen through the shading normal.
//
// The surface point is lifted along the normal by noise in the shader's space and the normal
// recomputed from the lifted surface with calculatenormal; the hit point itself stays where it
// is, so the silhouette keeps its shape.
//
// Parameters:
//   type   name       default  meaning
//   float  Km         0.03     height of the bumps, in current-space units
//   float  frequency  8        bumps per unit of the shader's space, about
//
// Example:
//   Displacement "bumpy" "float Km" [0.05] "float frequency" [4]
#include "core/shading/compiled.h"
#include "shaders/patterns.h"

namespace {

using namespace ovo;

struct Data {
    float Km;
    float frequency;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Km, TypeFloat),
    OVO_ARGUMENT(Data, frequency, TypeFloat),
};

const ShaderInfo Info = {"bumpy", GlobalP | GlobalN | GlobalDu | GlobalDv, ShaderTypeDisplacement};

class Bumpy : public CompiledShader<Data> {
  public:
    Bumpy() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Km = 0.03f;
        d.frequency = 8.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float height = d.Km * shaders::noise(shaders::shaderPoint(env) * d.frequency);
        Tuple lifted = env.P + SL::normalize(env.N) * height;
        env.N = Normal(SL::calculatenormal(env, lifted));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Bumpy(); }
