// fog: exponential absorption along the viewing ray toward a background colour.
//
// An atmosphere shader: at distance "distance" about 63% of the surface's colour is replaced.
//
// Parameters:
//   type   name        default  meaning
//   float  distance    1        distance over which the surface fades by a factor e
//   color  background  0 0 0    colour of the fog
//
// Example:
//   Atmosphere "fog" "float distance" [10] "color background" [0.5 0.5 0.6]
#include <cmath>

#include "core/shading/compiled.h"
#include "shaders/volume/fade.h"

namespace {

using namespace ovo;

struct Data {
    float distance;
    Color background;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, distance, TypeFloat),
    OVO_ARGUMENT(Data, background, TypeColor),
};

const ShaderInfo Info = {"fog", GlobalI | GlobalCi | GlobalOi, ShaderTypeVolume};

class Fog : public CompiledShader<Data> {
  public:
    Fog() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.distance = 1.0f;
        d.background = Color(0.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float k = d.distance > 0.0f ? 1.0f - std::exp(-env.I.length() / d.distance) : 1.0f;
        shaders::fadeTo(env, d.background, k);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Fog(); }
