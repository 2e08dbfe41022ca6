// The syntax tree of a shading-language file. The parser builds it; the checker fills the
// fields marked "checked" (types, storage, the symbols names and calls resolve to); the code
// generator reads both.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "compiler/diagnostics.h"
#include "compiler/lexer.h"
#include "compiler/types.h"

namespace ovo {
namespace compiler {

struct Builtin;
struct Function;
struct Stmt;

enum class Storage { Default, Uniform, Varying };

enum class VarKind { Global, ShaderParameter, FunctionParameter, Local };

// A named value: a shading global, a parameter or a local variable.
struct Variable {
    std::string name;
    Type type;
    VarKind kind = VarKind::Local;
    bool varying = true;
    bool output = false;
    bool readOnly = false;    // globals the shader may not assign, parameters not marked output
    unsigned globalFlag = 0;  // the ShaderGlobal flag of a global
    const Function* owner = nullptr;  // the function (or shader) that declares it
    std::string cppName;
    Location where;
};

enum class ExprKind {
    Number,     // number
    String,     // text
    Name,       // text; checked: variable
    Call,       // text(args); checked: function or builtin
    Index,      // args[0][args[1]]
    Unary,      // op args[0]: Minus, Not
    Binary,     // args[0] op args[1]
    Assign,     // args[0] op args[1]: Assign, PlusAssign, ...
    Increment,  // op args[0] (PlusPlus, MinusMinus), postfix or not
    Ternary,    // args[0] ? args[1] : args[2]
    Cast,       // castType [text space] args[0]
    Tuple,      // (args...): three or sixteen components
};

struct Expr {
    ExprKind kind;
    Location where;
    Tok op = Tok::End;
    double number = 0.0;
    std::string text;
    Type castType;
    bool postfix = false;
    bool bad = false;      // stands in for text the parser could not read
    bool channel = false;  // checked: "name"[n] selecting the first channel of a texture
    std::vector<std::unique_ptr<Expr>> args;

    // Checked.
    Type type;
    bool varying = false;
    Variable* variable = nullptr;
    const Function* function = nullptr;
    const Builtin* builtin = nullptr;
    int overload = 0;         // which form of the builtin
    int derivativeSite = -1;  // the static call site of a derivative, -1 when counted at run time
    bool inLoop = false;      // a derivative site inside a loop takes its sites at run time

    Expr(ExprKind k, const Location& w) : kind(k), where(w) {}
};
using ExprPtr = std::unique_ptr<Expr>;

// One variable of a declaration (or a parameter): "color c = 1", "float a[3] = {1, 2, 3}".
struct VarDecl {
    Location where;
    std::string name;
    Type type;
    Storage storage = Storage::Default;
    bool output = false;
    bool isExtern = false;
    ExprPtr init;                    // "= expr"
    std::vector<ExprPtr> arrayInit;  // "= { ... }"
    bool hasArrayInit = false;
    Variable* variable = nullptr;  // checked
};

enum class StmtKind {
    Block,        // body
    Declare,      // decls
    Expression,   // expr
    If,           // expr, then, otherwise
    While,        // expr, then
    For,          // init (a statement), expr, step, then
    Break,        // levels
    Continue,     // levels
    Return,       // expr (may be null)
    Illuminance,  // args: [category,] position [, axis, angle]; then
    Illuminate,   // args: from [, axis, angle]; then
    Solar,        // args: [axis, angle]; then
    Function,     // function: a nested function definition
    Empty,
};

struct Stmt {
    StmtKind kind;
    Location where;
    std::vector<std::unique_ptr<Stmt>> body;
    std::vector<VarDecl> decls;
    std::vector<ExprPtr> args;
    ExprPtr expr;
    ExprPtr step;
    std::unique_ptr<Stmt> init;
    std::unique_ptr<Stmt> then;
    std::unique_ptr<Stmt> otherwise;
    std::unique_ptr<Function> function;
    int levels = 1;
    int loopId = -1;  // checked: loops that a multi-level break or continue leaves get a label
    bool labelBreak = false, labelContinue = false;  // checked: those labels are used

    Stmt(StmtKind k, const Location& w) : kind(k), where(w) {}
    ~Stmt();
};
using StmtPtr = std::unique_ptr<Stmt>;

enum class ShaderKind { None, Surface, Displacement, Light, Volume, Imager };

// A function, or the shader itself (kind not None).
struct Function {
    Location where;
    std::string name;
    ShaderKind kind = ShaderKind::None;
    Type returnType = Type(Base::Void);
    Storage returnStorage = Storage::Default;
    std::vector<VarDecl> params;
    StmtPtr body;

    // Checked.
    const Function* parent = nullptr;  // the function a nested function is defined in
    std::string cppName;
    int staticSites = 0;  // derivative call sites the body takes outside loops, callees included
    unsigned globalsRead = 0;  // ShaderGlobal flags read by the body and its callees
    bool usesDerivatives = false;
    bool readsEnvironment = false;  // reads globals or calls what does: its result is varying
    bool illuminates = false;       // a light that calls illuminate or solar
    int opacityWrites = 0;          // writes to Oi or Os by the body and its callees
    bool opacityIsOs = false;       // a surface shader that always leaves Oi equal to Os
    bool uniformArguments = false;  // no output parameter, and no default depends on the point
    bool sameEverywhere = false;    // a light whose Cl, Ol and L cannot depend on the point
};

struct Program {
    std::vector<std::unique_ptr<Function>> functions;  // at file level, in order
    std::unique_ptr<Function> shader;
    std::vector<std::unique_ptr<Variable>> variables;  // checked: every symbol
};

const char* shaderKindName(ShaderKind k);

}  // namespace compiler
}  // namespace ovo
