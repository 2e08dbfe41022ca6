// Gradient noise, cell noise and splines against values worked out from the permutation table
// and the basis matrices, and the edge cases that break them: lattice points, negative cells,
// clamped t, unknown bases and short lists.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "core/shading/sl/noise.h"
#include "core/shading/sl/spline.h"

using namespace ovo;

namespace {

float noiseN(int dims, const float* p) {
    return dims == 1   ? SL::noise(p[0])
           : dims == 2 ? SL::noise(p[0], p[1])
           : dims == 3 ? SL::noise(p[0], p[1], p[2])
                       : SL::noise(p[0], p[1], p[2], p[3]);
}

}  // namespace

TEST(Noise, KnownValuesZerosOnTheLatticeAndContinuity) {
    // By hand: at x = 0.5 the corner hashes are 151 (gradient +8) and 160 (gradient +1), so
    // 0.188 * lerp(0.5, 8 * 0.5, 1 * -0.5) = 0.329; the others take the same steps.
    const std::tuple<int, std::array<float, 4>, float> cases[] = {
        {1, {0.5f}, 0.329f},
        {1, {-2.25f}, 0.1230996f},
        {2, {0.3f, 0.8f}, -0.2030936f},
        {2, {-0.7f, -2.2f}, 0.3620622f},
        {3, {0.5f, 0.5f, 0.5f}, 0.234f},
        {3, {-0.3f, 1.7f, -2.6f}, 0.2343184f},
        {4, {0.5f, 0.5f, 0.5f, 0.5f}, 0.32625f},
        {4, {-0.3f, 1.7f, -2.6f, 0.4f}, -0.4504124f}};
    for (const auto& [dims, p, expected] : cases)
        EXPECT_NEAR(noiseN(dims, p.data()), expected, 2e-6f) << dims;

    const float lattice[][4] = {{0, 0, 0, 0}, {1, 2, 3, 4}, {-1, -3, 7, -256}};
    // Across lattice planes (negative ones too, where a truncating floor would jump) both
    // sides agree.
    for (int dims = 1; dims <= 4; ++dims) {
        for (const auto& p : lattice) EXPECT_EQ(noiseN(dims, p), 0.0f) << dims;
        for (int axis = 0; axis < dims; ++axis)
            for (float plane : {-3.0f, -1.0f, 0.0f, 2.0f}) {
                float below[4] = {0.37f, -1.61f, 2.29f, 0.83f}, above[4];
                below[axis] = plane - 1e-4f;
                std::copy(below, below + 4, above);
                above[axis] = plane + 1e-4f;
                EXPECT_NEAR(noiseN(dims, below), noiseN(dims, above), 2e-3f) << dims << plane;
            }
    }
}

TEST(CellNoise, OneValuePerCellFromThePermutation) {
    Tuple p(0.5f, 0.5f, 0.5f), q(0.1f, 0.9f, 0.99f);
    const std::pair<float, int> cases[] = {
        {SL::cellnoisef(0.3f), 151},       {SL::cellnoisef(0.9f), 151},  // perm[0], one cell
        {SL::cellnoisef(-0.5f), 180},                                    // cell -1 & 255 = 255
        {SL::cellnoisef(-256.5f), 180},                                  // cell -257 & 255 = 255
        {SL::cellnoisef(1.0f), 160},        // the next cell starts at 1
        {SL::cellnoisef(0.5f, 0.2f), 17},   // perm[perm[0] + 0]
        {SL::cellnoisef(3.5f, -1.5f), 46},  // perm[perm[3] + 254]: -1.5 is in cell -2
        {SL::cellnoisef(p), 36},           {SL::cellnoisef(q), 36},
        {SL::cellnoisef(p, 0.5f), 0},      {SL::cellnoisef(0.5f, 0.5f, 0.5f, 0.5f), 0},
    };
    for (const auto& [value, entry] : cases) EXPECT_FLOAT_EQ(value, float(entry) / 255.0f);
    // Colours and points: the hash, then the permutation once and twice more.
    EXPECT_EQ(SL::cellnoisec(0.2f), Color(151 / 255.0f, 17 / 255.0f, 36 / 255.0f));
    EXPECT_EQ(Color(SL::cellnoisep(p, -3.5f)), SL::cellnoisec(p, -3.5f));
    EXPECT_EQ(SL::cellnoisec(p, -3.5f).r, SL::cellnoisef(p, -3.5f));
    EXPECT_LE(SL::cellnoisef(3e10f, -3e10f), 1.0f);  // beyond the int range: still a cell
}

TEST(Spline, BasesAgainstHandValues) {
    const OIIO::ustring linear("linear"), catmull("catmull-rom"), bezier("bezier"),
        bspline("bspline"), hermite("hermite"), power("power");
    std::tuple<OIIO::ustring, std::vector<float>, float, float> cases[] = {
        {linear, {0, 0, 1, 1}, 0.5f, 0.5f},
        {catmull, {0, 0, 1, 1}, 0.0f, 0.0f},
        {catmull, {0, 0, 1, 1}, 1.0f, 1.0f},
        {catmull, {0, 1, 0, 1}, 0.5f, 0.5f},
        {bezier, {0, 0, 0, 1}, 0.5f, 0.125f},
        {bspline, {0, 0, 6, 6}, 1.0f, 5.0f},       // (0 + 4*6 + 6) / 6
        {hermite, {0, 0, 1, 0}, 0.25f, 0.15625f},  // -2u^3 + 3u^2
        {power, {1, 2, 3, 4}, 0.5f, 6.125f},       // u^3 + 2u^2 + 3u + 4
        {OIIO::ustring("no such"), {1, 2, 3, 4}, 0.5f, 6.125f},
        {catmull, {0, 0, 1, 1}, -3.0f, 0.0f},  // t clamped
        {bezier, {0, 0, 0, 1}, 1.5f, 1.0f},
        // Segments: catmull-rom over six values makes three (t = 0.5 in the middle of the
        // second, t = 1 the end of the third), bezier steps by three, hermite by two.
        {catmull, {0, 0, 1, 2, 3, 3}, 0.5f, 1.5f},
        {catmull, {0, 0, 1, 2, 3, 3}, 1.0f, 3.0f},
        {bezier, {0, 1, 2, 3, 4, 5, 6}, 0.5f, 3.0f},
        {hermite, {0, 0, 1, 0, 5, 0}, 0.625f, 1.0f + 4.0f * 0.15625f},
        {linear, {1, 3}, 0.5f, 3.0f},  // short lists repeat their last value
        {power, {}, 0.5f, 0.0f},
    };
    for (auto& [basis, values, t, expected] : cases)
        EXPECT_NEAR(SL::splinef(basis, t, values), expected, 1e-6f)
            << basis << " " << t << " over " << values.size();

    // Through "...", one double per float and three per colour or point; catmull-rom by
    // default; a short list reads no further than its count.
    std::vector<float> v = {0, 1, 0, 1};
    EXPECT_EQ(SL::splinef(0.3f, 4u, 0.0, 1.0, 0.0, 1.0), SL::splinef(catmull, 0.3f, v));
    EXPECT_EQ(SL::splinef(0.3f, v), SL::splinef(catmull, 0.3f, v));
    EXPECT_EQ(SL::splinef(linear, 0.5f, 2u, 1.0, 3.0), 3.0f);
    EXPECT_EQ(
        SL::splinec(bezier, 0.5f, 4u, 0.0, 0.0, 0.0, 0.0, 0.0, 8.0, 0.0, 8.0, 0.0, 1.0, 0.0, 0.0),
        Color(0.125f, 3.0f, 3.0f));
    std::vector<Tuple> points = {Tuple(0, 0, 0), Tuple(1, 0, 0), Tuple(2, 1, 0), Tuple(3, 1, 0)};
    EXPECT_EQ(SL::splinep(linear, 0.5f, points), Tuple(1.5f, 0.5f, 0.0f));
    EXPECT_EQ(SL::splinep(1.0f, 4u, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 2.0, 1.0, 0.0, 3.0, 1.0, 0.0),
              Tuple(2, 1, 0));
}
