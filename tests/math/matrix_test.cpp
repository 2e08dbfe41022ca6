#include "core/math/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/math/constants.h"
#include "tests/math/math_test_util.h"

using namespace ovo;
using ovotest::near;
using ovotest::randomMatrix;

namespace {

// Determinant by Gaussian elimination with partial pivoting in long double.
long double referenceDeterminant(const Matrix& m) {
    long double a[4][4], det = 1.0L;
    for (int i = 0; i < 16; ++i) a[i / 4][i % 4] = m.m[i / 4][i % 4];
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        if (pivot != c) std::swap(a[c], a[pivot]), det = -det;
        det *= a[c][c];
        for (int r = c + 1; r < 4; ++r)
            for (int j = 3; j >= c; --j) a[r][j] -= a[r][c] / a[c][c] * a[c][j];
    }
    return det;
}

}  // namespace

TEST(Matrix, ProductDeterminantAndInverseAgainstReferences) {
    std::mt19937 rng(11);
    for (int n = 0; n < 300; ++n) {
        const Matrix x = randomMatrix(rng, n % 2 == 0), y = randomMatrix(rng, false);
        Matrix product;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k) sum += double(x.m[i][k]) * y.m[k][j];
                product.m[i][j] = float(sum);
            }
        EXPECT_TRUE(near(x * y, product, 1e-5f));
        const long double ref = referenceDeterminant(x);
        EXPECT_NEAR(x.determinant(), double(ref), 1e-5 * std::fabs(double(ref)));
        const Matrix inv = x.inverse();
        EXPECT_TRUE(near(x * inv, Matrix::Identity, 2e-6f)) << x;
        EXPECT_TRUE(near(inv * x, Matrix::Identity, 2e-6f)) << x;
        Matrix q = x * y;
        q /= y;  // A /= B is A·inverse(B)
        EXPECT_TRUE(near(q, x, 1e-5f));
    }
    // Singular matrices invert to the identity, silently.
    EXPECT_EQ(Matrix(0.0f).inverse(), Matrix::Identity);
    const Matrix rankTwo(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 1, 0, 0, 1);
    EXPECT_EQ(rankTwo.determinant(), 0.0f);
    EXPECT_EQ(rankTwo.inverse(), Matrix::Identity);
}

TEST(Matrix, RotationsPointsNormalsAndProjection) {
    // Any unit axis stays fixed; a perpendicular vector turns by the angle, right-handed.
    const Vector axis = Vector(Tuple(1, 2, -2).hat());
    const Matrix r(0.7f, axis);
    Tuple u, w;
    axis.coordinateSystem(u, w);
    EXPECT_TRUE(near(r * axis, axis, 1e-6f));
    EXPECT_TRUE(near(r * r.transpose(), Matrix::Identity, 1e-6f));
    EXPECT_NEAR(dot(r * Vector(u), u), std::cos(0.7f), 1e-6f);
    EXPECT_NEAR(dot(r * Vector(u), w), std::sin(0.7f), 1e-6f);

    // Translation moves points only; a w' other than 1 goes through one reciprocal.
    const Matrix t(1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1);
    EXPECT_EQ(t * Point(0, 0, 0), Point(1, 2, 3));
    EXPECT_EQ(t * Vector(1, 1, 1), Vector(1, 1, 1));
    Matrix proj(1.0f);
    proj.m[3][3] = 3.0f;
    EXPECT_EQ((proj * Point(5, 6, 9)).x, 5.0f * (1.0f / 3.0f));
    const Matrix persp(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    EXPECT_EQ(persp * HPoint(2, 4, 2, 1), HPoint(2, 4, 2, 2));

    // Normals stay perpendicular to transformed tangents under non-uniform scale and shear.
    const Matrix s(2, 1, 0, 5, 0, 0.5f, 0, -1, 0, 0, 3, 2, 0, 0, 0, 1);
    const Normal n = s * Normal(Tuple(Vector(1, -1, 0) ^ Vector(0, 0, 1)));
    EXPECT_NEAR(dot(n, s * Vector(1, -1, 0)), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(n, s * Vector(0, 0, 1)), 0.0f, 1e-5f);
}

TEST(Matrix, HandednessIsotropicScaleAndBasis) {
    struct Row {
        Matrix m;
        bool leftHanded, isotropic;
        float scale;
    } rows[] = {
        {Matrix::Identity, true, false, -1.0f},  // a unit scale does not count
        {Matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1), false, false, -1.0f},
        {Matrix(0.0f), false, true, 0.0f},  // equal columns, and not of unit length
        {Matrix(1, 0, 0, 7, 0, 1, 0, 7, 0, 0, 1, 7, 0, 0, 0, -1), true, false, -1.0f},
        {Matrix(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1), true, true, 2.0f},
        {Matrix(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), true, false, -1.0f},
        {Matrix(0.4f, Vector(0, 1, 0)) * Matrix(3.0f), true, true, 3.0f},
        {Matrix(1, 1, 0, 0, 1, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), false, false, -1.0f},  // columns
    };
    for (const Row& row : rows) {
        float scale = -1.0f;  // untouched on failure
        EXPECT_EQ(row.m.isLeftHanded(), row.leftHanded) << row.m;
        EXPECT_EQ(row.m.hasIsotropicScale(scale), row.isotropic) << row.m;
        EXPECT_NEAR(scale, row.scale, 1e-5f) << row.m;
    }
    std::mt19937 rng(5);
    const Matrix basis = randomMatrix(rng, false), before = randomMatrix(rng, false);
    Matrix m = before;
    m.convertToBasis(basis);
    EXPECT_TRUE(near(m, basis * before * basis.transpose(), 1e-4f));
}

TEST(Matrix, DecomposeFindsTranslationRotationAndStretch) {
    // Rotations whose trace is positive, zero (180°) and negative (150°), each way round.
    for (const Vector& axis : {Vector(0, 0, 1), Vector(1, 0, 0), Vector(Tuple(2, -1, 3).hat())})
        for (float degrees : {90.0f, 180.0f, 150.0f, 63.0f}) {
            SCOPED_TRACE(degrees);
            const float angle = radians(degrees);
            const Matrix R(angle, axis);
            const Matrix S(2.0f, 0.3f, 0, 0, 0.3f, 1.5f, 0.1f, 0, 0, 0.1f, 0.8f, 0, 0, 0, 0, 1);
            Matrix M = R * S;
            M.m[0][3] = 4.0f;
            M.m[1][3] = -5.0f;
            M.m[2][3] = 6.0f;
            M.m[3][1] = 0.25f;  // a projective row plays no part
            const UnMatrix u = M.decompose();
            EXPECT_EQ(u.translation, Vector(4, -5, 6));
            EXPECT_TRUE(near(u.stretch, S, 1e-4f));
            const Quaternion& q = u.rotation;
            // q and -q are the same rotation: compare the one that turns by a positive angle.
            const float sign = dot(Vector(q.x, q.y, q.z), axis) < 0.0f ? -1.0f : 1.0f;
            EXPECT_NEAR(sign * q.w, std::cos(angle / 2), 1e-4f);
            EXPECT_TRUE(near(Vector(q.x, q.y, q.z) * sign, axis * std::sin(angle / 2), 1e-4f));
        }
}
