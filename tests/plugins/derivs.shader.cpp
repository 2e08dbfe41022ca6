// Test surface shader "derivs": reads du and dv, so it runs in the two offset passes too.
// Ci = (Du(u), Dv(u), Du(v)), Oi = 1; derivsRuns() counts its runs per pass (index 0 main,
// 1 x step, 2 y step). Example: Shader("surface", "derivs", 0).
#include <atomic>

#include "core/shading/compiled.h"
#include "core/shading/sl/geometry.h"

namespace {

using namespace ovo;

std::atomic<unsigned> runs[3];

struct Data {
    float unused;
};

const ShaderInfo Info = {"derivs", GlobalU | GlobalV | GlobalDu | GlobalDv, ShaderTypeSurface};

class Derivs : public CompiledShader<Data> {
  public:
    Derivs() : CompiledShader(Info) {}
    void initialize(ShaderEnvironment&, void*) const override {}
    void execute(ShaderEnvironment& env, void*) const override {
        ++runs[env.derivPass];
        const float a = SL::Du(env, env.u), b = SL::Dv(env, env.u), c = SL::Du(env, env.v);
        env.Ci = Color(a, b, c);
        env.Oi = Color(1.0f);
    }
};

}  // namespace

extern "C" std::atomic<unsigned>* derivsRuns() { return runs; }
extern "C" ovo::Shader* createShader() { return new Derivs(); }
