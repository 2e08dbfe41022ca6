// The reader's numbers: conversions that clamp instead of overflowing, and 4x4 matrices
// in RIB's own convention: points are row vectors (p' = p M), element
// m[r][c] is stored at 4*r + c and the translation sits in elements 12 to 14 - the order
// RIB files and OVO's SetTransform/AppendTransform both use. Doubles, so a camera built
// from many small steps keeps its precision until it is handed over.
#pragma once

namespace ovo {
namespace rib {

// Clamped conversions: no value of the input can make them overflow.
int toInt(double value);
float toFloat(double value);

struct Mat4 {
    double m[16];

    static Mat4 identity();
    static Mat4 fromArray(const double* values);  // 16 values in row-vector order
    static Mat4 translate(double dx, double dy, double dz);
    static Mat4 scale(double sx, double sy, double sz);
    // Rotation by `angle` degrees about the axis; false for a zero axis.
    static bool rotate(double angle, double ax, double ay, double az, Mat4& out);
    // RIB's Skew: shears along axis 2 so that axis 1 turns by `angle` degrees towards it;
    // false for a zero or parallel axis, or an angle outside the range the two axes allow.
    static bool skew(double angle, const double* axis1, const double* axis2, Mat4& out);

    // a * b: apply a first, then b (row vectors).
    friend Mat4 operator*(const Mat4& a, const Mat4& b);
    // False (and `out` untouched) when the matrix is singular.
    bool inverse(Mat4& out) const;
    void toFloats(float* out) const;
    bool isIdentity() const;
};

}  // namespace rib
}  // namespace ovo
