// Test surface shader "args": one argument of every kind the bindings handle, for binding
// and connection tests; it leaves Ci = c and Oi = (f, f, f). Arguments (defaults): float f
// (0.25), float fa[3] (empty), float fo[] (empty), point p (1 2 3 in shader space), vector vv
// (0 0 0), normal n (0 0 1), color c (1 1 1), color ca[2] (empty), point pa[2] (empty), string
// s (""), string sa[2] (empty), hpoint h (0 0 0 1), matrix m (identity). argsRuns() counts
// its runs.
#include <atomic>
#include <vector>

#include "core/shading/compiled.h"

namespace {

using namespace ovo;

std::atomic<unsigned> runs{0};

struct Data {
    float f;
    std::vector<float> fa;
    std::vector<float> fo;
    Tuple p;
    Tuple vv;
    Tuple n;
    Color c;
    std::vector<Color> ca;
    std::vector<Tuple> pa;
    OIIO::ustring s;
    std::vector<OIIO::ustring> sa;
    Tuple h;
    Matrix m;
};

const Shader::Argument Arguments[] = {
    OVO_ARGUMENT(Data, f, TypeFloat),
    {OIIO::ustring("fa"), ParamType(TypeFloat, 3), 0u, unsigned(offsetof(Data, fa))},
    {OIIO::ustring("fo"), ParamType(TypeFloat, 0), 0u, unsigned(offsetof(Data, fo))},
    OVO_ARGUMENT(Data, p, TypePoint),
    OVO_ARGUMENT(Data, vv, TypeVector),
    OVO_ARGUMENT(Data, n, TypeNormal),
    OVO_ARGUMENT(Data, c, TypeColor),
    {OIIO::ustring("ca"), ParamType(TypeColor, 2), 0u, unsigned(offsetof(Data, ca))},
    {OIIO::ustring("pa"), ParamType(TypePoint, 2), 0u, unsigned(offsetof(Data, pa))},
    OVO_ARGUMENT(Data, s, TypeString),
    {OIIO::ustring("sa"), ParamType(TypeString, 2), 0u, unsigned(offsetof(Data, sa))},
    OVO_ARGUMENT(Data, h, TypeHPoint),
    OVO_ARGUMENT(Data, m, TypeMatrix),
};

const ShaderInfo Info = {"args", GlobalCs, ShaderTypeSurface};

class Args : public CompiledShader<Data> {
  public:
    Args() : CompiledShader(Info, Arguments) {}
    void initialize(ShaderEnvironment& env, void* data) const override {
        Data& d = *static_cast<Data*>(data);
        d.f = 0.25f;
        d.fa.clear();
        d.fo.clear();
        d.p = env.shaderSpace.m * Point(1.0f, 2.0f, 3.0f);
        d.vv = Tuple(0.0f);
        d.n = Tuple(0.0f, 0.0f, 1.0f);
        d.c = Color(1.0f);
        d.ca.assign(2, Color(0.0f));
        d.pa.assign(2, Tuple(0.0f));
        d.s = OIIO::ustring();
        d.sa.assign(2, OIIO::ustring());
        d.h = Tuple(0.0f, 0.0f, 0.0f, 1.0f);
        d.m = Matrix::Identity;
    }
    void execute(ShaderEnvironment& env, void* data) const override {
        ++runs;
        const Data& d = *static_cast<Data*>(data);
        env.Ci = d.c;
        env.Oi = Color(d.f);
    }
};

}  // namespace

extern "C" std::atomic<unsigned>* argsRuns() { return &runs; }
extern "C" ovo::Shader* createShader() { return new Args(); }
