// stripes: bands of a second colour across t, antialiased.
//
// Like "checker", each band's edges are averaged over the pixel's footprint, found with Du and
// Dv. On a sphere t runs from pole to pole, so the bands are its parallels.
//
// Parameters:
//   type   name           default        meaning
//   float  Ka             1              ambient coefficient
//   float  Kd             0.8            diffuse coefficient
//   float  Ks             0.4            specular coefficient
//   float  roughness      0.1            highlight size
//   color  specularcolor  1 1 1          highlight colour
//   float  frequency      10             stripes per unit of t
//   float  width          0.5            fraction of each period in the stripe colour
//   color  stripecolor    0.1 0.2 0.6    colour of the stripes; the rest is the surface colour
//
// Example:
//   Surface "stripes" "float frequency" [6] "float width" [0.3]
#include "core/shading/compiled.h"
#include "shaders/patterns.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float Ks;
    float roughness;
    Color specularcolor;
    float frequency;
    float width;
    Color stripecolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, frequency, TypeFloat),
    OVO_ARGUMENT(Data, width, TypeFloat),
    OVO_ARGUMENT(Data, stripecolor, TypeColor),
};

const ShaderInfo Info = {
    "stripes", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP | GlobalT | GlobalDu | GlobalDv,
    ShaderTypeSurface};

class Stripes : public CompiledShader<Data> {
  public:
    Stripes() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.8f;
        d.Ks = 0.4f;
        d.roughness = 0.1f;
        d.specularcolor = Color(1.0f);
        d.frequency = 10.0f;
        d.width = 0.5f;
        d.stripecolor = Color(0.1f, 0.2f, 0.6f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float tt = env.t * d.frequency;
        const float stripe =
            shaders::filteredPulseTrain(d.width, tt, shaders::filterWidth(env, tt));
        const Color Ct = shaders::mix(env.Cs, d.stripecolor, stripe);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Stripes(); }
