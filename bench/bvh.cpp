// The "bvh" accelerator over 100,000 spheres and over 100,000 single-triangle primitives: build
// rate (primitives/s) and nearest-hit and any-hit rays per second on one thread, for coherent
// (camera-like) and random rays, with raw Embree 3 on the same triangles as the reference.
// The shapes are the "sphere" and "polygon" plugins (from $OVO_HOME/plugins, else beside this
// program); without them, small local shapes stand in and the labels say "local".
// A summary of the ratios to Embree is printed at the end.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <embree3/rtcore.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/embree_ray.h"
#include "core/api/renderer_api.h"
#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/transform.h"
#include "core/params/error.h"
#include "core/params/parameter.h"

namespace {

using namespace ovo;

constexpr int NumPrimitives = 100000;
constexpr int NumRays = 100000;
constexpr float Half = 50.0f;  // the scene fills [-Half, Half]^3

std::string pluginDir() {
    if (const char* home = std::getenv("OVO_HOME")) return std::string(home) + "/plugins";
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) return "plugins";
    exe[n] = 0;
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));  // bin
    return dir.substr(0, dir.rfind('/')) + "/plugins";
}

void* entry(const std::string& file, const char* symbol) {
    void* handle = dlopen((pluginDir() + "/" + file).c_str(), RTLD_NOW | RTLD_GLOBAL);
    return handle ? dlsym(handle, symbol) : nullptr;
}

class BenchRenderer : public RendererAPI {
  public:
    BenchRenderer() : manager(ErrorManager::Create(nullptr, 1)) {}
    ErrorManager* GetErrorManager() override { return manager; }

  private:
    ErrorManager* manager;
};

// Stand-ins used only when the shape plugins are not built.
class LocalSphere : public Shape {
  public:
    explicit LocalSphere(float r) : radius(r) {}
    bool solve(const Ray& ray, float& t) const {
        const float a = dot(ray.d, ray.d), b = 2.0f * dot(ray.d, Vector(ray.o));
        const float c = dot(Vector(ray.o), Vector(ray.o)) - radius * radius;
        const float disc = b * b - 4.0f * a * c;
        if (disc < 0.0f) return false;
        const float s = std::sqrt(disc);
        const float q = b < 0.0f ? -0.5f * (b - s) : -0.5f * (b + s);
        float t0 = q / a, t1 = c / q;
        if (t0 > t1) std::swap(t0, t1);
        t = t0 >= ray.mint ? t0 : t1;
        return t >= ray.mint && t <= ray.maxt;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        float t;
        if (!solve(ray, t)) return false;
        hit.t = t;
        hit.env.P = ray(t);
        hit.env.Ng = Normal(Vector(hit.env.P) / radius);
        return true;
    }
    bool intersect(const Ray& ray) const override {
        float t;
        return solve(ray, t);
    }
    Aabb objectExtent() const override {
        return Aabb(-radius, radius, -radius, radius, -radius, radius);
    }
    float radius;
};

class LocalTriangle : public Shape {
  public:
    LocalTriangle(const Point& a, const Point& b, const Point& c) : p0(a), e1(b - a), e2(c - a) {}
    bool solve(const Ray& ray, float& t) const {
        const Vector pv = Vector(ray.d ^ e2);
        const float det = dot(e1, pv);
        if (det == 0.0f) return false;
        const float inv = 1.0f / det;
        const Vector tv = ray.o - p0;
        const float u = dot(tv, pv) * inv;
        if (u < 0.0f || u > 1.0f) return false;
        const Vector qv = Vector(tv ^ e1);
        const float v = dot(ray.d, qv) * inv;
        if (v < 0.0f || u + v > 1.0f) return false;
        t = dot(e2, qv) * inv;
        return t >= ray.mint && t <= ray.maxt;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        float t;
        if (!solve(ray, t)) return false;
        hit.t = t;
        hit.env.P = ray(t);
        hit.env.Ng = Normal(Vector(e1 ^ e2).hat());
        return true;
    }
    bool intersect(const Ray& ray) const override {
        float t;
        return solve(ray, t);
    }
    Aabb objectExtent() const override {
        Aabb b(p0);
        b += p0 + e1;
        b += p0 + e2;
        return b;
    }
    Point p0;
    Vector e1, e2;
};

struct SceneData {
    std::vector<Reference<Primitive>> spheres, triangles;
    std::vector<float> vertices;  // the triangles again, for Embree
    std::deque<Transform> transforms;
    bool pluginShapes = false;
};

const SceneData& scene() {
    static const SceneData data = [] {
        SceneData s;
        auto createShape =
            reinterpret_cast<OvoCreateShapeEntry>(entry("sphere.shape.so", "createShape"));
        auto createPolygon =
            reinterpret_cast<OvoCreateShapeEntry>(entry("polygon.shape.so", "createShape"));
        s.pluginShapes = createShape && createPolygon;
        BenchRenderer renderer;
        ShapeAttributes attributes;
        std::mt19937 rng(1234);
        std::uniform_real_distribution<float> pos(-Half, Half), off(-1.0f, 1.0f), size(0.3f, 0.8f);
        for (int i = 0; i < NumPrimitives; ++i) {
            const float r = size(rng);
            const Transform t = Translate(pos(rng), pos(rng), pos(rng));
            s.transforms.push_back(t);
            const Transform& o2w = s.transforms.back();
            Shape* shape = nullptr;
            if (s.pluginShapes) {
                ParameterSet params;
                params.push_back("radius", ParamType(TypeFloat), &r, true);
                shape = createShape(renderer, o2w, attributes, params);
            } else {
                shape = new LocalSphere(r);
            }
            s.spheres.push_back(new NoPPrimitive(shape, PrimitiveAttributes(), o2w));
        }
        for (int i = 0; i < NumPrimitives; ++i) {
            const Point c(pos(rng), pos(rng), pos(rng));
            float p[9];
            for (int k = 0; k < 3; ++k) {
                p[3 * k + 0] = c.x + off(rng);
                p[3 * k + 1] = c.y + off(rng);
                p[3 * k + 2] = c.z + off(rng);
            }
            s.vertices.insert(s.vertices.end(), p, p + 9);
            Shape* shape = nullptr;
            if (s.pluginShapes) {
                ParameterSet params;
                const int three = 3;
                params.push_back("nvertices", ParamType(TypeInt), &three, true);
                params.push_back("P", ParamType(TypePoint, 3, InterpVertex), p, true);
                shape = createPolygon(renderer, Transform::Identity, attributes, params);
            } else {
                shape = new LocalTriangle(Point(p), Point(p + 3), Point(p + 6));
            }
            s.triangles.push_back(
                new NoPPrimitive(shape, PrimitiveAttributes(), Transform::Identity));
        }
        return s;
    }();
    return data;
}

// Coherent rays: a 316 x 316 pinhole camera in front of the scene. Random rays: origins
// anywhere in the scene, directions uniform.
const std::vector<Ray>& rays(bool coherent) {
    static const std::vector<Ray> primary = [] {
        std::vector<Ray> out;
        const int side = int(std::sqrt(double(NumRays)));
        const Point eye(0.0f, 0.0f, -3.0f * Half);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const Point target(Half * (2.0f * (x + 0.5f) / side - 1.0f),
                                   Half * (2.0f * (y + 0.5f) / side - 1.0f), -Half);
                out.push_back(Ray(eye, Vector(target - eye).hat()));
            }
        return out;
    }();
    static const std::vector<Ray> random = [] {
        std::vector<Ray> out;
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> pos(-Half, Half), dir(-1.0f, 1.0f);
        while (out.size() < size_t(NumRays)) {
            const Vector d(dir(rng), dir(rng), dir(rng));
            if (d.length2() > 1.0f || d.length2() < 1e-4f) continue;
            out.push_back(Ray(Point(pos(rng), pos(rng), pos(rng)), d.hat()));
        }
        return out;
    }();
    return coherent ? primary : random;
}

OvoCreateAggregateEntry bvhEntry() {
    static OvoCreateAggregateEntry e =
        reinterpret_cast<OvoCreateAggregateEntry>(entry("bvh.accelerator.so", "createAggregate"));
    return e;
}

const std::vector<Reference<Primitive>>& primitives(bool triangles) {
    return triangles ? scene().triangles : scene().spheres;
}

const char* kind(bool triangles) { return triangles ? "triangles" : "spheres"; }

std::string shapeLabel() { return scene().pluginShapes ? "plugin shapes" : "local shapes"; }

void BM_BvhBuild(benchmark::State& state) {
    const bool triangles = state.range(0);
    std::vector<Reference<Primitive>> prims = primitives(triangles);
    if (!bvhEntry()) return state.SkipWithError("bvh.accelerator.so not found");
    ParameterSet params;
    for (auto _ : state) {
        Reference<Primitive> bvh(bvhEntry()(prims, params));
        benchmark::DoNotOptimize(bvh.get());
    }
    state.counters["prims/s"] =
        benchmark::Counter(double(prims.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(std::string(kind(triangles)) + ", " + shapeLabel());
}

const Primitive& builtBvh(bool triangles) {
    static std::map<bool, Reference<Primitive>> built;
    Reference<Primitive>& b = built[triangles];
    if (!b) {
        std::vector<Reference<Primitive>> prims = primitives(triangles);
        ParameterSet params;
        b = bvhEntry()(prims, params);
    }
    return *b;
}

void BM_BvhTrace(benchmark::State& state) {
    const bool triangles = state.range(0), coherent = state.range(1), any = state.range(2);
    if (!bvhEntry()) return state.SkipWithError("bvh.accelerator.so not found");
    const Primitive& bvh = builtBvh(triangles);
    const std::vector<Ray>& rs = rays(coherent);
    size_t hits = 0;
    const uint64_t testsBefore = Aabb::numIntersectionTests;
    for (auto _ : state) {
        hits = 0;
        if (any) {
            for (const Ray& r : rs) hits += bvh.intersect(r);
        } else {
            Hit hit;
            for (const Ray& r : rs) hits += bvh.intersect(r, hit);
        }
        benchmark::DoNotOptimize(hits);
    }
    const double n = double(rs.size());
    state.counters["rays/s"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["hit%"] = 100.0 * double(hits) / n;
    state.counters["boxes/ray"] =
        double(Aabb::numIntersectionTests - testsBefore) / (n * double(state.iterations()));
    const std::string name = std::string("bvh ") + (any ? "any " : "nearest ") + kind(triangles) +
                             (coherent ? " coherent" : " random");
    state.SetLabel(name + ", " + shapeLabel());
}

// One primitive test on its own: the triangles' NoPPrimitive with the polygon plugin behind
// it, each asked once by a ray through its bound's centre. In the order they were made (memory
// streams in, as for coherent rays) or shuffled (every test starts with cache misses, as for
// random rays). Besides rays/s, the hierarchy's rays pay this for each bound they enter.
void BM_PrimitiveTest(benchmark::State& state) {
    const bool shuffled = state.range(0);
    static std::vector<std::pair<const Primitive*, Ray>> calls[2];
    std::vector<std::pair<const Primitive*, Ray>>& c = calls[shuffled];
    if (c.empty()) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> dir(-1.0f, 1.0f);
        for (const Reference<Primitive>& p : scene().triangles) {
            const Aabb b = p->worldExtent();
            const Point centre(0.5f * (b.bmin[0] + b.bmax[0]), 0.5f * (b.bmin[1] + b.bmax[1]),
                               0.5f * (b.bmin[2] + b.bmax[2]));
            Vector d(dir(rng), dir(rng), dir(rng));
            if (d.length2() < 1e-4f) d = Vector(0.0f, 0.0f, 1.0f);
            d = d.hat();
            c.emplace_back(p.get(), Ray(centre - 3.0f * d, d));
        }
        if (shuffled) std::shuffle(c.begin(), c.end(), rng);
    }
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        Hit hit;
        for (const auto& call : c) hits += call.first->intersect(call.second, hit);
        benchmark::DoNotOptimize(hits);
    }
    const double n = double(c.size());
    state.counters["tests/s"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["hit%"] = 100.0 * double(hits) / n;
    state.SetLabel(std::string("triangle primitive tests, ") +
                   (shuffled ? "shuffled" : "in order") + ", " + shapeLabel());
}

struct Embree {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    Embree() {
        device = rtcNewDevice("threads=1");
        scene = rtcNewScene(device);
        RTCGeometry geom = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        const std::vector<float>& v = ::scene().vertices;
        const size_t n = v.size() / 9;
        float* vb = static_cast<float*>(rtcSetNewGeometryBuffer(
            geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 3 * n));
        std::copy(v.begin(), v.end(), vb);
        unsigned* ib = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
            geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), n));
        for (size_t i = 0; i < 3 * n; ++i) ib[i] = unsigned(i);
        rtcCommitGeometry(geom);
        rtcAttachGeometry(scene, geom);
        rtcReleaseGeometry(geom);
        rtcCommitScene(scene);
    }
    ~Embree() {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }
};

const Embree& embreeScene() {
    static Embree embree;
    return embree;
}

size_t traceEmbree(const std::vector<Ray>& rs) {
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t hits = 0;
    for (const Ray& r : rs) {
        RTCRayHit rh = ovobench::toEmbree(r);
        rtcIntersect1(embreeScene().scene, &context, &rh);
        hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    }
    return hits;
}

size_t traceBvh(const Primitive& bvh, const std::vector<Ray>& rs) {
    size_t hits = 0;
    Hit hit;
    for (const Ray& r : rs) hits += bvh.intersect(r, hit);
    return hits;
}

void BM_EmbreeTrace(benchmark::State& state) {
    const bool coherent = state.range(0);
    const std::vector<Ray>& rs = rays(coherent);
    size_t hits = 0;
    for (auto _ : state) {
        hits = traceEmbree(rs);
        benchmark::DoNotOptimize(hits);
    }
    const double n = double(rs.size());
    state.counters["rays/s"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["hit%"] = 100.0 * double(hits) / n;
    state.SetLabel(std::string("embree nearest triangles") + (coherent ? " coherent" : " random"));
}

// The hierarchy and Embree in turns on the same triangles and rays, nearest hits: the ratio of
// their rays per second, each pass timed alone, so that both see the same machine even when
// its speed drifts during the run (as shared machines' does).
void BM_RatioToEmbree(benchmark::State& state) {
    const bool coherent = state.range(0);
    if (!bvhEntry()) return state.SkipWithError("bvh.accelerator.so not found");
    const Primitive& bvh = builtBvh(true);
    const std::vector<Ray>& rs = rays(coherent);
    embreeScene();
    using Clock = std::chrono::steady_clock;
    double ours = 0.0, theirs = 0.0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        benchmark::DoNotOptimize(traceBvh(bvh, rs));
        const Clock::time_point t1 = Clock::now();
        benchmark::DoNotOptimize(traceEmbree(rs));
        const Clock::time_point t2 = Clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        theirs += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = double(rs.size()) * double(state.iterations());
    state.counters["bvh rays/s"] = n / ours;
    state.counters["embree rays/s"] = n / theirs;
    state.counters["ratio"] = theirs / ours;
    state.SetLabel(std::string("ratio ") + (coherent ? "coherent" : "random"));
}

void BM_EmbreeBuild(benchmark::State& state) {
    for (auto _ : state) {
        Embree e;
        benchmark::DoNotOptimize(e.scene);
    }
    state.counters["prims/s"] =
        benchmark::Counter(double(NumPrimitives), benchmark::Counter::kIsIterationInvariantRate);
}

// Collects rays/s of every run for the closing summary.
class Summary : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto it = run.counters.find("rays/s");
            if (it != run.counters.end() && !run.report_label.empty())
                measured[run.report_label.substr(0, run.report_label.find(','))] = it->second.value;
            auto ratio = run.counters.find("ratio");
            if (ratio != run.counters.end()) ratios[run.report_label] = ratio->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* set : {"coherent", "random"}) {
            const std::string ours = std::string("bvh nearest triangles ") + set;
            const std::string ref = std::string("embree nearest triangles ") + set;
            if (measured.count(ours) && measured.count(ref) && measured[ref] > 0.0)
                std::printf("triangles, %s rays: bvh %.3g rays/s, Embree %.3g rays/s, ratio %.2f\n",
                            set, measured[ours], measured[ref], measured[ours] / measured[ref]);
            const std::string label = std::string("ratio ") + set;
            if (ratios.count(label))
                std::printf("triangles, %s rays, measured in turns: ratio %.2f\n", set,
                            ratios[label]);
        }
    }

  private:
    std::map<std::string, double> measured;
    std::map<std::string, double> ratios;
};

}  // namespace

BENCHMARK(BM_BvhBuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmbreeBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BvhTrace)->ArgsProduct({{0, 1}, {1, 0}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmbreeTrace)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrimitiveTest)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RatioToEmbree)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    benchmark::Shutdown();
    return 0;
}
