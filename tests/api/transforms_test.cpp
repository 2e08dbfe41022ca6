// Transform calls on the transform-node tree, named coordinate systems and motion blocks.
#include "tests/api/api_test_util.h"
#include "tests/common/shapes.h"

using namespace ovo;

namespace ovotest {
namespace {

// Where the current transformation (or `t`) takes the origin, or `p`.
Point at(const Transform& t, const Point& p = Point(0.0f, 0.0f, 0.0f)) { return t * p; }

void shutter(RendererAPI& r, float open, float close) {
    const float times[2] = {open, close};
    r.Attribute("float[2] shutter", times);
}

TEST_F(RaytracerTest, LaterCallsApplyToObjectsFirst) {
    renderer->Translate(1.0f, 0.0f, 0.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    const Transform& t = renderer->getCurrentTransform();
    EXPECT_TRUE(near(at(t, Point(1, 0, 0)), Point(3, 0, 0), 1e-6f));
    // The local transform of an unmoving node follows the same composition.
    EXPECT_EQ(renderer->getCurrentNode()->local.getSample(0), t);
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 4, 1};
    renderer->AppendTransform(shift);
    EXPECT_TRUE(near(at(renderer->getCurrentTransform()), Point(1, 0, 8), 1e-6f));
    expectSilence();
}

TEST_F(RaytracerTest, RotateAndScale) {
    // Degrees about a normalised axis: (angle, axis, where x goes).
    const float rows[][7] = {{30, 0, 0, 2, 0.8660254f, 0.5f, 0}, {120, 1, 1, 1, 0, 1, 0}};
    for (const auto& r : rows) {
        renderer->PushTransform();
        renderer->Rotate(r[0], r[1], r[2], r[3]);
        EXPECT_TRUE(near(at(renderer->getCurrentTransform(), Point(1, 0, 0)),
                         Point(r[4], r[5], r[6]), 1e-5f))
            << r[0];
        renderer->PopTransform();
    }
    expectSilence();
    renderer->Rotate(30.0f, 0.0f, 0.0f, 0.0f);
    expectReport(Error, "Invalid rotation axis ( 0.000000 0.000000 0.000000 ). Ignoring ...");
    renderer->Scale(0.0f, 2.5f, -0.0f);
    expectReport(Error, "singular scale ( 0.000000 2.500000 -0.000000 ). Ignoring ...");
    EXPECT_EQ(renderer->getCurrentTransform(), Transform::Identity);
    renderer->Scale(-1.0f, 1.0f, 1.0f);
    expectSilence();
    EXPECT_TRUE(near(at(renderer->getCurrentTransform(), Point(1, 2, 3)), Point(-1, 2, 3), 0.0f));
    EXPECT_FALSE(renderer->getCurrentTransform().isLeftHanded());
}

TEST_F(RaytracerTest, SetTransformReplacesRelativeToWorldOrRoot) {
    renderer->Translate(0.0f, 0.0f, 9.0f);
    renderer->PushTransform();
    TransformNode* pushed = renderer->getCurrentNode();
    // Row-vector order: the translation is in elements 12 to 14.
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 3, 4, 1};
    renderer->SetTransform(m);
    EXPECT_EQ(at(renderer->getCurrentTransform()), Point(2, 3, 4));
    EXPECT_NE(renderer->getCurrentNode(), pushed);
    EXPECT_EQ(renderer->getCurrentNode()->parent, &renderer->getRootNode());
    renderer->PopTransform();  // discards the replacement
    EXPECT_EQ(at(renderer->getCurrentTransform()), Point(0, 0, 9));

    enterWorld();
    renderer->Translate(5.0f, 0.0f, 0.0f);
    renderer->PushAttributes();
    renderer->Translate(0.0f, 1.0f, 0.0f);
    renderer->SetTransform(m);
    EXPECT_EQ(renderer->getCurrentNode()->parent, renderer->getWorldNode());
    EXPECT_EQ(at(renderer->getCurrentTransform()), Point(2, 3, 4));
    renderer->PopAttributes();
    EXPECT_EQ(at(renderer->getCurrentTransform()), Point(5, 0, 0));

    // A singular matrix is taken as it is, with the identity as its inverse.
    const float flat[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    renderer->PushTransform();
    renderer->SetTransform(flat);
    expectSilence();
    EXPECT_EQ(renderer->getCurrentTransform().mInv, Matrix::Identity);
    renderer->PopTransform();
    renderer->SetTransform(static_cast<const float*>(nullptr));
    expectReport(Error, "SetTransform: no matrix given. Ignoring ...");
    renderer->AppendTransform(nullptr);
    expectReport(Error, "AppendTransform: no matrix given. Ignoring ...");
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
    expectReport(Error, "SetTransform: no such named transformation \"never\"");
    renderer->SetTransform(static_cast<const char*>(nullptr));
    expectReport(Error, "SetTransform: no such named transformation \"(null)\"");
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 1.0f, 1.0f));
}

TEST_F(RaytracerTest, MotionBlockBuildsAMovingTransform) {
    shutter(*renderer, 0.0f, 1.0f);
    renderer->PushTransform();
    TransformNode* node = renderer->getCurrentNode();
    const float times[2] = {0.0f, 1.0f};
    renderer->Motion(2, times);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Rotate(10.0f, 0.0f, 1.0f, 0.0f);
    expectReport(Error,
                 "Rotate: wrong command in Motion block. Expected \"Translate\". Received "
                 "\"Rotate\".");
    EXPECT_EQ(renderer->getBlock(), BlockMotion);  // still waiting for its second sample
    renderer->Translate(1.0f, 0.0f, 0.0f);
    expectSilence();
    EXPECT_EQ(renderer->getBlock(), BlockTransform);  // complete: the block closed itself
    EXPECT_EQ(renderer->getCurrentNode(), node);
    ASSERT_EQ(node->local.size(), 2u);
    EXPECT_EQ(at(node->local.getSample(1)), Point(1, 0, 0));
    EXPECT_TRUE(near(at(node->accumulated.at(0.5f)), Point(0.5f, 0, 0), 1e-6f));

    // A static call under a moving node goes into a child; the motion stays with the node.
    renderer->Scale(2.0f, 2.0f, 2.0f);
    TransformNode* child = renderer->getCurrentNode();
    EXPECT_EQ(child->parent, node);
    EXPECT_FALSE(child->local.isMoving());
    EXPECT_TRUE(child->accumulated.isMoving());
    EXPECT_TRUE(near(at(child->accumulated.at(1.0f), Point(1, 0, 0)), Point(3, 0, 0), 1e-6f));
    EXPECT_TRUE(node->local.isMoving());
    renderer->PopTransform();
    EXPECT_EQ(renderer->getCurrentNode(), &renderer->getRootNode());
    expectSilence();
}

TEST_F(RaytracerTest, MotionSamplesAreTrimmedToTheShutter) {
    shutter(*renderer, 0.25f, 0.5f);
    renderer->Motion(2, 0.25f, 1.0);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    const MotionTransform& local = renderer->getCurrentNode()->local;
    ASSERT_EQ(local.size(), 2u);
    EXPECT_FLOAT_EQ(local.getTime(0), 0.25f);
    EXPECT_FLOAT_EQ(local.getTime(1), 0.5f);
    EXPECT_TRUE(near(at(local.getSample(1)), Point(1.0f / 3.0f, 0, 0), 1e-6f));

    // Times are sorted, so the samples follow them rather than the calls.
    shutter(*renderer, 0.0f, 1.0f);
    renderer->PushTransform();
    const float times[3] = {1.0f, 0.0f, 0.5f};
    renderer->Motion(3, times);
    for (float s : {1.0f, 2.0f, 3.0f}) renderer->Scale(s, s, s);
    const MotionTransform& three = renderer->getCurrentNode()->local;
    ASSERT_EQ(three.size(), 3u);
    for (unsigned k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(three.getTime(k), 0.5f * float(k));
    EXPECT_EQ(at(three.getSample(2), Point(1, 0, 0)), Point(3, 0, 0));
    renderer->PopTransform();

    // With the default shutter (0, 0) only the opening sample is left: a static transform.
    shutter(*renderer, 0.0f, 0.0f);
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
    shutter(*renderer, 0.0f, 1.0f);
    enterWorld();
    renderer->PushAttributes();
    TransformNode* node = renderer->getCurrentNode();
    node->primitives.push_back(
        Reference<Primitive>(new PlanePrimitive(Point(0.0f), Vector(0, 0, 1))));
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
    expectReport(Error,
                 "Translate: wrong command in Motion block. Expected \"SetTransform\". Received "
                 "\"Translate\".");
    renderer->SetTransform(b);
    EXPECT_EQ(renderer->getBlock(), BlockAttribute);
    TransformNode* set = renderer->getCurrentNode();
    EXPECT_EQ(set->parent, renderer->getWorldNode());
    ASSERT_TRUE(set->accumulated.isMoving());
    EXPECT_EQ(at(set->accumulated.at(1.0f)), Point(0, 0, 2));
    renderer->PopAttributes();
    expectSilence();

    renderer->Motion(2, 0.0f, 1.0);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->SetTransform("world");
    expectReport(Error,
                 "SetTransform: wrong command in Motion block. Expected \"Translate\". Received "
                 "\"SetTransform\".");
    renderer->Translate(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(renderer->getBlock(), BlockWorld);
}

TEST_F(RaytracerTest, MotionMisuse) {
    renderer->Motion(0, nullptr);
    expectReport(Error, "Motion: invalid number of samples 0. Ignoring ...");
    renderer->Motion(2, static_cast<const float*>(nullptr));
    expectReport(Error, "Motion: invalid number of samples 2. Ignoring ...");
    EXPECT_EQ(renderer->getBlock(), BlockNotStarted);
    const float times[2] = {0.0f, 1.0f};
    renderer->Motion(2, times);
    renderer->PushAttributes();  // blocks may open inside; the motion block waits
    renderer->Motion(2, times);
    expectReport(Error, "Motion: a Motion block is already open. Ignoring ...");
    renderer->PopAttributes();
    renderer->PopTransform();
    expectReport(Severe, "MotionBegin() call without a corresponding MotionEnd().");
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
}  // namespace ovotest
