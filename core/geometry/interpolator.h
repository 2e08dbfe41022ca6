// Interpolators evaluate a primitive variable (or a shader argument) at a surface position
// (u, v) and give its derivatives there. Shapes make their own for per-vertex data; the
// constant and bilinear forms live here and also serve shader-argument bindings.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/math/matrix.h"
#include "core/math/tuple.h"

namespace ovo {

template <class T>
class Interpolator {
  public:
    Interpolator() {}
    Interpolator(const Interpolator&) {}
    Interpolator& operator=(const Interpolator&) { return *this; }

    virtual T value(float u, float v) const = 0;
    virtual T derivativeU(float u, float v) const = 0;
    virtual T derivativeV(float u, float v) const = 0;
    virtual const T* controlValue(int i) const = 0;
    virtual ~Interpolator() {}

    // Shapes made of many faces (meshes, point clouds) interpolate per face: the hit records
    // the face index beside the surface parameters. Single-piece interpolators ignore it.
    virtual T valueAt(unsigned /*face*/, float u, float v) const { return value(u, v); }
    virtual T derivativeUAt(unsigned /*face*/, float u, float v) const { return derivativeU(u, v); }
    virtual T derivativeVAt(unsigned /*face*/, float u, float v) const { return derivativeV(u, v); }
};

namespace detail {
template <class T>
inline T zeroOf() {
    return T(0.0f);
}
template <>
inline float zeroOf<float>() {
    return 0.0f;
}
template <>
inline OIIO::ustring zeroOf<OIIO::ustring>() {
    return OIIO::ustring();
}
}  // namespace detail

template <class T>
class ConstantInterpolator : public Interpolator<T> {
  public:
    explicit ConstantInterpolator(const T& v) : val(v) {}
    T value(float, float) const override { return val; }
    T derivativeU(float, float) const override { return detail::zeroOf<T>(); }
    T derivativeV(float, float) const override { return detail::zeroOf<T>(); }
    const T* controlValue(int) const override { return &val; }

  private:
    T val;
};

// Corners c0..c3 are the values at (0,0), (1,0), (0,1), (1,1).
template <class T>
class BilinearInterpolator : public Interpolator<T> {
  public:
    BilinearInterpolator(const T& c0, const T& c1, const T& c2, const T& c3) : c{c0, c1, c2, c3} {}
    explicit BilinearInterpolator(const T* corners)
        : c{corners[0], corners[1], corners[2], corners[3]} {}

    T value(float u, float v) const override {
        return (1.0f - v) * ((1.0f - u) * c[0] + u * c[1]) + v * ((1.0f - u) * c[2] + u * c[3]);
    }
    T derivativeU(float, float v) const override {
        return (1.0f - v) * (c[1] - c[0]) + v * (c[3] - c[2]);
    }
    T derivativeV(float u, float) const override {
        return (1.0f - u) * (c[2] - c[0]) + u * (c[3] - c[1]);
    }
    const T* controlValue(int i) const override { return &c[i]; }

  private:
    T c[4];
};

}  // namespace ovo
