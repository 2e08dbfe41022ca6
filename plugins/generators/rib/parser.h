// RIB parser: groups the token stream into requests, each a name with its argument values
// (numbers, strings and arrays of either). It knows nothing about what requests mean; a
// request that could not be read whole carries an error message instead.
#pragma once

#include <string>
#include <vector>

#include "plugins/generators/rib/tokenizer.h"

namespace ovo {
namespace rib {

struct Value {
    // Bare: a parameter value the C binding passed as a pointer; its declaration tells how
    // many values it holds and of which type (floats, ints or strings).
    enum Kind { Number, String, NumberArray, StringArray, EmptyArray, Bare };
    Kind kind = Number;
    std::vector<double> numbers;
    std::vector<std::string> strings;
    bool integers = true;  // every number was written as an integer
    const void* bare = nullptr;

    bool isArray() const { return kind >= NumberArray && kind != Bare; }
    bool isNumeric() const { return kind == Number || kind == NumberArray || kind == EmptyArray; }
    bool isText() const { return kind == String || kind == StringArray || kind == EmptyArray; }
    std::size_t size() const { return isNumeric() ? numbers.size() : strings.size(); }
    // "a number", "a string", "an array of numbers", ... for messages.
    const char* describe() const;
};

struct Request {
    std::string name;  // empty for values found outside any request
    int line = 0;
    std::vector<Value> args;
    std::string error;  // why the request could not be read; empty when it is whole

    void clear() {
        name.clear();
        line = 0;
        args.clear();
        error.clear();
    }
};

class Parser {
  public:
    explicit Parser(Tokenizer& input) : tokenizer(input) { tokenizer.next(lookahead); }

    // Reads the next request; false at the end of the input. A request with an error
    // is returned too, so the caller can report it with its line and skip it.
    bool next(Request& request);

  private:
    void advance() { tokenizer.next(lookahead); }
    void readArray(Request& request);
    void fail(Request& request, const std::string& message) {
        if (request.error.empty()) request.error = message;
    }

    Tokenizer& tokenizer;
    Token lookahead;
};

}  // namespace rib
}  // namespace ovo
