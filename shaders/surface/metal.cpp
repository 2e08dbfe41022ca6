// Surface shader "metal": a glossy surface whose highlights take the surface colour.
//   float Ka         1     ambient coefficient
//   float Ks         1     specular coefficient
//   float roughness  0.1   highlight size: smaller is sharper
// Colour: Os * Cs * (Ka*ambient() + Ks*specular(Nf, V, roughness)).
// Example: Surface "metal" "float roughness" [0.2]
#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Ks;
    float roughness;
};

const Shader::Argument kArguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
};

const ShaderInfo kInfo = {"metal", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                          ShaderTypeSurface};

class Metal : public CompiledShader<Data> {
  public:
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Ks = 1.0f;
        d.roughness = 0.1f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple n = SL::normalize(env.N), i = env.I;
        Tuple Nf = SL::faceforward(env, n, i);
        Tuple V = -SL::normalize(env.I);
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs *
                 (d.Ka * SL::ambient(env) + d.Ks * SL::specular(env, Nf, V, d.roughness));
    }
    const ShaderInfo* info() const override { return &kInfo; }
    const Argument* arguments() const override { return kArguments; }
    int numArguments() const override { return int(sizeof(kArguments) / sizeof(kArguments[0])); }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Metal(); }
