// plastic: a diffuse base coloured by Cs under a white (or tinted) glossy highlight.
//
// The colour is Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * Ks * specular(Nf,
// V, roughness)), the opacity Os.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             1        ambient coefficient
//   float  Kd             0.5      diffuse coefficient
//   float  Ks             0.5      specular coefficient
//   float  roughness      0.1      highlight size: smaller is sharper
//   color  specularcolor  1 1 1    highlight colour
//
// Example:
//   Surface "plastic" "float roughness" [0.05] "color specularcolor" [1 1 1]
#include "core/shading/compiled.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float roughness;
    Color specularcolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
};

const ShaderInfo Info = {"plastic", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Plastic : public CompiledShader<Data> {
  public:
    Plastic() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.5f;
        d.Ks = 0.5f;
        d.roughness = 0.1f;
        d.specularcolor = Color(1.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, env.Cs, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Plastic(); }
