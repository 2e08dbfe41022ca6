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
                                    float filterWidth, int jitter = 1) {
    unsigned res[2] = {w, h}, spp[2] = {sx, sy};
    float fw[2] = {filterWidth, filterWidth};
    ParameterSet p;
    addInt(p, "jitter", jitter);
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

// A camera that reads no lens or no time gets none made, and the pixel's random numbers end where
// they would have: what shading draws does not change.
TEST(Sampler, LensAndTimeLeftUnmadeLeaveTheStreamWhereItWas) {
    struct Run {
        std::vector<float> values;
        std::vector<uint32_t> states;  // after each pixel's samples were made
    };
    auto run = [](int lens, int time, int jitter) {
        unsigned res[2] = {4, 3}, spp[2] = {3, 2};
        float fw[2] = {1.0f, 1.0f};
        Extent2D crop = {0, 1, 0, 1};
        ParameterSet p;
        addInt(p, "jitter", jitter);
        addInt(p, "lens", lens);
        addInt(p, "time", time);
        std::unique_ptr<Sampler> s(makeSampler(res, spp, crop, fw, p));
        Run r;
        Sample q;
        for (int i = 0; s->getNextSample(q); ++i) {
            if (i % 6 == 0) r.states.push_back(randomState());
            r.values.insert(r.values.end(), {q.imageX, q.imageY});
            if (lens) r.values.insert(r.values.end(), {q.lensU, q.lensV});
            if (time) r.values.push_back(q.time);
        }
        return r;
    };
    for (int jitter : {1, 0}) {
        const Run all = run(1, 1, jitter);
        for (auto [lens, time] : {std::pair{0, 1}, {1, 0}, {0, 0}}) {
            const Run some = run(lens, time, jitter);
            EXPECT_EQ(some.states, all.states) << lens << time << jitter;
            // The values made are those of the full sampler, in the same order.
            std::vector<float> kept;
            const size_t stride = 5;
            for (size_t i = 0; i < all.values.size(); i += stride) {
                kept.insert(kept.end(), {all.values[i], all.values[i + 1]});
                if (lens) kept.insert(kept.end(), {all.values[i + 2], all.values[i + 3]});
                if (time) kept.push_back(all.values[i + 4]);
            }
            EXPECT_EQ(some.values, kept) << lens << time << jitter;
        }
    }
}
