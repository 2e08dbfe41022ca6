#include "plugins/generators/rib/parser.h"

#include <utility>

namespace ovo {
namespace rib {

const char* Value::describe() const {
    switch (kind) {
        case Number:
            return "a number";
        case String:
            return "a string";
        case NumberArray:
            return "an array of numbers";
        case StringArray:
            return "an array of strings";
        case EmptyArray:
            return "an empty array";
        case Bare:
            return "values";
    }
    return "a value";
}

namespace {

// Adds a number or string token's value to `v`: one value, or the next element of an
// array. False, and `v` untouched, when the array already holds the other kind.
bool addValue(Value& v, Token& token, bool array) {
    const bool number = token.kind == Token::Number;
    if (v.kind == (number ? Value::StringArray : Value::NumberArray)) return false;
    if (number) {
        v.kind = array ? Value::NumberArray : Value::Number;
        v.numbers.push_back(token.number);
        v.integers = v.integers && token.integer;
    } else {
        v.kind = array ? Value::StringArray : Value::String;
        v.strings.push_back(std::move(token.text));
    }
    return true;
}

}  // namespace

bool Parser::next(Request& request) {
    request.clear();
    if (lookahead.kind == Token::End) return false;

    if (lookahead.kind != Token::Name) {
        // Values or bad words before any request: one error for the whole run of them.
        request.line = lookahead.line;
        if (lookahead.kind == Token::Invalid)
            request.error = lookahead.text;
        else
            request.error = "value outside a request";
        advance();
        while (lookahead.kind != Token::Name && lookahead.kind != Token::End) {
            if (lookahead.kind == Token::Invalid) break;  // report each bad word on its own
            advance();
        }
        return true;
    }

    request.name = lookahead.text;
    request.line = lookahead.line;
    advance();
    for (;;) {
        switch (lookahead.kind) {
            case Token::End:
            case Token::Name:
                return true;
            case Token::Invalid:
                fail(request, lookahead.text);
                advance();
                break;
            case Token::Number:
            case Token::String: {
                Value v;
                addValue(v, lookahead, false);
                request.args.push_back(std::move(v));
                advance();
                break;
            }
            case Token::ArrayBegin:
                readArray(request);
                break;
            case Token::ArrayEnd:
                fail(request, "unexpected ']'");
                advance();
                break;
        }
    }
}

void Parser::readArray(Request& request) {
    advance();  // '['
    Value v;
    v.kind = Value::EmptyArray;
    for (;;) {
        switch (lookahead.kind) {
            case Token::End:
            case Token::Name:
                // A request name inside an array means the ']' is missing; the name starts
                // the next request.
                fail(request, "unterminated array");
                return;
            case Token::ArrayEnd:
                advance();
                request.args.push_back(std::move(v));
                return;
            case Token::ArrayBegin:
                fail(request, "nested arrays are not allowed");
                advance();
                break;
            case Token::Invalid:
                fail(request, lookahead.text);
                advance();
                break;
            case Token::Number:
            case Token::String:
                if (!addValue(v, lookahead, true)) fail(request, "array mixes numbers and strings");
                advance();
                break;
        }
    }
}

}  // namespace rib
}  // namespace ovo
