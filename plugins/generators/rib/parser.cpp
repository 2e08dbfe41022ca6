#include "plugins/generators/rib/parser.h"

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
    }
    return "a value";
}

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
            case Token::Number: {
                Value v;
                v.kind = Value::Number;
                v.numbers.push_back(lookahead.number);
                v.integers = lookahead.integer;
                request.args.push_back(std::move(v));
                advance();
                break;
            }
            case Token::String: {
                Value v;
                v.kind = Value::String;
                v.strings.push_back(std::move(lookahead.text));
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
                if (v.kind == Value::StringArray)
                    fail(request, "array mixes numbers and strings");
                else {
                    v.kind = Value::NumberArray;
                    v.numbers.push_back(lookahead.number);
                    v.integers = v.integers && lookahead.integer;
                }
                advance();
                break;
            case Token::String:
                if (v.kind == Value::NumberArray)
                    fail(request, "array mixes numbers and strings");
                else {
                    v.kind = Value::StringArray;
                    v.strings.push_back(std::move(lookahead.text));
                }
                advance();
                break;
        }
    }
}

}  // namespace rib
}  // namespace ovo
