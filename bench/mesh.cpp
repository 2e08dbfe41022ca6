// Nearest-hit rays per second on a "polygonMesh" of one million triangles: through OVO's
// shape and primitive (the hit record filled, as the renderer traces) against raw
// rtcIntersect1 on a scene built from the same arrays, one thread, side by side in each
// iteration. The counters give the rates and the ratio OVO / Embree ("ratio"), also for a
// primitive whose transform is not the identity ("ratio_turned": the mesh and the rays turned
// alike, so the work is the same plus the transforms). Times are the thread's processor time.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <embree3/rtcore.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/embree_ray.h"
#include "core/api/renderer_api.h"
#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/transform.h"
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

struct Scene {
    std::vector<float> P;  // packed, plus one spare float for Embree
    std::vector<int> indices;
    Reference<Shape> shape;
    std::unique_ptr<NoPPrimitive> primitive;  // identity transform: the rays as they are
    std::unique_ptr<NoPPrimitive> turned;     // turned by `turn`: the rays turned alike
    Transform turn;
    RTCDevice device = nullptr;
    RTCScene raw = nullptr;
    std::vector<Ray> coherent, random;
};

// A bumpy sphere: nu × nv quads split in two, 1,000,000 triangles.
void buildGeometry(Scene& s, int nu, int nv) {
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const float theta = float(M_PI) * j / nv, phi = 2.0f * float(M_PI) * i / nu;
            const float r = 1.0f + 0.04f * std::sin(13.0f * theta) * std::cos(11.0f * phi);
            s.P.insert(s.P.end(), {r * std::sin(theta) * std::cos(phi),
                                   r * std::sin(theta) * std::sin(phi), r * std::cos(theta)});
        }
    s.P.push_back(0.0f);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const int a = j * nu + i, b = j * nu + (i + 1) % nu, c = a + nu, d = b + nu;
            s.indices.insert(s.indices.end(), {a, b, d, a, d, c});
        }
}

Scene& scene() {
    static Scene* s = [] {
        auto* sc = new Scene;
        buildGeometry(*sc, 1000, 500);
        const int nverts = int((sc->P.size() - 1) / 3), ntris = int(sc->indices.size() / 3);

        // OVO: the plugin, as the renderer loads it, wrapped in the primitive it traces.
        const std::string path = pluginPath() + "polygonMesh.shape.so";
        void* lib = dlopen(path.c_str(), RTLD_NOW);
        if (!lib) {
            std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), dlerror());
            std::exit(1);
        }
        auto entry = reinterpret_cast<OvoCreateShapeEntry>(dlsym(lib, "createShape"));
        ParameterSet params;
        params.push_back(
            new Parameter("P", ParamType(TypePoint, 1, InterpVertex), nverts, sc->P.data(), false));
        params.push_back(new Parameter("nvertices", ParamType(TypeInt, unsigned(ntris)), 1,
                                       std::vector<int>(std::size_t(ntris), 3).data(), true));
        params.push_back(new Parameter("vertices", ParamType(TypeInt, 0), int(sc->indices.size()),
                                       sc->indices.data(), false));
        QuietRenderer renderer;
        // No shadow bias, so that both trace the same interval of every ray.
        ShapeAttributes attributes;
        attributes.bias = 0.0f;
        sc->shape = entry(renderer, Transform::Identity, attributes, params);
        if (!sc->shape) std::exit(1);
        sc->primitive.reset(
            new NoPPrimitive(sc->shape, PrimitiveAttributes(), Transform::Identity));
        sc->turn = Translate(0.5f, -1.0f, 2.0f) * Rotate(0.7f, Vector(Vector(1, 2, 3).hat()));
        sc->turned.reset(new NoPPrimitive(sc->shape, PrimitiveAttributes(), sc->turn));

        // Raw Embree on the same arrays, built the same way.
        sc->device = rtcNewDevice("verbose=0");
        RTCGeometry g = rtcNewGeometry(sc->device, RTC_GEOMETRY_TYPE_TRIANGLE);
        rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, sc->P.data(), 0,
                                   3 * sizeof(float), std::size_t(nverts));
        rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                   sc->indices.data(), 0, 3 * sizeof(int), std::size_t(ntris));
        rtcCommitGeometry(g);
        sc->raw = rtcNewScene(sc->device);
        // A mesh this large is stored compactly by the plugin: the same layout here.
        rtcSetSceneFlags(sc->raw, RTC_SCENE_FLAG_COMPACT);
        rtcAttachGeometry(sc->raw, g);
        rtcReleaseGeometry(g);
        rtcCommitScene(sc->raw);

        // Primary rays of a 512 × 512 pinhole camera in scanline order, and rays from random
        // points of the bound in random directions.
        const int res = 512;
        for (int y = 0; y < res; ++y)
            for (int x = 0; x < res; ++x) {
                const Vector d((x + 0.5f) / res * 0.84f - 0.42f, 0.42f - (y + 0.5f) / res * 0.84f,
                               1.0f);
                sc->coherent.push_back(Ray(Point(0, 0, -3), d));
            }
        uint32_t state = 2463534242u;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return float(state >> 8) / 16777216.0f;
        };
        for (int i = 0; i < res * res; ++i) {
            const Point o(2.4f * next() - 1.2f, 2.4f * next() - 1.2f, 2.4f * next() - 1.2f);
            const float z = 2.0f * next() - 1.0f, a = 2.0f * float(M_PI) * next();
            const float rr = std::sqrt(1.0f - z * z);
            sc->random.push_back(Ray(o, Vector(rr * std::cos(a), rr * std::sin(a), z)));
        }
        return sc;
    }();
    return *s;
}

// This thread's processor time: the machine is shared, and wall time would count the turns
// other processes take.
double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Traces every ray one way, returning the hits and the seconds it took.
template <class Trace>
double timed(const std::vector<Ray>& rays, Trace trace, long& hits) {
    const double start = threadSeconds();
    long n = 0;
    for (const Ray& r : rays) n += trace(r) ? 1 : 0;
    hits = n;
    return threadSeconds() - start;
}

void compare(benchmark::State& state, const std::vector<Ray>& rays) {
    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush-to-zero and denormals-are-zero, as renderers do
    Scene& s = scene();
    Hit hit;
    auto ovo = [&](const Ray& r) {
        if (!s.primitive->intersect(r, hit)) return false;
        benchmark::DoNotOptimize(hit.env.P);
        return true;
    };
    // The same problem with the mesh and the rays turned: the primitive then carries each ray
    // into the mesh's space and the hit back.
    std::vector<Ray> turnedRays;
    for (const Ray& r : rays) turnedRays.push_back(s.turn * r);
    auto turned = [&](const Ray& r) {
        if (!s.turned->intersect(r, hit)) return false;
        benchmark::DoNotOptimize(hit.env.P);
        return true;
    };
    auto raw = [&](const Ray& r) {
        RTCRayHit rh = ovobench::toEmbree(r);
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        rtcIntersect1(s.raw, &context, &rh);
        benchmark::DoNotOptimize(rh.hit.u);
        return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    };
    double ovoTime = 0.0, rawTime = 0.0, turnedTime = 0.0;
    long ovoHits = 0, rawHits = 0, turnedHits = 0;
    int round = 0;
    for (auto _ : state) {
        // Rotate which goes first, so that none always finds the caches warm.
        double a = 0.0, b = 0.0, c = 0.0;
        for (int k = 0; k < 3; ++k) {
            switch ((round + k) % 3) {
                case 0:
                    a = timed(rays, ovo, ovoHits);
                    break;
                case 1:
                    b = timed(rays, raw, rawHits);
                    break;
                default:
                    c = timed(turnedRays, turned, turnedHits);
                    break;
            }
        }
        ++round;
        ovoTime += a;
        rawTime += b;
        turnedTime += c;
        state.SetIterationTime(a + b + c);
    }
    if (ovoHits != rawHits || std::labs(turnedHits - rawHits) > long(rays.size()) / 10000)
        state.SkipWithError("OVO and Embree disagree on the hits");
    const double n = double(rays.size()) * double(state.iterations());
    state.counters["ovo_Mrays_s"] = n / ovoTime * 1e-6;
    state.counters["embree_Mrays_s"] = n / rawTime * 1e-6;
    state.counters["ratio"] = rawTime / ovoTime;
    state.counters["turned_Mrays_s"] = n / turnedTime * 1e-6;
    state.counters["ratio_turned"] = rawTime / turnedTime;
    state.counters["hit_fraction"] = double(ovoHits) / double(rays.size());
}

void BM_MeshCoherentPrimaryRays(benchmark::State& state) { compare(state, scene().coherent); }
void BM_MeshRandomRays(benchmark::State& state) { compare(state, scene().random); }

BENCHMARK(BM_MeshCoherentPrimaryRays)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_MeshRandomRays)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
