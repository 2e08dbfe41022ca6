// Hit::shade on hand-made hits, and the illuminance loops with their light cache.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "core/geometry/hit.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

// A hit at (0.5, 0.5) on the plane z = 0 where u = x and v = y, with `layers` for its surface.
Hit flatHit(std::vector<Reference<Shader>> layers) {
    Hit hit = planeHit(Point(0.5f, 0.5f, 0.0f), Normal(0.0f, 0.0f, -1.0f));
    hit.env.dNdu = hit.env.dNdv = Vector(0.0f);
    hit.attributes.surface = keep(groupOf(std::move(layers)));
    return hit;
}
// The ray to it from (0.5, 0.5, -1), whose offset rays land 0.01 further in x and in y.
const RayDifferential FlatRay = steppedRay(Point(0.5f, 0.5f, -1.0f), 1.0f, 0.01f);

// A list of "counting" lights from each point, with "__nondiffuse" `nondiffuse`.
Reference<LightList> countingLights(std::initializer_list<float> heights, float nondiffuse = 0.0f) {
    Reference<LightList> list(new LightList());
    for (float z : heights)
        list->lights.push_back(
            lightOf("counting", {{"from", Point(0, 0, z)}, {"__nondiffuse", nondiffuse}}));
    return list;
}
// The origin facing +z under `lights`, which it borrows.
ShaderEnvironment litOrigin(const Reference<LightList>& lights) {
    ShaderEnvironment env;
    env.lights = lights;
    env.P = Point(0.0f);
    env.N = env.Ng = Normal(0.0f, 0.0f, 1.0f);
    return env;
}

}  // namespace

TEST(Shade, PassesDerivativesAndOutput) {
    std::atomic<unsigned>* runs = counter<std::atomic<unsigned>>("derivs", "derivsRuns");
    std::atomic<unsigned>* plain = counter<std::atomic<unsigned>>("args", "argsRuns");
    ASSERT_TRUE(runs && plain);

    // Two layers that read du and dv run three times each; Du(u) = 1, Dv(u) = Du(v) = 0.
    Hit hit = flatHit({bound("derivs"), bound("derivs")});
    for (int i = 0; i < 3; ++i) runs[i] = 0;
    float out = 0.0f;
    hit.shade(FlatRay, &out);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(runs[i].load(), 2u) << i;
    EXPECT_FLOAT_EQ(out, 1.0f);
    EXPECT_TRUE(near(Tuple(hit.env.dudx, hit.env.dvdy, hit.env.du), Tuple(0.01f), 1e-6f));
    EXPECT_TRUE(near(hit.env.Ci, Color(1, 0, 0), 1e-3f));
    // Every shifted value was put back.
    EXPECT_EQ(Tuple(hit.env.u, hit.env.P.x, 0.0f), Tuple(0.5f, 0.5f, 0.0f));

    // A layer that reads neither du nor dv runs once; a null out is left alone.
    Hit once = flatHit({bound("args")});
    *plain = 0;
    once.shade(FlatRay, nullptr);
    EXPECT_EQ(plain->load(), 1u);
    EXPECT_FLOAT_EQ(once.env.Oi.r, 0.25f);  // the args layer sets Oi = f

    // Without an N primitive variable N is Ng; a ray starting at P shades with I = its
    // direction; without differentials a pixel spreads over one film pixel (no scene: 1).
    Hit eye = flatHit({bound("args")});
    eye.shade(RayDifferential(eye.env.P, Vector(0.0f, 0.0f, 2.0f)), nullptr);
    EXPECT_EQ(eye.env.N, eye.env.Ng);
    EXPECT_FLOAT_EQ(eye.env.I.z, 2.0f);
}

// Object space is the hit's own (its transform maps world to object) under whatever the
// primitives above it put there, identity or not.
TEST(Shade, ObjectSpaceTakesTheHitsTransform) {
    const Transform place = Translate(0, 2, 0) * Scale(3, 3, 3);  // object to world
    for (const Transform& above : {Transform::Identity, Translate(1, 0, 0)}) {
        Hit hit = flatHit({bound("args")});
        hit.transform = place.inverse();
        hit.env.space = above;
        hit.shade(FlatRay, nullptr);
        const Transform expected = above * place;
        EXPECT_TRUE(hit.env.space.m == expected.m && hit.env.space.mInv == expected.mInv)
            << above.m.m[0][3];
    }
}

TEST(Lighting, CacheConesAndNondiffuse) {
    std::atomic<unsigned>* runs = counter<std::atomic<unsigned>>("counting", "countingRuns");
    ASSERT_TRUE(runs);
    // One light above the surface and one behind it; one that is not diffuse.
    const Reference<LightList> both = countingLights({2.0f, -2.0f}),
                               quietOne = countingLights({2.0f}, 1.0f);
    ShaderEnvironment env = litOrigin(both);
    env.I = Vector(0.0f, 0.0f, -1.0f);
    Tuple N(0.0f, 0.0f, 1.0f);
    *runs = 0;
    const Color first = SL::diffuse(env, N);
    EXPECT_EQ(SL::diffuse(env, N), first);
    EXPECT_EQ(runs->load(), 2u);           // each light once for both calls
    EXPECT_FLOAT_EQ(first.r, 1.0f);        // the light behind adds nothing
    EXPECT_EQ(env.lightCache.size(), 2u);  // but is cached

    // A light with "__nondiffuse" 1 adds nothing to diffuse and still adds to specular, before
    // a render has bound its arguments and after.
    for (int bound = 0; bound < 2; ++bound) {
        SCOPED_TRACE(bound);
        std::map<OIIO::ustring, Transform> spaces;
        if (bound) quietOne->lights[0]->rebindArguments(spaces);
        ShaderEnvironment quiet = litOrigin(quietOne);
        EXPECT_EQ(SL::diffuse(quiet, N), Color(0.0f));
        EXPECT_GT(SL::specular(quiet, N, N, 0.1f).r, 0.99f);
        quiet.clearLightCache();
    }

    // A shadow ray's shading and the offset passes gather nothing.
    RayDifferential shadowRay;
    shadowRay.type = RayDifferential::Transmission;
    ShaderEnvironment shadow = litOrigin(both);
    shadow.ray = &shadowRay;
    *runs = 0;
    EXPECT_EQ(SL::diffuse(shadow, N), Color(0.0f));
    EXPECT_EQ(runs->load(), 0u);
    env.derivPass = 1;
    EXPECT_EQ(SL::diffuse(env, N), Color(0.0f));
    env.clearLightCache();
}

TEST(Lighting, SpecularModels) {
    ShaderEnvironment env;  // no scene: the option's default model, "bmrt"
    Tuple N(0.0f, 0.0f, 1.0f);
    const float a = 0.3f;
    Tuple L(std::sin(a), 0.0f, std::cos(a)), V(-std::sin(a), 0.0f, std::cos(a));
    EXPECT_NEAR(SL::specularbrdf(env, L, N, V, 0.1f).r, 1.0f, 1e-5f);  // mirror: H = N
    Tuple V2(0.0f, 0.0f, 1.0f);
    const Tuple H = SL::normalize(L + V2);
    EXPECT_NEAR(SL::specularbrdf(env, L, N, V2, 0.5f).g, std::pow(H.z, 16.0f), 1e-5f);
}
