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
    void frame(const std::string& name, const char* mode) {
        const int resolution[2] = {64, 48}, bucket[2] = {16, 16};
        renderer->Attribute("int[2] resolution", resolution);
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

}  // namespace
