// Compiled shaders in frames whose colours are known in closed form, rendered by the ovo
// command: a square a little wider than a 90-degree view, s and u running from 0 at its left
// edge to 1 at its right (a polygon's u runs along its first edge, scaled to 0..1).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "compile_util.h"

namespace {

using ovo::Color;
using ovo::Tuple;
using ovotest::near;

const int Size = 8;
// Images are written with 8 bits a channel: exact values come back within half a step each.
const float Quantum = 0.5f / 255.0f * 1.7321f;

const char* const ClosedForm = R"(
surface closedform(float mode = 0; float arr[3] = {0, 0, 0}) {
    normal Nf = faceforward(normalize(N), I);
    if (mode == 5) {
        Ci = color(Du(P) * 0.4) + color(0, 0, length(Dv(P)) * 0.4);  // the first derivative site
    } else if (mode == 1) {
        Ci = mix(color(1, 0, 0), color(0, 0, 1), s);
    } else if (mode == 2) {
        color C = 0;
        illuminance(P, Nf, PI / 2) { C += Cl * (normalize(L) . Nf); }
        Ci = C;
    } else if (mode == 3) {
        Ci = diffuse(Nf);
    } else if (mode == 4) {
        Ci = color(Du(u) * 0.5, Dv(u) + 0.25, Dv(v) * 0.75);
    } else {
        Ci = color(arr[0], arr[1], arr[2]);
    }
    Oi = 1;
}
)";

// The patch under a distant light from behind the camera, tilted 26.6 degrees in x.
std::string scene(const std::string& dir, const std::string& surface) {
    return ovotest::frameRib(
        Size, Size,
        "PixelSamples 4 4\nPixelFilter \"box\" 1 1\nProjection \"perspective\" \"fov\" [90]",
        "LightSource \"distantlight\" 1 \"intensity\" [1] \"from\" [0 0 0] \"to\" [0.5 0 1]\n" +
            surface + "\n" + ovotest::ViewFillingSquare,
        dir);
}

// s at the centre of pixel column x: the view spans -1..1 of the patch's -1.25..1.25.
float sAt(int x) { return (-1.0f + 2.0f * (x + 0.5f) / Size + 1.25f) / 2.5f; }

TEST(CompiledFrames, ColoursMatchTheirClosedForms) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "closedform.sl", ClosedForm));
    auto render = [&](const std::string& surface, ovotest::Image& image) {
        return ovotest::renderClean(dir, scene(dir.path, surface), image) && image.width == Size;
    };
    ovotest::Image mixed, loop, diffuse, derivatives, pointDerivatives, array;
    ASSERT_TRUE(render("Surface \"closedform\" \"float mode\" [1]", mixed));
    ASSERT_TRUE(render("Surface \"closedform\" \"float mode\" [2]", loop));
    ASSERT_TRUE(render("Surface \"closedform\" \"float mode\" [3]", diffuse));
    ASSERT_TRUE(render("Surface \"closedform\" \"float mode\" [4]", derivatives));
    ASSERT_TRUE(render("Surface \"closedform\" \"float mode\" [5]", pointDerivatives));
    ASSERT_TRUE(
        render("Surface \"closedform\" \"float mode\" [6] \"float[3] arr\" [0.2 0.4 0.6]", array));
    // The cosine of the light's tilt: N is (0, 0, -1), L toward the light (-0.5, 0, -1).
    const float cosine = 1.0f / std::sqrt(1.25f);
    ovotest::expectPixels(
        mixed, [](int x, int) { return Tuple(1 - sAt(x), 0, sAt(x)); }, 0.01f);
    ovotest::expectPixels(loop, Tuple(cosine), Quantum);
    ovotest::expectPixels(
        loop, [&](int x, int y) { return Tuple(diffuse.at(x, y)); }, 1e-5f);
    // Du(u) is 1, Dv(u) and Du(v) are 0, Dv(v) is 1 on the patch.
    ovotest::expectPixels(derivatives, Tuple(0.5f, 0.25f, 0.75f), Quantum);
    // Du(P) is the patch's width (2.5) along x; Dv(P) is as long as its height.
    ovotest::expectPixels(pointDerivatives, Tuple(1, 0, 1), Quantum);
    ovotest::expectPixels(array, Tuple(0.2f, 0.4f, 0.6f), Quantum);
}

// The frame with the standard plastic (compiled from its source at build time), then with the
// hand-written C++ plastic kept among the test plugins: no pixel differs by more than 1/255.
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
