// printf and format. They allocate (the text and the interned result) and go through the C
// library's locked streams: tools for debugging and naming, not for every shading point.
#include "core/shading/sl/output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/math/matrix.h"
#include "core/math/tuple.h"

namespace SL {

namespace {

void append(std::string& out, const char* fmt, double a) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, fmt, a);
    if (n > 0) out.append(buffer, size_t(std::min(n, int(sizeof buffer) - 1)));
}

void appendTriple(std::string& out, float x, float y, float z) {
    out += '[';
    append(out, "%f", x);
    out += ' ';
    append(out, "%f", y);
    out += ' ';
    append(out, "%f", z);
    out += ']';
}

}  // namespace

// Points, colours, matrices and strings travel through "..." by value, as compiled shaders pass
// them; a ustring has a user-provided copy constructor, which GCC and clang both pass (and
// read back with va_arg) as a reference to a temporary.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnon-pod-varargs"
#endif
void printf(ShaderEnvironment& env, OIIO::ustring format, ...) {
    if (env.derivPass != 0) return;
    std::string out;
    va_list ap;
    va_start(ap, format);
    for (const char* c = format.empty() ? "" : format.c_str(); *c; ++c) {
        if (*c != '%') {
            out += *c;
            continue;
        }
        if (!c[1]) break;
        switch (*++c) {
            case 'f':
                append(out, "%f", va_arg(ap, double));
                break;
            case 'p': {
                const ovo::Tuple p = va_arg(ap, ovo::Tuple);
                appendTriple(out, p.x, p.y, p.z);
                break;
            }
            case 'c': {
                const ovo::Color k = va_arg(ap, ovo::Color);
                appendTriple(out, k.r, k.g, k.b);
                break;
            }
            case 'm': {
                const ovo::Matrix m = va_arg(ap, ovo::Matrix);
                out += '[';
                for (int i = 0; i < 16; ++i) {
                    if (i) out += ' ';
                    append(out, "%f", m.m[i / 4][i % 4]);
                }
                out += ']';
                break;
            }
            case 's': {
                const OIIO::ustring s = va_arg(ap, OIIO::ustring);
                out += s.string();
                break;
            }
            default:
                break;
        }
    }
    va_end(ap);
    std::fwrite(out.data(), 1, out.size(), stdout);
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

OIIO::ustring format(OIIO::ustring format, ...) {
    if (format.empty()) return OIIO::ustring();
    char buffer[1024];
    va_list ap;
    va_start(ap, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format.c_str(), ap);
    va_end(ap);
    if (n < 0) buffer[0] = '\0';
    return OIIO::ustring(buffer);
}

}  // namespace SL
