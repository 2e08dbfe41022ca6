// The standard library of the shading language as the compiler sees it: every form of every
// function with its parameter and result types, the C++ that a call becomes, the derivative
// call sites it takes and the globals it reads.
//
// A form's parameters are written as codes: f float, s string, c color, p point, v vector,
// n normal, t any of point, vector and normal, m matrix; "&" before a code marks an output
// argument, "[]" after it an array of any length. "..." ends a list of keyword/value pairs,
// "*" any further values (printf), "+" repeats the code before it any number of times. The
// result code "t" is the type of the first argument of code t; "0" is void.
//
// The C++ template names the arguments: $0..$9 their values converted to the parameter's type,
// #0..#9 a reference to a copy (the library takes Tuple& and Color&), @0..@9 the argument
// itself (an output), $A all values, $E the environment, $S the derivative call site, $C the
// texture channel, $N the number of keyword pairs and $K the pairs themselves, $H the shader's
// name.
#pragma once

#include <string>
#include <vector>

#include "compiler/types.h"

namespace ovo {
namespace compiler {

struct Builtin {
    const char* name;
    const char* result;
    const char* params;
    const char* emit;
    int sites;         // derivative call sites (a float takes one, a triple three)
    unsigned globals;  // ShaderGlobal flags of what it reads besides its arguments
    unsigned options;  // BuiltinOption bits
};

enum BuiltinOption : unsigned {
    Varying = 1,       // its result varies from point to point whatever its arguments
    Channel = 2,       // the first argument may carry a channel selector: "map"[1]
    Refused = 4,       // the renderer cannot do it: the template is the message
    Illumination = 8,  // runs an illuminance loop: it takes no derivatives inside
};

// A form's parameters, read from its codes.
struct BuiltinParam {
    Base base;  // Base::Triple stands for code t (point, vector or normal)
    bool output = false;
    bool array = false;
};
enum class Rest { None, Repeat, Keywords, Any };
struct BuiltinSignature {
    Base result;  // Base::Triple: the type of the first argument of code t
    std::vector<BuiltinParam> params;
    Rest rest = Rest::None;  // Repeat: more arguments like the last parameter
};
const BuiltinSignature& signatureOf(const Builtin& b);

// The forms of a builtin function, in table order (the first form of a result type is the
// default); empty when the name is no builtin.
std::vector<const Builtin*> findBuiltins(const std::string& name);

}  // namespace compiler
}  // namespace ovo
