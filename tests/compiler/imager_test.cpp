// Imager shaders in frames whose finished pixels they change, rendered by the ovo command with
// float pixels so that values compare exactly (what the compiler lets them see: frontend_test).
#include <tuple>
#include <utility>

#include "compile_util.h"

namespace {

using ovotest::Image;
using ovotest::renderRib;

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
TEST(ImagerFrames, BackgroundFillsWhatNothingCoversAndAMissingImagerChangesNothing) {
    ovotest::ScratchDir dir;
    const float background[3] = {0.25f, 0.5f, 1.0f};
    const std::string imager = "Imager \"background\" \"color background\" [0.25 0.5 1]";
    const float tolerance = 2e-3f;  // OpenEXR writes halves
    std::string messages;
    Image bare;
    renderRib(dir, sphereFrame(dir.path, "", "Display \"bare.tif\" \"file\" \"rgba\"\n"),
              "bare.tif", bare);
    ASSERT_EQ(bare.channels, 4);
    // Without an imager the uncovered corner is black, its alpha as it always was.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(bare.at(0, 0, k), k == 3 ? 1.0f : 0.0f);
    // An imager that cannot be loaded is reported where it was asked for, and the frame is
    // rendered without it; "null" takes an imager away without a word. The imager, then the
    // start of the first message. (An Imager inside the world is refused by the reader:
    // tests/rib/options_test.)
    const std::pair<const char*, const char*> missing[] = {
        {"Imager \"nosuchimager\"",
         "ERROR: scene.rib:8: Imager: shader \"nosuchimager\" not found"},
        {"Imager \"background\"\nImager \"null\"", ""},
        {"Imager \"constant\"",
         "ERROR: Shader: \"constant\" is a surface shader, not an imager. Ignoring it ...\n"},
    };
    for (const auto& [request, message] : missing) {
        SCOPED_TRACE(request);
        Image frame;
        renderRib(dir, sphereFrame(dir.path, request, "Display \"f.tif\" \"file\" \"rgba\"\n"),
                  "f.tif", frame, &messages, nullptr, 1, *message ? 1 : 0);
        EXPECT_EQ(messages.substr(0, messages.empty() ? 0 : messages.find(" (searched")), message);
        EXPECT_EQ(frame.pixels, bare.pixels);
    }
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
        Image imaged;
        renderRib(dir, sphereFrame(dir.path, imager, display, limits), file, imaged, &messages,
                  nullptr, threads);
        EXPECT_EQ(messages, "");
        ASSERT_EQ(imaged.width, bare.width);
        int covered = 0, uncovered = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                SCOPED_TRACE("(" + std::to_string(x) + ", " + std::to_string(y) + ")");
                // The imager adds (1 - coverage) of the background: the same share in every
                // channel, between none and all of it; and the picture ends opaque.
                const float share = (imaged.at(x, y, 2) - bare.at(x, y, 2)) / background[2];
                EXPECT_GE(share, -tolerance);
                EXPECT_LE(share, 1.0f + tolerance);
                for (int k = 0; k < 2; ++k)
                    EXPECT_NEAR(imaged.at(x, y, k), bare.at(x, y, k) + share * background[k],
                                tolerance)
                        << "channel " << k;
                EXPECT_EQ(imaged.at(x, y, 3), 1.0f);
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
// empty world: x and y over the resolution, and the pixel aspect. Then the alpha an imager
// leaves is what colour outputs write; an imager that sets only Oi gives its mean instead. The
// alpha-only output keeps the film's coverage, the colour is untouched.
TEST(ImagerFrames, ARampFollowsTheRasterPositionAndColourOutputsWriteTheImagersAlpha) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "imaged.sl", R"(
imager imaged(float scale = 1; float mode = -1) {
    float format[3] = {0, 0, 0};
    if (mode < 0) {
        float answered = option("Format", format);
        Ci += (1 - alpha) * scale *
              color(xcomp(P) / format[0], ycomp(P) / format[1], format[2] / 4 + zcomp(P));
        alpha = answered;
    } else if (mode == 0) alpha *= 0.5;
    else if (mode == 1) Oi = color(0.5, 0.25, 0);
    else { Oi = 1; alpha = 0.75; }
}
)"));
    const std::string rib = "Option \"searchpath\" \"shader\" [\"" + dir.path +
                            ":&\"]\nDisplay \"ramp.tif\" \"file\" \"rgba\"\n"
                            "Quantize \"rgba\" 0 0 0 0\nFormat 20 10 2\nPixelSamples 2 2\n"
                            "Imager \"imaged\" \"float scale\" [0.5]\nWorldBegin\nWorldEnd\n";
    std::string messages;
    Image ramp;
    renderRib(dir, rib, "ramp.tif", ramp, &messages, nullptr, 2);
    EXPECT_EQ(messages, "");
    ASSERT_EQ(ramp.width, 20);
    ASSERT_EQ(ramp.pixels.size(), 20u * 10u * 4u);
    for (int y : {0, 9})
        for (int x = 0; x < 20; ++x) {
            SCOPED_TRACE("(" + std::to_string(x) + ", " + std::to_string(y) + ")");
            EXPECT_NEAR(ramp.at(x, y, 0), 0.5f * float(x) / 20.0f, 1e-6f);
            EXPECT_NEAR(ramp.at(x, y, 1), 0.5f * float(y) / 10.0f, 1e-6f);
            EXPECT_NEAR(ramp.at(x, y, 2), 0.5f * 2.0f / 4.0f, 1e-6f);
            EXPECT_EQ(ramp.at(x, y, 3), 1.0f);
        }

    const std::string displays =
        "Display \"frame.tif\" \"file\" \"rgba\"\nDisplay \"+coverage.tif\" \"file\" \"a\"\n";
    // The mode, and the written alpha as scale * coverage + offset.
    const std::tuple<const char*, float, float> cases[] = {
        {"0", 0.5f, 0.0f}, {"1", 0.0f, 0.25f}, {"2", 0.0f, 0.75f}};
    for (const auto& [mode, scale, offset] : cases) {
        SCOPED_TRACE(mode);
        const std::string imager = std::string("Imager \"imaged\" \"float mode\" ") + mode;
        Image frame, coverage;
        renderRib(dir, sphereFrame(dir.path, imager, displays), "frame.tif", frame, &messages,
                  nullptr, 2);
        EXPECT_EQ(messages, "");
        coverage.read(dir / "coverage.tif");
        ASSERT_EQ(frame.channels, 4);
        ASSERT_EQ(coverage.channels, 1);
        const std::tuple<int, int, float> probes[] = {{8, 8, 1}, {0, 0, 0}, {15, 8, 0}, {7, 7, 1}};
        for (const auto& [x, y, covered] : probes) {
            SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
            EXPECT_EQ(coverage.at(x, y, 0), covered);
            EXPECT_EQ(frame.at(x, y, 3), scale * covered + offset);
            EXPECT_NEAR(frame.at(x, y, 0), 0.8f * covered, 1e-5f);
        }
    }
}

}  // namespace
