#include "core/math/numeric.h"

#include "core/math/constants.h"

#include <algorithm>
#include <cmath>

namespace {

// The solvers' only tolerance.
inline bool isZero(double x) { return x > -1e-90 && x < 1e-90; }

// The square root of z² − r or 2z − p of the quartic's split. Rounding in the resolvent root can
// leave either a hair below zero where it is zero in exact arithmetic (x⁴ − 5x² + 4 gives
// z = 1.9999999999999998 and z² − r = −8.9e-16): a negative value within rounding of the terms
// it came from (`scale`) counts as zero. False when the value is truly negative.
inline bool splitRoot(double value, double scale, double& root) {
    if (isZero(value) || (value < 0.0 && value > -1e-10 * scale)) {
        root = 0.0;
        return true;
    }
    if (value < 0.0) return false;
    root = std::sqrt(value);
    return true;
}

inline double cubeRoot(double x) {
    if (x > 0.0) return std::pow(x, 1.0 / 3.0);
    if (x < 0.0) return -std::pow(-x, 1.0 / 3.0);
    return 0.0;
}

}  // namespace

int SolveQuadric(double c[3], double s[2]) {
    // Normal form x² + 2px + q = 0.
    const double p = c[1] / (2.0 * c[2]);
    const double q = c[0] / c[2];
    const double D = p * p - q;
    if (isZero(D)) {
        s[0] = -p;
        return 1;
    }
    if (D < 0.0) return 0;
    const double sqrtD = std::sqrt(D);
    s[0] = -sqrtD - p;
    s[1] = sqrtD - p;
    return 2;
}

int SolveCubic(double c[4], double s[3]) {
    // Normal form x³ + Ax² + Bx + C = 0, then x = y − A/3 removes the quadratic term:
    // y³ + 3py + 2q = 0.
    const double A = c[2] / c[3];
    const double B = c[1] / c[3];
    const double C = c[0] / c[3];
    const double sqA = A * A;
    const double p = 1.0 / 3.0 * (-1.0 / 3.0 * sqA + B);
    const double q = 1.0 / 2.0 * (2.0 / 27.0 * A * sqA - 1.0 / 3.0 * A * B + C);
    const double cbp = p * p * p;
    const double D = q * q + cbp;

    int num;
    if (isZero(D)) {
        if (isZero(q)) {  // one triple root
            s[0] = 0.0;
            num = 1;
        } else {  // a single and a double root
            const double u = cubeRoot(-q);
            s[0] = 2.0 * u;
            s[1] = -u;
            num = 2;
        }
    } else if (D < 0.0) {  // three distinct real roots: trigonometric form
        const double phi = 1.0 / 3.0 * std::acos(-q / std::sqrt(-cbp));
        const double t = 2.0 * std::sqrt(-p);
        s[0] = t * std::cos(phi);
        s[1] = -t * std::cos(phi + ovo::PiDouble / 3.0);
        s[2] = -t * std::cos(phi - ovo::PiDouble / 3.0);
        num = 3;
    } else {  // one real root: Cardano
        const double sqrtD = std::sqrt(D);
        const double u = cubeRoot(sqrtD - q);
        const double v = -cubeRoot(sqrtD + q);
        s[0] = u + v;
        num = 1;
    }

    const double sub = 1.0 / 3.0 * A;
    for (int i = 0; i < num; ++i) s[i] -= sub;
    return num;
}

int SolveQuartic(double c[5], double s[4]) {
    // Normal form x⁴ + Ax³ + Bx² + Cx + D = 0, then x = y − A/4: y⁴ + py² + qy + r = 0.
    const double A = c[3] / c[4];
    const double B = c[2] / c[4];
    const double C = c[1] / c[4];
    const double D = c[0] / c[4];
    const double sqA = A * A;
    const double p = -3.0 / 8.0 * sqA + B;
    const double q = 1.0 / 8.0 * sqA * A - 1.0 / 2.0 * A * B + C;
    const double r = -3.0 / 256.0 * sqA * sqA + 1.0 / 16.0 * sqA * B - 1.0 / 4.0 * A * C + D;

    double coeffs[4];
    int num;
    if (isZero(r)) {
        // No absolute term: y(y³ + py + q) = 0.
        coeffs[0] = q;
        coeffs[1] = p;
        coeffs[2] = 0.0;
        coeffs[3] = 1.0;
        num = SolveCubic(coeffs, s);
        s[num++] = 0.0;
    } else {
        // Ferrari: one root z of the resolvent cubic splits the quartic into two quadratics.
        coeffs[0] = 1.0 / 2.0 * r * p - 1.0 / 8.0 * q * q;
        coeffs[1] = -r;
        coeffs[2] = -1.0 / 2.0 * p;
        coeffs[3] = 1.0;
        double z[3];
        const int roots = SolveCubic(coeffs, z);
        // The first resolvent root that splits the quartic into two real quadratics.
        double u = 0.0, v = 0.0;
        int k = 0;
        while (k < roots &&
               !(splitRoot(z[k] * z[k] - r, std::max(z[k] * z[k], std::fabs(r)), u) &&
                 splitRoot(2.0 * z[k] - p, std::max(std::fabs(2.0 * z[k]), std::fabs(p)), v)))
            ++k;
        if (k == roots) return 0;

        double quad[3];
        quad[0] = z[k] - u;
        quad[1] = q < 0.0 ? -v : v;
        quad[2] = 1.0;
        num = SolveQuadric(quad, s);
        quad[0] = z[k] + u;
        quad[1] = q < 0.0 ? v : -v;
        quad[2] = 1.0;
        num += SolveQuadric(quad, s + num);
    }

    const double sub = 1.0 / 4.0 * A;
    for (int i = 0; i < num; ++i) s[i] -= sub;
    return num;
}
