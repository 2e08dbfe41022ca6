// HemisphereSampler: the stratified directions of one occlusion or irradiance gathering around
// a normal (M rows in the polar angle, N columns in azimuth, one jittered direction per cell),
// the value and hit distance each direction found, and from them the average, the radius of
// the neighbourhood and Ward and Heckbert's rotational and translational gradients.
#pragma once

#include <vector>

#include "core/math/tuple.h"

namespace ovo {

template <class T>
class HemisphereSampler {
  public:
    // Lays out rows × columns cells within `coneAngle` of `normal` (unit length), cosine-
    // weighted (the cells have equal projected solid angle) or uniform (equal solid angle),
    // and draws one jittered direction in each. Storage is kept from call to call.
    void setup(int rows, int columns, const Vector& normal, float coneAngle, bool cosine);

    int size() const { return rows * columns; }
    // Cell i = row * columns + column; rows go from the normal towards the rim.
    const Vector& direction(int i) const { return directions[size_t(i)]; }
    // What cell i's ray found: its value and the distance of the hit (infinite for a miss).
    void record(int i, const T& value, float distance) {
        values[size_t(i)] = value;
        distances[size_t(i)] = distance;
    }

    T average() const;
    // The radius of the neighbourhood the gathering speaks for: the harmonic mean distance of
    // the rays that hit something (rays that escaped say nothing about how near the
    // surroundings are), at most twice the nearest hit; infinite when nothing was hit.
    float radius() const;
    // The change of the average per rotation of the normal (about each world axis) and per
    // unit step of the position (along each world axis).
    void gradients(T rotational[3], T translational[3]) const;

  private:
    int rows = 0, columns = 0;
    bool cosineWeighted = true;
    float coneAngle = 0.0f;
    Vector x, y, z;
    std::vector<Vector> directions;
    std::vector<T> values;
    std::vector<float> distances;
    // Per column: the radial direction at its centre, the azimuthal direction at its first
    // boundary, and the azimuthal direction at its centre (world space).
    std::vector<Vector> radial, boundary, tangent;
    // Per row boundary j = 0..rows: the polar angle.
    std::vector<float> theta;
};

}  // namespace ovo
