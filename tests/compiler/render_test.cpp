// The frame with the standard plastic (compiled from its source at build time), then with the
// hand-written C++ plastic kept among the test plugins: no pixel differs by more than 1/255.
// (Frames of compiled shaders whose colours are known in closed form: tracing_test.)
#include <cmath>

#include "compile_util.h"

namespace {

TEST(CompiledFrames, CompiledPlasticMatchesTheHandWrittenOne) {
    ovotest::ScratchDir dir;
    const std::string frame =
        "Display \"frame.tif\" \"file\" \"rgb\"\nFormat 48 48 1\nPixelSamples 2 2\n"
        "Projection \"perspective\" \"fov\" [40]\nTranslate 0 0 5\nWorldBegin\n"
        "LightSource \"ambientlight\" 1 \"intensity\" [0.1]\n"
        "LightSource \"distantlight\" 2 \"from\" [1 1 -1] \"to\" [0 0 0]\n"
        "LightSource \"pointlight\" 3 \"from\" [-2 1 -3] \"intensity\" [8]\n"
        "Color [0.8 0.3 0.2]\n";
    const std::string sphere = " \"Ks\" [0.8] \"roughness\" [0.05]\nSphere 1 -1 1 360\nWorldEnd\n";
    ovotest::Image compiled, handWritten;
    ASSERT_TRUE(
        ovotest::renderRib(dir, frame + "Surface \"plastic\"" + sphere, "frame.tif", compiled));
    ASSERT_TRUE(ovotest::renderRib(dir,
                                   "Option \"searchpath\" \"shader\" [\"" +
                                       ovotest::pluginDir(ovotest::Plugins::TestOnly) + ":&\"]\n" +
                                       frame + "Surface \"handplastic\"" + sphere,
                                   "frame.tif", handWritten));
    ASSERT_EQ(compiled.pixels.size(), handWritten.pixels.size());
    float worst = 0, brightest = 0;
    for (size_t i = 0; i < compiled.pixels.size(); ++i) {
        worst = std::max(worst, std::fabs(compiled.pixels[i] - handWritten.pixels[i]));
        brightest = std::max(brightest, compiled.pixels[i]);
    }
    EXPECT_LE(worst, 1.0f / 255.0f);
    EXPECT_GT(brightest, 0.5f);  // the sphere is there, with its highlight
}

}  // namespace
