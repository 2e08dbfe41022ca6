// Geometry "teapot": the classic teapot as four closed patch meshes.
#include <gtest/gtest.h>

#include "plugins/generators/rib/teapot.h"
#include "tests/rib/recorder.h"

using ovo::rib::TeapotMesh;
TEST(RibTeapot, FourMeshesWithConstantVariablesOnly) {
    ovotest::Recorder r;
    r.read(
        "WorldBegin\nGeometry \"teapot\" \"constant float Kd\" [0.5]\n"
        "Geometry \"teapot\" \"varying float x\" [1 2 3 4]\nWorldEnd\n");
    const std::string meshes =
        "Patch(bezier 13 13); Patch(bezier 13 7); Patch(bezier 7 7); Patch(bezier 7 7); ";
    // The second teapot is drawn without its varying variable.
    EXPECT_EQ(r.all({"Patch("}), meshes + meshes +
                                     "W: test.rib:3: Geometry \"teapot\" takes constant variables "
                                     "only: 1 ignored");
    EXPECT_EQ(r.only({"Parameter(float Kd"}).size(), 4u);
}

// Every mesh closes on itself across u (its first and last columns coincide), is symmetric
// about y = 0, and together they span the classic teapot's box.
TEST(RibTeapot, MeshesAreClosedSymmetricAndSpanTheTeapot) {
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const TeapotMesh& m : ovo::rib::teapotMeshes()) {
        ASSERT_EQ(m.P.size(), std::size_t(3 * m.nu * m.nv));
        EXPECT_EQ((m.nu - 1) % 3 + (m.nv - 1) % 3, 0) << "whole Bezier segments";
        for (int row = 0; row < m.nv; ++row) {
            const float* first = &m.P[std::size_t(3 * row * m.nu)];
            const float* last = first + 3 * (m.nu - 1);
            EXPECT_TRUE(std::equal(first, first + 3, last)) << "row " << row;
            float ySum = 0;
            for (int j = 0; j < m.nu - 1; ++j) ySum += first[3 * j + 1];
            EXPECT_NEAR(ySum, 0.0f, 1e-5f) << "row " << row;
        }
        for (std::size_t i = 0; i < m.P.size(); ++i) {
            lo[i % 3] = std::min(lo[i % 3], m.P[i]);
            hi[i % 3] = std::max(hi[i % 3], m.P[i]);
        }
    }
    const float box[2][3] = {{-3.0f, -2.0f, 0.0f}, {3.525f, 2.0f, 3.15f}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(lo[k], box[0][k]) << k;
        EXPECT_FLOAT_EQ(hi[k], box[1][k]) << k;
    }
}
