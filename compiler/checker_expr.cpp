// Expressions: names, operators, assignments, typecasts and the parenthesised triples.
#include "compiler/checker.h"
#include "compiler/globals.h"

namespace ovo {
namespace compiler {

namespace {

bool scalarLike(Base b) { return b == Base::Float || b == Base::Bool; }

// The variable an assignable expression stores into (a name, or an element of one).
Variable* rootVariable(Expr& e) {
    if (e.kind == ExprKind::Name) return e.variable;
    if (e.kind == ExprKind::Index) return rootVariable(*e.args[0]);
    return nullptr;
}

// The triple type of an arithmetic result between two triples that mix.
Base tripleResult(Tok op, Base a, Base b) {
    if (a == Base::Triple) return b;
    if (b == Base::Triple) return a;
    if (a == b) return op == Tok::Minus && a == Base::Point ? Base::Vector : a;
    if (a == Base::Point || b == Base::Point) return Base::Point;
    return Base::Vector;
}

bool triplesMix(Base a, Base b) {
    if (a == Base::Triple || b == Base::Triple) return isTriple(a) && isTriple(b);
    return a == b || (isPointLike(a) && isPointLike(b));
}

// The type of a op b, or Base::Error when the operator does not apply.
Base arithmetic(Tok op, Base a, Base b) {
    if (scalarLike(a) && scalarLike(b)) return Base::Float;
    if (isTriple(a) && scalarLike(b)) return a;
    if (scalarLike(a) && isTriple(b)) return b;
    if (isTriple(a) && isTriple(b)) return triplesMix(a, b) ? tripleResult(op, a, b) : Base::Error;
    if (a == Base::Matrix && (b == Base::Matrix || scalarLike(b))) return Base::Matrix;
    if (scalarLike(a) && b == Base::Matrix && op != Tok::Slash) return Base::Matrix;
    return Base::Error;
}

std::string opName(Tok op) { return std::string("'") + spelling(op) + "'"; }

}  // namespace

void Checker::expr(Expr& e, const Type* expected) {
    if (e.bad) {
        e.type = Type(Base::Error);
        return;
    }
    switch (e.kind) {
        case ExprKind::Number:
            e.type = Type(Base::Float);
            break;
        case ExprKind::String:
            e.type = Type(Base::String);
            break;
        case ExprKind::Name:
            name(e, false);
            break;
        case ExprKind::Call:
            call(e, expected);
            break;
        case ExprKind::Index:
            index(e, false);
            break;
        case ExprKind::Unary:
            unaryOp(e);
            break;
        case ExprKind::Binary:
            binaryOp(e);
            break;
        case ExprKind::Assign:
            assignment(e);
            break;
        case ExprKind::Increment:
            increment(e);
            break;
        case ExprKind::Ternary:
            ternaryOp(e, expected);
            break;
        case ExprKind::Cast:
            cast(e);
            break;
        case ExprKind::Tuple:
            tuple(e);
            break;
    }
}

void Checker::name(Expr& e, bool target) {
    Variable* v = lookup(e.text, false);
    if (!v) {
        if (lookup(e.text, true))
            diagnostics.error(e.where, "'" + e.text +
                                           "' belongs to an enclosing function: "
                                           "declare it extern to use it here");
        else
            diagnostics.error(e.where, "'" + e.text + "' is not declared");
        e.type = Type(Base::Error);
        return;
    }
    e.variable = v;
    e.type = v->type;
    e.varying = v->varying;
    if (!target) readGlobal(*v);
}

void Checker::index(Expr& e, bool target) {
    Expr& base = *e.args[0];
    if (target && base.kind == ExprKind::Name)
        name(base, true);
    else if (target && base.kind == ExprKind::Index)
        index(base, true);
    else
        expr(base);
    indexRest(e);
}

// The index and the element type, once the array itself is checked.
void Checker::indexRest(Expr& e) {
    Expr& base = *e.args[0];
    Expr& at = *e.args[1];
    expr(at);
    e.varying = base.varying || at.varying;
    if (at.type.base != Base::Error && (at.type.isArray() || !scalarLike(at.type.base)))
        diagnostics.error(at.where, "an array index must be a float, not " + typeName(at.type));
    if (base.type.base == Base::Error) {
        e.type = Type(Base::Error);
        return;
    }
    if (!base.type.isArray()) {
        diagnostics.error(e.where, "only arrays can be indexed, not " + typeName(base.type));
        e.type = Type(Base::Error);
        return;
    }
    e.type = base.type.element();
    if (at.kind == ExprKind::Number && base.type.arrayLength > 0 &&
        (at.number < 0 || at.number >= base.type.arrayLength))
        diagnostics.error(at.where, "index " + at.text + " is outside the array (" +
                                        std::to_string(base.type.arrayLength) + " values)");
}

void Checker::unaryOp(Expr& e) {
    Expr& a = *e.args[0];
    expr(a);
    e.varying = a.varying;
    const Base b = a.type.base;
    if (b == Base::Error) {
        e.type = Type(Base::Error);
        return;
    }
    if (e.op == Tok::Not) {
        if (a.type.isArray() || !scalarLike(b))
            diagnostics.error(e.where,
                              "'!' needs a comparison or a float, not " + typeName(a.type));
        e.type = Type(Base::Bool);
        return;
    }
    if (a.type.isArray() || !isNumeric(b)) {
        diagnostics.error(e.where, "cannot negate " + typeName(a.type));
        e.type = Type(Base::Error);
        return;
    }
    e.type = Type(b == Base::Bool ? Base::Float : b);
}

void Checker::binaryOp(Expr& e) {
    Expr& l = *e.args[0];
    Expr& r = *e.args[1];
    expr(l);
    expr(r);
    e.varying = l.varying || r.varying;
    const Base a = l.type.base, b = r.type.base;
    if (a == Base::Error || b == Base::Error) {
        e.type = Type(Base::Error);
        return;
    }
    Base result = Base::Error;
    if (l.type.isArray() || r.type.isArray()) {
        diagnostics.error(e.where, "arrays cannot be operands of " + opName(e.op));
        e.type = Type(Base::Error);
        return;
    }
    switch (e.op) {
        case Tok::Or:
        case Tok::And:
            result = scalarLike(a) && scalarLike(b) ? Base::Bool : Base::Error;
            break;
        case Tok::Less:
        case Tok::LessEqual:
        case Tok::Greater:
        case Tok::GreaterEqual:
            result = scalarLike(a) && scalarLike(b) ? Base::Bool : Base::Error;
            break;
        case Tok::Equal:
        case Tok::NotEqual: {
            const bool strings = a == Base::String && b == Base::String;
            const bool numbers = a != Base::String && b != Base::String &&
                                 arithmetic(Tok::Plus, a, b) != Base::Error;
            result = strings || numbers ? Base::Bool : Base::Error;
            break;
        }
        case Tok::Dot:
        case Tok::Caret: {
            const bool vectors = triplesMix(a, b) && a != Base::Color && b != Base::Color;
            result = !vectors ? Base::Error : e.op == Tok::Dot ? Base::Float : Base::Vector;
            break;
        }
        default:
            result = arithmetic(e.op, a, b);
            break;
    }
    if (result == Base::Error)
        diagnostics.error(e.where, "cannot apply " + opName(e.op) + " to " + typeName(l.type) +
                                       " and " + typeName(r.type));
    e.type = Type(result);
}

bool Checker::assignable(Expr& target, const std::string& what) {
    if (target.type.base == Base::Error) return false;
    Variable* v = rootVariable(target);
    if (!v) {
        diagnostics.error(target.where, "cannot " + what +
                                            " an expression: only variables "
                                            "and array elements can be changed");
        return false;
    }
    if (v->kind == VarKind::Global && v->readOnly) {
        diagnostics.error(target.where, "cannot " + what + " '" + v->name + "': it is read-only");
        return false;
    }
    if (v->readOnly) {
        diagnostics.error(target.where, "cannot " + what + " parameter '" + v->name +
                                            "': it is not an output parameter");
        return false;
    }
    if (v->kind == VarKind::Global && (v->globalFlag & (flags::Oi | flags::Os)) && ctx.function)
        ++ctx.function->opacityWrites;
    return true;
}

void Checker::storeCheck(const Variable& v, bool varyingValue, const Location& where) {
    if (v.varying || v.kind == VarKind::Global) return;
    if (varyingValue)
        diagnostics.error(where,
                          "cannot assign a varying value to uniform variable '" + v.name + "'");
    else if (ctx.varyingControl > 0)
        diagnostics.error(where, "cannot assign to uniform variable '" + v.name +
                                     "' under a condition that varies");
}

void Checker::convertTo(Expr& value, const Type& to, const std::string& context) {
    if (value.type.base == Base::Error || to.base == Base::Error) return;
    if (!converts(value.type, to))
        diagnostics.error(value.where, "cannot convert " + typeName(value.type) + " to " +
                                           typeName(to) + " in " + context);
}

void Checker::assignment(Expr& e) {
    Expr& target = *e.args[0];
    Expr& value = *e.args[1];
    const bool plain = e.op == Tok::Assign;
    if (target.kind == ExprKind::Name)
        name(target, plain);
    else if (target.kind == ExprKind::Index)
        index(target, plain);
    else
        expr(target);
    const bool ok = assignable(target, "assign to");
    expr(value, &target.type);
    e.type = target.type;
    e.varying = target.varying || value.varying;
    if (!ok || value.type.base == Base::Error) return;
    if (target.type.isArray() && !plain) {
        diagnostics.error(e.where, "arrays cannot be operands of " + opName(e.op));
        return;
    }
    if (plain) {
        convertTo(value, target.type, "an assignment");
    } else {
        const Tok op = e.op == Tok::PlusAssign    ? Tok::Plus
                       : e.op == Tok::MinusAssign ? Tok::Minus
                       : e.op == Tok::StarAssign  ? Tok::Star
                                                  : Tok::Slash;
        const Base result =
            value.type.isArray() ? Base::Error : arithmetic(op, target.type.base, value.type.base);
        if (result == Base::Error || !converts(Type(result), target.type))
            diagnostics.error(e.where, "cannot apply " + opName(e.op) + " to " +
                                           typeName(target.type) + " and " + typeName(value.type));
    }
    if (Variable* v = rootVariable(target)) storeCheck(*v, value.varying, e.where);
}

void Checker::increment(Expr& e) {
    Expr& target = *e.args[0];
    expr(target);
    e.type = target.type;
    e.varying = target.varying;
    if (!assignable(target, e.op == Tok::PlusPlus ? "increment" : "decrement")) return;
    if (target.type.base != Base::Float || target.type.isArray())
        diagnostics.error(e.where, opName(e.op) + " needs a float, not " + typeName(target.type));
    if (Variable* v = rootVariable(target)) storeCheck(*v, false, e.where);
}

void Checker::ternaryOp(Expr& e, const Type* expected) {
    condition(*e.args[0]);
    Expr& a = *e.args[1];
    Expr& b = *e.args[2];
    expr(a, expected);
    expr(b, expected);
    e.varying = e.args[0]->varying || a.varying || b.varying;
    if (a.type.base == Base::Error || b.type.base == Base::Error) {
        e.type = Type(Base::Error);
        return;
    }
    Type ta = a.type, tb = b.type;
    if (ta.base == Base::Bool) ta.base = Base::Float;
    if (tb.base == Base::Bool) tb.base = Base::Float;
    // The branches meet as one type: the triple when a float meets one, a point when point-like
    // types meet.
    if (ta == tb) {
        e.type = ta;
    } else if (!ta.isArray() && !tb.isArray() && ta.base != Base::String &&
               tb.base != Base::String) {
        const Base met = arithmetic(Tok::Plus, ta.base, tb.base);
        e.type = Type(met);
    } else {
        e.type = Type(Base::Error);
    }
    if (e.type.base == Base::Error)
        diagnostics.error(e.where, "the two branches of '?:' have different types: " +
                                       typeName(a.type) + " and " + typeName(b.type));
}

// type ["space"] operand. A list of components builds the value (in the named space); a
// call chooses its result type; anything else converts, a colour and a point into each other
// too.
void Checker::cast(Expr& e) {
    Expr& operand = *e.args[0];
    const Type to = e.castType;
    expr(operand, &to);
    e.type = to;
    e.varying = operand.varying;
    if (operand.type.base == Base::Error) return;
    if (!e.text.empty() && !isTriple(to.base) && to.base != Base::Matrix) {
        diagnostics.error(e.where, "a " + typeName(to) + " has no space: \"" + e.text + "\"");
        return;
    }
    if (!e.text.empty() && ctx.function) ctx.function->readsEnvironment = true;
    const Base from = operand.type.base;
    const bool fits = !operand.type.isArray() &&
                      (converts(operand.type, to) || (isTriple(from) && isTriple(to.base)));
    if (!fits)
        diagnostics.error(e.where,
                          "cannot convert " + typeName(operand.type) + " to " + typeName(to));
}

void Checker::tuple(Expr& e) {
    for (ExprPtr& a : e.args) {
        expr(*a);
        e.varying = e.varying || a->varying;
        convertTo(*a, Type(Base::Float), "a list of components");
    }
    if (e.args.size() == 3) {
        e.type = Type(Base::Triple);
    } else if (e.args.size() == 16) {
        e.type = Type(Base::Matrix);
    } else {
        diagnostics.error(e.where, "a parenthesised list has 3 or 16 components, not " +
                                       std::to_string(e.args.size()));
        e.type = Type(Base::Error);
    }
}

}  // namespace compiler
}  // namespace ovo
