#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/geometry/geometry_set.h"
#include "core/geometry/primitive.h"
#include "core/math/motion.h"
#include "tests/geometry/geometry_test_util.h"

using namespace ovo;
using namespace ovotest;

namespace {

const float kHalfSqrt2 = std::sqrt(2.0f) / 2.0f;

// Both corners within tol of the expected ones.
::testing::AssertionResult boxNear(const Aabb& b, const Aabb& expected, float tol) {
    ::testing::AssertionResult low = near(Point(b.bmin), Point(expected.bmin), tol);
    return low ? near(Point(b.bmax), Point(expected.bmax), tol) : low;
}

// The references an attribute record holds: shading, displacement, surface, volume, lights.
using Refs = std::vector<const void*>;
template <class Records>
Refs refs(const Records& a) {
    return {a.shading.get(), a.displacement.get(), a.surface.get(), a.volume.get(), a.lights.get()};
}

// A shape hit where it has no normal, as at a cone's apex.
class NoNormal : public TestSphere {
  public:
    NoNormal() : TestSphere(1.0f) {}
    using TestSphere::intersect;
    bool intersect(const Ray& ray, Hit& hit) const override {
        const bool got = TestSphere::intersect(ray, hit);
        hit.env.Ng = Normal(0.0f);
        return got;
    }
};

// Lets the protected bound computation be called.
class PlainAggregate : public Aggregate {
  public:
    PlainAggregate() {}
    explicit PlainAggregate(std::vector<Reference<Primitive>>& l) : Aggregate(l) {}
    using Aggregate::computeBbox;
};

TEST(PrimitiveExtent, TransformedPrimitivesInstancesAndMotionAndMotionHits) {
    TransformStore store;
    const Aabb unit(0, 1, 0, 1, 0, 1);

    // The eight rotated corners of the unit cube, 45 degrees about z.
    Reference<Primitive> rotated =
        store.wrap(new BoxOnlyShape(unit), Rotate(Pi / 4, Vector(0, 0, 1)));
    EXPECT_TRUE(boxNear(rotated->worldExtent(),
                        Aabb(-kHalfSqrt2, kHalfSqrt2, 0, 2 * kHalfSqrt2, 0, 1), 1e-6f));
    EXPECT_EQ(rotated->objectExtent(), unit);

    Reference<Primitive> moved =
        store.wrap(new BoxOnlyShape(unit), Translate(1, 2, 3) * Scale(2, 1, 1));
    EXPECT_EQ(moved->worldExtent(), Aabb(1, 3, 2, 3, 3, 4));

    ControlMeshPrimitive mesh(Reference<Shape>(new BoxOnlyShape(unit)), PrimitiveAttributes());
    EXPECT_EQ(mesh.worldExtent(), unit);

    // An instance bounds its object's world extent in its own space.
    Instance inst(moved, Translate(0, 0, -10), PrimitiveAttributes());
    EXPECT_EQ(inst.objectExtent(), Aabb(1, 3, 2, 3, 3, 4));
    EXPECT_EQ(inst.worldExtent(), Aabb(1, 3, 2, 3, -7, -6));

    // Motion is bounded over the instants 0, 1/128, ..., 127/128 of the shutter.
    const float times[2] = {0.0f, 1.0f};
    MotionTransform motion(2, times);
    motion.setSample(1, Translate(2, 0, 0));
    MotionPrimitive moving(store.wrap(new TestSphere(1.0f), Transform::Identity), motion);
    EXPECT_TRUE(boxNear(moving.worldExtent(), Aabb(-1, 1 + 127.0f / 64.0f, -1, 1, -1, 1), 1e-5f));
    // A hit is found where the content is at the ray's time, and the hit's space transforms are
    // composed with the transform at that time.
    for (float time : {0.0f, 1.0f, 0.5f}) {
        Ray ray(Point(-5, 0, 0), Vector(1, 0, 0));
        ray.time = time;
        Hit h;
        ASSERT_TRUE(moving.intersect(ray, h));
        EXPECT_TRUE(near(h.env.P, Point(2 * time - 1, 0, 0), 1e-5f));
        EXPECT_EQ(h.env.time, time);
        EXPECT_EQ(h.env.space.m, Translate(-2 * time, 0, 0).m);
        EXPECT_EQ(h.env.space.mInv, Translate(2 * time, 0, 0).m);
        EXPECT_EQ(h.env.shaderSpace.m, Translate(-2 * time, 0, 0).m);
    }
    // Content with its own transform is bounded where it lies, not where its shape is made.
    MotionPrimitive movingMoved(moved, motion);
    EXPECT_EQ(movingMoved.objectExtent(), moved->worldExtent());
    EXPECT_TRUE(boxNear(movingMoved.worldExtent(), Aabb(1, 3 + 127.0f / 64.0f, 2, 3, 3, 4), 1e-5f));

    // The base aggregate bounds the world extents of its list; an empty list keeps the empty box.
    PlainAggregate none;
    none.computeBbox();
    EXPECT_EQ(none.worldExtent(), Aabb());
    std::vector<Reference<Primitive>> list{rotated, moved};
    PlainAggregate two(list);
    EXPECT_EQ(two.worldExtent(), Aabb());  // until computeBbox runs
    two.computeBbox();
    EXPECT_TRUE(boxNear(two.worldExtent(), Aabb(-kHalfSqrt2, 3, 0, 3, 0, 4), 1e-6f));

    // An empty shape stays empty under any transform instead of becoming a huge box.
    Reference<Primitive> empty =
        store.wrap(new BoxOnlyShape(Aabb()), Rotate(1.0f, Vector(0, 1, 0)));
    EXPECT_EQ(empty->worldExtent(), Aabb());
    EXPECT_EQ(Instance(empty, Translate(1, 1, 1), PrimitiveAttributes()).worldExtent(), Aabb());
}

TEST(PrimitiveIntersect, HitsAreCarriedToWorldSpace) {
    TransformStore store;
    // A sphere stretched into an ellipsoid, turned and moved.
    const Transform o2w =
        Translate(2, -1, 3) * Rotate(0.7f, Vector(0, 0.6f, 0.8f)) * Scale(2.0f, 1.0f, 0.5f);
    Reference<Shape> sphere(new TestSphere(1.0f));
    Reference<ShadingAttributes> shading(new ShadingAttributes());
    Reference<LightList> lights(new LightList());
    PrimitiveAttributes attrs;
    attrs.shading = shading;
    attrs.lights = lights;
    NoPPrimitive prim(sphere, attrs, store.store(o2w));
    const Transform w2o = o2w.inverse();

    const Point target = o2w * Point(0.3f, 0.2f, 0.1f);
    const Point origin(-6.0f, 5.0f, 4.0f);
    const Ray ray(origin, target - origin);
    Hit hit;
    ASSERT_TRUE(prim.intersect(ray, hit));

    // The same intersection computed in object space.
    Hit local;
    ASSERT_TRUE(sphere->intersect(w2o * ray, local));
    EXPECT_FLOAT_EQ(hit.t, local.t);
    EXPECT_TRUE(near(hit.env.P, ray(hit.t), 1e-4f));
    EXPECT_TRUE(near(w2o * hit.env.P, local.env.P, 1e-5f));
    // Ng is the unit gradient of the ellipsoid |w2o(P)|^2 = 1, facing the ray.
    const Point q = w2o * hit.env.P;
    Vector grad = Vector(w2o.m.transpose() * Vector(q.x, q.y, q.z));
    grad.normalize();
    EXPECT_TRUE(near(hit.env.Ng, grad, 1e-5f));
    EXPECT_LT(dot(hit.env.Ng, ray.d), 0.0f);
    // Tangents are carried as vectors and stay perpendicular to the normal.
    EXPECT_TRUE(near(hit.env.dPdu, o2w * local.env.dPdu, 1e-4f));
    EXPECT_NEAR(dot(hit.env.dPdu, hit.env.Ng), 0.0f, 1e-4f * hit.env.dPdu.length());
    EXPECT_FLOAT_EQ(hit.env.u, local.env.u);
    // What the primitive itself records.
    EXPECT_EQ(hit.shape.get(), sphere.get());
    EXPECT_EQ(hit.attributes.shading.get(), shading.get());
    EXPECT_EQ(hit.attributes.lights.get(), lights.get());
    EXPECT_EQ(hit.transform, w2o);
    EXPECT_EQ(hit.env.space, Transform::Identity);
    EXPECT_EQ(hit.env.shaderSpace, Transform::Identity);
    // A hit without a normal keeps none.
    Hit bare;
    ASSERT_TRUE(store.wrap(new NoNormal, o2w)->intersect(ray, bare));
    EXPECT_EQ(bare.env.Ng, Normal(0.0f));

    // A miss leaves the hit alone; so does a hit beyond maxt.
    Hit untouched;
    untouched.t = 42.0f;
    EXPECT_FALSE(prim.intersect(Ray(origin, origin - target), untouched));
    EXPECT_FALSE(prim.intersect(Ray(origin, target - origin, 0.0f, hit.t * 0.99f), untouched));
    EXPECT_EQ(untouched.t, 42.0f);
    EXPECT_FALSE(untouched.shape);
    EXPECT_EQ(untouched.primitive, nullptr);

    // Without a transform of their own (a control mesh, a primitive placed by the identity) the
    // hit is made in world space and the caller's transforms are reset.
    ControlMeshPrimitive mesh(sphere, PrimitiveAttributes());
    Reference<Primitive> plain = store.wrap(new TestSphere(1.0f), Transform::Identity);
    const Ray axial(Point(0, 0, -5), Vector(0, 0, 2), 0.0f, 1e30f, 0.5f);
    for (const Primitive* p : std::vector<const Primitive*>{&mesh, plain.get()}) {
        Hit h;
        h.transform = Translate(1, 1, 1);
        h.env.space = Translate(2, 2, 2);
        h.env.shaderSpace = Translate(3, 3, 3);
        ASSERT_TRUE(p->intersect(axial, h));
        EXPECT_FLOAT_EQ(h.t, 2.0f);
        EXPECT_TRUE(near(h.env.P, Point(0, 0, -1), 1e-6f));
        EXPECT_TRUE(near(h.env.Ng, Normal(0, 0, -1), 1e-6f));
        EXPECT_EQ(h.transform, Transform::Identity);
        EXPECT_EQ(h.env.space, Transform::Identity);
        EXPECT_EQ(h.env.shaderSpace, Transform::Identity);
        EXPECT_EQ(h.env.time, 0.5f);
        EXPECT_EQ(h.primitive, p);
        EXPECT_TRUE(p->intersect(axial));
    }
}

TEST(PrimitiveIntersect, InstancesFillNullAttributeReferences) {
    TransformStore store;
    PrimitiveAttributes mine;
    mine.shading = new ShadingAttributes();
    mine.displacement = new ShaderGroup();
    mine.surface = new ShaderGroup();
    mine.volume = new ShaderGroup();
    mine.lights = new LightList();

    // An object made without attributes of its own takes all of the instance's.
    Reference<Primitive> bare = store.wrap(new TestSphere(1.0f), Transform::Identity);
    const Transform place = Translate(0, 3, 0) * Scale(2, 2, 2);
    Instance inst(bare, place, mine);
    const Ray ray(Point(0, 3, -10), Vector(0, 0, 1));
    Hit hit;
    ASSERT_TRUE(inst.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 8.0f);
    EXPECT_TRUE(near(hit.env.P, Point(0, 3, -2), 1e-5f));
    EXPECT_TRUE(near(hit.env.Ng, Normal(0, 0, -1), 1e-6f));  // unit after the scale
    EXPECT_EQ(refs(hit.attributes), refs(mine));
    EXPECT_EQ(hit.env.space.m, place.mInv);
    EXPECT_EQ(hit.env.space.mInv, place.m);
    EXPECT_EQ(hit.primitive, bare.get());
    EXPECT_TRUE(inst.intersect(ray));
    EXPECT_FALSE(inst.intersect(Ray(Point(0, 0, -10), Vector(0, 0, 1))));

    // An object with references of its own keeps them; the light list is always the instance's.
    PrimitiveAttributes own;
    own.shading = new ShadingAttributes();
    own.surface = new ShaderGroup();
    own.lights = new LightList();
    Reference<Primitive> dressed = store.wrap(new TestSphere(1.0f), Transform::Identity, own);
    Instance inst2(dressed, place, mine);
    Hit hit2;
    ASSERT_TRUE(inst2.intersect(ray, hit2));
    EXPECT_EQ(refs(hit2.attributes),
              (Refs{own.shading.get(), mine.displacement.get(), own.surface.get(),
                    mine.volume.get(), mine.lights.get()}));
}

TEST(PrimitiveFilter, RayVisibilityFlagsAndGeometrySets) {
    TransformStore store;
    PrimitiveAttributes attrs;
    ShadingAttributes* flags = new ShadingAttributes();
    attrs.shading = flags;
    Reference<Primitive> p = store.wrap(new TestSphere(1.0f), Transform::Identity, attrs);
    const Ray ray(Point(0, 0, -5), Vector(0, 0, 1));

    auto hits = [&](int type, const GeometrySet* set = nullptr, const Primitive* prim = nullptr) {
        RayDifferential kind;
        kind.type = type;
        Hit h;
        h.env.ray = type < 0 ? nullptr : &kind;
        h.env.geometrySet = set;
        return (prim ? prim : p.get())->intersect(ray, h);
    };
    // A cleared flag hides the primitive from the kinds of ray it names: traced rays need both
    // the reflection and the diffuse flag, camera rays (or none recorded, -1) ignore both; kinds
    // outside 0..3 are never filtered, nor is the boolean query.
    using R = RayDifferential;
    bool ShadingAttributes::*const flagOf[] = {
        nullptr, &ShadingAttributes::rayCamera, &ShadingAttributes::rayReflections,
        &ShadingAttributes::rayDiffuse, &ShadingAttributes::rayShadows};
    const int types[] = {-1, R::Camera, R::Traced, R::Gather, R::Transmission, 7};
    const bool seen[5][6] = {{1, 1, 1, 1, 1, 1},
                             {0, 0, 1, 1, 1, 1},
                             {1, 1, 0, 1, 1, 1},
                             {1, 1, 0, 0, 1, 1},
                             {1, 1, 1, 1, 0, 1}};
    for (int f = 0; f < 5; ++f) {
        if (flagOf[f]) flags->*flagOf[f] = false;
        for (int k = 0; k < 6; ++k) EXPECT_EQ(hits(types[k]), seen[f][k]) << f << " " << types[k];
        EXPECT_TRUE(p->intersect(ray));
        if (flagOf[f]) flags->*flagOf[f] = true;
    }
    // Geometry sets: only members are hit, whether or not the set was finalized.
    Reference<Primitive> other = store.wrap(new TestSphere(1.0f), Transform::Identity);
    GeometrySet withP, withoutP;
    withoutP.add(other.get());
    EXPECT_FALSE(hits(0, &withoutP));
    withP.add(other.get());
    withP.add(p.get());
    EXPECT_TRUE(hits(0, &withP));
    withP.finalize();
    withoutP.finalize();
    EXPECT_TRUE(hits(0, &withP));
    EXPECT_FALSE(hits(0, &withoutP));

    // An instance hidden from a kind of ray hides its object from it.
    PrimitiveAttributes hidden;
    hidden.shading = new ShadingAttributes();
    hidden.shading->rayShadows = false;
    Instance inst(p, Transform::Identity, hidden);
    EXPECT_FALSE(hits(R::Transmission, nullptr, &inst));
    EXPECT_TRUE(hits(-1, nullptr, &inst));
}

// Shadow rays may stop at the boolean query only where whatever they meet blocks them whole:
// one attribute that lets light through, or asks for shading, clears the answer, and
// aggregates and wrappers answer for all of their content.
TEST(PrimitiveShadows, StopsShadowRaysOnlyWhereEverythingIsOpaque) {
    TransformStore store;
    auto make = [&](void (*change)(ShadingAttributes&, Shape&)) {
        PrimitiveAttributes attrs;
        attrs.shading = new ShadingAttributes();
        attrs.shading->transparentShadows = true;  // opacity from the attribute, unshaded
        Shape* sphere = new TestSphere(1.0f);
        if (change) change(*attrs.shading, *sphere);
        return store.wrap(sphere, Transform::Identity, attrs);
    };
    const struct {
        const char* what;
        void (*change)(ShadingAttributes&, Shape&);
        bool stops;
    } rows[] = {
        {"opaque", nullptr, true},
        {"half opaque", [](ShadingAttributes& s, Shape&) { s.opacity = Color(1, 0.5f, 1); }, false},
        {"hidden from shadows", [](ShadingAttributes& s, Shape&) { s.rayShadows = false; }, false},
        {"shaded for its opacity",
         [](ShadingAttributes& s, Shape&) { s.transparentShadows = false; }, false},
        {"vertex Os",
         [](ShadingAttributes&, Shape& p) { p.setOs(new ConstantInterpolator<Color>(Color(1))); },
         false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(make(row.change)->stopsShadowRays(), row.stops) << row.what;
    EXPECT_FALSE(store.wrap(new TestSphere(1.0f), Transform::Identity)->stopsShadowRays());

    const Reference<Primitive> opaque = make(nullptr), half = make(rows[1].change);
    std::vector<Reference<Primitive>> both{opaque, make(nullptr)}, mixed{opaque, half}, none;
    EXPECT_TRUE(PlainAggregate(both).stopsShadowRays());
    EXPECT_FALSE(PlainAggregate(mixed).stopsShadowRays());
    EXPECT_FALSE(PlainAggregate(none).stopsShadowRays());
    EXPECT_TRUE(MotionPrimitive(opaque, MotionTransform(Transform::Identity)).stopsShadowRays());
    EXPECT_FALSE(TimeWindowPrimitive(half, 0, 1).stopsShadowRays());
    // An instance's attributes fill in its object's at each hit: not known ahead.
    EXPECT_FALSE(Instance(opaque, Transform::Identity, PrimitiveAttributes()).stopsShadowRays());
}

TEST(Primitive, MissingPartsReportAndNeverHitAndTheBaseAggregateRefuses) {
    CaptureReports reports;
    TransformStore store;
    NoPPrimitive noShape(Reference<Shape>(), PrimitiveAttributes(),
                         store.store(Translate(1, 0, 0)));
    ControlMeshPrimitive noMesh{Reference<Shape>(), PrimitiveAttributes()};
    Instance noObject(Reference<Primitive>(), Transform::Identity, PrimitiveAttributes());
    MotionPrimitive noContent{Reference<Primitive>(), MotionTransform(Transform::Identity)};
    MotionPrimitive noSamples(store.wrap(new TestSphere(1.0f), Transform::Identity),
                              MotionTransform());

    EXPECT_EQ(
        reports.texts(),
        (std::vector<std::string>{
            "3 NoPPrimitive: no shape. Ignoring ...",
            "3 ControlMeshPrimitive: no shape. Ignoring ...", "3 Instance: no object. Ignoring ...",
            "3 MotionPrimitive: no content. Ignoring ...",
            "3 MotionPrimitive: motion transform without samples. Using the identity"}));

    const Ray ray(Point(0, 0, -5), Vector(0, 0, 1));
    Hit hit;
    for (const Primitive* p :
         std::vector<const Primitive*>{&noShape, &noMesh, &noObject, &noContent}) {
        EXPECT_FALSE(p->intersect(ray, hit));
        EXPECT_FALSE(p->intersect(ray));
        EXPECT_EQ(p->worldExtent(), Aabb());
    }
    EXPECT_EQ(noShape.area(), 0.0f);
    EXPECT_EQ(noShape.getN(), nullptr);
    ShaderEnvironment env;
    noShape.sample(env, Point(0.0f), 0.5f, 0.5f);  // does nothing
    // Without samples the motion is the identity, so the sphere is where it was made.
    EXPECT_TRUE(noSamples.intersect(ray, hit));
    EXPECT_FLOAT_EQ(hit.t, 4.0f);
    // The base aggregate finds nothing and refuses the boolean query.
    PlainAggregate agg;
    EXPECT_FALSE(agg.intersect(ray, hit));
    try {
        agg.intersect(ray);
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Error::AggregateIntersect);
        EXPECT_STREQ(e.what(), "Aggregate::intersect(const Ray&) method called !");
    }
}

}  // namespace
