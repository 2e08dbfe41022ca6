// What render threads share or keep side by side: GICache and HemisphereSampler (the
// concurrent cases are for ThreadSanitizer), the store behind bake() (one sorted file per name
// at the frame's end; a file that cannot be written: tests/compiler), and shader data blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/test_util.h"
#include "core/math/constants.h"
#include "core/shading/bake.h"
#include "core/shading/blocks.h"
#include "core/shading/compiled.h"
#include "core/shading/gicache.h"
#include "core/shading/hemisphere.h"
#include "sys/tasking.h"

using namespace ovo;

namespace {

const float Cos10 = std::cos(radians(10.0f));
const Normal Up(0.0f, 0.0f, 1.0f);

// A 10-unit world: radii between 0.05 and 3.2.
Aabb world() { return Aabb(-5.0f, 5.0f, -5.0f, 5.0f, -5.0f, 5.0f); }

template <class T = float>
GIRecord<T> record(const Point& P, const Normal& N, float R, T value) {
    const T zero(0.0f);
    return {P, N, R, value, {zero, zero, zero}, {zero, zero, zero}, Vector(N)};
}

Normal tilted(float degrees) {
    const float a = radians(degrees);
    return Normal(std::sin(a), 0.0f, std::cos(a));
}

// Interpolation with the scene's weight threshold and normal tolerance.
bool lookup(GICache<float>& c, const Point& P, const Normal& N, float footprint, float maxerror,
            int minimum, float& out) {
    return c.interpolate(P, N, footprint, maxerror, minimum, 0.5f, Cos10, out, nullptr);
}

// Whether a lookup at P facing up with maxerror 1 and no weight threshold finds a record.
bool found(GICache<float>& c, const Point& P) {
    float v;
    return c.interpolate(P, Up, 0.0f, 1.0f, 1, 0.0f, Cos10, v, nullptr);
}

// A thread id for the duration of a test, restored after it.
struct ThreadID {
    explicit ThreadID(unsigned id) : saved(sys::getThreadID()) { sys::setThreadID(id); }
    ~ThreadID() { sys::setThreadID(saved); }
    unsigned saved;
};

}  // namespace

// The last result answers a query within one footprint whose normal is within about 18
// degrees (N·last N >= 0.95); the tree refuses normals 18 degrees off (its tolerance is 10).
TEST(GICache, ReusesTheLastResultNearby) {
    ThreadID id(0);
    // Beyond the footprint the tree answers, but for a maxerror of 0: then only the last
    // result can.
    const std::tuple<float, float, float, bool> cases[] = {
        {0.0f, 0.0f, 0.25f, true},   {0.009f, 0.0f, 0.25f, true}, {0.0f, 17.5f, 0.25f, true},
        {0.0f, 18.5f, 0.25f, false}, {0.0f, 30.0f, 0.25f, false}, {0.02f, 18.0f, 0.25f, false},
        {0.02f, 0.0f, 0.25f, true},  {0.0f, 0.0f, 0.0f, true},    {0.02f, 0.0f, 0.0f, false}};
    for (const auto& [offset, degrees, maxerror, found] : cases) {
        SCOPED_TRACE(testing::Message() << offset << " " << degrees << " " << maxerror);
        GICache<float> cache(world(), 1);
        cache.insert(record(Point(0.0f), Up, 1.0f, 0.75f), 0.0f, 0.0f, 0.0f);
        float v = -1.0f;
        EXPECT_EQ(lookup(cache, Point(offset, 0.0f, 0.0f), tilted(degrees), 0.01f, maxerror, 1, v),
                  found);
        EXPECT_EQ(v, found ? 0.75f : -1.0f);
        const GICache<float>::Statistics s = cache.statistics();
        EXPECT_EQ(std::make_tuple(s.lookups, s.reused, s.records),
                  std::make_tuple(uint64_t(1), uint64_t(found && offset < 0.01f), uint64_t(1)));
    }
}

// Gradients carry the value to the query point; off, the value is the record's own.
TEST(GICache, GradientsAndTheirSwitch) {
    ThreadID id(0);
    GIRecord<float> r = record(Point(0.0f), Up, 2.0f, 0.5f);
    r.translationalGradient[0] = 0.5f;  // +0.5 per unit along x
    r.rotationalGradient[1] = -1.0f;    // turning the normal about y
    // A value the gradient would take below 0 stops at 0.
    GIRecord<float> dim = record(Point(3.0f, 0.0f, 0.0f), Up, 2.0f, 0.05f);
    dim.translationalGradient[0] = -1.0f;
    for (bool on : {true, false}) {
        GICache<float> cache(world(), 1);
        cache.gradients = on;
        cache.footprintLimits = false;
        cache.insert(r, 0.0f, 0.0f, 0.0f);
        cache.insert(dim, 0.0f, 0.0f, 0.0f);
        float v;
        ASSERT_TRUE(lookup(cache, Point(0.2f, 0.0f, 0.0f), Up, 0.0f, 1.0f, 1, v));
        EXPECT_NEAR(v, on ? 0.6f : 0.5f, 1e-5f);
        // Nr × N for N turned 3 degrees towards +x is about (0, 0.052, 0).
        ASSERT_TRUE(lookup(cache, Point(0.0f, 0.1f, 0.0f), tilted(3.0f), 0.0f, 1.0f, 1, v));
        EXPECT_NEAR(v, on ? 0.5f - std::sin(radians(3.0f)) : 0.5f, 1e-5f);
        ASSERT_TRUE(lookup(cache, Point(3.2f, 0.0f, 0.0f), Up, 0.0f, 1.0f, 1, v));
        EXPECT_NEAR(v, on ? 0.0f : 0.05f, on ? 0.0f : 1e-5f);
    }
}

// The radius a record is stored with, seen through how far it reaches at maxerror 1 with no
// weight threshold: R/2.
TEST(GICache, RadiusLimits) {
    ThreadID id(0);
    auto reach = [](GICache<float>& cache) {
        float lo = 0.0f, hi = 10.0f;
        for (int i = 0; i < 40; ++i) {
            const float mid = 0.5f * (lo + hi);
            (found(cache, Point(mid, 0.0f, 0.0f)) ? lo : hi) = mid;
        }
        return 2.0f * lo;
    };
    const std::tuple<const char*, float, float, bool, float, float> cases[] = {
        {"within every limit", 0.5f, 0.01f, true, 0.0f, 0.5f},
        {"above b * footprint", 5.0f, 0.01f, true, 0.0f, 1.0f},
        {"below the smallest radius", 0.001f, 0.01f, true, 0.0f, 0.05f},
        {"below a * footprint", 0.001f, 0.1f, true, 0.0f, 0.2f},
        {"above the largest radius", 50.0f, 0.1f, true, 0.0f, 3.2f},
        {"nothing hit", INFINITY, 0.01f, true, 0.0f, 1.0f},
        {"footprint limits off", 5.0f, 0.01f, false, 0.0f, 3.2f},
        {"steep gradient", 0.8f, 0.01f, true, 4.0f, 0.2f},
        {"gentle gradient", 0.8f, 0.01f, true, 0.5f, 0.8f},
    };
    for (const auto& [what, R, footprint, limits, gradient, expected] : cases) {
        SCOPED_TRACE(what);
        GICache<float> cache(world(), 1);
        cache.footprintLimits = limits;
        GIRecord<float> r = record(Point(0.0f), Up, R, 0.5f);
        r.translationalGradient[1] = gradient;  // along y: the probes along x do not see it
        cache.insert(r, footprint, 2.0f, 100.0f);
        EXPECT_NEAR(reach(cache), expected, 1e-3f * std::max(1.0f, expected));
    }
    // An unbounded world still gets a cache, sized as a unit cube.
    const Aabb unbounded(-INFINITY, INFINITY, -1.0f, 1.0f, -1.0f, 1.0f);
    EXPECT_FLOAT_EQ(GICache<float>(unbounded, 1).largestRadius(), 0.32f);
    EXPECT_FLOAT_EQ(GICache<float>(Aabb(), 1).largestRadius(), 0.32f);
}

// With neighbour clamping a record reaches no farther than a neighbour's radius plus the
// distance to it.
TEST(GICache, NeighbourClamping) {
    ThreadID id(0);
    GICache<float> cache(world(), 1);
    cache.footprintLimits = false;
    cache.neighbourClamping = true;
    cache.insert(record(Point(0.0f), Up, 0.1f, 0.2f), 0.0f, 0.0f, 0.0f);
    cache.insert(record(Point(0.3f, 0.0f, 0.0f), Up, 2.0f, 0.8f), 0.0f, 0.0f, 0.0f);
    // Clamped to 0.1 + 0.3: with no weight threshold it reaches 0.2 from (0.3, 0, 0), not 1.
    EXPECT_TRUE(found(cache, Point(0.3f, 0.19f, 0.0f)));
    EXPECT_FALSE(found(cache, Point(0.3f, 0.25f, 0.0f)));
    cache.neighbourClamping = false;
    cache.insert(record(Point(-3.0f, 0.0f, 0.0f), Up, 0.1f, 0.2f), 0.0f, 0.0f, 0.0f);
    cache.insert(record(Point(-2.7f, 0.0f, 0.0f), Up, 2.0f, 0.8f), 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(found(cache, Point(-2.7f, 0.25f, 0.0f)));
}

// The octree finds every record that a search of all records accepts, with the same weights,
// for records of every size scattered through the world.
TEST(GICache, TreeAgreesWithASearchOfEveryRecord) {
    ThreadID id(0);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-5.0f, 5.0f), unit(0.0f, 1.0f);
    GICache<float> cache(world(), 1);
    cache.footprintLimits = false;
    cache.gradients = false;
    std::vector<GIRecord<float>> all;
    for (int i = 0; i < 3000; ++i) {
        // Radii from 0.05 to 3.2, logarithmically spread, so records sit at many depths.
        const float R = 0.05f * std::pow(64.0f, unit(rng));
        const Normal N = unit(rng) < 0.5f ? Up : tilted(5.0f);
        all.push_back(record(Point(pos(rng), pos(rng), pos(rng)), N, R, unit(rng)));
        cache.insert(all.back(), 0.0f, 0.0f, 0.0f);
    }
    const float maxerror = 0.8f;
    int answered = 0;
    for (int q = 0; q < 3000; ++q) {
        const Point P(pos(rng), pos(rng), pos(rng));
        float sum = 0.0f, weights = 0.0f;
        int count = 0;
        for (const GIRecord<float>& r : all) {
            const Vector d = P - r.P;
            if (dot(d, Up + r.N) < -0.05f) continue;
            const float c = std::min(1.0f, dot(Up, r.N));
            const float e =
                std::max(d.length() / (r.R * 0.5f), std::sqrt((1.0f - c) / (1.0f - Cos10)));
            if (!(e < maxerror)) continue;
            sum += (1.0f - e) * r.value;
            weights += 1.0f - e;
            ++count;
        }
        float v = -1.0f;
        const bool found = lookup(cache, P, Up, 0.0f, maxerror, 2, v);
        EXPECT_EQ(found, count >= 2 && weights >= 0.5f) << q;
        if (found) {
            EXPECT_NEAR(v, sum / weights, 1e-4f) << q;
            ++answered;
        }
    }
    EXPECT_GT(answered, 100);  // the comparison covered answered queries too
}

// Threads insert and look up at once, each with its own last-result slot; every record and
// every lookup is counted. Under ThreadSanitizer this checks the locking.
TEST(GICache, ConcurrentInsertionsAndLookups) {
    const unsigned threads = 4;
    const int perThread = 1500;
    GICache<Color> cache(world(), threads);
    std::vector<std::thread> workers;
    std::vector<int> answered(threads, 0);
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            sys::setThreadID(t);
            std::mt19937 rng(t + 1);
            std::uniform_real_distribution<float> pos(-5.0f, 5.0f);
            for (int i = 0; i < perThread; ++i) {
                const Point P(pos(rng), pos(rng), pos(rng));
                Color c;
                if (cache.interpolate(P, Up, 0.01f, 0.5f, 1, 0.5f, Cos10, c, nullptr)) {
                    ++answered[t];
                    continue;
                }
                cache.insert(record(P, Up, 0.5f, Color(float(t), 1.0f, 2.0f)), 0.01f, 1.0f, 100.0f);
            }
        });
    }
    for (std::thread& w : workers) w.join();
    const GICache<Color>::Statistics s = cache.statistics();
    EXPECT_EQ(s.lookups, uint64_t(threads) * perThread);
    int sum = 0;
    for (int a : answered) sum += a;
    EXPECT_EQ(s.reused + s.interpolated, uint64_t(sum));
    EXPECT_EQ(s.records, uint64_t(threads) * perThread - uint64_t(sum));
}

// The radius: the harmonic mean of the hits, misses left out, at most twice the nearest hit.
TEST(HemisphereSampler, RadiusAndAverage) {
    HemisphereSampler<float> h;
    h.setup(1, 4, Vector(0.0f, 0.0f, 1.0f), PiOver2, true);
    const float inf = INFINITY;
    h.record(0, 1.0f, 2.0f);
    h.record(1, 1.0f, 3.0f);
    h.record(2, 0.0f, inf);
    h.record(3, 0.0f, inf);
    EXPECT_FLOAT_EQ(h.radius(), 2.0f / (1.0f / 2.0f + 1.0f / 3.0f));
    EXPECT_FLOAT_EQ(h.average(), 0.5f);
    h.record(3, 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(h.radius(), 1.0f);  // twice the nearest
    for (int i = 0; i < 4; ++i) h.record(i, 0.0f, inf);
    EXPECT_TRUE(std::isinf(h.radius()));
}

namespace {

TEST(BakeStore, ThreadsAddSideBySideAndTheFileIsSorted) {
    ovotest::ScratchDir dir;
    const OIIO::ustring colours(dir / "c.bake"), greys(dir / "g.bake");
    const int Threads = 4, PerThread = 500;
    BakeStore store(3);  // the fourth thread's id wraps onto the first one's slot
    std::vector<std::thread> threads;
    for (int id = 0; id < Threads; ++id)
        threads.emplace_back([&, id] {
            sys::setThreadID(unsigned(id));
            for (int i = 0; i < PerThread; ++i) {
                const float s = float(i) / PerThread, t = float(id) / Threads;
                const float colour[3] = {s, t, 0.5f};
                store.add(colours, s, t, colour, 3);
                store.add(greys, t, s, &s, 1);
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(store.write().empty());

    for (const auto& file : {colours, greys}) {
        const auto r = ovotest::numberRows(ovotest::readText(file.string()));
        ASSERT_EQ(r.size(), size_t(Threads * PerThread)) << file;
        const size_t width = file == colours ? 5 : 3;
        for (size_t i = 0; i < r.size(); ++i) {
            ASSERT_EQ(r[i].size(), width) << file << " line " << i;
            if (i > 0) {
                EXPECT_TRUE(r[i - 1] < r[i]) << file << " line " << i;
            }
            // Each value is the s it was baked with: the colour's red, the grey (baked at (t, s)).
            EXPECT_NEAR(r[i][2], r[i][file == colours ? 0 : 1], 1e-5f);
            if (file == colours) {
                EXPECT_NEAR(r[i][4], 0.5f, 1e-6f);
            }
        }
    }
    // Written samples are gone: a second frame end writes nothing again.
    std::remove(colours.c_str());
    EXPECT_TRUE(store.write().empty());
    EXPECT_EQ(ovotest::readText(colours.string()), "");
}

TEST(BakeStore, AFileGivenFloatsAndColoursWritesTheFloatsAsGrey) {
    ovotest::ScratchDir dir;
    const OIIO::ustring file(dir / "mixed.bake");
    BakeStore store(1);
    const float grey = 0.25f, colour[3] = {0.1f, 0.2f, 0.3f};
    store.add(file, 0.5f, 0.5f, &grey, 1);
    store.add(file, 0.75f, 0.5f, colour, 3);
    EXPECT_TRUE(store.write().empty());
    EXPECT_EQ(ovotest::readText(file.string()), "0.5 0.5 0.25 0.25 0.25\n0.75 0.5 0.1 0.2 0.3\n");
}

struct Data {
    int tag = 0;
};
const ShaderInfo Info = {"counting", 0, 0};

// Counts its blocks that are alive.
class Counting : public CompiledShader<Data> {
  public:
    Counting() : CompiledShader(Info) {}
    void initialize(ShaderEnvironment&, void*) const override {}
    void execute(ShaderEnvironment&, void*) const override {}
    void* createData() const override {
        ++live;
        return CompiledShader::createData();
    }
    void destroyData(void* data) const override {
        --live;
        CompiledShader::destroyData(data);
    }
    mutable int live = 0;
};

TEST(BlockReuse, AKeptBlockServesItsOwnShaderAndIsFreedWithTheScope) {
    Counting a, b;
    {
        BlockReuse scope;
        void* first = takeBlock(a);
        giveBlock(a, first);
        EXPECT_EQ(a.live, 1);  // kept, not freed
        void* other = takeBlock(b);
        EXPECT_NE(other, first);
        EXPECT_EQ(takeBlock(a), first);
        {
            BlockReuse nested;  // does nothing: the outer scope keeps what is given back
            giveBlock(a, first);
            giveBlock(b, other);
        }
        EXPECT_EQ(a.live + b.live, 2);
        EXPECT_EQ(takeBlock(b), other);
        giveBlock(b, other);
        giveBlock(a, nullptr);  // ignored
    }
    EXPECT_EQ(a.live, 0);
    EXPECT_EQ(b.live, 0);

    // Without a scope every block is made and freed.
    void* block = takeBlock(a);
    EXPECT_EQ(a.live, 1);
    giveBlock(a, block);
    EXPECT_EQ(a.live, 0);
}

}  // namespace
