// defaultsurface: lights the surface from the eye, needing no light source.
//
// The colour is Os * Cs * (Ka + Kd * |normalize(I) . normalize(N)|), the opacity Os.
//
// Parameters:
//   type   name   default  meaning
//   float  Ka     0.2      ambient term
//   float  Kd     0.8      facing term
//
// Example:
//   Surface "defaultsurface" "float Kd" [0.6]
#include <cmath>

#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"

namespace {

using namespace ovo;

struct Data {
    float Ka;
    float Kd;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, Ka, TypeFloat),
    OVO_ARGUMENT(Data, Kd, TypeFloat),
};

const ShaderInfo Info = {"defaultsurface", GlobalCs | GlobalOs | GlobalN | GlobalI,
                         ShaderTypeSurface};

class DefaultSurface : public CompiledShader<Data> {
  public:
    DefaultSurface() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment&, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.Ka = 0.2f;
        d.Kd = 0.8f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        const Data& d = *static_cast<Data*>(data);
        const float facing = std::fabs(dot(SL::normalize(env.I), SL::normalize(env.N)));
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs * (d.Ka + d.Kd * facing);
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new DefaultSurface(); }
