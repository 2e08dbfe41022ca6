// The message-passing queries: other layers' arguments (last layer first, by type), the
// current light's, attributes, options and the ray; and through Hit::shade, a volume layer
// reading the displacement, surface and volume layers and the lights of its hit.
#include <gtest/gtest.h>

#include "core/geometry/hit.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/queries.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using ovotest::makeShader;

namespace ovotest {

Reference<Shader> withFloat(const char* shader, const char* name, float value) {
    ParameterSet p;
    p.push_back(name, ParamType(TypeFloat), &value, true);
    return Reference<Shader>(makeShader(shader, p));
}

}  // namespace ovotest

using ovotest::withFloat;

TEST(Queries, LayersLightsAttributesAndRays) {
    // args: f 0.25, c (1 1 1), p (1 2 3), h an hpoint, fa an empty float array, ca two blacks.
    Reference<ShaderGroup> group(new ShaderGroup());
    group->layers = {withFloat("plastic", "Kd", 0.3f), Reference<Shader>(makeShader("args")),
                     withFloat("plastic", "Kd", 0.9f), withFloat("counting", "intensity", 2.0f)};
    ShaderEnvironment env;
    env.surface = group;
    for (const Reference<Shader>& s : group->layers) {
        env.surfaceData.push_back(s->createData());
        s->init(env, nullptr, env.surfaceData.back());
    }
    const std::vector<void*> blocks = env.surfaceData;
    env.surfaceData.pop_back();  // the light's block stays out of the group
    float f = -7.0f;
    Color c(-7.0f);
    Tuple t(-7.0f);
    auto found = [&](const char* name, auto& value) {
        OIIO::ustring n(name);
        return SL::surface(env, n, value);
    };
    EXPECT_EQ(found("Kd", f), 1.0f);  // the last layer first
    EXPECT_EQ(f, 0.9f);
    EXPECT_EQ(found("c", c) + found("ca", c) + found("p", t), 3.0f);  // an array's first element
    EXPECT_EQ(t, Tuple(1, 2, 3));
    f = -7.0f;
    // Wrong types (hpoints are not points), empty arrays and unknown names find nothing.
    EXPECT_EQ(found("c", f) + found("Kd", c) + found("h", t) + found("fa", f) + found("x", f),
              0.0f);
    EXPECT_EQ(f, -7.0f);
    env.surfaceData.pop_back();  // only layers with a data block answer
    EXPECT_EQ(found("Kd", f), 1.0f);
    EXPECT_EQ(f, 0.3f);
    OIIO::ustring kd("Kd");
    EXPECT_EQ(SL::displacement(env, kd, f) + SL::volume(env, kd, f), 0.0f);

    // lightsource: only with a current light.
    OIIO::ustring intensity("intensity");
    EXPECT_EQ(SL::lightsource(env, intensity, f), 0.0f);
    env.currentLight = dynamic_cast<const Light*>(group->layers[3].get());
    env.currentLightData = blocks[3];
    EXPECT_EQ(SL::lightsource(env, intensity, f), 1.0f);
    EXPECT_EQ(f, 2.0f);
    env.currentLight = nullptr;

    // "Sides" is 2 whatever the primitive says; nothing else and no option answers.
    OIIO::ustring sides("Sides"), s("untouched");
    EXPECT_EQ(SL::attribute(env, sides, f), 1.0f);
    EXPECT_EQ(f, 2.0f);
    EXPECT_EQ(SL::attribute(env, kd, f) + SL::attribute(env, sides, s) + SL::option(env, sides, f) +
                  SL::option(env, sides, t),
              0.0f);

    // Every ray type the tracer makes has a name; an unknown one answers and writes nothing.
    OIIO::ustring type("type"), depth("depth"), diffusedepth("diffusedepth"), origin("origin");
    EXPECT_EQ(SL::rayinfo(env, type, s), 0.0f);  // no ray
    RayDifferential ray(Point(1, 2, 3), Vector(0, 0, 1));
    ray.depth = 2;
    ray.diffuseDepth = 1;
    env.ray = &ray;
    const char* names[] = {"camera", "specular", "transmission", "diffuse", "diffuse"};
    for (int k : {0, 1, 2, 3, 9}) {
        ray.type = k;
        EXPECT_EQ(SL::rayinfo(env, type, s), 1.0f) << k;
        EXPECT_EQ(s, OIIO::ustring(names[std::min(k, 4)])) << k;
    }
    EXPECT_EQ(SL::rayinfo(env, depth, f) + SL::rayinfo(env, diffusedepth, c.r) +
                  SL::rayinfo(env, origin, t),
              3.0f);
    EXPECT_EQ(Tuple(f, c.r, 0.0f), Tuple(2, 1, 0));
    EXPECT_EQ(t, Tuple(1, 2, 3));
    EXPECT_EQ(SL::rayinfo(env, origin, f) + SL::rayinfo(env, kd, t), 0.0f);
    for (size_t i = 0; i < blocks.size(); ++i) group->layers[i]->destroyData(blocks[i]);
}

TEST(Queries, AVolumeLayerReadsTheOtherGroupsAndTheLightsOfItsHit) {
    Hit hit;
    hit.t = 1.0f;
    hit.env.Ng = Normal(0, 0, 1);
    hit.env.dPdu = Vector(1, 0, 0);
    hit.env.dPdv = Vector(0, 1, 0);
    auto group = [](std::initializer_list<Reference<Shader>> layers) {
        Reference<ShaderGroup> g(new ShaderGroup());
        g->layers = layers;
        return g;
    };
    hit.attributes.displacement = group({withFloat("bumpy", "Km", 0.125f)});
    hit.attributes.surface = group({withFloat("plastic", "Kd", 0.75f)});
    hit.attributes.volume =
        group({withFloat("args", "f", 0.5f), Reference<Shader>(makeShader("peek"))});
    ParameterSet p;
    const float from[3] = {0, 0, 2}, intensity = 3.0f;
    p.push_back("from", ParamType(TypePoint), from, true);
    p.push_back("intensity", ParamType(TypeFloat), &intensity, true);
    hit.attributes.lights = Reference<LightList>(new LightList());
    hit.attributes.lights->lights.push_back(
        Reference<Light>(dynamic_cast<Light*>(makeShader("counting", p))));
    hit.shade(RayDifferential(Point(0, 0, 5), Vector(0, 0, -1)), nullptr);
    EXPECT_EQ(hit.env.Ci, Color(0.125f, 0.75f, 0.5f));  // Km, Kd, f
    EXPECT_EQ(hit.env.Oi, Color(3.0f, 3.0f, 2.0f));     // found, intensity, from.z
}
