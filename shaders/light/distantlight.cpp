// distantlight: parallel light, as from the sun, shining from "from" toward "to".
//
// Both points are in the space where the light is declared; the strength of the light does not fall
// off.
//
// Parameters:
//   type   name           default  meaning
//   float  intensity      1        brightness
//   color  lightcolor     1 1 1    colour
//   point  from           0 0 0    where the light comes from
//   point  to             0 0 1    where it shines to
//   float  __nondiffuse   0        1: adds nothing to diffuse()
//   float  __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "distantlight" 1 "point from" [0 10 0] "point to" [0 0 0]
#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

struct Data {
    float intensity;
    Color lightcolor;
    Tuple from;
    Tuple to;
    float nondiffuse;
    float nonspecular;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, lightcolor, TypeColor),
    OVO_ARGUMENT(Data, from, TypePoint),
    OVO_ARGUMENT(Data, to, TypePoint),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nonspecular, "__nonspecular", TypeFloat),
};

const ShaderInfo Info = {"distantlight", GlobalCl | GlobalL, ShaderTypeLight};

class DistantLight : public CompiledLight<Data> {
  public:
    DistantLight() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
        d.from = env.shaderSpace.m * Point(0.0f, 0.0f, 0.0f);
        d.to = env.shaderSpace.m * Point(0.0f, 0.0f, 1.0f);
        d.nondiffuse = 0.0f;
        d.nonspecular = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple axis = d.to - d.from;
        if (SL::solar(env, axis, 0.0f)) env.Cl = d.intensity * d.lightcolor;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new DistantLight(); }
