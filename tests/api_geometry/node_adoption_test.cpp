// Closed plain blocks hand their primitives to the enclosing node instead of staying in the
// tree: what a built world holds, and in which order, must not change with that.
#include <cmath>

#include "api/api_test_util.h"
#include "core/geometry/primitive.h"

namespace ovotest {
namespace {

class NodeAdoptionTest : public RaytracerTest {
  protected:
    void TearDown() override { finishFrame(); }
    // The x centre of each primitive the world's accelerator got, in order; 100 for one that
    // moves.
    std::vector<float> builtOrder() {
        std::vector<float> order;
        const auto world = renderer->buildPrimitive(*renderer->getWorldNode());
        if (const auto* aggregate = dynamic_cast<const ovo::Aggregate*>(world.get()))
            for (const auto& p : aggregate->getPrimitives()) {
                const ovo::Aabb b = p->worldExtent();
                order.push_back(dynamic_cast<const ovo::MotionPrimitive*>(p.get())
                                    ? 100.0f
                                    : std::round(0.5f * (b.bmin[0] + b.bmax[0])));
            }
        return order;
    }
};

TEST_F(NodeAdoptionTest, PrimitivesKeepTheOrderTheTreeGaveThem) {
    renderer->getOptions().shutter[1] = 1.0f;
    enterWorld();
    // A block's own primitives come before those of the blocks inside it, whenever made.
    renderer->PushAttributes();
    renderer->Sphere(1.0f);
    sphereAt(2.0f);
    renderer->Translate(4.0f, 0.0f, 0.0f);
    renderer->Sphere(1.0f);
    renderer->PopAttributes();
    sphereAt(6.0f);
    // An object's blocks stay out of the world.
    renderer->ObjectBegin("pair");
    sphereAt(8.0f);
    renderer->ObjectEnd();
    EXPECT_TRUE(renderer->getWorldNode()->children.empty());
    sphereAt(1.0f);
    // A moving block and a solid stay nodes; the plain blocks after them must not overtake them.
    renderer->PushTransform();
    renderer->Motion(2, 0.0f, 1.0f);
    renderer->Translate(0.0f, 0.0f, 0.0f);
    renderer->Translate(0.0f, 4.0f, 0.0f);
    renderer->Sphere(1.0f);
    renderer->PopTransform();
    sphereAt(3.0f);
    renderer->SolidBegin("union");
    sphereAt(5.0f);
    sphereAt(7.0f);
    renderer->SolidEnd();
    sphereAt(9.0f);
    expectSilence();
    EXPECT_EQ(builtOrder(),
              (std::vector<float>{0.0f, 4.0f, 2.0f, 6.0f, 1.0f, 100.0f, 3.0f, 6.0f, 9.0f}));
}

}  // namespace
}  // namespace ovotest
