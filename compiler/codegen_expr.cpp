// Expressions. Every expression is written as a C++ expression of the type that holds its
// language type (cppType); `as` converts on the way where the language converts by itself.
#include "compiler/codegen.h"

#include <cmath>
#include <cstdio>

namespace ovo {
namespace compiler {

namespace {

bool scalar(Base b) { return b == Base::Float || b == Base::Bool; }

std::string floatLiteral(double v) {
    const float f = float(v);
    if (!std::isfinite(f)) return "std::numeric_limits<float>::infinity()";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", double(f));
    std::string s = buffer;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s + "f";
}

// The type two operands meet as (the checker has already accepted them).
Base meet(Base a, Base b) {
    if (scalar(a) && scalar(b)) return Base::Float;
    if (scalar(a)) return b == Base::Triple ? Base::Vector : b;
    if (scalar(b) || a == b) return a == Base::Triple ? Base::Vector : a;
    if (a == Base::Color || b == Base::Color) return Base::Color;
    if (a == Base::Matrix || b == Base::Matrix) return Base::Matrix;
    return Base::Vector;
}

}  // namespace

std::string Generator::expr(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Number:
            return floatLiteral(e.number);
        case ExprKind::String:
            return stringConstant(e.text);
        case ExprKind::Name: {
            const Variable& v = *e.variable;
            if (v.kind == VarKind::Global && isPointLike(v.type.base))
                return "slrt::tuple(" + v.cppName + ")";
            return v.cppName;
        }
        case ExprKind::Call:
            return e.builtin ? builtinCall(e) : userCall(e);
        case ExprKind::Index:
            return "slrt::at(" + expr(*e.args[0]) + ", " + as(*e.args[1], Type(Base::Float)) + ")";
        case ExprKind::Unary:
            if (e.op == Tok::Not) return "(!" + condition(*e.args[0]) + ")";
            return "(-" + as(*e.args[0], e.type) + ")";
        case ExprKind::Binary:
            return binary(e);
        case ExprKind::Assign:
            return assignment(e);
        case ExprKind::Increment: {
            const std::string op = e.op == Tok::PlusPlus ? "++" : "--";
            return "(" + (e.postfix ? target(*e.args[0]) + op : op + target(*e.args[0])) + ")";
        }
        case ExprKind::Ternary:
            return "(" + condition(*e.args[0]) + " ? " + as(*e.args[1], e.type) + " : " +
                   as(*e.args[2], e.type) + ")";
        case ExprKind::Cast:
            return cast(e);
        case ExprKind::Tuple: {
            std::string parts;
            for (const ExprPtr& a : e.args)
                parts += (parts.empty() ? "" : ", ") + as(*a, Type(Base::Float));
            return (e.args.size() == 16 ? "ovo::Matrix(" : "ovo::Tuple(") + parts + ")";
        }
    }
    return "0.0f";
}

std::string Generator::as(const Expr& e, const Type& to) {
    const Type& from = e.type;
    if (to.isArray() || from.isArray() || to.base == Base::Error || from.base == Base::Error)
        return expr(e);
    // A list of components is built as the type it is used as.
    if (e.kind == ExprKind::Tuple && e.args.size() == 3 && isTriple(to.base)) {
        std::string parts;
        for (const ExprPtr& a : e.args)
            parts += (parts.empty() ? "" : ", ") + as(*a, Type(Base::Float));
        return cppType(to) + "(" + parts + ")";
    }
    const std::string x = expr(e);
    const std::string fromType = cppType(from), toType = cppType(to);
    if (fromType == toType) return x;
    if (to.base == Base::Bool) return condition(e);
    if (from.base == Base::Bool)
        return to.base == Base::Float ? "float(" + x + ")" : toType + "(float(" + x + "))";
    return toType + "(" + x + ")";
}

std::string Generator::target(const Expr& e) {
    if (e.kind == ExprKind::Name) return e.variable->cppName;
    if (e.kind == ExprKind::Index)
        return "slrt::at(" + target(*e.args[0]) + ", " + as(*e.args[1], Type(Base::Float)) + ")";
    return expr(e);
}

std::string Generator::condition(const Expr& e) {
    if (e.type.base == Base::Bool) return expr(e);
    return "(" + expr(e) + " != 0.0f)";
}

std::string Generator::binary(const Expr& e) {
    const Expr& l = *e.args[0];
    const Expr& r = *e.args[1];
    const std::string op = spelling(e.op);
    const Type F(Base::Float), V(Base::Vector);
    switch (e.op) {
        case Tok::Or:
        case Tok::And:
            return "(" + condition(l) + " " + op + " " + condition(r) + ")";
        case Tok::Less:
        case Tok::LessEqual:
        case Tok::Greater:
        case Tok::GreaterEqual:
            return "(" + as(l, F) + " " + op + " " + as(r, F) + ")";
        case Tok::Equal:
        case Tok::NotEqual: {
            const Type m(l.type.base == Base::String ? Base::String
                                                     : meet(l.type.base, r.type.base));
            const std::string test = "slrt::equal(" + as(l, m) + ", " + as(r, m) + ")";
            return e.op == Tok::Equal ? test : "(!" + test + ")";
        }
        case Tok::Dot:
            return "ovo::dot(" + as(l, V) + ", " + as(r, V) + ")";
        case Tok::Caret:
            return "(" + as(l, V) + " ^ " + as(r, V) + ")";
        default:
            break;
    }
    const Type R = e.type;
    const bool ls = scalar(l.type.base), rs = scalar(r.type.base);
    if (scalar(R.base)) return "(" + as(l, F) + " " + op + " " + as(r, F) + ")";
    if (R.base == Base::Matrix) {
        if (!ls && !rs && e.op == Tok::Slash)
            return "slrt::quotient(" + expr(l) + ", " + expr(r) + ")";
        const bool keepScalar =
            (rs && (e.op == Tok::Star || e.op == Tok::Slash)) || (ls && e.op == Tok::Star);
        return "(" + (ls && keepScalar ? as(l, F) : as(l, R)) + " " + op + " " +
               (rs && keepScalar ? as(r, F) : as(r, R)) + ")";
    }
    // Triples: the library has triple-op-float for every operator, float-op-triple for some.
    if (!ls && !rs) return "(" + as(l, R) + " " + op + " " + as(r, R) + ")";
    if (rs) return "(" + as(l, R) + " " + op + " " + as(r, F) + ")";
    const bool color = R.base == Base::Color;
    const std::string f = as(l, F), t = as(r, R);
    switch (e.op) {
        case Tok::Star:
            return "(" + f + " * " + t + ")";
        case Tok::Plus:
            return color ? "(" + f + " + " + t + ")" : "(" + t + " + " + f + ")";
        case Tok::Minus:
            return color ? "(" + f + " - " + t + ")" : "(" + as(l, R) + " - " + t + ")";
        default:
            return color ? "(" + as(l, R) + " / " + t + ")" : "(" + f + " / " + t + ")";
    }
}

std::string Generator::assignment(const Expr& e) {
    const Expr& l = *e.args[0];
    const Expr& r = *e.args[1];
    const std::string t = target(l);
    if (e.op == Tok::Assign) {
        if (l.type.isArray()) return "slrt::assign(" + t + ", " + expr(r) + ")";
        return "(" + t + " = " + as(r, l.type) + ")";
    }
    const char* helper = e.op == Tok::PlusAssign    ? "slrt::addAssign("
                         : e.op == Tok::MinusAssign ? "slrt::subtractAssign("
                         : e.op == Tok::StarAssign  ? "slrt::multiplyAssign("
                                                    : "slrt::divideAssign(";
    const bool keepScalar = scalar(r.type.base) && !scalar(l.type.base);
    return helper + t + ", " + (keepScalar ? as(r, Type(Base::Float)) : as(r, l.type)) + ")";
}

// type "space" value: components built in the space and brought to current space (colours
// to RGB); a matrix in a space is that space's matrix times the value.
std::string Generator::cast(const Expr& e) {
    const Expr& operand = *e.args[0];
    const Type to = e.castType;
    std::string value;
    if (operand.kind == ExprKind::Tuple && operand.args.size() == 16 && to.base == Base::Matrix) {
        value = expr(operand);
    } else {
        value = as(operand, to);
    }
    const std::string& space = e.text;
    if (space.empty() || space == "current") return value;
    const std::string name = stringConstant(space);
    switch (to.base) {
        case Base::Color:
            if (space == "rgb") return value;
            return "SL::ctransform(" + name + ", " + stringConstant("rgb") + ", slrt::ref(" +
                   value + "))";
        case Base::Point:
        case Base::Vector:
        case Base::Normal: {
            const char* fn = to.base == Base::Point    ? "SL::transform"
                             : to.base == Base::Vector ? "SL::vtransform"
                                                       : "SL::ntransform";
            return std::string(fn) + "(env, " + name + ", " + stringConstant("current") +
                   ", slrt::ref(" + value + "))";
        }
        case Base::Matrix:
            return "(slrt::spaceMatrix(env, " + name + ") * " + value + ")";
        default:
            return value;
    }
}

}  // namespace compiler
}  // namespace ovo
