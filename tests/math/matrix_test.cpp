#include "core/math/matrix.h"

#include "core/math/constants.h"
#include "tests/math/math_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace ovo;
using ovotest::near;

namespace {

// Reference determinant: Gaussian elimination with partial pivoting in long double.
long double referenceDeterminant(const Matrix& m) {
    long double a[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) a[i][j] = m.m[i][j];
    long double det = 1.0L;
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) pivot = r;
        if (a[pivot][c] == 0.0L) return 0.0L;
        if (pivot != c) {
            for (int j = 0; j < 4; ++j) std::swap(a[c][j], a[pivot][j]);
            det = -det;
        }
        det *= a[c][c];
        for (int r = c + 1; r < 4; ++r) {
            const long double f = a[r][c] / a[c][c];
            for (int j = c; j < 4; ++j) a[r][j] -= f * a[c][j];
        }
    }
    return det;
}

Matrix referenceProduct(const Matrix& a, const Matrix& b) {
    Matrix r(0.0f);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += double(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = float(s);
        }
    return r;
}

}  // namespace

TEST(Matrix, ConstructionAndProducts) {
    const Matrix d(2.5f);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(d.m[i][j], i == j ? 2.5f : 0.0f);
    // Sixteen values, a flat array and a 4x4 array are all row by row.
    const float flat[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const float rows[4][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    const Matrix a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(a.m[1][0], 5.0f);
    EXPECT_EQ(Matrix(flat), a);
    EXPECT_EQ(Matrix(rows), a);
    EXPECT_EQ(a.transpose().m[0][1], 5.0f);
    EXPECT_EQ((a + a) - a, a);
    EXPECT_EQ(2.0f * a, a + a);
    EXPECT_EQ((a / 4.0f).m[3][3], 4.0f);

    // The product matches a double-precision reference and composes right to left.
    std::mt19937 rng(3);
    for (int n = 0; n < 50; ++n) {
        const Matrix x = ovotest::randomMatrix(rng, false), y = ovotest::randomMatrix(rng, false);
        EXPECT_TRUE(near(x * y, referenceProduct(x, y), 1e-5f));
        Matrix z = x;
        z *= y;
        EXPECT_EQ(z, x * y);
        const HPoint hp = (x * y) * HPoint(0.3f, -0.2f, 0.7f, 1.0f);
        const HPoint hq = x * (y * HPoint(0.3f, -0.2f, 0.7f, 1.0f));
        EXPECT_NEAR(hp.x, hq.x, 1e-4f);
        EXPECT_NEAR(hp.w, hq.w, 1e-4f);
    }
}

TEST(Matrix, DeterminantAndInverse) {
    // Singular matrices invert to the identity, silently.
    EXPECT_EQ(Matrix(0.0f).inverse(), Matrix::Identity);
    const Matrix rankTwo(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 1, 0, 0, 1);  // row 1 = 2·row 0
    EXPECT_EQ(rankTwo.determinant(), 0.0f);
    EXPECT_EQ(rankTwo.inverse(), Matrix::Identity);

    EXPECT_EQ(Matrix(2.0f).determinant(), 16.0f);
    EXPECT_EQ(Matrix(2.0f).inverse(), Matrix(0.5f));

    // Random matrices: determinant against elimination, inverse on both sides.
    std::mt19937 rng(11);
    for (int n = 0; n < 300; ++n) {
        const Matrix m = ovotest::randomMatrix(rng, n % 2 == 0);
        const long double ref = referenceDeterminant(m);
        EXPECT_NEAR(m.determinant(), double(ref), 1e-5 * std::fabs(double(ref)));
        const Matrix inv = m.inverse();
        EXPECT_TRUE(near(m * inv, Matrix::Identity, 2e-6f)) << m;
        EXPECT_TRUE(near(inv * m, Matrix::Identity, 2e-6f)) << m;
        // The inverse of an affine matrix is affine.
        if (n % 2 == 0) {
            EXPECT_NEAR(inv.m[3][0], 0.0f, 1e-7f);
            EXPECT_NEAR(inv.m[3][3], 1.0f, 1e-6f);
        }
    }

    // Odd permutation: determinant -1, and the extended-precision expansion is exact here.
    const Matrix swapXY(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    EXPECT_EQ(swapXY.determinant(), -1.0f);
    EXPECT_EQ(swapXY.inverse(), swapXY);

    // A /= B is A·inverse(B).
    const Matrix a = ovotest::randomMatrix(rng, false), b = ovotest::randomMatrix(rng, false);
    Matrix q = a * b;
    q /= b;
    EXPECT_TRUE(near(q, a, 1e-5f));
}

TEST(Matrix, RotationFollowsTheRightHandRule) {
    const Matrix rz(radians(90.0f), Vector(0, 0, 1));
    EXPECT_TRUE(near(rz * Point(1, 0, 0), Point(0, 1, 0), 1e-6f));
    EXPECT_TRUE(near(rz * Vector(0, 1, 0), Vector(-1, 0, 0), 1e-6f));
    const Matrix rx(radians(90.0f), Vector(1, 0, 0));
    EXPECT_TRUE(near(rx * Point(0, 1, 0), Point(0, 0, 1), 1e-6f));
    const Matrix ry(radians(90.0f), Vector(0, 1, 0));
    EXPECT_TRUE(near(ry * Point(0, 0, 1), Point(1, 0, 0), 1e-6f));

    // Any unit axis: the axis is fixed, the matrix is orthogonal with determinant 1.
    const Vector axis = Vector(Tuple(1, 2, -2).hat());
    const Matrix r(0.7f, axis);
    EXPECT_TRUE(near(r * axis, axis, 1e-6f));
    EXPECT_TRUE(near(r * r.transpose(), Matrix::Identity, 1e-6f));
    EXPECT_NEAR(r.determinant(), 1.0f, 1e-6f);
    EXPECT_EQ(r.m[3][3], 1.0f);
    EXPECT_EQ(r.m[0][3], 0.0f);
    // A point rotates by the given angle about the axis.
    Tuple u, w;
    axis.coordinateSystem(u, w);
    const Vector ru = r * Vector(u);
    EXPECT_NEAR(dot(ru, u), std::cos(0.7f), 1e-6f);
    EXPECT_NEAR(dot(ru, w), std::sin(0.7f), 1e-6f);
}

TEST(Matrix, PointVectorNormalAndRowProducts) {
    // Affine: translation applies to points only.
    const Matrix t(1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1);
    EXPECT_EQ(t * Point(0, 0, 0), Point(1, 2, 3));
    EXPECT_EQ(t * Vector(0, 0, 0), Vector(0, 0, 0));
    EXPECT_EQ(t * Vector(1, 1, 1), Vector(1, 1, 1));

    // Projective: w' = 2 halves the point.
    Matrix proj(1.0f);
    proj.m[3][3] = 2.0f;
    EXPECT_EQ(proj * Point(2, 4, 6), Point(1, 2, 3));
    // Any other w' goes through one reciprocal: 5 · (1/3) differs from 5 / 3 in float.
    proj.m[3][3] = 3.0f;
    const Point third = proj * Point(5, 6, 9);
    EXPECT_EQ(third.x, 5.0f * (1.0f / 3.0f));
    EXPECT_NE(third.x, 5.0f / 3.0f);
    EXPECT_EQ(third.y, 2.0f);
    // Perspective divide by z.
    const Matrix persp(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    EXPECT_TRUE(near(persp * Point(2, 4, 2), Point(1, 2, 1), 1e-6f));

    // The full four-component product.
    EXPECT_EQ(persp * HPoint(2, 4, 2, 1), HPoint(2, 4, 2, 2));

    // Row vector times matrix uses the tuple's fourth component.
    const Tuple row = Tuple(1, 0, 0, 1) * t;
    EXPECT_EQ(row, Tuple(1, 0, 0));
    EXPECT_EQ(row.w, 1.0f + 1.0f);  // row 0 + row 3 of column 3: 1 + 1
    const Tuple row2 = Tuple(0, 0, 0, 1) * t;
    EXPECT_EQ(row2.w, 1.0f);

    // Normals stay perpendicular to transformed tangents under non-uniform scale and shear.
    const Matrix s(2, 1, 0, 5, 0, 0.5f, 0, -1, 0, 0, 3, 2, 0, 0, 0, 1);
    const Vector tangent1(1, -1, 0), tangent2(0, 0, 1);
    const Normal n = Normal(Tuple(tangent1 ^ tangent2));
    const Normal tn = s * n;
    EXPECT_NEAR(dot(tn, s * tangent1), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(tn, s * tangent2), 0.0f, 1e-5f);
}

TEST(Matrix, HandednessIsotropicScaleAndBasis) {
    EXPECT_TRUE(Matrix::Identity.isLeftHanded());
    EXPECT_FALSE(Matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1).isLeftHanded());
    EXPECT_FALSE(Matrix(0.0f).isLeftHanded());  // zero does not count
    // The fourth row and column play no part.
    EXPECT_TRUE(Matrix(1, 0, 0, 7, 0, 1, 0, 7, 0, 0, 1, 7, 0, 0, 0, -1).isLeftHanded());

    float scale = -1.0f;
    EXPECT_TRUE(Matrix(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1).hasIsotropicScale(scale));
    EXPECT_FLOAT_EQ(scale, 2.0f);
    scale = -1.0f;
    EXPECT_FALSE(Matrix::Identity.hasIsotropicScale(scale));
    EXPECT_FALSE(Matrix(1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1).hasIsotropicScale(scale));
    EXPECT_FALSE(Matrix(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1).hasIsotropicScale(scale));
    EXPECT_EQ(scale, -1.0f);  // untouched on failure
    // Rotated uniform scale counts; columns, not rows, are measured.
    const Matrix rs = Matrix(0.4f, Vector(0, 1, 0)) * Matrix(3.0f);
    EXPECT_TRUE(rs.hasIsotropicScale(scale));
    EXPECT_NEAR(scale, 3.0f, 1e-5f);
    const Matrix rowsEqual(1, 1, 0, 0, 1, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    EXPECT_FALSE(rowsEqual.hasIsotropicScale(scale));  // columns (1,1,0),(1,-1,0),(0,0,1)

    // convertToBasis: basis · this · basisᵀ, basis unchanged.
    std::mt19937 rng(5);
    const Matrix basis = ovotest::randomMatrix(rng, false);
    const Matrix before = ovotest::randomMatrix(rng, false);
    Matrix m = before;
    const Matrix basisCopy = basis;
    m.convertToBasis(basis);
    EXPECT_TRUE(near(m, basis * before * basis.transpose(), 1e-4f));
    EXPECT_EQ(basis, basisCopy);
}

TEST(Matrix, DecomposeRecomposesAndFindsTheRotation) {
    // A known rotation: 90° about z is the quaternion (0, 0, sin 45°, cos 45°).
    {
        const UnMatrix u = Matrix(radians(90.0f), Vector(0, 0, 1)).decompose();
        const float h = std::sqrt(0.5f);
        EXPECT_NEAR(u.rotation.x, 0.0f, 1e-5f);
        EXPECT_NEAR(u.rotation.y, 0.0f, 1e-5f);
        EXPECT_NEAR(u.rotation.z, h, 1e-5f);
        EXPECT_NEAR(u.rotation.w, h, 1e-5f);
        EXPECT_TRUE(near(u.stretch, Matrix::Identity, 1e-5f));
    }
    // 180° about x takes the branch for a non-positive trace: (1, 0, 0, 0).
    {
        const UnMatrix u = Matrix(Pi, Vector(1, 0, 0)).decompose();
        EXPECT_NEAR(std::fabs(u.rotation.x), 1.0f, 1e-5f);
        EXPECT_NEAR(u.rotation.y, 0.0f, 1e-5f);
        EXPECT_NEAR(u.rotation.z, 0.0f, 1e-5f);
        EXPECT_NEAR(u.rotation.w, 0.0f, 1e-5f);
    }
    // 150° about y (trace < 0): axis y, angle from w.
    {
        const float angle = radians(150.0f);
        const UnMatrix u = Matrix(angle, Vector(0, 1, 0)).decompose();
        EXPECT_NEAR(u.rotation.y, std::sin(angle / 2), 1e-5f);
        EXPECT_NEAR(u.rotation.w, std::cos(angle / 2), 1e-5f);
        EXPECT_NEAR(u.rotation.x, 0.0f, 1e-5f);
    }

    // Translation · rotation · symmetric stretch comes apart into its factors.
    const Vector axis = Vector(Tuple(2, -1, 3).hat());
    const float angle = 1.1f;
    const Matrix R(angle, axis);
    const Matrix S(2.0f, 0.3f, 0.0f, 0.0f, 0.3f, 1.5f, 0.1f, 0.0f, 0.0f, 0.1f, 0.8f, 0.0f, 0.0f,
                   0.0f, 0.0f, 1.0f);
    Matrix M = R * S;
    M.m[0][3] = 4.0f;
    M.m[1][3] = -5.0f;
    M.m[2][3] = 6.0f;
    const UnMatrix u = M.decompose();
    EXPECT_EQ(u.translation, Vector(4, -5, 6));
    EXPECT_TRUE(near(u.stretch, S, 1e-4f));
    // Recompose: rotation from the quaternion, times stretch, plus translation.
    const Quaternion& q = u.rotation;
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-5f);
    const float s = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    const Matrix fromQ(2.0f * std::atan2(s, q.w), Vector(q.x / s, q.y / s, q.z / s));
    EXPECT_TRUE(near(fromQ, R, 1e-4f));
    Matrix recomposed = fromQ * u.stretch;
    recomposed.m[0][3] = u.translation.x;
    recomposed.m[1][3] = u.translation.y;
    recomposed.m[2][3] = u.translation.z;
    EXPECT_TRUE(near(recomposed, M, 1e-4f));
    EXPECT_NEAR(std::fabs(q.w), std::cos(angle / 2), 1e-4f);
}
