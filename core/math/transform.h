// A matrix paired with its inverse, so that points, vectors, normals, rays and boxes move in
// both directions without inverting at run time.
#pragma once

#include "core/math/aabb.h"
#include "core/math/matrix.h"
#include "core/math/ray.h"
#include "core/math/tuple.h"

namespace ovo {

class Transform {
  public:
    Matrix m;     // forward
    Matrix mInv;  // inverse of m, always

    static const Transform Identity;

    constexpr Transform() : m(1.0f), mInv(1.0f) {}
    // The inverse is computed (a singular matrix gets the identity as its inverse).
    explicit Transform(const Matrix& forward) : m(forward), mInv(forward.inverse()) {}
    explicit Transform(const float (*forward)[4]) : Transform(Matrix(forward)) {}
    // The caller guarantees that the two are inverse to each other.
    constexpr Transform(const Matrix& forward, const Matrix& inverse) : m(forward), mInv(inverse) {}

    const Matrix& getMatrix() const { return m; }
    const Matrix& getInverse() const { return mInv; }
    const Matrix& getTo() const { return mInv; }

    Transform inverse() const { return Transform(mInv, m); }

    Transform& operator*=(const Transform& b) {
        m = m * b.m;
        mInv = b.mInv * mInv;
        return *this;
    }

    bool isLeftHanded() const { return m.isLeftHanded(); }
    bool hasIsotropicScale(float& scale) const { return m.hasIsotropicScale(scale); }
};

inline Transform operator*(const Transform& a, const Transform& b) {
    return Transform(a.m * b.m, b.mInv * a.mInv);
}
// Lexicographic on the forward matrices, element by element in row order.
inline bool operator<(const Transform& a, const Transform& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (a.m.m[i][j] != b.m.m[i][j]) return a.m.m[i][j] < b.m.m[i][j];
    return false;
}
inline bool operator==(const Transform& a, const Transform& b) {
    return a.m == b.m && a.mInv == b.mInv;
}
inline bool operator!=(const Transform& a, const Transform& b) { return !(a == b); }

inline Point operator*(const Transform& t, const Point& p) { return t.m * p; }
inline Vector operator*(const Transform& t, const Vector& v) { return t.m * v; }
inline HPoint operator*(const Transform& t, const HPoint& h) { return t.m * h; }
inline Matrix operator*(const Transform& t, const Matrix& b) { return t.m * b; }
// Normals go by the transpose of the stored inverse.
inline Normal operator*(const Transform& t, const Normal& n) {
    const Matrix& i = t.mInv;
    return Normal(i.m[0][0] * n.x + i.m[1][0] * n.y + i.m[2][0] * n.z,
                  i.m[0][1] * n.x + i.m[1][1] * n.y + i.m[2][1] * n.z,
                  i.m[0][2] * n.x + i.m[1][2] * n.y + i.m[2][2] * n.z);
}
// The direction is the image of o + d minus the image of o, so projective matrices carry it
// correctly; it is not renormalised. mint, maxt and time are kept.
inline Ray transformRay(const Matrix& m, const Ray& r) {
    const Point o = m * r.o;
    const Point e = m * Point(r.o.x + r.d.x, r.o.y + r.d.y, r.o.z + r.d.z);
    return Ray(o, e - o, r.mint, r.maxt, r.time);
}
inline Ray operator*(const Transform& t, const Ray& r) { return transformRay(t.m, r); }
inline RayDifferential operator*(const Transform& t, const RayDifferential& r) {
    RayDifferential out = r;
    static_cast<Ray&>(out) = t * static_cast<const Ray&>(r);
    if (r.hasDifferentials) {  // otherwise the offset rays hold nothing
        out.rx = t * r.rx;
        out.ry = t * r.ry;
    }
    return out;
}
// The smallest box holding the eight corners transformed as points.
Aabb operator*(const Matrix& m, const Aabb& b);
inline Aabb operator*(const Transform& t, const Aabb& b) { return t.m * b; }

}  // namespace ovo

// Transform builders (global, like the other scene-level helpers).
ovo::Transform Scale(float sx, float sy, float sz);  // no test for zero: callers test
ovo::Transform Translate(float dx, float dy, float dz);
ovo::Transform Rotate(float angle, const ovo::Vector& axis);  // radians, unit axis
// Shear by angle (radians) in the plane of the unit vectors a and b. Throws
// Error(InvalidSkew) unless angle lies strictly within (φ − π, φ), φ the angle between a and b.
ovo::Transform Skew(float angle, const ovo::Vector& a, const ovo::Vector& b);
