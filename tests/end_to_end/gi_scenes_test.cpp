// End to end: the scenes that show occlusion, indirect light, textures, environments, glass and
// chrome, rendered small through the ovo command from a copy of scenes/ (they write their
// textures next to themselves), checked for a clean run and for what each is there to show.
#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/test_util.h"

namespace {

struct Frame {
    int width = 0, height = 0;
    std::vector<float> rgb;
    bool read(const std::string& file) {
        OIIO::ImageBuf buf(file);
        if (!buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return false;
        width = buf.spec().width;
        height = buf.spec().height;
        rgb.resize(size_t(width) * height * 3);
        return buf.get_pixels(OIIO::ROI(0, width, 0, height, 0, 1, 0, 3), OIIO::TypeDesc::FLOAT,
                              rgb.data());
    }
    float at(int x, int y, int c) const { return rgb[(size_t(y) * width + x) * 3 + c]; }
    // Mean of channel c over the rectangle x0..x1, y0..y1 (exclusive ends).
    float mean(int x0, int x1, int y0, int y1, int c) const {
        double sum = 0.0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) sum += at(x, y, c);
        return float(sum / double((x1 - x0) * (y1 - y0)));
    }
};

// Copies scenes/<scene> and its pictures into `dir` and renders it there at w × h.
bool render(const ovotest::ScratchDir& dir, const std::string& scene, int w, int h, Frame& frame) {
    namespace fs = std::filesystem;
    const fs::path source = fs::path(OVO_SOURCE_DIR) / "scenes";
    fs::copy_file(source / scene, fs::path(dir.path) / scene);
    fs::copy(source / "pictures", fs::path(dir.path) / "pictures");
    const std::string command = "cd '" + dir.path + "' && " + OVO_BINARY_DIR + "/bin/ovo --res " +
                                std::to_string(w) + " " + std::to_string(h) + " -o image.exr " +
                                scene + " >out.txt 2>err.txt";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream err(dir / "err.txt");
    const std::string messages((std::istreambuf_iterator<char>(err)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(messages, "") << "a scene must render without a message";
    return frame.read(dir / "image.exr");
}

}  // namespace

// Occlusion darkens the box towards its edges: the upper right of the back wall is brighter
// than its lower left corner, where it meets the floor and the left wall.
TEST(GlobalIlluminationScenes, CornellBoxUnderOcclusion) {
    ovotest::ScratchDir dir;
    Frame f;
    ASSERT_TRUE(render(dir, "cornell_occlusion.rib", 64, 64, f));
    const float open = f.mean(40, 46, 14, 20, 1);
    const float corner = f.mean(12, 15, 49, 52, 1);
    EXPECT_GT(open, 0.15f);
    EXPECT_LT(corner, 0.7f * open);
}

// The bounce carries the walls' colours: the back wall is redder next to the red wall than
// next to the green one, and greener the other way round; the ceiling, which no light reaches
// directly, is lit.
TEST(GlobalIlluminationScenes, CornellBoxBleedsColour) {
    ovotest::ScratchDir dir;
    Frame f;
    ASSERT_TRUE(render(dir, "cornell_indirect.rib", 64, 64, f));
    const float leftRatio = f.mean(12, 16, 14, 22, 0) / f.mean(12, 16, 14, 22, 1);
    const float rightRatio = f.mean(48, 52, 14, 22, 0) / f.mean(48, 52, 14, 22, 1);
    EXPECT_GT(leftRatio, 1.1f * rightRatio);
    EXPECT_GT(f.mean(24, 40, 1, 5, 1), 0.02f);
}

// The still life makes its textures next to itself; the cloth's red and cream checks show in
// the foreground, and the chrome ball reflects the blue sky at its top.
TEST(GlobalIlluminationScenes, StillLifeWithTexturesGlassAndChrome) {
    ovotest::ScratchDir dir;
    Frame f;
    ASSERT_TRUE(render(dir, "still_life.rib", 160, 100, f));
    for (const char* texture : {"checker.tx", "stripes.tx", "sky.tx"})
        EXPECT_TRUE(std::filesystem::exists(dir / texture)) << texture;
    int red = 0, cream = 0;
    for (int y = 80; y < 100; ++y)
        for (int x = 0; x < 160; ++x) {
            const float r = f.at(x, y, 0), g = f.at(x, y, 1);
            if (r > 0.3f && r > 3.0f * g) ++red;
            if (g > 0.5f && r > 0.5f) ++cream;
        }
    EXPECT_GT(red, 400);
    EXPECT_GT(cream, 400);
    // The top of the chrome ball, a little left of the centre of the frame.
    const float r = f.mean(48, 54, 24, 28, 0), b = f.mean(48, 54, 24, 28, 2);
    EXPECT_GT(b, 1.3f * r);
}
