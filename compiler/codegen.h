// The code generator: a checked program in, the C++ source of a shader plugin out.
//
// Shaders are translated to C++ and compiled by the system's C++ compiler into a plugin with
// the contract of the hand-written shaders: a data block holding the parameters, an argument
// table of their offsets with the declared types, initialize writing the defaults, execute
// running the body through the SL functions, and the ShaderInfo mask of the globals read.
// What SL does not provide comes from compiler/runtime.h, included by every generated file.
//
// Derivatives: Hit::shade runs a shader whose mask has du or dv three times (an x-offset
// pass, a y-offset pass, then the main pass), and each Du/Dv call site keeps its offset-pass
// values in the slots of its site number. A call site outside loops gets a number fixed at
// compile time (env.derivCounter is set to it just before the library call), so the passes
// meet at the right slots even when an `if` takes another branch in one of them; a user
// function receives the first site number of its call and numbers its own sites from there.
// Sites in loops are numbered at run time after all fixed ones, in the order they are
// reached. Inside illuminance, illuminate and solar bodies (which run only in the main pass)
// and in volume shaders (which run once) derivatives are 0.
#pragma once

#include <map>
#include <string>

#include "compiler/ast.h"

namespace ovo {
namespace compiler {

// The C++ source of the shader plugin for a checked program (one without errors).
std::string generate(const Program& program, const std::string& sourceName);

class Generator {
  public:
    Generator(const Program& program, const std::string& sourceName)
        : program(program), sourceName(sourceName) {}
    std::string run();

    // File structure and statements (codegen.cpp).
    std::string dataBlock();
    std::string argumentTable();
    std::string shaderClass();
    void functionDefinition(const Function& f, bool nested);
    void statement(const Stmt& s);
    void block(const Stmt& s);
    void declaration(const VarDecl& d);
    void loop(const Stmt& s);
    void lightStatement(const Stmt& s);
    std::string zero(const Type& t) const;

    // Expressions (codegen_expr.cpp).
    std::string expr(const Expr& e);
    std::string as(const Expr& e, const Type& to);
    std::string target(const Expr& e);
    std::string condition(const Expr& e);
    std::string binary(const Expr& e);
    std::string assignment(const Expr& e);
    std::string cast(const Expr& e);
    std::string stringConstant(const std::string& text);

    // Calls (codegen_calls.cpp).
    std::string builtinCall(const Expr& e);
    std::string userCall(const Expr& e);
    std::string siteExpression(const Expr& e, int width);
    std::string keywordPairs(const Expr& e, size_t first, int& count);

  private:
    void line(const std::string& text);

    const Program& program;
    std::string sourceName;
    std::string out;  // the body being written
    int indent = 0;
    std::map<std::string, std::string> strings;  // constant text -> its C++ name
    int temporaries = 0;
    const Function* current = nullptr;  // the function (or shader) being written
};

// The C++ type that holds a value of type t.
std::string cppType(const Type& t);

}  // namespace compiler
}  // namespace ovo
