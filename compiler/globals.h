// The shading globals a shader reads and writes (P, N, Ci, ...), with the ShaderGlobal flags
// by which a compiled shader tells the renderer which of them to compute. The flags are those
// of core/shading/shader.h; the front end keeps its own copy so that it needs nothing of the
// renderer (tests check that the two agree).
#pragma once

#include "compiler/types.h"

namespace ovo {
namespace compiler {

enum class ShaderKind;  // compiler/ast.h

namespace flags {
const unsigned Cs = 0x1, Os = 0x2, P = 0x4, dPdu = 0x8, dPdv = 0x10, N = 0x20, Ng = 0x40, u = 0x80,
               v = 0x100, du = 0x200, dv = 0x400, s = 0x800, t = 0x1000, L = 0x2000, Cl = 0x4000,
               Ol = 0x8000, E = 0x10000, I = 0x20000, ncomps = 0x80000, time = 0x100000,
               dtime = 0x200000, dPdtime = 0x400000, Ci = 0x800000, Oi = 0x1000000, Ps = 0x2000000,
               alpha = 0x4000000;
}  // namespace flags

struct GlobalInfo {
    const char* name;
    Base type;
    unsigned flag;
    bool writable;
    const char* field;  // how generated code reads it: a field of the environment, or a constant
    // Seen by light shaders only; its flag is that of the renderer's global it is made from.
    bool lightOnly = false;
};

// The global of that name, or null.
const GlobalInfo* findGlobal(const char* name);
// Every global, in flag order, ending with a null name.
const GlobalInfo* allGlobals();
// Whether a shader of that kind has the global: an imager has only what a finished pixel
// holds, only an imager has "alpha" and only a light "Ns". The language's constants are
// everywhere.
bool globalSeenBy(const GlobalInfo& global, ShaderKind kind);

}  // namespace compiler
}  // namespace ovo
