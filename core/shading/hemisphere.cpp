// HemisphereSampler. The translational gradient follows Ward and Heckbert: moving the point
// shifts what each cell wall sees by the step over the distance of the nearer of the two cells
// it separates, so the projected solid angle changes hands between neighbouring cells in
// proportion to the difference of their values. A polar wall at θ between rows contributes
// sinθ·cos²θ·Δφ along the radial direction of its column (sinθ·cosθ·Δφ for uniform cells), an
// azimuthal wall (sinθ+ − sinθ−) along its tangent ((θ+ − θ−) for uniform cells). Turning the
// normal reweights every direction by the change of its cosine: for cosine-weighted cells the
// rotational gradient is the mean of value·tanθ along each column's tangent.
#include "core/shading/hemisphere.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/math/constants.h"
#include "core/math/random.h"
#include "core/math/sampling.h"

namespace ovo {

namespace {

// A record reaches no farther than this many times its nearest hit: a point closer to a wall
// than the ray bias sees through it, and the far hits alone would spread its light wide.
constexpr float RadiusOverNearest = 2.0f;

inline float nearer(float a, float b) { return std::max(std::min(a, b), 1e-6f); }

inline void addAlong(float g[3], float v, const Vector& d) {
    for (int a = 0; a < 3; ++a) g[a] += v * d[a];
}
inline void addAlong(Color g[3], const Color& v, const Vector& d) {
    for (int a = 0; a < 3; ++a) g[a] += v * d[a];
}

}  // namespace

template <class T>
void HemisphereSampler<T>::setup(int m, int n, const Vector& normal, float cone, bool cosine) {
    rows = std::max(1, m);
    columns = std::max(1, n);
    cosineWeighted = cosine;
    coneAngle = std::min(std::max(cone, 0.0f), PiOver2);
    z = normal;
    Tuple a, b;
    z.coordinateSystem(a, b);
    x = Vector(a);
    y = Vector(b);
    const size_t cells = size_t(rows) * size_t(columns);
    directions.resize(cells);
    values.resize(cells);
    distances.resize(cells);
    radial.resize(size_t(columns));
    boundary.resize(size_t(columns));
    tangent.resize(size_t(columns));
    theta.resize(size_t(rows) + 1);

    const float sinMax = std::sin(coneAngle), cosMax = std::cos(coneAngle);
    for (int j = 0; j <= rows; ++j) {
        const float f = float(j) / float(rows);
        theta[size_t(j)] = cosine ? std::asin(std::min(1.0f, std::sqrt(f) * sinMax))
                                  : std::acos(1.0f - f * (1.0f - cosMax));
    }
    for (int k = 0; k < columns; ++k) {
        const float centre = TwoPi * (float(k) + 0.5f) / float(columns);
        const float edge = TwoPi * float(k) / float(columns);
        radial[size_t(k)] = x * std::cos(centre) + y * std::sin(centre);
        tangent[size_t(k)] = x * -std::sin(centre) + y * std::cos(centre);
        boundary[size_t(k)] = x * -std::sin(edge) + y * std::cos(edge);
    }
    uint32_t& state = randomState();
    for (int j = 0; j < rows; ++j) {
        for (int k = 0; k < columns; ++k) {
            state = xorshift(state);
            const float u1 =
                std::min((float(j) + randomFloatFromBits(state)) / float(rows), 0.99999994f);
            state = xorshift(state);
            const float u2 = (float(k) + randomFloatFromBits(state)) / float(columns);
            directions[size_t(j * columns + k)] =
                cosine ? CosineSampleCone(u1, u2, sinMax, x, y, z)
                       : UniformSampleCone(1.0f - u1, u2, cosMax, x, y, z);
        }
    }
}

template <class T>
T HemisphereSampler<T>::average() const {
    T sum = T(0.0f);
    for (const T& v : values) sum += v;
    return sum * (1.0f / float(std::max<size_t>(1, values.size())));
}

template <class T>
float HemisphereSampler<T>::radius() const {
    float inverse = 0.0f, nearest = std::numeric_limits<float>::infinity();
    int hits = 0;
    for (float d : distances)
        if (d > 0.0f && std::isfinite(d)) {
            inverse += 1.0f / d;
            nearest = std::min(nearest, d);
            ++hits;
        }
    if (!hits) return std::numeric_limits<float>::infinity();
    return std::min(float(hits) / inverse, RadiusOverNearest * nearest);
}

template <class T>
void HemisphereSampler<T>::gradients(T rotational[3], T translational[3]) const {
    for (int a = 0; a < 3; ++a) rotational[a] = translational[a] = T(0.0f);
    auto at = [&](int j, int k) { return size_t(j * columns + k); };
    const float sinMax = std::sin(coneAngle);
    // The measure the average is taken over: projected or plain solid angle of the cone.
    const float measure =
        cosineWeighted ? Pi * sinMax * sinMax : TwoPi * (1.0f - std::cos(coneAngle));
    if (!(measure > 0.0f)) return;
    const float dPhi = TwoPi / float(columns);

    for (int k = 0; k < columns; ++k) {
        const int previous = (k + columns - 1) % columns;
        T polar = T(0.0f), azimuthal = T(0.0f);
        for (int j = 1; j < rows; ++j) {
            const float t = theta[size_t(j)], s = std::sin(t), c = std::cos(t);
            const float wall = cosineWeighted ? s * c * c : s * c;
            polar += (values[at(j, k)] - values[at(j - 1, k)]) *
                     (wall * dPhi / nearer(distances[at(j, k)], distances[at(j - 1, k)]));
        }
        if (columns > 1) {
            for (int j = 0; j < rows; ++j) {
                const float t0 = theta[size_t(j)], t1 = theta[size_t(j) + 1];
                const float wall = cosineWeighted ? std::sin(t1) - std::sin(t0) : t1 - t0;
                azimuthal += (values[at(j, k)] - values[at(j, previous)]) *
                             (wall / nearer(distances[at(j, k)], distances[at(j, previous)]));
            }
        }
        addAlong(translational, polar * (1.0f / measure), radial[size_t(k)]);
        addAlong(translational, azimuthal * (1.0f / measure), boundary[size_t(k)]);
    }

    if (!cosineWeighted) return;
    const float cells = float(rows * columns);
    for (int k = 0; k < columns; ++k) {
        T turn = T(0.0f);
        for (int j = 0; j < rows; ++j) {
            // tanθ at the row's centre: a sample at the rim would make it unbounded.
            const float f = (float(j) + 0.5f) / float(rows);
            const float s2 = f * sinMax * sinMax;
            turn += values[at(j, k)] * std::sqrt(s2 / std::max(1e-6f, 1.0f - s2));
        }
        addAlong(rotational, turn * (1.0f / cells), tangent[size_t(k)]);
    }
}

template class HemisphereSampler<float>;
template class HemisphereSampler<Color>;

}  // namespace ovo
