// Deformation blur through the ovo command: a disk whose radius grows over the shutter covers
// each ring of the picture for the share of the shutter during which it reaches that far.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/common/picture.h"
#include "tests/common/test_util.h"

namespace {

// A white disk facing an orthographic camera that sees -1..1; its radius grows from 0.25 to
// 0.75 over the shutter, in one sample per motion time.
std::string diskScene(const std::string& motion, const std::string& samples) {
    return "Format 64 64 1\nPixelSamples 4 4\nPixelFilter \"box\" 1 1\nShutter 0 1\n"
           "Projection \"orthographic\"\nScreenWindow -1 1 -1 1\nWorldBegin\n"
           "Translate 0 0 5\nSurface \"constant\"\nMotionBegin " +
           motion + "\n" + samples + "MotionEnd\nWorldEnd\n";
}

bool renderScene(const ovotest::ScratchDir& dir, const std::string& scene, ovotest::Picture& img) {
    dir.write("scene.rib", scene);
    const ovotest::CommandResult r = ovotest::runCommand(
        "cd '" + dir.path + "' && " + OVO_BINARY_DIR + "/bin/ovo -o image.exr scene.rib 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    return img.read(dir.path + "/image.exr");
}

// The coverage (the white surface's share) of the pixel whose centre lies `radius` screen units
// right of the centre.
float coverageAt(const ovotest::Picture& img, float radius) {
    const int x = int(std::floor((radius + 1.0f) * 32.0f));
    return img.at(x, 32, 0);  // white where covered
}

}  // namespace

TEST(DeformationBlur, AGrowingDiskCoversEachRingForItsShareOfTheShutter) {
    const struct {
        const char* motion;
        const char* samples;
    } blocks[] = {
        {"[0 1]", "Disk 0 0.25 360\nDisk 0 0.75 360\n"},
        // Three samples on a straight line give the same smear.
        {"[0 0.5 1]", "Disk 0 0.25 360\nDisk 0 0.5 360\nDisk 0 0.75 360\n"},
    };
    for (const auto& block : blocks) {
        SCOPED_TRACE(block.motion);
        ovotest::ScratchDir dir;
        ovotest::Picture img;
        ASSERT_TRUE(renderScene(dir, diskScene(block.motion, block.samples), img));
        // Covered while 0.25 + 0.5 t reaches the pixel's centre (pixel centres sit at odd
        // multiples of 1/64).
        const struct {
            float radius, expected, tolerance;
        } rings[] = {
            {0.10f, 1.0f, 0.0f},   {0.35f, 0.8125f, 0.1f}, {0.5f, 0.5f, 0.1f},
            {0.6f, 0.3125f, 0.1f}, {0.9f, 0.0f, 0.0f},
        };
        for (const auto& ring : rings) {
            const float x = (std::floor((ring.radius + 1.0f) * 32.0f) + 0.5f) / 32.0f - 1.0f;
            const float share = std::min(1.0f, std::max(0.0f, 1.0f - (x - 0.25f) / 0.5f));
            EXPECT_NEAR(coverageAt(img, ring.radius), share, ring.tolerance + 1e-4f)
                << "radius " << ring.radius;
        }
    }
}
