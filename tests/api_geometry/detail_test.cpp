// Level of detail: which of three levels the scene interface keeps for a box at a given
// distance from the default camera, and the raster area the choice rests on.
#include <tuple>

#include "api/api_test_util.h"
#include "core/api/detail.h"

namespace ovo {
namespace testing {
namespace {

// Three levels as scene files write them: coarse below 25 pixels, fine above 550, the
// transitions 20..30 and 500..600 split at their midpoints.
const float Coarse[4] = {0, 0, 20, 30};
const float Medium[4] = {20, 30, 500, 600};
const float Fine[4] = {500, 600, DetailInfinity, DetailInfinity};
const float UnitBox[6] = {-1, 1, -1, 1, -1, 1};

class DetailTest : public RaytracerTest {
  protected:
    // The default camera sees 90 degrees across the 48 rows of a 64 x 48 frame: 24 pixels per
    // unit of screen.
    void SetUp() override {
        const int resolution[2] = {64, 48};
        renderer->Attribute("int[2] resolution", resolution);
        enterWorld();
    }
    void TearDown() override { finishFrame(); }
    // Whether a sphere under `range` is kept with the unit box `distance` ahead as its bound.
    bool kept(const float range[4], float distance) {
        renderer->PushAttributes();
        renderer->PushTransform();
        renderer->Translate(0.0f, 0.0f, distance);
        renderer->Attribute("float[6] detail:bound", UnitBox);
        renderer->Attribute("float[4] detail:range", range);
        const std::size_t before = renderer->getCurrentNode()->primitives.size();
        renderer->Sphere(1.0f);
        const bool made = renderer->getCurrentNode()->primitives.size() > before;
        renderer->PopTransform();
        renderer->PopAttributes();
        return made;
    }
};

// The box's near face, (distance - 1) ahead, spans 48 / (distance - 1) pixels each way.
TEST_F(DetailTest, ExactlyOneLevelDrawsAtEachDistance) {
    // The distance, the box's raster area there, (48 / (distance - 1))^2, and the level drawn.
    const std::tuple<float, float, const float*> rows[] = {
        {21.0f, 5.76f, Coarse},        // well below the first transition
        {11.0f, 23.04f, Coarse},       // in it, before the midpoint
        {10.0f, 28.444f, Medium},      // in it, past the midpoint
        {5.0f, 144.0f, Medium},        //
        {3.1f, 522.45f, Medium},       // in the second transition, before its midpoint
        {3.0f, 576.0f, Fine},          // past it
        {0.0f, DetailInfinity, Fine},  // the camera inside the bound
    };
    for (const auto& [distance, area, drawn] : rows) {
        SCOPED_TRACE(distance);
        for (const float* level : {Coarse, Medium, Fine})
            EXPECT_EQ(kept(level, distance), level == drawn) << "level from " << level[0];
        Point corners[8];
        placeBound(::Translate(0.0f, 0.0f, distance), UnitBox, corners);
        const Transform worldToRaster =
            renderer->getNamedSpaces()[OIIO::ustring("raster")].inverse();
        EXPECT_NEAR(rasterArea(worldToRaster, corners), area, 1e-3f * area);
    }
    expectSilence();
}

// Without a bound the detail is unbounded: only a level open upwards draws. A bound belongs to
// the space current when it is given: moving the primitive afterwards does not move the bound.
TEST_F(DetailTest, UnboundedDetailAndABoundThatStaysWhereItWasGiven) {
    const auto draws = [this](const float range[4]) {
        const std::size_t before = renderer->getCurrentNode()->primitives.size();
        renderer->Attribute("float[4] detail:range", range);
        renderer->Sphere(1.0f);
        return renderer->getCurrentNode()->primitives.size() > before;
    };
    renderer->Translate(0.0f, 0.0f, 21.0f);
    EXPECT_FALSE(draws(Coarse));
    EXPECT_TRUE(draws(Fine));
    renderer->Attribute("float[6] detail:bound", UnitBox);
    renderer->Translate(0.0f, 0.0f, -18.0f);  // a bound 3 ahead would choose the fine level
    EXPECT_TRUE(draws(Coarse));
    EXPECT_FALSE(draws(Fine));
}

TEST_F(DetailTest, ARangeOutOfOrderIsRefused) {
    const float reversed[4] = {30, 20, 500, 600};
    renderer->Attribute("float[4] detail:range", reversed);
    expectReport(ovotest::Error,
                 "Attribute: \"detail:range\" needs minvisible <= lowertransition <= "
                 "uppertransition <= maxvisible. Skipping ...");
    renderer->Sphere(1.0f);
    EXPECT_EQ(renderer->getCurrentNode()->primitives.size(), 1u);
}

}  // namespace
}  // namespace testing
}  // namespace ovo
