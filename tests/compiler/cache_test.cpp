// Shaders compiled on demand into ovo's cache, and again only when what the compiler reads
// changes; the process runner the driver uses.
#include <tuple>

#include "compile_util.h"
#include "compiler/process.h"

// The scene's own "matte" beats the standard one (black here, with no light), and its
// parameters need no Declare. Two stripes over the square: the included tint on its left half,
// green on its right (the pixel filter blends the two columns at the edge).
TEST(CompiledFrames, OvoCompilesShaderSourcesOnDemandAndAgainAfterAnEdit) {
    ovotest::ScratchDir dir;
    dir.write("matte.sl",
              "#include \"tint.h\"\n"
              "surface matte(float freq = 4; color a = TINT; color b = 0) {\n"
              "    Ci = mod(floor(s * freq), 2) == 0 ? a : b;\n    Oi = 1;\n}\n");
    const std::string rib = ovotest::frameRib(
        8, 8, "Projection \"perspective\" \"fov\" [90]",
        std::string("Surface \"matte\" \"freq\" [2] \"b\" [0 1 0]\n") + ovotest::ViewFillingSquare);
    const float quantum = 0.5f / 255.0f * 1.7321f;  // 8 bits a channel
    // The tint, whether ovo compiles the shader, the colour of the left stripe.
    const std::tuple<const char*, bool, ovo::Tuple> runs[] = {
        {"color(1, 0, 0)", true, ovo::Tuple(1, 0, 0)},
        {"color(1, 0, 0)", false, ovo::Tuple(1, 0, 0)},
        {"color(0, 0, 1)", true, ovo::Tuple(0, 0, 1)}};
    std::vector<float> previous;
    for (const auto& [tint, compiles, left] : runs) {
        SCOPED_TRACE(tint);
        dir.write("tint.h", std::string("#define TINT ") + tint + "\n");
        ovotest::Image image;
        std::string messages, printed;
        ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image, &messages, &printed));
        EXPECT_EQ(messages, "");
        // A run that compiles says which shader from where; one that does not says nothing of it.
        const std::string compiled = "Compiled the shader \"matte\" from " + dir / "matte.sl";
        EXPECT_EQ(printed.find(compiles ? compiled : "Compiled") != std::string::npos, compiles)
            << printed;
        for (int x : {0, 1, 2, 5, 6, 7})
            EXPECT_TRUE(ovotest::near(ovo::Tuple(image.at(x, 4)),
                                      x < 4 ? left : ovo::Tuple(0, 1, 0), quantum))
                << x;
        EXPECT_TRUE(compiles || image.pixels == previous);  // the same shader again
        previous = image.pixels;
    }
}

// The preprocessor and C++ compiler the driver runs: each stream whole however small the
// writes, the exit status, and a program that cannot be run.
TEST(CompilerProcess, CapturesBothStreamsAndTheExitStatus) {
    const ovo::compiler::ProcessResult r =
        ovo::compiler::runProcess({"sh", "-c", "printf x; printf yz >&2; exit 3"});
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.out, "x");
    EXPECT_EQ(r.err, "yz");
    EXPECT_EQ(r.status, 3);
    const ovo::compiler::ProcessResult missing = ovo::compiler::runProcess({"/no/such/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.err, "cannot run /no/such/program");
}
