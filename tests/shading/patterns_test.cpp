// The pattern shaders through Hit::shade on a plane where u = x and v = y: the checker's
// average over wide pixel footprints, bumpy's normal against finite differences of its height,
// and the layered example's pattern layer colouring a plastic layer.
#include <gtest/gtest.h>

#include <cmath>

#include "core/geometry/hit.h"
#include "core/shading/connections.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/noise.h"
#include "shading/shading_test_util.h"
#include "tests/common/test_util.h"

using namespace ovo;
using ovotest::makeShader;
using ovotest::near;

namespace ovotest {

// The plane z = 0 at (x, y), seen from above, its offset rays `step` further in x and y, lit by
// an ambient light of 1 only, shaded by `surface` and `displacement` (either may be empty).
Hit shadePlane(float x, float y, float step, std::vector<Shader*> surface,
               std::vector<Shader*> displacement = {}) {
    Hit hit;
    hit.t = 1.0f;
    hit.env.P = Point(x, y, 0.0f);
    hit.env.Ng = Normal(0, 0, 1);
    hit.env.u = x;
    hit.env.v = y;
    hit.env.dPdu = Vector(1, 0, 0);
    hit.env.dPdv = Vector(0, 1, 0);
    hit.attributes.surface = Reference<ShaderGroup>(new ShaderGroup());
    for (Shader* s : surface) hit.attributes.surface->layers.push_back(Reference<Shader>(s));
    hit.attributes.displacement = Reference<ShaderGroup>(new ShaderGroup());
    for (Shader* s : displacement)
        hit.attributes.displacement->layers.push_back(Reference<Shader>(s));
    hit.attributes.lights = Reference<LightList>(new LightList());
    hit.attributes.lights->lights.push_back(
        Reference<Light>(dynamic_cast<Light*>(makeShader("ambientlight"))));
    RayDifferential ray(Point(x, y, 1.0f), Vector(0, 0, -1));
    ray.hasDifferentials = true;
    ray.rx = Ray(ray.o, Vector(step, 0, -1));
    ray.ry = Ray(ray.o, Vector(0, step, -1));
    hit.shade(ray, nullptr);
    return hit;
}

// A surface shader with the floats `values` bound, lit by its ambient term alone.
Shader* unlit(const char* name, std::initializer_list<std::pair<const char*, float>> values) {
    ParameterSet p;
    const float zero = 0.0f;
    p.push_back("Kd", ParamType(TypeFloat), &zero, true);
    p.push_back("Ks", ParamType(TypeFloat), &zero, true);
    for (const auto& v : values) p.push_back(v.first, ParamType(TypeFloat), &v.second, true);
    return makeShader(name, p);
}

}  // namespace ovotest

using ovotest::shadePlane;
using ovotest::unlit;

TEST(Patterns, CheckerAveragesOverThePixelFootprint) {
    // A footprint of a hundredth inside a white square sees white; one four periods wide
    // sees the board's average, half black.
    for (float x : {0.1f, 0.3f, 0.7f}) {
        EXPECT_NEAR(shadePlane(x, 0.2f, 0.01f, {unlit("checker", {{"frequency", 1}})}).env.Ci.r,
                    x < 0.5f ? 1.0f : 0.0f, 1e-5f)
            << x;
        EXPECT_NEAR(shadePlane(x, 0.2f, 0.01f, {unlit("checker", {{"frequency", 400}})}).env.Ci.r,
                    0.5f, 1e-3f)
            << x;
    }
}

TEST(Patterns, BumpyTurnsTheNormalAndKeepsThePoint) {
    // bumpy lifts the plane by h = Km noise(frequency P): its normal is (-dh/dx, -dh/dy, 1)
    // over one pixel step, which the offset passes see.
    const float Km = 0.05f, frequency = 3.0f;
    ParameterSet p;
    p.push_back("Km", ParamType(TypeFloat), &Km, true);
    p.push_back("frequency", ParamType(TypeFloat), &frequency, true);
    auto h = [&](float x, float y) { return Km * SL::noise(frequency * x, frequency * y, 0.0f); };
    int tilted = 0;
    for (float x : {0.13f, 0.41f, -0.77f, 1.9f})
        for (float y : {0.29f, -0.6f}) {
            const Hit hit = shadePlane(x, y, 0.01f, {}, {makeShader("bumpy", p)});
            const Tuple expected = Tuple(-(h(x + 0.01f, y) - h(x, y)) / 0.01f,
                                         -(h(x, y + 0.01f) - h(x, y)) / 0.01f, 1.0f)
                                       .hat();
            EXPECT_TRUE(near(hit.env.N.hat(), expected, 1e-3f)) << x << " " << y;
            EXPECT_EQ(hit.env.P, Point(x, y, 0.0f));
            tilted += expected.z < 0.999f;
        }
    EXPECT_GT(tilted, 4);  // the bumps are there to be seen
}

TEST(Patterns, ThePatternLayerColoursThePlasticLayer) {
    // cells' "Ct" connected to plastic's Cs: under an ambient light of 1 the plastic shows
    // exactly the colour cells shows alone, tile and grout alike.
    Shader* cells = makeShader("cells");
    Shader* plastic = unlit("plastic", {});
    const Shader::ConnectionEnd source{ParamType(TypeColor), 0, -1, 0,
                                       cells->find(OIIO::ustring("Ct"))->offset};
    const Shader::ConnectionEnd destination{ParamType(TypeColor), GlobalCs, -1, 1, 0};
    plastic->addLayerConnection(new Shader::TupleConnection(source, destination));
    Reference<Shader> keepCells(cells), keepPlastic(plastic);
    for (float x : {0.01f, 0.06f, 0.3f, 0.9f}) {
        const Color layered = shadePlane(x, 0.06f, 0.001f, {cells, plastic}).env.Ci;
        const Color alone = shadePlane(x, 0.06f, 0.001f, {makeShader("cells")}).env.Ci;
        EXPECT_EQ(layered, alone) << x;
        EXPECT_NE(layered, Color(1.0f)) << x;  // not the plastic's own white
    }
}
