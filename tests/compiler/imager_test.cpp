// Imager shaders in frames whose finished pixels they change, rendered by the ovo command with
// float pixels so that values compare exactly (what the compiler lets them see: frontend_test).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "compiler/compile_util.h"

namespace {

using Picture = ovotest::Image;

// Renders `rib` in `dir` on `threads` threads, expecting the exit status `status`, and reads
// `file`; the command's messages go to `messages`.
Picture renderFrame(const ovotest::ScratchDir& dir, const std::string& rib, const std::string& file,
                    int threads, std::string& messages, int status = 0) {
    Picture picture;
    ovotest::renderRib(dir, rib, file, picture, &messages, nullptr, threads, status);
    return picture;
}

// A frame of one constant-coloured sphere filling the middle of a 16 x 16 picture; `imager`
// is the Imager request (or nothing), `displays` the Display requests.
std::string sphereFrame(const std::string& dir, const std::string& imager,
                        const std::string& displays, const std::string& limits = "") {
    return "Option \"searchpath\" \"shader\" [\"" + dir + ":&\"]\n" + displays +
           "Quantize \"rgba\" 0 0 0 0\nFormat 16 16 1\nPixelSamples 3 3\n"
           "PixelFilter \"box\" 1 1\n" +
           limits + "Projection \"perspective\" \"fov\" [40]\n" + imager +
           "\nTranslate 0 0 5\nWorldBegin\nColor [0.8 0.4 0.2]\nSurface \"constant\"\n"
           "Sphere 1 -1 1 360\nWorldEnd\n";
}

// The same behind-the-sphere fill however the frame is cut: buckets on two threads written as
// regions, one stream of samples, and a format written whole at the end.
TEST(ImagerFrames, BackgroundFillsWhatNothingCoversAndKeepsWhatIsCovered) {
    ovotest::ScratchDir dir;
    const float background[3] = {0.25f, 0.5f, 1.0f};
    const std::string imager = "Imager \"background\" \"color background\" [0.25 0.5 1]";
    const float tolerance = 2e-3f;  // OpenEXR writes halves
    std::string messages;
    const Picture bare =
        renderFrame(dir, sphereFrame(dir.path, "", "Display \"bare.tif\" \"file\" \"rgba\"\n"),
                    "bare.tif", 1, messages);
    ASSERT_EQ(bare.channels, 4) << messages;
    const std::tuple<const char*, const char*, const char*, int> cases[] = {
        // file, display, limits, threads
        {"f.tif", "Display \"f.tif\" \"file\" \"rgba\"\n",
         "Option \"limits\" \"bucketsize\" [4 4]\n", 2},
        {"f.tif", "Display \"f.tif\" \"file\" \"rgba\"\n",
         "Option \"limits\" \"bucketsize\" [1 1]\n", 1},
        {"f.exr", "Display \"f.exr\" \"openexr\" \"rgba\"\n", "", 2},
    };
    for (const auto& [file, display, limits, threads] : cases) {
        SCOPED_TRACE(std::string(display) + limits);
        const Picture imaged = renderFrame(dir, sphereFrame(dir.path, imager, display, limits),
                                           file, threads, messages);
        EXPECT_EQ(messages, "");
        ASSERT_EQ(imaged.width, bare.width);
        int covered = 0, uncovered = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::string at = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                // The imager adds (1 - coverage) of the background: the same share in every
                // channel, between none and all of it; and the picture ends opaque.
                const float share = (imaged.at(x, y, 2) - bare.at(x, y, 2)) / background[2];
                EXPECT_GE(share, -tolerance) << at;
                EXPECT_LE(share, 1.0f + tolerance) << at;
                for (int k = 0; k < 2; ++k)
                    EXPECT_NEAR(imaged.at(x, y, k), bare.at(x, y, k) + share * background[k],
                                tolerance)
                        << at << " channel " << k;
                EXPECT_EQ(imaged.at(x, y, 3), 1.0f) << at;
                covered += share < tolerance;
                uncovered += share > 1.0f - tolerance;
            }
        // The corner shows the background alone, the sphere's centre is untouched.
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(imaged.at(0, 0, k), background[k]);
            EXPECT_NEAR(imaged.at(8, 8, k), bare.at(8, 8, k), tolerance);
        }
        EXPECT_GT(covered, 40);
        EXPECT_GT(uncovered, 80);
    }
}

// The imager's own formula from P and option("Format") at the first and the last row of an
// empty world: x and y over the resolution, and the pixel aspect.
TEST(ImagerFrames, AGradientFollowsTheRasterPositionOfEachPixel) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "ramp.sl", R"(
imager ramp(float scale = 1) {
    float format[3] = {0, 0, 0};
    float answered = option("Format", format);
    Ci += (1 - alpha) * scale *
          color(xcomp(P) / format[0], ycomp(P) / format[1], format[2] / 4 + zcomp(P));
    alpha = answered;
}
)"));
    const std::string rib = "Option \"searchpath\" \"shader\" [\"" + dir.path +
                            ":&\"]\nDisplay \"ramp.tif\" \"file\" \"rgba\"\n"
                            "Quantize \"rgba\" 0 0 0 0\nFormat 20 10 2\nPixelSamples 2 2\n"
                            "Imager \"ramp\" \"float scale\" [0.5]\nWorldBegin\nWorldEnd\n";
    std::string messages;
    const Picture ramp = renderFrame(dir, rib, "ramp.tif", 2, messages);
    EXPECT_EQ(messages, "");
    ASSERT_EQ(ramp.width, 20) << messages;
    ASSERT_EQ(ramp.pixels.size(), 20u * 10u * 4u);
    for (int y : {0, 9})
        for (int x = 0; x < 20; ++x) {
            const std::string at = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            EXPECT_NEAR(ramp.at(x, y, 0), 0.5f * float(x) / 20.0f, 1e-6f) << at;
            EXPECT_NEAR(ramp.at(x, y, 1), 0.5f * float(y) / 10.0f, 1e-6f) << at;
            EXPECT_NEAR(ramp.at(x, y, 2), 0.5f * 2.0f / 4.0f, 1e-6f) << at;
            EXPECT_EQ(ramp.at(x, y, 3), 1.0f) << at;
        }
}

// The alpha an imager leaves is what colour outputs write; an imager that sets only Oi gives
// its mean instead. The alpha-only output keeps the film's coverage, the colour is untouched.
TEST(ImagerFrames, AnImagerThatWritesAlphaChangesTheWrittenAlphaOfColourOutputs) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(
        dir, "alphas.sl",
        "imager alphas(float mode = 0) {\n"
        "  if (mode == 0) alpha *= 0.5; else if (mode == 1) Oi = color(0.5, 0.25, 0);\n"
        "  else { Oi = 1; alpha = 0.75; }\n}"));
    const std::string displays =
        "Display \"frame.tif\" \"file\" \"rgba\"\nDisplay \"+coverage.tif\" \"file\" \"a\"\n";
    // The written alpha is scale * coverage + offset.
    const std::tuple<const char*, float, float> cases[] = {
        {"0", 0.5f, 0.0f}, {"1", 0.0f, 0.25f}, {"2", 0.0f, 0.75f}};
    for (const auto& [mode, scale, offset] : cases) {
        SCOPED_TRACE(mode);
        std::string messages;
        const std::string imager = std::string("Imager \"alphas\" \"float mode\" ") + mode;
        const Picture frame =
            renderFrame(dir, sphereFrame(dir.path, imager, displays), "frame.tif", 2, messages);
        EXPECT_EQ(messages, "");
        Picture coverage;
        coverage.read(dir / "coverage.tif");
        ASSERT_EQ(frame.channels, 4) << messages;
        ASSERT_EQ(coverage.channels, 1);
        const std::tuple<int, int, float> probes[] = {{8, 8, 1}, {0, 0, 0}, {15, 8, 0}, {7, 7, 1}};
        for (const auto& [x, y, covered] : probes) {
            EXPECT_EQ(coverage.at(x, y, 0), covered) << x << ", " << y;
            EXPECT_EQ(frame.at(x, y, 3), scale * covered + offset) << x << ", " << y;
            EXPECT_NEAR(frame.at(x, y, 0), 0.8f * covered, 1e-5f) << x << ", " << y;
        }
    }
}

// An imager that cannot be loaded is reported where it was asked for; the frame is rendered
// without it. "null" takes an imager away without a word.
TEST(ImagerFrames, AMissingImagerLeavesTheFrameAsItWas) {
    ovotest::ScratchDir dir;
    // The imager, then the start of the first message. (An Imager inside the world is refused
    // by the reader: tests/rib/options_test.)
    const std::pair<const char*, const char*> cases[] = {
        {"Imager \"nosuchimager\"",
         "ERROR: scene.rib:8: Imager: shader \"nosuchimager\" not found"},
        {"Imager \"background\"\nImager \"null\"", ""},
        {"Imager \"constant\"",
         "ERROR: Shader: \"constant\" is a surface shader, not an imager. Ignoring it ...\n"},
    };
    for (const auto& [imager, message] : cases) {
        SCOPED_TRACE(imager);
        std::string messages;
        const std::string display = "Display \"f.tif\" \"file\" \"rgba\"\n";
        const Picture frame = renderFrame(dir, sphereFrame(dir.path, imager, display), "f.tif", 1,
                                          messages, *message ? 1 : 0);
        EXPECT_EQ(messages.substr(0, messages.empty() ? 0 : messages.find(" (searched")), message);
        ASSERT_EQ(frame.channels, 4);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(frame.at(0, 0, k), 0.0f);
        EXPECT_EQ(frame.at(0, 0, 3), 1.0f);  // no imager: alpha as it always was
    }
}

}  // namespace
