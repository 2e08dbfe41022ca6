#include "core/math/motion.h"

#include "core/math/constants.h"
#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ovo;
using ovotest::near;

namespace {

// Samples (0, Translate(0,0,0)) and (1, Translate(2,0,0)).
MotionTransform slide() {
    const float times[2] = {0.0f, 1.0f};
    MotionTransform m(2, times);
    m.setSample(0, Translate(0, 0, 0));
    m.setSample(1, Translate(2, 0, 0));
    return m;
}

}  // namespace

TEST(MotionTransform, ConstructionAndStaticAccess) {
    EXPECT_EQ(MotionTransform().size(), 0u);
    const MotionTransform one(Translate(1, 2, 3));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.getTime(0), 0.0f);
    EXPECT_FALSE(one.isMoving());
    EXPECT_EQ(one.getStatic(), Translate(1, 2, 3));

    const float times[3] = {0.0f, 0.5f, 1.0f};
    MotionTransform three(3, times);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_TRUE(three.isMoving());
    EXPECT_EQ(three.getSample(2), Transform::Identity);
    three.setSample(1, Scale(2, 2, 2));
    EXPECT_EQ(three.getSample(1), Scale(2, 2, 2));
    EXPECT_EQ(three.getTime(1), 0.5f);
    // A moving transform has no static value: the identity, not its first sample.
    three.setSample(0, Translate(1, 0, 0));
    EXPECT_EQ(three.getStatic(), Transform::Identity);
    three.setTimes(0, times);
    EXPECT_EQ(three.size(), 0u);
    three = Scale(3, 3, 3);
    ASSERT_EQ(three.size(), 1u);
    EXPECT_EQ(three.getStatic(), Scale(3, 3, 3));

    // inverse swaps each sample's matrices and keeps the times; *= Transform multiplies every
    // sample on the right.
    const MotionTransform inv = slide().inverse();
    EXPECT_EQ(inv.getTime(1), 1.0f);
    EXPECT_EQ(inv.getSample(1), Translate(2, 0, 0).inverse());
    MotionTransform m = slide();
    m *= Scale(2, 2, 2);
    EXPECT_EQ(m.getSample(1), Translate(2, 0, 0) * Scale(2, 2, 2));
}

TEST(MotionTransform, BracketingAndInterpolation) {
    const MotionTransform m = slide();
    // Before the first time and after the last: the end samples, both matrices as stored.
    const Transform before = m.at(-3.0f);
    EXPECT_EQ(before, m.getSample(0));
    EXPECT_EQ(m.at(0.0f), m.getSample(0));
    EXPECT_EQ(m.at(7.0f), m.getSample(1));
    // A fake inverse in the end sample survives: nothing is recomputed at the ends.
    MotionTransform fake = slide();
    fake.setSample(1, Transform(Translate(2, 0, 0).m, Matrix(5.0f)));
    EXPECT_EQ(fake.at(2.0f).getInverse(), Matrix(5.0f));
    // Inside: interpolated forward matrix, inverse recomputed from it.
    const Transform quarter = m.at(0.25f);
    EXPECT_TRUE(near(quarter.getMatrix(), Translate(0.5f, 0, 0).getMatrix(), 1e-7f));
    EXPECT_TRUE(near(quarter.getInverse(), Translate(-0.5f, 0, 0).getMatrix(), 1e-7f));
    EXPECT_TRUE(near(fake.at(0.5f).getInverse(), Translate(-1, 0, 0).getMatrix(), 1e-7f));

    // Matrices are interpolated element by element, not as rotations: half way between 0° and
    // 90° about z the matrix is the average, which shrinks the unit x axis.
    const float times[2] = {0.0f, 1.0f};
    MotionTransform spin(2, times);
    spin.setSample(1, Rotate(radians(90.0f), Vector(0, 0, 1)));
    const Point half = spin.at(0.5f) * Point(1, 0, 0);
    EXPECT_TRUE(near(half, Point(0.5f, 0.5f, 0), 1e-6f));

    // Three samples: the bracket is found by time, not by index.
    const float t3[3] = {0.0f, 0.5f, 2.0f};
    MotionTransform uneven(3, t3);
    uneven.setSample(0, Translate(0, 0, 0));
    uneven.setSample(1, Translate(0, 1, 0));
    uneven.setSample(2, Translate(0, 4, 0));
    EXPECT_TRUE(near(uneven.at(1.25f) * Point(0, 0, 0), Point(0, 2.5f, 0), 1e-6f));
    EXPECT_TRUE(near(uneven.at(0.25f) * Point(0, 0, 0), Point(0, 0.5f, 0), 1e-6f));
}

TEST(MotionTransform, RaysAtTheirTime) {
    const MotionTransform m = slide();
    const Ray r(Point(0, 0, 0), Vector(0, 0, 1), 0.1f, 9.0f, 0.5f);
    const Ray mid = m * r;
    EXPECT_TRUE(near(mid.o, Point(1, 0, 0), 1e-6f));
    EXPECT_EQ(mid.d, Vector(0, 0, 1));
    EXPECT_EQ(mid.mint, 0.1f);
    EXPECT_EQ(mid.maxt, 9.0f);
    EXPECT_EQ(mid.time, 0.5f);
    // At the ends, the end sample's ray transform.
    Ray late = r;
    late.time = 3.0f;
    EXPECT_EQ((m * late).o, Point(2, 0, 0));

    // Inside the bracket the origins are interpolated after the projective divide, and the
    // direction by the 3x3 blocks alone.
    const float times[2] = {0.0f, 1.0f};
    MotionTransform proj(2, times);
    proj.setSample(0, Transform(Matrix(1.0f), Matrix(1.0f)));
    Matrix halve(1.0f);
    halve.m[3][3] = 2.0f;
    halve.m[0][3] = 4.0f;  // a translation that the direction must not see
    proj.setSample(1, Transform(halve, halve.inverse()));
    const Ray pr = proj * Ray(Point(2, 2, 2), Vector(1, 0, 0), 0, 1, 0.5f);
    // Sample 1 maps (2,2,2) to (6,2,2)/2 = (3,1,1); the average with (2,2,2) is (2.5,1.5,1.5).
    EXPECT_TRUE(near(pr.o, Point(2.5f, 1.5f, 1.5f), 1e-6f));
    EXPECT_TRUE(near(pr.d, Vector(1, 0, 0), 1e-6f));

    RayDifferential rd(Point(0, 0, 0), Vector(0, 0, 1), 0, 1, 0.25f);
    rd.hasDifferentials = true;
    rd.rx = Ray(Point(0, 1, 0), Vector(0, 0, 1));
    rd.ry = Ray(Point(0, 0, 1), Vector(0, 1, 0));
    rd.depth = 4;
    const RayDifferential out = m * rd;
    EXPECT_TRUE(out.hasDifferentials);
    EXPECT_EQ(out.depth, 4);
    EXPECT_TRUE(near(out.o, Point(0.5f, 0, 0), 1e-6f));
    EXPECT_TRUE(near(out.rx.o, Point(0.5f, 1, 0), 1e-6f));
    EXPECT_TRUE(near(out.ry.o, Point(0.5f, 0, 1), 1e-6f));
    EXPECT_EQ(out.ry.d, Vector(0, 1, 0));
    rd.time = -1.0f;
    EXPECT_EQ((m * rd).rx.o, Point(0, 1, 0));
}

TEST(MotionTransform, BoxIsBoundedOver128Instants) {
    const MotionTransform m = slide();
    const Aabb box(0, 1, 0, 1, 0, 1);
    const Aabb moving = m * box;
    EXPECT_EQ(moving.bmin[0], 0.0f);
    // The last instant is 127/128: the box reaches 1 + 127/64, not 1 + 2.
    EXPECT_FLOAT_EQ(moving.bmax[0], 1.0f + 127.0f / 64.0f);
    EXPECT_EQ(moving.bmin[1], 0.0f);
    EXPECT_EQ(moving.bmax[2], 1.0f);
    // A static transform bounds once.
    EXPECT_EQ(MotionTransform(Translate(0, 5, 0)) * box, Aabb(0, 1, 5, 6, 0, 1));

    // Samples that go out and come back: the bound includes the middle.
    const float t3[3] = {0.0f, 0.5f, 1.0f};
    MotionTransform bounce(3, t3);
    bounce.setSample(1, Translate(0, 0, 10));
    const Aabb b3 = bounce * box;
    EXPECT_FLOAT_EQ(b3.bmax[2], 11.0f);
    EXPECT_EQ(b3.bmin[2], 0.0f);
}

TEST(MotionTransform, CompositionOverTime) {
    // A with {0, 1}, B with {0, 0.5, 1}: three samples, the middle one A(0.5)·B(0.5).
    MotionTransform a = slide();
    const float tb[3] = {0.0f, 0.5f, 1.0f};
    MotionTransform b(3, tb);
    b.setSample(0, Scale(1, 1, 1));
    b.setSample(1, Scale(3, 3, 3));
    b.setSample(2, Scale(2, 2, 2));
    MotionTransform ab = a;
    ab *= b;
    ASSERT_EQ(ab.size(), 3u);
    EXPECT_EQ(ab.getTime(0), 0.0f);
    EXPECT_EQ(ab.getTime(1), 0.5f);
    EXPECT_EQ(ab.getTime(2), 1.0f);
    const Transform expectedMid = a.at(0.5f) * b.getSample(1);
    EXPECT_EQ(ab.getSample(1), expectedMid);
    EXPECT_TRUE(near(ab.getSample(1) * Point(1, 0, 0), Point(4, 0, 0), 1e-6f));
    EXPECT_EQ(ab.getSample(2), a.getSample(1) * b.getSample(2));
    EXPECT_TRUE(
        near(ab.getSample(1).getMatrix() * ab.getSample(1).getInverse(), Matrix::Identity, 1e-6f));

    // Disjoint time lists: each side clamps outside its range.
    const float ta[2] = {0.0f, 0.2f}, tl[2] = {0.6f, 1.0f};
    MotionTransform early(2, ta), late(2, tl);
    early.setSample(1, Translate(1, 0, 0));
    late.setSample(0, Scale(2, 2, 2));
    late.setSample(1, Scale(4, 4, 4));
    MotionTransform el = early;
    el *= late;
    ASSERT_EQ(el.size(), 4u);
    EXPECT_EQ(el.getTime(0), 0.0f);
    EXPECT_EQ(el.getTime(3), 1.0f);
    EXPECT_EQ(el.getSample(0), early.getSample(0) * late.getSample(0));  // late clamps to first
    EXPECT_EQ(el.getSample(2), early.getSample(1) * late.getSample(0));  // early clamps to last
    EXPECT_EQ(el.getSample(3), early.getSample(1) * late.getSample(1));

    // A static left side takes B's times.
    MotionTransform st(Translate(0, 0, 1));
    st *= b;
    ASSERT_EQ(st.size(), 3u);
    EXPECT_EQ(st.getTime(1), 0.5f);
    EXPECT_EQ(st.getSample(1), Translate(0, 0, 1) * Scale(3, 3, 3));
    EXPECT_EQ(st.getSample(1).getInverse(),
              Scale(3, 3, 3).getInverse() * Translate(0, 0, 1).getInverse());
    // A static right side multiplies every sample.
    MotionTransform right = slide();
    right *= MotionTransform(Scale(2, 1, 1));
    ASSERT_EQ(right.size(), 2u);
    EXPECT_EQ(right.getSample(1), Translate(2, 0, 0) * Scale(2, 1, 1));
}

TEST(MotionTransform, RemoveUnusedSamples) {
    // Trimming to [0.25, 0.75]: exactly two samples, evaluated by at().
    MotionTransform m = slide();
    const MotionTransform original = slide();
    m.removeUnusedSamples(0.25f, 0.75f);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m.getTime(0), 0.25f);
    EXPECT_EQ(m.getTime(1), 0.75f);
    EXPECT_EQ(m.getSample(0), original.at(0.25f));
    EXPECT_EQ(m.getSample(1), original.at(0.75f));

    // The full range changes nothing; neither does a single sample.
    MotionTransform full = slide();
    full.removeUnusedSamples(0.0f, 1.0f);
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(full.getSample(1), original.getSample(1));
    MotionTransform single(Translate(1, 1, 1));
    single.removeUnusedSamples(5.0f, 6.0f);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single.getTime(0), 0.0f);

    // Interior samples inside the interval are kept as stored; exact ends are not re-evaluated.
    const float t4[4] = {0.0f, 0.3f, 0.6f, 1.0f};
    MotionTransform four(4, t4);
    for (unsigned i = 0; i < 4; ++i) four.setSample(i, Translate(float(i), 0, 0));
    MotionTransform cut = four;
    cut.removeUnusedSamples(0.3f, 0.8f);
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut.getTime(0), 0.3f);
    EXPECT_EQ(cut.getSample(0), four.getSample(1));
    EXPECT_EQ(cut.getTime(1), 0.6f);
    EXPECT_EQ(cut.getTime(2), 0.8f);
    EXPECT_EQ(cut.getSample(2), four.at(0.8f));
    MotionTransform cut2 = four;
    cut2.removeUnusedSamples(0.1f, 0.6f);
    ASSERT_EQ(cut2.size(), 3u);
    EXPECT_EQ(cut2.getTime(0), 0.1f);
    EXPECT_EQ(cut2.getTime(2), 0.6f);
    EXPECT_EQ(cut2.getSample(2), four.getSample(2));

    // A zero-length shutter inside the range keeps the one instant.
    MotionTransform instant = slide();
    instant.removeUnusedSamples(0.5f, 0.5f);
    ASSERT_EQ(instant.size(), 1u);
    EXPECT_EQ(instant.getTime(0), 0.5f);
    EXPECT_FALSE(instant.isMoving());
    EXPECT_EQ(instant.getStatic(), original.at(0.5f));

    // Shutter beyond every sample: the last sample stays, so the transform remains usable.
    MotionTransform past = slide();
    past.removeUnusedSamples(2.0f, 3.0f);
    ASSERT_EQ(past.size(), 1u);
    EXPECT_EQ(past.getTime(0), 1.0f);
    EXPECT_EQ(past.getStatic(), original.getSample(1));

    // Shutter before every sample: two copies of the first transform at open and close.
    MotionTransform ahead = slide();
    ahead.removeUnusedSamples(-2.0f, -1.0f);
    ASSERT_EQ(ahead.size(), 2u);
    EXPECT_EQ(ahead.getTime(0), -2.0f);
    EXPECT_EQ(ahead.getTime(1), -1.0f);
    EXPECT_EQ(ahead.getSample(1), original.getSample(0));

    // Extending past the last sample: the interval is clipped where the list ends.
    MotionTransform tail = slide();
    tail.removeUnusedSamples(0.5f, 2.0f);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail.getTime(0), 0.5f);
    EXPECT_EQ(tail.getTime(1), 1.0f);
}
