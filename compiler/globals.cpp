#include "compiler/globals.h"

#include <cstring>

#include "compiler/ast.h"

namespace ovo {
namespace compiler {

namespace {

// "time" has a field; "dtime" and "dPdtime" have none and read as zero (no motion derivatives).
const GlobalInfo Globals[] = {
    {"Cs", Base::Color, flags::Cs, true, "env.Cs"},
    {"Os", Base::Color, flags::Os, true, "env.Os"},
    {"P", Base::Point, flags::P, true, "env.P"},
    {"dPdu", Base::Vector, flags::dPdu, false, "env.dPdu"},
    {"dPdv", Base::Vector, flags::dPdv, false, "env.dPdv"},
    {"N", Base::Normal, flags::N, true, "env.N"},
    {"Ng", Base::Normal, flags::Ng, false, "env.Ng"},
    {"u", Base::Float, flags::u, false, "env.u"},
    {"v", Base::Float, flags::v, false, "env.v"},
    {"du", Base::Float, flags::du, false, "env.du"},
    {"dv", Base::Float, flags::dv, false, "env.dv"},
    {"s", Base::Float, flags::s, true, "env.s"},
    {"t", Base::Float, flags::t, true, "env.t"},
    {"L", Base::Vector, flags::L, false, "env.L"},
    {"Cl", Base::Color, flags::Cl, true, "env.Cl"},
    {"Ol", Base::Color, flags::Ol, true, "env.Ol"},
    {"E", Base::Point, flags::E, false, "env.E"},
    {"I", Base::Vector, flags::I, false, "env.I"},
    {"ncomps", Base::Float, flags::ncomps, false, "env.ncomps"},
    {"time", Base::Float, flags::time, false, "env.time"},
    {"dtime", Base::Float, flags::dtime, false, "0.0f"},
    {"dPdtime", Base::Vector, flags::dPdtime, false, "ovo::Tuple(0.0f)"},
    {"Ci", Base::Color, flags::Ci, true, "env.Ci"},
    {"Oi", Base::Color, flags::Oi, true, "env.Oi"},
    {"Ps", Base::Point, flags::Ps, false, "env.Ps"},
    {"alpha", Base::Float, flags::alpha, true, "env.alpha"},
    // The normal of the surface point a light shader lights: the surface's shading normal.
    {"Ns", Base::Normal, flags::N, false, "env.Ns", true},
    // Constants of the language: no flag, the same everywhere.
    {"PI", Base::Float, 0, false, "3.14159265f"},
    {nullptr, Base::Error, 0, false, nullptr},
};

}  // namespace

const GlobalInfo* findGlobal(const char* name) {
    for (const GlobalInfo* g = Globals; g->name; ++g)
        if (std::strcmp(g->name, name) == 0) return g;
    return nullptr;
}

const GlobalInfo* allGlobals() { return Globals; }

bool globalSeenBy(const GlobalInfo& global, ShaderKind kind) {
    if (global.flag == 0) return true;
    if (global.lightOnly) return kind == ShaderKind::Light;
    // The pixel's filtered colour, opacity and coverage, its raster position, and the frame.
    const unsigned pixel = flags::Ci | flags::Oi | flags::alpha | flags::P | flags::ncomps |
                           flags::time | flags::dtime;
    if (kind == ShaderKind::Imager) return (global.flag & pixel) != 0;
    return global.flag != flags::alpha;
}

}  // namespace compiler
}  // namespace ovo
