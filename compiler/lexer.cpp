#include "compiler/lexer.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace ovo {
namespace compiler {

namespace {

struct Spelled {
    Tok kind;
    const char* text;
};

const Spelled Keywords[] = {
    {Tok::KwFloat, "float"},
    {Tok::KwString, "string"},
    {Tok::KwColor, "color"},
    {Tok::KwPoint, "point"},
    {Tok::KwVector, "vector"},
    {Tok::KwNormal, "normal"},
    {Tok::KwMatrix, "matrix"},
    {Tok::KwVoid, "void"},
    {Tok::KwUniform, "uniform"},
    {Tok::KwVarying, "varying"},
    {Tok::KwOutput, "output"},
    {Tok::KwExtern, "extern"},
    {Tok::KwSurface, "surface"},
    {Tok::KwDisplacement, "displacement"},
    {Tok::KwLight, "light"},
    {Tok::KwVolume, "volume"},
    {Tok::KwImager, "imager"},
    {Tok::KwIf, "if"},
    {Tok::KwElse, "else"},
    {Tok::KwWhile, "while"},
    {Tok::KwFor, "for"},
    {Tok::KwBreak, "break"},
    {Tok::KwContinue, "continue"},
    {Tok::KwReturn, "return"},
    {Tok::KwIlluminance, "illuminance"},
    {Tok::KwIlluminate, "illuminate"},
    {Tok::KwSolar, "solar"},
    {Tok::KwGather, "gather"},
};

// Longest first, so that "+=" wins over "+".
const Spelled Operators[] = {
    {Tok::PlusAssign, "+="},  {Tok::MinusAssign, "-="},  {Tok::StarAssign, "*="},
    {Tok::SlashAssign, "/="}, {Tok::Equal, "=="},        {Tok::NotEqual, "!="},
    {Tok::LessEqual, "<="},   {Tok::GreaterEqual, ">="}, {Tok::And, "&&"},
    {Tok::Or, "||"},          {Tok::PlusPlus, "++"},     {Tok::MinusMinus, "--"},
    {Tok::LParen, "("},       {Tok::RParen, ")"},        {Tok::LBracket, "["},
    {Tok::RBracket, "]"},     {Tok::LBrace, "{"},        {Tok::RBrace, "}"},
    {Tok::Semicolon, ";"},    {Tok::Comma, ","},         {Tok::Question, "?"},
    {Tok::Colon, ":"},        {Tok::Plus, "+"},          {Tok::Minus, "-"},
    {Tok::Star, "*"},         {Tok::Slash, "/"},         {Tok::Caret, "^"},
    {Tok::Dot, "."},          {Tok::Not, "!"},           {Tok::Assign, "="},
    {Tok::Less, "<"},         {Tok::Greater, ">"},
};

class Lexer {
  public:
    Lexer(const std::string& text, int file, Diagnostics& diagnostics)
        : text(text), diagnostics(diagnostics), file(file) {}

    std::vector<Token> run() {
        std::vector<Token> out;
        for (;;) {
            skipSpaceAndComments();
            if (pos >= text.size()) break;
            if (atLineStart && text[pos] == '#') {
                directive();
                continue;
            }
            atLineStart = false;
            Token t;
            t.where = here();
            if (!next(t)) continue;
            out.push_back(std::move(t));
            if (diagnostics.tooMany()) break;
        }
        Token end;
        end.where = here();
        out.push_back(end);
        return out;
    }

  private:
    Location here() const { return Location{file, line, int(pos - lineStart) + 1}; }
    char peek(size_t ahead = 0) const {
        return pos + ahead < text.size() ? text[pos + ahead] : '\0';
    }
    void newline() {
        ++line;
        lineStart = pos;
        atLineStart = true;
    }

    void skipSpaceAndComments() {
        while (pos < text.size()) {
            const char c = text[pos];
            if (c == '\n') {
                ++pos;
                newline();
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos;
            } else if (c == '/' && peek(1) == '/') {
                while (pos < text.size() && text[pos] != '\n') ++pos;
            } else if (c == '/' && peek(1) == '*') {
                const Location start = here();
                pos += 2;
                while (pos < text.size() && !(text[pos] == '*' && peek(1) == '/')) {
                    if (text[pos++] == '\n') newline();
                }
                if (pos >= text.size()) {
                    diagnostics.error(start, "unterminated comment");
                    return;
                }
                pos += 2;
                atLineStart = false;
            } else {
                return;
            }
        }
    }

    // A preprocessor line marker ("# 12 \"name\"" or "#line 12 \"name\"") sets the place of
    // the next line; any other directive left in the text is ignored.
    void directive() {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string body = text.substr(pos + 1, end - pos - 1);
        pos = end;
        const char* p = body.c_str();
        while (*p == ' ' || *p == '\t') ++p;
        if (std::strncmp(p, "line", 4) == 0) p += 4;
        char* after = nullptr;
        const long number = std::strtol(p, &after, 10);
        if (after == p || number < 1 || number > 100000000) return;
        p = after;
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '"') {
            const char* close = std::strchr(p + 1, '"');
            if (close) file = diagnostics.fileIndex(std::string(p + 1, close));
        }
        // The marker's line is the number of the line after it.
        if (pos < text.size()) {
            ++pos;
            line = int(number);
            lineStart = pos;
            atLineStart = true;
        }
    }

    bool next(Token& t) {
        const char c = text[pos];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return identifier(t);
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))))
            return number(t);
        if (c == '"') return string(t);
        for (const Spelled& op : Operators) {
            const size_t n = std::strlen(op.text);
            if (text.compare(pos, n, op.text) == 0) {
                t.kind = op.kind;
                pos += n;
                return true;
            }
        }
        if (std::isprint(static_cast<unsigned char>(c)))
            diagnostics.error(t.where, std::string("unexpected character '") + c + "'");
        else
            diagnostics.error(t.where, "unexpected character (code " +
                                           std::to_string(static_cast<unsigned char>(c)) + ")");
        ++pos;
        return false;
    }

    bool identifier(Token& t) {
        const size_t start = pos;
        while (pos < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[pos])) || text[pos] == '_'))
            ++pos;
        t.text = text.substr(start, pos - start);
        t.kind = Tok::Identifier;
        for (const Spelled& k : Keywords)
            if (t.text == k.text) t.kind = k.kind;
        return true;
    }

    bool number(Token& t) {
        const size_t start = pos;
        auto digits = [&] {
            while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
        };
        digits();
        if (peek() == '.') {
            ++pos;
            digits();
        }
        if ((peek() == 'e' || peek() == 'E') &&
            (std::isdigit(static_cast<unsigned char>(peek(1))) ||
             ((peek(1) == '+' || peek(1) == '-') &&
              std::isdigit(static_cast<unsigned char>(peek(2)))))) {
            pos += 2;
            digits();
        }
        t.text = text.substr(start, pos - start);
        t.number = std::strtod(t.text.c_str(), nullptr);
        if (peek() == 'f' || peek() == 'F') ++pos;  // a C habit: 1.0f
        t.kind = Tok::Number;
        return true;
    }

    bool string(Token& t) {
        ++pos;
        t.kind = Tok::String;
        while (pos < text.size() && text[pos] != '"' && text[pos] != '\n') {
            char c = text[pos++];
            if (c == '\\' && pos < text.size() && text[pos] != '\n') {
                const char e = text[pos++];
                switch (e) {
                    case 'n':
                        c = '\n';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    case '0':
                        c = '\0';
                        break;
                    default:
                        c = e;
                        break;
                }
                if (c == '\0') continue;  // a string is a C string: it cannot hold NUL
            }
            t.text += c;
        }
        if (peek() != '"') {
            diagnostics.error(t.where, "unterminated string");
            return true;
        }
        ++pos;
        return true;
    }

    const std::string& text;
    Diagnostics& diagnostics;
    int file;
    size_t pos = 0;
    int line = 1;
    size_t lineStart = 0;
    bool atLineStart = true;
};

}  // namespace

const char* spelling(Tok kind) {
    for (const Spelled& k : Keywords)
        if (k.kind == kind) return k.text;
    for (const Spelled& op : Operators)
        if (op.kind == kind) return op.text;
    switch (kind) {
        case Tok::End:
            return "end of file";
        case Tok::Identifier:
            return "identifier";
        case Tok::Number:
            return "number";
        case Tok::String:
            return "string";
        default:
            return "?";
    }
}

std::string describe(const Token& t) {
    switch (t.kind) {
        case Tok::End:
            return "end of file";
        case Tok::Identifier:
            return "identifier '" + t.text + "'";
        case Tok::Number:
            return "number " + t.text;
        case Tok::String:
            return "string \"" + t.text + "\"";
        default:
            return std::string("'") + spelling(t.kind) + "'";
    }
}

std::vector<Token> tokenize(const std::string& text, int file, Diagnostics& diagnostics) {
    return Lexer(text, file, diagnostics).run();
}

}  // namespace compiler
}  // namespace ovo
