// ShaderImager: the film's imager pass made of an imager shader. Each call runs the shader on
// a run of finished pixels with its own environment and data block, so calls on several
// threads share nothing they write.
#pragma once

#include "core/base/reference.h"
#include "core/render/imager.h"
#include "core/shading/shader.h"

namespace ovo {

class Scene;

class ShaderImager : public PixelImager {
  public:
    // The scene answers the shader's queries (the format, textures) and must outlive the
    // frame's outputs.
    ShaderImager(const Reference<Shader>& shader, const Scene& scene);
    void image(ImagerPixel* pixels, int count) const override;

  private:
    Reference<Shader> shader;
    const Scene& scene;
};

}  // namespace ovo
