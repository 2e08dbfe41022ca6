#include "core/math/motion.h"

namespace ovo {

namespace {

inline Matrix lerpMatrix(const Matrix& a, const Matrix& b, float u) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[i][j] + (b.m[i][j] - a.m[i][j]) * u;
    return r;
}

inline Tuple lerpTuple(const Tuple& a, const Tuple& b, float u) {
    return Tuple(a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u, a.z + (b.z - a.z) * u);
}

// Origin by the point transforms (with their division by w'), direction by the 3x3 blocks.
inline void lerpRay(const Matrix& P, const Matrix& N, float u, const Ray& in, Ray& out) {
    out.o = lerpTuple(P * in.o, N * in.o, u);
    out.d = lerpTuple(P * in.d, N * in.d, u);
}

}  // namespace

void MotionTransform::setTimes(int n, const float* times) {
    samples.clear();
    for (int i = 0; i < n; ++i) samples.push_back(Sample{times[i], Transform::Identity});
}

MotionTransform& MotionTransform::operator*=(const Transform& t) {
    for (Sample& s : samples) s.t *= t;
    return *this;
}

MotionTransform& MotionTransform::operator*=(const MotionTransform& b) {
    if (samples.size() == 1) {
        const Transform T = samples[0].t;
        samples.clear();
        for (const Sample& s : b.samples) samples.push_back(Sample{s.time, T * s.t});
        return *this;
    }
    if (b.samples.size() == 1) return *this *= b.samples[0].t;

    // Merge the two time lists; a list with a sample at the time contributes it as stored,
    // the other its value by the rules of at().
    std::vector<Sample> merged;
    size_t i = 0, j = 0;
    const size_t na = samples.size(), nb = b.samples.size();
    while (i < na || j < nb) {
        if (j == nb || (i < na && samples[i].time < b.samples[j].time)) {
            const float t = samples[i].time;
            merged.push_back(Sample{t, samples[i].t * b.at(t)});
            ++i;
        } else if (i == na || b.samples[j].time < samples[i].time) {
            const float t = b.samples[j].time;
            merged.push_back(Sample{t, at(t) * b.samples[j].t});
            ++j;
        } else {
            merged.push_back(Sample{samples[i].time, samples[i].t * b.samples[j].t});
            ++i;
            ++j;
        }
    }
    samples.swap(merged);
    return *this;
}

MotionTransform MotionTransform::inverse() const {
    MotionTransform r;
    r.samples.reserve(samples.size());
    for (const Sample& s : samples) r.samples.push_back(Sample{s.time, s.t.inverse()});
    return r;
}

size_t MotionTransform::bracket(float t) const {
    size_t i = 0;
    while (i < samples.size() && !(samples[i].time >= t)) ++i;
    return i;
}

Transform MotionTransform::at(float time) const {
    const size_t i = bracket(time);
    if (i == 0) return samples.front().t;
    if (i == samples.size()) return samples.back().t;
    return Transform(lerpMatrix(samples[i - 1].t.m, samples[i].t.m, fraction(i, time)));
}

Matrix MotionTransform::forwardAt(float time) const {
    const size_t i = bracket(time);
    if (i == 0) return samples.front().t.m;
    if (i == samples.size()) return samples.back().t.m;
    return lerpMatrix(samples[i - 1].t.m, samples[i].t.m, fraction(i, time));
}

void MotionTransform::removeUnusedSamples(float open, float close) {
    const size_t n = samples.size();
    if (n <= 1) return;
    if (samples.front().time >= open && close >= samples.back().time) return;

    std::vector<Sample> kept;
    size_t p = 0;
    while (p < n && samples[p].time < open) ++p;
    if (p == n) {
        // Every sample lies before open: keep the last one, the transform held from then on.
        kept.push_back(samples.back());
        samples.swap(kept);
        return;
    }
    if (samples[p].time != open) kept.push_back(Sample{open, at(open)});
    while (p < n && close > samples[p].time) kept.push_back(samples[p++]);
    if (p < n) {
        if (samples[p].time == close)
            kept.push_back(samples[p]);
        else if (close != open)
            kept.push_back(Sample{close, at(close)});
    }
    samples.swap(kept);
}

Ray MotionTransform::operator*(const Ray& r) const {
    const size_t i = bracket(r.time);
    if (i == 0) return samples.front().t * r;
    if (i == samples.size()) return samples.back().t * r;
    const Matrix& P = samples[i - 1].t.m;
    const Matrix& N = samples[i].t.m;
    Ray out(r);
    lerpRay(P, N, fraction(i, r.time), r, out);
    return out;
}

RayDifferential MotionTransform::operator*(const RayDifferential& r) const {
    const size_t i = bracket(r.time);
    if (i == 0) return samples.front().t * r;
    if (i == samples.size()) return samples.back().t * r;
    const Matrix& P = samples[i - 1].t.m;
    const Matrix& N = samples[i].t.m;
    const float u = fraction(i, r.time);
    RayDifferential out(r);
    lerpRay(P, N, u, r, out);
    if (r.hasDifferentials) {
        lerpRay(P, N, u, r.rx, out.rx);
        lerpRay(P, N, u, r.ry, out.ry);
    }
    return out;
}

Aabb MotionTransform::operator*(const Aabb& b) const {
    Aabb result = samples.front().t * b;
    if (samples.size() == 1) return result;
    const float t0 = samples.front().time;
    const float delta = samples.back().time - t0;
    for (int k = 1; k < 128; ++k) result += forwardAt(t0 + float(k) * delta / 128.0f) * b;
    return result;
}

}  // namespace ovo
