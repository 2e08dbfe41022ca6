// Test light shader "counting": a point light at "from" (default the origin of its space)
// giving Cl = intensity without fall-off, that counts its runs. countingRuns() returns the
// counter, which tests reset. Example: Light("l", "counting", 0) with "point from".
#include <atomic>

#include "core/shading/compiled.h"
#include "core/shading/sl/lighting.h"

namespace {

using namespace ovo;

std::atomic<unsigned> runs{0};

struct Data {
    float intensity;
    Tuple from;
    float nondiffuse;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, intensity, TypeFloat),
    OVO_ARGUMENT(Data, from, TypePoint),
    OVO_NAMED_ARGUMENT(Data, nondiffuse, "__nondiffuse", TypeFloat),
};

const ShaderInfo Info = {"counting", GlobalCl | GlobalL, ShaderTypeLight};

class Counting : public CompiledLight<Data> {
  public:
    Counting() : CompiledLight(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.intensity = 1.0f;
        d.from = env.shaderSpace.m * Point(0.0f, 0.0f, 0.0f);
        d.nondiffuse = 0.0f;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        ++runs;
        if (SL::illuminate(env, d.from)) env.Cl = Color(d.intensity);
    }
};

}  // namespace

extern "C" std::atomic<unsigned>* countingRuns() { return &runs; }
extern "C" ovo::Shader* createShader() { return new Counting(); }
