// The geometry calls of the scene interface: shapes filed under transform nodes, the building of
// node trees into aggregates, solids and moving parts, objects and instances.
#include <OpenImageIO/plugin.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "api/api_test_util.h"
#include "core/geometry/primitive.h"

namespace ovo {
namespace testing {
namespace {

// The box's corners, lowest then highest.
void expectBox(const Aabb& box, const std::array<float, 6>& want, float tolerance = 1e-4f) {
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(i < 3 ? box.bmin[i] : box.bmax[i - 3], want[i], tolerance) << "corner " << i;
}

template <class T>
const T* as(const Reference<Primitive>& p) {
    return dynamic_cast<const T*>(p.get());
}

class GeometryTest : public RaytracerTest {
  protected:
    Reference<Primitive> buildWorld() {
        return renderer->buildPrimitive(*renderer->getWorldNode());
    }
    // Every test's world goes through a frame (one that draws nothing) at its end.
    void TearDown() override {
        if (renderer->isInWorld()) finishFrame();
    }
};

TEST_F(GeometryTest, UnnamedNodesPassTheirPrimitivesToTheNearestAccelerator) {
    enterWorld();
    EXPECT_EQ(buildWorld().get(), nullptr);  // nothing made, nothing built

    renderer->Sphere(1.0f);
    const Reference<Primitive> only = renderer->getWorldNode()->primitives.at(0);
    EXPECT_EQ(buildWorld().get(), only.get());  // one primitive is its own world

    renderer->PushAttributes();
    renderer->Translate(4.0f, 0.0f, 0.0f);
    renderer->Sphere(1.0f);
    sphereAt(0.0f, 4.0f);
    renderer->PopAttributes();
    expectSilence();

    const Reference<Primitive> world = buildWorld();
    const Aggregate* aggregate = as<Aggregate>(world);
    ASSERT_NE(aggregate, nullptr);
    // The two nested blocks handed their spheres up: one flat accelerator of three.
    EXPECT_EQ(aggregate->getPrimitives().size(), 3u);
    for (const auto& p : aggregate->getPrimitives()) EXPECT_NE(as<NoPPrimitive>(p), nullptr);
    // Building only reads the tree: a second build sees the same three.
    EXPECT_EQ(as<Aggregate>(buildWorld())->getPrimitives().size(), 3u);
}

TEST_F(GeometryTest, WorldExtentsFollowTheTransformsOfTheShapes) {
    enterWorld();
    renderer->Translate(1.0f, 2.0f, 3.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    renderer->Sphere(1.0f);
    renderer->Rotate(90.0f, 0.0f, 0.0f, 1.0f);  // in the scaled space: z up, x to y
    renderer->Cylinder(0.5f, 0.0f, 1.0f, 360.0f);
    renderer->Disk(2.0f, 0.0f, 1.0f, 360.0f);
    expectSilence();
    const auto& made = renderer->getWorldNode()->primitives;
    ASSERT_EQ(made.size(), 3u);
    expectBox(made[0]->worldExtent(), {-1, 0, 1, 3, 4, 5});
    expectBox(made[1]->worldExtent(), {0, 1, 3, 2, 3, 5});
    expectBox(made[2]->worldExtent(), {-1, 0, 7, 3, 4, 7}, 1e-3f);
    // Equal transforms are stored once.
    const auto* cylinder = as<NoPPrimitive>(made[1]);
    const auto* disk = as<NoPPrimitive>(made[2]);
    ASSERT_TRUE(cylinder && disk);
    EXPECT_EQ(&cylinder->objectToWorld(), &disk->objectToWorld());
}

TEST(TransformStore, EqualForwardMatricesShareOneEntryThatNeverMoves) {
    TransformStore store;
    Matrix minusZero(1.0f);
    minusZero.m[0][1] = minusZero.m[2][3] = -0.0f;
    const Transform* first = &store.store(Transform(minusZero, minusZero));
    // Enough others to grow the table and the blocks many times over.
    std::vector<const Transform*> made;
    for (int i = 1; i < 5000; ++i) made.push_back(&store.store(::Translate(float(i), 0.0f, 0.0f)));
    EXPECT_EQ(store.size(), 5000u);
    EXPECT_EQ(&store.store(Transform()), first);  // -0 is 0
    for (int i = 1; i < 5000; i += 499) {
        const Transform& e = store.store(::Translate(float(i), 0.0f, 0.0f));
        ASSERT_EQ(&e, made[i - 1]) << i;
        EXPECT_EQ(e.m.m[0][3], float(i));
        EXPECT_EQ(e.mInv.m[0][3], -float(i));
    }
    EXPECT_EQ(store.size(), 5000u);
}

TEST_F(GeometryTest, ShapesUnderAMovingNodeMoveWithIt) {
    renderer->getOptions().shutter[0] = 0.0f;
    renderer->getOptions().shutter[1] = 1.0f;
    enterWorld();

    // Unmoving: the translation becomes the sphere's own transform.
    renderer->PushTransform();
    renderer->Translate(1.0f, 0.0f, 0.0f);
    renderer->Sphere(1.0f);
    const auto* still = as<NoPPrimitive>(renderer->getCurrentNode()->primitives.at(0));
    ASSERT_NE(still, nullptr);
    EXPECT_TRUE(still->objectToWorld() == ::Translate(1.0f, 0.0f, 0.0f));
    renderer->PopTransform();

    // Moving: the sphere is made in the node's space and moves with the node.
    renderer->PushTransform();
    renderer->Motion(2, 0.0f, 1.0f);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Translate(0.0f, 4.0f, 0.0f);
    renderer->Sphere(1.0f);
    const auto* carried = as<NoPPrimitive>(renderer->getCurrentNode()->primitives.at(0));
    ASSERT_NE(carried, nullptr);
    EXPECT_TRUE(carried->objectToWorld() == Transform::Identity);
    renderer->PopTransform();
    expectSilence();

    const Reference<Primitive> built = buildWorld();
    const Aggregate* world = as<Aggregate>(built);
    ASSERT_NE(world, nullptr);
    ASSERT_EQ(world->getPrimitives().size(), 2u);
    const MotionPrimitive* moving = nullptr;
    for (const auto& p : world->getPrimitives())
        if (auto* m = as<MotionPrimitive>(p)) moving = m;
    ASSERT_NE(moving, nullptr);
    EXPECT_EQ(moving->getContent().get(), static_cast<const Primitive*>(carried));
    // Swept over the shutter: from y = -1 at the start to y = 5 at the end (the sweep is
    // bounded from samples along the motion, which may fall short of the end by 1/128).
    expectBox(moving->worldExtent(), {-1, -1, -1, 1, 5, 1}, 0.04f);
    for (float time : {0.0f, 1.0f})
        EXPECT_EQ(moving->intersect(Ray(Point(0, 4, -10), Vector(0, 0, 1), 0, 1e30f, time)),
                  time == 1.0f);
}

TEST_F(GeometryTest, SolidsAreTracedThroughTheirOperation) {
    // The operation, and the nearest hit of a ray from z = -10 along +z. Spheres A (radius 2 at the
    // origin) and B (radius 2 at z = 1), and for three parts C (radius 1.5 at z = -3). Along the
    // axis A spans z -2..2, B -1..3, C -4.5..-1.5.
    const std::pair<const char*, float> cases[] = {
        {"intersection", 9.0f},  // A and B: entering B at z = -1
        {"difference", 8.5f},    // A less B and C: only z -1.5..-1 is left, entered leaving C
        {"primitive", 5.5f},     // all three: C is met first
    };
    for (const auto& [operation, t] : cases) {
        SCOPED_TRACE(operation);
        enterWorld();
        renderer->SolidBegin(operation);
        sphereAt(0.0f, 0.0f, 0.0f, 2.0f);
        sphereAt(0.0f, 0.0f, 1.0f, 2.0f);
        if (std::string(operation) != "intersection") sphereAt(0.0f, 0.0f, -3.0f, 1.5f);
        renderer->SolidEnd();
        expectSilence();
        const Reference<Primitive> solid = buildWorld();
        ASSERT_NE(solid.get(), nullptr);
        Hit hit;
        ASSERT_TRUE(solid->intersect(Ray(Point(0, 0, -10), Vector(0, 0, 1)), hit));
        EXPECT_NEAR(hit.t, t, 1e-4f);
        finishFrame();
    }
}

TEST_F(GeometryTest, ObjectsAreBuiltOnceAndInstancedWithTheInstanceAttributes) {
    // Defined before the world: it outlives the frame.
    renderer->ObjectBegin("pair");
    renderer->Sphere(1.0f);
    renderer->ObjectEnd();
    expectSilence();
    ASSERT_EQ(renderer->getOptions().objects.count("pair"), 1u);
    const float red[3] = {1.0f, 0.0f, 0.0f};

    enterWorld();
    renderer->ObjectBegin("pair");
    expectReport(kWarning, "Instance pair already existing.");
    renderer->Translate(2.0f, 0.0f, 0.0f);  // inside the object: part of its definition
    sphereAt(0.0f, 0.0f, 0.0f, 1.0f);
    sphereAt(0.0f, 3.0f, 0.0f, 1.0f);
    renderer->ObjectEnd();
    renderer->ObjectBegin("single");
    renderer->Sphere(1.0f);
    renderer->ObjectEnd();
    expectSilence();

    const auto& objects = renderer->getOptions().objects;
    const Aggregate* pair = as<Aggregate>(objects.at("pair"));
    ASSERT_NE(pair, nullptr);
    expectBox(pair->worldExtent(), {1, -1, -1, 3, 4, 1});
    EXPECT_NE(as<NoPPrimitive>(objects.at("single")), nullptr);
    // The object's nodes are gone from the world.
    EXPECT_TRUE(renderer->getWorldNode()->primitives.empty());

    renderer->PushAttributes();
    renderer->Attribute("color C", red);
    renderer->Translate(0.0f, 0.0f, 10.0f);
    renderer->ObjectInstance("pair");
    renderer->ObjectInstance("nothing");
    expectReport(kWarning, "No such instance nothing");
    const auto made = renderer->getCurrentNode()->primitives;
    ASSERT_EQ(made.size(), 1u);
    const auto* instance = as<Instance>(made[0]);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->getObject().get(), objects.at("pair").get());
    ASSERT_NE(instance->getAttributes().shading.get(), nullptr);
    EXPECT_TRUE(instance->getAttributes().shading->C == Color(1.0f, 0.0f, 0.0f));
    expectBox(instance->worldExtent(), {1, -1, 9, 3, 4, 11});
    renderer->PopAttributes();

    const Reference<Primitive> world = buildWorld();
    EXPECT_EQ(world.get(), made[0].get());
    Hit hit;
    ASSERT_TRUE(world->intersect(Ray(Point(2.0f, 3.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f)), hit));
    EXPECT_NEAR(hit.t, 9.0f, 1e-4f);
    finishFrame();
    // Objects defined in the world go with it; the one defined before stays as it was.
    EXPECT_EQ(renderer->getOptions().objects.count("single"), 0u);
    ASSERT_EQ(renderer->getOptions().objects.count("pair"), 1u);
    expectBox(renderer->getOptions().objects.at("pair")->worldExtent(), {-1, -1, -1, 1, 1, 1});
}

// A plugin folder holding only the listed shape plugins of the build, so that a call that
// forwards to another shape is seen by which plugin it asks for.
class ForwardingTest : public GeometryTest {
  protected:
    void SetUp() override {
        const std::string ext = std::string(".shape.") + OIIO::Plugin::plugin_extension();
        for (const char* shape : {"cylinder", "disk", "cone"})
            ASSERT_EQ(symlink((ovotest::pluginDir() + "/" + shape + ext).c_str(),
                              (folder / (shape + ext)).c_str()),
                      0);
    }
    ovotest::ScratchDir folder;
};

TEST_F(ForwardingTest, HyperboloidsAndConesMakeTheSimplerQuadric) {
    enterWorld();
    renderer->getOptions().searchPaths.plugin = folder.path;
    const auto& made = renderer->getWorldNode()->primitives;

    // Lines swept about z: parallel to the axis, a cylinder; at one height, a disk (the radii
    // given in decreasing order); through the axis, a cone of height 1.
    float lines[3][2][3] = {{{1, 0, 0}, {1, 0, 2}}, {{2, 0, 1}, {1, 0, 1}}, {{1, 0, 0}, {0, 0, 1}}};
    for (auto& line : lines) renderer->Hyperboloid(line[0], line[1], 360.0f);
    renderer->Cone(0.0f, 1.0f, 0.0f, 0.0f, 360.0f);  // flat: its base disk
    renderer->Cone(2.0f, 0.5f, 360.0f);
    expectSilence();
    ASSERT_EQ(made.size(), 5u);
    expectBox(made[0]->worldExtent(), {-1, -1, 0, 1, 1, 2});
    expectBox(made[1]->worldExtent(), {-2, -2, 1, 2, 2, 1});
    expectBox(made[2]->worldExtent(), {-1, -1, 0, 1, 1, 1});
    expectBox(made[3]->worldExtent(), {-1, -1, 0, 1, 1, 0});
    expectBox(made[4]->worldExtent(), {-0.5f, -0.5f, 0, 0.5f, 0.5f, 2});
    // The cone's tip is on the axis at z = 1: a ray down the axis meets it there.
    Hit hit;
    ASSERT_TRUE(made[2]->intersect(Ray(Point(0, 0, 5), Vector(0, 0, -1)), hit));
    EXPECT_NEAR(hit.t, 4.0f, 1e-3f);
    // A ring at height 1 from radius 1 to 2: a ray at radius 0.5 passes through the hole.
    EXPECT_FALSE(made[1]->intersect(Ray(Point(0.5f, 0, 5), Vector(0, 0, -1))));
    EXPECT_TRUE(made[1]->intersect(Ray(Point(1.5f, 0, 5), Vector(0, 0, -1))));

    // A skew line sweeps a true hyperboloid, whose plugin is not in the folder.
    float h1[3] = {1.0f, 0.0f, 0.0f}, h2[3] = {0.0f, 1.0f, 1.0f};
    renderer->Hyperboloid(h1, h2, 360.0f);
    expectReport(kSevere, "Unable to find plugin \"hyperboloid\"");
    EXPECT_EQ(made.size(), 5u);
    EXPECT_EQ(renderer->getAttributesDepth(), 2u);  // Shape's own record was popped
}

TEST_F(ForwardingTest, ShapesWithoutPluginsReportAndLeaveNothingPending) {
    enterWorld();
    renderer->getOptions().searchPaths.plugin = folder.path;
    int counts[2] = {4, 4};
    const int faces[1] = {3}, vertices[3] = {0, 1, 2}, one[1] = {1}, order[1] = {2};
    const float knots[6] = {0, 0, 0, 1, 1, 1}, lo[1] = {0}, hi[1] = {1}, P[6] = {0, 0, 1, 1, 1, 1};
    const std::pair<std::function<void()>, const char*> calls[] = {
        {[&] { renderer->Patch("linear", 2, 2); }, "bilinearpatch"},
        {[&] { renderer->Patch("linear", 3, 2); }, "bilinearpatchmesh"},
        {[&] { renderer->Patch("bezier", 4, 4); }, "bicubicpatch"},
        {[&] { renderer->Patch(3, 3, knots, 0, 1, 3, 3, knots, 0, 1); }, "nupatch"},
        {[&] { renderer->Curves("linear", 2, counts); }, "linearcurves"},
        {[&] { renderer->Curves("catmull-rom", 1, 4); }, "cubiccurves"},
        {[&] { renderer->Mesh("catmull-clark", 1, faces, vertices); }, "ccmesh"},
        {[&] { renderer->Shape("nosuch"); }, "nosuch"},
        {[&] { renderer->TrimCurve(1, one, order, order, knots + 1, lo, hi, P); }, "trimcurves"},
    };
    for (const auto& [call, plugin] : calls) {
        call();
        expectReport(kSevere, std::string("Unable to find plugin \"") + plugin + "\"");
    }
    // A misspelt basis makes nothing and asks for no plugin; its parameters are dropped.
    const float width = 0.1f;
    renderer->Parameter("constant float width", &width);
    renderer->Curves("bsplin", 1, 4);
    expectReport(kWarning, "No such interpolation type \"bsplin\"");
    EXPECT_TRUE(renderer->getPendingParameters().empty());
    renderer->Curves("bspline", 1, counts);
    expectReport(kSevere, "Unable to find plugin \"cubiccurves\"");
    EXPECT_TRUE(renderer->getWorldNode()->primitives.empty());
    EXPECT_TRUE(renderer->getPendingParameters().empty());
    EXPECT_EQ(renderer->getAttributesDepth(), 2u);
}

TEST_F(GeometryTest, PointsPolygonsAndMeshesTakeTheirCountsFromTheCall) {
    enterWorld();
    const auto& made = renderer->getWorldNode()->primitives;
    const auto extentSince = [&made](std::size_t first) {
        Aabb box = made.at(first)->worldExtent();
        for (std::size_t i = first + 1; i < made.size(); ++i) box += made[i]->worldExtent();
        return box;
    };
    float P[9] = {0, 0, 0, 1, 0, 0, 4, 2, 1};
    renderer->Parameter("vertex point P", P);
    renderer->Points(3);
    expectSilence();
    ASSERT_FALSE(made.empty());
    const Aabb box = extentSince(0);
    // Every centre inside, and no more than a default width (1) beyond the extreme ones.
    for (int a = 0; a < 3; ++a) {
        EXPECT_TRUE(box.bmin[a] <= 0.0f && box.bmin[a] > -1.01f) << a;
        EXPECT_TRUE(box.bmax[a] >= P[6 + a] && box.bmax[a] < P[6 + a] + 1.01f) << a;
    }

    // Polygons count their vertices; a pending "P" gives their corners.
    float quad[12] = {-1, -1, 5, 1, -1, 5, 1, 1, 5, -1, 1, 5};
    renderer->Parameter("vertex point P", quad);
    std::size_t before = made.size();
    renderer->Polygon(4);
    expectSilence();
    ASSERT_GT(made.size(), before);
    expectBox(extentSince(before), {-1, -1, 5, 1, 1, 5}, 1e-3f);

    // Meshes name saved attribute states: an unknown one is reported and the mesh still made.
    const float green[3] = {0.0f, 1.0f, 0.0f};
    renderer->PushAttributes();
    renderer->Attribute("color C", green);
    renderer->SaveAttributes("green", "C");
    renderer->PopAttributes();
    float mesh[12] = {0, 0, 5, 1, 0, 5, 0, 1, 5, 2, 0, 5};
    const int nvertices[2] = {3, 3}, vertices[6] = {0, 1, 2, 1, 3, 2};
    const char* states[2] = {"nosuch", "green"};
    renderer->Parameter("vertex point P", mesh);
    renderer->Parameter("perpiece string __attributes", states);
    before = made.size();
    renderer->Mesh("linear", 2, nvertices, vertices);
    expectReport(kError, "Mesh: Unknown attribute state \"nosuch\"");
    ASSERT_EQ(made.size(), before + 1);
    expectBox(made.back()->worldExtent(), {0, 0, 5, 2, 1, 5}, 1e-3f);
    // Other subdivision types make nothing and keep nothing pending.
    renderer->Parameter("vertex point P", mesh);
    renderer->Mesh("loop", 2, nvertices, vertices);
    expectSilence();
    EXPECT_EQ(made.size(), before + 1);
    EXPECT_TRUE(renderer->getPendingParameters().empty());
}

}  // namespace
}  // namespace testing
}  // namespace ovo
