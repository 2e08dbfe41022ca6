// Ray/box test throughput: tests per second (items/s) on one thread, over pre-generated rays
// and boxes of which about half hit.
#include "core/math/aabb.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using ovo::Aabb;
using ovo::Point;
using ovo::Ray;
using ovo::Vector;

struct Batch {
    std::vector<Aabb> boxes;
    std::vector<Ray> rays;
    std::vector<Vector> inv;
    std::vector<int> cls;
    std::vector<unsigned int> signs;  // three per ray
};

// 4096 pairs: small enough for the caches, so the figure measures the test, not memory.
const Batch& batch() {
    static const Batch b = [] {
        Batch out;
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        const int n = 4096;
        for (int i = 0; i < n; ++i) {
            const Point c(u(rng), u(rng), u(rng));
            const float h = 0.2f + 0.3f * (u(rng) + 1.0f);
            out.boxes.push_back(Aabb(c.x - h, c.x + h, c.y - h, c.y + h, c.z - h, c.z + h));
            const Point o(4.0f * u(rng), 4.0f * u(rng), 4.0f * u(rng));
            // Aim at a point around the box: roughly half the rays hit.
            const Point target(c.x + 2.0f * h * u(rng), c.y + 2.0f * h * u(rng),
                               c.z + 2.0f * h * u(rng));
            Vector d = target - o;
            for (int a = 0; a < 3; ++a)
                if (d[a] == 0.0f) d[a] = 1e-3f;
            out.rays.push_back(Ray(o, d, 0.0f, 1e30f));
            out.inv.push_back(Vector(1.0f / d.x, 1.0f / d.y, 1.0f / d.z));
            out.cls.push_back((d.x < 0 ? 1 : 2) << 4 | (d.y < 0 ? 1 : 2) << 2 | (d.z < 0 ? 1 : 2));
            for (int a = 0; a < 3; ++a) out.signs.push_back(d[a] < 0.0f ? 1u : 0u);
        }
        return out;
    }();
    return b;
}

template <typename Test>
void run(benchmark::State& state, Test test) {
    const Batch& b = batch();
    const size_t n = b.boxes.size();
    int64_t hits = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) hits += test(b, i);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(n));
    state.counters["hit_ratio"] = double(hits) / double(state.iterations() * n);
}

void BM_AabbSlabDouble(benchmark::State& state) {
    run(state, [](const Batch& b, size_t i) {
        float t0, t1;
        return b.boxes[i].intersect(b.rays[i], &t0, &t1);
    });
}
void BM_AabbBranchFreeSse(benchmark::State& state) {
    run(state, [](const Batch& b, size_t i) {
        return b.boxes[i].intersect(b.rays[i], b.inv[i], nullptr, nullptr);
    });
}
void BM_AabbRayClass(benchmark::State& state) {
    run(state, [](const Batch& b, size_t i) {
        float t0, t1;
        return b.boxes[i].intersect(b.rays[i], b.inv[i], b.cls[i], &t0, &t1);
    });
}
void BM_AabbSignFlags(benchmark::State& state) {
    run(state, [](const Batch& b, size_t i) {
        return b.boxes[i].intersect(b.rays[i], b.inv[i], &b.signs[3 * i]);
    });
}

}  // namespace

BENCHMARK(BM_AabbSlabDouble);
BENCHMARK(BM_AabbBranchFreeSse);
BENCHMARK(BM_AabbRayClass);
BENCHMARK(BM_AabbSignFlags);
BENCHMARK_MAIN();
