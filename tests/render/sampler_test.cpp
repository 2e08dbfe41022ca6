// The stratified sampler: its extent, one sample per stratum in every pixel, stratified lens
// positions and times, restarting, clones.
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "core/math/random.h"
#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

std::unique_ptr<Sampler> stratified(unsigned w, unsigned h, unsigned sx, unsigned sy, Extent2D crop,
                                    float filterWidth, int jitter = 1, int lens = 1, int time = 1) {
    unsigned res[2] = {w, h}, spp[2] = {sx, sy};
    float fw[2] = {filterWidth, filterWidth};
    ParameterSet p;
    addInt(p, "jitter", jitter);
    addInt(p, "lens", lens);
    addInt(p, "time", time);
    return std::unique_ptr<Sampler>(makeSampler(res, spp, crop, fw, p));
}

}  // namespace

TEST(Sampler, ExtentReachesHalfAFilterBeyondTheCropWindow) {
    auto s = stratified(64, 48, 2, 2, {0, 1, 0, 1}, 2.0f);
    const RasterExtent& e = s->getSamplingBoundaries();
    EXPECT_EQ(std::vector<int>({e.x0, e.x1, e.y0, e.y1}), std::vector<int>({-1, 65, -1, 49}));
    EXPECT_EQ(s->totalSamples(), 66 * 50 * 4);

    s = stratified(64, 48, 3, 1, {0.25f, 0.75f, 0.5f, 1.0f}, 3.0f);
    const RasterExtent& c = s->getSamplingBoundaries();
    // x from floor(16 + 0.5 - 1.5) to floor(48 + 0.5 + 1.5)
    EXPECT_EQ(std::vector<int>({c.x0, c.x1, c.y0, c.y1}), std::vector<int>({15, 50, 23, 50}));
    EXPECT_EQ(s->totalSamples(), 35 * 27 * 3);
    EXPECT_EQ(stratified(8, 8, 0, 2, {0, 1, 0, 1}, 2.0f)->totalSamples(), 0);
}

TEST(Sampler, EveryStratumOfEveryPixelOnce) {
    const unsigned sx = 3, sy = 2, n = sx * sy;
    auto s = stratified(10, 6, sx, sy, {0, 1, 0, 1}, 2.0f);
    std::map<std::pair<int, int>, std::vector<Sample>> pixels;
    Sample sample;
    int count = 0;
    while (s->getNextSample(sample)) {
        ++count;
        pixels[{int(std::floor(sample.imageX)), int(std::floor(sample.imageY))}].push_back(sample);
    }
    EXPECT_EQ(count, s->totalSamples());
    EXPECT_EQ(pixels.size(), size_t(12 * 8));
    for (const auto& [pixel, samples] : pixels) {
        ASSERT_EQ(samples.size(), size_t(n));
        std::set<int> position, lens, time;
        for (const Sample& q : samples) {
            const float fx = q.imageX - pixel.first, fy = q.imageY - pixel.second;
            position.insert(int(fx * sx) + sx * int(fy * sy));
            for (float v : {q.lensU, q.lensV, q.time}) EXPECT_TRUE(v >= 0.0f && v < 1.0f) << v;
            lens.insert(int(q.lensU * sx) + sx * int(q.lensV * sy));
            time.insert(int(q.time * n));
        }
        EXPECT_EQ(position.size(), size_t(n));
        EXPECT_EQ(lens.size(), size_t(n));
        EXPECT_EQ(time.size(), size_t(n));
    }
    EXPECT_FALSE(s->getNextSample(sample));
}

TEST(Sampler, CentresWithoutJitterRestartAndClones) {
    auto s = stratified(16, 16, 2, 2, {0, 1, 0, 1}, 2.0f, 0);
    Sample q;
    ASSERT_TRUE(s->getNextSample(q) && s->getNextSample(q));
    EXPECT_FLOAT_EQ(q.imageX, -1.0f + 0.75f);
    EXPECT_FLOAT_EQ(q.imageY, -1.0f + 0.25f);

    std::unique_ptr<Sampler> clone(s->clone());
    // A new rectangle restarts the sampler over exactly that rectangle.
    s->setSamplingBoundaries(RasterExtent{2, 4, 3, 5});
    std::set<std::pair<int, int>> seen;
    int count = 0;
    while (s->getNextSample(q)) {
        ++count;
        seen.insert({int(std::floor(q.imageX)), int(std::floor(q.imageY))});
    }
    EXPECT_EQ(count, 16);
    EXPECT_EQ(seen, (std::set<std::pair<int, int>>{{2, 3}, {3, 3}, {2, 4}, {3, 4}}));
    EXPECT_EQ(s->totalSamples(), 16);
    // The clone kept its own place: it continues where the original was when cloned.
    ASSERT_TRUE(clone->getNextSample(q));
    EXPECT_FLOAT_EQ(q.imageX, -1.0f + 0.25f);
    EXPECT_FLOAT_EQ(q.imageY, -1.0f + 0.75f);
    EXPECT_EQ(clone->totalSamples(), 18 * 18 * 4);
}

// A camera that reads no lens or no time gets none made, and each pixel's random numbers end
// where they would have: what shading draws does not change.
TEST(Sampler, LensAndTimeLeftUnmadeLeaveTheStreamWhereItWas) {
    // The generator state after each pixel's samples are made, then every value of `lens` and
    // `time` kept; made by a sampler told to make only those, or everything.
    auto run = [](int jitter, int lens, int time, bool everything) {
        auto s = stratified(4, 3, 3, 2, {0, 1, 0, 1}, 1.0f, jitter, lens || everything,
                            time || everything);
        std::vector<double> out;
        Sample q;
        for (int i = 0; s->getNextSample(q); ++i) {
            if (i % 6 == 0) out.push_back(randomState());
            out.insert(out.end(), {q.imageX, q.imageY, lens ? q.lensU : -1.0f,
                                   lens ? q.lensV : -1.0f, time ? q.time : -1.0f});
        }
        return out;
    };
    for (int jitter : {1, 0})
        for (auto [lens, time] : {std::pair{0, 1}, {1, 0}, {0, 0}})
            EXPECT_EQ(run(jitter, lens, time, false), run(jitter, lens, time, true))
                << lens << time << jitter;
}
