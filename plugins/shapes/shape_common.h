// Helpers shared by the shape plugins: diagnostics, parameter reading, and the primitive
// variables that do not depend on how a shape is parameterised.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/geometry/interpolator.h"
#include "core/geometry/shape.h"
#include "core/math/constants.h"
#include "core/math/tuple.h"
#include "core/params/parameter.h"

namespace ovo {
namespace shapes {

// Reports a refused shape at level Error; the caller then returns null.
inline void refuse(RendererAPI& renderer, const char* format, ...) OVO_PRINTF(2, 3);
inline void refuse(RendererAPI& renderer, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (ErrorManager* errors = renderer.GetErrorManager()) errors->Error("%s", text);
}

// Runs a shape constructor, turning an exception (an allocation too large for the memory,
// above all) into a report and no shape.
template <class Make>
Shape* guarded(RendererAPI& renderer, const char* type, Make make) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
        refuse(renderer, "%s: out of memory. Ignoring ...", type);
    } catch (const std::exception& e) {
        refuse(renderer, "%s: %s. Ignoring ...", type, e.what());
    }
    return nullptr;
}

// Values of `perValue` elements each that a parameter declares, or 0 when it does not tell:
// the scene interface pushes a per-vertex array as one value whose real length only the
// caller knows (the scene reader has checked it against the primitive). An open array
// counts its elements in the number of values.
inline std::size_t declaredValues(const Parameter& p, std::size_t perValue = 1) {
    const std::size_t count = p.type().arraylen();
    const std::size_t n = p.nvalues() > 0 ? std::size_t(p.nvalues()) : 0;
    if (count == 0) return n > 1 ? n / perValue : 0;
    if (n > 1 || count > perValue) return count * n / perValue;
    return 0;
}

// True when a parameter that declares its length holds fewer than `needed` values.
inline bool tooShort(const Parameter& p, std::size_t needed, std::size_t perValue = 1) {
    const std::size_t n = declaredValues(p, perValue);
    return n != 0 && n < needed;
}

// The positions of a shape: "P", or "Pw" divided by w. Null when neither is given.
struct Positions {
    const float* data = nullptr;
    int stride = 3;            // floats per point: 3 for "P", 4 for "Pw"
    std::size_t declared = 0;  // points declared, 0 when unknown

    bool found() const { return data != nullptr; }
    Point at(std::size_t i) const {
        const float* p = data + i * std::size_t(stride);
        if (stride == 4) {
            const float w = p[3] != 0.0f ? p[3] : 1.0f;
            return Point(p[0] / w, p[1] / w, p[2] / w);
        }
        return Point(p[0], p[1], p[2]);
    }
};

inline Positions findPositions(const ParameterSet& params) {
    Positions pos;
    if (Parameter* p = params.find("P", TypePoint)) {
        pos.data = p->getFloats();
        pos.stride = 3;
        pos.declared = declaredValues(*p);
    } else if (Parameter* pw = params.find("Pw", TypeHPoint)) {
        pos.data = pw->getFloats();
        pos.stride = 4;
        pos.declared = declaredValues(*pw);
    }
    return pos;
}

// One value of a primitive variable read from its packed floats.
template <class T>
T readValue(const float* f);
template <>
inline float readValue<float>(const float* f) {
    return f[0];
}
template <>
inline Color readValue<Color>(const float* f) {
    return Color(f[0], f[1], f[2]);
}
template <>
inline Normal readValue<Normal>(const float* f) {
    return Normal(f[0], f[1], f[2]);
}

template <class T>
constexpr int floatsOf() {
    return std::is_same<T, float>::value ? 1 : 3;
}

template <class T>
constexpr BaseType baseTypeOf() {
    return std::is_same<T, float>::value ? TypeFloat
                                         : (std::is_same<T, Color>::value ? TypeColor : TypeNormal);
}

// Reads `n` values of a parameter, `stride` floats apart starting at `offset` (so that "st"
// yields its s and its t). Empty when the parameter is too short or has no data.
template <class T>
std::vector<T> readValues(const Parameter& p, std::size_t n, int stride = floatsOf<T>(),
                          int offset = 0) {
    std::vector<T> values;
    const float* f = p.getFloats();
    if (!f || n == 0) return values;
    const std::size_t floatsPerElement =
        std::size_t(ParamType::BaseTypeNFloats(p.type().basetype()));
    if (floatsPerElement == 0) return values;
    if (tooShort(p, n, std::max<std::size_t>(1, std::size_t(stride) / floatsPerElement)))
        return values;
    values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) values.push_back(readValue<T>(f + i * stride + offset));
    return values;
}

// A value that differs on each piece of a shape made of many (a particle, a mesh polygon):
// constant over the piece. `pieceOfFace` maps faces to pieces when they differ.
template <class T>
class PieceInterpolator : public Interpolator<T> {
  public:
    PieceInterpolator(std::vector<T> values,
                      std::shared_ptr<const std::vector<uint32_t>> pieceOfFace)
        : values(std::move(values)), pieceOfFace(std::move(pieceOfFace)) {}
    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float, float) const override { return detail::zeroOf<T>(); }
    T derivativeV(float, float) const override { return detail::zeroOf<T>(); }
    const T* controlValue(int i) const override { return &values[std::size_t(i)]; }
    T valueAt(unsigned face, float, float) const override {
        return values[pieceOfFace ? (*pieceOfFace)[face] : face];
    }
    T derivativeUAt(unsigned, float, float) const override { return detail::zeroOf<T>(); }
    T derivativeVAt(unsigned, float, float) const override { return detail::zeroOf<T>(); }

  private:
    std::vector<T> values;
    std::shared_ptr<const std::vector<uint32_t>> pieceOfFace;
};

// A value given at the vertices of a triangulated shape, interpolated over each triangle
// with the barycentrics of its second and third vertices (the hit's su and sv).
template <class T>
class VertexInterpolator : public Interpolator<T> {
  public:
    VertexInterpolator(std::vector<T> values,
                       std::shared_ptr<const std::vector<uint32_t>> triangles)
        : values(std::move(values)), triangles(std::move(triangles)) {}
    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const T* controlValue(int i) const override { return &values[std::size_t(i)]; }
    T valueAt(unsigned face, float u, float v) const override {
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T((1.0f - u - v) * values[t[0]] + u * values[t[1]] + v * values[t[2]]);
    }
    T derivativeUAt(unsigned face, float, float) const override {
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T(values[t[1]] - values[t[0]]);
    }
    T derivativeVAt(unsigned face, float, float) const override {
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T(values[t[2]] - values[t[0]]);
    }

  private:
    std::vector<T> values;
    std::shared_ptr<const std::vector<uint32_t>> triangles;
};

// A constant interpolator from the first value of a parameter.
template <class T>
Interpolator<T>* constantFrom(const Parameter& p, int offset = 0) {
    return new ConstantInterpolator<T>(readValue<T>(p.getFloats() + offset));
}

// Whether a parameter can be a primitive variable of type T: the base type matches, it has
// values, and it holds one element per value unless `packed` (as "st" is).
template <class T>
bool fitsVariable(const Parameter& p, bool packed) {
    return p.type().basetype() == baseTypeOf<T>() && p.getFloats() &&
           (packed || p.type().arraylen() <= 1);
}

// Constant and per-piece values: one value for a shape that is all one piece.
inline bool oneValue(const Parameter& p) {
    return p.type().interpolation() == InterpConstant || p.type().interpolation() == InterpPerPiece;
}

// A shape that makes the interpolators of its primitive variables ("N", "C", "opacity", "s",
// "t", and "st", which gives s and t together) in one way for every type:
// Derived::variable<T>(p, stride, offset, packed) reads the values `stride` floats apart from
// `offset` and answers null when the parameter does not fit the shape.
template <class Derived>
class VariableShape : public Shape {
  public:
    Interpolator<float>* createFloatInterpolator(Parameter& p) override {
        return self().template variable<float>(p, 1, 0, false);
    }
    Interpolator<Color>* createColorInterpolator(Parameter& p) override {
        return self().template variable<Color>(p, 3, 0, false);
    }
    Interpolator<Normal>* createNormalInterpolator(Parameter& p) override {
        return self().template variable<Normal>(p, 3, 0, false);
    }

    void readSt(const ParameterSet& params) {
        Parameter* st = params.find("st", TypeFloat);
        if (!st || !st->getFloats()) return;
        setS(self().template variable<float>(*st, 2, 0, true));
        setT(self().template variable<float>(*st, 2, 1, true));
    }

  protected:
    using Shape::Shape;

  private:
    const Derived& self() const { return static_cast<const Derived&>(*this); }
};

// atan2(y, x) to within three units in the last place, with the same signs, zeros and NaNs,
// at a third of the C library's cost: every hit on a quadric takes one or two. The smaller
// magnitude over the larger is carried below tan(pi/8) by the angle-difference identity, where
// Cephes' polynomial for atan holds; the branches are selects, as the quadrants of successive
// hits follow no pattern.
inline float arcTangent(float y, float x) {
    if (x != x || y != y) return x + y;
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float lo = std::fmin(ax, ay), hi = std::fmax(ax, ay);
    const bool past = lo > 0.414213562f * hi;  // tan(pi/8)
    const float num = past ? lo - hi : lo, den = past ? lo + hi : hi;
    const float a = hi == 0.0f ? 0.0f : num / den;
    const float z = a * a;
    float r = (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z -
               3.33329491539e-1f) *
                  z * a +
              a;
    r += past ? PiOver4 : 0.0f;
    r = ay > ax ? PiOver2 - r : r;
    r = std::signbit(x) ? Pi - r : r;
    return std::copysign(r, y);
}

// The angle of (x, y) about the z axis, in [0, 2 pi].
inline float angleAboutZ(float x, float y) {
    float phi = arcTangent(y, x);
    if (phi < 0.0f) phi += TwoPi;
    return phi;
}

// The latitude of the offset (x, y, z) from a sphere's centre. atan2 keeps its precision near
// the poles, where asin(z / r) loses it.
inline float latitude(float x, float y, float z) { return arcTangent(z, std::sqrt(x * x + y * y)); }

// Bounds of the part of an annulus of radii rmin..rmax swept from angle 0 to thetaMax, at
// heights zmin..zmax. Along a fixed angle the coordinates are linear in the radius, and along
// a circle they peak at the ends of the sweep or on the axes.
inline Aabb sweepBound(float rmin, float rmax, float thetaMax, float zmin, float zmax) {
    float angles[6];
    int n = 0;
    angles[n++] = 0.0f;
    angles[n++] = thetaMax;
    for (int k = 1; k <= 3; ++k)
        if (k * PiOver2 < thetaMax) angles[n++] = k * PiOver2;
    Aabb box(Point(rmax, 0.0f, zmin));
    box += Point(rmax, 0.0f, zmax);
    for (int i = 0; i < n; ++i) {
        const float c = std::cos(angles[i]), s = std::sin(angles[i]);
        box += Point(rmin * c, rmin * s, zmin);
        box += Point(rmax * c, rmax * s, zmin);
        box += Point(rmin * c, rmin * s, zmax);
        box += Point(rmax * c, rmax * s, zmax);
    }
    // The trigonometry rounds: keep points computed on the surface inside.
    box.expand(1e-5f * (std::fabs(rmax) + std::fabs(zmin) + std::fabs(zmax)));
    return box;
}

// Real roots of a·t² + b·t + c in increasing order, without the cancellation of the textbook
// formula (rays nearly parallel to a cone's side or starting on a surface need it).
inline int solveQuadratic(double a, double b, double c, double t[2]) {
    if (a == 0.0) {
        if (b == 0.0) return 0;
        t[0] = -c / b;
        return 1;
    }
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0) return 0;
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    double t0 = q / a;
    double t1 = q != 0.0 ? c / q : t0;
    if (t0 > t1) std::swap(t0, t1);
    t[0] = t0;
    t[1] = t1;
    return 2;
}

// The unit vector of n, or n itself when it has no length (a degenerate point of a surface).
inline Normal unitOrZero(const Tuple& n) {
    const float l = n.length();
    return l > 0.0f ? Normal(n.x / l, n.y / l, n.z / l) : Normal(n);
}

}  // namespace shapes
}  // namespace ovo
