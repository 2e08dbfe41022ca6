// End to end: the example scenes in scenes/ rendered small through the ovo command, checked for
// a clean run (no message at all), their coverage and what each is there to show.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "tests/common/picture.h"
#include "tests/common/test_util.h"

namespace {

using ovotest::CommandResult;
using Image = ovotest::Picture;

// Runs the ovo command in `dir` with `args` (and `input` on standard input, if any); `out` holds
// what it wrote to standard error.
CommandResult runOvo(const ovotest::ScratchDir& dir, const std::string& args,
                     const std::string& input = "") {
    std::string command =
        "cd '" + dir.path + "' && " + OVO_BINARY_DIR + "/bin/ovo " + args + " 2>&1 >stdout";
    if (!input.empty()) command += " <'" + dir.write("stdin.rib", input) + "'";
    return ovotest::runCommand(command);
}

// Renders a copy of scenes/<scene> (with its pictures; some scenes write textures beside
// themselves) in `dir` at w x h into image.exr; the run must be clean.
bool render(const ovotest::ScratchDir& dir, const std::string& scene, int w, int h, Image& img,
            const std::string& extra = "") {
    namespace fs = std::filesystem;
    const fs::path source = fs::path(OVO_SOURCE_DIR) / "scenes";
    fs::copy_file(source / scene, dir / scene);
    fs::copy(source / "pictures", dir / "pictures");
    const CommandResult r = runOvo(dir, "--res " + std::to_string(w) + " " + std::to_string(h) +
                                            extra + " -o image.exr " + scene);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "") << "a scene must render without a message";
    return img.read(dir / "image.exr");
}

}  // namespace

TEST(ExampleScenes, EachRendersCleanlyWithItsCoverage) {
    // Each scene stands on a floor that fills the lower part of the frame, with sky above.
    const struct {
        const char* file;
        double minCoverage, maxCoverage;
    } cases[] = {
        {"example.rib", 0.5, 0.97},     {"quadrics.rib", 0.4, 0.95},  {"polygons.rib", 0.3, 0.95},
        {"solids.rib", 0.04, 0.6},      {"instances.rib", 0.5, 0.97}, {"motionblur.rib", 0.3, 0.95},
        {"dof.rib", 0.3, 0.95},         {"teapot.rib", 0.5, 0.97},    {"trimmed.rib", 0.5, 0.97},
        {"subdivision.rib", 0.5, 0.97}, {"curves.rib", 0.5, 0.97},    {"patterns.rib", 0.6, 0.95},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ovotest::ScratchDir dir;
        Image img;
        ASSERT_TRUE(render(dir, c.file, 96, 54, img, " --samples 2"));
        ASSERT_EQ(std::make_tuple(img.width, img.height, img.channels), std::make_tuple(96, 54, 4));
        long covered = 0;
        for (int y = 0; y < 54; ++y)
            for (int x = 0; x < 96; ++x) covered += img.lit(x, y);
        EXPECT_GT(covered, c.minCoverage * 96 * 54);
        EXPECT_LT(covered, c.maxCoverage * 96 * 54);
        // The top-left corner shows the sky, the bottom-centre the floor.
        EXPECT_FALSE(img.lit(0, 0));
        if (std::string(c.file) != "solids.rib") {
            EXPECT_TRUE(img.lit(48, 53));
        }
        // Lit and shaded: covered pixels are neither black nor blown out on average.
        double mean = 0.0;
        for (int ch = 0; ch < 3; ++ch) mean += img.mean(0, 96, 0, 54, ch, true) / 3;
        EXPECT_GT(mean, 0.05);
        EXPECT_LT(mean, 0.95);
    }
}

// Occlusion darkens the Cornell box towards its edges; the bounce carries the walls' colours
// (the back wall is redder next to the red wall) and lights the ceiling no light reaches.
TEST(ExampleScenes, CornellBoxUnderOcclusionAndIndirectLight) {
    ovotest::ScratchDir occlusion, indirect;
    Image f, g;
    ASSERT_TRUE(render(occlusion, "cornell_occlusion.rib", 64, 64, f));
    EXPECT_GT(f.mean(40, 46, 14, 20, 1), 0.15);
    EXPECT_LT(f.mean(12, 15, 49, 52, 1), 0.7 * f.mean(40, 46, 14, 20, 1));
    ASSERT_TRUE(render(indirect, "cornell_indirect.rib", 64, 64, g));
    const double leftRatio = g.mean(12, 16, 14, 22, 0) / g.mean(12, 16, 14, 22, 1);
    const double rightRatio = g.mean(48, 52, 14, 22, 0) / g.mean(48, 52, 14, 22, 1);
    EXPECT_GT(leftRatio, 1.1 * rightRatio);
    EXPECT_GT(g.mean(24, 40, 1, 5, 1), 0.02);
}

// The still life makes its textures beside itself; the cloth's red and cream checks show in the
// foreground and the chrome ball reflects the blue sky at its top.
TEST(ExampleScenes, StillLifeWithTexturesGlassAndChrome) {
    ovotest::ScratchDir dir;
    Image f;
    ASSERT_TRUE(render(dir, "still_life.rib", 160, 100, f));
    for (const char* texture : {"checker.tx", "stripes.tx", "sky.tx"})
        EXPECT_TRUE(std::filesystem::exists(dir / texture)) << texture;
    int red = 0, cream = 0;
    for (int y = 80; y < 100; ++y)
        for (int x = 0; x < 160; ++x) {
            const float r = f.at(x, y, 0), g = f.at(x, y, 1);
            red += r > 0.3f && r > 3.0f * g;
            cream += g > 0.5f && r > 0.5f;
        }
    EXPECT_GT(red, 400);
    EXPECT_GT(cream, 400);
    EXPECT_GT(f.mean(48, 54, 24, 28, 2), 1.3 * f.mean(48, 54, 24, 28, 0));
}

TEST(ExampleScenes, StandardInputProgressAndFailures) {
    ovotest::ScratchDir dir;
    const std::string scene =
        "Display \"x.tif\" \"file\" \"rgb\"\nFormat 32 32 1\nProjection \"orthographic\"\n"
        "WorldBegin\nSurface \"constant\"\nTranslate 0 0 5\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n";
    // "-" reads the scene from standard input; the progress bar ends at 100%.
    CommandResult r = runOvo(dir, "--progress -o piped.tif -", scene);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("100%"), std::string::npos) << r.out;
    Image img;
    ASSERT_TRUE(img.read(dir / "piped.tif"));
    // A white sphere of radius 0.5 in the screen window -1..1 covers pi/16 of the frame; the
    // filtered edge keeps the mean exact.
    EXPECT_NEAR(img.mean(0, 32, 0, 32, 0), 3.14159265 / 16, 0.01);
    // A file that cannot be read fails the run and is named; the others still render.
    r = runOvo(dir, "missing.rib -", scene);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("missing.rib"), std::string::npos) << r.out;
    EXPECT_TRUE(img.read(dir / "x.tif"));
}
