// Reading the optional keyword arguments of the tracing and texture functions: a count n, then
// n pairs of a keyword (ustring) and its value. Numbers that the shader wrote as floats arrive
// widened to double, integers as int, names as ustring, outputs as pointers. Each function
// parses its own list and stops at the first empty keyword or one it does not know.
#pragma once

#include <OpenImageIO/ustring.h>

#include <cstdarg>

namespace SL {

// Compiled shaders pass keywords as OIIO::ustring values. A ustring has a user-provided copy
// constructor, so the C++ ABI passes it through "..." as a reference to a temporary, and GCC
// and clang read it back with va_arg the same way; clang warns that the type is not plain old
// data, which here is harmless.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnon-pod-varargs"
#endif

// Reads through the va_list of the variadic function that made it (by address, so that the
// list stays usable there).
class KeywordReader {
  public:
    KeywordReader(int n, va_list* list) : remaining(n), ap(list) {}

    // The next keyword; empty once n pairs are read (or when the shader passed an empty one).
    OIIO::ustring next() {
        if (remaining <= 0) return OIIO::ustring();
        --remaining;
        return va_arg(*ap, OIIO::ustring);
    }
    double number() { return va_arg(*ap, double); }
    int integer() { return va_arg(*ap, int); }
    OIIO::ustring name() { return va_arg(*ap, OIIO::ustring); }
    template <class T>
    T* pointer() {
        return va_arg(*ap, T*);
    }

  private:
    int remaining;
    va_list* ap;
};

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

}  // namespace SL
