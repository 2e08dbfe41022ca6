// Reference-counted lists held by the attribute state: the layers of a shader group and the
// active lights of a primitive.
#pragma once

#include <utility>
#include <vector>

#include "core/base/reference.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"

namespace ovo {

class ShaderGroup : public ReferenceCounted {
  public:
    // In declaration order. Layers are added with add(), which keeps `globals`.
    std::vector<Reference<Shader>> layers;
    // The shading globals any layer reads, so that a hit need not ask each layer.
    unsigned globals = 0;

    void add(Reference<Shader> shader) {
        if (shader) globals |= shader->info()->globals;
        layers.push_back(std::move(shader));
    }

    // Whether the group's Oi is the primitive's Os wherever it runs: every layer is marked
    // ShaderOpacityIsOs and no layer connection feeds a layer's Os or Oi. An empty group
    // does not qualify (it leaves Oi at 1).
    bool opacityIsOs() const {
        for (const Reference<Shader>& s : layers) {
            if (!(s->info()->properties & ShaderOpacityIsOs)) return false;
            for (const Shader::ShaderConnectionInterface* c : s->getLayerConnections())
                if (c->destination.global & (GlobalOs | GlobalOi)) return false;
        }
        return !layers.empty();
    }
};

class LightList : public ReferenceCounted {
  public:
    LightList() {}
    LightList(const LightList& other) : ReferenceCounted(), lights(other.lights) {}
    std::vector<Reference<Light>> lights;
};

}  // namespace ovo
