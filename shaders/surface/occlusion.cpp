// occlusion: ambient occlusion, the surface lit by a uniform sky that nearby geometry blocks.
//
// The colour is Os * Cs * Kd * (1 - occlusion(P, Nf, samples)), the fraction of the
// hemisphere above the point that no surface within maxdist blocks. The occlusion is gathered
// once per region of the image and interpolated in between: maxerror bounds the error a
// cached record may have where it is reused (0 gathers at every shading point) and
// maxpixeldist how far apart, in pixels, records may be reused. The rays start the surface's
// "shadow:bias" away from it: where walls meet edge to edge, a small bias keeps the rays of
// points next to the edge from slipping through the other wall.
//
// Parameters:
//   type   name          default  meaning
//   float  Kd            1        coefficient of the unblocked sky
//   float  samples       64       rays per gathering
//   float  maxdist       1e30     surfaces farther than this do not block
//   float  maxerror      0.25     largest error of a reused record; 0 turns the cache off
//   float  maxpixeldist  20       largest distance between reused records, in pixels
//
// Example:
//   Surface "occlusion" "float samples" [256] "float maxdist" [5]
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"
#include "shaders/surface/illumination.h"

namespace {

using namespace ovo;

struct Data {
    float Kd;
    float samples;
    float maxdist;
    float maxerror;
    float maxpixeldist;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Kd, TypeFloat),           OVO_ARGUMENT(Data, samples, TypeFloat),
    OVO_ARGUMENT(Data, maxdist, TypeFloat),      OVO_ARGUMENT(Data, maxerror, TypeFloat),
    OVO_ARGUMENT(Data, maxpixeldist, TypeFloat),
};

const ShaderInfo Info = {"occlusion", GlobalCs | GlobalOs | GlobalN | GlobalI | GlobalP,
                         ShaderTypeSurface};

class Occlusion : public CompiledShader<Data> {
  public:
    Occlusion() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Kd = 1.0f;
        d.samples = 64.0f;
        d.maxdist = 1e30f;
        d.maxerror = 0.25f;
        d.maxpixeldist = 20.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple Nf = shaders::facingNormal(env);
        const float occ =
            SL::occlusion3(env, env.P, Nf, d.samples, 4, strings::bias, -1.0, strings::maxhitdist,
                           double(d.maxdist), strings::maxerror, double(d.maxerror),
                           strings::maxpixeldist, double(d.maxpixeldist));
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs * (d.Kd * (1.0f - occ));
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Occlusion(); }
