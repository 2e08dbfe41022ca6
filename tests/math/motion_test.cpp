#include "core/math/motion.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/math/constants.h"
#include "tests/math/math_test_util.h"

using namespace ovo;
using ovotest::near;

namespace {

// Samples at `times`, the i-th a translation by steps[i] along x.
MotionTransform along(std::vector<float> times, std::vector<float> steps) {
    MotionTransform m(int(times.size()), times.data());
    for (unsigned i = 0; i < times.size(); ++i) m.setSample(i, Translate(steps[i], 0, 0));
    return m;
}

MotionTransform slide() { return along({0.0f, 1.0f}, {0.0f, 2.0f}); }

std::vector<float> timesOf(const MotionTransform& m) {
    std::vector<float> t;
    for (unsigned i = 0; i < m.size(); ++i) t.push_back(m.getTime(i));
    return t;
}

}  // namespace

TEST(MotionTransform, EvaluationClampsAtTheEndsAndInterpolatesInside) {
    MotionTransform m = slide();
    // The ends as stored: a fake inverse survives there; inside, the inverse is recomputed.
    m.setSample(1, Transform(Translate(2, 0, 0).m, Matrix(5.0f)));
    EXPECT_EQ(m.at(-3.0f), m.getSample(0));
    EXPECT_EQ(m.at(7.0f).getInverse(), Matrix(5.0f));
    EXPECT_TRUE(near(m.at(0.25f).getInverse(), Translate(-0.5f, 0, 0).getMatrix(), 1e-7f));
    // Three samples: the bracket is found by time, not by index.
    const MotionTransform uneven = along({0.0f, 0.5f, 2.0f}, {0.0f, 1.0f, 4.0f});
    EXPECT_TRUE(near(uneven.at(1.25f) * Point(0, 0, 0), Point(2.5f, 0, 0), 1e-6f));
    // Element by element, not as a rotation: half way from 0° to 90° shrinks the x axis.
    const float times[2] = {0.0f, 1.0f};
    MotionTransform spin(2, times);
    spin.setSample(1, Rotate(radians(90.0f), Vector(0, 0, 1)));
    EXPECT_TRUE(near(spin.at(0.5f) * Point(1, 0, 0), Point(0.5f, 0.5f, 0), 1e-6f));
    EXPECT_EQ(spin.getStatic(), Transform::Identity);  // a moving transform has none

    // Rays: origins interpolated after the projective divide, directions by the 3x3 blocks.
    MotionTransform proj(2, times);
    Matrix halve(1.0f);
    halve.m[3][3] = 2.0f;
    halve.m[0][3] = 4.0f;  // a translation that the direction must not see
    proj.setSample(1, Transform(halve, halve.inverse()));
    const Ray pr = proj * Ray(Point(2, 2, 2), Vector(1, 0, 0), 0, 1, 0.5f);
    EXPECT_TRUE(near(pr.o, Point(2.5f, 1.5f, 1.5f), 1e-6f));  // (2,2,2) and (6,2,2)/2
    EXPECT_TRUE(near(pr.d, Vector(1, 0, 0), 1e-6f));
    RayDifferential rd(Point(0, 0, 0), Vector(0, 0, 1), 0, 1, 0.25f);
    rd.hasDifferentials = true;
    rd.rx = Ray(Point(0, 1, 0), Vector(0, 0, 1));
    EXPECT_TRUE(near((slide() * rd).rx.o, Point(0.5f, 1, 0), 1e-6f));

    // Boxes are bounded over 128 instants: the last is 127/128, so x reaches 1 + 127/64.
    const Aabb box(0, 1, 0, 1, 0, 1);
    EXPECT_FLOAT_EQ((slide() * box).bmax[0], 1.0f + 127.0f / 64.0f);
    EXPECT_EQ(MotionTransform(Translate(0, 5, 0)) * box, Aabb(0, 1, 5, 6, 0, 1));
    EXPECT_FLOAT_EQ((along({0, 0.5f, 1}, {0, 10, 0}) * box).bmax[0], 11.0f);  // out and back
}

// The product is sampled at the union of both time lists, each side evaluated by at() where it
// has no sample of its own; a static side multiplies every sample of the other.
TEST(MotionTransform, CompositionSamplesTheUnionOfTimes) {
    const struct {
        MotionTransform a, b;
        std::vector<float> times;
    } cases[] = {
        {slide(), along({0, 0.5f, 1}, {1, 3, 2}), {0, 0.5f, 1}},
        {along({0, 0.2f}, {0, 1}), along({0.6f, 1}, {2, 4}), {0, 0.2f, 0.6f, 1}},
        {MotionTransform(Scale(1, 1, 2)), along({0.25f, 0.5f, 1}, {1, 3, 2}), {0.25f, 0.5f, 1}},
        {along({0.25f, 1}, {1, 3}), MotionTransform(Scale(2, 1, 1)), {0.25f, 1}},
        {along({0, 0.3f, 1}, {1, 3, 2}), along({0.3f, 0.7f}, {5, 6}), {0, 0.3f, 0.7f, 1}},
    };
    for (const auto& c : cases) {
        MotionTransform ab = c.a;
        ab *= c.b;
        ASSERT_EQ(timesOf(ab), c.times);
        for (unsigned i = 0; i < ab.size(); ++i) {
            const float t = ab.getTime(i);
            const Matrix expected = c.a.at(t).getMatrix() * c.b.at(t).getMatrix();
            EXPECT_TRUE(near(ab.getSample(i).getMatrix(), expected, 1e-6f)) << t;
            EXPECT_TRUE(near(ab.getSample(i).getInverse(), expected.inverse(), 1e-6f)) << t;
        }
    }
    // A time both lists hold takes both stored samples.
    MotionTransform shared = slide();
    shared *= along({0, 1}, {5, 7});
    EXPECT_EQ(shared.getSample(1), Translate(2, 0, 0) * Translate(7, 0, 0));
}

TEST(MotionTransform, RemoveUnusedSamplesTrimsToTheShutter) {
    const MotionTransform four = along({0, 0.3f, 0.6f, 1}, {0, 1, 2, 3});
    const struct {
        MotionTransform m;
        float open, close;
        std::vector<float> kept;
    } cases[] = {
        {slide(), 0.25f, 0.75f, {0.25f, 0.75f}},
        {MotionTransform(Translate(1, 1, 1)), 5, 6, {0}},  // nor does a single sample
        {four, 0.3f, 0.8f, {0.3f, 0.6f, 0.8f}},            // samples inside are kept as stored
        {four, 0.3f, 0.6f, {0.3f, 0.6f}},                  // one at close is kept once
        {slide(), 0.5f, 0.5f, {0.5f}},                     // a zero-length shutter: one instant
        {slide(), 2, 3, {1}},                              // all before open: the last stays
        {slide(), -2, -1, {-2, -1}},                       // all after close: the first, twice
        {slide(), 0.5f, 2, {0.5f, 1}},                     // clipped where the list ends
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.open << ".." << c.close);
        MotionTransform m = c.m;
        m.removeUnusedSamples(c.open, c.close);
        ASSERT_EQ(timesOf(m), c.kept);
        for (unsigned i = 0; i < m.size(); ++i) EXPECT_EQ(m.getSample(i), c.m.at(c.kept[i])) << i;
    }
}
