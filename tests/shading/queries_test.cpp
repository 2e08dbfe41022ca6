// The message-passing queries: other layers' arguments (last layer first, by type), the
// current light's, attributes, options and the ray; and through Hit::shade, a volume layer
// reading the displacement, surface and volume layers and the lights of its hit.
#include <gtest/gtest.h>

#include <tuple>

#include "core/geometry/hit.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/queries.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

enum Kind { Float, Colour, Point3 };
using Answer = std::pair<float, Tuple>;

// query(env, name, value) for a float, colour or point value: what it returns and what it wrote
// (-7 where nothing was written).
template <class Query>
Answer ask(Query query, ShaderEnvironment& env, const char* name, Kind kind) {
    OIIO::ustring n(name);
    float f = -7.0f;
    Color c(-7.0f);
    Tuple t(-7.0f);
    const float found = kind == Float    ? query(env, n, f)
                        : kind == Colour ? query(env, n, c)
                                         : query(env, n, t);
    return {found, kind == Float    ? Tuple(f, -7.0f, -7.0f)
                   : kind == Colour ? Tuple(c.r, c.g, c.b)
                                    : t};
}

}  // namespace

#define OVO_QUERY(fn) \
    [](ShaderEnvironment& e, OIIO::ustring& n, auto& v) { return SL::fn(e, n, v); }

TEST(Queries, LayerArgumentsByNameAndType) {
    // args: f 0.25, c (1 1 1), p (1 2 3), n (0 0 1), h an hpoint, m a matrix, fa an empty float
    // array, ca two blacks; the other layers' Kd.
    Reference<ShaderGroup> group = groupOf(
        {bound("plastic", {{"Kd", 0.3f}}), bound("args"), bound("plastic", {{"Kd", 0.9f}})});
    ShaderEnvironment env;
    env.surface = env.volume = group;
    for (const Reference<Shader>& s : group->layers) {
        env.surfaceData.push_back(s->createData());
        s->init(env, nullptr, env.surfaceData.back());
    }
    env.volumeData = {env.surfaceData[0], env.surfaceData[1]};  // the last layer has no block
    const Answer none(0.0f, Tuple(-7.0f));
    // The name, its kind, and what surface() and volume() answer.
    const std::tuple<const char*, Kind, Answer, Answer> cases[] = {
        {"Kd", Float, {1, Tuple(0.9f, -7, -7)}, {1, Tuple(0.3f, -7, -7)}},  // the last layer first
        {"f", Float, {1, Tuple(0.25f, -7, -7)}, {1, Tuple(0.25f, -7, -7)}},
        {"c", Colour, {1, Tuple(1, 1, 1)}, {1, Tuple(1, 1, 1)}},
        {"ca", Colour, {1, Tuple(0, 0, 0)}, {1, Tuple(0, 0, 0)}},  // an array's first element
        {"p", Point3, {1, Tuple(1, 2, 3)}, {1, Tuple(1, 2, 3)}},
        {"n", Point3, {1, Tuple(0, 0, 1)}, {1, Tuple(0, 0, 1)}},
        // Wrong types (hpoints are not points), empty arrays and unknown names find nothing.
        {"c", Float, none, none},
        {"Kd", Colour, none, none},
        {"h", Point3, none, none},
        {"m", Point3, none, none},
        {"fa", Float, none, none},
        {"x", Float, none, none},
    };
    for (const auto& [name, kind, surface, volume] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ask(OVO_QUERY(surface), env, name, kind), surface);
        EXPECT_EQ(ask(OVO_QUERY(volume), env, name, kind), volume);
        EXPECT_EQ(ask(OVO_QUERY(displacement), env, name, kind), none);
    }
    for (size_t i = 0; i < group->layers.size(); ++i)
        group->layers[i]->destroyData(env.surfaceData[i]);
}

TEST(Queries, LightsAttributesOptionsAndRays) {
    // lightsource answers only with a current light.
    const Reference<Shader> light = bound("counting", {{"intensity", 2.0f}});
    void* block = light->createData();
    ShaderEnvironment env;
    light->init(env, nullptr, block);
    EXPECT_EQ(ask(OVO_QUERY(lightsource), env, "intensity", Float).first, 0.0f);
    env.currentLight = dynamic_cast<const Light*>(light.get());
    env.currentLightData = block;
    EXPECT_EQ(ask(OVO_QUERY(lightsource), env, "intensity", Float), Answer(1, Tuple(2, -7, -7)));
    EXPECT_EQ(ask(OVO_QUERY(lightsource), env, "from", Point3), Answer(1, Tuple(0.0f)));
    EXPECT_EQ(ask(OVO_QUERY(lightsource), env, "intensity", Colour).first, 0.0f);
    light->destroyData(block);

    // "Sides" is 2 whatever the primitive says; nothing else and no option answers.
    OIIO::ustring sides("Sides"), kd("Kd"), s("untouched");
    float f = -7.0f;
    EXPECT_EQ(SL::attribute(env, sides, f), 1.0f);
    EXPECT_EQ(f, 2.0f);
    EXPECT_EQ(SL::attribute(env, sides, s) + SL::attribute(env, kd, f) + SL::option(env, sides, f) +
                  SL::option(env, sides, s),
              0.0f);

    // Every ray type the tracer makes has a name; an unknown type answers and writes nothing.
    OIIO::ustring type("type"), depth("depth"), diffusedepth("diffusedepth"), origin("origin"),
        direction("direction");
    EXPECT_EQ(SL::rayinfo(env, type, s) + SL::rayinfo(env, depth, f), 0.0f);  // no ray
    RayDifferential ray(Point(1, 2, 3), Vector(0, 0, 1));
    ray.depth = 2;
    ray.diffuseDepth = 1;
    env.ray = &ray;
    const std::pair<int, const char*> types[] = {
        {0, "camera"},  {1, "specular"}, {2, "transmission"},
        {3, "diffuse"}, {9, "diffuse"},  {-1, "diffuse"}};  // the last two: unchanged
    for (const auto& [number, name] : types) {
        ray.type = number;
        EXPECT_EQ(SL::rayinfo(env, type, s), 1.0f) << number;
        EXPECT_EQ(s, OIIO::ustring(name)) << number;
    }
    Tuple o, d;
    float dd;
    EXPECT_EQ(SL::rayinfo(env, depth, f) + SL::rayinfo(env, diffusedepth, dd) +
                  SL::rayinfo(env, origin, o) + SL::rayinfo(env, direction, d),
              4.0f);
    EXPECT_EQ(Tuple(f, dd, 0.0f), Tuple(2, 1, 0));
    EXPECT_EQ(o, Tuple(1, 2, 3));
    EXPECT_EQ(d, Tuple(0, 0, 1));
    // A name of the wrong kind: nothing.
    EXPECT_EQ(SL::rayinfo(env, origin, f) + SL::rayinfo(env, depth, o) + SL::rayinfo(env, depth, s),
              0.0f);
}

TEST(Queries, AVolumeLayerReadsTheOtherGroupsAndTheLightsOfItsHit) {
    Hit hit = planeHit(Point(0.0f));
    hit.attributes.displacement = keep(groupOf({bound("bumpy", {{"Km", 0.125f}})}));
    hit.attributes.surface = keep(groupOf({bound("plastic", {{"Kd", 0.75f}})}));
    hit.attributes.volume = keep(groupOf({bound("args", {{"f", 0.5f}}), bound("peek")}));
    hit.attributes.lights = keep(Reference<LightList>(new LightList()));
    hit.attributes.lights->lights.push_back(
        lightOf("counting", {{"from", Point(0, 0, 2)}, {"intensity", 3.0f}}));
    hit.shade(RayDifferential(Point(0, 0, 5), Vector(0, 0, -1)), nullptr);
    EXPECT_EQ(hit.env.Ci, Color(0.125f, 0.75f, 0.5f));  // Km, Kd, f
    EXPECT_EQ(hit.env.Oi, Color(3.0f, 3.0f, 2.0f));     // found, intensity, from.z
}
