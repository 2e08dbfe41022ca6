// indirect: a diffuse surface lit by the lights and by a bounce of light from its surroundings.
//
// The colour is Os * Cs * (Ka * ambient() + Kd * (diffuse(Nf) + indirectdiffuse(P, Nf,
// samples))): the light other surfaces send towards the point, gathered over the hemisphere
// once per region of the image and interpolated in between (maxerror and maxpixeldist as for
// "occlusion"). Surfaces seen by the gathering rays are shaded without their own indirect
// light ("ray:maxdiffusedepth" bounces, 1 by default). The rays start the surface's
// "shadow:bias" away from it.
//
// Parameters:
//   type   name          default  meaning
//   float  Ka            1        ambient coefficient
//   float  Kd            1        diffuse coefficient
//   float  samples       64       rays per gathering
//   float  maxdist       1e30     surfaces farther than this send nothing
//   float  maxerror      0.25     largest error of a reused record; 0 turns the cache off
//   float  maxpixeldist  20       largest distance between reused records, in pixels
//
// Example:
//   Surface "indirect" "float samples" [256]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
    float samples;
    float maxdist;
    float maxerror;
    float maxpixeldist;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),       OVO_ARGUMENT(Data, Kd, TypeFloat),
    OVO_ARGUMENT(Data, samples, TypeFloat),  OVO_ARGUMENT(Data, maxdist, TypeFloat),
    OVO_ARGUMENT(Data, maxerror, TypeFloat), OVO_ARGUMENT(Data, maxpixeldist, TypeFloat),
};

const ShaderInfo Info = {"indirect", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Indirect : public CompiledShader<Data> {
  public:
    Indirect() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 1.0f;
        d.Kd = 1.0f;
        d.samples = 64.0f;
        d.maxdist = 1e30f;
        d.maxerror = 0.25f;
        d.maxpixeldist = 20.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        const Color bounce =
            SL::indirectdiffuse3(env, env.P, Nf, d.samples, 4, strings::bias, -1.0,
                                 strings::maxhitdist, double(d.maxdist), strings::maxerror,
                                 double(d.maxerror), strings::maxpixeldist, double(d.maxpixeldist));
        env.Oi = env.Os;
        env.Ci =
            env.Os * env.Cs * (d.Ka * SL::ambient(env) + d.Kd * (SL::diffuse(env, Nf) + bounce));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Indirect(); }
