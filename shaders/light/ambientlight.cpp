// ambientlight: light that arrives equally from everywhere and only feeds ambient().
//
// Surfaces see it only through their ambient() term; it casts no shadows.
//
// Parameters:
//   type   name        default  meaning
//   float  intensity   1        brightness
//   color  lightcolor  1 1 1    colour
//
// Example:
//   LightSource "ambientlight" 1 "float intensity" [0.1]
#include "core/shading/compiled.h"

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

const ShaderInfo Info = {"ambientlight", GlobalCl | GlobalL, ShaderTypeLight};

class AmbientLight : public CompiledLight<Data> {
  public:
    AmbientLight() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        env.Cl = d.intensity * d.lightcolor;
        env.L = Vector(0.0f);
    }
    bool isAmbient() const override { return true; }
    bool castsShadows() const override { return false; }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new AmbientLight(); }
