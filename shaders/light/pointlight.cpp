// pointlight: light radiating from one point in all directions.
//
// It falls off with the square of the distance; "from" is in the space where the light is declared.
//
// Parameters:
//   type   name           default  meaning
//   float  intensity      1        brightness at distance 1
//   color  lightcolor     1 1 1    colour
//   point  from           0 0 0    position
//   float  __nondiffuse   0        1: adds nothing to diffuse()
//   float  __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "pointlight" 2 "point from" [1 4 -2] "float intensity" [20]
#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

struct Data {
    float intensity;
    Color lightcolor;
    Tuple from;
    float nondiffuse;
    float nonspecular;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, lightcolor, TypeColor),
    OVO_ARGUMENT(Data, from, TypePoint),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nonspecular, "__nonspecular", TypeFloat),
};

const ShaderInfo Info = {"pointlight", GlobalCl | GlobalL | GlobalPs, ShaderTypeLight};

class PointLight : public CompiledLight<Data> {
  public:
    PointLight() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
        d.from = env.shaderSpace.m * Point(0.0f, 0.0f, 0.0f);
        d.nondiffuse = 0.0f;
        d.nonspecular = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        if (SL::illuminate(env, d.from)) env.Cl = d.intensity * d.lightcolor / dot(env.L, env.L);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new PointLight(); }
