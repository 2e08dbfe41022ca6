// dented: a surface knocked about, with sharp-edged dents of every size.
//
// Turbulence in the shader's space, cubed so that most of the surface stays smooth, pushes the
// surface in along the normal; calculatenormal gives the dented normal. The hit point itself
// stays where it is.
//
// Parameters:
//   type   name       default  meaning
//   float  Km         0.6      depth of the dents, in current-space units per unit of the cubed
//                              turbulence
//   float  frequency  2        scale of the largest dents in the shader's space
//
// Example:
//   Displacement "dented" "float Km" [1]
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

const ShaderInfo Info = {"dented", GlobalP | GlobalN | GlobalDu | GlobalDv, ShaderTypeDisplacement};

class Dented : public CompiledShader<Data> {
  public:
    Dented() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Km = 0.6f;
        d.frequency = 2.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float t = shaders::turbulence(shaders::shaderPoint(env) * d.frequency, 6);
        Tuple dented = env.P - SL::normalize(env.N) * (d.Km * t * t * t);
        env.N = Normal(SL::calculatenormal(env, dented));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Dented(); }
