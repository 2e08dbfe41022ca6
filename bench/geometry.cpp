// The shapes beyond polygons, at scale: a Catmull-Clark mesh of one million faces (against the
// same cage split into two million triangles through "polygonMesh"), a bicubic patch mesh of
// about 100,000 patches and one million cubic curve segments. For each: the build time (wall
// clock: Embree builds on every core), the memory it took per input element (growth of the
// resident set while it was made), and nearest-hit rays per second on one thread (the
// benchmark's own processor time), for the primary rays of a pinhole camera (coherent) and for
// rays from random points in random directions.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/params/parameter.h"

using namespace ovo;

namespace {

class QuietRenderer : public RendererAPI {
  public:
    QuietRenderer() : manager(ErrorManager::Create(nullptr, 1)) {}
    ~QuietRenderer() override { delete manager; }
    ErrorManager* GetErrorManager() override { return manager; }

  private:
    ErrorManager* manager;
};

std::string pluginPath() {
    if (const char* home = std::getenv("OVO_HOME")) return std::string(home) + "/plugins/";
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, std::size_t(n)) : std::string(".");
    dir = dir.substr(0, dir.find_last_of('/'));
    return dir + "/../plugins/";
}

OvoCreateShapeEntry entry(const std::string& type) {
    const std::string path = pluginPath() + type + ".shape.so";
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!lib) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), dlerror());
        std::exit(1);
    }
    return reinterpret_cast<OvoCreateShapeEntry>(dlsym(lib, "createShape"));
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * std::size_t(sysconf(_SC_PAGESIZE));
}

// A shape made by its plugin, what it cost, and the rays it is measured with.
struct Subject {
    Reference<Shape> shape;
    std::unique_ptr<NoPPrimitive> primitive;
    double buildSeconds = 0.0, bytesPerElement = 0.0;
    std::vector<Ray> coherent, random;
};

// Makes the shape, timing it and weighing what the process grew by.
void build(Subject& s, const std::string& type, ParameterSet& params, double elements) {
    QuietRenderer renderer;
    ShapeAttributes attributes;
    attributes.bias = 0.0f;
    OvoCreateShapeEntry create = entry(type);
    const std::size_t before = residentBytes();
    const auto start = std::chrono::steady_clock::now();
    s.shape = create(renderer, Transform::Identity, attributes, params);
    s.buildSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!s.shape) {
        std::fprintf(stderr, "%s: no shape\n", type.c_str());
        std::exit(1);
    }
    s.bytesPerElement = double(residentBytes() - before) / elements;
    s.primitive.reset(new NoPPrimitive(s.shape, PrimitiveAttributes(), Transform::Identity));
    // A 512 × 512 camera looking at the shape's bound from -z, and random rays within it.
    const Aabb b = s.shape->objectExtent();
    const Point centre(0.5f * (b.bmin[0] + b.bmax[0]), 0.5f * (b.bmin[1] + b.bmax[1]),
                       0.5f * (b.bmin[2] + b.bmax[2]));
    const float size = (Point(b.bmax) - Point(b.bmin)).length();
    const int res = 512;
    for (int y = 0; y < res; ++y)
        for (int x = 0; x < res; ++x) {
            const Vector d((x + 0.5f) / res * 0.84f - 0.42f, 0.42f - (y + 0.5f) / res * 0.84f, 1);
            s.coherent.push_back(Ray(centre - Vector(0, 0, 1.3f * size), d));
        }
    uint32_t state = 2463534242u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) / 16777216.0f;
    };
    for (int i = 0; i < res * res; ++i) {
        const Point o(b.bmin[0] + next() * (b.bmax[0] - b.bmin[0]),
                      b.bmin[1] + next() * (b.bmax[1] - b.bmin[1]),
                      b.bmin[2] + next() * (b.bmax[2] - b.bmin[2]));
        const float z = 2.0f * next() - 1.0f, a = 2.0f * float(M_PI) * next();
        const float rr = std::sqrt(1.0f - z * z);
        s.random.push_back(Ray(o, Vector(rr * std::cos(a), rr * std::sin(a), z)));
    }
}

// A bumpy torus sampled on an nu × nv grid, closed both ways.
Point torus(int i, int j, int nu, int nv) {
    const float a = 2.0f * float(M_PI) * float(i) / float(nu);
    const float c = 2.0f * float(M_PI) * float(j) / float(nv);
    const float r = 0.45f + 0.03f * std::sin(7.0f * a) * std::cos(5.0f * c);
    return Point((1.0f + r * std::cos(c)) * std::cos(a), (1.0f + r * std::cos(c)) * std::sin(a),
                 r * std::sin(c));
}

// The Catmull-Clark mesh (quads) or its cage as triangles: n × n faces of a torus.
Subject& cage(bool triangles) {
    static std::map<bool, Subject*> made;
    Subject*& s = made[triangles];
    if (s) return *s;
    s = new Subject;
    const int n = 1000;
    std::vector<float> P;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const Point p = torus(i, j, n, n);
            P.insert(P.end(), {p.x, p.y, p.z});
        }
    P.push_back(0.0f);
    std::vector<int> sizes, indices;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * n + i, b = j * n + (i + 1) % n, c = ((j + 1) % n) * n + (i + 1) % n,
                      d = ((j + 1) % n) * n + i;
            if (triangles) {
                indices.insert(indices.end(), {a, b, c, a, c, d});
                sizes.insert(sizes.end(), {3, 3});
            } else {
                indices.insert(indices.end(), {a, b, c, d});
                sizes.push_back(4);
            }
        }
    ParameterSet params;
    params.push_back(
        new Parameter("P", ParamType(TypePoint, 1, InterpVertex), n * n, P.data(), false));
    params.push_back(new Parameter("nvertices", ParamType(TypeInt, unsigned(sizes.size())), 1,
                                   sizes.data(), false));
    params.push_back(new Parameter("vertices", ParamType(TypeInt, 0), int(indices.size()),
                                   indices.data(), false));
    build(*s, triangles ? "polygonMesh" : "ccmesh", params, double(n) * n);
    return *s;
}

// A periodic B-spline mesh over the torus: 320 × 313 patches, the first three columns and
// rows repeated as a periodic mesh arrives.
Subject& patches() {
    static Subject* s = nullptr;
    if (s) return *s;
    s = new Subject;
    const int pu = 320, pv = 313, nu = pu + 3, nv = pv + 3;
    std::vector<float> P;
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const Point p = torus(i % pu, j % pv, pu, pv);
            P.insert(P.end(), {p.x, p.y, p.z});
        }
    ParameterSet params;
    params.push_back(
        new Parameter("P", ParamType(TypePoint, 1, InterpVertex), nu * nv, P.data(), false));
    params.push_back(new Parameter("nu", ParamType(TypeInt), 1, &nu, true));
    params.push_back(new Parameter("nv", ParamType(TypeInt), 1, &nv, true));
    const char* basis = "bspline";
    params.push_back(new Parameter("basis", ParamType(TypeString), 1, &basis, true));
    build(*s, "bicubicpatch", params, double(pu) * pv);
    return *s;
}

// 125,000 hairs of eight B-spline segments each (eleven points) rising from the torus.
Subject& curves() {
    static Subject* s = nullptr;
    if (s) return *s;
    s = new Subject;
    const int ncurves = 125000, per = 11;
    std::vector<float> P;
    uint32_t state = 88675123u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) / 16777216.0f;
    };
    for (int c = 0; c < ncurves; ++c) {
        const float u = next(), v = next();
        const Point root = torus(int(u * 100000.0f), int(v * 100000.0f), 100000, 100000);
        const Vector up = Vector(Vector(root) - Vector(std::cos(u * 2.0f * float(M_PI)),
                                                       std::sin(u * 2.0f * float(M_PI)), 0.0f))
                              .hat();
        for (int k = 0; k < per; ++k) {
            const float t = 0.02f * float(k);
            P.insert(P.end(), {root.x + up.x * t + 0.01f * t * k, root.y + up.y * t,
                               root.z + up.z * t - 0.005f * t * k});
        }
    }
    int ncurvesCopy = ncurves;
    ParameterSet params;
    params.push_back(
        new Parameter("P", ParamType(TypePoint, 1, InterpVertex), ncurves * per, P.data(), false));
    params.push_back(new Parameter("ncurves", ParamType(TypeInt), 1, &ncurvesCopy, true));
    params.push_back(new Parameter("nvertspercurve", ParamType(TypeInt), 1, &per, true));
    const char* basis = "bspline";
    params.push_back(new Parameter("basis", ParamType(TypeString), 1, &basis, true));
    const float width = 0.004f;
    params.push_back(new Parameter("constantwidth", ParamType(TypeFloat), 1, &width, true));
    build(*s, "cubiccurves", params, double(ncurves) * (per - 3));
    return *s;
}

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

void trace(benchmark::State& state, Subject& s, const std::vector<Ray>& rays) {
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero, as renderers do
    Hit hit;
    long hits = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        hits = 0;
        for (const Ray& r : rays)
            if (s.primitive->intersect(r, hit)) {
                benchmark::DoNotOptimize(hit.env.P);
                ++hits;
            }
        const double t = threadSeconds() - start;
        seconds += t;
        state.SetIterationTime(t);
    }
    const double n = double(rays.size()) * double(state.iterations());
    state.counters["Mrays_s"] = n / seconds * 1e-6;
    state.counters["hit_fraction"] = double(hits) / double(rays.size());
    state.counters["build_s"] = s.buildSeconds;
    state.counters["bytes_per_element"] = s.bytesPerElement;
}

void BM_SubdivisionCoherent(benchmark::State& st) { trace(st, cage(false), cage(false).coherent); }
void BM_SubdivisionRandom(benchmark::State& st) { trace(st, cage(false), cage(false).random); }
void BM_CageTrianglesCoherent(benchmark::State& st) { trace(st, cage(true), cage(true).coherent); }
void BM_CageTrianglesRandom(benchmark::State& st) { trace(st, cage(true), cage(true).random); }
void BM_PatchesCoherent(benchmark::State& st) { trace(st, patches(), patches().coherent); }
void BM_PatchesRandom(benchmark::State& st) { trace(st, patches(), patches().random); }
void BM_CurvesCoherent(benchmark::State& st) { trace(st, curves(), curves().coherent); }
void BM_CurvesRandom(benchmark::State& st) { trace(st, curves(), curves().random); }

BENCHMARK(BM_SubdivisionCoherent)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SubdivisionRandom)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CageTrianglesCoherent)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CageTrianglesRandom)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PatchesCoherent)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PatchesRandom)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CurvesCoherent)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CurvesRandom)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
