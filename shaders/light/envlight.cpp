// envlight: light from a sky all around, blocked where nearby geometry hides the sky.
//
// At each point lit it gathers the occlusion of the hemisphere around the surface normal and
// the mean direction in which the sky is open; Cl = intensity * lightcolor * (1 - occlusion),
// times the environment map envname seen along that direction when one is named. The light
// arrives along the normal, so diffuse() receives it whole; it adds nothing to specular() by
// default, and casts no other shadow than its occlusion. The occlusion is cached as for the
// "occlusion" surface (maxerror, maxpixeldist), its rays starting the surface's "shadow:bias"
// away from it.
//
// Parameters:
//   type    name           default  meaning
//   float   intensity      1        brightness
//   color   lightcolor     1 1 1    colour
//   string  envname        ""       environment map of the sky; empty for a uniform sky
//   float   samples        64       rays per gathering
//   float   maxdist        1e30     surfaces farther than this do not block
//   float   maxerror       0.25     largest error of a reused record; 0 turns the cache off
//   float   maxpixeldist   20       largest distance between reused records, in pixels
//   float   __nondiffuse   0        1: adds nothing to diffuse()
//   float   __nonspecular  1        1: adds nothing to specular()
//
// Example:
//   LightSource "envlight" 5 "string envname" ["sky.tx"] "float samples" [128]
#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/texture.h"
#include "core/shading/sl/trace.h"

namespace {

using namespace ovo;

struct Data {
    float intensity;
    Color lightcolor;
    OIIO::ustring envname;
    float samples;
    float maxdist;
    float maxerror;
    float maxpixeldist;
    float nondiffuse;
    float nonspecular;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, lightcolor, TypeColor),
    OVO_ARGUMENT(Data, envname, TypeString),
    OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, maxdist, TypeFloat),
    OVO_ARGUMENT(Data, maxerror, TypeFloat),
    OVO_ARGUMENT(Data, maxpixeldist, TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
    OVO_NAMED_ARGUMENT(Data, nonspecular, "__nonspecular", TypeFloat),
};

const ShaderInfo Info = {"envlight", GlobalCl | GlobalL | GlobalPs | GlobalN | GlobalI,
                         ShaderTypeLight};

class EnvLight : public CompiledLight<Data> {
  public:
    EnvLight() : CompiledLight(Info, Arguments) {}
    // The occlusion is the shadow.
    bool castsShadows() const override { return false; }
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.lightcolor = Color(1.0f);
        d.envname = OIIO::ustring();
        d.samples = 64.0f;
        d.maxdist = 1e30f;
        d.maxerror = 0.25f;
        d.maxpixeldist = 20.0f;
        d.nondiffuse = 0.0f;
        d.nonspecular = 1.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple n = SL::normalize(env.N), i = env.I;
        Tuple Ns = SL::faceforward(env, n, i);
        Tuple above = env.Ps + Ns;
        if (!SL::illuminate(env, above)) return;
        Tuple open(0.0f);
        const float occ = SL::occlusion3(env, env.Ps, Ns, d.samples, 5, strings::bias, -1.0,
                                         strings::maxhitdist, double(d.maxdist), strings::maxerror,
                                         double(d.maxerror), strings::maxpixeldist,
                                         double(d.maxpixeldist), strings::environmentdir, &open);
        Color sky(1.0f);
        if (!d.envname.empty() && open.length() > 0.0f)
            sky = SL::environmentc(env, d.envname, 0, open, 0);
        env.Cl = (1.0f - occ) * d.intensity * d.lightcolor * sky;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new EnvLight(); }
