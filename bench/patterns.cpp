// Procedural patterns: 3D gradient noise evaluations per second on one thread (items/s), and
// the 640 x 480 frame of scenes/patterns.rib (4 x 4 samples, the pattern shaders, two
// displacements, a layered group and shadows) on 1 and 2 threads, seconds per frame = the
// iteration time. Only the Input call that reads and renders the scene is timed; the image
// goes to a scratch folder. Needs OVO_HOME pointing at a build (plugins and shaders).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <OpenImageIO/errorhandler.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/api/renderer_api.h"
#include "core/params/error.h"
#include "core/shading/sl/noise.h"

namespace {

using namespace ovo;

void BM_Noise3D(benchmark::State& state) {
    // Points along a line that crosses lattice cells at an irregular pace, so that every call
    // hashes fresh corners, as a shader sweeping a surface does.
    float x = 0.1f, y = 0.2f, z = 0.3f, sum = 0.0f;
    for (auto _ : state) {
        for (int i = 0; i < 1024; ++i) {
            sum += SL::noise(x, y, z);
            x += 0.173f;
            y += 0.0731f;
            z += 0.0419f;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_Noise3D);

// Keeps the frame's statistics off the benchmark's output.
class QuietHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& text) override {
        if (code >= EH_ERROR) std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// Seconds to read and render the scene, in a scratch folder that receives its image.
double renderScene(int threads) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "ovo-bench-patterns-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) return 0.0;
    const fs::path before = fs::current_path();
    fs::current_path(pattern);
    QuietHandler handler;
    ErrorManager* manager = ErrorManager::Create(&handler, 1);
    RendererAPI* renderer = RendererAPI::CreateRenderer("raytracer", manager);
    renderer->Attribute("int limits:threads", threads);
    const std::string input = std::string("rib ") + OVO_SOURCE_DIR + "/scenes/patterns.rib";
    const auto start = std::chrono::steady_clock::now();
    renderer->Input(input.c_str());
    const auto end = std::chrono::steady_clock::now();
    delete renderer;
    delete manager;
    fs::current_path(before);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return std::chrono::duration<double>(end - start).count();
}

void BM_PatternFrame(benchmark::State& state) {
    for (auto _ : state) state.SetIterationTime(renderScene(int(state.range(0))));
}
BENCHMARK(BM_PatternFrame)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
