// bake() in a compiled shader: one line per camera sample, written when the frame ends.
// (Threads adding side by side and the sorted file: tests/shading/caches_test.)
#include "compile_util.h"

namespace {

// Its derivative of s makes the renderer shade each point three times; only the main pass
// bakes.
const char* const Baker = R"(
surface baker(string name = "c.bake") {
    float ds = Du(s);
    bake(name, s, t, color(s, t, 0.5));
    bake("f.bake", s, t, s * t + ds * 0);
    Ci = color(s, t, 0);
    Oi = 1;
}
)";

const int Size = 12;

// Renders a bilinear patch that fills the view with "baker" on `threads` threads, expecting the
// exit status `status`; gives the command's messages.
std::string render(const ovotest::ScratchDir& dir, int threads, const std::string& name,
                   int status = 0) {
    const std::string rib =
        ovotest::frameRib(Size, Size,
                          "PixelSamples 1 1\nOption \"limits\" \"bucketsize\" [4 4]\n"
                          "Projection \"perspective\" \"fov\" [90]",
                          "Surface \"baker\" \"string name\" \"" + name +
                              "\"\nPatch \"bilinear\" \"P\" [-1 1 1  1 1 1  -1 -1 1  1 -1 1]",
                          dir.path);
    ovotest::Image image;
    std::string messages;
    ovotest::renderRib(dir, rib, "frame.tif", image, &messages, nullptr, threads, status);
    return messages;
}

TEST(CompiledBake, EachCameraSampleLeavesOneLine) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "baker.sl", Baker));
    EXPECT_EQ(render(dir, 1, "c.bake"), "");
    const auto c = ovotest::numberRows(ovotest::readText(dir / "c.bake"));
    const auto f = ovotest::numberRows(ovotest::readText(dir / "f.bake"));
    ASSERT_EQ(c.size(), size_t(Size * Size));
    ASSERT_EQ(f.size(), size_t(Size * Size));
    float lowest = 1.0f, highest = 0.0f;
    for (size_t i = 0; i < c.size(); ++i) {
        ASSERT_EQ(c[i].size(), 5u) << i;
        ASSERT_EQ(f[i].size(), 3u) << i;
        EXPECT_NEAR(c[i][2], c[i][0], 1e-5f) << i;
        EXPECT_NEAR(c[i][3], c[i][1], 1e-5f) << i;
        EXPECT_EQ(c[i][4], 0.5f) << i;
        EXPECT_NEAR(f[i][2], f[i][0] * f[i][1], 1e-5f) << i;
        lowest = std::min(lowest, c[i][0]);
        highest = std::max(highest, c[i][0]);
    }
    // The samples cover the patch: one per pixel, so within a pixel of either edge.
    EXPECT_LT(lowest, 1.0f / Size);
    EXPECT_GT(highest, 1.0f - 1.0f / Size);

    EXPECT_EQ(
        render(dir, 2, "no/such/folder.bake", 1),
        "ERROR: Cannot write the bake file \"no/such/folder.bake\": No such file or directory\n");
}

}  // namespace
