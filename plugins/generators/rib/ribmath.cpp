#include "plugins/generators/rib/ribmath.h"

#include <cfloat>
#include <climits>
#include <cmath>

#include "core/math/constants.h"

namespace ovo {
namespace rib {

int toInt(double value) {
    if (!(value == value)) return 0;
    if (value >= double(INT_MAX)) return INT_MAX;
    if (value <= double(INT_MIN)) return INT_MIN;
    return int(std::lround(value));
}

float toFloat(double value) {
    if (!(value == value)) return 0.0f;
    if (value > double(FLT_MAX)) return FLT_MAX;
    if (value < -double(FLT_MAX)) return -FLT_MAX;
    return float(value);
}

Mat4 Mat4::identity() {
    Mat4 r;
    for (int i = 0; i < 16; ++i) r.m[i] = (i % 5 == 0) ? 1.0 : 0.0;
    return r;
}

Mat4 Mat4::fromArray(const double* values) {
    Mat4 r;
    for (int i = 0; i < 16; ++i) r.m[i] = values[i];
    return r;
}

Mat4 Mat4::translate(double dx, double dy, double dz) {
    const double values[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, dx, dy, dz, 1};
    return fromArray(values);
}

Mat4 Mat4::scale(double sx, double sy, double sz) {
    const double values[16] = {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1};
    return fromArray(values);
}

bool Mat4::rotate(double angle, double ax, double ay, double az, Mat4& out) {
    double len = std::sqrt(ax * ax + ay * ay + az * az);
    if (!(len > 0.0) || !std::isfinite(len)) return false;
    ax /= len;
    ay /= len;
    az /= len;
    double a = radians(angle);
    double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
    // Column-vector rotation R = cI + s[a]x + t aa^T; rows here are its columns.
    double R[3][3] = {{c + t * ax * ax, t * ax * ay - s * az, t * ax * az + s * ay},
                      {t * ax * ay + s * az, c + t * ay * ay, t * ay * az - s * ax},
                      {t * ax * az - s * ay, t * ay * az + s * ax, c + t * az * az}};
    out = identity();
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) out.m[4 * r + col] = R[col][r];
    return true;
}

bool Mat4::skew(double angle, const double* v1, const double* v2, Mat4& out) {
    // Unit shear direction a along axis 2, unit b perpendicular to it in the plane of the
    // two axes; axis 1 is p a + q b, at angle alpha = atan2(q, p) from a. The shear
    // x' = x + k (x.b) a turns axis 1 to alpha - angle: k = cot(alpha - angle) - cot(alpha).
    double l2 = std::sqrt(v2[0] * v2[0] + v2[1] * v2[1] + v2[2] * v2[2]);
    double l1 = std::sqrt(v1[0] * v1[0] + v1[1] * v1[1] + v1[2] * v1[2]);
    if (!(l1 > 0.0) || !(l2 > 0.0) || !std::isfinite(l1) || !std::isfinite(l2)) return false;
    double a[3] = {v2[0] / l2, v2[1] / l2, v2[2] / l2};
    double u[3] = {v1[0] / l1, v1[1] / l1, v1[2] / l1};
    double p = u[0] * a[0] + u[1] * a[1] + u[2] * a[2];
    double b[3] = {u[0] - p * a[0], u[1] - p * a[1], u[2] - p * a[2]};
    double q = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
    if (!(q > 1e-12)) return false;  // parallel axes: no plane to skew in
    for (double& x : b) x /= q;
    double alpha = std::atan2(q, p);
    double beta = alpha - radians(angle);
    if (!(beta > 0.0) || !(beta < PiDouble)) return false;
    double k = std::cos(beta) / std::sin(beta) - p / q;
    out = identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out.m[4 * r + c] += k * b[r] * a[c];
    return true;
}

Mat4 operator*(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a.m[4 * i + k] * b.m[4 * k + j];
            r.m[4 * i + j] = s;
        }
    return r;
}

bool Mat4::inverse(Mat4& out) const {
    // Gauss-Jordan with partial pivoting.
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m[4 * r + c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(std::fabs(a[pivot][col]) > 1e-300)) return false;
        if (pivot != col)
            for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
        double inv = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            double f = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            if (!std::isfinite(a[r][c + 4])) return false;
            out.m[4 * r + c] = a[r][c + 4];
        }
    return true;
}

void Mat4::toFloats(float* out) const {
    for (int i = 0; i < 16; ++i) out[i] = toFloat(m[i]);
}

bool Mat4::isIdentity() const {
    for (int i = 0; i < 16; ++i)
        if (m[i] != ((i % 5 == 0) ? 1.0 : 0.0)) return false;
    return true;
}

}  // namespace rib
}  // namespace ovo
