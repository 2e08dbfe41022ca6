// The front end on preprocessed text: tokens, syntax tree, checks. What the fuzz target and
// the table tests drive, and the first half of every compilation.
#pragma once

#include <string>

#include "compiler/ast.h"
#include "compiler/diagnostics.h"

namespace ovo {
namespace compiler {

// Parses and checks `text`, reported as coming from `fileName` (line markers in the text
// move the places to the files they name). The program is complete only when no error was
// reported.
Program frontEnd(const std::string& text, const std::string& fileName, Diagnostics& diagnostics);

}  // namespace compiler
}  // namespace ovo
