// paintedplastic: "plastic" whose diffuse colour is Cs times a texture map looked up at (s, t).
//
// The map is filtered over the area each pixel covers in (s, t); the highlight keeps its own
// colour.
//
// Parameters:
//   type    name           default  meaning
//   float   Ka             1        ambient coefficient
//   float   Kd             0.5      diffuse coefficient
//   float   Ks             0.5      specular coefficient
//   float   roughness      0.1      highlight size: smaller is sharper
//   color   specularcolor  1 1 1    highlight colour
//   string  texturename    ""       the texture; empty means none (the colour is Cs alone)
//
// Example:
//   Surface "paintedplastic" "string texturename" ["grid.tx"]
#include "core/shading/compiled.h"
#include "shaders/surface/illumination.h"
#include "shaders/surface/tracing.h"

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

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, texturename, TypeString),
};

const ShaderInfo Info = {
    "paintedplastic",
    GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP | GlobalS | GlobalT | GlobalDu | GlobalDv,
    ShaderTypeSurface};

class PaintedPlastic : public CompiledShader<Data> {
  public:
    PaintedPlastic() : CompiledShader(Info, Arguments) {}
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
        Color Ct = env.Cs;
        if (!d.texturename.empty())
            Ct *= shaders::filteredTexture(env, d.texturename, env.s, env.t);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new PaintedPlastic(); }
