// Shader, Light, LightSwitch, shader groups and ConnectShaders through the renderer.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <typeindex>
#include <typeinfo>

#include "api/api_test_util.h"
#include "core/shading/connections.h"
#include "core/shading/environment.h"
#include "core/shading/light.h"
#include "shading/shading_test_util.h"

using namespace ovo;
using ovo::testing::kError;
using ovo::testing::kSevere;
using ovo::testing::kWarning;

namespace {

// Every test starts in a world whose shader path finds the test-only shaders.
class Declarations : public ovo::testing::RaytracerTest {
  protected:
    Declarations() {
        const std::string path = ovotest::pluginDir(ovotest::Plugins::TestOnly) + ":&";
        renderer->Attribute("string path:shader", path.c_str());
        renderer->World();
        take();
    }
    Reference<ShaderGroup> surface() { return renderer->getAttributes().surface; }
};

}  // namespace

TEST_F(Declarations, ShaderCallsFillTheGroups) {
    const Reference<ShaderGroup> initial = surface();
    renderer->Shader(nullptr, "args", nullptr);
    expectReport(kError, "Shader: NULL shader type");
    renderer->Shader("paint", "args", nullptr);
    expectReport(kError, "Shader: Unknown shader type \"paint\"");
    renderer->Shader("light", "args", nullptr);
    expectReport(kError, "Shader: Unsupported shader type \"light\"");
    renderer->Shader("surface", "no-such-shader", nullptr);
    expectReport(kSevere, "Unable to find plugin \"no-such-shader\"");
    EXPECT_EQ(surface(), initial);

    renderer->Shader("surface", "args", nullptr);
    ASSERT_TRUE(surface());
    EXPECT_EQ(surface()->layers.size(), 1u);
    const Shader* first = surface()->layers[0].get();
    renderer->Shader("surface", "args", nullptr);  // a second call replaces the group
    ASSERT_EQ(surface()->layers.size(), 1u);
    EXPECT_NE(surface()->layers[0].get(), first);
    expectSilence();

    // The pending list is consumed even by a refused call.
    renderer->Parameter("float f", 0.75f);
    renderer->Shader("paint", "args", nullptr);
    take();
    EXPECT_TRUE(renderer->getPendingParameters().empty());

    renderer->ShaderGroupBegin();
    renderer->Shader("surface", "args", "one");
    renderer->Shader("displacement", "args", "two");
    expectReport(kError,
                 "Shader: Different shader types in shader group \"surface\" vs \"displacement\"");
    renderer->Shader("surface", "args", "three");
    renderer->ShaderGroupEnd();
    expectSilence();
    ASSERT_EQ(surface()->layers.size(), 2u);
    EXPECT_EQ(surface()->layers[0]->getHandle(), "one");
    EXPECT_EQ(surface()->layers[1]->getHandle(), "three");
    EXPECT_FALSE(renderer->getAttributes().displacement);
}

TEST_F(Declarations, LightsAndSwitches) {
    renderer->Light("l1", "counting", nullptr);
    expectSilence();
    ASSERT_EQ(renderer->getAttributes().lights->lights.size(), 1u);
    renderer->PushAttributes();
    for (int i = 0; i < 2; ++i) renderer->LightSwitch("l1", false);  // removed once
    expectSilence();
    EXPECT_TRUE(renderer->getAttributes().lights->lights.empty());
    renderer->LightSwitch("nothing", true);
    expectReport(kWarning, "Light \"nothing\" does not exist");
    for (int i = 0; i < 2; ++i) renderer->LightSwitch("l1", true);  // added once
    EXPECT_EQ(renderer->getAttributes().lights->lights.size(), 1u);
    renderer->LightSwitch("l1", false);
    renderer->PopAttributes();
    // The saved state kept its own list.
    EXPECT_EQ(renderer->getAttributes().lights->lights.size(), 1u);

    renderer->Light("l1", "counting", nullptr);
    expectReport(kWarning, "Light \"l1\" is already defined");
    EXPECT_EQ(renderer->getAttributes().lights->lights.size(), 2u);

    renderer->Attribute("int light:nsamples", 4);
    renderer->Parameter("string geometry", "lamp");
    renderer->Light("area", "counting", nullptr);
    expectSilence();
    const auto* area =
        dynamic_cast<const AreaLight*>(renderer->getAttributes().lights->lights.back().get());
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->getGeometryName(), OIIO::ustring("lamp"));
    EXPECT_EQ(area->numSamples(), 4u);

    renderer->Light("missing", "no-such-shader", nullptr);
    expectReport(kSevere, "Unable to find plugin \"no-such-shader\"");
    EXPECT_EQ(renderer->getAttributes().lights->lights.size(), 3u);
}

// The refusals word for word, then the connection each pair of types makes.
TEST_F(Declarations, ConnectShaders) {
    renderer->ConnectShaders("a", "f", "b", "f");
    expectReport(kError,
                 "ConnectShaders: invalid call outside ShaderGroup block\n\tNo connection made");
    renderer->ShaderGroupBegin();
    renderer->ConnectShaders("a", "f", "b", "f");
    renderer->ShaderGroupEnd();
    take();  // no group type yet: silent

    // A group of two "args" layers, "a" then "b", left open.
    renderer->ShaderGroupBegin();
    renderer->Shader("surface", "args", "a");
    renderer->Shader("surface", "args", "b");
    expectSilence();
    const char* const cases[][5] = {
        {"a", "nothing", "a", "nothing", "same source and destination layers"},
        {"x", "f", "b", "f", "\"x\" source layer does not exist"},
        {"a", "f", "y", "f", "\"y\" destination layer does not exist"},
        {"a", "f[1]", "b", "f", "\"f[1]\" is not a array"},
        {"a", "fa[1", "b", "f", "cannot parse \"fa[1\" source parameter"},
        {"a", "f", "b", "u[0]", "\"u[0]\" parameter is not a array"},
        {"a", "zz", "b", "f", "parameter \"zz\" not found in layer \"a\" (shader \"args\")"},
        {"a", "fa", "b", "f", "cannot connect array to non array"},
        {"a", "s", "b", "f", "types are not compatible"},
        {"a", "fa", "b", "sa", "array types are not compatible"},
        {"a", "m", "b", "c", "types are not compatible"},
    };
    for (const auto& c : cases) {
        renderer->ConnectShaders(c[0], c[1], c[2], c[3]);
        expectReport(kError, std::string("ConnectShaders: ") + c[4]);
    }
    EXPECT_TRUE(surface()->layers[1]->getLayerConnections().empty());

    // Ci and Oi stand for the layer's results; " opacity" is trimmed to its alias.
    const struct {
        const char* from;
        const char* to;
        std::type_index made;
        unsigned sourceGlobal = 0, destinationGlobal = 0;
        int index = -1;
    } made[] = {
        {"C", "C", typeid(Shader::TupleConnection), GlobalCi, GlobalCs},
        {" opacity", "opacity", typeid(Shader::TupleConnection), GlobalOi, GlobalOs},
        {"f", "c", typeid(Shader::FloatTupleConnection)},
        {"p", "f", typeid(Shader::FloatConnection)},
        {"p", "n", typeid(Shader::TupleConnection)},
        {"s", "s", typeid(Shader::StringConnection)},
        {"m", "m", typeid(Shader::MatrixConnection)},
        {"fa", "fo", typeid(Shader::ArrayConnection<float>)},
        {"sa", "sa", typeid(Shader::ArrayConnection<const char*>)},
        {"pa", "ca", typeid(Shader::ArrayConnection<Tuple>)},
        {"fa[2]", "f", typeid(Shader::FloatConnection), 0, 0, 2},
    };
    for (const auto& k : made) {
        SCOPED_TRACE(::testing::Message() << k.from << " -> " << k.to);
        renderer->ConnectShaders("a", k.from, "b", k.to);
        expectSilence();
        const auto& connections = surface()->layers[1]->getLayerConnections();
        ASSERT_FALSE(connections.empty());
        const Shader::ShaderConnectionInterface* c = connections.back();
        EXPECT_EQ(std::type_index(typeid(*c)), k.made);
        EXPECT_EQ(std::make_tuple(c->source.global, c->destination.global, c->source.index,
                                  c->source.layer),
                  std::make_tuple(k.sourceGlobal, k.destinationGlobal, k.index, 0));
    }
}

TEST_F(Declarations, LayerConnectionsOverrideBindings) {
    renderer->ShaderGroupBegin();
    renderer->Parameter("float f", 0.5f);
    const float points[6] = {1, 2, 3, 4, 5, 6};
    renderer->Parameter("point[2] pa", points);
    renderer->Shader("surface", "args", "a");
    const float grey[3] = {0.9f, 0.9f, 0.9f};
    renderer->Parameter("color c", grey);
    renderer->Shader("surface", "args", "b");
    renderer->ConnectShaders("a", "f", "b", "c");
    renderer->ConnectShaders("a", "pa", "b", "pa");
    renderer->ShaderGroupEnd();
    expectSilence();

    const ShaderGroup& g = *surface();
    ShaderEnvironment env;
    std::vector<void*> blocks = {g.layers[0]->createData(), g.layers[1]->createData()};
    for (int i : {0, 1}) g.layers[i]->init(env, blocks, nullptr, blocks[i]);
    Color c;
    ASSERT_TRUE(g.layers[1]->getMessage(OIIO::ustring("c"), blocks[1], c));
    EXPECT_EQ(c, Color(0.5f));  // the binding's 0.9 is overridden by the connection
    // Point arrays arrive element for element (caught: a copy starting one element late).
    const auto& pa = *reinterpret_cast<std::vector<Tuple>*>(
        static_cast<char*>(blocks[1]) + g.layers[1]->find(OIIO::ustring("pa"))->offset);
    EXPECT_EQ(pa, std::vector<Tuple>({Tuple(1, 2, 3), Tuple(4, 5, 6)}));

    // A source layer beyond the blocks given stops with the subscript error.
    std::vector<void*> none;
    EXPECT_THROW(g.layers[1]->init(env, none, nullptr, blocks[1]), std::out_of_range);
    for (int i : {0, 1}) g.layers[i]->destroyData(blocks[i]);
}
