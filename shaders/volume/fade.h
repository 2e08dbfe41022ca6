// What the atmosphere shaders share: the surface behind fades towards a colour.
#pragma once

#include "core/shading/environment.h"

namespace ovo {
namespace shaders {

// Ci = mix(Ci, background, k) and Oi = mix(Oi, 1, k): at k = 1 only the background is seen.
inline void fadeTo(ShaderEnvironment& env, const Color& background, float k) {
    env.Ci = env.Ci * (1.0f - k) + background * k;
    env.Oi = env.Oi * (1.0f - k) + Color(1.0f) * k;
}

}  // namespace shaders
}  // namespace ovo
