// Level of detail: which of three levels the scene interface keeps for a box at a given
// distance from the default camera, and the raster area the choice rests on.
#include <cmath>
#include <vector>

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
    struct Row {
        float distance;
        float area;  // (48 / (distance - 1))^2
        const float* level;
    };
    const Row rows[] = {
        {21.0f, 5.76f, Coarse},        // well below the first transition
        {11.0f, 23.04f, Coarse},       // in it, before the midpoint
        {10.0f, 28.444f, Medium},      // in it, past the midpoint
        {5.0f, 144.0f, Medium},        //
        {3.1f, 522.45f, Medium},       // in the second transition, before its midpoint
        {3.0f, 576.0f, Fine},          // past it
        {0.0f, DetailInfinity, Fine},  // the camera inside the bound
    };
    const float* const levels[] = {Coarse, Medium, Fine};
    for (const Row& row : rows) {
        for (const float* level : levels)
            EXPECT_EQ(kept(level, row.distance), level == row.level)
                << "distance " << row.distance << ", level from " << level[0];
        Point corners[8];
        placeBound(::Translate(0.0f, 0.0f, row.distance), UnitBox, corners);
        const Transform worldToRaster =
            renderer->getNamedSpaces()[OIIO::ustring("raster")].inverse();
        EXPECT_NEAR(rasterArea(worldToRaster, corners), row.area, 1e-3f * row.area)
            << "distance " << row.distance;
    }
    expectSilence();
}

// The bound belongs to the space current when it is given: moving the primitive afterwards
// does not move the bound.
TEST_F(DetailTest, TheBoundStaysWhereItWasGiven) {
    renderer->Translate(0.0f, 0.0f, 21.0f);
    renderer->Attribute("float[6] detail:bound", UnitBox);
    renderer->Translate(0.0f, 0.0f, -18.0f);
    renderer->Attribute("float[4] detail:range", Coarse);
    renderer->Sphere(1.0f);
    renderer->Attribute("float[4] detail:range", Fine);
    renderer->Sphere(1.0f);
    EXPECT_EQ(renderer->getCurrentNode()->primitives.size(), 1u);
}

// Without a bound the detail is unbounded: only a level open upwards draws.
TEST_F(DetailTest, WithoutABoundTheFinestLevelDraws) {
    renderer->Translate(0.0f, 0.0f, 21.0f);
    renderer->Attribute("float[4] detail:range", Coarse);
    renderer->Sphere(1.0f);
    renderer->Attribute("float[4] detail:range", Fine);
    renderer->Sphere(1.0f);
    ASSERT_EQ(renderer->getCurrentNode()->primitives.size(), 1u);
    // The one kept is the fine level's: a bound given now selects the coarse one instead.
    renderer->Attribute("float[6] detail:bound", UnitBox);
    renderer->Sphere(1.0f);
    renderer->Attribute("float[4] detail:range", Coarse);
    renderer->Sphere(1.0f);
    EXPECT_EQ(renderer->getCurrentNode()->primitives.size(), 2u);
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
