// shadowspot: a spotlight whose shadows are traced.
//
// As "spotlight", with Cl scaled by 1 - shadow(shadowname, Ps): "raytrace" traces towards the
// light through every surface, a geometry-set name through the members of that set only, and
// an empty name casts no shadow. OVO makes no shadow maps; any other name traces as
// "raytrace". blur widens the shadow rays into a cone of that half-angle in radians, sampled
// by samples rays, for soft edges.
//
// Parameters:
//   type    name              default      meaning
//   float   intensity         1            brightness at distance 1
//   color   lightcolor        1 1 1        colour
//   point   from              0 0 0        apex of the cone
//   point   to                0 0 1        the cone points here
//   float   coneangle         radians(30)  half-angle of the cone in radians (0.5236)
//   float   conedeltaangle    radians(5)   width of the soft edge inside it, in radians (0.0873)
//   float   beamdistribution  2            exponent of the cosine fall-off across the beam
//   string  shadowname        ""           "raytrace", a geometry set, or empty for no shadow
//   float   samples           1            shadow rays per point when blurred
//   float   blur              0            half-angle of the shadow-ray cone, radians
//   float   __nondiffuse      0            1: adds nothing to diffuse()
//   float   __nonspecular     0            1: adds nothing to specular()
//
// Example:
//   LightSource "shadowspot" 3 "point from" [0 5 0] "point to" [0 0 0] "string shadowname"
//   ["raytrace"]
#include <cmath>

#include "core/math/constants.h"
#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"
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
    float coneangle;
    float conedeltaangle;
    float beamdistribution;
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
    OVO_ARGUMENT(Data, coneangle, TypeFloat),
    OVO_ARGUMENT(Data, conedeltaangle, TypeFloat),
    OVO_ARGUMENT(Data, beamdistribution, TypeFloat),
    OVO_ARGUMENT(Data, shadowname, TypeString),
    OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, blur, TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nonspecular, "__nonspecular", TypeFloat),
};

const ShaderInfo Info = {"shadowspot", GlobalCl | GlobalL | GlobalPs, ShaderTypeLight};

inline float smoothstep(float a, float b, float x) {
    if (x <= a) return 0.0f;
    if (x >= b) return 1.0f;
    const float t = (x - a) / (b - a);
    return t * t * (3.0f - 2.0f * t);
}

class ShadowSpot : public CompiledLight<Data> {
  public:
    ShadowSpot() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
        d.from = env.shaderSpace.m * Point(0.0f, 0.0f, 0.0f);
        d.to = env.shaderSpace.m * Point(0.0f, 0.0f, 1.0f);
        d.coneangle = 30.0f * Pi / 180.0f;
        d.conedeltaangle = 5.0f * Pi / 180.0f;
        d.beamdistribution = 2.0f;
        d.shadowname = OIIO::ustring();
        d.samples = 1.0f;
        d.blur = 0.0f;
        d.nondiffuse = 0.0f;
        d.nonspecular = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        Tuple A = SL::normalize(d.to - d.from);
        if (!SL::illuminate(env, d.from, A, d.coneangle)) return;
        const float len2 = dot(env.L, env.L);
        const float cosangle = dot(env.L, A) / std::sqrt(len2);
        float atten = std::pow(std::max(cosangle, 0.0f), d.beamdistribution) / len2;
        atten *=
            smoothstep(std::cos(d.coneangle), std::cos(d.coneangle - d.conedeltaangle), cosangle);
        // No light, no shadow to trace.
        if (atten > 0.0f) {
            Tuple Ps = env.Ps;
            atten *= 1.0f - SL::shadowf(env, d.shadowname, 0, Ps, 2, strings::samples,
                                        double(d.samples), strings::blur, double(d.blur));
        }
        env.Cl = atten * d.intensity * d.lightcolor;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new ShadowSpot(); }
