#include "core/math/transform.h"

#include "core/math/constants.h"
#include "core/base/error.h"

#include <cmath>

namespace ovo {

const Transform Transform::Identity(Matrix(1.0f), Matrix(1.0f));

Aabb operator*(const Matrix& m, const Aabb& b) {
    Aabb result(m * Point(b.bmin[0], b.bmin[1], b.bmin[2]));
    for (int i = 1; i < 8; ++i)
        result +=
            m * Point(b.corner(i & 1)[0], b.corner((i >> 1) & 1)[1], b.corner((i >> 2) & 1)[2]);
    return result;
}

}  // namespace ovo

using ovo::Matrix;
using ovo::Transform;
using ovo::Vector;

Transform Scale(float sx, float sy, float sz) {
    return Transform(
        Matrix(sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1),
        Matrix(1.0f / sx, 0, 0, 0, 0, 1.0f / sy, 0, 0, 0, 0, 1.0f / sz, 0, 0, 0, 0, 1));
}

Transform Translate(float dx, float dy, float dz) {
    return Transform(Matrix(1, 0, 0, dx, 0, 1, 0, dy, 0, 0, 1, dz, 0, 0, 0, 1),
                     Matrix(1, 0, 0, -dx, 0, 1, 0, -dy, 0, 0, 1, -dz, 0, 0, 0, 1));
}

Transform Rotate(float angle, const Vector& axis) {
    const Matrix r(angle, axis);
    return Transform(r, r.transpose());
}

Transform Skew(float angle, const Vector& a, const Vector& b) {
    const float d = ovo::dot(a, b);
    const float phi = std::acos(d);
    if (!(phi - ovo::Pi < angle && angle < phi))
        throw ovo::Error(ovo::Error::InvalidSkew, "Skew: invalid angle. Ignoring ...");

    const ovo::Tuple n = a ^ b;
    // Columns a×b, a, b.
    const Matrix B(n.x, a.x, b.x, 0, n.y, a.y, b.y, 0, n.z, a.z, b.z, 0, 0, 0, 0, 1);
    const float sigma = std::sqrt(1.0f - d * d);
    const float k = std::tan(std::acos(sigma) + angle) * sigma - d;
    Matrix K(1.0f), Kinv(1.0f);
    K.m[1][2] = k;
    Kinv.m[1][2] = -k;
    // Forward Bᵀ·K·B; its inverse B⁻¹·K⁻¹·B⁻ᵀ exactly (B is orthonormal only when a ⟂ b).
    const Matrix Binv = B.inverse();
    return Transform(B.transpose() * K * B, Binv * Kinv * Binv.transpose());
}
