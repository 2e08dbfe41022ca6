// depthcue: fades surfaces toward a background colour with their depth.
//
// An atmosphere shader. Depth runs from 0 at the camera's near plane to 1 at its far plane.
//
// Parameters:
//   type   name         default  meaning
//   float  mindistance  0        depth where the fade starts
//   float  maxdistance  1        depth where only the background is left
//   color  background   0 0 0    colour faded to
//
// Example:
//   Atmosphere "depthcue" "float maxdistance" [0.5] "color background" [0.2 0.2 0.3]
#include <algorithm>

#include "core/shading/compiled.h"
#include "shaders/volume/fade.h"
#include "core/shading/sl/geometry.h"

namespace {

using namespace ovo;

struct Data {
    float mindistance;
    float maxdistance;
    Color background;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, mindistance, TypeFloat),
    OVO_ARGUMENT(Data, maxdistance, TypeFloat),
    OVO_ARGUMENT(Data, background, TypeColor),
};

const ShaderInfo Info = {"depthcue", GlobalP | GlobalCi | GlobalOi, ShaderTypeVolume};

class DepthCue : public CompiledShader<Data> {
  public:
    DepthCue() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.mindistance = 0.0f;
        d.maxdistance = 1.0f;
        d.background = Color(0.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        Tuple P = env.P;
        const float range = d.maxdistance - d.mindistance;
        float k = range != 0.0f ? (SL::depth(env, P) - d.mindistance) / range : 1.0f;
        k = std::min(1.0f, std::max(0.0f, k));
        shaders::fadeTo(env, d.background, k);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new DepthCue(); }
