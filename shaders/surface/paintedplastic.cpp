// Surface shader "paintedplastic": "plastic" whose diffuse colour is Cs times a texture map
// looked up at (s, t).
//   float Ka             1     ambient coefficient
//   float Kd             0.5   diffuse coefficient
//   float Ks             0.5   specular coefficient
//   float roughness      0.1   highlight size
//   color specularcolor  1 1 1 highlight colour
//   string texturename   ""    the texture; empty means none (the colour is Cs alone)
// Texture lookups are not wired yet: every texture name currently shades as none.
// Example: Surface "paintedplastic" "string texturename" ["grid.tx"]
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
    OIIO::ustring texturename;
};

const Shader::Argument kArguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, texturename, TypeString),
};

const ShaderInfo kInfo = {"paintedplastic",
                          GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP | GlobalS | GlobalT,
                          ShaderTypeSurface};

class PaintedPlastic : public CompiledShader<Data> {
  public:
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.5f;
        d.Ks = 0.5f;
        d.roughness = 0.1f;
        d.specularcolor = Color(1.0f);
        d.texturename = OIIO::ustring();
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const Color Ct = env.Cs;  // the texture's colour multiplies in here once lookups exist
        Tuple n = SL::normalize(env.N), i = env.I;
        Tuple Nf = SL::faceforward(env, n, i);
        Tuple V = -SL::normalize(env.I);
        env.Oi = env.Os;
        env.Ci = env.Os * (Ct * (d.Ka * SL::ambient(env) + d.Kd * SL::diffuse(env, Nf)) +
                           d.specularcolor * d.Ks * SL::specular(env, Nf, V, d.roughness));
    }
    const ShaderInfo* info() const override { return &kInfo; }
    const Argument* arguments() const override { return kArguments; }
    int numArguments() const override { return int(sizeof(kArguments) / sizeof(kArguments[0])); }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new PaintedPlastic(); }
