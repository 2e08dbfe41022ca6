// Derivatives through the three passes (call-site slots, a turned Jacobian, Deriv's cases,
// area and calculatenormal), and rotate, fresnel, ptlined and normalize.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "core/math/constants.h"
#include "core/shading/sl/geometry.h"
#include "tests/common/test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

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

TEST(GeometryHelpers, RotateFresnelPtlinedAndNormalize) {
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

    EXPECT_EQ(SL::normalize(Tuple(0.0f)), Tuple(0.0f));  // not NaN
    EXPECT_TRUE(near(SL::normalize(Tuple(0, 3, 4)), Tuple(0, 0.6f, 0.8f), 1e-6f));
}
