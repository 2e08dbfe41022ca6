#include "core/params/paramtype.h"

#include <OpenImageIO/ustring.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace ovo {

namespace {

constexpr int NumBaseTypes = 18;

const char* const BaseTypeNames[NumBaseTypes] = {
    "<unknown>", "void",   "string", "float", "half",  "double", "point",  "vector", "normal",
    "color",     "hpoint", "matrix", "int8",  "uint8", "int16",  "uint16", "int",    "uint",
};

// A string element is one pointer to characters.
const int BaseTypeSizes[NumBaseTypes] = {
    0, 0, int(sizeof(const char*)), 4, 2, 8, 12, 12, 12, 12, 16, 64, 1, 1, 2, 2, 4, 4,
};

const int BaseTypeFloatCounts[NumBaseTypes] = {
    0, 0, 0, 1, 0, 0, 3, 3, 3, 3, 4, 16, 0, 0, 0, 0, 0, 0,
};

const char* const InterpolationNames[4] = {"constant", "perpiece", "linear", "vertex"};

constexpr unsigned CountMask = 0x3fffffu;

// A word ends at a space, an opening bracket or the end of the text; a tab does not end it.
inline bool endsWord(char c) { return c == ' ' || c == '[' || c == '\0'; }

// Length of `word` when `text` starts with it and the word ends there, else 0.
size_t matchWord(const char* text, const char* word) {
    size_t n = std::strlen(word);
    if (std::strncmp(text, word, n) != 0 || !endsWord(text[n])) return 0;
    return n;
}

}  // namespace

ParamType::ParamType(const char* text) : ParamType() { fromString(text, nullptr); }

int ParamType::fromString(const char* text, const char** rest) {
    if (rest) *rest = nullptr;
    if (!text) return 0;

    const char* p = text;
    Interpolation interp = InterpConstant;
    for (unsigned i = 0; i < 4; ++i) {
        if (size_t n = matchWord(p, InterpolationNames[i])) {
            interp = Interpolation(i);
            p += n;
            break;
        }
    }
    while (*p == ' ') ++p;

    int base = -1;
    for (int code = 0; code < NumBaseTypes; ++code) {
        if (size_t n = matchWord(p, BaseTypeNames[code])) {
            base = code;
            p += n;
            break;
        }
    }
    if (base < 0) return 0;
    while (*p == ' ') ++p;

    unsigned count = 1;
    if (*p == '[') {
        ++p;
        if (*p == ']') {
            count = 0;
        } else {
            if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
            count = 0;
            // Reducing at every step keeps the running value small and gives the count
            // modulo 2^22, which is all the field can hold.
            while (std::isdigit(static_cast<unsigned char>(*p))) {
                count = (count * 10u + unsigned(*p - '0')) & CountMask;
                ++p;
            }
            if (*p != ']') return 0;
        }
        ++p;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;

    *this = ParamType(BaseType(base), count, interp);
    if (rest) *rest = p;
    return int(p - text);
}

const char* ParamType::c_str() const {
    std::string text;
    Interpolation interp = interpolation();
    if (interp != InterpConstant) {
        text += InterpolationNames[interp];
        text += ' ';
    }
    // Codes 18 to 31 have no name; they read as unknown, which is what they are.
    const char* name = BaseTypeNameString(basetype());
    text += name ? name : BaseTypeNames[TypeUnknown];
    unsigned count = arraylen();
    if (count == 0) {
        text += "[]";
    } else if (count >= 2) {
        char buf[16];
        std::snprintf(buf, sizeof(buf), "[%d]", int(count));
        text += buf;
    }
    return OIIO::ustring(text).c_str();
}

int ParamType::BaseTypeSize(int code) {
    return code >= 0 && code < NumBaseTypes ? BaseTypeSizes[code] : 0;
}

const char* ParamType::BaseTypeNameString(int code) {
    return code >= 0 && code < NumBaseTypes ? BaseTypeNames[code] : nullptr;
}

int ParamType::BaseTypeNFloats(int code) {
    return code >= 0 && code < NumBaseTypes ? BaseTypeFloatCounts[code] : 0;
}

}  // namespace ovo
