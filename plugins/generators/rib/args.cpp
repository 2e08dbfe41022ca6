#include "plugins/generators/rib/args.h"

#include <cfloat>
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

int toInt(double value) {
    if (!(value == value)) return 0;
    if (value >= double(INT_MAX)) return INT_MAX;
    if (value <= double(INT_MIN)) return INT_MIN;
    return int(std::lround(value));
}

float toFloat(double value) {
    if (!(value == value)) return 0.0f;
    if (value > double(FLT_MAX)) return FLT_MAX;
    if (value < -double(FLT_MAX)) return -FLT_MAX;
    return float(value);
}

bool allIntegers(const std::vector<double>& values) {
    for (double v : values)
        if (v != std::floor(v) || v > double(INT_MAX) || v < double(INT_MIN)) return false;
    return true;
}

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

bool Args::string(std::string& out) {
    if (!ok()) return false;
    if (!more()) return missing();
    const Value& v = peek();
    if (!v.isText() || v.strings.size() != 1) return wrong("a string");
    out = v.strings[0];
    ++cursor;
    return true;
}

bool Args::handle(std::string& out) {
    if (!ok()) return false;
    if (!more()) return missing();
    const Value& v = peek();
    if (v.kind == Value::Number || (v.kind == Value::NumberArray && v.numbers.size() == 1))
        out = numberText(v.numbers[0]);
    else if (v.isText() && v.strings.size() == 1)
        out = v.strings[0];
    else
        return wrong("a number or a string");
    ++cursor;
    return true;
}

bool Args::numberArray(std::vector<double>& out) {
    if (!ok()) return false;
    if (!more()) return missing();
    const Value& v = peek();
    if (!v.isNumeric()) return wrong("an array of numbers");
    out = v.numbers;
    ++cursor;
    return true;
}

bool Args::intArray(std::vector<int>& out) {
    if (!ok()) return false;
    if (!more()) return missing();
    const Value& v = peek();
    if (!v.isNumeric()) return wrong("an array of integers");
    if (!allIntegers(v.numbers)) return wrong("an array of integers");
    out.resize(v.numbers.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = int(v.numbers[i]);
    ++cursor;
    return true;
}

bool Args::stringArray(std::vector<std::string>& out) {
    if (!ok()) return false;
    if (!more()) return missing();
    const Value& v = peek();
    if (!v.isText()) return wrong("an array of strings");
    out = v.strings;
    ++cursor;
    return true;
}

bool Args::end() {
    if (!ok()) return false;
    if (more()) return fail("too many arguments");
    return true;
}

}  // namespace rib
}  // namespace ovo
