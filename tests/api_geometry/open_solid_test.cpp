// Solids with open operands: a sphere drilled by an uncapped tube stays whole where a ray
// crosses the tube's wall once and leaves through its open end; closed operands keep the
// parity rule, also when they face inwards.
#include <functional>

#include "api/api_test_util.h"
#include "core/geometry/primitive.h"

namespace ovo {
namespace testing {
namespace {

class OpenSolidTest : public RaytracerTest {
  protected:
    void SetUp() override { enterWorld(); }
    void TearDown() override { finishFrame(); }
    void primitive(const std::function<void()>& make) {
        renderer->SolidBegin("primitive");
        make();
        renderer->SolidEnd();
    }
    // The unit sphere less `carve`, built as Render builds the world.
    Reference<Primitive> drilled(const std::function<void()>& carve) {
        renderer->SolidBegin("difference");
        primitive([this] { renderer->Sphere(1.0f); });
        primitive(carve);
        renderer->SolidEnd();
        return renderer->buildPrimitive(*renderer->getWorldNode());
    }
};

// A ray from `from` towards `towards` hits the solid first at `at`.
struct Shot {
    const char* what;
    Point from, towards, at;
};

template <std::size_t N>
void expectShots(const Reference<Primitive>& solid, const Shot (&shots)[N]) {
    ASSERT_TRUE(solid);
    for (const Shot& s : shots) {
        Hit hit;
        const Ray ray(s.from, s.towards - s.from);
        ASSERT_TRUE(solid->intersect(ray, hit)) << s.what;
        EXPECT_TRUE(solid->intersect(ray)) << s.what;
        EXPECT_TRUE(ovotest::near(hit.env.P, s.at, 1e-4f)) << s.what;
    }
}

// A tube of radius 0.4 along z from -2.5 to 2.5, open at both ends.
TEST_F(OpenSolidTest, AnUncappedTubeDrillsAHoleWithoutANotch) {
    const Reference<Primitive> solid =
        drilled([this] { renderer->Cylinder(0.4f, -2.5f, 2.5f, 360.0f); });
    // The first ray meets the sphere at (0.7189, 0, -0.6951), outside the tube, then the
    // tube's wall inside the sphere, and leaves through the tube's end at z = 2.5: one
    // crossing of the tube, which once counted as starting inside it and cut the sphere away.
    const Shot shots[] = {
        {"enters the wall, leaves by the end", Point(0.9f, 0, -1.5f), Point(0, 0, 2.5f),
         Point(0.71890f, 0, -0.69511f)},
        // Enters by the end and leaves by the wall before reaching the sphere: the parity and
        // the wall's facing agree, the ray starts inside the tube.
        {"enters by the end, leaves the wall", Point(0, 0, -3), Point(0.8f, 0, 0),
         Point(0.58342f, 0, -0.81217f)},
        // Crosses both walls inside the sphere: the sphere's surface, then the hole.
        {"across the hole", Point(-5, 0, 0), Point(0, 0, 0), Point(-1, 0, 0)},
        // Down the hole: the tube is never crossed and carves nothing on this ray.
        {"down the axis", Point(0.1f, 0, -5), Point(0.1f, 0, 0), Point(0.1f, 0, -0.99499f)},
    };
    expectShots(solid, shots);
}

// A sphere facing inwards is closed all the same: the parity of its crossings answers, as for
// one facing out, though the facing of the first crossing says otherwise.
TEST_F(OpenSolidTest, AClosedOperandFacingInwardsKeepsTheParityRule) {
    const Reference<Primitive> solid = drilled([this] {
        renderer->Attribute("string orientation", "inside");
        renderer->Translate(1.0f, 0.0f, 0.0f);
        renderer->Sphere(1.0f);
    });
    const Shot shots[] = {
        {"through the carved face", Point(5, 0, 0), Point(0, 0, 0), Point(0, 0, 0)},
        {"the untouched side", Point(-5, 0, 0), Point(0, 0, 0), Point(-1, 0, 0)},
        {"from inside the carved part", Point(1, 0, 0), Point(0, 0, 0), Point(0, 0, 0)},
    };
    expectShots(solid, shots);
}

// A tube facing inwards is still crossed twice by a line across it: where the facing of the
// first crossing disagrees with the parity, the crossings behind the ray decide that the
// parity holds.
TEST_F(OpenSolidTest, AnOpenOperandFacingInwardsIsCountedAlongTheWholeLine) {
    const Reference<Primitive> solid = drilled([this] {
        renderer->Attribute("string orientation", "inside");
        renderer->Cylinder(0.4f, -2.5f, 2.5f, 360.0f);
    });
    const Shot shots[] = {
        {"across the hole", Point(-5, 0, 0), Point(0, 0, 0), Point(-1, 0, 0)},
        {"from the hole's middle", Point(0, 0, 0), Point(1, 0, 0), Point(0.4f, 0, 0)},
    };
    expectShots(solid, shots);
}

}  // namespace
}  // namespace testing
}  // namespace ovo
