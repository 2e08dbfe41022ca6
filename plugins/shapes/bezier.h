// Rational Bézier tensor pieces: the Bernstein polynomials with their derivatives, and a
// piece's point, first and second derivatives from its homogeneous control points. Every
// patch shape, whatever its basis or knot vector, is traced as such pieces.
#pragma once

#include <cmath>

#include "core/math/tuple.h"

namespace ovo {
namespace shapes {

// The highest order (degree + 1) a piece may have in either direction; evaluation keeps its
// scratch on the stack.
constexpr int MaxOrder = 16;

// The Bernstein polynomials of degree n at s, and their first and second derivatives.
inline void bernstein(int n, float s, float* b, float* db, float* ddb) {
    // Rows of the triangle B^k for k = 0..n; rows n-1 and n-2 give the derivatives.
    float row[MaxOrder], prev1[MaxOrder], prev2[MaxOrder];
    const float r = 1.0f - s;
    row[0] = 1.0f;
    for (int i = 1; i <= n; ++i) row[i] = 0.0f;
    for (int i = 0; i <= n; ++i) prev1[i] = prev2[i] = 0.0f;
    for (int k = 1; k <= n; ++k) {
        for (int i = 0; i <= n; ++i) {
            prev2[i] = prev1[i];
            prev1[i] = row[i];
        }
        for (int i = k; i >= 1; --i) row[i] = r * row[i] + s * row[i - 1];
        row[0] = r * row[0];
    }
    const float fn = float(n);
    for (int i = 0; i <= n; ++i) {
        b[i] = row[i];
        if (n == 0) {
            db[i] = ddb[i] = 0.0f;
            continue;
        }
        const float lo1 = i >= 1 ? prev1[i - 1] : 0.0f, hi1 = i <= n - 1 ? prev1[i] : 0.0f;
        db[i] = fn * (lo1 - hi1);
        if (n < 2) {
            ddb[i] = 0.0f;
            continue;
        }
        const float a = i >= 2 ? prev2[i - 2] : 0.0f;
        const float c = (i >= 1 && i - 1 <= n - 2) ? prev2[i - 1] : 0.0f;
        const float d = i <= n - 2 ? prev2[i] : 0.0f;
        ddb[i] = fn * (fn - 1.0f) * (a - 2.0f * c + d);
    }
}

// The Bernstein weights of one direction at one parameter.
struct BasisAt {
    float b[MaxOrder], db[MaxOrder], ddb[MaxOrder];
    BasisAt(int n, float s) { bernstein(n, s, b, db, ddb); }
};

// A surface point with its derivatives in the piece's own parameters.
struct Frame {
    Point P = Point(0.0f);
    Vector Pu = Vector(0.0f), Pv = Vector(0.0f);
    Vector Puu = Vector(0.0f), Puv = Vector(0.0f), Pvv = Vector(0.0f);
};

// The value and derivatives of D-float values over a piece of degree p × q whose control
// values c[(b·(p+1) + a)·D + k] are weighted by the two bases: out[0..5] hold the value and
// its u, v, uu, uv, vv derivatives, D floats each.
inline void tensor(const float* c, int p, int q, int D, const BasisAt& u, const BasisAt& v,
                   float* out) {
    for (int i = 0; i < 6 * D; ++i) out[i] = 0.0f;
    for (int bi = 0; bi <= q; ++bi) {
        for (int k = 0; k < D; ++k) {
            float r = 0.0f, ru = 0.0f, ruu = 0.0f;
            for (int ai = 0; ai <= p; ++ai) {
                const float x = c[(bi * (p + 1) + ai) * D + k];
                r += u.b[ai] * x;
                ru += u.db[ai] * x;
                ruu += u.ddb[ai] * x;
            }
            out[k] += v.b[bi] * r;
            out[D + k] += v.b[bi] * ru;
            out[2 * D + k] += v.db[bi] * r;
            out[3 * D + k] += v.b[bi] * ruu;
            out[4 * D + k] += v.db[bi] * ru;
            out[5 * D + k] += v.ddb[bi] * r;
        }
    }
}

// Divides a homogeneous value (D floats, then its weight, each with five derivatives: the
// layout of `tensor` with D + 1 floats) by its weight, with the quotient rule for the
// derivatives. v[0..5] receive the value and its u, v, uu, uv, vv derivatives.
template <class T>
inline void project(const float* h, int D, T* v) {
    const int W = D + 1;
    const float w = h[D], wu = h[W + D], wv = h[2 * W + D];
    const float wuu = h[3 * W + D], wuv = h[4 * W + D], wvv = h[5 * W + D];
    const float inv = w != 0.0f ? 1.0f / w : 0.0f;
    for (int k = 0; k < D; ++k) {
        const float A = h[k], Au = h[W + k], Av = h[2 * W + k];
        const float Auu = h[3 * W + k], Auv = h[4 * W + k], Avv = h[5 * W + k];
        const float P = A * inv;
        const float Pu = (Au - wu * P) * inv, Pv = (Av - wv * P) * inv;
        v[0][k] = P;
        v[1][k] = Pu;
        v[2][k] = Pv;
        v[3][k] = (Auu - 2.0f * wu * Pu - wuu * P) * inv;
        v[4][k] = (Auv - wu * Pv - wv * Pu - wuv * P) * inv;
        v[5][k] = (Avv - 2.0f * wv * Pv - wvv * P) * inv;
    }
}

// The point and derivatives of a rational piece at (s, t) from its homogeneous control points
// (x·w, y·w, z·w, w).
inline Frame rationalFrame(const float* hpoints, int p, int q, float s, float t) {
    const BasisAt bu(p, s), bv(q, t);
    float h[24];
    tensor(hpoints, p, q, 4, bu, bv, h);
    struct Triple {
        float v[3];
        float& operator[](int k) { return v[k]; }
    } out[6];
    project(h, 3, out);
    Frame f;
    f.P = Point(out[0].v[0], out[0].v[1], out[0].v[2]);
    f.Pu = Vector(out[1].v[0], out[1].v[1], out[1].v[2]);
    f.Pv = Vector(out[2].v[0], out[2].v[1], out[2].v[2]);
    f.Puu = Vector(out[3].v[0], out[3].v[1], out[3].v[2]);
    f.Puv = Vector(out[4].v[0], out[4].v[1], out[4].v[2]);
    f.Pvv = Vector(out[5].v[0], out[5].v[1], out[5].v[2]);
    return f;
}

}  // namespace shapes
}  // namespace ovo
