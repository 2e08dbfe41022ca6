// Volume (atmosphere) shader "fog": exponential absorption along the viewing ray toward a
// background colour; at distance "distance" about 63% of the surface's colour is replaced.
//   float distance    1       distance over which the surface fades by a factor e
//   color background  0 0 0   colour of the fog
// Example: Atmosphere "fog" "float distance" [10] "color background" [0.5 0.5 0.6]
#include <cmath>

#include "core/shading/compiled.h"

namespace {

using namespace ovo;

struct Data {
    float distance;
    Color background;
};

const Shader::Argument kArguments[] = {
    OVO_ARGUMENT(Data, distance, TypeFloat),
    OVO_ARGUMENT(Data, background, TypeColor),
};

const ShaderInfo kInfo = {"fog", GlobalI | GlobalCi | GlobalOi, ShaderTypeVolume};

class Fog : public CompiledShader<Data> {
  public:
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.distance = 1.0f;
        d.background = Color(0.0f);
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float k = d.distance > 0.0f ? 1.0f - std::exp(-env.I.length() / d.distance) : 1.0f;
        env.Ci = env.Ci * (1.0f - k) + d.background * k;
        env.Oi = env.Oi * (1.0f - k) + Color(1.0f) * k;
    }
    const ShaderInfo* info() const override { return &kInfo; }
    const Argument* arguments() const override { return kArguments; }
    int numArguments() const override { return int(sizeof(kArguments) / sizeof(kArguments[0])); }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Fog(); }
