#include "core/math/sampling.h"

#include "core/math/constants.h"
#include "core/math/random.h"

#include <algorithm>
#include <cmath>

using ovo::Point;
using ovo::Vector;

void ConcentricSampleDisk(float u1, float u2, float* dx, float* dy) {
    const float sx = 2.0f * u1 - 1.0f;
    const float sy = 2.0f * u2 - 1.0f;
    if (sx == 0.0f && sy == 0.0f) {
        *dx = 0.0f;
        *dy = 0.0f;
        return;
    }
    float r, theta;
    if (sx >= -sy) {
        if (sx > sy) {
            r = sx;
            theta = sy > 0.0f ? sy / r : 8.0f + sy / r;
        } else {
            r = sy;
            theta = 2.0f - sx / r;
        }
    } else {
        if (sx <= sy) {
            r = -sx;
            theta = 4.0f - sy / r;
        } else {
            r = -sy;
            theta = 6.0f + sx / r;
        }
    }
    const double angle = theta * (ovo::PiDouble / 4.0);
    *dx = static_cast<float>(r * std::cos(angle));
    *dy = static_cast<float>(r * std::sin(angle));
}

void UniformSampleTriangle(float u1, float u2, float& u, float& v) {
    const float s = std::sqrt(u1);
    u = 1.0f - s;
    v = u2 * s;
}

Point UniformSampleSphere(float u1, float u2) {
    const float z = 1.0f - 2.0f * u1;
    const float r = std::sqrt(std::max(0.0f, 1.0f - z * z));
    const float phi = ovo::TwoPi * u2;
    return Point(r * std::cos(phi), r * std::sin(phi), z);
}

namespace {

inline Vector frameVector(float cosTheta, float sinTheta, float phi, const Vector& x,
                          const Vector& y, const Vector& z) {
    const float a = std::cos(phi) * sinTheta, b = std::sin(phi) * sinTheta;
    return Vector(a * x.x + b * y.x + cosTheta * z.x, a * x.y + b * y.y + cosTheta * z.y,
                  a * x.z + b * y.z + cosTheta * z.z);
}

}  // namespace

Vector UniformSampleCone(float u1, float u2, float cosThetaMax, const Vector& x, const Vector& y,
                         const Vector& z) {
    const float cosTheta = (1.0f - u1) * cosThetaMax + u1;
    const float sinTheta = std::sqrt(1.0f - cosTheta * cosTheta);
    return frameVector(cosTheta, sinTheta, ovo::TwoPi * u2, x, y, z);
}

Vector CosineSampleCone(float u1, float u2, float sinThetaMax, const Vector& x, const Vector& y,
                        const Vector& z) {
    const float sinTheta = std::sqrt(u1) * sinThetaMax;
    const float cosTheta = std::sqrt(1.0f - sinTheta * sinTheta);
    return frameVector(cosTheta, sinTheta, ovo::TwoPi * u2, x, y, z);
}

void StratifiedSample1D(float* samples, int n, bool jitter) {
    if (n < 1) return;
    uint32_t& state = ovo::randomState();
    uint32_t y = state;
    for (int i = 0; i < n; ++i) {
        float d = 0.5f;
        if (jitter) {
            y = ovo::xorshift(y);
            d = ovo::randomFloatFromBits(y);
        }
        samples[i] = (float(i) + d) / float(n);
    }
    state = y;
}

void StratifiedSample2D(float* samples, int nx, int ny, bool jitter) {
    if (nx < 1 || ny < 1) return;
    uint32_t& state = ovo::randomState();
    uint32_t s = state;
    for (int y = 0; y < ny; ++y) {
        for (int x = 0; x < nx; ++x) {
            float dx = 0.5f, dy = 0.5f;
            if (jitter) {
                s = ovo::xorshift(s);
                dx = ovo::randomFloatFromBits(s);
                s = ovo::xorshift(s);
                dy = ovo::randomFloatFromBits(s);
            }
            *samples++ = (float(x) + dx) / float(nx);
            *samples++ = (float(y) + dy) / float(ny);
        }
    }
    state = s;
}

void Shuffle(float* samples, int count, int dims) {
    if (count < 1) return;
    uint32_t& state = ovo::randomState();
    uint32_t s = state;
    // s % count by Lemire's multiply, exact for every 32-bit s and count: a division per
    // sample would cost more than the rest of the shuffle.
    const uint32_t d = static_cast<uint32_t>(count);
    const uint64_t magic = UINT64_MAX / d + 1;
    for (int i = 0; i < count; ++i) {
        s = ovo::xorshift(s);
        const int other = static_cast<int>((static_cast<unsigned __int128>(magic * s) * d) >> 64);
        float* a = samples + i * dims;
        float* b = samples + other * dims;
        for (int k = 0; k < dims; ++k) {
            const float t = a[k];
            a[k] = b[k];
            b[k] = t;
        }
    }
    state = s;
}
