// Occlusion, indirect diffuse, transmission and traced rays in small worlds whose answers
// are known in closed form or by quadrature over the hemisphere.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "core/math/constants.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/trace.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;
using namespace strings;

namespace {

const Normal Up(0.0f, 1.0f, 0.0f), Ahead(0.0f, 0.0f, 1.0f);

// The mean over the hemisphere around +y (within `cone`) of value(direction), weighted by the
// cosine or uniformly, by midpoint quadrature.
float hemisphereMean(bool cosine, float cone, const std::function<float(const Vector&)>& value) {
    const int n = 400;
    double sum = 0.0, weights = 0.0;
    for (int i = 0; i < n; ++i) {
        const double theta = (i + 0.5) * cone / n;
        const double w = std::sin(theta) * (cosine ? std::cos(theta) : 1.0);
        for (int j = 0; j < n; ++j) {
            const double phi = (j + 0.5) * 2.0 * PiDouble / n;
            sum += w * value(Vector(float(std::sin(theta) * std::cos(phi)), float(std::cos(theta)),
                                    float(std::sin(theta) * std::sin(phi))));
            weights += w;
        }
    }
    return float(sum / weights);
}

// The distance along d from the origin to the ceiling y = 1 (infinite when d does not rise).
float toCeiling(const Vector& d) { return d.y > 0.0f ? 1.0f / d.y : Slab::Inf; }

// The floor through the origin facing +y, and a ceiling y = 1 facing down over x > x0.
World& floored(World& w) {
    w.add(new Slab(1, 0.0f, 1.0f));
    return w;
}
using Build = std::function<void(World&)>;
Build ceiling(float x0) {
    return [x0](World& w) { w.add(new Slab(1, 1.0f, -1.0f)).limit(0, x0, 1e30f); };
}
// A closed box of [-1, 1]^3, its walls glowing with `colour` under "constant" when given.
World& box(World& w, const Color* colour = nullptr) {
    for (int a = 0; a < 3; ++a)
        for (float s : {-1.0f, 1.0f}) {
            Slab& wall = w.add(new Slab(a, s, -s));
            if (colour) wall.glow(*colour);
        }
    return w;
}

}  // namespace

#define OCC2(...) [&](ShaderEnvironment& e) { return SL::occlusion2(e, origin, Up, __VA_ARGS__); }
#define OCC3(...) [&](ShaderEnvironment& e) { return SL::occlusion3(e, origin, Up, __VA_ARGS__); }

// Each case: the ceiling over the floor, the keyword list, and the expected occlusion.
TEST(Occlusion, MatchesTheHemisphereIntegral) {
    const Point origin(0.0f);
    const Build whole = ceiling(-1e30f), open = [](World&) {};
    const OIIO::ustring unknown("samples");  // occlusion takes its samples as an argument
    // Closed form for the half-ceiling x > x0 seen from the origin: (1 - x0/√(1+x0²))/2.
    auto halfCeiling = [](float x0) { return 0.5f * (1.0f - x0 / std::sqrt(1.0f + x0 * x0)); };
    // Beyond x0 along the ceiling, within the hemisphere.
    auto beyond = [](float x0) {
        return [x0](const Vector& d) { return d.y > 0 && d.x * toCeiling(d) > x0 ? 1.0f : 0.0f; };
    };
    // What, the ceiling over the floor, the keyword list, and the expected occlusion.
    const std::tuple<const char*, Build, std::function<float(ShaderEnvironment&)>, float, float>
        cases[] = {
            {"open sky", open, OCC2(0), 0.0f, 0.0f},
            {"closed box", [](World& w) { box(w); }, OCC2(0), 1.0f, 0.0f},
            {"wall through the point", [](World& w) { w.add(new Slab(0, 0.001f, -1.0f)); },
             OCC3(256.0f, 1, bias, 1e-5), 0.5f, 0.02f},
            {"half ceiling ahead", ceiling(0.5f), OCC3(1024.0f, 0), halfCeiling(0.5f), 0.015f},
            // A count below one (point-based shaders pass 0) traces the default 64, not 4.
            {"no count", ceiling(0.2f), OCC3(0.0f, 0), halfCeiling(0.2f), 0.04f},
            {"ceiling out of reach", whole, OCC2(1, maxhitdist, 0.5), 0.0f, 0.0f},
            {"negative maxhitdist reaches everything", whole, OCC2(1, maxhitdist, -1.0), 1.0f,
             0.0f},
            {"exponential falloff", whole, OCC3(1024.0f, 2, falloff, 0.7, falloffmode, 0),
             hemisphereMean(true, PiOver2,
                            [](const Vector& d) { return std::exp(-0.7f * toCeiling(d)); }),
             0.01f},
            {"power falloff", whole,
             OCC3(1024.0f, 3, falloff, 2.0, falloffmode, 1, maxhitdist, 3.0),
             hemisphereMean(true, PiOver2,
                            [](const Vector& d) {
                                const float x = std::max(0.0f, 1.0f - toCeiling(d) / 3.0f);
                                return x * x;
                            }),
             0.01f},
            {"uniform directions", ceiling(0.5f), OCC3(1024.0f, 1, distribution, strings::uniform),
             hemisphereMean(false, PiOver2, beyond(0.5f)), 0.015f},
            {"narrow cone", ceiling(0.2f), OCC3(1024.0f, 1, coneangle, 0.6),
             hemisphereMean(true, 0.6f, beyond(0.2f)), 0.015f},
            // An unknown keyword ends the list: the maxhitdist after it is not read and the
            // ceiling still blocks; so does an empty one. The keywords the table accepts and
            // ignores are skipped over.
            {"unknown keyword", whole, OCC2(2, unknown, 8.0, maxhitdist, 0.5), 1.0f, 0.0f},
            {"empty keyword", whole, OCC2(2, OIIO::ustring(), 0.0, maxhitdist, 0.5), 1.0f, 0.0f},
            {"accepted and ignored keywords", whole,
             OCC2(3, subset, shader, adaptative, 1.0, maxhitdist, 0.5), 0.0f, 0.0f},
        };
    for (const auto& [what, build, occlusion, expected, tolerance] : cases) {
        SCOPED_TRACE(what);
        World world;
        build(floored(world));
        auto scene = sceneOf(world);
        ShaderEnvironment env = pointOf(*scene, origin, Up);
        EXPECT_NEAR(occlusion(env), expected, tolerance);
    }

    // The open sky's direction is a unit vector; under a wall at +x it leans towards -x.
    World leaning;
    floored(leaning).add(new Slab(0, 0.5f, -1.0f));
    auto leaningScene = sceneOf(leaning);
    ShaderEnvironment env = pointOf(*leaningScene, origin, Up);
    Tuple direction(0.0f);
    SL::occlusion2(env, env.P, Up, 1, environmentdir, &direction);
    EXPECT_NEAR(direction.length(), 1.0f, 1e-5f);
    EXPECT_LT(direction.x, -0.2f);
}

// The gradients carry a record to a neighbouring point: for the half-ceiling the occlusion at
// x is (1 + x/√(1+x²))/2, so moving the point by dx changes it by about dx/2 near x = 0.
TEST(Occlusion, GradientsPredictTheNeighbours) {
    // A floor of finite size, so that the cache's largest radius does not shrink the gradients.
    World worlds[2];
    for (World& w : worlds) {
        w.add(new Slab(1, 0.0f, 1.0f)).limit(0, -50.0f, 50.0f).limit(2, -50.0f, 50.0f);
        w.add(new Slab(1, 1.0f, -1.0f)).limit(0, 0.0f, 50.0f).limit(2, -50.0f, 50.0f);
    }
    auto scene = sceneOf(worlds[0]);
    auto exact = [](float x) { return 0.5f * (1.0f + x / std::sqrt(1.0f + x * x)); };
    ShaderEnvironment env = pointOf(*scene, Point(0.0f), Up);
    const float here = SL::occlusion3(env, env.P, Up, 4096.0f, 0);
    EXPECT_NEAR(here, exact(0.0f), 0.01f);
    float there = 0.0f;
    for (float dx : {-0.08f, 0.08f}) {
        ASSERT_TRUE(
            scene->interpolateOcclusion(Point(dx, 0.0f, 0.0f), Up, 0.0f, 10.0f, 1, there, nullptr));
        EXPECT_NEAR(there - here, exact(dx) - exact(0.0f), 0.012f) << dx;
    }
    // Turning the normal 3 degrees towards +x shows it more of the ceiling; the rotational
    // gradient predicts what a gathering with the turned normal finds.
    const float a = radians(3.0f);
    const Normal leaning(std::sin(a), std::cos(a), 0.0f);
    ASSERT_TRUE(scene->interpolateOcclusion(Point(0.0f), leaning, 0.0f, 10.0f, 1, there, nullptr));
    auto scene2 = sceneOf(worlds[1]);
    ShaderEnvironment direct = pointOf(*scene2, Point(0.0f), leaning);
    const float gathered = SL::occlusion3(direct, direct.P, leaning, 4096.0f, 0);
    EXPECT_GT(gathered - here, 0.015f);  // the turn is large enough to matter
    EXPECT_NEAR(there, gathered, 0.012f);
}

// Transmission through sheets between z = 0 and a light at z = 10: each sheet of opacity 0.5
// (its own opacity, "ray:opaqueshadows" off) halves the light; a sheet hidden from shadow rays
// lets everything through. A shaded sheet lets through what its shaders leave in Oi: Os for
// "constant" (read without running it), 1 for "null", and what a fog layer adds.
TEST(Transmission, SheetsBetweenThePointAndTheLight) {
    // The sheets' opacities (one sheet per unit of height), whether they are hidden from shadow
    // rays, the transmission, and the surface and volume shaded for their opacity instead of
    // reading it.
    const std::tuple<const char*, std::vector<float>, bool, float, const char*, const char*>
        cases[] = {
            {"nothing", {}, false, 1.0f, nullptr, nullptr},
            {"one sheet", {0.5f}, false, 0.5f, nullptr, nullptr},
            {"two sheets", {0.5f, 0.5f}, false, 0.25f, nullptr, nullptr},
            {"an opaque sheet", {1.0f}, false, 0.0f, nullptr, nullptr},
            {"a sheet hidden from shadows", {0.5f}, true, 1.0f, nullptr, nullptr},
            {"a constant sheet", {0.5f, 0.5f}, false, 0.25f, "constant", nullptr},
            {"a null sheet", {0.5f}, false, 0.0f, "null", nullptr},
            // fog at the sheet, 1 away: Oi = mix(0.5, 1, 1 - 1/e)
            {"a constant sheet in fog", {0.5f}, false, 0.5f / float(M_E), "constant", "fog"},
        };
    for (const auto& [what, sheets, hidden, expected, surface, volume] : cases) {
        SCOPED_TRACE(what);
        World world;
        float z = 1.0f;
        for (float opacity : sheets) {
            Slab& s = world.add(new Slab(2, z++, -1.0f));
            s.attributes.shading->opacity = Color(opacity);
            s.attributes.shading->transparentShadows = !surface;
            s.attributes.shading->rayShadows = !hidden;
            if (surface) s.attributes.surface = groupOf({bound(surface)});
            if (volume) s.attributes.volume = groupOf({bound(volume)});
        }
        auto scene = sceneOf(world);
        ShaderEnvironment env = pointOf(*scene, Point(0.0f), Ahead);
        env.lightDistance = 10.0f;
        EXPECT_TRUE(near(SL::transmission(env, Point(0.0f), Point(0.0f, 0.0f, 10.0f), 0),
                         Color(expected), 1e-6f));
    }
}

// A ray through a half-opaque sheet meets the sheet behind it too: the colours add by what
// each lets through. The caller's ray ends at the first sheet and starts where it started.
TEST(TraceRay, SeesThroughAHalfOpaqueSheet) {
    World world;
    Slab& front = world.add(new Slab(2, 1.0f, -1.0f)).glow(Color(1.0f, 0.0f, 0.0f));
    front.attributes.shading->opacity = Color(0.5f);
    world.add(new Slab(2, 2.0f, -1.0f)).glow(Color(0.0f, 1.0f, 0.0f));
    auto scene = sceneOf(world);
    RayDifferential ray(Point(0.0f), Ahead, 0.25f, 1e30f);
    Color Ci, Oi;
    ASSERT_TRUE(SL::traceRay(*scene, ray, Ci, Oi));
    EXPECT_TRUE(near(Ci, Color(0.5f, 0.5f, 0.0f), 1e-6f));
    EXPECT_TRUE(near(Oi, Color(1.0f), 1e-6f));
    EXPECT_EQ(std::make_pair(ray.mint, ray.maxt), std::make_pair(0.25f, 1.0f));
}

// One ray for a cone of at most 0.01, as many as asked for a wider one; nothing at all for a
// zero direction, during a shadow ray, or in an offset pass.
TEST(Tracec, RaysTraced) {
    World world;
    world.add(new Slab(2, 5.0f, -1.0f));
    auto scene = sceneOf(world);
    Tuple P(0.0f), dir(0.0f, 0.0f, 1.0f), none(0.0f);
    const std::tuple<float, int, unsigned long> cases[] = {
        {0.005f, 8, 1}, {0.2f, 8, 8}, {0.2f, 1, 1}};
    for (const auto& [cone, count, rays] : cases) {
        ShaderEnvironment env = pointOf(*scene, Point(0.0f), Ahead);
        world.rays = 0;
        SL::tracec(env, P, dir, 2, samples, count, samplecone, double(cone));
        EXPECT_EQ(world.rays, rays) << cone << " " << count;
    }
    ShaderEnvironment env = pointOf(*scene, Point(0.0f), Ahead);
    world.rays = 0;
    SL::tracec(env, P, none, 0);
    RayDifferential shadow;
    shadow.type = RayDifferential::Transmission;
    env.ray = &shadow;
    SL::tracec(env, P, dir, 0);
    env.ray = nullptr;
    env.derivPass = 1;
    SL::tracec(env, P, dir, 0);
    EXPECT_EQ(world.rays, 0u);
}

// Indirect light in a closed box whose walls glow with one colour is that colour; under an
// open sky it is the background ("ray:maxdepthcolor"); at the diffuse depth limit it is black.
TEST(IndirectDiffuse, GlowingBoxOpenSkyAndDepthLimit) {
    World glowing, open;
    const Color colour(0.2f, 0.5f, 0.8f);
    auto scene = sceneOf(box(glowing, &colour));
    ShaderEnvironment env = pointOf(*scene, Point(0.0f, -0.99f, 0.0f), Up);
    EXPECT_TRUE(near(SL::indirectdiffuse2(env, env.P, Up, 0), colour, 1e-5f));

    RaySettings sky;
    sky.maxDepthColor = Color(0.3f, 0.6f, 0.9f);
    auto skyScene = sceneOf(floored(open), sky);
    ShaderEnvironment outside = pointOf(*skyScene, Point(0.0f), Up);
    EXPECT_NEAR(SL::indirectdiffuse3(outside, outside.P, Up, 16.0f, 0).g, 0.6f, 1e-5f);

    // A gathering ray's own hit gathers nothing more with the default depth of one bounce.
    RayDifferential gathering;
    gathering.type = RayDifferential::Gather;
    gathering.diffuseDepth = 1;
    ShaderEnvironment deep = pointOf(*scene, Point(0.5f, -0.99f, 0.0f), Up);
    deep.ray = &gathering;
    glowing.rays = 0;
    EXPECT_EQ(SL::indirectdiffuse2(deep, deep.P, Up, 0).g, 0.0f);
    EXPECT_EQ(glowing.rays, 0u);
    RaySettings twoBounces;
    twoBounces.maxDiffuseDepth = 2;
    auto deeper = sceneOf(glowing, twoBounces);
    deep.scene = deeper.get();
    EXPECT_NEAR(SL::indirectdiffuse2(deep, deep.P, Up, 0).g, 0.5f, 1e-5f);
}
