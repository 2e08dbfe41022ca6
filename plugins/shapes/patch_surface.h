// What the patch shapes share before tracing: the layout of a surface made of rational
// Bézier pieces (bilinear and bicubic patches and patch meshes, NURBS), its control values
// read from the parameters and converted into pieces, and the interpolators of its primitive
// variables. Pieces are numbered row by row (v outer), and a hit records its piece as `face`
// with the piece's own parameters (0..1) as su and sv.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugins/shapes/bezier.h"
#include "plugins/shapes/patch_basis.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {

struct PatchLayout {
    Direction u, v;
    int nu = 0, nv = 0;     // control values along u and v
    bool rational = false;  // points and vertex values carry weights (value·w, w)
    std::shared_ptr<const std::vector<uint32_t>> uniformOf;  // piece -> uniform value

    int p() const { return u.degree; }
    int q() const { return v.degree; }
    int columns() const { return int(u.segments.size()); }
    int rows() const { return int(v.segments.size()); }
    std::size_t pieces() const { return u.segments.size() * v.segments.size(); }
    int perPiece() const { return (p() + 1) * (q() + 1); }
    const Segment& su(unsigned piece) const { return u.segments[piece % unsigned(columns())]; }
    const Segment& sv(unsigned piece) const { return v.segments[piece / unsigned(columns())]; }
    std::size_t varyingCount() const { return std::size_t(u.spans + 1) * std::size_t(v.spans + 1); }
    std::size_t uniformCount() const { return std::size_t(u.spans) * std::size_t(v.spans); }

    // Fills uniformOf once the segments are known.
    void finish() {
        auto map = std::make_shared<std::vector<uint32_t>>(pieces());
        for (int j = 0; j < rows(); ++j)
            for (int i = 0; i < columns(); ++i)
                (*map)[std::size_t(j) * std::size_t(columns()) + std::size_t(i)] = uint32_t(
                    v.segments[std::size_t(j)].span * u.spans + u.segments[std::size_t(i)].span);
        uniformOf = map;
    }
};

// A control grid of nu × nv values of D floats (u fastest) as pieces: piece after piece, each
// (p + 1)·(q + 1) values of D floats with u fastest.
inline std::vector<float> toPieces(const PatchLayout& L, const float* grid, int D) {
    const int nsu = L.columns(), nsv = L.rows(), p1 = L.p() + 1, q1 = L.q() + 1;
    const std::size_t rowWidth = std::size_t(nsu) * std::size_t(p1) * std::size_t(D);
    std::vector<float> rows(std::size_t(L.nv) * rowWidth);
    for (int j = 0; j < L.nv; ++j)
        for (int k = 0; k < nsu; ++k)
            L.u.toBezier(k, grid + std::size_t(j) * std::size_t(L.nu) * std::size_t(D),
                         std::size_t(D), D,
                         &rows[std::size_t(j) * rowWidth + std::size_t(k * p1 * D)]);
    std::vector<float> out(L.pieces() * std::size_t(p1 * q1 * D));
    std::vector<float> column(std::size_t(q1 * D));
    for (int m = 0; m < nsv; ++m)
        for (int k = 0; k < nsu; ++k)
            for (int a = 0; a < p1; ++a) {
                L.v.toBezier(m, &rows[std::size_t((k * p1 + a) * D)], rowWidth, D, column.data());
                float* piece = &out[(std::size_t(m) * std::size_t(nsu) + std::size_t(k)) *
                                    std::size_t(p1 * q1 * D)];
                for (int b = 0; b < q1; ++b)
                    for (int c = 0; c < D; ++c)
                        piece[(b * p1 + a) * D + c] = column[std::size_t(b * D + c)];
            }
    return out;
}

// The homogeneous control points of a patch from "P", "Pw" or "Pz": (x·w, y·w, z·w, w) for
// nu × nv points. "Pz" gives heights over the unit square, spaced evenly. False after
// reporting when they are missing, short, not finite or not of positive weight.
inline bool readControlPoints(RendererAPI& renderer, const char* type, const ParameterSet& params,
                              int nu, int nv, std::vector<float>& h, bool& rational) {
    const std::size_t n = std::size_t(nu) * std::size_t(nv);
    rational = false;
    const float* data = nullptr;
    int stride = 3;
    const Parameter* found = nullptr;
    if (Parameter* p = params.find("P", TypePoint)) {
        found = p;
    } else if (Parameter* pw = params.find("Pw", TypeHPoint)) {
        found = pw;
        stride = 4;
        rational = true;
    } else if (Parameter* pz = params.find("Pz", TypeFloat)) {
        found = pz;
        stride = 1;
    }
    if (found) data = found->getFloats();
    if (!data) {
        refuse(renderer, "%s: \"P\" is missing. Ignoring ...", type);
        return false;
    }
    if (tooShort(*found, n)) {
        refuse(renderer, "%s: \"%s\" holds %zu points; the patch needs %zu. Ignoring ...", type,
               found->name().c_str(), declaredValues(*found), n);
        return false;
    }
    h.resize(4 * n);
    for (std::size_t k = 0; k < n; ++k) {
        const float* f = data + k * std::size_t(stride);
        float* o = &h[4 * k];
        if (stride == 1) {
            const int i = int(k % std::size_t(nu)), j = int(k / std::size_t(nu));
            o[0] = nu > 1 ? float(i) / float(nu - 1) : 0.0f;
            o[1] = nv > 1 ? float(j) / float(nv - 1) : 0.0f;
            o[2] = f[0];
            o[3] = 1.0f;
        } else {
            o[0] = f[0];
            o[1] = f[1];
            o[2] = f[2];
            o[3] = stride == 4 ? f[3] : 1.0f;
        }
        bool finite = true;
        for (int c = 0; c < 4; ++c) finite = finite && std::isfinite(o[c]);
        if (!finite) {
            refuse(renderer, "%s: point %zu of \"%s\" is not finite. Ignoring ...", type, k,
                   found->name().c_str());
            return false;
        }
        if (!(o[3] > 0.0f)) {
            refuse(renderer,
                   "%s: point %zu of \"Pw\" has weight %g; it must be above 0. "
                   "Ignoring ...",
                   type, k, double(o[3]));
            return false;
        }
    }
    return true;
}

// The derivatives a piece gives in its own parameters, taken to the shape's (u, v).
inline float perShapeU(const PatchLayout& L, unsigned piece) {
    const Segment& s = L.su(piece);
    return 1.0f / (s.hi - s.lo);
}
inline float perShapeV(const PatchLayout& L, unsigned piece) {
    const Segment& s = L.sv(piece);
    return 1.0f / (s.hi - s.lo);
}

template <class T>
T fromFloats(const float* f) {
    return readValue<T>(f);
}

// A vertex variable: interpolated like the points, through the same pieces (and weights).
template <class T>
class PatchVertexInterpolator : public Interpolator<T> {
  public:
    static constexpr int D = floatsOf<T>();

    PatchVertexInterpolator(std::shared_ptr<const PatchLayout> layout, std::vector<float> pieces)
        : layout(std::move(layout)), values(std::move(pieces)) {}

    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    // The values are kept converted (in Bézier form), not as given.
    const T* controlValue(int) const override { return nullptr; }
    T valueAt(unsigned face, float s, float t) const override { return eval(face, s, t, 0); }
    T derivativeUAt(unsigned face, float s, float t) const override {
        return T(perShapeU(*layout, face) * eval(face, s, t, 1));
    }
    T derivativeVAt(unsigned face, float s, float t) const override {
        return T(perShapeV(*layout, face) * eval(face, s, t, 2));
    }

  private:
    // Slot 0 the value, 1 and 2 the derivatives in the piece's parameters.
    T eval(unsigned face, float s, float t, int slot) const {
        const PatchLayout& L = *layout;
        const bool rational = L.rational;
        const int W = rational ? D + 1 : D;
        const BasisAt bu(L.p(), s), bv(L.q(), t);
        float h[6 * (D + 1)];
        tensor(&values[std::size_t(face) * std::size_t(L.perPiece() * W)], L.p(), L.q(), W, bu, bv,
               h);
        if (!rational) return fromFloats<T>(h + slot * D);
        struct Out {
            float v[D];
            float& operator[](int k) { return v[k]; }
        } out[6];
        project(h, D, out);
        return fromFloats<T>(out[slot].v);
    }

    std::shared_ptr<const PatchLayout> layout;
    std::vector<float> values;  // homogeneous (value·w, w) when rational
};

// A varying variable: given at the corners of the spans, bilinear in each span.
template <class T>
class PatchVaryingInterpolator : public Interpolator<T> {
  public:
    PatchVaryingInterpolator(std::shared_ptr<const PatchLayout> layout, std::vector<T> corners)
        : layout(std::move(layout)), corners(std::move(corners)) {}

    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const T* controlValue(int i) const override { return &corners[std::size_t(i)]; }
    T valueAt(unsigned face, float s, float t) const override {
        const Corners c = at(face);
        const float x = c.su->f0 + s * (c.su->f1 - c.su->f0);
        const float y = c.sv->f0 + t * (c.sv->f1 - c.sv->f0);
        return T((1.0f - y) * ((1.0f - x) * *c.c00 + x * *c.c10) +
                 y * ((1.0f - x) * *c.c01 + x * *c.c11));
    }
    T derivativeUAt(unsigned face, float, float t) const override {
        const Corners c = at(face);
        const float y = c.sv->f0 + t * (c.sv->f1 - c.sv->f0);
        const float scale = (c.su->f1 - c.su->f0) * perShapeU(*layout, face);
        return T(scale * ((1.0f - y) * (*c.c10 - *c.c00) + y * (*c.c11 - *c.c01)));
    }
    T derivativeVAt(unsigned face, float s, float) const override {
        const Corners c = at(face);
        const float x = c.su->f0 + s * (c.su->f1 - c.su->f0);
        const float scale = (c.sv->f1 - c.sv->f0) * perShapeV(*layout, face);
        return T(scale * ((1.0f - x) * (*c.c01 - *c.c00) + x * (*c.c11 - *c.c10)));
    }

  private:
    struct Corners {
        const Segment* su;
        const Segment* sv;
        const T *c00, *c10, *c01, *c11;
    };
    Corners at(unsigned face) const {
        const PatchLayout& L = *layout;
        Corners c;
        c.su = &L.su(face);
        c.sv = &L.sv(face);
        const std::size_t width = std::size_t(L.u.spans + 1);
        const std::size_t i = std::size_t(c.su->span), j = std::size_t(c.sv->span);
        c.c00 = &corners[j * width + i];
        c.c10 = &corners[j * width + i + 1];
        c.c01 = &corners[(j + 1) * width + i];
        c.c11 = &corners[(j + 1) * width + i + 1];
        return c;
    }

    std::shared_ptr<const PatchLayout> layout;
    std::vector<T> corners;
};

// A primitive variable of a patch surface: constant, one value per span ("perpiece"), one per
// corner of the spans ("linear", also face-varying data), or one per control point ("vertex",
// interpolated like the points). `controlWeights` are the weights of a rational surface's
// control points (empty otherwise).
template <class T>
Interpolator<T>* patchVariable(const std::shared_ptr<const PatchLayout>& layout,
                               const std::vector<float>& controlWeights, const Parameter& p,
                               int stride, int offset, bool packed) {
    if (!fitsVariable<T>(p, packed)) return nullptr;
    const PatchLayout& L = *layout;
    switch (p.type().interpolation()) {
        case InterpConstant:
            return constantFrom<T>(p, offset);
        case InterpPerPiece: {
            if (L.uniformCount() == 1) return constantFrom<T>(p, offset);
            std::vector<T> values = readValues<T>(p, L.uniformCount(), stride, offset);
            if (values.empty()) return nullptr;
            return new PieceInterpolator<T>(std::move(values), L.uniformOf);
        }
        case InterpLinear: {
            std::vector<T> values = readValues<T>(p, L.varyingCount(), stride, offset);
            if (values.empty()) return nullptr;
            return new PatchVaryingInterpolator<T>(layout, std::move(values));
        }
        default: {
            constexpr int D = floatsOf<T>();
            const std::size_t n = std::size_t(L.nu) * std::size_t(L.nv);
            const std::vector<T> values = readValues<T>(p, n, stride, offset);
            if (values.empty()) return nullptr;
            const int W = controlWeights.empty() ? D : D + 1;
            std::vector<float> grid(n * std::size_t(W));
            for (std::size_t k = 0; k < n; ++k) {
                const float w = controlWeights.empty() ? 1.0f : controlWeights[k];
                const T& x = values[k];
                for (int c = 0; c < D; ++c)
                    grid[k * std::size_t(W) + std::size_t(c)] =
                        w * reinterpret_cast<const float*>(&x)[c];
                if (W > D) grid[k * std::size_t(W) + std::size_t(D)] = w;
            }
            return new PatchVertexInterpolator<T>(layout, toPieces(L, grid.data(), W));
        }
    }
}

}  // namespace shapes
}  // namespace ovo
