// The checker: resolves names and calls, gives every expression its type and storage class
// (uniform or varying), allows the conversions the language makes by itself and reports the
// rest, and records what the code generator needs: the globals a shader reads, the derivative
// call sites it takes, the loops that a multi-level break leaves.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "compiler/ast.h"
#include "compiler/builtins.h"
#include "compiler/diagnostics.h"

namespace ovo {
namespace compiler {

// Checks the program in place. Returns false when errors were reported.
bool check(Program& program, Diagnostics& diagnostics);

class Checker {
  public:
    Checker(Program& program, Diagnostics& diagnostics)
        : program(program), diagnostics(diagnostics) {}
    void run();

    // Definitions and statements (checker.cpp).
    void function(Function& f);
    void shaderParameters(Function& shader);
    void statement(Stmt& s);
    void statements(std::vector<StmtPtr>& list);
    void declaration(VarDecl& d, VarKind kind);
    void initializer(VarDecl& d);
    void externDeclaration(VarDecl& d);
    void condition(Expr& e);
    void loopStatement(Stmt& s);
    void jump(Stmt& s);
    void returnStatement(Stmt& s);
    void lightStatement(Stmt& s);

    // Expressions (checker_expr.cpp).
    void expr(Expr& e, const Type* expected = nullptr);
    void name(Expr& e, bool target);
    void index(Expr& e, bool target);
    void indexRest(Expr& e);
    void unaryOp(Expr& e);
    void binaryOp(Expr& e);
    void assignment(Expr& e);
    void increment(Expr& e);
    void ternaryOp(Expr& e, const Type* expected);
    void cast(Expr& e);
    void tuple(Expr& e);
    bool assignable(Expr& target, const std::string& what);
    void convertTo(Expr& value, const Type& to, const std::string& context);
    void storeCheck(const Variable& v, bool varyingValue, const Location& where);

    // Calls (checker_calls.cpp).
    void call(Expr& e, const Type* expected);
    void userCall(Expr& e, std::vector<Function*>& candidates);
    void builtinCall(Expr& e, const std::vector<const Builtin*>& forms, const Type* expected);
    int formCost(const Builtin& b, std::vector<ExprPtr>& args);
    void checkKeywords(Expr& e, size_t first);
    void derivativeSite(Expr& e, int sites);
    void checkArguments(Expr& e, size_t first);
    bool channelSelector(Expr& e);

  private:
    struct Scope {
        std::map<std::string, Variable*> variables;
        std::map<std::string, std::vector<Function*>> functions;
        bool boundary = false;  // the first scope of a function: outer locals need extern
    };
    // Where the checker is: the function being checked and its loops.
    struct Context {
        Function* function = nullptr;
        std::vector<Stmt*> loops;
        int loopDepth = 0;       // loops of this function around the current point
        int varyingControl = 0;  // conditions that vary from point to point around it
        int noDerivatives = 0;   // illuminance, illuminate and solar bodies, defaults
        bool returned = false;
    };

    Variable* lookup(const std::string& name, bool crossBoundaries);
    Variable* globalVariable(const std::string& name);
    Variable* newVariable(const std::string& name, const Type& type, VarKind kind,
                          const Location& where);
    void declareVariable(Variable* v, const Location& where);
    void pushScope(bool boundary = false) {
        scopes.emplace_back();
        scopes.back().boundary = boundary;
    }
    void popScope() { scopes.pop_back(); }
    void readGlobal(const Variable& v);
    void absorb(const Function& callee);

    Program& program;
    Diagnostics& diagnostics;
    std::vector<Scope> scopes;
    Context ctx;
    std::map<std::string, Variable*> globals;
    std::set<const Function*> active;  // functions whose bodies are being checked
    int nextId = 0;
    int nextLoop = 0;
};

}  // namespace compiler
}  // namespace ovo
