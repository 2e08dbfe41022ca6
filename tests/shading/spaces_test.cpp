// Coordinate spaces (points, vectors, normals and matrices through "shader", "object" and the
// scene's named systems) and colour spaces (the stated fixed points, the hue rules and round
// trips).
#include <gtest/gtest.h>

#include <tuple>

#include "core/math/transform.h"
#include "core/render/scene.h"
#include "core/shading/sl/colorspace.h"
#include "core/shading/sl/geometry.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using ovotest::near;

TEST(Spaces, NamedSystemsOfTheScene) {
    const OIIO::ustring shader("shader"), object("object"), world("world"), here("here"),
        nowhere("nowhere"), current("current");
    // "here" maps to current space by a scale of 2, then a translation by (0, 0, 5).
    const Transform hereToCurrent = Translate(0, 0, 5) * Scale(2, 2, 2);
    Scene scene(nullptr, nullptr, nullptr, nullptr, RaySettings(),
                NamedSpaces{{here, hereToCurrent}});
    ShaderEnvironment env;
    env.scene = &scene;
    env.shaderSpace = Translate(1, 2, 3);
    env.space = Scale(1, 4, 1);
    Tuple p(2, 4, 9);
    const std::tuple<const char*, Tuple, Tuple> cases[] = {
        {"point to here", SL::transform(env, here, p), Tuple(1, 2, 2)},
        {"vector to here", SL::vtransform(env, here, p), Tuple(1, 2, 4.5f)},
        {"normal to here", SL::ntransform(env, here, p), Tuple(4, 8, 18)},  // inverse transpose
        {"point to shader", SL::transform(env, shader, p), Tuple(1, 2, 6)},
        {"normal to object", SL::ntransform(env, object, p), Tuple(2, 16, 9)},
        {"point to object", SL::transform(env, object, p), Tuple(2, 1, 9)},
        {"point from shader to current", SL::transform(env, shader, current, p), Tuple(3, 6, 12)},
        {"point to world", SL::transform(env, world, p), p},
        {"point to nowhere", SL::transform(env, nowhere, p), p},
        {"from nowhere to shader", SL::transform(env, nowhere, shader, p), Tuple(1, 2, 6)},
        {"point from here", SL::transform(env, here, world, p), Tuple(4, 8, 23)},
        {"point from here to shader", SL::transform(env, here, shader, p), Tuple(3, 6, 20)},
    };
    for (const auto& [what, got, expected] : cases) EXPECT_TRUE(near(got, expected, 1e-5f)) << what;
    for (OIIO::ustring a : {shader, object, here})
        for (OIIO::ustring b : {shader, object, here}) {
            Tuple n = SL::ntransform(env, a, b, p);
            EXPECT_TRUE(near(SL::ntransform(env, b, a, n), p, 1e-4f)) << a << " " << b;
        }

    // Matrices: M·m into a space, the stored transform itself out of one.
    Matrix m = Rotate(0.3f, Vector(0, 0, 1)).m;
    const Matrix expected = Translate(-1, -2, -3).m * hereToCurrent.m * m;
    const Matrix got = SL::mtransform(env, here, shader, m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got.m[i / 4][i % 4], expected.m[i / 4][i % 4], 1e-5f);
    EXPECT_EQ(SL::mtransform(env, nowhere, m), m);
    Matrix projective(1.0f);
    projective.m[3][2] = 1.0f;  // w' = z
    projective.m[3][3] = 0.0f;
    Tuple q(2, 4, 2);
    EXPECT_EQ(SL::transform(projective, q), Tuple(1, 2, 1));
    EXPECT_EQ(SL::mtransform(projective, m), projective * m);
}

TEST(ColorSpaces, FixedPointsHueRulesAndRoundTrips) {
    const OIIO::ustring hsv("hsv"), hsl("hsl"), xyz("XYZ"), xyY("xyY"), yiq("YIQ"), rgb("rgb");
    const float grey = -1.0f / 360.0f;
    std::tuple<OIIO::ustring, Color, Color> cases[] = {
        {hsv, Color(1, 0, 0), Color(0, 1, 1)},
        {hsv, Color(1, 0, 1), Color(5.0f / 6, 1, 1)},  // -60 degrees takes a full turn
        {hsv, Color(0.5f, 0.5f, 0.5f), Color(grey, 0, 0.5f)},
        {hsv, Color(0.8f, 0.4f, 0.2f), Color(20.0f / 360, 0.75f, 0.8f)},
        {hsl, Color(0.5f, 0.5f, 0.5f), Color(grey, 0, 0.5f)},
        {hsl, Color(0.2f, 0.4f, 0.2f), Color(1.0f / 3, 1.0f / 3, 0.3f)},  // l below 1/2
        {hsl, Color(0.8f, 0.6f, 0.8f), Color(5.0f / 6, 1.0f / 3, 0.7f)},  // l above
        {xyz, Color(1, 1, 1), Color(0.950456f, 1.0f, 1.088754f)},
        {xyY, Color(1, 1, 1), Color(0.3127313f, 0.3290329f, 1.0f)},  // D65
        {xyY, Color(0, 0, 0), Color(0, 0, 0)},
        {yiq, Color(1, 0, 0), Color(0.299f, 0.596f, 0.212f)},
        {OIIO::ustring("cmyk"), Color(0.1f, 0.2f, 0.3f), Color(0.1f, 0.2f, 0.3f)},
    };
    for (auto& [space, in, other] : cases) {
        SCOPED_TRACE(::testing::Message() << space << " " << in.r << " " << in.g << " " << in.b);
        EXPECT_TRUE(near(SL::ctransform(space, in), other, 2e-6f));
        // YIQ's matrices are each other's inverses to three places only.
        EXPECT_TRUE(near(SL::ctransform(space, rgb, other), in, space == yiq ? 2e-3f : 1e-5f));
    }
    // Hues wrap both ways, saturation is clamped, xyY with Y = 0 is black.
    Color below(-1.0f / 3, 1, 1), above(4.0f / 3, 1, 1), saturated(0, 3, 1), dark(0.3f, 0, 0);
    EXPECT_TRUE(near(SL::ctransform(hsv, rgb, below), Color(0, 0, 1), 1e-5f));
    EXPECT_TRUE(near(SL::ctransform(hsv, rgb, above), Color(0, 1, 0), 1e-5f));
    EXPECT_EQ(SL::ctransform(hsv, rgb, saturated), Color(1, 0, 0));
    EXPECT_EQ(SL::ctransform(xyY, rgb, dark), Color(0.0f));
    // From one space to another goes through RGB.
    Color c(0.1f, 0.5f, 0.7f);
    Color viaRgb = SL::ctransform(hsv, rgb, c);
    EXPECT_EQ(SL::ctransform(hsv, hsl, c), SL::ctransform(hsl, viaRgb));
}
