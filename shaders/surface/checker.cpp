// checker: a checkerboard in s and t, antialiased.
//
// Each direction's square wave is averaged over the pixel's footprint, its width found with Du
// and Dv (so the shader runs in the derivative passes too): far away the board fades to the
// average of its two colours instead of breaking into moire. The white squares take the
// surface colour.
//
// Parameters:
//   type   name           default  meaning
//   float  Ka             1        ambient coefficient
//   float  Kd             0.8      diffuse coefficient
//   float  Ks             0.2      specular coefficient
//   float  roughness      0.1      highlight size
//   color  specularcolor  1 1 1    highlight colour
//   float  frequency      4        pairs of squares, one of each colour, per unit of s and t
//   color  blackcolor     0 0 0    colour of the other squares
//
// Example:
//   Surface "checker" "float frequency" [8] "color blackcolor" [0.1 0.1 0.3]
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
    Color blackcolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, frequency, TypeFloat),
    OVO_ARGUMENT(Data, blackcolor, TypeColor),
};

const ShaderInfo Info = {
    "checker",
    GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP | GlobalS | GlobalT | GlobalDu | GlobalDv,
    ShaderTypeSurface};

class Checker : public CompiledShader<Data> {
  public:
    Checker() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.8f;
        d.Ks = 0.2f;
        d.roughness = 0.1f;
        d.specularcolor = Color(1.0f);
        d.frequency = 4.0f;
        d.blackcolor = Color(0.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float ss = env.s * d.frequency, tt = env.t * d.frequency;
        const float ws = shaders::filterWidth(env, ss), wt = shaders::filterWidth(env, tt);
        // The fraction of the footprint on the first half of each period, per direction; the
        // square is black where exactly one of the two is.
        const float fs = shaders::filteredPulseTrain(0.5f, ss, ws);
        const float ft = shaders::filteredPulseTrain(0.5f, tt, wt);
        const float black = fs * (1.0f - ft) + ft * (1.0f - fs);
        const Color Ct = shaders::mix(env.Cs, d.blackcolor, black);
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Checker(); }
