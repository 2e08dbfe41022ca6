// Whole-frame shading benchmark: 640x480 pixels, 4x4 samples, a thousand "plastic" spheres on a
// ground plane under a distant and a point light, both casting shadows, rendered through the
// scene interface on 1 and 2 threads (seconds per frame = the iteration time).
// The share of the frame spent shading is measured by difference: the same frame with the
// "constant" surface and no lights costs the camera rays, their intersections and the film;
// whatever the full frame costs beyond that is shading (light shaders, the lighting loops and
// the shadow rays they trace). Both figures are reported as counters.
// Needs OVO_HOME pointing at a build (plugins and shaders).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "core/api/renderer_api.h"
#include "core/params/error.h"

namespace {

using namespace ovo;

const std::string& outputFile() {
    static const std::string file = "/tmp/ovo-bench-shading-" + std::to_string(getpid()) + ".tif";
    return file;
}

// Renders the frame once; returns seconds of wall time.
double renderFrame(int threads, bool shaded) {
    ErrorManager* manager = ErrorManager::Create(nullptr, 0);
    RendererAPI* r = RendererAPI::CreateRenderer("raytracer", manager);
    const int resolution[2] = {640, 480}, samples[2] = {4, 4};
    r->Attribute("int[2] resolution", resolution);
    r->Attribute("int[2] spatialquality", samples);
    r->Attribute("int limits:threads", threads);
    r->Attribute("string projection", "perspective");
    r->Attribute("float fov", 50.0f);
    r->Output(outputFile().c_str(), "tiff", "rgb", "camera");
    r->World();
    if (shaded) {
        r->Attribute("string light:shadows", "on");
        const float from[3] = {0, 0, 0}, to[3] = {0.3f, -1.0f, 0.6f};
        r->Parameter("point from", from);
        r->Parameter("point to", to);
        r->Parameter("float intensity", 0.8f);
        r->Light("sun", "distantlight", nullptr);
        const float lamp[3] = {-10.0f, 15.0f, 20.0f};
        r->Parameter("point from", lamp);
        r->Parameter("float intensity", 300.0f);
        r->Light("lamp", "pointlight", nullptr);
    }
    r->Shader("surface", shaded ? "plastic" : "constant", nullptr);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> x(-20.0f, 20.0f), z(15.0f, 60.0f), c(0.2f, 1.0f);
    for (int i = 0; i < 1000; ++i) {
        r->PushAttributes();
        const float colour[3] = {c(rng), c(rng), c(rng)};
        r->Attribute("color C", colour);
        r->Translate(x(rng), x(rng) * 0.4f, z(rng));
        r->Sphere(0.7f, -0.7f, 0.7f, 360.0f);
        r->PopAttributes();
    }
    const float ground[12] = {-100, -10, 0, 100, -10, 0, 100, -10, 200, -100, -10, 200};
    r->Parameter("point P", ground);
    r->Polygon(4);
    const auto start = std::chrono::steady_clock::now();
    r->Render(nullptr);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    delete r;
    delete manager;
    std::remove(outputFile().c_str());
    return seconds;
}

void BM_ShadedFrame(benchmark::State& state) {
    const int threads = int(state.range(0));
    double shaded = 0.0, traced = 0.0;
    for (auto _ : state) {
        const double s = renderFrame(threads, true);
        state.SetIterationTime(s);
        shaded += s;
        state.PauseTiming();
        traced += renderFrame(threads, false);
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["frame_s"] = shaded / n;
    state.counters["trace_only_s"] = traced / n;
    state.counters["shading_share"] = shaded > 0.0 ? 1.0 - traced / shaded : 0.0;
}

BENCHMARK(BM_ShadedFrame)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
