// shadowdistant: parallel light, as from the sun, whose shadows are traced.
//
// As "distantlight", with Cl scaled by 1 - shadow(shadowname, Ps): "raytrace" traces towards
// the light through every surface, a geometry-set name through the members of that set only,
// and an empty name casts no shadow. OVO makes no shadow maps; any other name traces as
// "raytrace". blur widens the shadow rays into a cone of that half-angle in radians (the sun's
// size), sampled by samples rays.
//
// Parameters:
//   type    name           default  meaning
//   float   intensity      1        brightness
//   color   lightcolor     1 1 1    colour
//   point   from           0 0 0    where the light comes from
//   point   to             0 0 1    where it shines to
//   string  shadowname     ""       "raytrace", a geometry set, or empty for no shadow
//   float   samples        1        shadow rays per point when blurred
//   float   blur           0        half-angle of the shadow-ray cone, radians
//   float   __nondiffuse   0        1: adds nothing to diffuse()
//   float   __nonspecular  0        1: adds nothing to specular()
//
// Example:
//   LightSource "shadowdistant" 1 "point from" [0 10 0] "string shadowname" ["raytrace"]
#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/texture.h"

namespace {

using namespace ovo;

struct Data {
    float intensity;
    Color lightcolor;
    Tuple from;
    Tuple to;
    OIIO::ustring shadowname;
    float samples;
    float blur;
    float nondiffuse;
    float nonspecular;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, lightcolor, TypeColor),
    OVO_ARGUMENT(Data, from, TypePoint),
    OVO_ARGUMENT(Data, to, TypePoint),
    OVO_ARGUMENT(Data, shadowname, TypeString),
    OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, blur, TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nonspecular, "__nonspecular", TypeFloat),
};

const ShaderInfo Info = {"shadowdistant", GlobalCl | GlobalL | GlobalPs, ShaderTypeLight};

class ShadowDistant : public CompiledLight<Data> {
  public:
    ShadowDistant() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
        d.from = env.shaderSpace.m * Point(0.0f, 0.0f, 0.0f);
        d.to = env.shaderSpace.m * Point(0.0f, 0.0f, 1.0f);
        d.shadowname = OIIO::ustring();
        d.samples = 1.0f;
        d.blur = 0.0f;
        d.nondiffuse = 0.0f;
        d.nonspecular = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple axis = d.to - d.from;
        if (!SL::solar(env, axis, 0.0f)) return;
        Tuple Ps = env.Ps;
        const float blocked = SL::shadowf(env, d.shadowname, 0, Ps, 2, strings::samples,
                                          double(d.samples), strings::blur, double(d.blur));
        env.Cl = (1.0f - blocked) * d.intensity * d.lightcolor;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new ShadowDistant(); }
