// A frame asked to stop (as ovo does on Ctrl-C) keeps the buckets finished by then, weighted
// as usual, and no later frame of that renderer is drawn.
#include <filesystem>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "tests/render/render_test_util.h"

namespace {

void stopAfterFirstBucket(unsigned done, unsigned, void* renderer) {
    if (done >= 1) static_cast<ovo::Raytracer*>(renderer)->requestStop();
}

class StopTest : public ovotest::RaytracerTest {
  protected:
    // A frame whose every pixel sees the inside of a sphere around the camera, 12 buckets.
    void frame(const std::string& name, const char* mode, int bucketX = 16, int bucketY = 16) {
        const int resolution[2] = {64, 48}, bucket[2] = {bucketX, bucketY}, samples[2] = {1, 1};
        renderer->Attribute("int[2] resolution", resolution);
        renderer->Attribute("int[2] spatialquality", samples);
        renderer->Attribute("int[2] limits:bucketsize", bucket);
        renderer->Output((folder / name).c_str(), "tiff", mode, "camera");
        renderer->World();
        renderer->Sphere(1.0f);
        renderer->Render(nullptr);
    }
    ovotest::ScratchDir folder;
};

TEST_F(StopTest, FinishedBucketsAreKeptAndLaterFramesAreNotDrawn) {
    renderer->setProgressCallback(stopAfterFirstBucket, renderer);
    frame("a.tif", "rgba");
    const std::vector<float> pixels = ovotest::readImage(folder / "a.tif").pixels;
    ASSERT_EQ(pixels.size(), 64u * 48 * 4);
    int covered = 0, partial = 0;
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        covered += pixels[i] == 1.0f;
        partial += pixels[i] > 0.0f && pixels[i] < 0.999f;
    }
    EXPECT_GE(covered, 16 * 16) << "the finished bucket";
    EXPECT_LT(covered, 64 * 48 / 2) << "the stop came after one bucket of twelve";
    EXPECT_EQ(partial, 0) << "pixels are weighted once, finished or not";
    EXPECT_TRUE(renderer->stopRequested());
    frame("b.tif", "rgb");
    EXPECT_FALSE(std::filesystem::exists(folder / "b.tif"));
}

void keepTotal(unsigned, unsigned total, void* kept) { *static_cast<unsigned*>(kept) = total; }

// Buckets report finished buckets out of all; a bucket side of 1 streams the samples instead and
// reports samples out of all (one a pixel, over the frame and the filter's pixel beyond each edge).
TEST_F(StopTest, ABucketSideOfOneStreams) {
    const struct {
        int x, y;
        unsigned total;
    } cases[] = {{16, 16, 12}, {1, 16, 66 * 50}, {16, 1, 66 * 50}, {2, 2, 32 * 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "x" << c.y);
        unsigned total = 0;
        renderer->setProgressCallback(keepTotal, &total);
        frame("c.tif", "rgb", c.x, c.y);
        EXPECT_EQ(total, c.total);
    }
}

}  // namespace
