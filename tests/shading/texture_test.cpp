// Texture, environment, shadow and texture-information lookups on textures written here.
#include <OpenImageIO/texture.h>
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "core/shading/sl/strings.h"
#include "core/shading/sl/texture.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

const Color Red(1, 0, 0), Green(0, 1, 0), Blue(0, 0, 1), White(1, 1, 1), Black(0, 0, 0);

struct TextureSystemDeleter {
    void operator()(OIIO::TextureSystem* ts) const { OIIO::TextureSystem::destroy(ts); }
};

// A texture system configured as the renderer configures its own, in a scene of `world`, and
// the checker.
class TextureTest : public ::testing::Test {
  protected:
    TextureTest() : ts(OIIO::TextureSystem::create(false)), textures(ts.get()) {
        ts->attribute("latlong_up", "z");
        withSets({});
    }
    // The scene made again with geometry sets; the point's environment follows it.
    void withSets(GeometrySets sets) {
        scene = sceneOf(world, RaySettings(), std::move(sets), &textures);
        env = pointOf(*scene, Point(0.0f), Normal(0.0f, 0.0f, 1.0f));
    }

    ScratchDir dir;
    const OIIO::ustring file{writeChecker(dir)};
    std::unique_ptr<OIIO::TextureSystem, TextureSystemDeleter> ts;
    ovo::image::LazyTextureSystem textures;
    World world;
    std::unique_ptr<Scene> scene;
    ShaderEnvironment env;
};

}  // namespace

// Known colours at known (s, t), inside the texture and beyond its edges in every wrap mode.
TEST_F(TextureTest, CheckerInEveryWrapMode) {
    const std::tuple<float, float, const char*, Color> cases[] = {
        {0.25f, 0.25f, "default", Red},     {0.75f, 0.25f, "default", Green},
        {0.25f, 0.75f, "default", Blue},    {0.75f, 0.75f, "default", White},
        {1.25f, 0.25f, "black", Black},     {1.25f, 0.25f, "clamp", Green},
        {1.25f, 0.25f, "periodic", Red},    {1.25f, 0.25f, "mirror", Green},
        {1.25f, 0.25f, "default", Red},  // the file's own: periodic
        {-0.25f, 0.75f, "black", Black},    {-0.25f, 0.75f, "clamp", Blue},
        {-0.25f, 0.75f, "periodic", White}, {-0.25f, 0.75f, "mirror", Blue},
        {0.25f, 1.25f, "periodic", Red},    {0.25f, 1.25f, "mirror", Blue},
        {0.25f, -0.25f, "clamp", Red},      {0.75f, -0.25f, "black", Black},
    };
    for (const auto& [s, t, mode, expected] : cases) {
        SCOPED_TRACE(testing::Message() << s << " " << t << " " << mode);
        const OIIO::ustring wrap(mode);
        EXPECT_TRUE(near(SL::texture2c(env, file, 0, s, t, 1, strings::wrap, wrap), expected));
        // The same through the environment's s and t, one wrap keyword for each direction.
        env.s = s;
        env.t = t;
        EXPECT_TRUE(near(SL::texturec(env, file, 0, 2, strings::swrap, wrap, strings::twrap, wrap),
                         expected));
        EXPECT_NEAR(SL::texture2f(env, file, 1, s, t, 1, strings::wrap, wrap), expected.g, 1e-3f);
    }
}

// The keywords: fill for channels the file does not have, blur, and where parsing stops.
TEST_F(TextureTest, Keywords) {
    const OIIO::ustring unknown("samples"), bogus("sideways");
    env.s = env.t = 0.25f;
    EXPECT_NEAR(SL::texturef(env, file, 5, 0), 0.0f, 1e-6f);
    EXPECT_NEAR(SL::texturef(env, file, 5, 1, strings::fill, 0.25), 0.25f, 1e-6f);
    // An unknown keyword ends the list: the fill after it is not read.
    EXPECT_NEAR(SL::texturef(env, file, 5, 2, unknown, 4.0, strings::fill, 0.25), 0.0f, 1e-6f);
    // An unknown wrap name leaves the modes alone and the list goes on.
    EXPECT_NEAR(
        SL::texture2f(env, file, 5, 1.25f, 0.25f, 2, strings::wrap, bogus, strings::fill, 0.5),
        0.5f, 1e-6f);
    EXPECT_TRUE(near(SL::texture2c(env, file, 0, 1.25f, 0.25f, 2, strings::wrap, bogus,
                                   strings::filter, strings::black),
                     Red));
    // Blur mixes in the neighbouring quadrants; a blur keyword after "samples" is never read.
    const Color blurred = SL::texture2c(env, file, 0, 0.25f, 0.25f, 1, strings::blur, 0.5);
    EXPECT_LT(blurred.r, 0.9f);
    EXPECT_GT(blurred.g + blurred.b, 0.1f);
    EXPECT_TRUE(
        near(SL::texture2c(env, file, 0, 0.25f, 0.25f, 2, unknown, 1.0, strings::blur, 0.5), Red));
}

// texture8 looks up the quadrilateral's centre with its x and y steps as derivatives: the same
// answer as the texture system given those numbers, and a filtered one, unlike a point lookup.
TEST_F(TextureTest, QuadrilateralCentreAndDerivatives) {
    struct Case {
        float corners[8];
        float s, t, d[4];
    } cases[] = {
        // Binary fractions, so that the centre and steps come out exact.
        {{0, 0, 1, 0, 0, 1, 1, 1}, 0.5f, 0.5f, {1, 0, 0, 1}},
        {{0.25f, 0.25f, 0.375f, 0.3125f, 0.1875f, 0.375f, 0.3125f, 0.4375f},
         0.28125f,
         0.34375f,
         {0.125f, 0.0625f, -0.0625f, 0.125f}},
    };
    for (const Case& c : cases) {
        const float* k = c.corners;
        const Color got =
            SL::texture8c(env, file, 0, k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], 0);
        OIIO::TextureOpt opt;
        float expected[3];
        ASSERT_TRUE(ts->texture(file, opt, c.s, c.t, c.d[0], c.d[1], c.d[2], c.d[3], 3, expected));
        EXPECT_TRUE(near(got, Color(expected), 1e-5f));
        EXPECT_NEAR(SL::texture8f(env, file, 2, k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], 0),
                    expected[2], 1e-5f);
    }
    // A pixel as wide as the texture around the red quadrant's centre sees every colour.
    EXPECT_TRUE(near(
        SL::texture8c(env, file, 0, -0.25f, -0.25f, 0.75f, -0.25f, -0.25f, 0.75f, 0.75f, 0.75f, 0),
        Color(0.5f), 0.1f));
    EXPECT_TRUE(near(SL::texture2c(env, file, 0, 0.25f, 0.25f, 0), Red));
}

TEST_F(TextureTest, TextureInfo) {
    float out = -1.0f;
    EXPECT_EQ(SL::textureinfo(env, file, strings::channels, out), 1.0f);
    EXPECT_EQ(out, 3.0f);
    out = -1.0f;
    EXPECT_EQ(SL::textureinfo(env, file, strings::resolution, out), 0.0f);
    EXPECT_EQ(SL::textureinfo(env, OIIO::ustring(dir / "missing.tx"), strings::channels, out),
              0.0f);
    EXPECT_EQ(out, -1.0f);
    std::vector<float> many;
    EXPECT_EQ(SL::textureinfo(env, file, strings::channels, many), 0.0f);
    EXPECT_TRUE(many.empty());
    // A missing texture reads as black.
    EXPECT_TRUE(
        near(SL::texture2c(env, OIIO::ustring(dir / "missing.tx"), 0, 0.5f, 0.5f, 0), Black));
}

// An environment map along R; black for a zero R; traced for "raytrace" or a geometry set,
// the set limiting what the rays can hit, and black when Kr is 0.
TEST_F(TextureTest, Environments) {
    const OIIO::ustring sky(writeSky(dir, Color(0.2f, 0.4f, 0.9f), Color(0.3f, 0.2f, 0.1f)));
    Tuple up(0.0f, 0.0f, 1.0f), down(0.3f, 0.0f, -1.0f), zero(0.0f);
    EXPECT_TRUE(near(SL::environmentc(env, sky, 0, up, 0), Color(0.2f, 0.4f, 0.9f), 0.02f));
    EXPECT_TRUE(near(SL::environmentc(env, sky, 0, down, 1, strings::samples, 4.0),
                     Color(0.3f, 0.2f, 0.1f), 0.02f));
    EXPECT_TRUE(near(SL::environmentc(env, sky, 0, zero, 0), Black));

    // Two glowing walls above: a near red one, a far green one behind it.
    world.add(new Slab(2, 2.0f, -1.0f)).glow(Red);
    const Slab& farWall = world.add(new Slab(2, 4.0f, -1.0f)).glow(Green);
    GeometrySets sets;
    sets[OIIO::ustring("far")].add(&farWall);
    withSets(sets);
    EXPECT_TRUE(near(SL::environmentc(env, strings::raytrace, 0, up, 0), Red));
    EXPECT_TRUE(near(SL::environmentc(env, OIIO::ustring("far"), 0, up, 0), Green));
    world.rays = 0;
    EXPECT_TRUE(near(SL::environmentc(env, strings::raytrace, 0, up, 1, strings::Kr, 0.0), Black));
    EXPECT_EQ(world.rays, 0u);
    RayDifferential gathering;
    gathering.type = RayDifferential::Gather;
    env.ray = &gathering;
    EXPECT_TRUE(near(SL::environmentc(env, strings::raytrace, 0, up, 0), Black));
    EXPECT_EQ(world.rays, 0u);
}

// A light 10 units above the point behind a sheet that lets only green and blue through: the
// shadow is red, 0.299 as a float; only members of a named geometry set cast it.
TEST_F(TextureTest, TracedShadows) {
    Slab& sheet = world.add(new Slab(2, 5.0f, -1.0f));
    sheet.attributes.shading->opacity = Red;
    sheet.attributes.shading->transparentShadows = true;
    GeometrySets sets;
    sets[OIIO::ustring("sheets")].add(&sheet);
    sets[OIIO::ustring("others")];  // a set the sheet is not in
    withSets(sets);
    // The light's own environment: Ps the point lit, L from the light towards it.
    ShaderEnvironment light = pointOf(*scene, Point(0.0f, 0.0f, 10.0f), Normal(0, 0, 1));
    light.Ps = Point(0.0f);
    light.L = Vector(0.0f, 0.0f, -10.0f);
    light.lightDistance = 10.0f;
    Tuple P = light.Ps;
    for (const char* name : {"raytrace", "sheets", "others", "light.shad", ""})
        EXPECT_NEAR(SL::shadowf(light, OIIO::ustring(name), 0, P, 0),
                    name[0] == 'o' || !name[0] ? 0.0f : 0.299f, 1e-6f)
            << name;
    EXPECT_TRUE(near(SL::shadowc(light, strings::raytrace, 0, P, 0), Red, 1e-6f));
    // A light nearer than the sheet is not shadowed by it.
    light.lightDistance = 4.0f;
    EXPECT_NEAR(SL::shadowf(light, strings::raytrace, 0, P, 0), 0.0f, 1e-6f);
    // Soft shadows: several rays in a cone, all through the sheet.
    light.lightDistance = 10.0f;
    EXPECT_NEAR(
        SL::shadowf(light, strings::raytrace, 0, P, 2, strings::samples, 8.0, strings::blur, 0.1),
        0.299f, 1e-5f);
    // During a shadow ray's shading, or in an offset pass, nothing is traced.
    light.derivPass = 2;
    EXPECT_EQ(SL::shadowf(light, strings::raytrace, 0, P, 0), 0.0f);
}
