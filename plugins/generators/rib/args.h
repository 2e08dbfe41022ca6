// Reads a request's fixed arguments in order. Bare numbers and arrays may be mixed for a
// run of numbers ("Color [1 0 0]" and "Color 1 0 0" both give three), as RIB allows.
// The first failure leaves a message in error() and every later read fails too.
#pragma once

#include <string>
#include <vector>

#include "plugins/generators/rib/parser.h"
#include "plugins/generators/rib/ribmath.h"

namespace ovo {
namespace rib {

class Args {
  public:
    explicit Args(const Request& source) : request(source) {}

    bool numbers(int count, double* out);
    bool number(double& out) { return numbers(1, &out); }
    bool integer(int& out);
    bool string(std::string& out);
    // A light or object handle: a number or a string, as text.
    bool handle(std::string& out);
    // An array (a bare single value counts as an array of one).
    bool numberArray(std::vector<double>& out);
    bool intArray(std::vector<int>& out);
    bool stringArray(std::vector<std::string>& out);
    // Fails with "too many arguments" unless every argument was read.
    bool end();

    bool ok() const { return firstError.empty(); }
    bool more() const { return cursor < request.args.size(); }
    std::size_t next() const { return cursor; }
    const Value& peek() const { return request.args[cursor]; }
    const std::string& error() const { return firstError; }
    bool fail(const std::string& message) {
        if (firstError.empty()) firstError = message;
        return false;
    }

  private:
    bool missing();
    bool wrong(const char* what);
    // The next argument, read, when `fits` accepts it; otherwise null and the message
    // ("missing ...", or "... must be <what>").
    const Value* take(bool (*fits)(const Value&), const char* what);

    const Request& request;
    std::size_t cursor = 0;
    std::string firstError;
};

// Text of a number as a handle or in a message: integers without a decimal point.
std::string numberText(double value);
// True when every value is a whole number that fits an int.
bool allIntegers(const std::vector<double>& values);

}  // namespace rib
}  // namespace ovo
