// Test shader "handplastic": the plastic surface written by hand in C++, the reference that the
// plastic compiled from the shading language is held to, pixel for pixel.
// Example: Surface "handplastic" "float Ks" [0.8]
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

const ShaderInfo Info = {"handplastic", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class HandPlastic : public CompiledShader<Data> {
  public:
    HandPlastic() : CompiledShader(Info, Arguments) {}
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

extern "C" ovo::Shader* createShader() { return new HandPlastic(); }
