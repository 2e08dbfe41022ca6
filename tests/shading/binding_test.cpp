// Parameter bindings of createShader: constant and linear values, arrays, coordinate systems,
// and the classes that bind nothing; getMessage on the prepared data block.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/shading/connections.h"
#include "core/shading/environment.h"
#include "core/params/error.h"
#include "core/shading/shader.h"
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

    // getMessage gives an array's first element (the types, through the queries of
    // queries_test.cpp).
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
