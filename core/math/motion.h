// Transforms that change over the shutter interval: a list of (time, Transform) samples,
// evaluated by linear interpolation of the forward matrices. One sample means static.
#pragma once

#include "core/math/aabb.h"
#include "core/math/ray.h"
#include "core/math/transform.h"

#include <vector>

namespace ovo {

class MotionTransform {
  public:
    struct Sample {
        float time;
        Transform t;
    };

    MotionTransform() = default;
    // One sample at time 0.
    MotionTransform(const Transform& t) : samples{Sample{0.0f, t}} {}
    MotionTransform(int n, const float* times) { setTimes(n, times); }
    MotionTransform& operator=(const Transform& t) {
        samples.assign(1, Sample{0.0f, t});
        return *this;
    }

    // n samples at the given (increasing) times, each the identity; n < 1 leaves none.
    void setTimes(int n, const float* times);
    void setSample(unsigned i, const Transform& t) { samples[i].t = t; }
    Transform& getSample(unsigned i) { return samples[i].t; }
    const Transform& getSample(unsigned i) const { return samples[i].t; }
    float getTime(unsigned i) const { return samples[i].time; }
    size_t size() const { return samples.size(); }

    bool isMoving() const { return samples.size() > 1; }
    // The only sample's transform; the identity for a moving transform.
    const Transform& getStatic() const {
        return samples.size() == 1 ? samples[0].t : Transform::Identity;
    }

    // Every sample times t on the right.
    MotionTransform& operator*=(const Transform& t);
    // The composition this·m over time, sampled at the union of both lists' times.
    MotionTransform& operator*=(const MotionTransform& m);
    MotionTransform inverse() const;

    // The clamped ends as stored; inside, the element-wise interpolation of the bracketing
    // forward matrices with the inverse recomputed.
    Transform at(float time) const;
    // Trims the samples to [open, close], evaluating new end samples where needed. When every
    // sample lies before open, the last one is kept (alone), so the transform stays usable.
    void removeUnusedSamples(float open, float close);

    // The ray carried by the transform at the ray's time.
    Ray operator*(const Ray& r) const;
    RayDifferential operator*(const RayDifferential& r) const;
    // Bounds the box over 128 evenly spaced instants from the first time (the last sample's
    // own instant excluded).
    Aabb operator*(const Aabb& b) const;

  private:
    // Index of the first sample whose time is >= t; 0 and size() mean "clamped to an end".
    size_t bracket(float t) const;
    float fraction(size_t next, float t) const {
        const float t0 = samples[next - 1].time, t1 = samples[next].time;
        return (t - t0) / (t1 - t0);
    }
    Matrix forwardAt(float t) const;

    std::vector<Sample> samples;
};

}  // namespace ovo
