// Transform calls on the transform-node tree, named coordinate systems and motion blocks.
#include <cmath>
#include <vector>

#include "core/geometry/primitive.h"
#include "tests/api/api_test_util.h"

namespace ovo {
namespace testing {
namespace {

void expectPoint(const Point& p, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
    EXPECT_NEAR(p.z, z, tolerance);
}

// A primitive that is only there to be counted.
class StubPrimitive : public Primitive {
  public:
    bool intersect(const Ray&, Hit&) const override { return false; }
    bool intersect(const Ray&) const override { return false; }
    Aabb objectExtent() const override { return Aabb(); }
    Aabb worldExtent() const override { return Aabb(); }
};

TEST_F(RaytracerTest, LaterCallsApplyToObjectsFirst) {
    renderer->Translate(1.0f, 0.0f, 0.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    const Transform& t = renderer->getCurrentTransform();
    expectPoint(t * Point(1.0f, 0.0f, 0.0f), 3.0f, 0.0f, 0.0f);
    expectPoint(t.inverse() * Point(3.0f, 0.0f, 0.0f), 1.0f, 0.0f, 0.0f);
    // The local transform of an unmoving node follows the same composition.
    EXPECT_EQ(renderer->getCurrentNode()->local.getSample(0), t);

    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 4, 1};
    renderer->AppendTransform(shift);
    expectPoint(renderer->getCurrentTransform() * Point(0.0f, 0.0f, 0.0f), 1.0f, 0.0f, 8.0f);
    expectSilence();
}

TEST_F(RaytracerTest, RotateInDegreesAboutANormalisedAxis) {
    renderer->PushTransform();
    renderer->Rotate(90.0f, 0.0f, 0.0f, 1.0f);
    expectPoint(renderer->getCurrentTransform() * Point(1.0f, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f);
    renderer->PopTransform();

    renderer->PushTransform();
    renderer->Rotate(30.0f, 0.0f, 0.0f, 1.0f);
    const Transform unit = renderer->getCurrentTransform();
    renderer->PopTransform();
    renderer->PushTransform();
    renderer->Rotate(30.0f, 0.0f, 0.0f, 2.0f);
    EXPECT_EQ(renderer->getCurrentTransform(), unit);
    renderer->PopTransform();
    renderer->PushTransform();
    renderer->Rotate(120.0f, 1.0f, 1.0f, 1.0f);  // cycles the axes
    expectPoint(renderer->getCurrentTransform() * Point(1.0f, 0.0f, 0.0f), 0.0f, 1.0f, 0.0f, 1e-5f);
    renderer->PopTransform();
    expectSilence();

    renderer->Rotate(30.0f, 0.0f, 0.0f, 0.0f);
    expectReport(kError, "Invalid rotation axis ( 0.000000 0.000000 0.000000 ). Ignoring ...");
    EXPECT_EQ(renderer->getCurrentTransform(), Transform::Identity);
}

TEST_F(RaytracerTest, SingularScalesAreRefused) {
    renderer->Scale(1.0f, 0.0f, 1.0f);
    expectReport(kError, "singular scale ( 1.000000 0.000000 1.000000 ). Ignoring ...");
    renderer->Scale(0.0f, 2.5f, -0.0f);
    expectReport(kError, "singular scale ( 0.000000 2.500000 -0.000000 ). Ignoring ...");
    EXPECT_EQ(renderer->getCurrentTransform(), Transform::Identity);
    renderer->Scale(-1.0f, 1.0f, 1.0f);
    expectSilence();
    expectPoint(renderer->getCurrentTransform() * Point(1.0f, 2.0f, 3.0f), -1.0f, 2.0f, 3.0f);
    EXPECT_FALSE(renderer->getCurrentTransform().isLeftHanded());
}

TEST_F(RaytracerTest, SetTransformReplacesRelativeToWorldOrRoot) {
    renderer->Translate(0.0f, 0.0f, 9.0f);
    renderer->PushTransform();
    TransformNode* pushed = renderer->getCurrentNode();
    // Row-vector order: the translation is in elements 12 to 14.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 3, 4, 1};
    renderer->SetTransform(m);
    expectPoint(renderer->getCurrentTransform() * Point(0.0f, 0.0f, 0.0f), 2.0f, 3.0f, 4.0f);
    TransformNode* set = renderer->getCurrentNode();
    EXPECT_NE(set, pushed);
    EXPECT_EQ(set->parent, &renderer->getRootNode());
    renderer->PopTransform();  // discards the replacement
    expectPoint(renderer->getCurrentTransform() * Point(0.0f, 0.0f, 0.0f), 0.0f, 0.0f, 9.0f);

    renderer->World();
    take();
    renderer->Translate(5.0f, 0.0f, 0.0f);
    renderer->PushAttributes();
    renderer->Translate(0.0f, 1.0f, 0.0f);
    renderer->SetTransform(m);
    EXPECT_EQ(renderer->getCurrentNode()->parent, renderer->getWorldNode());
    expectPoint(renderer->getCurrentTransform() * Point(0.0f, 0.0f, 0.0f), 2.0f, 3.0f, 4.0f);
    renderer->PopAttributes();
    expectPoint(renderer->getCurrentTransform() * Point(0.0f, 0.0f, 0.0f), 5.0f, 0.0f, 0.0f);

    // A singular matrix is taken as it is, with the identity as its inverse.
    const float flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    renderer->PushTransform();
    renderer->SetTransform(flat);
    expectSilence();
    EXPECT_EQ(renderer->getCurrentTransform().mInv, Matrix::Identity);
    renderer->PopTransform();

    renderer->SetTransform(static_cast<const float*>(nullptr));
    expectReport(kError, "SetTransform: no matrix given. Ignoring ...");
    renderer->AppendTransform(nullptr);
    expectReport(kError, "AppendTransform: no matrix given. Ignoring ...");
}

TEST_F(RaytracerTest, NamedCoordinateSystems) {
    renderer->Translate(0.0f, 2.0f, 0.0f);
    renderer->SaveAttributes("mark", "transform");
    renderer->Scale(3.0f, 3.0f, 3.0f);
    renderer->SetTransform("mark");
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(0.0f, 2.0f, 0.0f));
    renderer->SetTransform("");  // the identity, known from the start
    EXPECT_EQ(renderer->getCurrentTransform(), Transform::Identity);
    expectSilence();

    renderer->Translate(1.0f, 1.0f, 1.0f);
    renderer->SetTransform("never");
    expectReport(kError, "SetTransform: no such named transformation \"never\"");
    renderer->SetTransform(static_cast<const char*>(nullptr));
    expectReport(kError, "SetTransform: no such named transformation \"(null)\"");
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 1.0f, 1.0f));
}

TEST_F(RaytracerTest, MotionBlockBuildsAMovingTransform) {
    const float shutter[2] = {0.0f, 1.0f};
    renderer->Attribute("float[2] shutter", shutter);
    renderer->PushTransform();
    TransformNode* node = renderer->getCurrentNode();
    const float times[2] = {0.0f, 1.0f};
    renderer->Motion(2, times);
    EXPECT_EQ(renderer->getBlock(), BlockMotion);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Rotate(10.0f, 0.0f, 1.0f, 0.0f);
    expectReport(kError,
                 "Rotate: wrong command in Motion block. Expected \"Translate\". Received "
                 "\"Rotate\".");
    EXPECT_EQ(renderer->getBlock(), BlockMotion);  // still waiting for its second sample
    renderer->Translate(1.0f, 0.0f, 0.0f);
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockTransform);  // complete: the block closed itself

    EXPECT_EQ(renderer->getCurrentNode(), node);
    ASSERT_EQ(node->local.size(), 2u);
    EXPECT_FLOAT_EQ(node->local.getTime(0), 0.0f);
    EXPECT_FLOAT_EQ(node->local.getTime(1), 1.0f);
    expectPoint(node->local.getSample(1) * Point(0.0f, 0.0f, 0.0f), 1.0f, 0.0f, 0.0f);
    ASSERT_EQ(node->accumulated.size(), 2u);
    expectPoint(node->accumulated.at(0.5f) * Point(0.0f, 0.0f, 0.0f), 0.5f, 0.0f, 0.0f);

    // A static call under a moving node goes into a child; the motion stays with the node.
    renderer->Scale(2.0f, 2.0f, 2.0f);
    TransformNode* child = renderer->getCurrentNode();
    EXPECT_EQ(child->parent, node);
    EXPECT_FALSE(child->local.isMoving());
    EXPECT_TRUE(child->accumulated.isMoving());
    expectPoint(child->accumulated.at(1.0f) * Point(1.0f, 0.0f, 0.0f), 3.0f, 0.0f, 0.0f);
    EXPECT_TRUE(node->local.isMoving());
    // So does a pushed node.
    renderer->PushTransform();
    EXPECT_FALSE(renderer->getCurrentNode()->local.isMoving());
    EXPECT_TRUE(renderer->getCurrentNode()->accumulated.isMoving());
    renderer->PopTransform();
    EXPECT_EQ(renderer->getCurrentNode(), child);
    renderer->PopTransform();
    EXPECT_EQ(renderer->getCurrentNode(), &renderer->getRootNode());
    expectSilence();
}

TEST_F(RaytracerTest, MotionSamplesAreTrimmedToTheShutter) {
    const float shutter[2] = {0.0f, 0.5f};
    renderer->Attribute("float[2] shutter", shutter);
    renderer->Motion(2, 0.0f, 1.0);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    const MotionTransform& local = renderer->getCurrentNode()->local;
    ASSERT_EQ(local.size(), 2u);
    EXPECT_FLOAT_EQ(local.getTime(0), 0.0f);
    EXPECT_FLOAT_EQ(local.getTime(1), 0.5f);
    expectPoint(local.getSample(1) * Point(0.0f, 0.0f, 0.0f), 0.5f, 0.0f, 0.0f);

    // Times are sorted, so the samples follow them rather than the calls.
    const float wide[2] = {0.0f, 1.0f};
    renderer->Attribute("float[2] shutter", wide);
    renderer->PushTransform();
    const float times[3] = {1.0f, 0.0f, 0.5f};
    renderer->Motion(3, times);
    renderer->Scale(1.0f, 1.0f, 1.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    renderer->Scale(3.0f, 3.0f, 3.0f);
    const MotionTransform& three = renderer->getCurrentNode()->local;
    ASSERT_EQ(three.size(), 3u);
    EXPECT_FLOAT_EQ(three.getTime(0), 0.0f);
    EXPECT_FLOAT_EQ(three.getTime(1), 0.5f);
    EXPECT_FLOAT_EQ(three.getTime(2), 1.0f);
    expectPoint(three.getSample(2) * Point(1.0f, 0.0f, 0.0f), 3.0f, 0.0f, 0.0f);
    renderer->PopTransform();

    // With the default shutter (0, 0) only the opening sample is left: a static transform.
    renderer->Attribute("float[2] shutter", std::vector<float>{0.0f, 0.0f}.data());
    renderer->PushTransform();
    renderer->Motion(2, 0.0f, 1.0);
    renderer->Translate(2.0f, 0.0f, 0.0f);
    renderer->Translate(4.0f, 0.0f, 0.0f);
    EXPECT_FALSE(renderer->getCurrentNode()->local.isMoving());
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(2.0f, 0.0f, 0.0f));
    renderer->PopTransform();
    expectSilence();
}

TEST_F(RaytracerTest, MotionWithSetTransformAndPrimitives) {
    const float shutter[2] = {0.0f, 1.0f};
    renderer->Attribute("float[2] shutter", shutter);
    renderer->World();
    take();
    renderer->PushAttributes();
    TransformNode* node = renderer->getCurrentNode();
    node->primitives.push_back(Reference<Primitive>(new StubPrimitive()));
    renderer->Motion(2, 0.0f, 1.0);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Translate(0.0f, 1.0f, 0.0f);
    // What was made before the block must not move: the motion goes into a child.
    TransformNode* moving = renderer->getCurrentNode();
    EXPECT_EQ(moving->parent, node);
    EXPECT_TRUE(moving->local.isMoving());
    EXPECT_FALSE(node->local.isMoving());
    renderer->PopAttributes();

    const float a[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float b[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 2, 1};
    renderer->PushAttributes();
    renderer->Translate(9.0f, 9.0f, 9.0f);
    renderer->Motion(2, 0.0f, 1.0);
    renderer->SetTransform(a);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    expectReport(kError,
                 "Translate: wrong command in Motion block. Expected \"SetTransform\". Received "
                 "\"Translate\".");
    renderer->SetTransform(b);
    EXPECT_EQ(renderer->getBlock(), BlockAttribute);
    TransformNode* set = renderer->getCurrentNode();
    EXPECT_EQ(set->parent, renderer->getWorldNode());
    ASSERT_TRUE(set->accumulated.isMoving());
    expectPoint(set->accumulated.at(1.0f) * Point(0.0f, 0.0f, 0.0f), 0.0f, 0.0f, 2.0f);
    renderer->PopAttributes();
    expectSilence();

    renderer->Motion(2, 0.0f, 1.0);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->SetTransform("world");
    expectReport(kError,
                 "SetTransform: wrong command in Motion block. Expected \"Translate\". Received "
                 "\"SetTransform\".");
    renderer->Translate(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(renderer->getBlock(), BlockWorld);
}

TEST_F(RaytracerTest, MotionMisuse) {
    renderer->Motion(0, nullptr);
    expectReport(kError, "Motion: invalid number of samples 0. Ignoring ...");
    renderer->Motion(2, static_cast<const float*>(nullptr));
    expectReport(kError, "Motion: invalid number of samples 2. Ignoring ...");
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);

    const float times[2] = {0.0f, 1.0f};
    renderer->Motion(2, times);
    renderer->PushAttributes();  // blocks may open inside; the motion block waits
    renderer->Motion(2, times);
    expectReport(kError, "Motion: a Motion block is already open. Ignoring ...");
    renderer->PopAttributes();
    renderer->PopTransform();
    expectReport(kSevere, "MotionBegin() call without a corresponding MotionEnd().");
    renderer->Scale(1.0f, 1.0f, 1.0f);
    renderer->Scale(1.0f, 1.0f, 1.0f);
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    // A single-sample block completes with its first call.
    renderer->Motion(1, 0.0f);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 0.0f, 0.0f));
    expectSilence();
}

}  // namespace
}  // namespace testing
}  // namespace ovo
