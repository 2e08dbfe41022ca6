// A host program written in C against the binding renders a frame of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/common/test_util.h"
#include "tests/ri/picture.h"

using ovotest::Picture;
using ovotest::readPicture;
using ovotest::ScratchDir;

TEST(RiHostProgram, RendersASphereOfItsAnalyticSize) {
    ScratchDir dir;
    const std::string picture = dir / "sphere.tif";
    const std::string command = std::string(OVO_RI_TEST_DIR "/ri_host_sphere '") + picture + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Picture p = readPicture(picture);
    ASSERT_EQ(p.width, 64);
    ASSERT_EQ(p.height, 64);
    // A sphere of radius 1 at distance 5 seen through 40 degrees is a disc of radius
    // tan(asin(1/5)) / tan(20 degrees) of the half-height.
    const double rho = std::tan(std::asin(0.2)) / std::tan(20.0 * M_PI / 180.0);
    EXPECT_NEAR(coverage(p, 0, 64), M_PI * rho * rho / 4.0, 0.01);
    // Constant red in the middle, nothing in the corner.
    EXPECT_NEAR(p.at(32, 32, 0), 1.0f, 1e-3f);
    EXPECT_NEAR(p.at(32, 32, 1), 0.0f, 1e-3f);
    EXPECT_EQ(p.at(0, 0, 0), 0.0f);
}
