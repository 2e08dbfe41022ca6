// Surface shader "plastic": a diffuse base coloured by Cs under a white (or tinted) glossy
// highlight.
//   float Ka             1     ambient coefficient
//   float Kd             0.5   diffuse coefficient
//   float Ks             0.5   specular coefficient
//   float roughness      0.1   highlight size: smaller is sharper
//   color specularcolor  1 1 1 highlight colour
// Colour: Os * (Cs*(Ka*ambient() + Kd*diffuse(Nf)) + specularcolor*Ks*specular(Nf, V, roughness)).
// Example: Surface "plastic" "float roughness" [0.05] "color specularcolor" [1 1 1]
#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float roughness;
    Color specularcolor;
};

const Shader::Argument kArguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
};

const ShaderInfo kInfo = {"plastic", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                          ShaderTypeSurface};

class Plastic : public CompiledShader<Data> {
  public:
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
        Tuple n = SL::normalize(env.N), i = env.I;
        Tuple Nf = SL::faceforward(env, n, i);
        Tuple V = -SL::normalize(env.I);
        env.Oi = env.Os;
        env.Ci = env.Os * (env.Cs * (d.Ka * SL::ambient(env) + d.Kd * SL::diffuse(env, Nf)) +
                           d.specularcolor * d.Ks * SL::specular(env, Nf, V, d.roughness));
    }
    const ShaderInfo* info() const override { return &kInfo; }
    const Argument* arguments() const override { return kArguments; }
    int numArguments() const override { return int(sizeof(kArguments) / sizeof(kArguments[0])); }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Plastic(); }
