// Spline evaluation: the segment that t falls in, its four control values and the basis
// matrix applied as a cubic in the segment's own parameter.
#include "core/shading/sl/spline.h"

#include <algorithm>
#include <cstdarg>

#include "core/math/constants.h"
#include "core/shading/sl/strings.h"

namespace SL {

namespace {

// Rows are the coefficients of u^3, u^2, u and 1; step is how far consecutive segments
// advance through the values.
struct Basis {
    float m[4][4];
    unsigned step;
};

constexpr Basis Bezier = {{{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}}, 3};
constexpr Basis BSpline = {{{-1.0f / 6, 0.5f, -0.5f, 1.0f / 6},
                            {0.5f, -1, 0.5f, 0},
                            {-0.5f, 0, 0.5f, 0},
                            {1.0f / 6, 2.0f / 3, 1.0f / 6, 0}},
                           1};
constexpr Basis CatmullRom = {
    {{-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f}, {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}}, 1};
constexpr Basis Hermite = {{{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}}, 2};
constexpr Basis Power = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, 4};
constexpr Basis Linear = {{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, -1, 1, 0}, {0, 1, 0, 0}}, 1};

const Basis& findBasis(OIIO::ustring name) {
    if (name == strings::bezier) return Bezier;
    if (name == strings::bspline) return BSpline;
    if (name == strings::catmullrom) return CatmullRom;
    if (name == strings::hermite) return Hermite;
    if (name == strings::power) return Power;
    if (name == strings::linear) return Linear;
    return Power;
}

// Where t falls: the indices of the four control values (the last value repeated when there
// are fewer than four) and the parameter within the segment.
struct Segment {
    unsigned index[4];
    float u;
};

Segment findSegment(const Basis& b, float t, unsigned n) {
    t = ovo::clamp(t, 0.0f, 1.0f);
    const unsigned segments = n >= 4 ? (n - 4) / b.step + 1 : 1;
    const float x = float(segments) * t;
    unsigned seg = unsigned(x);
    if (seg >= segments) seg = segments - 1;  // t = 1 ends the last segment
    Segment s;
    s.u = x - float(seg);
    for (unsigned k = 0; k < 4; ++k) s.index[k] = std::min(seg * b.step + k, n - 1);
    return s;
}

template <class T>
T evaluate(const Basis& b, float u, const T* cv) {
    T c[4];
    for (int r = 0; r < 4; ++r)
        c[r] = cv[0] * b.m[r][0] + cv[1] * b.m[r][1] + cv[2] * b.m[r][2] + cv[3] * b.m[r][3];
    return ((c[0] * u + c[1]) * u + c[2]) * u + c[3];
}

template <class T>
T fromVector(const Basis& b, float t, const std::vector<T>& values) {
    if (values.empty()) return T(0.0f);
    const Segment s = findSegment(b, t, unsigned(values.size()));
    const T cv[4] = {values[s.index[0]], values[s.index[1]], values[s.index[2]],
                     values[s.index[3]]};
    return evaluate(b, s.u, cv);
}

inline void read(va_list& ap, float& v) { v = float(va_arg(ap, double)); }
inline void read(va_list& ap, Color& v) {
    for (int k = 0; k < 3; ++k) v[k] = float(va_arg(ap, double));
}
inline void read(va_list& ap, Tuple& v) {
    for (int k = 0; k < 3; ++k) v[k] = float(va_arg(ap, double));
}

// Reads the values up to the last control value, keeping only the control values.
template <class T>
T fromArguments(const Basis& b, float t, unsigned n, va_list& ap) {
    if (n == 0) return T(0.0f);
    const Segment s = findSegment(b, t, n);
    T cv[4];
    for (unsigned i = 0; i <= s.index[3]; ++i) {
        T v;
        read(ap, v);
        for (int k = 0; k < 4; ++k)
            if (s.index[k] == i) cv[k] = v;
    }
    return evaluate(b, s.u, cv);
}

}  // namespace

// The four shapes of each spline function: variadic or vector values, default or named basis.
#define OVO_SPLINE_FORMS(T, NAME)                                  \
    T NAME(float t, unsigned int n, ...) {                         \
        va_list ap;                                                \
        va_start(ap, n);                                           \
        const T r = fromArguments<T>(CatmullRom, t, n, ap);        \
        va_end(ap);                                                \
        return r;                                                  \
    }                                                              \
    T NAME(OIIO::ustring basis, float t, unsigned int n, ...) {    \
        va_list ap;                                                \
        va_start(ap, n);                                           \
        const T r = fromArguments<T>(findBasis(basis), t, n, ap);  \
        va_end(ap);                                                \
        return r;                                                  \
    }                                                              \
    T NAME(OIIO::ustring basis, float t, std::vector<T>& values) { \
        return fromVector(findBasis(basis), t, values);            \
    }                                                              \
    T NAME(float t, std::vector<T>& values) { return fromVector(CatmullRom, t, values); }

OVO_SPLINE_FORMS(float, splinef)
OVO_SPLINE_FORMS(Color, splinec)
OVO_SPLINE_FORMS(Tuple, splinep)

#undef OVO_SPLINE_FORMS

}  // namespace SL
