#include "compiler/parser.h"

namespace ovo {
namespace compiler {

namespace {

bool isTypeKeyword(Tok k) {
    switch (k) {
        case Tok::KwFloat:
        case Tok::KwString:
        case Tok::KwColor:
        case Tok::KwPoint:
        case Tok::KwVector:
        case Tok::KwNormal:
        case Tok::KwMatrix:
        case Tok::KwVoid:
            return true;
        default:
            return false;
    }
}

Base baseOf(Tok k) {
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
            return Base::Void;
    }
}

ShaderKind shaderKindOf(Tok k) {
    switch (k) {
        case Tok::KwSurface:
            return ShaderKind::Surface;
        case Tok::KwDisplacement:
            return ShaderKind::Displacement;
        case Tok::KwLight:
            return ShaderKind::Light;
        case Tok::KwVolume:
            return ShaderKind::Volume;
        case Tok::KwImager:
            return ShaderKind::Imager;
        default:
            return ShaderKind::None;
    }
}

}  // namespace

Program parse(const std::vector<Token>& tokens, Diagnostics& diagnostics) {
    return Parser(tokens, diagnostics).program();
}

const Token& Parser::peek(int ahead) const {
    const size_t i = pos + size_t(ahead);
    return i < tokens.size() ? tokens[i] : tokens.back();
}

const Token& Parser::advance() {
    const Token& t = peek();
    if (pos + 1 < tokens.size()) ++pos;
    return t;
}

bool Parser::accept(Tok kind) {
    if (!at(kind)) return false;
    advance();
    return true;
}

void Parser::errorAt(const Token& t, const std::string& message) {
    if (lastError == &t) return;
    lastError = &t;
    diagnostics.error(t.where, message);
}

bool Parser::expect(Tok kind, const char* what) {
    if (accept(kind)) return true;
    errorAt(peek(), std::string("expected ") +
                        (what ? what : std::string("'") + spelling(kind) + "'") + " before " +
                        describe(peek()));
    return false;
}

// Skips to the end of the statement in error: past the next ';', or up to a '}' that closes
// the block.
void Parser::synchronize() {
    int braces = 0;
    while (!at(Tok::End)) {
        if (at(Tok::LBrace)) ++braces;
        if (at(Tok::RBrace)) {
            if (braces == 0) return;
            --braces;
            advance();
            if (braces == 0 && !at(Tok::Semicolon)) return;
            continue;
        }
        if (at(Tok::Semicolon) && braces == 0) {
            advance();
            return;
        }
        advance();
    }
}

bool Parser::startsType(int ahead) const {
    const Tok k = peek(ahead).kind;
    return isTypeKeyword(k) || k == Tok::KwUniform || k == Tok::KwVarying || k == Tok::KwOutput ||
           k == Tok::KwExtern;
}

Program Parser::program() {
    Program p;
    while (!at(Tok::End) && !diagnostics.tooMany()) {
        const ShaderKind kind = shaderKindOf(peek().kind);
        if (kind != ShaderKind::None) {
            std::unique_ptr<Function> s = definition(kind);
            if (!s) continue;
            if (p.shader)
                diagnostics.error(s->where, "a file holds one shader; '" + p.shader->name +
                                                "' is already defined");
            else
                p.shader = std::move(s);
            continue;
        }
        if (startsType() || (at(Tok::Identifier) && peek(1).kind == Tok::LParen)) {
            if (std::unique_ptr<Function> f = definition(ShaderKind::None))
                p.functions.push_back(std::move(f));
            continue;
        }
        errorAt(peek(), "expected a shader or function definition before " + describe(peek()));
        // Skip to something that can start a definition.
        advance();
        while (!at(Tok::End) && shaderKindOf(peek().kind) == ShaderKind::None && !startsType())
            advance();
    }
    return p;
}

// [type] name ( formals ) { body }, or a shader: kind name ( formals ) { body }.
std::unique_ptr<Function> Parser::definition(ShaderKind kind) {
    auto f = std::make_unique<Function>();
    f->kind = kind;
    f->where = peek().where;
    if (kind != ShaderKind::None) {
        advance();
    } else if (!at(Tok::Identifier)) {
        bool output = false, isExtern = false;
        if (!typeSpec(f->returnType, f->returnStorage, output, isExtern)) return nullptr;
    }
    if (!at(Tok::Identifier)) {
        errorAt(peek(), "expected a name before " + describe(peek()));
        synchronize();
        return nullptr;
    }
    f->where = peek().where;
    f->name = advance().text;
    if (!expect(Tok::LParen)) {
        synchronize();
        return nullptr;
    }
    formals(*f);
    if (!at(Tok::LBrace)) {
        errorAt(peek(), "expected '{' before " + describe(peek()));
        synchronize();
        return nullptr;
    }
    f->body = block();
    return f;
}

// Groups of parameters of one type, separated by ';' (or by ',' before a new type).
void Parser::formals(Function& f) {
    while (!at(Tok::RParen) && !at(Tok::End)) {
        Type type;
        Storage storage = Storage::Default;
        bool output = false, isExtern = false;
        const Token& start = peek();
        if (!typeSpec(type, storage, output, isExtern)) {
            while (!at(Tok::RParen) && !at(Tok::End) && !at(Tok::LBrace)) advance();
            break;
        }
        if (type.base == Base::Void) errorAt(start, "a parameter cannot be void");
        for (;;) {
            VarDecl d;
            d.type = type;
            d.storage = storage;
            d.output = output;
            d.isExtern = isExtern;
            declarator(d, true);
            f.params.push_back(std::move(d));
            if (at(Tok::Comma) && !startsType(1)) {
                advance();
                continue;
            }
            break;
        }
        if (accept(Tok::Semicolon) || accept(Tok::Comma)) continue;
        if (!at(Tok::RParen)) {
            errorAt(peek(), "expected ';' or ')' before " + describe(peek()));
            while (!at(Tok::RParen) && !at(Tok::End) && !at(Tok::LBrace)) advance();
        }
    }
    accept(Tok::RParen);
}

// [output] [extern] [uniform | varying] type
bool Parser::typeSpec(Type& type, Storage& storage, bool& output, bool& isExtern) {
    for (;;) {
        if (accept(Tok::KwOutput)) {
            output = true;
        } else if (accept(Tok::KwExtern)) {
            isExtern = true;
        } else if (at(Tok::KwUniform) || at(Tok::KwVarying)) {
            storage = advance().kind == Tok::KwUniform ? Storage::Uniform : Storage::Varying;
        } else {
            break;
        }
    }
    if (!isTypeKeyword(peek().kind)) {
        errorAt(peek(), "expected a type before " + describe(peek()));
        return false;
    }
    type = Type(baseOf(advance().kind));
    return true;
}

// name [ '[' length ']' ] [ '=' value ]
void Parser::declarator(VarDecl& d, bool allowUnsized) {
    d.where = peek().where;
    if (!at(Tok::Identifier)) {
        errorAt(peek(), "expected a name before " + describe(peek()));
        return;
    }
    d.name = advance().text;
    if (accept(Tok::LBracket)) {
        if (at(Tok::Number)) {
            const Token& n = advance();
            if (n.number < 1 || n.number > 1e6 || n.number != double(int(n.number)))
                errorAt(n, "array length must be a positive whole number");
            else
                d.type.arrayLength = int(n.number);
        } else if (allowUnsized && at(Tok::RBracket)) {
            d.type.arrayLength = -1;
        } else {
            errorAt(peek(), "expected an array length before " + describe(peek()));
        }
        expect(Tok::RBracket);
        if (d.type.arrayLength == 0) d.type.arrayLength = 1;
    }
    if (!accept(Tok::Assign)) return;
    chain = 0;
    if (accept(Tok::LBrace)) {
        d.hasArrayInit = true;
        if (!at(Tok::RBrace)) {
            do {
                d.arrayInit.push_back(expression());
            } while (accept(Tok::Comma) && !at(Tok::RBrace));
        }
        expect(Tok::RBrace);
        return;
    }
    d.init = expression();
}

StmtPtr Parser::block() {
    auto s = std::make_unique<Stmt>(StmtKind::Block, peek().where);
    expect(Tok::LBrace);
    while (!at(Tok::RBrace) && !at(Tok::End) && !diagnostics.tooMany()) {
        const size_t before = pos;
        if (StmtPtr inner = statement()) s->body.push_back(std::move(inner));
        if (pos == before) advance();  // never stall on a token no rule takes
    }
    expect(Tok::RBrace);
    return s;
}

StmtPtr Parser::statement() {
    DepthGuard guard(*this);
    if (guard.tooDeep()) {
        errorAt(peek(), "statements nested too deeply");
        while (!at(Tok::End)) advance();
        return nullptr;
    }
    const Location where = peek().where;
    switch (peek().kind) {
        case Tok::LBrace:
            return block();
        case Tok::Semicolon:
            advance();
            return std::make_unique<Stmt>(StmtKind::Empty, where);
        case Tok::KwIf:
        case Tok::KwWhile:
        case Tok::KwFor:
            return loopOrCondition();
        case Tok::KwIlluminance:
            return lightStatement(StmtKind::Illuminance);
        case Tok::KwIlluminate:
            return lightStatement(StmtKind::Illuminate);
        case Tok::KwSolar:
            return lightStatement(StmtKind::Solar);
        case Tok::KwGather:
            return gather();
        case Tok::KwBreak:
        case Tok::KwContinue: {
            auto s = std::make_unique<Stmt>(
                advance().kind == Tok::KwBreak ? StmtKind::Break : StmtKind::Continue, where);
            if (at(Tok::Number)) {
                const Token& n = advance();
                // The range first: a number beyond int's must not reach the conversion.
                if (n.number < 1 || n.number > 1000 || n.number != double(int(n.number)))
                    errorAt(n, "the number of loops to leave must be a positive whole number");
                else
                    s->levels = int(n.number);
            }
            if (!expect(Tok::Semicolon)) synchronize();
            return s;
        }
        case Tok::KwReturn: {
            advance();
            auto s = std::make_unique<Stmt>(StmtKind::Return, where);
            if (!at(Tok::Semicolon)) s->expr = expression();
            if (!expect(Tok::Semicolon)) synchronize();
            return s;
        }
        default:
            break;
    }
    const bool typeFirst =
        startsType() && !(isTypeKeyword(peek().kind) && peek(1).kind != Tok::Identifier);
    if (typeFirst) return declaration();
    auto s = std::make_unique<Stmt>(StmtKind::Expression, where);
    s->expr = expression();
    if (!expect(Tok::Semicolon)) synchronize();
    return s;
}

// A local declaration, or a nested function: "type name (" starts one.
StmtPtr Parser::declaration() {
    const Location where = peek().where;
    int ahead = 0;
    while (peek(ahead).kind == Tok::KwUniform || peek(ahead).kind == Tok::KwVarying) ++ahead;
    if (isTypeKeyword(peek(ahead).kind) && peek(ahead + 1).kind == Tok::Identifier &&
        peek(ahead + 2).kind == Tok::LParen) {
        auto s = std::make_unique<Stmt>(StmtKind::Function, where);
        s->function = definition(ShaderKind::None);
        if (!s->function) return nullptr;
        return s;
    }
    auto s = std::make_unique<Stmt>(StmtKind::Declare, where);
    Type type;
    Storage storage = Storage::Default;
    bool output = false, isExtern = false;
    if (!typeSpec(type, storage, output, isExtern)) {
        synchronize();
        return nullptr;
    }
    if (type.base == Base::Void) errorAt(peek(), "a variable cannot be void");
    do {
        VarDecl d;
        d.type = type;
        d.storage = storage;
        d.output = output;
        d.isExtern = isExtern;
        declarator(d, false);
        s->decls.push_back(std::move(d));
    } while (accept(Tok::Comma));
    if (!expect(Tok::Semicolon)) synchronize();
    return s;
}

StmtPtr Parser::loopOrCondition() {
    const Location where = peek().where;
    const Tok kind = advance().kind;
    if (kind == Tok::KwFor) {
        auto s = std::make_unique<Stmt>(StmtKind::For, where);
        expect(Tok::LParen);
        if (!at(Tok::Semicolon)) {
            if (startsType()) {
                s->init = declaration();  // takes the ';'
            } else {
                s->init = std::make_unique<Stmt>(StmtKind::Expression, peek().where);
                s->init->expr = expression();
                expect(Tok::Semicolon);
            }
        } else {
            advance();
        }
        if (!at(Tok::Semicolon)) s->expr = expression();
        expect(Tok::Semicolon);
        if (!at(Tok::RParen)) s->step = expression();
        expect(Tok::RParen);
        s->then = statement();
        return s;
    }
    auto s = std::make_unique<Stmt>(kind == Tok::KwIf ? StmtKind::If : StmtKind::While, where);
    expect(Tok::LParen);
    s->expr = expression();
    expect(Tok::RParen);
    s->then = statement();
    if (kind == Tok::KwIf && accept(Tok::KwElse)) s->otherwise = statement();
    return s;
}

// illuminance ( args ) stmt, illuminate ( args ) stmt, solar ( [args] ) stmt
StmtPtr Parser::lightStatement(StmtKind kind) {
    auto s = std::make_unique<Stmt>(kind, peek().where);
    advance();
    if (expect(Tok::LParen)) {
        if (!at(Tok::RParen)) {
            do {
                s->args.push_back(expression());
            } while (accept(Tok::Comma));
        }
        expect(Tok::RParen);
    }
    s->then = statement();
    return s;
}

// gather ( ... ) stmt [else stmt]: read so that the rest of the file is checked, then refused.
StmtPtr Parser::gather() {
    const Token& start = advance();
    diagnostics.error(start.where,
                      "'gather' loops are not supported: use trace, occlusion or "
                      "indirectdiffuse");
    if (expect(Tok::LParen)) {
        if (!at(Tok::RParen)) {
            do {
                expression();
            } while (accept(Tok::Comma));
        }
        expect(Tok::RParen);
    }
    statement();
    if (accept(Tok::KwElse)) statement();
    return std::make_unique<Stmt>(StmtKind::Empty, start.where);
}

}  // namespace compiler
}  // namespace ovo
