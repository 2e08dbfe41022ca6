// Imager shaders: what the compiler lets them see, and frames whose finished pixels they change,
// rendered by the ovo command with float pixels so that values compare exactly.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "compiler/compile_util.h"

namespace ovotest {

// An image as floats with all of its channels.
struct Pixels {
    int width = 0, height = 0, channels = 0;
    std::vector<float> values;
    float at(int x, int y, int c) const { return values[size_t((y * width + x) * channels + c)]; }
};

inline bool readPixels(const std::string& file, Pixels& out) {
    auto in = OIIO::ImageInput::open(file);
    if (!in) return false;
    out.width = in->spec().width;
    out.height = in->spec().height;
    out.channels = in->spec().nchannels;
    out.values.resize(size_t(out.width * out.height * out.channels));
    return in->read_image(0, 0, 0, out.channels, OIIO::TypeDesc::FLOAT, out.values.data());
}

// Runs the ovo command on `rib` in `dir` with `threads` threads; its messages go to `messages`.
inline void runOvo(const ScratchDir& dir, const std::string& rib, int threads,
                   std::string& messages) {
    dir.write("scene.rib", rib);
    const std::string command = "cd '" + dir.path + "' && OVO_SHADER_CACHE='" + dir.path +
                                "/cache' '" + std::string(OVO_BINARY_DIR) + "/bin/ovo' -t " +
                                std::to_string(threads) + " scene.rib > out.txt 2> log.txt";
    (void)std::system(command.c_str());
    messages = slurp(dir / "log.txt");
}

}  // namespace ovotest

namespace {

using ovotest::diagnose;
using ovotest::Pixels;

TEST(ImagerGlobals, AnImagerSeesThePixelAndOnlyAnImagerSeesAlpha) {
    struct Case {
        const char* source;
        const char* diagnostic;  // empty when the source is accepted
    };
    const Case cases[] = {
        {"imager i() { Ci = Ci * Oi + color(xcomp(P), ncomps, time); alpha = 1 - alpha; }", ""},
        {"imager i() { Ci = color(s, 0, 0); }", "t.sl:1:25: error: 's' is not declared"},
        {"imager i() { Ci = Cs; }", "t.sl:1:19: error: 'Cs' is not declared"},
        {"imager i() { Ci = color(N); }", "t.sl:1:25: error: 'N' is not declared"},
        {"surface s() { Oi = alpha; }", "t.sl:1:20: error: 'alpha' is not declared"},
        {"volume v() { Ci *= alpha; }", "t.sl:1:20: error: 'alpha' is not declared"},
        // A function of the file sees what the file's shader sees.
        {"float f() { return alpha; }\nimager i() { alpha = f(); }", ""},
        {"float f() { return alpha; }\nsurface s() { Ci = f(); }",
         "t.sl:1:20: error: 'alpha' is not declared"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> found = diagnose(c.source);
        if (*c.diagnostic == '\0')
            EXPECT_TRUE(found.empty()) << c.source << "\n--> " << found.front();
        else
            EXPECT_TRUE(!found.empty() && found.front() == c.diagnostic)
                << c.source << "\n--> " << (found.empty() ? "nothing" : found.front());
    }
}

// A frame of one constant-coloured sphere filling the middle of a 16 x 16 picture; `imager`
// is the Imager request (or nothing), `displays` the Display requests.
std::string sphereFrame(const std::string& dir, const std::string& imager,
                        const std::string& displays, const std::string& limits = "",
                        const std::string& inWorld = "") {
    return "Option \"searchpath\" \"shader\" [\"" + dir + ":&\"]\n" + displays +
           "Quantize \"rgba\" 0 0 0 0\nFormat 16 16 1\nPixelSamples 3 3\nPixelFilter \"box\" 1 "
           "1\n" +
           limits + "Projection \"perspective\" \"fov\" [40]\n" + imager +
           "\nTranslate 0 0 5\nWorldBegin\n" + inWorld +
           "\nColor [0.8 0.4 0.2]\nSurface \"constant\"\n"
           "Sphere 1 -1 1 360\nWorldEnd\n";
}

// The same behind-the-sphere fill however the frame is cut: buckets on two threads written as
// regions, one stream of samples, and a format written whole at the end.
TEST(ImagerFrames, BackgroundFillsWhatNothingCoversAndKeepsWhatIsCovered) {
    ovotest::ScratchDir dir;
    const float background[3] = {0.25f, 0.5f, 1.0f};
    const std::string imager = "Imager \"background\" \"color background\" [0.25 0.5 1]";
    std::string messages;
    Pixels bare;
    ovotest::runOvo(dir, sphereFrame(dir.path, "", "Display \"bare.tif\" \"file\" \"rgba\"\n"), 1,
                    messages);
    ASSERT_TRUE(ovotest::readPixels(dir / "bare.tif", bare)) << messages;
    ASSERT_EQ(bare.channels, 4);

    struct Case {
        const char* display;
        const char* limits;
        int threads;
        float tolerance;  // half floats in OpenEXR
    };
    const Case cases[] = {
        {"Display \"frame.tif\" \"file\" \"rgba\"\n", "Option \"limits\" \"bucketsize\" [4 4]\n", 2,
         1e-5f},
        {"Display \"frame.tif\" \"file\" \"rgba\"\n", "Option \"limits\" \"bucketsize\" [1 1]\n", 1,
         1e-5f},
        {"Display \"frame.exr\" \"openexr\" \"rgba\"\n", "", 2, 2e-3f},
    };
    for (const Case& c : cases) {
        const std::string file =
            std::string(c.display).find(".exr") != std::string::npos ? "frame.exr" : "frame.tif";
        ovotest::runOvo(dir, sphereFrame(dir.path, imager, c.display, c.limits), c.threads,
                        messages);
        EXPECT_EQ(messages, "") << c.display << c.limits;
        Pixels imaged;
        ASSERT_TRUE(ovotest::readPixels(dir / file, imaged)) << c.display << c.limits;
        ASSERT_EQ(imaged.width, bare.width);
        int covered = 0, uncovered = 0;
        for (int y = 0; y < imaged.height; ++y)
            for (int x = 0; x < imaged.width; ++x) {
                const std::string at = std::string(c.limits) + " (" + std::to_string(x) + ", " +
                                       std::to_string(y) + ")";
                // The imager adds (1 - coverage) of the background: the same share in every
                // channel, between none and all of it; and the picture ends opaque.
                const float share = (imaged.at(x, y, 2) - bare.at(x, y, 2)) / background[2];
                EXPECT_GE(share, -c.tolerance) << at;
                EXPECT_LE(share, 1.0f + c.tolerance) << at;
                for (int k = 0; k < 2; ++k)
                    EXPECT_NEAR(imaged.at(x, y, k), bare.at(x, y, k) + share * background[k],
                                c.tolerance)
                        << at << " channel " << k;
                EXPECT_NEAR(imaged.at(x, y, 3), 1.0f, 1e-5f) << at;
                covered += share < c.tolerance;
                uncovered += share > 1.0f - c.tolerance;
            }
        // The corner shows the background alone, the sphere's centre is untouched.
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(imaged.at(0, 0, k), background[k]) << c.limits;
            EXPECT_NEAR(imaged.at(8, 8, k), bare.at(8, 8, k), c.tolerance) << c.limits;
        }
        EXPECT_GT(covered, 40) << c.limits;
        EXPECT_GT(uncovered, 80) << c.limits;
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
    ovotest::runOvo(dir, rib, 2, messages);
    EXPECT_EQ(messages, "");
    Pixels ramp;
    ASSERT_TRUE(ovotest::readPixels(dir / "ramp.tif", ramp)) << messages;
    ASSERT_EQ(ramp.width, 20);
    ASSERT_EQ(ramp.height, 10);
    for (int y : {0, 9})
        for (int x = 0; x < 20; ++x) {
            const std::string at = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            EXPECT_NEAR(ramp.at(x, y, 0), 0.5f * (x + 0.5f) / 20.0f, 1e-6f) << at;
            EXPECT_NEAR(ramp.at(x, y, 1), 0.5f * (y + 0.5f) / 10.0f, 1e-6f) << at;
            EXPECT_NEAR(ramp.at(x, y, 2), 0.5f * 2.0f / 4.0f, 1e-6f) << at;
            EXPECT_EQ(ramp.at(x, y, 3), 1.0f) << at;
        }
}

// An imager that halves alpha changes what the colour output writes; the alpha-only output
// keeps the film's coverage, and the colour is untouched.
TEST(ImagerFrames, AnImagerThatWritesAlphaChangesTheWrittenAlphaOfColourOutputs) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(
        ovotest::compileShader(dir, "halfalpha.sl", "imager halfalpha() { alpha *= 0.5; }"));
    const std::string displays =
        "Display \"frame.tif\" \"file\" \"rgba\"\nDisplay \"+coverage.tif\" \"file\" \"a\"\n";
    std::string messages;
    ovotest::runOvo(dir, sphereFrame(dir.path, "Imager \"halfalpha\"", displays), 2, messages);
    EXPECT_EQ(messages, "");
    Pixels frame, coverage;
    ASSERT_TRUE(ovotest::readPixels(dir / "frame.tif", frame)) << messages;
    ASSERT_TRUE(ovotest::readPixels(dir / "coverage.tif", coverage)) << messages;
    ASSERT_EQ(frame.channels, 4);
    ASSERT_EQ(coverage.channels, 1);
    const int probes[][2] = {{8, 8}, {0, 0}, {15, 8}, {7, 7}};
    const float coverageAt[] = {1.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        const int x = probes[i][0], y = probes[i][1];
        EXPECT_EQ(coverage.at(x, y, 0), coverageAt[i]) << x << ", " << y;
        EXPECT_EQ(frame.at(x, y, 3), 0.5f * coverageAt[i]) << x << ", " << y;
        EXPECT_NEAR(frame.at(x, y, 0), 0.8f * coverageAt[i], 1e-5f) << x << ", " << y;
    }
}

// An imager that cannot be loaded is reported where it was asked for; the frame is rendered
// without it. "null" takes an imager away without a word.
TEST(ImagerFrames, AMissingImagerLeavesTheFrameAsItWas) {
    ovotest::ScratchDir dir;
    struct Case {
        const char* imager;
        const char* message;  // the start of the first message
        const char* inWorld;
    };
    const Case cases[] = {
        {"Imager \"nosuchimager\"", "ERROR: scene.rib:8: Imager: shader \"nosuchimager\" not found",
         ""},
        {"Imager \"background\"\nImager \"null\"", "", ""},
        {"Imager \"constant\"",
         "ERROR: Shader: \"constant\" is a surface shader, not an imager. Ignoring it ...\n", ""},
        // Options are the frame's from the world's start on.
        {"", "", "Imager \"background\""},
    };
    for (const Case& c : cases) {
        std::string messages;
        const std::string display = "Display \"f.tif\" \"file\" \"rgba\"\n";
        ovotest::runOvo(dir, sphereFrame(dir.path, c.imager, display, "", c.inWorld), 1, messages);
        EXPECT_EQ(messages.substr(0, messages.empty() ? 0 : messages.find(" (searched")), c.message)
            << c.imager;
        Pixels frame;
        ASSERT_TRUE(ovotest::readPixels(dir / "f.tif", frame)) << c.imager;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(frame.at(0, 0, k), 0.0f) << c.imager;
        EXPECT_EQ(frame.at(0, 0, 3), 1.0f) << c.imager;  // no imager: alpha as it always was
    }
}

}  // namespace
