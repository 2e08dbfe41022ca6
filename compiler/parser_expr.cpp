// Expressions, from the loosest operator to the tightest: assignment, ?:, ||, &&, equality,
// comparison, + -, * /, ^ (cross product), . (dot product), the unary operators and
// typecasts, then calls, indexing and the parenthesised triples.
#include "compiler/parser.h"

namespace ovo {
namespace compiler {

namespace {

struct Level {
    Tok ops[4];
};

// Binary operator levels, loosest first.
const Level Levels[] = {
    {{Tok::Or, Tok::End, Tok::End, Tok::End}},
    {{Tok::And, Tok::End, Tok::End, Tok::End}},
    {{Tok::Equal, Tok::NotEqual, Tok::End, Tok::End}},
    {{Tok::Less, Tok::LessEqual, Tok::Greater, Tok::GreaterEqual}},
    {{Tok::Plus, Tok::Minus, Tok::End, Tok::End}},
    {{Tok::Star, Tok::Slash, Tok::End, Tok::End}},
    {{Tok::Caret, Tok::End, Tok::End, Tok::End}},
    {{Tok::Dot, Tok::End, Tok::End, Tok::End}},
};
const int LevelCount = int(sizeof(Levels) / sizeof(Levels[0]));

bool isAssignment(Tok k) {
    return k == Tok::Assign || k == Tok::PlusAssign || k == Tok::MinusAssign ||
           k == Tok::StarAssign || k == Tok::SlashAssign;
}

Base castBase(Tok k) {
    switch (k) {
        case Tok::KwFloat:
            return Base::Float;
        case Tok::KwString:
            return Base::String;
        case Tok::KwColor:
            return Base::Color;
        case Tok::KwPoint:
            return Base::Point;
        case Tok::KwVector:
            return Base::Vector;
        case Tok::KwNormal:
            return Base::Normal;
        case Tok::KwMatrix:
            return Base::Matrix;
        default:
            return Base::Error;
    }
}

}  // namespace

ExprPtr Parser::badExpr() {
    auto e = std::make_unique<Expr>(ExprKind::Number, peek().where);
    e->bad = true;
    return e;
}

ExprPtr Parser::expression() {
    DepthGuard guard(*this);
    if (guard.tooDeep()) {
        errorAt(peek(), "expression nested too deeply");
        while (!at(Tok::End)) advance();
        return badExpr();
    }
    ExprPtr target = ternary();
    if (!isAssignment(peek().kind)) return target;
    const Token& op = advance();
    auto e = std::make_unique<Expr>(ExprKind::Assign, op.where);
    e->op = op.kind;
    e->args.push_back(std::move(target));
    e->args.push_back(expression());
    return e;
}

ExprPtr Parser::ternary() {
    ExprPtr condition = binary(0);
    if (!at(Tok::Question)) return condition;
    const Token& q = advance();
    auto e = std::make_unique<Expr>(ExprKind::Ternary, q.where);
    e->args.push_back(std::move(condition));
    e->args.push_back(expression());
    expect(Tok::Colon);
    DepthGuard guard(*this);
    e->args.push_back(guard.tooDeep() ? badExpr() : ternary());
    return e;
}

ExprPtr Parser::binary(int level) {
    if (level >= LevelCount) return unary();
    ExprPtr left = binary(level + 1);
    for (;;) {
        const Tok k = peek().kind;
        bool matched = false;
        for (Tok op : Levels[level].ops) matched = matched || (op != Tok::End && op == k);
        if (!matched) return left;
        const Token& op = advance();
        if (++chain > DepthGuard::MaxChain) {
            errorAt(op, "expression nested too deeply");
            while (!at(Tok::End)) advance();
            return left;
        }
        auto e = std::make_unique<Expr>(ExprKind::Binary, op.where);
        e->op = op.kind;
        e->args.push_back(std::move(left));
        e->args.push_back(binary(level + 1));
        left = std::move(e);
    }
}

ExprPtr Parser::unary() {
    DepthGuard guard(*this);
    if (guard.tooDeep()) {
        errorAt(peek(), "expression nested too deeply");
        while (!at(Tok::End)) advance();
        return badExpr();
    }
    const Token& t = peek();
    switch (t.kind) {
        case Tok::Plus:
            advance();
            return unary();
        case Tok::Minus:
        case Tok::Not: {
            advance();
            auto e = std::make_unique<Expr>(ExprKind::Unary, t.where);
            e->op = t.kind;
            e->args.push_back(unary());
            return e;
        }
        case Tok::PlusPlus:
        case Tok::MinusMinus: {
            advance();
            auto e = std::make_unique<Expr>(ExprKind::Increment, t.where);
            e->op = t.kind;
            e->args.push_back(unary());
            return e;
        }
        default:
            break;
    }
    if (castBase(t.kind) != Base::Error) return typecast();
    return postfix();
}

// type ["space"] operand: a conversion, a construction from components, or the choice of a
// function's result type ("float noise(P)").
ExprPtr Parser::typecast() {
    const Token& t = advance();
    auto e = std::make_unique<Expr>(ExprKind::Cast, t.where);
    e->castType = Type(castBase(t.kind));
    if (at(Tok::String)) e->text = advance().text;
    e->args.push_back(unary());
    return e;
}

ExprPtr Parser::postfix() {
    ExprPtr e = primary();
    for (;;) {
        if ((at(Tok::LBracket) || at(Tok::PlusPlus) || at(Tok::MinusMinus)) &&
            ++chain > DepthGuard::MaxChain) {
            errorAt(peek(), "expression nested too deeply");
            while (!at(Tok::End)) advance();
            return e;
        }
        if (at(Tok::LBracket)) {
            const Token& open = advance();
            auto index = std::make_unique<Expr>(ExprKind::Index, open.where);
            index->args.push_back(std::move(e));
            index->args.push_back(expression());
            expect(Tok::RBracket);
            e = std::move(index);
        } else if (at(Tok::PlusPlus) || at(Tok::MinusMinus)) {
            const Token& op = advance();
            auto inc = std::make_unique<Expr>(ExprKind::Increment, op.where);
            inc->op = op.kind;
            inc->postfix = true;
            inc->args.push_back(std::move(e));
            e = std::move(inc);
        } else {
            return e;
        }
    }
}

ExprPtr Parser::primary() {
    const Token& t = peek();
    switch (t.kind) {
        case Tok::Number: {
            advance();
            auto e = std::make_unique<Expr>(ExprKind::Number, t.where);
            e->number = t.number;
            e->text = t.text;
            return e;
        }
        case Tok::String: {
            advance();
            auto e = std::make_unique<Expr>(ExprKind::String, t.where);
            e->text = t.text;
            return e;
        }
        case Tok::Identifier: {
            advance();
            if (at(Tok::LParen)) {
                auto e = std::make_unique<Expr>(ExprKind::Call, t.where);
                e->text = t.text;
                arguments(*e);
                return e;
            }
            auto e = std::make_unique<Expr>(ExprKind::Name, t.where);
            e->text = t.text;
            return e;
        }
        case Tok::LParen: {
            advance();
            ExprPtr first = expression();
            if (accept(Tok::RParen)) return first;
            auto e = std::make_unique<Expr>(ExprKind::Tuple, t.where);
            e->args.push_back(std::move(first));
            while (accept(Tok::Comma)) e->args.push_back(expression());
            expect(Tok::RParen);
            return e;
        }
        case Tok::KwSurface:
        case Tok::KwDisplacement:
            // surface("name", x) and displacement("name", x) read another shader's values:
            // inside a body the shader kinds are also the names of these calls.
            if (peek(1).kind == Tok::LParen) {
                advance();
                auto e = std::make_unique<Expr>(ExprKind::Call, t.where);
                e->text = t.kind == Tok::KwSurface ? "surface" : "displacement";
                arguments(*e);
                return e;
            }
            [[fallthrough]];
        default:
            errorAt(t, "expected an expression before " + describe(t));
            return badExpr();
    }
}

void Parser::arguments(Expr& call) {
    expect(Tok::LParen);
    if (accept(Tok::RParen)) return;
    do {
        call.args.push_back(expression());
    } while (accept(Tok::Comma));
    expect(Tok::RParen);
}

}  // namespace compiler
}  // namespace ovo
