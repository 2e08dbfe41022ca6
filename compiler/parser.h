// The parser of the shading language: tokens in, a syntax tree out. It reports what it cannot
// read and carries on from the next statement or definition, so that one run shows several
// mistakes.
#pragma once

#include <vector>

#include "compiler/ast.h"
#include "compiler/diagnostics.h"
#include "compiler/lexer.h"

namespace ovo {
namespace compiler {

// Parses a whole file. The program holds what could be read even when errors were reported.
Program parse(const std::vector<Token>& tokens, Diagnostics& diagnostics);

class Parser {
  public:
    Parser(const std::vector<Token>& tokens, Diagnostics& diagnostics)
        : tokens(tokens), diagnostics(diagnostics) {}

    Program program();

    // Declarations and statements (parser.cpp).
    std::unique_ptr<Function> definition(ShaderKind kind);
    void formals(Function& f);
    bool typeSpec(Type& type, Storage& storage, bool& output, bool& isExtern);
    void declarator(VarDecl& d, bool allowUnsized);
    StmtPtr statement();
    StmtPtr block();
    StmtPtr declaration();
    StmtPtr loopOrCondition();
    StmtPtr lightStatement(StmtKind kind);
    StmtPtr gather();

    // Expressions (parser_expr.cpp).
    ExprPtr expression();
    ExprPtr ternary();
    ExprPtr binary(int level);
    ExprPtr unary();
    ExprPtr typecast();
    ExprPtr postfix();
    ExprPtr primary();
    void arguments(Expr& call);

  private:
    friend class DepthGuard;
    const Token& peek(int ahead = 0) const;
    const Token& advance();
    bool at(Tok kind) const { return peek().kind == kind; }
    bool accept(Tok kind);
    bool expect(Tok kind, const char* what = nullptr);
    void errorAt(const Token& t, const std::string& message);
    void synchronize();
    bool startsType(int ahead = 0) const;
    ExprPtr badExpr();

    const std::vector<Token>& tokens;
    Diagnostics& diagnostics;
    size_t pos = 0;
    int depth = 0;
    int chain = 0;  // operators of one binary or postfix chain: each nests the tree one deeper
    const Token* lastError = nullptr;  // one message per place: a missing token is one mistake
};

// Deeply nested text is refused rather than allowed to exhaust the stack.
class DepthGuard {
  public:
    static const int MaxDepth = 200;
    // Operators in one chain ("a + b + c ...", "a[1][2]..."): the tree they make is as deep
    // as they are many, and the checker walks it recursively.
    static const int MaxChain = 1000;
    explicit DepthGuard(Parser& p) : parser(p) { ++parser.depth; }
    ~DepthGuard() { --parser.depth; }
    bool tooDeep() const { return parser.depth > MaxDepth; }

  private:
    Parser& parser;
};

}  // namespace compiler
}  // namespace ovo
