// The "bvh" accelerator: the hierarchy is built by the constructor (build.cpp) and walked by the
// two intersection tests (traverse.cpp).
#pragma once

#include <vector>

#include "core/geometry/primitive.h"
#include "plugins/accelerators/bvh/layout.h"

namespace ovo {
namespace bvh {

class Bvh final : public Aggregate {
  public:
    Bvh(std::vector<Reference<Primitive>>& list, int leafSize);
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    bool occluded(const Ray& ray, const Primitive*& blocker) const override;

  private:
    Tree tree;
    std::vector<const Primitive*> unbounded;  // tested by every ray
};

}  // namespace bvh
}  // namespace ovo
