// marble: veins of a darker stone running through a pale one, in the shader's space.
//
// A sine wave along x is bent by turbulence and looked up in a colour spline that holds the
// vein in a narrow part of each period. Lit as "plastic", polished.
//
// Parameters:
//   type   name           default          meaning
//   float  Ka             1                ambient coefficient
//   float  Kd             0.7              diffuse coefficient
//   float  Ks             0.5              specular coefficient
//   float  roughness      0.05             highlight size
//   color  specularcolor  1 1 1            highlight colour
//   float  frequency      1                scale of the pattern in the shader's space
//   float  veinturbulence 2.5               how far the turbulence bends the veins
//   color  basecolor      0.9 0.88 0.84    the stone
//   color  veincolor      0.2 0.22 0.3     the veins
//
// Example:
//   Surface "marble" "float frequency" [2] "color veincolor" [0.4 0.1 0.1]
#include <cmath>

#include "core/shading/compiled.h"
#include "core/shading/sl/spline.h"
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
    float veinturbulence;
    Color basecolor;
    Color veincolor;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, Ks, TypeFloat),
    OVO_ARGUMENT(Data, roughness, TypeFloat),
    OVO_ARGUMENT(Data, specularcolor, TypeColor),
    OVO_ARGUMENT(Data, frequency, TypeFloat),
    OVO_ARGUMENT(Data, veinturbulence, TypeFloat),
    OVO_ARGUMENT(Data, basecolor, TypeColor),
    OVO_ARGUMENT(Data, veincolor, TypeColor),
};

const ShaderInfo Info = {"marble", GlobalOs | GlobalN | GlobalI | GlobalP, ShaderTypeSurface};

class Marble : public CompiledShader<Data> {
  public:
    Marble() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 0.7f;
        d.Ks = 0.5f;
        d.roughness = 0.05f;
        d.specularcolor = Color(1.0f);
        d.frequency = 1.0f;
        d.veinturbulence = 2.5f;
        d.basecolor = Color(0.9f, 0.88f, 0.84f);
        d.veincolor = Color(0.2f, 0.22f, 0.3f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const Tuple PP = shaders::shaderPoint(env) * d.frequency;
        const float wave = std::sin((PP.x + d.veinturbulence * shaders::turbulence(PP, 6)) * Pi);
        const float x = 0.5f + 0.5f * wave;
        // The spline keeps the stone over most of the period and the vein near its end.
        const Color& b = d.basecolor;
        const Color m = shaders::mix(d.basecolor, d.veincolor, 0.35f);
        const Color& v = d.veincolor;
        const Color Ct = SL::splinec(
            strings::catmullrom, x, 9u, double(b.r), double(b.g), double(b.b), double(b.r),
            double(b.g), double(b.b), double(b.r), double(b.g), double(b.b), double(b.r),
            double(b.g), double(b.b), double(m.r), double(m.g), double(m.b), double(v.r),
            double(v.g), double(v.b), double(m.r), double(m.g), double(m.b), double(b.r),
            double(b.g), double(b.b), double(b.r), double(b.g), double(b.b));
        env.Oi = env.Os;
        env.Ci = shaders::plastic(env, Ct, d.Ka, d.Kd, d.Ks, d.roughness, d.specularcolor);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Marble(); }
