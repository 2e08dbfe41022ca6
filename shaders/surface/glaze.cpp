// glaze: a clear, glossy coat over the layers beneath it in a shader group.
//
// It adds a sharp highlight to the colour the earlier layers left, weighted by a float it reads
// from them by name with surface(): a pattern layer can say where the glaze lies. Without such
// a value the whole surface is glazed.
//
// Parameters:
//   type    name        default   meaning
//   float   Kg          0.8       strength of the glaze's highlight
//   float   roughness   0.04      highlight size
//   color   glazecolor  1 1 1     colour of the highlight
//   string  weight      "glazed"  the float of an earlier layer that weights the glaze
//
// Example:
//   ShaderLayer "surface" "cells" "pattern"
//   ShaderLayer "surface" "plastic" "paint"
//   ShaderLayer "surface" "glaze" "coat" "string weight" ["glazed"]
#include "core/shading/compiled.h"
#include "core/shading/sl/queries.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Kg;
    float roughness;
    Color glazecolor;
    OIIO::ustring weight;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Kg, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, glazecolor, TypeColor),
    OVO_ARGUMENT(Data, weight, TypeString),
};

const OIIO::ustring Glazed("glazed");

const ShaderInfo Info = {"glaze", GlobalOs | GlobalN | GlobalI | GlobalP | GlobalCi,
                         ShaderTypeSurface};

class Glaze : public CompiledShader<Data> {
  public:
    Glaze() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Kg = 0.8f;
        d.roughness = 0.04f;
        d.glazecolor = Color(1.0f);
        d.weight = Glazed;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        float w = 1.0f;
        SL::surface(env, d.weight, w);
        Tuple Nf = shaders::facingNormal(env);
        Tuple V = shaders::towardsViewer(env);
        env.Ci += env.Os * d.glazecolor * (w * d.Kg) * SL::specular(env, Nf, V, d.roughness);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Glaze(); }
