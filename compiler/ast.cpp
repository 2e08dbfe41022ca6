#include "compiler/ast.h"

namespace ovo {
namespace compiler {

// Out of line: Function is complete here.
Stmt::~Stmt() = default;

const char* shaderKindName(ShaderKind k) {
    switch (k) {
        case ShaderKind::Surface:
            return "surface";
        case ShaderKind::Displacement:
            return "displacement";
        case ShaderKind::Light:
            return "light";
        case ShaderKind::Volume:
            return "volume";
        case ShaderKind::Imager:
            return "imager";
        default:
            return "function";
    }
}

}  // namespace compiler
}  // namespace ovo
