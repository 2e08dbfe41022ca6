// Reference-counted lists held by the attribute state: the layers of a shader group and the
// active lights of a primitive.
#pragma once

#include <vector>

#include "core/base/reference.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

class ShaderGroup : public ReferenceCounted {
  public:
    std::vector<Reference<Shader>> layers;  // in declaration order
};

class LightList : public ReferenceCounted {
  public:
    LightList() {}
    LightList(const LightList& other) : ReferenceCounted(), lights(other.lights) {}
    std::vector<Reference<Light>> lights;
};

}  // namespace ovo
