// Creating renderers, the block stack and what World() and Render() do to the state.
#include "tests/api/api_test_util.h"

using namespace ovo;

namespace ovotest {
namespace {

TEST(CreateRenderer, NamesAndDefaultManager) {
    RendererAPI* unnamed = RendererAPI::CreateRenderer(nullptr, nullptr);
    RendererAPI* named = RendererAPI::CreateRenderer("raytracer", nullptr);
    ASSERT_TRUE(unnamed && named);
    // Each gets a working manager of its own at verbosity 1 on the default handler.
    ASSERT_NE(unnamed->GetErrorManager(), nullptr);
    EXPECT_NE(unnamed->GetErrorManager(), named->GetErrorManager());
    EXPECT_EQ(unnamed->GetErrorManager()->Verbosity(), 1);
    delete unnamed;
    delete named;
    for (const char* name : {"Raytracer", "", "raytracer2"})
        EXPECT_EQ(RendererAPI::CreateRenderer(name, nullptr), nullptr) << name;
}

TEST(RendererInterface, BaseSphereForwardsToTheFullForm) {
    struct SphereOnly : RendererAPI {
        using RendererAPI::Sphere;
        void Sphere(float r, float zmin, float zmax, float thetamax) override {
            got = {r, zmin, zmax, thetamax};
        }
        ErrorManager* GetErrorManager() override { return nullptr; }
        std::vector<float> got;
    } host;
    RendererAPI& api = host;
    api.Sphere(1.0f);
    EXPECT_EQ(host.got, (std::vector<float>{1.0f, -1.0f, 1.0f, 360.0f}));
    // Every other operation of the base does nothing and reads nothing back.
    float value = 5.0f;
    EXPECT_FALSE(api.GetAttribute("float fov", value));
    EXPECT_FLOAT_EQ(value, 5.0f);
}

TEST_F(RaytracerTest, MismatchedClosingCallsNameTheInnermostBlock) {
    // Each block opens a node under the current one; closing it restores node and stacks,
    // and popped nodes stay in the tree (their primitives are built later).
    TransformNode* root = renderer->getCurrentNode();
    renderer->PushAttributes();
    TransformNode* attributeNode = renderer->getCurrentNode();
    EXPECT_EQ(attributeNode->parent, root);
    renderer->PushTransform();
    EXPECT_EQ(renderer->getCurrentNode()->parent, attributeNode);
    renderer->PopTransform();
    EXPECT_EQ(renderer->getCurrentNode(), attributeNode);
    renderer->PopAttributes();
    EXPECT_EQ(renderer->getAttributesDepth(), 1u);
    EXPECT_EQ(renderer->getCurrentNode(), root);
    EXPECT_EQ(root->children.size(), 1u);

    // Every closing call of another kind is refused with the same words and closes nothing.
    using Call = void (RendererAPI::*)();
    const Call closers[] = {&RendererAPI::PopAttributes, &RendererAPI::PopTransform,
                            &RendererAPI::ShaderGroupEnd, &RendererAPI::SolidEnd,
                            &RendererAPI::ObjectEnd};
    const struct {
        Call open, close;
        const char* refusal;
    } blocks[] = {
        {nullptr, nullptr, "not started() call without a corresponding not started()."},
        {&RendererAPI::PushAttributes, &RendererAPI::PopAttributes,
         "PushAttribute() call without a corresponding PopAttribute()."},
        {&RendererAPI::PushTransform, &RendererAPI::PopTransform,
         "PushTransform() call without a corresponding PopTransform()."},
        {&RendererAPI::ShaderGroupBegin, &RendererAPI::ShaderGroupEnd,
         "ShaderGroupBegin() call without a corresponding ShaderGroupEnd()."},
    };
    for (const auto& block : blocks) {
        SCOPED_TRACE(block.refusal);
        if (block.open) (renderer->*block.open)();
        for (Call close : closers) {
            if (close == block.close) continue;
            (renderer->*close)();
            expectReport(Severe, block.refusal);
        }
        renderer->Render(nullptr);
        expectReport(Severe, block.refusal);
        EXPECT_EQ(renderer->getBlockDepth(), block.open ? 2u : 1u);
        if (block.open) (renderer->*block.close)();
        expectSilence();
        EXPECT_EQ(renderer->getBlockDepth(), 1u);
    }
}

TEST_F(RaytracerTest, PrimitivesAreOnlyAcceptedInsideTheWorld) {
    EXPECT_FALSE(renderer->checkInWorld("sphere"));
    expectReport(Severe, "sphere primitive call is invalid before call to World(). Ignoring ...");
    // An attribute block opened before World() is inner enough.
    renderer->PushAttributes();
    EXPECT_TRUE(renderer->checkInWorld("sphere"));
    renderer->PopAttributes();
    enterWorld();
    EXPECT_TRUE(renderer->checkInWorld("disk"));
    expectSilence();
}

TEST_F(RaytracerTest, WorldPushesStateAndRenderRestoresIt) {
    renderer->Translate(0.0f, 0.0f, 5.0f);  // places the default camera
    renderer->Attribute("int twosided", 0);
    renderer->Attribute("string accelerator", "pair");
    renderer->Attribute("float fov", 60.0f);
    renderer->Parameter("float radius", 2.0f);
    TransformNode* before = renderer->getCurrentNode();
    for (int frame = 0; frame < 2; ++frame) {
        renderer->World();
        // The default output is announced once; it stays for the next frame.
        if (frame == 0)
            expectReport(Warning, "No Output() call -- saving rgba from \"camera\" to \"ovo.png\"");
        expectSilence();
        EXPECT_TRUE(renderer->getPendingParameters().empty());
        EXPECT_FALSE(renderer->getAttributes().twoSided);  // a copy of the outer record
        TransformNode* world = renderer->getWorldNode();
        ASSERT_EQ(world, renderer->getCurrentNode());
        EXPECT_EQ(world->parent, before);
        EXPECT_EQ(world->name, "pair");
        // World space is the identity and camera space is where the camera was placed.
        auto& spaces = renderer->getNamedSpaces();
        EXPECT_EQ(spaces[OIIO::ustring("world")], Transform::Identity);
        EXPECT_EQ(spaces[OIIO::ustring("camera")], ::Translate(0.0f, 0.0f, 5.0f));

        // What is set inside the world ends with it.
        renderer->PushAttributes();
        renderer->Attribute("float fov", 30.0f);
        renderer->PopAttributes();
        renderer->Attribute("float fov", 40.0f);
        const int res[2] = {64, 48};
        renderer->Attribute("int[2] resolution", res);
        renderer->Attribute("int twosided", 1);
        renderer->Render(nullptr);
        expectSilence();
        EXPECT_EQ(renderer->getOptionsDepth(), 1u);
        EXPECT_EQ(renderer->getWorldNode(), nullptr);
        EXPECT_EQ(renderer->getCurrentNode(), before);
        EXPECT_TRUE(before->children.empty());
        EXPECT_FLOAT_EQ(renderer->getOptions().fov, 60.0f);
        EXPECT_FLOAT_EQ(renderer->getOptions().frameAspect, 4.0f / 3.0f);
        EXPECT_FALSE(renderer->getAttributes().twoSided);
    }
}

TEST_F(RaytracerTest, PopOptionsNeverReportsAndKeepsTheFirstRecord) {
    renderer->PushOptions();
    renderer->Attribute("float fov", 10.0f);
    renderer->PopOptions();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 90.0f);
    renderer->Attribute("float fov", 20.0f);
    renderer->PopOptions();
    renderer->PopOptions();
    expectSilence();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 20.0f);
}

TEST_F(RaytracerTest, SolidBlocks) {
    enterWorld();
    renderer->Attribute("int twosided", 0);
    TransformNode* world = renderer->getCurrentNode();
    renderer->SolidBegin("union");
    TransformNode* solid = renderer->getCurrentNode();
    EXPECT_EQ(solid->parent, world);
    EXPECT_EQ(solid->name, "union");
    EXPECT_TRUE(renderer->getAttributes().twoSided);  // solids are always two-sided
    renderer->SolidBegin("primitive");
    EXPECT_EQ(renderer->getCurrentNode()->parent, solid);
    // A plain block inside a solid hands its contents to the solid.
    renderer->PushAttributes();
    EXPECT_TRUE(renderer->getCurrentNode()->name.empty());
    renderer->PopAttributes();
    renderer->SolidEnd();
    renderer->SolidEnd();
    expectSilence();
    EXPECT_EQ(renderer->getCurrentNode(), world);
    EXPECT_FALSE(renderer->getAttributes().twoSided);
    EXPECT_EQ(world->children.size(), 1u);
    for (const char* operation : {"xor", static_cast<const char*>(nullptr)}) {
        renderer->SolidBegin(operation);
        expectReport(
            Error, std::string(" Invalid CSG operation \"") + (operation ? operation : "") + "\"");
        EXPECT_EQ(renderer->getBlock(), BlockSolid);  // left open, so its SolidEnd matches
        renderer->SolidEnd();
    }
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockWorld);
}

TEST_F(RaytracerTest, ObjectBlocks) {
    renderer->Attribute("int twosided", 0);
    renderer->Translate(1.0f, 2.0f, 3.0f);
    TransformNode* outer = renderer->getCurrentNode();
    renderer->ObjectBegin("thing");
    TransformNode* node = renderer->getCurrentNode();
    EXPECT_EQ(node->parent, outer);
    EXPECT_EQ(node->accumulated.getSample(0), Transform::Identity);
    // A fresh record, not a copy of the current one.
    EXPECT_TRUE(renderer->getAttributes().twoSided);
    EXPECT_FALSE(renderer->getAttributes().shading);
    EXPECT_TRUE(renderer->checkInWorld("sphere"));  // object contents count as inside
    // A replaced transformation stays inside the object.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    renderer->SetTransform(m);
    EXPECT_EQ(renderer->getCurrentNode()->parent, node);
    renderer->PushTransform();
    renderer->ObjectEnd();
    expectReport(Severe, "PushTransform() call without a corresponding PopTransform().");
    renderer->PopTransform();
    renderer->ObjectEnd();
    expectSilence();
    EXPECT_EQ(renderer->getCurrentNode(), outer);
    EXPECT_FALSE(renderer->getAttributes().twoSided);
    // The node gave its contents to the object and is empty now.
    EXPECT_TRUE(node->name.empty() && node->children.empty() && node->primitives.empty());
}

}  // namespace
}  // namespace ovotest
