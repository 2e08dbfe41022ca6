#include "core/math/matrix.h"

#include <cmath>

namespace ovo {

const Matrix Matrix::Identity(1.0f);

Matrix::Matrix(float angle, const Tuple& axis) {
    const float s = std::sin(angle), c = std::cos(angle), t = 1.0f - c;
    const float x = axis.x, y = axis.y, z = axis.z;
    m[0][0] = t * x * x + c;
    m[0][1] = t * x * y - s * z;
    m[0][2] = t * x * z + s * y;
    m[0][3] = 0.0f;
    m[1][0] = t * x * y + s * z;
    m[1][1] = t * y * y + c;
    m[1][2] = t * y * z - s * x;
    m[1][3] = 0.0f;
    m[2][0] = t * x * z - s * y;
    m[2][1] = t * y * z + s * x;
    m[2][2] = t * z * z + c;
    m[2][3] = 0.0f;
    m[3][0] = m[3][1] = m[3][2] = 0.0f;
    m[3][3] = 1.0f;
}

Matrix& Matrix::operator/=(const Matrix& b) { return *this = *this * b.inverse(); }

float Matrix::determinant() const {
    using L = long double;
    // 2x2 minors of rows 2 and 3, then the 3x3 minors of rows 1..3 along the first row.
    const L c01 = L(m[2][0]) * m[3][1] - L(m[2][1]) * m[3][0];
    const L c02 = L(m[2][0]) * m[3][2] - L(m[2][2]) * m[3][0];
    const L c03 = L(m[2][0]) * m[3][3] - L(m[2][3]) * m[3][0];
    const L c12 = L(m[2][1]) * m[3][2] - L(m[2][2]) * m[3][1];
    const L c13 = L(m[2][1]) * m[3][3] - L(m[2][3]) * m[3][1];
    const L c23 = L(m[2][2]) * m[3][3] - L(m[2][3]) * m[3][2];
    const L m0 = m[1][1] * c23 - m[1][2] * c13 + m[1][3] * c12;
    const L m1 = m[1][0] * c23 - m[1][2] * c03 + m[1][3] * c02;
    const L m2 = m[1][0] * c13 - m[1][1] * c03 + m[1][3] * c01;
    const L m3 = m[1][0] * c12 - m[1][1] * c02 + m[1][2] * c01;
    return static_cast<float>(m[0][0] * m0 - m[0][1] * m1 + m[0][2] * m2 - m[0][3] * m3);
}

Matrix Matrix::inverse() const {
    const float d = determinant();
    if (d == 0.0f) return Identity;
    const float r = 1.0f / d;

    // Cofactors from the 2x2 minors of rows 0-1 and rows 2-3, formed in double so that each is
    // the float nearest its exact value before the scaling by r.
    const double a00 = m[0][0], a01 = m[0][1], a02 = m[0][2], a03 = m[0][3];
    const double a10 = m[1][0], a11 = m[1][1], a12 = m[1][2], a13 = m[1][3];
    const double a20 = m[2][0], a21 = m[2][1], a22 = m[2][2], a23 = m[2][3];
    const double a30 = m[3][0], a31 = m[3][1], a32 = m[3][2], a33 = m[3][3];
    const double s0 = a00 * a11 - a10 * a01, s1 = a00 * a12 - a10 * a02;
    const double s2 = a00 * a13 - a10 * a03, s3 = a01 * a12 - a11 * a02;
    const double s4 = a01 * a13 - a11 * a03, s5 = a02 * a13 - a12 * a03;
    const double c0 = a20 * a31 - a30 * a21, c1 = a20 * a32 - a30 * a22;
    const double c2 = a20 * a33 - a30 * a23, c3 = a21 * a32 - a31 * a22;
    const double c4 = a21 * a33 - a31 * a23, c5 = a22 * a33 - a32 * a23;

    const double adj[4][4] = {{a11 * c5 - a12 * c4 + a13 * c3, -a01 * c5 + a02 * c4 - a03 * c3,
                               a31 * s5 - a32 * s4 + a33 * s3, -a21 * s5 + a22 * s4 - a23 * s3},
                              {-a10 * c5 + a12 * c2 - a13 * c1, a00 * c5 - a02 * c2 + a03 * c1,
                               -a30 * s5 + a32 * s2 - a33 * s1, a20 * s5 - a22 * s2 + a23 * s1},
                              {a10 * c4 - a11 * c2 + a13 * c0, -a00 * c4 + a01 * c2 - a03 * c0,
                               a30 * s4 - a31 * s2 + a33 * s0, -a20 * s4 + a21 * s2 - a23 * s0},
                              {-a10 * c3 + a11 * c1 - a12 * c0, a00 * c3 - a01 * c1 + a02 * c0,
                               -a30 * s3 + a31 * s1 - a32 * s0, a20 * s3 - a21 * s1 + a22 * s0}};

    Matrix inv;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) inv.m[i][j] = static_cast<float>(adj[i][j]) * r;
    return inv;
}

bool Matrix::isLeftHanded() const {
    const double d = double(m[0][0]) * (double(m[1][1]) * m[2][2] - double(m[1][2]) * m[2][1]) -
                     double(m[0][1]) * (double(m[1][0]) * m[2][2] - double(m[1][2]) * m[2][0]) +
                     double(m[0][2]) * (double(m[1][0]) * m[2][1] - double(m[1][1]) * m[2][0]);
    return d > 0.0;
}

bool Matrix::hasIsotropicScale(float& scale) const {
    float len2[3];
    for (int k = 0; k < 3; ++k) len2[k] = m[0][k] * m[0][k] + m[1][k] * m[1][k] + m[2][k] * m[2][k];
    if (std::fabs(len2[1] - len2[0]) >= 0.0001f) return false;
    if (std::fabs(len2[2] - len2[1]) >= 0.0001f) return false;
    if (std::fabs(len2[0] - 1.0f) <= 0.0001f) return false;  // a unit scale does not count
    scale = std::sqrt(len2[0]);
    return true;
}

void Matrix::convertToBasis(const Matrix& basis) { *this = (basis * *this) * basis.transpose(); }

UnMatrix Matrix::decompose() const {
    UnMatrix result;
    result.translation = Vector(m[0][3], m[1][3], m[2][3]);

    Matrix M = *this;
    M.m[0][3] = M.m[1][3] = M.m[2][3] = 0.0f;
    M.m[3][0] = M.m[3][1] = M.m[3][2] = 0.0f;
    M.m[3][3] = 1.0f;

    // Polar decomposition: average Q with its inverse transpose until it settles on the
    // nearest orthogonal matrix.
    Matrix Q = M;
    for (int round = 0; round < 100; ++round) {
        const Matrix N = 0.5f * (Q + Q.transpose().inverse());
        float change = 0.0f;
        for (int i = 0; i < 3; ++i) {
            const float rowSum = std::fabs(Q.m[i][0] - N.m[i][0]) +
                                 std::fabs(Q.m[i][1] - N.m[i][1]) +
                                 std::fabs(Q.m[i][2] - N.m[i][2]);
            if (rowSum > change) change = rowSum;
        }
        Q = N;
        if (change <= 0.0001f) break;
    }

    float q[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z, w
    const float trace = Q.m[0][0] + Q.m[1][1] + Q.m[2][2];
    if (trace > 0.0f) {
        const float r = std::sqrt(trace + 1.0f);
        q[3] = r * 0.5f;
        const float f = 0.5f / r;
        q[0] = (Q.m[2][1] - Q.m[1][2]) * f;
        q[1] = (Q.m[0][2] - Q.m[2][0]) * f;
        q[2] = (Q.m[1][0] - Q.m[0][1]) * f;
    } else {
        int i = Q.m[1][1] > Q.m[0][0] ? 1 : 0;
        if (Q.m[2][2] > Q.m[i][i]) i = 2;
        const int j = (i + 1) % 3, k = (j + 1) % 3;
        const float r = std::sqrt(Q.m[i][i] - (Q.m[j][j] + Q.m[k][k]) + 1.0f);
        q[i] = r * 0.5f;
        if (r != 0.0f) {
            const float f = 0.5f / r;
            q[3] = (Q.m[k][j] - Q.m[j][k]) * f;
            q[j] = (Q.m[j][i] + Q.m[i][j]) * f;
            q[k] = (Q.m[k][i] + Q.m[i][k]) * f;
        }
    }
    result.rotation = Quaternion{q[0], q[1], q[2], q[3]};
    result.stretch = Q.inverse() * M;
    return result;
}

Normal operator*(const Matrix& a, const Normal& n) {
    const Matrix inv = a.inverse();
    return Normal(inv.m[0][0] * n.x + inv.m[1][0] * n.y + inv.m[2][0] * n.z,
                  inv.m[0][1] * n.x + inv.m[1][1] * n.y + inv.m[2][1] * n.z,
                  inv.m[0][2] * n.x + inv.m[1][2] * n.y + inv.m[2][2] * n.z);
}

}  // namespace ovo
