// 4x4 single-precision matrix, stored row by row, acting on column vectors (p' = M·p): the
// translation of an affine matrix is its fourth column. Products and point transforms are
// inline; the heavier operations (determinant, inverse, decompositions) live in matrix.cpp.
#pragma once

#include "core/math/tuple.h"

namespace ovo {

struct UnMatrix;

class Matrix {
  public:
    float m[4][4];

    static const Matrix Identity;

    Matrix() = default;
    // s on the diagonal: Matrix(1) is the identity.
    constexpr explicit Matrix(float s)
        : m{{s, 0.0f, 0.0f, 0.0f},
            {0.0f, s, 0.0f, 0.0f},
            {0.0f, 0.0f, s, 0.0f},
            {0.0f, 0.0f, 0.0f, s}} {}
    constexpr Matrix(float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                     float m13, float m20, float m21, float m22, float m23, float m30, float m31,
                     float m32, float m33)
        : m{{m00, m01, m02, m03},
            {m10, m11, m12, m13},
            {m20, m21, m22, m23},
            {m30, m31, m32, m33}} {}
    explicit Matrix(const float* v) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m[i][j] = v[4 * i + j];
    }
    explicit Matrix(const float (*v)[4]) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m[i][j] = v[i][j];
    }
    // Rotation by angle (radians) about axis, right-handed under p' = M·p. The axis must be of
    // unit length for the result to be a rotation; it is not normalised here.
    Matrix(float angle, const Tuple& axis);

    Matrix& operator+=(const Matrix& b) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m[i][j] += b.m[i][j];
        return *this;
    }
    Matrix& operator-=(const Matrix& b) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m[i][j] -= b.m[i][j];
        return *this;
    }
    inline Matrix& operator*=(const Matrix& b);  // this = this·B
    Matrix& operator/=(const Matrix& b);         // this = this·inverse(B)

    Matrix transpose() const {
        return Matrix(m[0][0], m[1][0], m[2][0], m[3][0], m[0][1], m[1][1], m[2][1], m[3][1],
                      m[0][2], m[1][2], m[2][2], m[3][2], m[0][3], m[1][3], m[2][3], m[3][3]);
    }
    // Cofactor expansion along the first row in extended precision, rounded to float.
    float determinant() const;
    // Adjugate over determinant without pivoting; a singular matrix (determinant exactly 0)
    // silently yields the identity.
    Matrix inverse() const;
    // A positive 3x3 determinant (orientation kept) counts as left-handed.
    bool isLeftHanded() const;
    // Equal column lengths of the 3x3 block, other than 1: scale receives the factor.
    bool hasIsotropicScale(float& scale) const;
    // this = basis · this · basisᵀ.
    void convertToBasis(const Matrix& basis);
    // Polar decomposition into stretch, translation and rotation.
    UnMatrix decompose() const;
};

inline Matrix operator+(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j] + b.m[i][j];
    return r;
}
inline Matrix operator-(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j] - b.m[i][j];
    return r;
}
inline Matrix operator*(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}
inline Matrix& Matrix::operator*=(const Matrix& b) { return *this = *this * b; }
inline Matrix operator*(const Matrix& a, float s) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j] * s;
    return r;
}
inline Matrix operator*(float s, const Matrix& a) { return a * s; }
inline Matrix operator/(const Matrix& a, float s) { return a * (1.0f / s); }
inline bool operator==(const Matrix& a, const Matrix& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (a.m[i][j] != b.m[i][j]) return false;
    return true;
}
inline bool operator!=(const Matrix& a, const Matrix& b) { return !(a == b); }

// M·(x, y, z, 1), divided by w' unless w' is exactly 1 (the common affine case).
inline Point operator*(const Matrix& a, const Point& p) {
    const float x = a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z + a.m[0][3];
    const float y = a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z + a.m[1][3];
    const float z = a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z + a.m[2][3];
    const float w = a.m[3][0] * p.x + a.m[3][1] * p.y + a.m[3][2] * p.z + a.m[3][3];
    if (w == 1.0f) return Point(x, y, z);
    const float inv = 1.0f / w;
    return Point(x * inv, y * inv, z * inv);
}
// The 3x3 block only: directions are not translated.
inline Vector operator*(const Matrix& a, const Vector& v) {
    return Vector(a.m[0][0] * v.x + a.m[0][1] * v.y + a.m[0][2] * v.z,
                  a.m[1][0] * v.x + a.m[1][1] * v.y + a.m[1][2] * v.z,
                  a.m[2][0] * v.x + a.m[2][1] * v.y + a.m[2][2] * v.z);
}
// inverse(M)ᵀ·n: inverts on every call, so not for inner loops (Transform keeps the inverse).
Normal operator*(const Matrix& a, const Normal& n);
inline HPoint operator*(const Matrix& a, const HPoint& h) {
    return HPoint(a.m[0][0] * h.x + a.m[0][1] * h.y + a.m[0][2] * h.z + a.m[0][3] * h.w,
                  a.m[1][0] * h.x + a.m[1][1] * h.y + a.m[1][2] * h.z + a.m[1][3] * h.w,
                  a.m[2][0] * h.x + a.m[2][1] * h.y + a.m[2][2] * h.z + a.m[2][3] * h.w,
                  a.m[3][0] * h.x + a.m[3][1] * h.y + a.m[3][2] * h.z + a.m[3][3] * h.w);
}
// The tuple as a four-component row vector (w included) times M.
inline Tuple operator*(const Tuple& t, const Matrix& a) {
    return Tuple(t.x * a.m[0][0] + t.y * a.m[1][0] + t.z * a.m[2][0] + t.w * a.m[3][0],
                 t.x * a.m[0][1] + t.y * a.m[1][1] + t.z * a.m[2][1] + t.w * a.m[3][1],
                 t.x * a.m[0][2] + t.y * a.m[1][2] + t.z * a.m[2][2] + t.w * a.m[3][2],
                 t.x * a.m[0][3] + t.y * a.m[1][3] + t.z * a.m[2][3] + t.w * a.m[3][3]);
}

struct Quaternion {
    float x, y, z, w;
};

// Result of Matrix::decompose: M = translation · rotation · stretch.
struct UnMatrix {
    Matrix stretch;
    Vector translation;
    Quaternion rotation;
};

}  // namespace ovo
