// Small numeric constants and scalar helpers shared by every part of the renderer.
#pragma once

namespace ovo {

constexpr float Pi = 3.14159265358979323846f;
constexpr float TwoPi = 6.28318530717958647692f;
constexpr float PiOver2 = 1.57079632679489661923f;
constexpr float PiOver4 = 0.78539816339744830962f;
constexpr float InvPi = 0.31830988618379067154f;
constexpr float InvTwoPi = 0.15915494309189533577f;
constexpr float Infinity = 1e30f;  // the "no hit yet" distance of rays and empty boxes

constexpr float radians(float deg) { return deg * (Pi / 180.0f); }
constexpr float degrees(float rad) { return rad * (180.0f / Pi); }

// For angles the scene interface turns into matrices in double precision. Multiplied
// before dividing, as those callers always have, so their matrices stay the same.
constexpr double PiDouble = 3.14159265358979323846;
constexpr double radians(double deg) { return deg * PiDouble / 180.0; }
constexpr double degrees(double rad) { return rad * 180.0 / PiDouble; }

// Written with comparisons only, so a NaN input comes back as lo (never out of range).
template <typename T>
constexpr T clamp(T v, T lo, T hi) {
    return v > lo ? (v < hi ? v : hi) : lo;
}

// a at t = 0, b at t = 1.
template <typename T>
constexpr T lerp(float t, const T& a, const T& b) {
    return a + (b - a) * t;
}

}  // namespace ovo
