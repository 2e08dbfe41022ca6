#include "core/shading/sl/bake.h"

#include "core/render/scene.h"
#include "core/shading/bake.h"

namespace SL {

namespace {

inline bool bakes(const ShaderEnvironment& env) {
    return env.scene && env.derivPass == 0 &&
           !(env.ray && env.ray->type == ovo::RayDifferential::Transmission);
}

}  // namespace

void bake(ShaderEnvironment& env, OIIO::ustring file, float s, float t, float value) {
    if (bakes(env)) env.scene->getBakeStore().add(file, s, t, &value, 1);
}

void bake(ShaderEnvironment& env, OIIO::ustring file, float s, float t, const Color& value) {
    const float v[3] = {value.r, value.g, value.b};
    if (bakes(env)) env.scene->getBakeStore().add(file, s, t, v, 3);
}

}  // namespace SL
