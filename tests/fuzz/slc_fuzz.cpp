// libFuzzer target for the shading-language compiler's front end: arbitrary bytes as
// preprocessed source through the lexer, parser and checker, their diagnostics formatted, and
// the code generator on whatever passes. Nothing is read from disk and nothing is compiled.
#include <cstddef>
#include <cstdint>
#include <string>

#include "compiler/codegen.h"
#include "compiler/diagnostics.h"
#include "compiler/frontend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ovo::compiler::Diagnostics diagnostics;
    diagnostics.readFiles(false);
    const ovo::compiler::Program program = ovo::compiler::frontEnd(text, "fuzz.sl", diagnostics);
    volatile size_t sink = diagnostics.formatAll().size();
    if (diagnostics.errorCount() == 0 && program.shader)
        sink = sink + ovo::compiler::generate(program, "fuzz.sl").size();
    (void)sink;
    return 0;
}
