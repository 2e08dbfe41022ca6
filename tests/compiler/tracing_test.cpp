// Compiled shaders that trace: the keyword lists of the tracing, gathering and shadow calls
// reach the library with the types it reads (an integer sample count and fall-off mode, the
// other numbers as doubles), so a square alone in the world is fully lit, unoccluded and
// unshadowed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "compile_util.h"

namespace {

using ovo::Tuple;
using ovotest::near;

const int Size = 6;

const char* const Open = R"(
surface open(float mode = 0) {
    normal Nf = faceforward(normalize(N), I);
    if (mode == 0)
        Ci = transmission(P, P - 4 * Nf, "samples", 4, "samplecone", 0.1);
    else if (mode == 1)
        Ci = 1 - occlusion(P, Nf, 16, "falloffmode", 1, "falloff", 2, "maxhitdist", 10,
                           "bias", 0.01);
    else
        Ci = diffuse(Nf);
    Oi = 1;
}
)";

// A distant light whose shadow is traced; nothing stands between it and the square.
const char* const Shadowed = R"(
light shadowed(float intensity = 1; point from = point "shader" (0, 0, 0);
               point to = point "shader" (0, 0, 1)) {
    solar(to - from, 0) {
        Cl = intensity * (1 - shadow("raytrace", Ps, "samples", 4, "blur", 0.05));
    }
}
)";

TEST(CompiledTracing, KeywordListsReachTheLibraryWithTheirTypes) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "open.sl", Open));
    ASSERT_TRUE(ovotest::compileShader(dir, "shadowed.sl", Shadowed));
    auto render = [&](const std::string& mode, const std::string& light, ovotest::Image& image) {
        const std::string rib = ovotest::frameRib(
            Size, Size, "Projection \"perspective\" \"fov\" [90]",
            "LightSource \"" + light + "\" 1 \"from\" [0 0 0] \"to\" [0.5 0 1]\n" +
                "Surface \"open\" \"float mode\" [" + mode + "]\n" + ovotest::ViewFillingSquare,
            dir.path);
        return ovotest::renderClean(dir, rib, image) && image.width == Size;
    };
    ovotest::Image transmitted, unoccluded, shadowed;
    ASSERT_TRUE(render("0", "distantlight", transmitted));
    ASSERT_TRUE(render("1", "distantlight", unoccluded));
    ASSERT_TRUE(render("2", "shadowed", shadowed));
    const float cosine = 1.0f / std::sqrt(1.25f);  // the light's tilt against the square's normal
    ovotest::expectPixels(transmitted, Tuple(1.0f), 0.01f);
    ovotest::expectPixels(unoccluded, Tuple(1.0f), 0.01f);
    ovotest::expectPixels(shadowed, Tuple(cosine), 0.01f);
}

// The light shines on the square from behind it, through a wall behind the square. A loop
// whose cone leaves the light out leaves its shadow untraced; the later loop without a cone that
// takes the light must still see it blocked.
const char* const Behind = R"(
surface behind(float first = 0) {
    normal Nf = faceforward(normalize(N), I);
    color C = 0;
    if (first == 1)
        illuminance(P, Nf, PI / 2) { C += 1; }
    illuminance(P) { C += Cl; }
    Ci = C;
    Oi = 1;
}
)";

TEST(CompiledTracing, AShadowLeftForALaterLoopIsStillTraced) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "behind.sl", Behind));
    // The loop that comes first, whether the wall stands, what the square shows.
    const std::tuple<const char*, bool, float> cases[] = {
        {"0", true, 0.0f}, {"1", true, 0.0f}, {"1", false, 1.0f}};
    for (const auto& [first, wall, expected] : cases) {
        SCOPED_TRACE(std::string(first) + (wall ? " with the wall" : " without the wall"));
        const std::string world =
            std::string(
                "Attribute \"light\" \"string shadows\" [\"on\"]\n"
                "LightSource \"distantlight\" 1 \"from\" [0 0 5] \"to\" [0 0 0]\n") +
            (wall ? "Polygon \"P\" [-9 -9 3  9 -9 3  9 9 3  -9 9 3]\n" : "") +
            "Surface \"behind\" \"float first\" [" + first + "]\n" + ovotest::ViewFillingSquare;
        ovotest::Image image;
        ASSERT_TRUE(ovotest::renderClean(
            dir,
            ovotest::frameRib(Size, Size, "Projection \"perspective\" \"fov\" [90]", world,
                              dir.path),
            image));
        ovotest::expectPixels(image, Tuple(expected), 0.01f);
    }
}

}  // namespace
