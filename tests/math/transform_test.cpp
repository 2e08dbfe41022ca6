#include "core/math/transform.h"

#include "core/math/constants.h"
#include "core/params/error.h"
#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace ovo;
using ovotest::near;

TEST(Transform, BuildersKeepForwardAndInverseInStep) {
    EXPECT_EQ(Transform().getMatrix(), Matrix::Identity);
    EXPECT_EQ(Transform().getInverse(), Matrix::Identity);
    EXPECT_EQ(Transform::Identity.getMatrix(), Matrix::Identity);
    EXPECT_EQ(&Transform::Identity.getTo(), &Transform::Identity.getInverse());

    const Transform t = Translate(1, 2, 3);
    EXPECT_EQ(t * Point(0, 0, 0), Point(1, 2, 3));
    EXPECT_EQ(t * Vector(0, 0, 0), Vector(0, 0, 0));
    EXPECT_EQ(t.inverse() * Point(1, 2, 3), Point(0, 0, 0));
    EXPECT_EQ(t.getInverse().m[0][3], -1.0f);

    const Transform s = Scale(2, 4, 8);
    EXPECT_EQ(s * Point(1, 1, 1), Point(2, 4, 8));
    EXPECT_EQ(s.getInverse() * Point(2, 4, 8), Point(1, 1, 1));
    // No test for zero: the inverse holds an infinity.
    EXPECT_EQ(Scale(0, 1, 1).getInverse().m[0][0], std::numeric_limits<float>::infinity());

    const Transform r = Rotate(radians(90.0f), Vector(0, 0, 1));
    EXPECT_TRUE(near(r * Point(1, 0, 0), Point(0, 1, 0), 1e-6f));
    EXPECT_EQ(r.getInverse(), r.getMatrix().transpose());

    // Matrix construction inverts; a singular matrix gets the identity as inverse.
    std::mt19937 rng(1);
    const Matrix m = ovotest::randomMatrix(rng, true);
    const Transform fromM(m);
    EXPECT_EQ(fromM.getInverse(), m.inverse());
    EXPECT_EQ(Transform(Matrix(0.0f)).getInverse(), Matrix::Identity);
    const Transform given(m, Matrix(7.0f));  // trusted as given
    EXPECT_EQ(given.getInverse(), Matrix(7.0f));
    const float rows[4][4] = {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1}};
    EXPECT_EQ(Transform(rows).getInverse().m[1][1], 0.5f);

    // Composition: forward A·B, inverse inv(B)·inv(A); (A·B)·p applies B first.
    const Transform ab = t * s;
    EXPECT_EQ(ab * Point(1, 1, 1), Point(3, 6, 11));
    EXPECT_TRUE(near(ab.getMatrix() * ab.getInverse(), Matrix::Identity, 1e-6f));
    EXPECT_EQ(ab.getInverse(), s.getInverse() * t.getInverse());
    Transform acc = t;
    acc *= s;
    EXPECT_EQ(acc, ab);
    EXPECT_EQ(t * Matrix(2.0f), t.getMatrix() * Matrix(2.0f));
    EXPECT_EQ(t * HPoint(0, 0, 0, 2), HPoint(2, 4, 6, 2));
    const Transform inv = ab.inverse();
    EXPECT_EQ(inv.getMatrix(), ab.getInverse());
    EXPECT_EQ(inv.getInverse(), ab.getMatrix());

    float scale = 0.0f;
    EXPECT_TRUE(Scale(2, 2, 2).hasIsotropicScale(scale));
    EXPECT_FLOAT_EQ(scale, 2.0f);
    EXPECT_FALSE(Scale(1, 1, 1).hasIsotropicScale(scale));
    EXPECT_FALSE(Scale(1, 2, 1).hasIsotropicScale(scale));
    EXPECT_TRUE(Scale(1, 2, 3).isLeftHanded());
    EXPECT_FALSE(Scale(1, 1, -1).isLeftHanded());
}

TEST(Transform, NormalsUseTheStoredInverse) {
    const Transform s = Scale(1, 4, 1);
    // The plane x + y = 1 has normal (1, 1, 0); stretched in y, its normal tilts towards x.
    const Normal n = s * Normal(1, 1, 0);
    EXPECT_EQ(n, Normal(1, 0.25f, 0));
    const Vector tangent = s * Vector(1, -1, 0);
    EXPECT_FLOAT_EQ(dot(n, tangent), 0.0f);
    // The transpose of the stored inverse is used, whatever it holds (nothing is recomputed).
    const Transform fake(Matrix::Identity, Matrix(2, 3, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    EXPECT_EQ(fake * Normal(1, 0, 0), Normal(2, 3, 0));
    // The Matrix form inverts on the spot and agrees.
    EXPECT_TRUE(near(s.getMatrix() * Normal(1, 1, 0), n, 1e-6f));
}

TEST(Transform, OrderingComparesForwardMatricesOnly) {
    const Transform a = Translate(1, 0, 0), b = Translate(2, 0, 0);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    // The first differing element decides, in row order: m[0][0] beats m[0][3].
    const Transform c(Matrix(1, 0, 0, 9, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), Matrix::Identity);
    const Transform d(Matrix(2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), Matrix::Identity);
    EXPECT_TRUE(c < d);
    EXPECT_FALSE(d < c);
    // Equal forward matrices: neither is less, whatever the inverses.
    const Transform e(a.getMatrix(), Matrix(3.0f));
    EXPECT_FALSE(a < e);
    EXPECT_FALSE(e < a);
    EXPECT_FALSE(a < a);
}

TEST(Transform, RaysBoxesAndDifferentials) {
    const Ray r(Point(1, 2, 3), Vector(0, 0, 2), 0.5f, 10.0f, 0.25f);
    const Ray moved = Translate(1, 0, 0) * r;
    EXPECT_EQ(moved.o, Point(2, 2, 3));
    EXPECT_EQ(moved.d, Vector(0, 0, 2));  // not renormalised
    EXPECT_EQ(moved.mint, 0.5f);
    EXPECT_EQ(moved.maxt, 10.0f);
    EXPECT_EQ(moved.time, 0.25f);
    EXPECT_EQ(moved(1.0f), Point(2, 2, 5));

    // Perspective: the direction is the difference of two projected points, not M·d.
    const Transform persp(Matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0));
    const Ray pr = persp * Ray(Point(1, 1, 1), Vector(1, 0, 1));
    EXPECT_TRUE(near(pr.o, Point(1, 1, 1), 1e-6f));
    // o + d = (2, 1, 2) projects to (1, 0.5, 1).
    EXPECT_TRUE(near(pr.d, Vector(0, -0.5f, 0), 1e-6f));
    EXPECT_FALSE(near(pr.d, persp.getMatrix() * Vector(1, 0, 1), 1e-3f));

    RayDifferential rd(Point(0, 0, 0), Vector(0, 0, 1), 0.0f, 5.0f, 0.5f);
    rd.hasDifferentials = true;
    rd.rx = Ray(Point(0.1f, 0, 0), Vector(0, 0, 1));
    rd.ry = Ray(Point(0, 0.1f, 0), Vector(0, 0.1f, 1));
    rd.type = 2;
    rd.depth = 3;
    const RayDifferential td = Scale(2, 2, 2) * rd;
    EXPECT_TRUE(td.hasDifferentials);
    EXPECT_EQ(td.rx.o, Point(0.2f, 0, 0));
    EXPECT_EQ(td.ry.d, Vector(0, 0.2f, 2));
    EXPECT_EQ(td.d, Vector(0, 0, 2));
    EXPECT_EQ(td.maxt, 5.0f);
    EXPECT_EQ(td.time, 0.5f);
    EXPECT_EQ(td.type, 2);
    EXPECT_EQ(td.depth, 3);
    RayDifferential plain;
    EXPECT_FALSE(plain.hasDifferentials);
    EXPECT_EQ(plain.mint, 0.0f);
    EXPECT_EQ(plain.maxt, 1e30f);
    EXPECT_EQ(plain.type, 0);
    EXPECT_EQ(plain.diffuseDepth, 0);

    // A box under a 45° rotation about z: the bound of the eight rotated corners.
    const Aabb unit(-1, 1, -1, 1, 0, 2);
    const Aabb rb = Rotate(radians(45.0f), Vector(0, 0, 1)) * unit;
    const float h = std::sqrt(2.0f);
    EXPECT_NEAR(rb.bmin[0], -h, 1e-5f);
    EXPECT_NEAR(rb.bmax[1], h, 1e-5f);
    EXPECT_NEAR(rb.bmin[2], 0.0f, 1e-6f);
    EXPECT_NEAR(rb.bmax[2], 2.0f, 1e-6f);
    // Every transformed corner lies inside, and the result is tight on some corner per face.
    std::mt19937 rng(9);
    for (int n = 0; n < 50; ++n) {
        const Transform t(ovotest::randomMatrix(rng, true));
        const Aabb b(-1, 2, 0, 0.5f, -3, -1);
        const Aabb tb = t * b;
        int touching[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 8; ++i) {
            const Point c =
                t * Point(b.corner(i & 1)[0], b.corner((i >> 1) & 1)[1], b.corner((i >> 2) & 1)[2]);
            EXPECT_TRUE(tb.contains(c));
            for (int a = 0; a < 3; ++a) {
                touching[a] += c[a] == tb.bmin[a];
                touching[a + 3] += c[a] == tb.bmax[a];
            }
        }
        for (int f = 0; f < 6; ++f) EXPECT_GE(touching[f], 1);
    }
}

TEST(Transform, SkewRangeAndError) {
    const Vector a(1, 0, 0), b(0, 1, 0);
    // Perpendicular unit vectors accept angles strictly between -90° and 90°.
    for (float deg : {-89.0f, -45.0f, 0.0f, 30.0f, 89.0f}) {
        const Transform t = Skew(radians(deg), a, b);
        EXPECT_TRUE(near(t.getMatrix() * t.getInverse(), Matrix::Identity, 1e-4f)) << deg;
        EXPECT_NEAR(t.getMatrix().determinant(), 1.0f, 1e-3f) << deg;  // shears keep volume
    }
    EXPECT_EQ(Skew(0.0f, a, b).getMatrix(), Matrix::Identity);

    for (float deg : {90.0f, -90.0f, 120.0f, -135.0f}) {
        try {
            Skew(radians(deg), a, b);
            ADD_FAILURE() << "no exception at " << deg;
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Error::InvalidSkew);
            EXPECT_EQ(int(e.code()), 61);
            EXPECT_STREQ(e.what(), "Skew: invalid angle. Ignoring ...");
        }
    }

    // With a at 60° from b the range is (60° − 180°, 60°).
    const Vector c(0.5f, std::sqrt(3.0f) / 2.0f, 0.0f);
    EXPECT_NO_THROW(Skew(radians(59.0f), c, a));
    EXPECT_NO_THROW(Skew(radians(-119.0f), c, a));
    EXPECT_THROW(Skew(radians(61.0f), c, a), Error);
    EXPECT_THROW(Skew(radians(-121.0f), c, a), Error);
    const Transform oblique = Skew(radians(20.0f), c, a);
    EXPECT_TRUE(near(oblique.getMatrix() * oblique.getInverse(), Matrix::Identity, 1e-4f));

    // For a ⟂ b the forward matrix is Bᵀ·K·B with k = tan(angle): check against the columns
    // a×b = z, a = x, b = y directly.
    const float angle = radians(30.0f);
    const Matrix B(0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1);
    Matrix K(1.0f);
    K.m[1][2] = std::tan(angle);
    EXPECT_TRUE(near(Skew(angle, a, b).getMatrix(), B.transpose() * K * B, 1e-6f));
}
