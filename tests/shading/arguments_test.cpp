// Shader arguments: how createShader binds them, getMessage on the prepared data block, and
// the message-passing queries that read them (other layers', the light's), attributes, options
// and rays.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "core/geometry/hit.h"
#include "core/params/error.h"
#include "core/shading/connections.h"
#include "core/shading/environment.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/queries.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

// An "args" shader bound with `params` under `spaces`, its data block initialised at (u, v).
struct Prepared {
    Prepared(ParameterSet params, std::map<OIIO::ustring, Transform> spaces = {}, float u = 0.0f,
             float v = 0.0f)
        : shader(makeShader("args", std::move(params), std::move(spaces))) {
        EXPECT_TRUE(shader);
        data = shader->createData();
        init(u, v);
    }
    ~Prepared() { shader->destroyData(data); }
    void init(float u = 0.0f, float v = 0.0f) {
        ShaderEnvironment env;
        env.u = u;
        env.v = v;
        shader->init(env, nullptr, data);
    }
    template <class T>
    T& at(const char* name) {
        const Shader::Argument* a = shader->find(OIIO::ustring(name));
        EXPECT_NE(a, nullptr) << name;
        return *reinterpret_cast<T*>(static_cast<char*>(data) + a->offset);
    }

    Reference<Shader> shader;
    void* data = nullptr;
};

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

TEST(Binding, ConstantScalarsArraysAndDefaults) {
    {
        Prepared p({});
        EXPECT_FLOAT_EQ(p.at<float>("f"), 0.25f);  // the default stays without a parameter
        EXPECT_TRUE(p.at<std::vector<float>>("fa").empty());
        EXPECT_EQ(p.shader->getArgumentConnections().size(), 0u);
    }
    // The int is a name match of another base type: it binds nothing.
    Prepared p(argsOf({{"f", 0.5f},
                       {"fa", ParamType(TypeFloat, 3), {1, 2, 3}},
                       {"c", Color(0.1f, 0.2f, 0.3f)},
                       {"s", "hello"},
                       {"m", TypeInt, {7}}}));
    EXPECT_EQ(p.shader->getArgumentConnections().size(), 4u);
    EXPECT_FLOAT_EQ(p.at<float>("f"), 0.5f);
    // The array object is resized to the binding's length.
    EXPECT_EQ(p.at<std::vector<float>>("fa"), std::vector<float>({1, 2, 3}));
    EXPECT_FLOAT_EQ(p.at<Color>("c").g, 0.2f);
    EXPECT_EQ(p.at<OIIO::ustring>("s"), OIIO::ustring("hello"));
    EXPECT_EQ(p.at<Matrix>("m"), Matrix::Identity);

    // getMessage gives an array's first element (the types: the queries below).
    float out = 0.0f;
    EXPECT_TRUE(p.shader->getMessage(OIIO::ustring("fa"), p.data, out));
    EXPECT_FLOAT_EQ(out, 1.0f);
}

TEST(Binding, LinearInterpolatesBilinearlyAndVertexBindsNothing) {
    ParameterSet params;
    // Corners at (0,0), (1,0), (0,1), (1,1).
    const float corners[4] = {0.0f, 1.0f, 2.0f, 4.0f};
    params.push_back(new Parameter("f", ParamType(TypeFloat, 1, InterpLinear), 4, corners, true));
    for (float u : {0.0f, 0.5f, 1.0f})
        for (float v : {0.0f, 0.25f, 1.0f}) {
            Prepared p(params, {}, u, v);
            const float expected =
                (1 - u) * (1 - v) * 0.0f + u * (1 - v) * 1.0f + (1 - u) * v * 2.0f + u * v * 4.0f;
            EXPECT_NEAR(p.at<float>("f"), expected, 1e-6f) << u << " " << v;
        }
    const ParamType vertex(TypeFloat, 1, InterpVertex);
    EXPECT_FLOAT_EQ(Prepared(argsOf({{"f", vertex, {9, 9, 9, 9}}})).at<float>("f"), 0.25f);
}

TEST(Binding, TuplesLeaveTheShaderSpace) {
    std::map<OIIO::ustring, Transform> spaces;
    spaces[OIIO::ustring("shader")] = Translate(10, 0, 0) * Scale(1, 2, 1);
    Prepared p(argsOf({{"p", Point(1, 2, 3)},
                       {"vv", TypeVector, {1, 2, 3}},
                       {"n", TypeNormal, {0, 1, 0}},
                       {"h", TypeHPoint, {5, 5, 5, 1}}}),
               spaces);
    EXPECT_EQ(p.at<Tuple>("p"), Tuple(11, 4, 3));
    EXPECT_EQ(p.at<Tuple>("vv"), Tuple(1, 4, 3));    // scaled, not translated
    EXPECT_EQ(p.at<Tuple>("n"), Tuple(0, 0.5f, 0));  // inverse transpose: y shrinks
    const Tuple& h = p.at<Tuple>("h");               // an hpoint binding keeps the default
    EXPECT_FLOAT_EQ(h.x, 0.0f);
    EXPECT_FLOAT_EQ(h.w, 1.0f);
    // The default of p is a shader-space value brought to current space by initialize.
    EXPECT_EQ(Prepared({}, spaces).at<Tuple>("p"), Tuple(11, 4, 3));

    // Rebinding takes the new "shader" space.
    spaces[OIIO::ustring("shader")] = Translate(0, 0, -3);
    p.shader->rebindArguments(spaces);
    p.init();
    EXPECT_EQ(p.at<Tuple>("p"), Tuple(1, 2, 0));
}

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
