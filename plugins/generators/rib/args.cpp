#include "plugins/generators/rib/args.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace ovo {
namespace rib {

std::string numberText(double value) {
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool allIntegers(const std::vector<double>& values) {
    for (double v : values)
        if (v != std::floor(v) || v > double(INT_MAX) || v < double(INT_MIN)) return false;
    return true;
}

namespace {

bool isOneString(const Value& v) { return v.isText() && v.strings.size() == 1; }
bool isOneNumber(const Value& v) {
    return v.kind == Value::Number || (v.kind == Value::NumberArray && v.numbers.size() == 1);
}

}  // namespace

bool Args::missing() { return fail("missing argument " + std::to_string(cursor + 1)); }

bool Args::wrong(const char* what) {
    return fail("argument " + std::to_string(cursor + 1) + " must be " + what + ", not " +
                request.args[cursor].describe());
}

bool Args::numbers(int count, double* out) {
    if (!ok()) return false;
    int got = 0;
    while (got < count) {
        if (!more()) {
            if (got == 0 && count == 1) return missing();
            return fail("expected " + std::to_string(count) + " numbers, got " +
                        std::to_string(got));
        }
        const Value& v = peek();
        if (!v.isNumeric() || v.kind == Value::EmptyArray) return wrong("a number");
        if (got + int(v.numbers.size()) > count)
            return fail("expected " + std::to_string(count) + " numbers, got " +
                        std::to_string(got + int(v.numbers.size())));
        for (double d : v.numbers) out[got++] = d;
        ++cursor;
    }
    return true;
}

bool Args::integer(int& out) {
    double d;
    if (!number(d)) return false;
    if (d != std::floor(d) || std::fabs(d) > double(INT_MAX))
        return fail("argument " + std::to_string(cursor) + " must be an integer, not " +
                    numberText(d));
    out = int(d);
    return true;
}

const Value* Args::take(bool (*fits)(const Value&), const char* what) {
    if (!ok()) return nullptr;
    if (!more()) return missing(), nullptr;
    if (!fits(peek())) return wrong(what), nullptr;
    return &request.args[cursor++];
}

bool Args::string(std::string& out) {
    const Value* v = take(isOneString, "a string");
    if (v) out = v->strings[0];
    return v != nullptr;
}

bool Args::handle(std::string& out) {
    const Value* v = take([](const Value& x) { return isOneNumber(x) || isOneString(x); },
                          "a number or a string");
    if (v) out = isOneNumber(*v) ? numberText(v->numbers[0]) : v->strings[0];
    return v != nullptr;
}

bool Args::numberArray(std::vector<double>& out) {
    const Value* v = take([](const Value& x) { return x.isNumeric(); }, "an array of numbers");
    if (v) out = v->numbers;
    return v != nullptr;
}

bool Args::intArray(std::vector<int>& out) {
    const Value* v = take([](const Value& x) { return x.isNumeric() && allIntegers(x.numbers); },
                          "an array of integers");
    if (!v) return false;
    out.resize(v->numbers.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = int(v->numbers[i]);
    return true;
}

bool Args::stringArray(std::vector<std::string>& out) {
    const Value* v = take([](const Value& x) { return x.isText(); }, "an array of strings");
    if (v) out = v->strings;
    return v != nullptr;
}

bool Args::end() {
    if (!ok()) return false;
    if (more()) return fail("too many arguments");
    return true;
}

}  // namespace rib
}  // namespace ovo
