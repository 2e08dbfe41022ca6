// Matrix and transform costs: inversion, transforming points, normals and rays, and evaluating
// a motion transform at a time.
#include "core/math/motion.h"
#include "core/math/transform.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace ovo;

std::vector<Matrix> randomMatrices(size_t n) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<Matrix> out(n);
    for (Matrix& m : out)
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) m.m[i][j] = u(rng) + (i == j ? 3.0f : 0.0f);
    return out;
}

std::vector<Point> randomPoints(size_t n) {
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    std::vector<Point> out;
    for (size_t i = 0; i < n; ++i) out.push_back(Point(u(rng), u(rng), u(rng)));
    return out;
}

const Transform& sampleTransform() {
    static const Transform t =
        Translate(1, 2, 3) * Rotate(0.7f, Vector(Tuple(1, 2, 2).hat())) * Scale(2, 3, 4);
    return t;
}

void BM_MatrixInverse(benchmark::State& state) {
    const std::vector<Matrix> ms = randomMatrices(256);
    size_t i = 0;
    for (auto _ : state) {
        Matrix inv = ms[i++ & 255].inverse();
        benchmark::DoNotOptimize(inv);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TransformPoint(benchmark::State& state) {
    const Transform& t = sampleTransform();
    const std::vector<Point> ps = randomPoints(1024);
    for (auto _ : state) {
        for (const Point& p : ps) {
            Point q = t * p;
            benchmark::DoNotOptimize(q);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(ps.size()));
}

void BM_TransformNormal(benchmark::State& state) {
    const Transform& t = sampleTransform();
    const std::vector<Point> ps = randomPoints(1024);
    for (auto _ : state) {
        for (const Point& p : ps) {
            Normal n = t * Normal(p);
            benchmark::DoNotOptimize(n);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(ps.size()));
}

void BM_TransformRay(benchmark::State& state) {
    const Transform& t = sampleTransform();
    const std::vector<Point> ps = randomPoints(1024);
    for (auto _ : state) {
        for (size_t i = 0; i < ps.size(); ++i) {
            Ray r = t * Ray(ps[i], Vector(ps[(i + 1) & 1023]), 0.0f, 100.0f, 0.5f);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(ps.size()));
}

// Evaluated at a time inside the bracket: interpolation plus a full inverse per call.
void BM_MotionTransformAt(benchmark::State& state) {
    const int samples = int(state.range(0));
    std::vector<float> times;
    for (int i = 0; i < samples; ++i) times.push_back(float(i) / float(samples - 1));
    MotionTransform m(samples, times.data());
    for (int i = 0; i < samples; ++i)
        m.setSample(unsigned(i), Translate(float(i), 0, 0) * Rotate(0.3f * i, Vector(0, 0, 1)));
    float t = 0.0f;
    for (auto _ : state) {
        Transform x = m.at(t);
        benchmark::DoNotOptimize(x);
        t += 0.0078125f;
        if (t > 1.0f) t = 0.0f;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_MatrixInverse);
BENCHMARK(BM_TransformPoint);
BENCHMARK(BM_TransformNormal);
BENCHMARK(BM_TransformRay);
BENCHMARK(BM_MotionTransformAt)->Arg(2)->Arg(8);
BENCHMARK_MAIN();
