// Library functions of the shading language on their own: noise and splines against values
// worked out from the permutation table and the basis matrices, derivatives through the three
// passes and the geometric functions, printf and format, coordinate and colour spaces.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/math/constants.h"
#include "core/math/matrix.h"
#include "core/math/transform.h"
#include "core/render/scene.h"
#include "core/shading/sl/colorspace.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/noise.h"
#include "core/shading/sl/output.h"
#include "core/shading/sl/spline.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using ovotest::near;

namespace {

float noiseN(int dims, const float* p) {
    return dims == 1   ? SL::noise(p[0])
           : dims == 2 ? SL::noise(p[0], p[1])
           : dims == 3 ? SL::noise(p[0], p[1], p[2])
                       : SL::noise(p[0], p[1], p[2], p[3]);
}

// Runs `shader` in the x pass, the y pass and the main pass, as Hit::shade does, where u and v
// change by (dudx, dvdx) for a pixel step in x and by (dudy, dvdy) in y; returns what the main
// pass returns. Ng is +z.
template <class T>
T threePasses(float dudx, float dudy, float dvdx, float dvdy,
              const std::function<T(ShaderEnvironment&, float u, float v)>& shader) {
    ShaderEnvironment env;
    DerivativeScope slots(env);
    env.dudx = dudx;
    env.dudy = dudy;
    env.dvdx = dvdx;
    env.dvdy = dvdy;
    env.du = std::max(std::fabs(dudx), std::fabs(dudy));
    env.dv = std::max(std::fabs(dvdx), std::fabs(dvdy));
    env.N = env.Ng = Normal(0, 0, 1);
    const float u = 0.3f, v = 0.6f;
    for (int pass : {1, 2}) {
        env.derivPass = pass;
        env.derivCounter = 0;
        shader(env, u + (pass == 1 ? dudx : dudy), v + (pass == 1 ? dvdx : dvdy));
    }
    env.derivPass = 0;
    env.derivCounter = 0;
    return shader(env, u, v);
}

}  // namespace

TEST(Noise, KnownValuesZerosOnTheLatticeAndContinuity) {
    // By hand: at x = 0.5 the corner hashes are 151 (gradient +8) and 160 (gradient +1), so
    // 0.188 * lerp(0.5, 8 * 0.5, 1 * -0.5) = 0.329; the others take the same steps.
    const std::tuple<int, std::array<float, 4>, float> cases[] = {
        {1, {0.5f}, 0.329f},
        {1, {-2.25f}, 0.1230996f},
        {2, {0.3f, 0.8f}, -0.2030936f},
        {2, {-0.7f, -2.2f}, 0.3620622f},
        {3, {0.5f, 0.5f, 0.5f}, 0.234f},
        {3, {-0.3f, 1.7f, -2.6f}, 0.2343184f},
        {4, {0.5f, 0.5f, 0.5f, 0.5f}, 0.32625f},
        {4, {-0.3f, 1.7f, -2.6f, 0.4f}, -0.4504124f}};
    for (const auto& [dims, p, expected] : cases)
        EXPECT_NEAR(noiseN(dims, p.data()), expected, 2e-6f) << dims;

    const float lattice[][4] = {{0, 0, 0, 0}, {1, 2, 3, 4}, {-1, -3, 7, -256}};
    // Across lattice planes (negative ones too, where a truncating floor would jump) both
    // sides agree.
    for (int dims = 1; dims <= 4; ++dims) {
        for (const auto& p : lattice) EXPECT_EQ(noiseN(dims, p), 0.0f) << dims;
        for (int axis = 0; axis < dims; ++axis)
            for (float plane : {-3.0f, -1.0f, 0.0f, 2.0f}) {
                float below[4] = {0.37f, -1.61f, 2.29f, 0.83f}, above[4];
                below[axis] = plane - 1e-4f;
                std::copy(below, below + 4, above);
                above[axis] = plane + 1e-4f;
                EXPECT_NEAR(noiseN(dims, below), noiseN(dims, above), 2e-3f) << dims << plane;
            }
    }
}

TEST(CellNoise, OneValuePerCellFromThePermutation) {
    Tuple p(0.5f, 0.5f, 0.5f), q(0.1f, 0.9f, 0.99f);
    const std::pair<float, int> cases[] = {
        {SL::cellnoisef(0.3f), 151},       {SL::cellnoisef(0.9f), 151},  // perm[0], one cell
        {SL::cellnoisef(-0.5f), 180},                                    // cell -1 & 255 = 255
        {SL::cellnoisef(-256.5f), 180},                                  // cell -257 & 255 = 255
        {SL::cellnoisef(1.0f), 160},        // the next cell starts at 1
        {SL::cellnoisef(0.5f, 0.2f), 17},   // perm[perm[0] + 0]
        {SL::cellnoisef(3.5f, -1.5f), 46},  // perm[perm[3] + 254]: -1.5 is in cell -2
        {SL::cellnoisef(p), 36},           {SL::cellnoisef(q), 36},
        {SL::cellnoisef(p, 0.5f), 0},      {SL::cellnoisef(0.5f, 0.5f, 0.5f, 0.5f), 0},
    };
    for (const auto& [value, entry] : cases) EXPECT_FLOAT_EQ(value, float(entry) / 255.0f);
    // Colours and points: the hash, then the permutation once and twice more.
    EXPECT_EQ(SL::cellnoisec(0.2f), Color(151 / 255.0f, 17 / 255.0f, 36 / 255.0f));
    EXPECT_EQ(Color(SL::cellnoisep(p, -3.5f)), SL::cellnoisec(p, -3.5f));
    EXPECT_EQ(SL::cellnoisec(p, -3.5f).r, SL::cellnoisef(p, -3.5f));
    EXPECT_LE(SL::cellnoisef(3e10f, -3e10f), 1.0f);  // beyond the int range: still a cell
}

TEST(Spline, BasesAgainstHandValues) {
    const OIIO::ustring linear("linear"), catmull("catmull-rom"), bezier("bezier"),
        bspline("bspline"), hermite("hermite"), power("power");
    std::tuple<OIIO::ustring, std::vector<float>, float, float> cases[] = {
        {linear, {0, 0, 1, 1}, 0.5f, 0.5f},
        {catmull, {0, 0, 1, 1}, 0.0f, 0.0f},
        {catmull, {0, 0, 1, 1}, 1.0f, 1.0f},
        {catmull, {0, 1, 0, 1}, 0.5f, 0.5f},
        {bezier, {0, 0, 0, 1}, 0.5f, 0.125f},
        {bspline, {0, 0, 6, 6}, 1.0f, 5.0f},       // (0 + 4*6 + 6) / 6
        {hermite, {0, 0, 1, 0}, 0.25f, 0.15625f},  // -2u^3 + 3u^2
        {power, {1, 2, 3, 4}, 0.5f, 6.125f},       // u^3 + 2u^2 + 3u + 4
        {OIIO::ustring("no such"), {1, 2, 3, 4}, 0.5f, 6.125f},
        {catmull, {0, 0, 1, 1}, -3.0f, 0.0f},  // t clamped
        {bezier, {0, 0, 0, 1}, 1.5f, 1.0f},
        // Segments: catmull-rom over six values makes three (t = 0.5 in the middle of the
        // second, t = 1 the end of the third), bezier steps by three, hermite by two.
        {catmull, {0, 0, 1, 2, 3, 3}, 0.5f, 1.5f},
        {catmull, {0, 0, 1, 2, 3, 3}, 1.0f, 3.0f},
        {bezier, {0, 1, 2, 3, 4, 5, 6}, 0.5f, 3.0f},
        {hermite, {0, 0, 1, 0, 5, 0}, 0.625f, 1.0f + 4.0f * 0.15625f},
        {linear, {1, 3}, 0.5f, 3.0f},  // short lists repeat their last value
        {power, {}, 0.5f, 0.0f},
    };
    for (auto& [basis, values, t, expected] : cases)
        EXPECT_NEAR(SL::splinef(basis, t, values), expected, 1e-6f)
            << basis << " " << t << " over " << values.size();

    // Through "...", one double per float and three per colour or point; catmull-rom by
    // default; a short list reads no further than its count.
    std::vector<float> v = {0, 1, 0, 1};
    EXPECT_EQ(SL::splinef(0.3f, 4u, 0.0, 1.0, 0.0, 1.0), SL::splinef(catmull, 0.3f, v));
    EXPECT_EQ(SL::splinef(0.3f, v), SL::splinef(catmull, 0.3f, v));
    EXPECT_EQ(SL::splinef(linear, 0.5f, 2u, 1.0, 3.0), 3.0f);
    EXPECT_EQ(
        SL::splinec(bezier, 0.5f, 4u, 0.0, 0.0, 0.0, 0.0, 0.0, 8.0, 0.0, 8.0, 0.0, 1.0, 0.0, 0.0),
        Color(0.125f, 3.0f, 3.0f));
    std::vector<Tuple> points = {Tuple(0, 0, 0), Tuple(1, 0, 0), Tuple(2, 1, 0), Tuple(3, 1, 0)};
    EXPECT_EQ(SL::splinep(linear, 0.5f, points), Tuple(1.5f, 0.5f, 0.0f));
    EXPECT_EQ(SL::splinep(1.0f, 4u, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 2.0, 1.0, 0.0, 3.0, 1.0, 0.0),
              Tuple(2, 1, 0));
}

TEST(Output, PrintfConversionsInTheMainPassOnly) {
    Matrix m = Matrix::Identity;
    m.m[0][3] = 2.5f;
    m.m[3][0] = -1.0f;
    const OIIO::ustring name("plastic");
    using Print = std::function<void(ShaderEnvironment&)>;
    auto f = [](const char* format) { return OIIO::ustring(format); };
    // Each print and what it writes; the last two run in the offset passes.
    const std::pair<Print, std::string> cases[] = {
        {[&](auto& e) { SL::printf(e, f("Kd = %f\n"), 0.5); }, "Kd = 0.500000\n"},
        {[&](auto& e) { SL::printf(e, f("%f%f"), -0.25, 1e6); }, "-0.2500001000000.000000"},
        {[&](auto& e) {
             SL::printf(e, f("%s at %p is %c"), name, Tuple(1, -2, 0.25f), Color(1, 0, 0));
         },
         "plastic at [1.000000 -2.000000 0.250000] is [1.000000 0.000000 0.000000]"},
        {[&](auto& e) { SL::printf(e, f("%m"), m); },
         "[1.000000 0.000000 0.000000 2.500000 0.000000 1.000000 0.000000 0.000000 0.000000 "
         "0.000000 1.000000 0.000000 -1.000000 0.000000 0.000000 1.000000]"},
        // An unknown conversion prints nothing and leaves its argument for the next one; so
        // does "%%", and a '%' that ends the format.
        {[&](auto& e) { SL::printf(e, f("%d|%f|%s"), 1.5, name); }, "|1.500000|plastic"},
        {[&](auto& e) { SL::printf(e, f("100%% done%")); }, "100 done"},
        {[&](auto& e) { SL::printf(e, OIIO::ustring()); }, ""},
        {[&](auto& e) { e.derivPass = 1, SL::printf(e, f("pass %f\n"), 1.0); }, ""},
        {[&](auto& e) { e.derivPass = 2, SL::printf(e, f("pass %s\n"), name); }, ""},
    };
    for (const auto& [print, expected] : cases) {
        ShaderEnvironment env;
        EXPECT_EQ(ovotest::capturedStdout(std::bind(print, std::ref(env))), expected) << expected;
    }
}

TEST(Output, FormatIsVsnprintfCutAt1023) {
    const std::string longer(2000, 'x');
    const std::pair<OIIO::ustring, std::string> cases[] = {
        {SL::format(OIIO::ustring("%s_%03d.%s"), "frame", 7, "tif"), "frame_007.tif"},
        {SL::format(OIIO::ustring("%s"), longer.c_str()), longer.substr(0, 1023)},
        {SL::format(OIIO::ustring()), ""},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got.string(), expected);
}

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

TEST(Derivatives, SlotsJacobianDerivAreaAndCalculatenormal) {
    using F = std::function<float(ShaderEnvironment&, float, float)>;
    // What, dudx, dudy, dvdx, dvdy, the shader and its derivative.
    const std::tuple<const char*, float, float, float, float, F, float> cases[] = {
        // A turned screen: u and v both change with x and y.
        {"Du(u)", 0.01f, 0.01f, -0.01f, 0.01f, [](auto& e, float u, float) { return SL::Du(e, u); },
         1.0f},
        // Deriv with den changing only with v, and with both.
        {"Deriv(u + 4v, v)", 0.01f, 0, 0, 0.01f,
         [](auto& e, float u, float v) { return SL::Deriv(e, u + 4 * v, v); }, 4.0f},
        {"Deriv(2u + 6v, u + v)", 0.01f, 0, 0, 0.01f,
         [](auto& e, float u, float v) { return SL::Deriv(e, 2 * u + 6 * v, u + v); }, 8.0f},
    };
    for (const auto& [what, dudx, dudy, dvdx, dvdy, f, expected] : cases)
        EXPECT_NEAR(threePasses<float>(dudx, dudy, dvdx, dvdy, f), expected, 1e-3f) << what;

    // Points take three slots a pass, floats one, colours none; offset passes answer 0.
    auto points = [](ShaderEnvironment& e, float u, float v) {
        SL::Du(e, u);
        Tuple p(u, 5 * u + v, 2 * v), q(v, v, u);
        Color c(u);
        EXPECT_EQ(SL::Du(e, c), Color(0.0f));
        const Tuple r = SL::Du(e, p), dq = SL::Dv(e, q);
        EXPECT_EQ(e.derivCounter, 7);
        if (e.derivPass != 0) {
            EXPECT_EQ(r, Tuple(0.0f));
        }
        if (e.derivPass == 0 && e.dudx != 0.0f) {
            EXPECT_TRUE(near(dq, Tuple(1, 1, 0), 1e-3f));
        }
        return r;
    };
    EXPECT_TRUE(near(threePasses<Tuple>(0.01f, 0, 0, 0.01f, points), Tuple(1, 5, 0), 1e-3f));
    EXPECT_EQ(threePasses<Tuple>(0, 0, 0, 0, points), Tuple(0.0f));  // degenerate Jacobian

    // P = (u, v, u/2): the footprint is 0.01 by 0.02 (its slant adds a little), 1e-6 in the
    // offset passes.
    const float a = threePasses<float>(0.01f, 0, 0, 0.02f, [](auto& e, float u, float v) {
        Tuple P(u, v, 0.5f * u);
        const float r = SL::area(e, P);
        if (e.derivPass != 0) {
            EXPECT_EQ(r, 1e-6f);
        }
        return r;
    });
    EXPECT_NEAR(a, 2e-4f * std::sqrt(1.25f), 1e-6f);
    // Its normal (-1/2, 0, 1) is flipped to the side of Ng; the offset passes answer N.
    for (float side : {1.0f, -1.0f}) {
        const Tuple n = threePasses<Tuple>(0.01f, 0, 0, 0.01f, [side](auto& e, float u, float v) {
            e.Ng = Normal(0, 0, side);
            e.N = Normal(0.6f, 0, 0.8f);
            Tuple P(u, v, 0.5f * u);
            const Tuple r = SL::calculatenormal(e, P);
            if (e.derivPass != 0) {
                EXPECT_EQ(r, Tuple(0.6f, 0, 0.8f));
            }
            return r;
        });
        EXPECT_TRUE(near(n, Tuple(-0.5f, 0, 1) * side, 1e-3f)) << side;
    }
}

TEST(Derivatives, NestedShadingHasItsOwnBlock) {
    ShaderEnvironment outer, inner;
    DerivativeScope a(outer);
    ASSERT_NE(outer.derivStore, nullptr);
    {
        DerivativeScope b(inner);
        EXPECT_NE(inner.derivStore, nullptr);
        EXPECT_NE(inner.derivStore, outer.derivStore);
    }
    EXPECT_EQ(inner.derivStore, nullptr);  // nothing points at a block that is gone
}

TEST(GeometryHelpers, RotateFresnelPtlinedFaceforwardAndNormalize) {
    // rotate turns about the normalised axis through P0, right-handed.
    Tuple origin(0, 0, 0), far(0, 0, 5), pivot(1, 1, 0), above(1, 1, 2);
    std::tuple<Tuple, float, Tuple, Tuple, Tuple> turns[] = {
        {Tuple(1, 0, 0), PiOver2, origin, far, Tuple(0, 1, 0)},
        {Tuple(2, 1, 0), PiOver2, pivot, above, Tuple(1, 2, 0)},
        {Tuple(3, 2, 1), 0.7f, pivot, pivot, Tuple(3, 2, 1)},  // no axis, no turn
    };
    for (auto& [Q, angle, P0, P1, expected] : turns)
        EXPECT_TRUE(near(SL::rotate(Q, angle, P0, P1), expected, 1e-5f)) << Q.x;

    // Air into glass head on: ((1 - 1.5) / (1 + 1.5))^2 = 0.04, straight through. Glass into
    // air at 60 degrees, past the critical angle: all reflected, nothing refracted.
    Tuple N(0, 0, 1), down(0, 0, -1), slanted(std::sqrt(3.0f) * 0.5f, 0, -0.5f), R, T;
    float Kr, Kt;
    SL::fresnel(down, N, 1.0f / 1.5f, Kr, Kt, R, T);
    EXPECT_NEAR(Kr, 0.04f, 1e-6f);
    EXPECT_NEAR(Kt, 0.96f / 2.25f, 1e-6f);
    EXPECT_TRUE(near(T, down, 1e-6f));
    SL::fresnel(slanted, N, 1.0f / 1.5f, Kr, Kt, R, T);
    EXPECT_NEAR(T.x, slanted.x / 1.5f, 1e-6f);  // Snell
    SL::fresnel(slanted, N, 1.5f, Kr, Kt);
    EXPECT_FLOAT_EQ(Kr, 1.0f);
    EXPECT_FLOAT_EQ(Kt, 0.0f);
    SL::fresnel(slanted, N, 1.5f, Kr, Kt, R, T);
    EXPECT_EQ(T, Tuple(0.0f));
    EXPECT_TRUE(near(R, Tuple(slanted.x, 0, 0.5f), 1e-6f));

    const Tuple P0(0, 0, 0), P1(4, 0, 0);
    EXPECT_NEAR(SL::ptlined(P0, P1, Tuple(2, 3, 0)), 3.0f, 1e-6f);   // across the middle
    EXPECT_NEAR(SL::ptlined(P0, P1, Tuple(-3, 4, 0)), 5.0f, 1e-6f);  // before P0
    EXPECT_NEAR(SL::ptlined(P0, P1, Tuple(7, 0, 4)), 5.0f, 1e-6f);   // past P1
    EXPECT_NEAR(SL::ptlined(P0, P0, Tuple(0, 3, 4)), 5.0f, 1e-6f);   // a point segment

    // faceforward turns N against I as Ng faces; an I along the surface gives nothing.
    ShaderEnvironment env;
    env.Ng = Normal(0.0f, 0.0f, 1.0f);
    Tuple Nf(0, 0, 1), toward(0, 0, -1), away(0, 0, 1), across(1, 0, 0);
    EXPECT_FLOAT_EQ(SL::faceforward(env, Nf, toward).z, 1.0f);
    EXPECT_FLOAT_EQ(SL::faceforward(env, Nf, away).z, -1.0f);
    EXPECT_EQ(SL::faceforward(env, Nf, across), Tuple(0.0f));

    EXPECT_EQ(SL::normalize(Tuple(0.0f)), Tuple(0.0f));  // not NaN
    EXPECT_TRUE(near(SL::normalize(Tuple(0, 3, 4)), Tuple(0, 0.6f, 0.8f), 1e-6f));
}
