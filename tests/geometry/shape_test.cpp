#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/geometry/interpolator.h"
#include "core/base/reference.h"
#include "core/geometry/shape.h"
#include "core/math/transform.h"
#include "tests/geometry/geometry_test_util.h"

using namespace ovo;

namespace {

// Exposes the protected helpers of the base.
class ProbeShape : public Shape {
  public:
    ProbeShape() {}
    ProbeShape(const Transform& o2w, const ShapeAttributes& a) : Shape(o2w, a) {}
    Aabb objectExtent() const override { return Aabb(Point(0.0f)); }
    using Shape::checkFrontFacing;
    using Shape::checkHitBias;
    using Shape::computeNormalDerivatives;
    using Shape::isFrontFacing;
};

TEST(Interpolator, BilinearForm) {
    // Corners are the values at (0,0), (1,0), (0,1), (1,1); the derivative in u depends on v
    // unless the patch is planar.
    struct Case {
        float c[4], u, v, value, du, dv;
    } cases[] = {
        {{0, 1, 2, 3}, 0.5f, 0.5f, 1.5f, 1, 2},
        {{0, 1, 0, 3}, 0, 0.25f, 0, 1.5f, 0},
        {{4, 1, 0, 3}, 0.25f, 0.5f, 2.0f, 0, -2.5f},
    };
    for (const Case& c : cases) {
        BilinearInterpolator<float> f(c.c[0], c.c[1], c.c[2], c.c[3]);
        EXPECT_FLOAT_EQ(f.value(c.u, c.v), c.value) << c.c[0] << " " << c.u << " " << c.v;
        EXPECT_FLOAT_EQ(f.derivativeU(c.u, c.v), c.du) << c.c[0] << " " << c.u << " " << c.v;
        EXPECT_FLOAT_EQ(f.derivativeV(c.u, c.v), c.dv) << c.c[0] << " " << c.u << " " << c.v;
        EXPECT_FLOAT_EQ(f.valueAt(7, c.u, c.v), c.value);  // one piece answers for every face
    }
}

TEST(Shape, OrientationHandednessFacingAndHitBias) {
    ShapeAttributes plain, inside, oneSided;
    inside.orientationInside = true;
    oneSided.twoSided = false;
    const Normal n(0.0f, 0.0f, 1.0f);

    ProbeShape keeps(Translate(1, 2, 3), plain);
    EXPECT_EQ(keeps.flipNormal(n), n);
    EXPECT_EQ(ProbeShape(Rotate(0.3f, Vector(0, 0, 1)), inside).flipNormal(n), -n);
    EXPECT_EQ(ProbeShape(Scale(-1, 1, 1), plain).flipNormal(n), -n);
    // Mirrored and reversed cancel out; a zero determinant counts as mirrored.
    EXPECT_EQ(ProbeShape(Scale(-1, 1, 1), inside).flipNormal(n), n);
    EXPECT_TRUE(ProbeShape(Scale(1, 1, 0), plain).swapsHandedness());

    // Two-sided shapes accept hits from behind; one-sided ones only against the normal.
    EXPECT_TRUE(keeps.checkFrontFacing(Vector(0, 0, 1), n));
    EXPECT_TRUE(keeps.isFrontFacing(Vector(0, 0, -1), n));
    EXPECT_FALSE(keeps.isFrontFacing(Vector(0, 0, 1), n));
    EXPECT_FALSE(keeps.isFrontFacing(Vector(1, 0, 0), n));  // grazing is not front
    ProbeShape single(Transform::Identity, oneSided);
    EXPECT_FALSE(single.checkFrontFacing(Vector(0, 0, 1), n));
    EXPECT_TRUE(single.checkFrontFacing(Vector(0.5f, 0, -1), n));

    // The hit bias (0.01) is a distance from the ray's origin, not a ray parameter.
    const Ray r(Point(0.0f), Vector(2.0f, 0.0f, 0.0f));
    EXPECT_FALSE(single.checkHitBias(r, Point(0.005f, 0.0f, 0.0f)));
    EXPECT_TRUE(single.checkHitBias(r, Point(0.02f, 0.0f, 0.0f)));
    EXPECT_TRUE(single.checkHitBias(r, Point(0.0f, -0.008f, 0.008f)));
}

class Tracked : public ReferenceCounted {
  public:
    explicit Tracked(int* deleted) : deleted(deleted) {}
    ~Tracked() override { ++*deleted; }
    int* deleted;
};

TEST(Reference, ConcurrentCopiesFromManyThreads) {
    int deleted = 0;
    Reference<Tracked> shared(new Tracked(&deleted));
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&shared] {
            for (int n = 0; n < 20000; ++n) {
                Reference<Tracked> local(shared);
                Reference<Tracked> other = local;
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(shared->references(), 1);
    EXPECT_EQ(deleted, 0);
    shared.reset();
    EXPECT_EQ(deleted, 1);
}

}  // namespace
