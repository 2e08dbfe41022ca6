#include "compiler/frontend.h"

#include "compiler/checker.h"
#include "compiler/lexer.h"
#include "compiler/parser.h"

namespace ovo {
namespace compiler {

Program frontEnd(const std::string& text, const std::string& fileName, Diagnostics& diagnostics) {
    const int file = diagnostics.fileIndex(fileName);
    // Text without line markers is the file itself: its lines are what messages show.
    if (text.compare(0, 1, "#") != 0 && text.find("\n#") == std::string::npos)
        diagnostics.setText(file, text);
    const std::vector<Token> tokens = tokenize(text, file, diagnostics);
    Program program = parse(tokens, diagnostics);
    // Checking a tree with holes in it would mostly repeat the parser's complaints.
    if (diagnostics.errorCount() == 0) check(program, diagnostics);
    return program;
}

}  // namespace compiler
}  // namespace ovo
