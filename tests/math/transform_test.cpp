#include "core/math/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/math/constants.h"
#include "core/params/error.h"
#include "tests/math/math_test_util.h"

using namespace ovo;
using ovotest::near;

TEST(Transform, BuildersKeepForwardAndInverseInStepAndSkewRefusesBadAngles) {
    const Vector x(1, 0, 0), y(0, 1, 0), c(0.5f, std::sqrt(3.0f) / 2.0f, 0.0f);  // c: 60° from x
    const Transform built[] = {Translate(1, 2, 3),
                               Scale(2, 4, 8),
                               Rotate(radians(50.0f), Vector(Tuple(1, 2, -2).hat())),
                               Skew(radians(-89.0f), x, y),
                               Skew(radians(89.0f), x, y),
                               Skew(radians(20.0f), c, x),
                               Skew(radians(-119.0f), c, x),  // just inside c's range
                               Translate(1, 2, 3) * Scale(2, 4, 8)};
    for (const Transform& t : built) {
        EXPECT_TRUE(near(t.getMatrix() * t.getInverse(), Matrix::Identity, 1e-4f)) << t.getMatrix();
        EXPECT_EQ(t.inverse().getMatrix(), t.getInverse());
    }
    // (A·B)·p applies B first; the inverse is inv(B)·inv(A).
    const Transform ab = Translate(1, 2, 3) * Scale(2, 4, 8);
    EXPECT_EQ(ab * Point(1, 1, 1), Point(3, 6, 11));
    EXPECT_EQ(ab.getInverse(), Scale(2, 4, 8).getInverse() * Translate(1, 2, 3).getInverse());
    // For a ⟂ b the skew is Bᵀ·K·B with k = tan(angle), B the columns a×b = z, a = x, b = y.
    Matrix K(1.0f);
    K.m[1][2] = std::tan(radians(30.0f));
    const Matrix B(0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1);
    EXPECT_TRUE(near(Skew(radians(30.0f), x, y).getMatrix(), B.transpose() * K * B, 1e-6f));
    // No test for zero scale.
    EXPECT_EQ(Scale(0, 1, 1).getInverse().m[0][0], std::numeric_limits<float>::infinity());

    // Skew refuses angles out of its range: a ⟂ b accepts (−90°, 90°); c at 60° from x accepts
    // (60° − 180°, 60°).
    const struct {
        Vector a, b;
        float degrees;
    } refused[] = {{x, y, 90}, {x, y, -90}, {x, y, 120}, {x, y, -135}, {c, x, 61}, {c, x, -121}};
    for (const auto& r : refused) {
        try {
            Skew(radians(r.degrees), r.a, r.b);
            ADD_FAILURE() << "no exception at " << r.degrees;
        } catch (const Error& e) {
            EXPECT_EQ(int(e.code()), 61);
            EXPECT_STREQ(e.what(), "Skew: invalid angle. Ignoring ...");
        }
    }
}

TEST(Transform, NormalsUseTheStoredInverseAndOrderingTheForwardMatrix) {
    const Transform s = Scale(1, 4, 1);
    EXPECT_EQ(s * Normal(1, 1, 0), Normal(1, 0.25f, 0));
    EXPECT_TRUE(near(s.getMatrix() * Normal(1, 1, 0), Normal(1, 0.25f, 0), 1e-6f));
    const Transform fake(Matrix::Identity, Matrix(2, 3, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    EXPECT_EQ(fake * Normal(1, 0, 0), Normal(2, 3, 0));  // nothing is recomputed

    // The first differing forward element decides, in row order; inverses play no part.
    const Transform c(Matrix(1, 0, 0, 9, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), Matrix::Identity);
    const Transform d(Matrix(2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), Matrix::Identity);
    const Transform e(c.getMatrix(), Matrix(3.0f));
    EXPECT_TRUE(c < d && !(d < c));
    EXPECT_FALSE(c < e || e < c);
}

TEST(Transform, RaysAndBoxes) {
    RayDifferential rd(Point(1, 2, 3), Vector(0, 0, 2), 0.5f, 10.0f, 0.25f);
    rd.hasDifferentials = true;
    rd.ry = Ray(Point(0, 0.1f, 0), Vector(0, 0.1f, 1));
    const RayDifferential td = Scale(2, 2, 2) * rd;
    EXPECT_EQ(td.d, Vector(0, 0, 4));  // not renormalised
    EXPECT_EQ(td.ry.d, Vector(0, 0.2f, 2));
    // Projective: the direction is the difference of two projected points, not M·d.
    const Transform persp(Matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0));
    const Ray pr = persp * Ray(Point(1, 1, 1), Vector(1, 0, 1));
    EXPECT_TRUE(near(pr.o, Point(1, 1, 1), 1e-6f));
    EXPECT_TRUE(near(pr.d, Vector(0, -0.5f, 0), 1e-6f));

    // A box goes to the tight bound of its eight transformed corners.
    std::mt19937 rng(9);
    const Aabb b(-1, 2, 0, 0.5f, -3, -1);
    for (int n = 0; n < 50; ++n) {
        const Transform t(ovotest::randomMatrix(rng, true));
        Aabb expected(t * Point(b.bmin[0], b.bmin[1], b.bmin[2]));
        for (int i = 1; i < 8; ++i)
            expected += Aabb(
                t * Point(b.corner(i & 1)[0], b.corner(i >> 1 & 1)[1], b.corner(i >> 2 & 1)[2]));
        EXPECT_EQ(t * b, expected);
    }
}
