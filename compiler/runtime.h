// The runtime of compiled shaders: what generated code needs beyond the SL functions of the
// shading library. Math and colour helpers of the language, arrays with checked indices,
// the frame that numbers derivative call sites, and queries the library does not answer.
// Every shader that ovoslc writes includes this header; nothing in it allocates or locks
// except match(), which compiles its pattern once per thread. Noise, splines and text are in
// runtime_library.h, included at the end.
#pragma once

#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "core/math/constants.h"
#include "core/math/matrix.h"
#include "core/math/random.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/shading/compiled.h"
#include "core/shading/environment.h"
#include "core/shading/light.h"
#include "core/shading/sl/bake.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/queries.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/texture.h"
#include "core/shading/sl/trace.h"

namespace slrt {

using ovo::Color;
using ovo::Matrix;
using ovo::ShaderEnvironment;
using ovo::Tuple;

// ---------------------------------------------------------------------------------------------
// Derivative call sites. The shader body numbers its sites from 0 (`ds`); a user function
// receives the first number of its call; sites in loops take theirs from the frame, after
// all fixed ones. A negative number means "no derivatives here": the result is 0.

class Frame {
  public:
    Frame(ShaderEnvironment& env, int firstDynamic) : env(env), next(firstDynamic) {}
    int take(int ds, int width) {
        if (ds < 0) return -1;
        const int site = next;
        next += width;
        return site;
    }
    ShaderEnvironment& env;

  private:
    int next;
};

inline int site(int ds, int k) { return ds < 0 ? -1 : ds + k; }

inline float Du(ShaderEnvironment& env, int at, float x) {
    if (at < 0) return 0.0f;
    env.derivCounter = at;
    return SL::Du(env, x);
}
inline float Dv(ShaderEnvironment& env, int at, float x) {
    if (at < 0) return 0.0f;
    env.derivCounter = at;
    return SL::Dv(env, x);
}
inline Tuple Du(ShaderEnvironment& env, int at, Tuple x) {
    if (at < 0) return Tuple(0.0f);
    env.derivCounter = at;
    return SL::Du(env, x);
}
inline Tuple Dv(ShaderEnvironment& env, int at, Tuple x) {
    if (at < 0) return Tuple(0.0f);
    env.derivCounter = at;
    return SL::Dv(env, x);
}
inline float Deriv(ShaderEnvironment& env, int at, float num, float den) {
    if (at < 0) return 0.0f;
    env.derivCounter = at;
    return SL::Deriv(env, num, den);
}
inline Tuple Deriv(ShaderEnvironment& env, int at, Tuple num, float den) {
    if (at < 0) return Tuple(0.0f);
    env.derivCounter = at;
    return SL::Deriv(env, num, den);
}
inline float area(ShaderEnvironment& env, int at, Tuple P) {
    if (at < 0) return 0.0f;
    env.derivCounter = at;
    return SL::area(env, P);
}
inline Tuple calculatenormal(ShaderEnvironment& env, int at, Tuple P) {
    if (at < 0) return env.N;
    env.derivCounter = at;
    return SL::calculatenormal(env, P);
}
// The pixel's footprint around (s, t) for a texture lookup, from the derivatives of s and t
// (sites at and at + 1) and how u and v change over one pixel step; a point without
// derivatives (at < 0) looks up unfiltered.
inline SL::TextureFootprint footprint(ShaderEnvironment& env, int at, float s, float t) {
    const float dsdu = Du(env, site(at, 0), s), dsdv = Dv(env, site(at, 0), s);
    const float dtdu = Du(env, site(at, 1), t), dtdv = Dv(env, site(at, 1), t);
    return {s,
            t,
            dsdu * env.dudx + dsdv * env.dvdx,
            dtdu * env.dudx + dtdv * env.dvdx,
            dsdu * env.dudy + dsdv * env.dvdy,
            dtdu * env.dudy + dtdv * env.dvdy};
}
// Colours have no derivatives; the argument is still evaluated.
inline Color noDerivative(const Color&) { return Color(0.0f); }
inline Color noDerivative(const Color&, float) { return Color(0.0f); }

// ---------------------------------------------------------------------------------------------
// Values and arrays.

// The library takes Tuple& and Color&: a reference to a temporary that lives for the call.
template <class T>
T& ref(T&& x) {
    return x;
}
// A global point, vector or normal read as a plain Tuple, so that both arms of ?: and every
// overload see one type.
inline Tuple tuple(const Tuple& t) { return t; }

// An array parameter of unspecified length: a view of the caller's array.
template <class T>
class Span {
  public:
    Span(T* data, int count) : first(data), count(count) {}
    int size() const { return count; }
    T& operator[](int i) const { return first[i]; }

  private:
    T* first;
    int count;
};
template <class T>
Span<T> span(std::vector<T>& v) {
    return Span<T>(v.data(), int(v.size()));
}
template <class T, std::size_t N>
Span<T> span(std::array<T, N>& a) {
    return Span<T>(a.data(), int(N));
}
template <class T>
Span<T> span(Span<T> s) {
    return s;
}

// Element i of an array, the index truncated and clamped into the array: a bad index reads
// (and writes) the nearest element, never outside. An empty array yields a scratch value.
template <class A>
auto& at(A& a, float i) {
    using T = std::remove_reference_t<decltype(a[0])>;
    const int n = int(a.size());
    if (n == 0) {
        thread_local T scratch{};
        return scratch;
    }
    const int k = i >= float(n - 1) ? n - 1 : (i > 0.0f ? int(i) : 0);
    return a[k];
}

// Whole-array assignment: as many elements as both hold.
template <class A, class B>
void assign(A& to, B& from) {
    const int n = std::min(int(to.size()), int(from.size()));
    for (int i = 0; i < n; ++i) to[i] = from[i];
}
template <class A, class B>
void assign(A& to, B&& from) {
    assign(to, from);
}

inline bool equal(float a, float b) { return a == b; }
inline bool equal(const Tuple& a, const Tuple& b) { return a == b; }
inline bool equal(const Color& a, const Color& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool equal(const Matrix& a, const Matrix& b) { return a == b; }
inline bool equal(OIIO::ustring a, OIIO::ustring b) { return a == b; }

inline Matrix quotient(const Matrix& a, const Matrix& b) { return a * b.inverse(); }
template <class A, class B>
auto quotient(const A& a, const B& b) {
    return a / b;
}

template <class T, class U>
T& addAssign(T& t, const U& u) {
    t = t + u;
    return t;
}
template <class T, class U>
T& subtractAssign(T& t, const U& u) {
    t = t - u;
    return t;
}
template <class T, class U>
T& multiplyAssign(T& t, const U& u) {
    t = t * u;
    return t;
}
template <class T, class U>
T& divideAssign(T& t, const U& u) {
    t = quotient(t, u);
    return t;
}

// ---------------------------------------------------------------------------------------------
// Math of the language.

inline float radians(float deg) { return ovo::radians(deg); }
inline float degrees(float rad) { return ovo::degrees(rad); }
inline float inversesqrt(float x) { return 1.0f / std::sqrt(x); }
inline float log(float x, float base) { return std::log(x) / std::log(base); }
// The result has the sign of b, as the language defines it.
inline float mod(float a, float b) { return a - b * std::floor(a / b); }
inline float sign(float x) { return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }
inline float step(float edge, float x) { return x < edge ? 0.0f : 1.0f; }
inline float smoothstep(float a, float b, float x) {
    if (x <= a) return 0.0f;
    if (x >= b) return 1.0f;
    const float t = (x - a) / (b - a);
    return t * t * (3.0f - 2.0f * t);
}
inline Color pow(const Color& c, float e) {
    return Color(std::pow(c.r, e), std::pow(c.g, e), std::pow(c.b, e));
}

inline float min(float a, float b) { return b < a ? b : a; }
inline float max(float a, float b) { return b > a ? b : a; }
inline Color min(const Color& a, const Color& b) {
    return Color(min(a.r, b.r), min(a.g, b.g), min(a.b, b.b));
}
inline Color max(const Color& a, const Color& b) {
    return Color(max(a.r, b.r), max(a.g, b.g), max(a.b, b.b));
}
inline Tuple min(const Tuple& a, const Tuple& b) {
    return Tuple(min(a.x, b.x), min(a.y, b.y), min(a.z, b.z));
}
inline Tuple max(const Tuple& a, const Tuple& b) {
    return Tuple(max(a.x, b.x), max(a.y, b.y), max(a.z, b.z));
}
template <class T, class... More>
T min(const T& a, const T& b, const T& c, const More&... more) {
    return min(min(a, b), c, more...);
}
template <class T, class... More>
T max(const T& a, const T& b, const T& c, const More&... more) {
    return max(max(a, b), c, more...);
}
template <class T>
T clamp(const T& x, const T& lo, const T& hi) {
    return min(max(x, lo), hi);
}

inline float mix(float a, float b, float t) { return a * (1.0f - t) + b * t; }
inline Color mix(const Color& a, const Color& b, float t) { return a * (1.0f - t) + b * t; }
inline Tuple mix(const Tuple& a, const Tuple& b, float t) { return a * (1.0f - t) + b * t; }
inline Color mix(const Color& a, const Color& b, const Color& t) {
    return a * (Color(1.0f) - t) + b * t;
}

// A step from 0 to 1 at `edge`, box-filtered over the width x covers in one pixel (or over
// [x0, x1]). Keywords: "width" scales the filter; "filter" is accepted (always a box).
inline float boxStep(float edge, float x0, float x1) {
    if (x1 <= x0) return x0 < edge ? 0.0f : 1.0f;
    return std::min(1.0f, std::max(0.0f, (x1 - edge) / (x1 - x0)));
}
inline float widthKeyword(int n, std::va_list args) {
    float width = 1.0f;
    for (int i = 0; i < n; ++i) {
        const OIIO::ustring key = va_arg(args, OIIO::ustring);
        if (key == OIIO::ustring("width")) {
            width = float(va_arg(args, double));
        } else if (key == OIIO::ustring("filter")) {
            (void)va_arg(args, OIIO::ustring);
        } else {
            break;
        }
    }
    return width;
}
inline float filterstep(ShaderEnvironment& env, int at, float edge, float x, int n, ...) {
    std::va_list args;
    va_start(args, n);
    const float scale = widthKeyword(n, args);
    va_end(args);
    // Du and Dv of one value read the same site.
    const float w =
        scale * (std::fabs(Du(env, at, x) * env.du) + std::fabs(Dv(env, at, x) * env.dv));
    return boxStep(edge, x - 0.5f * w, x + 0.5f * w);
}
inline float filterstep(float edge, float x0, float x1, int n, ...) {
    std::va_list args;
    va_start(args, n);
    const float scale = widthKeyword(n, args);
    va_end(args);
    const float centre = 0.5f * (x0 + x1), half = 0.5f * scale * std::fabs(x1 - x0);
    return boxStep(edge, centre - half, centre + half);
}

inline float randomf() { return ovo::random(); }
inline Color randomc() {
    const float r = ovo::random(), g = ovo::random();
    return Color(r, g, ovo::random());
}
inline Tuple randomp() {
    const float x = ovo::random(), y = ovo::random();
    return Tuple(x, y, ovo::random());
}

// ---------------------------------------------------------------------------------------------
// Components, geometry and matrices.

inline int component(float i, int n) {
    return i <= 0.0f ? 0 : (i >= float(n - 1) ? n - 1 : int(i));
}
inline float comp(const Color& c, float i) { return c[component(i, 3)]; }
inline float comp(const Tuple& t, float i) { return t[component(i, 3)]; }
inline float comp(const Matrix& m, float row, float col) {
    return m.m[component(row, 4)][component(col, 4)];
}
inline void setcomp(Color& c, float i, float x) { c[component(i, 3)] = x; }
inline void setcomp(Tuple& t, float i, float x) { t[component(i, 3)] = x; }
inline void setcomp(Matrix& m, float row, float col, float x) {
    m.m[component(row, 4)][component(col, 4)] = x;
}

inline float distance(const Tuple& a, const Tuple& b) { return (a - b).length(); }
// N flipped to the side opposite I, judged against Nref.
inline Tuple faceforward(const Tuple& N, const Tuple& I, const Tuple& Nref) {
    return ovo::dot(I, Nref) > 0.0f ? -N : N;
}
// The refraction of I through a surface of normal N, eta the ratio of the indices; zero on
// total internal reflection.
inline Tuple refract(const Tuple& I, const Tuple& N, float eta) {
    const float c = ovo::dot(I, N);
    const float k = 1.0f - eta * eta * (1.0f - c * c);
    return k < 0.0f ? Tuple(0.0f) : I * eta - N * (eta * c + std::sqrt(k));
}

inline float determinant(const Matrix& m) { return m.determinant(); }
inline Matrix translate(const Matrix& m, const Tuple& t) {
    return m * ::Translate(t.x, t.y, t.z).m;
}
inline Matrix rotate(const Matrix& m, float angle, const Tuple& axis) {
    const float l = axis.length();
    if (l == 0.0f) return m;
    return m * ::Rotate(angle, ovo::Vector(axis / l)).m;
}
inline Matrix scale(const Matrix& m, const Tuple& s) { return m * ::Scale(s.x, s.y, s.z).m; }

// The matrix from the named space to current space, as transform() moves points.
inline Matrix spaceMatrix(ShaderEnvironment& env, OIIO::ustring space) {
    Tuple o(0.0f), x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f), z(0.0f, 0.0f, 1.0f);
    static const OIIO::ustring current("current");
    const Tuple origin = SL::transform(env, space, current, o);
    const Tuple ax = SL::vtransform(env, space, current, x);
    const Tuple ay = SL::vtransform(env, space, current, y);
    const Tuple az = SL::vtransform(env, space, current, z);
    return Matrix(ax.x, ay.x, az.x, origin.x, ax.y, ay.y, az.y, origin.y, ax.z, ay.z, az.z,
                  origin.z, 0.0f, 0.0f, 0.0f, 1.0f);
}

// ---------------------------------------------------------------------------------------------
// Strings and queries.

inline OIIO::ustring concat(std::initializer_list<OIIO::ustring> parts) {
    std::string s;
    for (OIIO::ustring p : parts) s += p.string();
    return OIIO::ustring(s);
}

// 1 when the regular expression `pattern` matches somewhere in `subject`. The compiled
// pattern is kept per thread: shaders match against the same pattern point after point.
inline float match(OIIO::ustring pattern, OIIO::ustring subject) {
    thread_local OIIO::ustring last;
    thread_local std::regex compiled;
    thread_local bool valid = false;
    if (pattern != last || last.empty()) {
        last = pattern;
        try {
            compiled = std::regex(pattern.string(), std::regex::extended);
            valid = true;
        } catch (const std::regex_error&) {
            valid = false;
        }
    }
    return valid && std::regex_search(subject.string(), compiled) ? 1.0f : 0.0f;
}

// option() into a float array ("Format" takes three values): the renderer fills what it knows.
template <class A>
float optionArray(ovo::ShaderEnvironment& env, OIIO::ustring& name, A& values) {
    Span<float> s = span(values);
    return s.size() > 0 ? SL::option(env, name, &s[0], s.size()) : 0.0f;
}

// Queries nobody answers here: 0, the output left as it was.
template <class T>
float noQuery(T&) {
    return 0.0f;
}
inline float rendererinfo(OIIO::ustring name, OIIO::ustring& out) {
    if (name == OIIO::ustring("renderer")) {
        out = OIIO::ustring("OVO");
        return 1.0f;
    }
    return 0.0f;
}

// Whether the current light belongs to an illuminance category: its "__category" string
// lists the categories it is in, separated by commas; "-name" asks for the lights outside.
inline bool inCategory(ShaderEnvironment& env, OIIO::ustring category) {
    if (category.empty()) return true;
    const bool negate = category[0] == '-';
    const std::string wanted = category.string().substr(negate ? 1 : 0);
    std::string categories;
    if (const ovo::Light* light = env.currentLight) {
        static const OIIO::ustring name("__category");
        const ovo::Shader::Argument* a = light->find(name);
        if (a && a->type.basetype() == ovo::TypeString && !a->type.isarray() &&
            env.currentLightData)
            categories = reinterpret_cast<const OIIO::ustring*>(
                             static_cast<const char*>(env.currentLightData) + a->offset)
                             ->string();
    }
    bool found = false;
    for (size_t start = 0; start <= categories.size();) {
        size_t end = categories.find(',', start);
        if (end == std::string::npos) end = categories.size();
        if (categories.compare(start, end - start, wanted) == 0) found = true;
        start = end + 1;
    }
    return negate ? !found : found;
}

}  // namespace slrt

// Noise, splines and text, which use the arrays above.
#include "compiler/runtime_library.h"  // IWYU pragma: export
