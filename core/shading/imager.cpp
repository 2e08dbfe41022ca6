#include "core/shading/imager.h"

#include "core/shading/environment.h"

namespace ovo {

ShaderImager::ShaderImager(const Reference<Shader>& imagerShader, const Scene& frameScene)
    : shader(imagerShader), scene(frameScene) {}

void ShaderImager::image(ImagerPixel* pixels, int count) const {
    if (!shader || count <= 0) return;
    ShaderEnvironment env;
    DerivativeScope derivatives(env);
    env.scene = &scene;
    struct Block {
        const Shader& shader;
        void* data;
        ~Block() { shader.destroyData(data); }
    } block{*shader, shader->createData()};
    for (int i = 0; i < count; ++i) {
        ImagerPixel& p = pixels[i];
        env.P = p.position;
        env.Ci = p.colour;
        env.Oi = p.opacity;
        env.alpha = p.alpha;
        // Parameters start from their bound values at every pixel: a shader may write them.
        shader->init(env, nullptr, block.data);
        shader->execute(env, block.data);
        p.colour = env.Ci;
        p.opacity = env.Oi;
        p.alpha = env.alpha;
    }
}

}  // namespace ovo
