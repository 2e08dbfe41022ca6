// Definitions and statements: scopes, declarations, loops and the lighting statements.
#include "compiler/checker.h"

#include "compiler/globals.h"

namespace ovo {
namespace compiler {

bool check(Program& program, Diagnostics& diagnostics) {
    const int before = diagnostics.errorCount();
    Checker(program, diagnostics).run();
    return diagnostics.errorCount() == before;
}

void Checker::run() {
    pushScope();
    for (std::unique_ptr<Function>& f : program.functions) function(*f);
    if (program.shader)
        function(*program.shader);
    else if (!diagnostics.tooMany())
        diagnostics.error(Location{0, 0, 0}, "no shader is defined in this file");
    popScope();
}

Variable* Checker::newVariable(const std::string& name, const Type& type, VarKind kind,
                               const Location& where) {
    auto v = std::make_unique<Variable>();
    v->name = name;
    v->type = type;
    v->kind = kind;
    v->where = where;
    v->owner = ctx.function;
    v->cppName = kind == VarKind::ShaderParameter ? "d.p_" + name
                                                  : "v" + std::to_string(nextId++) + "_" + name;
    program.variables.push_back(std::move(v));
    return program.variables.back().get();
}

void Checker::declareVariable(Variable* v, const Location& where) {
    auto& vars = scopes.back().variables;
    if (vars.count(v->name)) {
        diagnostics.error(where, "'" + v->name + "' is already declared in this scope");
        return;
    }
    vars[v->name] = v;
}

Variable* Checker::lookup(const std::string& name, bool crossBoundaries) {
    for (size_t i = scopes.size(); i-- > 0;) {
        auto found = scopes[i].variables.find(name);
        if (found != scopes[i].variables.end()) return found->second;
        if (scopes[i].boundary && !crossBoundaries) break;
    }
    return globalVariable(name);
}

Variable* Checker::globalVariable(const std::string& name) {
    auto found = globals.find(name);
    if (found != globals.end()) return found->second;
    const GlobalInfo* g = findGlobal(name.c_str());
    const ShaderKind kind = program.shader ? program.shader->kind : ShaderKind::None;
    if (!g || !globalSeenBy(*g, kind)) return nullptr;
    auto v = std::make_unique<Variable>();
    v->name = name;
    v->type = Type(g->type);
    v->kind = VarKind::Global;
    v->varying = g->flag != 0;
    v->readOnly = !g->writable;
    v->globalFlag = g->flag;
    v->cppName = g->field;
    program.variables.push_back(std::move(v));
    return globals[name] = program.variables.back().get();
}

void Checker::readGlobal(const Variable& v) {
    if (v.kind != VarKind::Global || !v.globalFlag || !ctx.function) return;
    ctx.function->globalsRead |= v.globalFlag;
    ctx.function->readsEnvironment = true;
}

// What a call brings into the caller: the globals the callee reads, its derivatives and its
// light statements.
void Checker::absorb(const Function& callee) {
    Function& f = *ctx.function;
    f.globalsRead |= callee.globalsRead;
    f.usesDerivatives = f.usesDerivatives || callee.usesDerivatives;
    f.readsEnvironment = f.readsEnvironment || callee.readsEnvironment;
    f.illuminates = f.illuminates || callee.illuminates;
    f.opacityWrites += callee.opacityWrites;
}

namespace {

bool isGlobal(const Expr& e, unsigned flag) {
    return e.kind == ExprKind::Name && e.variable && e.variable->kind == VarKind::Global &&
           e.variable->globalFlag == flag;
}

// A surface shader whose one write to Oi or Os is an `Oi = Os` of its own body, outside every
// condition, loop and light statement, and that never returns early: whatever the point, Oi
// ends equal to Os, so a shadow ray can take the opacity without running it.
bool leavesOpacityAsOs(const Function& shader, bool returns) {
    if (shader.kind != ShaderKind::Surface || shader.opacityWrites != 1 || returns || !shader.body)
        return false;
    for (const StmtPtr& s : shader.body->body) {
        const Expr* e = s && s->kind == StmtKind::Expression ? s->expr.get() : nullptr;
        if (e && e->kind == ExprKind::Assign && e->op == Tok::Assign &&
            isGlobal(*e->args[0], flags::Oi) && isGlobal(*e->args[1], flags::Os))
            return true;
    }
    return false;
}

// A default the same at every point: numbers, strings, parameters, operators, casts and tuples
// (a named space is fixed for the frame), and calls of builtins that read neither the shading
// state nor a random generator. In a light's body (`inBody`) assignments count too, and of the
// globals the language's constants and what the light itself sets: Cl, Ol, and L as solar sets it.
bool pointIndependent(const Expr& e, bool inBody = false) {
    switch (e.kind) {
        case ExprKind::Name:
            if (!e.variable) return false;
            if (e.variable->kind == VarKind::Global &&
                !(inBody && (e.variable->globalFlag & ~(flags::Cl | flags::Ol | flags::L)) == 0))
                return false;
            break;
        case ExprKind::Call:
            if (!e.builtin || e.builtin->globals || (e.builtin->options & Varying) ||
                std::string(e.builtin->name) == "random" ||
                std::string(e.builtin->emit).find("$E") != std::string::npos)
                return false;
            break;
        case ExprKind::Assign:
        case ExprKind::Increment:
            if (!inBody) return false;
            break;
        default:
            break;
    }
    for (const ExprPtr& a : e.args)
        if (a && !pointIndependent(*a, inBody)) return false;
    return true;
}

// Statements of a light body that do the same at every point: no illuminate, no solar without an
// axis (it reflects I), no nested function, and only such expressions.
bool pointIndependent(const Stmt& s) {
    switch (s.kind) {
        case StmtKind::Illuminate:
        case StmtKind::Illuminance:
        case StmtKind::Function:
            return false;
        case StmtKind::Solar:
            if (s.args.empty()) return false;
            break;
        default:
            break;
    }
    for (const VarDecl& d : s.decls) {
        if (d.init && !pointIndependent(*d.init, true)) return false;
        for (const ExprPtr& e : d.arrayInit)
            if (e && !pointIndependent(*e, true)) return false;
    }
    for (const ExprPtr& e : s.args)
        if (e && !pointIndependent(*e, true)) return false;
    for (const Expr* e : {s.expr.get(), s.step.get()})
        if (e && !pointIndependent(*e, true)) return false;
    for (const StmtPtr& b : s.body)
        if (b && !pointIndependent(*b)) return false;
    for (const Stmt* b : {s.init.get(), s.then.get(), s.otherwise.get()})
        if (b && !pointIndependent(*b)) return false;
    return true;
}

// Arguments that Shader::init leaves the same at every point: the renderer may initialise
// them once and keep them.
bool keepsArguments(const Function& shader) {
    for (const VarDecl& p : shader.params) {
        if (p.output || (p.init && !pointIndependent(*p.init))) return false;
        for (const ExprPtr& e : p.arrayInit)
            if (e && !pointIndependent(*e)) return false;
    }
    return true;
}

}  // namespace

void Checker::function(Function& f) {
    if (f.kind == ShaderKind::None) {
        f.parent = ctx.function;
        f.cppName = "f" + std::to_string(nextId++) + "_" + f.name;
        scopes.back().functions[f.name].push_back(&f);
    }
    const Context saved = ctx;
    ctx = Context();
    ctx.function = &f;
    active.insert(&f);
    pushScope(true);
    if (f.kind != ShaderKind::None) {
        shaderParameters(f);
    } else {
        for (VarDecl& p : f.params) {
            if (p.init || p.hasArrayInit)
                diagnostics.error(p.where, "a function parameter takes no default value");
            p.init.reset();
            p.arrayInit.clear();
            p.hasArrayInit = false;
            declaration(p, VarKind::FunctionParameter);
        }
    }
    if (f.body) {
        pushScope();
        statements(f.body->body);
        popScope();
    }
    if (f.kind == ShaderKind::None && f.returnType.base != Base::Void && !ctx.returned)
        diagnostics.error(f.where, "function '" + f.name + "' returns " + typeName(f.returnType) +
                                       " but has no return statement");
    f.opacityIsOs = leavesOpacityAsOs(f, ctx.returned);
    f.uniformArguments = f.kind != ShaderKind::None && keepsArguments(f);
    f.sameEverywhere =
        f.kind == ShaderKind::Light && f.uniformArguments && f.body && pointIndependent(*f.body);
    popScope();
    active.erase(&f);
    ctx = saved;
}

// A shader's parameters are uniform unless declared varying, read-only unless output, and
// each has a default; defaults take no derivatives (they are computed before the passes).
void Checker::shaderParameters(Function& shader) {
    ++ctx.noDerivatives;
    for (VarDecl& p : shader.params) {
        if (!p.init && !p.hasArrayInit)
            diagnostics.error(p.where, "shader parameter '" + p.name + "' needs a default value");
        if (p.type.arrayLength < 0)
            diagnostics.error(p.where, "shader parameter '" + p.name + "' needs an array length");
        declaration(p, VarKind::ShaderParameter);
    }
    --ctx.noDerivatives;
}

void Checker::declaration(VarDecl& d, VarKind kind) {
    if (d.isExtern) {
        externDeclaration(d);
        return;
    }
    Variable* v = newVariable(d.name, d.type, kind, d.where);
    v->output = d.output;
    if (kind == VarKind::ShaderParameter)
        v->varying = d.storage == Storage::Varying;
    else
        v->varying = d.storage != Storage::Uniform;
    v->readOnly = kind != VarKind::Local && !d.output;
    if (d.output && kind == VarKind::Local)
        diagnostics.error(d.where, "only parameters can be output: '" + d.name + "' is a variable");
    if (kind != VarKind::FunctionParameter) initializer(d);
    d.variable = v;
    declareVariable(v, d.where);
}

void Checker::initializer(VarDecl& d) {
    const std::string context = "the initial value of '" + d.name + "'";
    if (d.hasArrayInit) {
        if (!d.type.isArray()) {
            diagnostics.error(
                d.where, "a list of values initializes an array, and '" + d.name + "' is not one");
            return;
        }
        const Type element = d.type.element();
        for (ExprPtr& e : d.arrayInit) {
            expr(*e, &element);
            convertTo(*e, element, context);
            if (d.storage == Storage::Uniform && e->varying)
                diagnostics.error(e->where,
                                  "cannot give the uniform array '" + d.name + "' a varying value");
        }
        if (d.type.arrayLength > 0 && int(d.arrayInit.size()) > d.type.arrayLength)
            diagnostics.error(d.where, "too many values for '" + d.name + "': it holds " +
                                           std::to_string(d.type.arrayLength));
        return;
    }
    if (!d.init) return;
    expr(*d.init, &d.type);
    convertTo(*d.init, d.type, context);
    if (d.storage == Storage::Uniform && d.init->varying)
        diagnostics.error(d.init->where,
                          "cannot give the uniform variable '" + d.name + "' a varying value");
}

// extern type name: a variable of an enclosing function (or a global) used in a nested one.
void Checker::externDeclaration(VarDecl& d) {
    Variable* v = lookup(d.name, true);
    if (!v) {
        diagnostics.error(
            d.where, "extern variable '" + d.name + "' is not declared in an enclosing function");
        return;
    }
    const bool same = v->type == d.type || (isPointLike(v->type.base) && isPointLike(d.type.base) &&
                                            v->type.arrayLength == d.type.arrayLength);
    if (!same)
        diagnostics.error(d.where, "extern '" + d.name + "' is declared as " + typeName(d.type) +
                                       " but is " + typeName(v->type));
    d.variable = v;
    scopes.back().variables[d.name] = v;
    if (ctx.function) ctx.function->readsEnvironment = true;
}

void Checker::statements(std::vector<StmtPtr>& list) {
    for (StmtPtr& s : list)
        if (s) statement(*s);
}

void Checker::statement(Stmt& s) {
    switch (s.kind) {
        case StmtKind::Block:
            pushScope();
            statements(s.body);
            popScope();
            break;
        case StmtKind::Declare:
            for (VarDecl& d : s.decls) declaration(d, VarKind::Local);
            break;
        case StmtKind::Expression:
            if (s.expr) expr(*s.expr);
            break;
        case StmtKind::If: {
            condition(*s.expr);
            const int varying = s.expr->varying ? 1 : 0;
            ctx.varyingControl += varying;
            for (Stmt* branch : {s.then.get(), s.otherwise.get()}) {
                if (!branch) continue;
                pushScope();
                statement(*branch);
                popScope();
            }
            ctx.varyingControl -= varying;
            break;
        }
        case StmtKind::While:
        case StmtKind::For:
            loopStatement(s);
            break;
        case StmtKind::Break:
        case StmtKind::Continue:
            jump(s);
            break;
        case StmtKind::Return:
            returnStatement(s);
            break;
        case StmtKind::Illuminance:
        case StmtKind::Illuminate:
        case StmtKind::Solar:
            lightStatement(s);
            break;
        case StmtKind::Function:
            if (s.function) function(*s.function);
            break;
        case StmtKind::Empty:
            break;
    }
}

void Checker::condition(Expr& e) {
    expr(e);
    const Base b = e.type.base;
    if (e.type.isArray() || (b != Base::Float && b != Base::Bool && b != Base::Error))
        diagnostics.error(e.where,
                          "a condition must be a comparison or a float, not " + typeName(e.type));
}

// while and for: the condition and the step run again on every turn, so the derivatives
// they take, like those of the body, are counted at run time.
void Checker::loopStatement(Stmt& s) {
    pushScope();
    if (s.init) statement(*s.init);
    ++ctx.loopDepth;
    ctx.loops.push_back(&s);
    s.loopId = nextLoop++;
    int varying = 0;
    if (s.expr) {
        condition(*s.expr);
        varying = s.expr->varying ? 1 : 0;
    }
    ctx.varyingControl += varying;
    if (s.then) {
        pushScope();
        statement(*s.then);
        popScope();
    }
    if (s.step) expr(*s.step);
    ctx.varyingControl -= varying;
    ctx.loops.pop_back();
    --ctx.loopDepth;
    popScope();
}

void Checker::jump(Stmt& s) {
    const char* word = s.kind == StmtKind::Break ? "break" : "continue";
    if (s.levels > int(ctx.loops.size())) {
        if (s.levels == 1)
            diagnostics.error(s.where, std::string("'") + word + "' is not inside a loop");
        else
            diagnostics.error(s.where, std::string("'") + word + " " + std::to_string(s.levels) +
                                           "' is not inside " + std::to_string(s.levels) +
                                           " loops");
        return;
    }
    Stmt* target = ctx.loops[ctx.loops.size() - size_t(s.levels)];
    s.loopId = target->loopId;
    if (s.levels > 1) {
        if (s.kind == StmtKind::Break)
            target->labelBreak = true;
        else
            target->labelContinue = true;
    }
}

void Checker::returnStatement(Stmt& s) {
    Function& f = *ctx.function;
    ctx.returned = true;
    if (f.kind != ShaderKind::None) {
        if (s.expr) diagnostics.error(s.where, "a shader returns no value");
        return;
    }
    if (f.returnType.base == Base::Void) {
        if (s.expr)
            diagnostics.error(s.where, "function '" + f.name +
                                           "' returns void: it cannot "
                                           "return a value");
        return;
    }
    if (!s.expr) {
        diagnostics.error(s.where,
                          "function '" + f.name + "' must return " + typeName(f.returnType));
        return;
    }
    expr(*s.expr, &f.returnType);
    convertTo(*s.expr, f.returnType, "the value returned by '" + f.name + "'");
}

// illuminance ([category,] P [, axis, angle]), illuminate (from [, axis, angle]),
// solar ([axis, angle]). Their bodies run only in the main pass: no derivatives there.
void Checker::lightStatement(Stmt& s) {
    Function& f = *ctx.function;
    const bool loop = s.kind == StmtKind::Illuminance;
    const char* word = loop                             ? "illuminance"
                       : s.kind == StmtKind::Illuminate ? "illuminate"
                                                        : "solar";
    if (loop && f.kind == ShaderKind::Light)
        diagnostics.error(s.where, "'illuminance' cannot be used in a light shader");
    if (!loop && f.kind != ShaderKind::None && f.kind != ShaderKind::Light)
        diagnostics.error(s.where, std::string("'") + word + "' belongs in light shaders");
    size_t first = 0;
    for (ExprPtr& a : s.args) expr(*a);
    if (loop && !s.args.empty() && s.args[0]->type.base == Base::String) first = 1;
    const size_t n = s.args.size() - first;
    const bool fits = loop                             ? (n == 1 || n == 3)
                      : s.kind == StmtKind::Illuminate ? (n == 1 || n == 3)
                                                       : (n == 0 || n == 2);
    if (!fits) {
        diagnostics.error(s.where, std::string("wrong number of arguments to '") + word + "'");
    } else {
        const Type point(Base::Point), vector(Base::Vector), number(Base::Float);
        const bool hasPosition = s.kind != StmtKind::Solar;
        size_t i = first;
        if (hasPosition) convertTo(*s.args[i++], point, std::string("the position of ") + word);
        if (i < s.args.size()) {
            convertTo(*s.args[i++], vector, std::string("the axis of ") + word);
            convertTo(*s.args[i++], number, std::string("the angle of ") + word);
        }
    }
    if (s.kind == StmtKind::Illuminate) f.globalsRead |= flags::Ps | flags::L;
    if (s.kind == StmtKind::Solar) f.globalsRead |= flags::L;
    if (!loop) f.illuminates = true;
    f.readsEnvironment = true;
    if (loop) {
        ++ctx.loopDepth;
        ctx.loops.push_back(&s);
        s.loopId = nextLoop++;
    }
    ++ctx.noDerivatives;
    ++ctx.varyingControl;
    if (s.then) {
        pushScope();
        statement(*s.then);
        popScope();
    }
    --ctx.varyingControl;
    --ctx.noDerivatives;
    if (loop) {
        ctx.loops.pop_back();
        --ctx.loopDepth;
    }
}

}  // namespace compiler
}  // namespace ovo
