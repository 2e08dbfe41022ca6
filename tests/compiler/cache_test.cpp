// Shaders compiled on demand are cached by what the compiler reads: an edited #include
// compiles the shader again; a scene's own source comes before the standard shaders.
#include <gtest/gtest.h>

#include "compile_util.h"

TEST(CompiledFrames, AnEditedIncludeCompilesTheShaderAgain) {
    ovotest::ScratchDir dir;
    dir.write("tint.sl", "#include \"tint.h\"\nsurface tint() { Ci = TINT; Oi = 1; }\n");
    const std::string rib =
        "Display \"frame.tif\" \"file\" \"rgb\"\nFormat 4 4 1\n"
        "Projection \"perspective\" \"fov\" [90]\nWorldBegin\nSurface \"tint\"\n"
        "Polygon \"P\" [-2 -2 1  2 -2 1  2 2 1  -2 2 1]\nWorldEnd\n";
    const struct {
        const char* header;
        bool compiles;
        float red;
    } runs[] = {{"#define TINT color(1, 0, 0)\n", true, 1.0f},
                {"#define TINT color(1, 0, 0)\n", false, 1.0f},
                {"#define TINT color(0, 0, 1)\n", true, 0.0f}};
    for (const auto& run : runs) {
        dir.write("tint.h", run.header);
        ovotest::Image image;
        std::string messages, printed;
        ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image, &messages, &printed));
        EXPECT_EQ(printed.find("Compiled the shader") != std::string::npos, run.compiles)
            << run.header << printed;
        EXPECT_FLOAT_EQ(image.at(2, 2).r, run.red) << run.header;
    }
}

// A scene's own source beats the standard shader of the same name, which here would be black.
TEST(CompiledFrames, TheScenesOwnSourceBeatsAStandardShader) {
    ovotest::ScratchDir dir;
    dir.write("matte.sl", "surface matte() { Ci = color(0, 1, 0); Oi = 1; }\n");
    const std::string rib =
        "Display \"frame.tif\" \"file\" \"rgb\"\nFormat 4 4 1\n"
        "Projection \"perspective\" \"fov\" [90]\nWorldBegin\nSurface \"matte\"\n"
        "Polygon \"P\" [-2 -2 1  2 -2 1  2 2 1  -2 2 1]\nSurface \"matte\"\n"
        "Polygon \"P\" [-2 -2 2  2 -2 2  2 2 2  -2 2 2]\nWorldEnd\n";
    ovotest::Image image;
    std::string messages, printed;
    ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image, &messages, &printed));
    EXPECT_EQ(messages, "");
    EXPECT_FLOAT_EQ(image.at(2, 2).g, 1.0f);
    EXPECT_FLOAT_EQ(image.at(2, 2).r, 0.0f);
    EXPECT_NE(printed.find("Compiled the shader \"matte\" from " + dir / "matte.sl"),
              std::string::npos)
        << printed;
}
