// Creating renderers, the block stack and what World() and Render() do to the state.
#include <cstring>

#include "tests/api/api_test_util.h"

namespace ovo {
namespace testing {
namespace {

TEST(CreateRenderer, NamesAndDefaultManager) {
    RendererAPI* unnamed = RendererAPI::CreateRenderer(nullptr, nullptr);
    RendererAPI* named = RendererAPI::CreateRenderer("raytracer", nullptr);
    ASSERT_NE(unnamed, nullptr);
    ASSERT_NE(named, nullptr);
    // Each gets a working manager of its own at verbosity 1 on the default handler.
    ASSERT_NE(unnamed->GetErrorManager(), nullptr);
    EXPECT_NE(unnamed->GetErrorManager(), named->GetErrorManager());
    EXPECT_EQ(unnamed->GetErrorManager()->Verbosity(), 1);
    EXPECT_EQ(unnamed->GetErrorManager()->Handler(), nullptr);
    delete unnamed;
    delete named;

    EXPECT_EQ(RendererAPI::CreateRenderer("Raytracer", nullptr), nullptr);
    EXPECT_EQ(RendererAPI::CreateRenderer("", nullptr), nullptr);
    EXPECT_EQ(RendererAPI::CreateRenderer("raytracer2", nullptr), nullptr);
}

TEST(RendererInterface, BaseSphereForwardsToTheFullForm) {
    struct SphereOnly : RendererAPI {
        using RendererAPI::Sphere;
        void Sphere(float r, float zmin, float zmax, float thetamax) override {
            got[0] = r;
            got[1] = zmin;
            got[2] = zmax;
            got[3] = thetamax;
        }
        ErrorManager* GetErrorManager() override { return nullptr; }
        float got[4] = {0, 0, 0, 0};
    } host;
    RendererAPI& api = host;
    api.Sphere(1.0f);
    EXPECT_FLOAT_EQ(host.got[0], 1.0f);
    EXPECT_FLOAT_EQ(host.got[1], -1.0f);
    EXPECT_FLOAT_EQ(host.got[2], 1.0f);
    EXPECT_FLOAT_EQ(host.got[3], 360.0f);
    // Every other operation of the base does nothing and reads nothing back.
    float value = 5.0f;
    EXPECT_FALSE(api.GetAttribute("float fov", value));
    EXPECT_FLOAT_EQ(value, 5.0f);
}

TEST_F(RaytracerTest, StartsNotStartedWithOneRecordOfEach) {
    EXPECT_EQ(renderer->GetErrorManager(), manager);
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    EXPECT_EQ(renderer->getBlockDepth(), 1u);
    EXPECT_FALSE(renderer->isInWorld());
    EXPECT_EQ(renderer->getOptionsDepth(), 1u);
    EXPECT_EQ(renderer->getAttributesDepth(), 1u);
    EXPECT_EQ(renderer->getCurrentNode(), &renderer->getRootNode());
    EXPECT_EQ(renderer->getRootNode().name, "bvh");
    EXPECT_EQ(renderer->getNamedSpaces().count(OIIO::ustring("")), 1u);
    EXPECT_TRUE(renderer->getPendingParameters().empty());
    EXPECT_NE(renderer->getTextureSystem(), nullptr);
    // Construction sets colour and opacity, which makes the shading record.
    ASSERT_TRUE(renderer->getAttributes().shading);
    EXPECT_EQ(renderer->getAttributes().color(), Color(1.0f));
    EXPECT_EQ(renderer->getAttributes().opacity(), Color(1.0f));
}

TEST_F(RaytracerTest, DeclarationsTable) {
    const auto& table = renderer->getDeclarations();
    EXPECT_EQ(table.size(), 72u);
    const std::pair<const char*, const char*> samples[] = {
        {"P", "vertex point"},     {"Pw", "vertex hpoint"},        {"N", "linear normal"},
        {"st", "linear float[2]"}, {"quantize", "int[4]"},         {"transform", "matrix"},
        {"shutter", "float[2]"},   {"renderer:version", "int[3]"}, {"shadow:bias", "float"},
    };
    for (const auto& sample : samples) {
        auto found = table.find(sample.first);
        ASSERT_NE(found, table.end()) << sample.first;
        EXPECT_STREQ(found->second.c_str(), sample.second) << sample.first;
    }
    EXPECT_EQ(table.count("user:anything"), 0u);
}

TEST_F(RaytracerTest, MismatchedClosingCallsNameTheInnermostBlock) {
    renderer->PopAttributes();
    expectReport(kSevere, "not started() call without a corresponding not started().");
    renderer->Render(nullptr);
    expectReport(kSevere, "not started() call without a corresponding not started().");

    // Each block opens a node under the current one; closing it restores node and stacks,
    // and popped nodes stay in the tree (their primitives are built later).
    TransformNode* root = renderer->getCurrentNode();
    renderer->PushAttributes();
    TransformNode* attributeNode = renderer->getCurrentNode();
    EXPECT_EQ(attributeNode->parent, root);
    EXPECT_EQ(renderer->getAttributesDepth(), 2u);
    renderer->PushTransform();
    EXPECT_EQ(renderer->getCurrentNode()->parent, attributeNode);
    renderer->PopAttributes();
    expectReport(kSevere, "PushTransform() call without a corresponding PopTransform().");
    EXPECT_EQ(renderer->getBlock(), BlockTransform);
    EXPECT_EQ(renderer->getBlockDepth(), 3u);
    renderer->PopTransform();
    EXPECT_EQ(renderer->getCurrentNode(), attributeNode);
    renderer->PopAttributes();
    expectSilence();
    EXPECT_EQ(renderer->getBlockDepth(), 1u);
    EXPECT_EQ(renderer->getAttributesDepth(), 1u);
    EXPECT_EQ(renderer->getCurrentNode(), root);
    EXPECT_EQ(root->children.size(), 1u);

    struct Block {
        void (RendererAPI::*open)();
        void (RendererAPI::*close)();
        const char* refusal;
    };
    const Block blocks[] = {
        {&RendererAPI::PushAttributes, &RendererAPI::PopAttributes,
         "PushAttribute() call without a corresponding PopAttribute()."},
        {&RendererAPI::PushTransform, &RendererAPI::PopTransform,
         "PushTransform() call without a corresponding PopTransform()."},
        {&RendererAPI::ShaderGroupBegin, &RendererAPI::ShaderGroupEnd,
         "ShaderGroupBegin() call without a corresponding ShaderGroupEnd()."},
    };
    for (const Block& block : blocks) {
        (renderer->*block.open)();
        // Every closing call of another kind is refused with the same words.
        renderer->SolidEnd();
        expectReport(kSevere, block.refusal);
        renderer->ObjectEnd();
        expectReport(kSevere, block.refusal);
        renderer->Render(nullptr);
        expectReport(kSevere, block.refusal);
        EXPECT_EQ(renderer->getBlockDepth(), 2u);
        (renderer->*block.close)();
        expectSilence();
        EXPECT_EQ(renderer->getBlockDepth(), 1u);
    }
}

TEST_F(RaytracerTest, PrimitivesAreOnlyAcceptedInsideTheWorld) {
    EXPECT_FALSE(renderer->checkInWorld("sphere"));
    expectReport(kSevere, "sphere primitive call is invalid before call to World(). Ignoring ...");
    // An attribute block opened before World() is inner enough.
    renderer->PushAttributes();
    EXPECT_TRUE(renderer->checkInWorld("sphere"));
    renderer->PopAttributes();
    renderer->World();
    take();
    EXPECT_TRUE(renderer->checkInWorld("disk"));
    expectSilence();
}

TEST_F(RaytracerTest, WorldPushesStateAndRenderRestoresIt) {
    renderer->Translate(0.0f, 0.0f, 5.0f);  // places the default camera
    renderer->Attribute("int twosided", 0);
    renderer->Attribute("string accelerator", "pair");
    renderer->Parameter("float radius", 2.0f);
    TransformNode* before = renderer->getCurrentNode();

    renderer->World();
    // The default output is announced.
    expectReport(kWarning, "No Output() call -- saving rgba from \"camera\" to \"ovo.png\"");
    EXPECT_EQ(renderer->getBlock(), BlockWorld);
    EXPECT_TRUE(renderer->isInWorld());
    EXPECT_TRUE(renderer->getPendingParameters().empty());
    EXPECT_EQ(renderer->getOptionsDepth(), 2u);
    EXPECT_EQ(renderer->getAttributesDepth(), 2u);
    EXPECT_FALSE(renderer->getAttributes().twoSided);  // a copy of the outer record
    TransformNode* world = renderer->getWorldNode();
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world, renderer->getCurrentNode());
    EXPECT_EQ(world->parent, before);
    EXPECT_EQ(world->name, "pair");
    EXPECT_EQ(world->accumulated.size(), 1u);
    EXPECT_EQ(world->accumulated.getSample(0), Transform::Identity);

    // World space is the identity and camera space is where the camera was placed.
    auto& spaces = renderer->getNamedSpaces();
    EXPECT_EQ(spaces[OIIO::ustring("world")], Transform::Identity);
    EXPECT_EQ(spaces[OIIO::ustring("camera")], ::Translate(0.0f, 0.0f, 5.0f));

    renderer->PushAttributes();
    renderer->Attribute("float fov", 30.0f);
    renderer->PopAttributes();
    renderer->Attribute("float fov", 40.0f);
    renderer->Attribute("int twosided", 1);
    renderer->Render(nullptr);
    expectSilence();

    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    EXPECT_EQ(renderer->getBlockDepth(), 1u);
    EXPECT_FALSE(renderer->isInWorld());
    EXPECT_EQ(renderer->getOptionsDepth(), 1u);
    EXPECT_EQ(renderer->getAttributesDepth(), 1u);
    EXPECT_EQ(renderer->getWorldNode(), nullptr);
    EXPECT_EQ(renderer->getCurrentNode(), before);
    EXPECT_TRUE(before->children.empty());
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 90.0f);
    EXPECT_FALSE(renderer->getAttributes().twoSided);
    EXPECT_EQ(renderer->getOptions().acceleratorName, "pair");

    // A second frame runs the same way.
    renderer->World();
    take();
    EXPECT_EQ(renderer->getOptionsDepth(), 2u);
    renderer->Render(nullptr);
    expectSilence();
    EXPECT_EQ(renderer->getOptionsDepth(), 1u);
}

TEST_F(RaytracerTest, RenderInsideAnOpenBlockChangesNothing) {
    renderer->World();
    take();
    renderer->PushAttributes();
    renderer->Render(nullptr);
    expectReport(kSevere, "PushAttribute() call without a corresponding PopAttribute().");
    EXPECT_TRUE(renderer->isInWorld());
    EXPECT_EQ(renderer->getOptionsDepth(), 2u);
    EXPECT_EQ(renderer->getAttributesDepth(), 3u);
    renderer->PopAttributes();
    renderer->Render(nullptr);
    expectSilence();
    EXPECT_FALSE(renderer->isInWorld());
}

TEST_F(RaytracerTest, PopOptionsNeverReportsAndKeepsTheFirstRecord) {
    renderer->PushOptions();
    renderer->Attribute("float fov", 10.0f);
    EXPECT_EQ(renderer->getOptionsDepth(), 2u);
    renderer->PopOptions();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 90.0f);
    renderer->Attribute("float fov", 20.0f);
    renderer->PopOptions();
    renderer->PopOptions();
    expectSilence();
    EXPECT_EQ(renderer->getOptionsDepth(), 1u);
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 20.0f);
    // Neither block kind nor nodes are involved.
    EXPECT_EQ(renderer->getBlockDepth(), 1u);
}

TEST_F(RaytracerTest, SolidBlocks) {
    renderer->World();
    take();
    renderer->Attribute("int twosided", 0);
    TransformNode* world = renderer->getCurrentNode();

    renderer->SolidBegin("union");
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockSolid);
    TransformNode* solid = renderer->getCurrentNode();
    EXPECT_EQ(solid->parent, world);
    EXPECT_EQ(solid->name, "union");
    EXPECT_TRUE(renderer->getAttributes().twoSided);  // solids are always two-sided
    renderer->SolidBegin("primitive");
    EXPECT_EQ(renderer->getCurrentNode()->parent, solid);
    EXPECT_EQ(renderer->getCurrentNode()->name, "primitive");
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

    renderer->SolidBegin("xor");
    expectReport(kError, " Invalid CSG operation \"xor\"");
    EXPECT_EQ(renderer->getBlock(), BlockSolid);  // left open, so its SolidEnd matches
    renderer->SolidEnd();
    renderer->SolidBegin(nullptr);
    expectReport(kError, " Invalid CSG operation \"\"");
    renderer->SolidEnd();
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockWorld);
}

TEST_F(RaytracerTest, ObjectBlocks) {
    renderer->Attribute("int twosided", 0);
    renderer->Translate(1.0f, 2.0f, 3.0f);
    TransformNode* outer = renderer->getCurrentNode();
    renderer->ObjectBegin("thing");
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockObject);
    TransformNode* node = renderer->getCurrentNode();
    EXPECT_EQ(node->parent, outer);
    EXPECT_EQ(node->name, "thing");
    EXPECT_EQ(node->local.getSample(0), Transform::Identity);
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
    expectReport(kSevere, "PushTransform() call without a corresponding PopTransform().");
    renderer->PopTransform();
    renderer->ObjectEnd();
    expectSilence();
    EXPECT_EQ(renderer->getCurrentNode(), outer);
    EXPECT_FALSE(renderer->getAttributes().twoSided);
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    // The node gave its contents to the object and is empty now.
    EXPECT_TRUE(node->name.empty());
    EXPECT_TRUE(node->children.empty());
    EXPECT_TRUE(node->primitives.empty());

    renderer->ObjectBegin(nullptr);
    EXPECT_TRUE(renderer->getCurrentNode()->name.empty());
    renderer->ObjectEnd();
    expectSilence();
}

TEST_F(RaytracerTest, InputRunsAGeneratorOnceAndDeletesIt) {
    struct Counting : RendererAPI::Generator {
        Counting(int* runs, int* deaths) : runs(runs), deaths(deaths) {}
        ~Counting() override { ++*deaths; }
        void run(RendererAPI* r, const char* args) override {
            ++*runs;
            EXPECT_EQ(args, nullptr);
            r->Attribute("float fov", 12.0f);
        }
        int* runs;
        int* deaths;
    };
    int runs = 0, deaths = 0;
    const float bound[6] = {0, 1, 0, 1, 0, 1};
    renderer->Input(new Counting(&runs, &deaths), bound);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(deaths, 1);
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 12.0f);
    renderer->Input(static_cast<RendererAPI::Generator*>(nullptr), nullptr);
    expectSilence();
}

}  // namespace
}  // namespace testing
}  // namespace ovo
