// constant: the surface colour as it is, unlit.
//
// The colour is Os * Cs and the opacity Os.
//
// Parameters: none
//
// Example:
//   Surface "constant"
#include "core/shading/compiled.h"

namespace {

using namespace ovo;

struct Data {
    float unused;
};

const ShaderInfo Info = {"constant", GlobalCs | GlobalOs, ShaderTypeSurface};

class Constant : public CompiledShader<Data> {
  public:
    Constant() : CompiledShader(Info) {}
    void initialize(ShaderEnvironment&, void*) const override {}
    void execute(ShaderEnvironment& env, void*) const override {
        env.Oi = env.Os;
        env.Ci = env.Os * env.Cs;
    }
};

}  // namespace

extern "C" ovo::Shader* createShader() { return new Constant(); }
