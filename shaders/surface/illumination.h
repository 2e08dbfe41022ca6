// The plastic model written by hand in C++, as the shading-language sources write it:
// Nf = faceforward(normalize(N), I), V = -normalize(I), and the plastic sum. The standard
// shaders are all compiled now; this stays as the reference the compiled plastic is held to
// (the test plugin handplastic).
#pragma once

#include "core/shading/environment.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"

namespace ovo {
namespace shaders {

// faceforward(normalize(N), I): the shading normal turned towards the viewer.
inline Tuple facingNormal(ShaderEnvironment& env) {
    Tuple n = SL::normalize(env.N), i = env.I;
    return SL::faceforward(env, n, i);
}

// -normalize(I): the direction towards the viewer.
inline Tuple towardsViewer(const ShaderEnvironment& env) { return -SL::normalize(env.I); }

// Os * (Ct * (Ka*ambient() + Kd*diffuse(Nf)) + specularcolor * Ks * specular(Nf, V, roughness)):
// a diffuse base of colour Ct under a glossy highlight.
inline Color plastic(ShaderEnvironment& env, const Color& Ct, float Ka, float Kd, float Ks,
                     float roughness, const Color& specularcolor) {
    Tuple Nf = facingNormal(env);
    Tuple V = towardsViewer(env);
    return env.Os * (Ct * (Ka * SL::ambient(env) + Kd * SL::diffuse(env, Nf)) +
                     specularcolor * Ks * SL::specular(env, Nf, V, roughness));
}

}  // namespace shaders
}  // namespace ovo
