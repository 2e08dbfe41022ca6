// arealight: the emitter of an area light.
//
// Declared with a "geometry" parameter (AreaLightSource in a scene file, whose geometry is what
// follows in the same attribute block), the renderer runs it at sample points spread over that
// geometry; each point lights the hemisphere around its surface normal with an inverse-square
// fall-off, and the samples are weighted by the cosine at the emitter.
//
// Parameters:
//   type   name        default  meaning
//   float  intensity   1        brightness
//   color  lightcolor  1 1 1    colour
//
// Example:
//   AttributeBegin
//     AreaLightSource "arealight" 1 "float intensity" [10]
//     Disk 2 0.5 360
//   AttributeEnd
#include "core/math/constants.h"
#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

struct Data {
    float intensity;
    Color lightcolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, lightcolor, TypeColor),
};

const ShaderInfo Info = {"arealight", GlobalCl | GlobalL | GlobalP | GlobalN | GlobalPs,
                         ShaderTypeLight};

class AreaLightShader : public CompiledLight<Data> {
  public:
    AreaLightShader() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple P = env.P, N = env.N;
        if (SL::illuminate(env, P, N, PiOver2))
            env.Cl = d.intensity * d.lightcolor / dot(env.L, env.L);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new AreaLightShader(); }
