// The runtime's noise, splines and text: the language's meaning of them on top of the shading
// library's functions (noise remapped to [0, 1], periodic noise built on it, spline values
// gathered into lists, the language's conversions of format and printf). Part of
// compiler/runtime.h, which includes it; nothing here allocates except the spline lists, which
// grow once per thread, and the text functions.
#pragma once

#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "compiler/runtime.h"
#include "core/math/matrix.h"
#include "core/math/tuple.h"
#include "core/shading/environment.h"
#include "core/shading/sl/colorspace.h"
#include "core/shading/sl/noise.h"
#include "core/shading/sl/output.h"
#include "core/shading/sl/spline.h"

namespace slrt {

// ---------------------------------------------------------------------------------------------
// Noise. The library's gradient noise lies roughly in [-1, 1] and is 0 on the integer lattice;
// the language's lies in [0, 1] and is 0.5 there.

inline float unitNoise(float n) { return std::min(1.0f, std::max(0.0f, 0.5f + 0.5f * n)); }

// A point of one to four dimensions.
struct Domain {
    float x[4];
    int n;
};
inline Domain domain(float x) { return {{x, 0.0f, 0.0f, 0.0f}, 1}; }
inline Domain domain(float x, float y) { return {{x, y, 0.0f, 0.0f}, 2}; }
inline Domain domain(const Tuple& p) { return {{p.x, p.y, p.z, 0.0f}, 3}; }
inline Domain domain(const Tuple& p, float w) { return {{p.x, p.y, p.z, w}, 4}; }

// The library's noise at d moved by `shift` whole cells along every axis: the colour and point
// forms take each component from its own shifted copy, still 0 on the lattice.
inline float signedNoise(const Domain& d, float shift) {
    switch (d.n) {
        case 1:
            return SL::noise(d.x[0] + shift);
        case 2:
            return SL::noise(d.x[0] + shift, d.x[1] + shift);
        case 3:
            return SL::noise(d.x[0] + shift, d.x[1] + shift, d.x[2] + shift);
        default:
            return SL::noise(d.x[0] + shift, d.x[1] + shift, d.x[2] + shift, d.x[3] + shift);
    }
}
constexpr float NoiseShift[3] = {17.0f, 59.0f, 113.0f};

// Periodic noise, which the library does not have: along each axis with a positive period the
// point is brought into [0, period) and the noise there is blended with the noise one period
// back, weighted by how far the point is through the period, so both ends of every period
// see the same values. Dividing by the root of the summed squared weights keeps the contrast
// of the blend (the copies are independent) from dipping in the middle of a period.
inline float periodicNoise(Domain d, const Domain& period, float shift) {
    float w[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int axes = 0;
    for (int i = 0; i < d.n; ++i) {
        const float p = period.x[i];
        if (!(p > 0.0f) || !std::isfinite(p)) continue;
        d.x[i] -= p * std::floor(d.x[i] / p);
        w[i] = std::min(1.0f, std::max(0.0f, d.x[i] / p));
        axes |= 1 << i;
    }
    float sum = 0.0f, squares = 0.0f;
    for (int corner = 0; corner < (1 << d.n); ++corner) {
        if (corner & ~axes) continue;
        Domain q = d;
        float weight = 1.0f;
        for (int i = 0; i < d.n; ++i) {
            if (!(axes & (1 << i))) continue;
            const bool back = corner & (1 << i);
            if (back) q.x[i] -= period.x[i];
            weight *= back ? w[i] : 1.0f - w[i];
        }
        if (weight == 0.0f) continue;
        sum += weight * signedNoise(q, shift);
        squares += weight * weight;
    }
    return squares > 0.0f ? sum / std::sqrt(squares) : 0.0f;
}

template <class... A>
float noisef(const A&... a) {
    return unitNoise(signedNoise(domain(a...), 0.0f));
}
template <class... A>
Color noisec(const A&... a) {
    const Domain d = domain(a...);
    return Color(unitNoise(signedNoise(d, NoiseShift[0])), unitNoise(signedNoise(d, NoiseShift[1])),
                 unitNoise(signedNoise(d, NoiseShift[2])));
}
template <class... A>
Tuple noisep(const A&... a) {
    const Color c = noisec(a...);
    return Tuple(c.r, c.g, c.b);
}

// The point and its periods, in the argument orders of the language's pnoise.
struct Periodic {
    Domain at, period;
};
inline Periodic periodic(float x, float px) { return {domain(x), domain(px)}; }
inline Periodic periodic(float x, float y, float px, float py) {
    return {domain(x, y), domain(px, py)};
}
inline Periodic periodic(const Tuple& p, const Tuple& period) {
    return {domain(p), domain(period)};
}
inline Periodic periodic(const Tuple& p, float w, const Tuple& period, float pw) {
    return {domain(p, w), domain(period, pw)};
}
template <class... A>
float pnoisef(const A&... a) {
    const Periodic q = periodic(a...);
    return unitNoise(periodicNoise(q.at, q.period, 0.0f));
}
template <class... A>
Color pnoisec(const A&... a) {
    const Periodic q = periodic(a...);
    return Color(unitNoise(periodicNoise(q.at, q.period, NoiseShift[0])),
                 unitNoise(periodicNoise(q.at, q.period, NoiseShift[1])),
                 unitNoise(periodicNoise(q.at, q.period, NoiseShift[2])));
}
template <class... A>
Tuple pnoisep(const A&... a) {
    const Color c = pnoisec(a...);
    return Tuple(c.r, c.g, c.b);
}

// ---------------------------------------------------------------------------------------------
// Splines: the values of a call or an array gathered into a list of this thread (which grows
// once and is then reused) and handed to the library.

template <class T>
std::vector<T>& splineList() {
    thread_local std::vector<T> list;
    list.clear();
    return list;
}
template <class T>
std::vector<T>& splineList(Span<T> values) {
    std::vector<T>& list = splineList<T>();
    for (int i = 0; i < values.size(); ++i) list.push_back(values[i]);
    return list;
}
template <class T, class... More>
std::vector<T>& splineList(const T& first, const More&... more) {
    std::vector<T>& list = splineList<T>();
    list.push_back(first);
    (list.push_back(T(more)), ...);
    return list;
}

template <class... V>
float splinef(float t, const V&... values) {
    return SL::splinef(t, splineList<float>(values...));
}
template <class... V>
float splinef(OIIO::ustring basis, float t, const V&... values) {
    return SL::splinef(basis, t, splineList<float>(values...));
}
template <class... V>
Color splinec(float t, const V&... values) {
    return SL::splinec(t, splineList<Color>(values...));
}
template <class... V>
Color splinec(OIIO::ustring basis, float t, const V&... values) {
    return SL::splinec(basis, t, splineList<Color>(values...));
}
template <class... V>
Tuple splinep(float t, const V&... values) {
    return SL::splinep(t, splineList<Tuple>(values...));
}
template <class... V>
Tuple splinep(OIIO::ustring basis, float t, const V&... values) {
    return SL::splinep(basis, t, splineList<Tuple>(values...));
}

// ---------------------------------------------------------------------------------------------
// format and printf. The language's conversions take C's flags, width and precision: %f (and
// %e, %g, %d, %i, %x, %o) a number, %s a string, %p, %c, %v and %n a triple as "[x y z]" and
// %m a matrix as its sixteen values in brackets; "%%" is a percent sign. Each value prints by
// its own type whatever the letter; a conversion without a value prints nothing.

namespace text {

// Copies the text before the next conversion into `out` and returns that conversion without
// its length modifiers ("%-8.3f"), or "" at the end of the format.
inline std::string nextConversion(const char*& c, std::string& out) {
    while (*c) {
        if (*c != '%') {
            out += *c++;
        } else if (c[1] == '%') {
            out += '%';
            c += 2;
        } else {
            std::string conv(1, *c++);
            for (; *c && std::strchr("-+ #0123456789.lhLqjzt", *c); ++c)
                if (!std::strchr("lhLqjzt", *c)) conv += *c;
            if (!*c) return "";
            conv += *c++;
            return conv;
        }
    }
    return "";
}

// A conversion with its letter replaced.
inline std::string as(std::string conv, char letter) {
    conv.back() = letter;
    return conv;
}

inline void append(std::string& out, const std::string& conv, float x) {
    char buffer[512];
    int n;
    if (std::strchr("dioxX", conv.back()))
        n = std::snprintf(buffer, sizeof buffer, conv.c_str(), int(x));
    else if (std::strchr("eEfFgGaA", conv.back()))
        n = std::snprintf(buffer, sizeof buffer, conv.c_str(), double(x));
    else
        n = std::snprintf(buffer, sizeof buffer, as(conv, 'f').c_str(), double(x));
    if (n > 0) out.append(buffer, size_t(std::min(n, int(sizeof buffer) - 1)));
}
inline void append(std::string& out, const std::string& conv, OIIO::ustring s) {
    char buffer[1024];
    const int n = std::snprintf(buffer, sizeof buffer, as(conv, 's').c_str(), s.c_str());
    if (n > 0) out.append(buffer, size_t(std::min(n, int(sizeof buffer) - 1)));
}
inline void appendList(std::string& out, const std::string& conv, const float* x, int count) {
    const std::string number = std::strchr("eEfFgG", conv.back()) ? conv : as(conv, 'f');
    out += '[';
    for (int i = 0; i < count; ++i) {
        if (i) out += ' ';
        append(out, number, x[i]);
    }
    out += ']';
}
inline void append(std::string& out, const std::string& conv, const Tuple& t) {
    const float x[3] = {t.x, t.y, t.z};
    appendList(out, conv, x, 3);
}
inline void append(std::string& out, const std::string& conv, const Color& c) {
    const float x[3] = {c.r, c.g, c.b};
    appendList(out, conv, x, 3);
}
inline void append(std::string& out, const std::string& conv, const Matrix& m) {
    appendList(out, conv, &m.m[0][0], 16);
}

inline void appendAll(std::string&, const char*&) {}
template <class T, class... More>
void appendAll(std::string& out, const char*& c, const T& value, const More&... more) {
    const std::string conv = nextConversion(c, out);
    if (conv.empty()) return;  // values beyond the conversions are left out
    append(out, conv, value);
    appendAll(out, c, more...);
}

}  // namespace text

template <class... A>
OIIO::ustring format(OIIO::ustring fmt, const A&... values) {
    std::string out;
    const char* c = fmt.empty() ? "" : fmt.c_str();
    text::appendAll(out, c, values...);
    while (!text::nextConversion(c, out).empty()) {
    }
    return OIIO::ustring(out);
}

// Prints in the main pass only, through the library, which writes the whole line at once.
template <class... A>
void printf(ShaderEnvironment& env, OIIO::ustring fmt, const A&... values) {
    if (env.derivPass != 0) return;
    static const OIIO::ustring asText("%s");
    SL::printf(env, asText, format(fmt, values...));
}

}  // namespace slrt
