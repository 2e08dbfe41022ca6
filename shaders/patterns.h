// What the pattern shaders (surface and displacement) compute alike, written as their
// shading-language sources would: the point in shader space, fractal sums of noise, smooth
// steps, and square waves box-filtered over the width of a pixel.
#pragma once

#include <algorithm>
#include <cmath>

#include "core/math/constants.h"
#include "core/shading/environment.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/noise.h"
#include "core/shading/sl/strings.h"

namespace ovo {
namespace shaders {

// transform("shader", P): patterns stay fixed to the object they are drawn on.
inline Tuple shaderPoint(ShaderEnvironment& env) {
    Tuple P = env.P;
    return SL::transform(env, strings::shader, P);
}

inline float noise(const Tuple& p) { return SL::noise(p.x, p.y, p.z); }

// Three noises decorrelated by offsets: a displacement for warping a pattern.
inline Tuple vectorNoise(const Tuple& p) {
    return Tuple(SL::noise(p.x, p.y, p.z), SL::noise(p.x + 31.4f, p.y - 17.7f, p.z + 5.3f),
                 SL::noise(p.x - 11.9f, p.y + 23.1f, p.z - 41.2f));
}

// Noise at `octaves` doubling frequencies with halving amplitudes; turbulence sums magnitudes,
// which creases the pattern where noise crosses 0.
inline float fractalSum(const Tuple& p, int octaves) {
    float sum = 0.0f, scale = 1.0f;
    for (int i = 0; i < octaves; ++i, scale *= 2.0f) sum += noise(p * scale) / scale;
    return sum;
}
inline float turbulence(const Tuple& p, int octaves) {
    float sum = 0.0f, scale = 1.0f;
    for (int i = 0; i < octaves; ++i, scale *= 2.0f) sum += std::fabs(noise(p * scale)) / scale;
    return sum;
}

inline float smoothstep(float a, float b, float x) {
    if (x <= a) return 0.0f;
    if (x >= b) return 1.0f;
    const float t = (x - a) / (b - a);
    return t * t * (3.0f - 2.0f * t);
}

inline Color mix(const Color& a, const Color& b, float t) { return a * (1.0f - t) + b * t; }

// How much x changes across one pixel: |Du(x)| du + |Dv(x)| dv. Takes one derivative call
// site, so it is called in every pass.
inline float filterWidth(ShaderEnvironment& env, float x) {
    return std::fabs(SL::Du(env, x) * env.du) + std::fabs(SL::Dv(env, x) * env.dv);
}

// The fraction of [x - w/2, x + w/2] where the pulse train of period 1 is on: on over the
// first `duty` of each period. Wide filters tend to duty itself, so distant stripes turn to
// their average colour instead of aliasing.
inline float filteredPulseTrain(float duty, float x, float w) {
    auto integral = [duty](float y) {
        const float period = std::floor(y);
        return period * duty + std::min(y - period, duty);
    };
    if (!(w > 1e-6f)) return x - std::floor(x) < duty ? 1.0f : 0.0f;
    return (integral(x + 0.5f * w) - integral(x - 0.5f * w)) / w;
}

}  // namespace shaders
}  // namespace ovo
