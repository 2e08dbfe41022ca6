// Printing and comparison helpers for the math tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>

#include "core/math/matrix.h"
#include "core/math/tuple.h"
#include "tests/common/test_util.h"

namespace ovo {

inline std::ostream& operator<<(std::ostream& os, const Tuple& t) {
    return os << "(" << t.x << ", " << t.y << ", " << t.z << ")";
}
inline std::ostream& operator<<(std::ostream& os, const Matrix& m) {
    for (int i = 0; i < 4; ++i)
        os << (i ? "; " : "[") << m.m[i][0] << " " << m.m[i][1] << " " << m.m[i][2] << " "
           << m.m[i][3];
    return os << "]";
}

}  // namespace ovo

namespace ovotest {

inline ::testing::AssertionResult near(const ovo::Matrix& a, const ovo::Matrix& b, float tol) {
    float d = 0.0f;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) d = std::max(d, std::fabs(a.m[i][j] - b.m[i][j]));
    if (d <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " vs " << b << " (tolerance " << tol << ")";
}

// A well-conditioned random matrix: a random one plus a dominant diagonal.
inline ovo::Matrix randomMatrix(std::mt19937& rng, bool affine) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    ovo::Matrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = u(rng) + (i == j ? 3.0f : 0.0f);
    if (affine) {
        m.m[3][0] = m.m[3][1] = m.m[3][2] = 0.0f;
        m.m[3][3] = 1.0f;
    }
    return m;
}

}  // namespace ovotest
