// What the reflective and refractive surface shaders compute alike: the mirror direction, the
// refracted direction, Schlick's approximation of the Fresnel reflectance, and texture lookups
// filtered over the pixel's footprint in (s, t).
#pragma once

#include <cmath>

#include "core/shading/environment.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/texture.h"

namespace ovo {
namespace shaders {

// reflect(I, Nf), normalized: the direction a mirror sends the viewing ray.
inline Tuple mirrorDirection(const ShaderEnvironment& env, const Tuple& Nf) {
    return SL::normalize(SL::reflect(SL::normalize(env.I), Nf));
}

// The direction of I refracted at a surface of normal N (facing I) with relative index eta
// (outside over inside); zero on total internal reflection.
inline Tuple refractDirection(const Tuple& I, const Tuple& N, float eta) {
    const Tuple i = SL::normalize(I);
    const float c = -dot(i, N);
    const float k = 1.0f - eta * eta * (1.0f - c * c);
    if (k < 0.0f) return Tuple(0.0f);
    return SL::normalize(i * eta + N * (eta * c - std::sqrt(k)));
}

// Schlick's approximation: reflectance at normal incidence F0 = ((eta-1)/(eta+1))^2, rising to
// 1 at grazing incidence; cosine is that of the angle to the normal.
inline float schlick(float cosine, float eta) {
    const float r = (eta - 1.0f) / (eta + 1.0f);
    const float f0 = r * r;
    const float m = std::max(0.0f, 1.0f - cosine);
    return f0 + (1.0f - f0) * m * m * m * m * m;
}

// texture(name, s, t) filtered over the area the pixel covers in (s, t), from the derivatives
// of s and t: the shader's mask must read du and dv so that the offset passes run. Black in
// the offset passes, which only record s and t for the derivatives. The wrap modes are names
// of the wrap table ("default" keeps the file's own).
inline Color filteredTexture(ShaderEnvironment& env, OIIO::ustring name, float s, float t,
                             OIIO::ustring swrap = strings::default_,
                             OIIO::ustring twrap = strings::default_) {
    const float dsdu = SL::Du(env, s), dsdv = SL::Dv(env, s);
    const float dtdu = SL::Du(env, t), dtdv = SL::Dv(env, t);
    if (env.derivPass != 0 || name.empty()) return Color(0.0f);
    const float dsdx = dsdu * env.dudx + dsdv * env.dvdx, dtdx = dtdu * env.dudx + dtdv * env.dvdx;
    const float dsdy = dsdu * env.dudy + dsdv * env.dvdy, dtdy = dtdu * env.dudy + dtdv * env.dvdy;
    // The pixel's quadrilateral, centred on (s, t).
    const float s1 = s - 0.5f * (dsdx + dsdy), t1 = t - 0.5f * (dtdx + dtdy);
    return SL::texture8c(env, name, 0, s1, t1, s1 + dsdx, t1 + dtdx, s1 + dsdy, t1 + dtdy,
                         s1 + dsdx + dsdy, t1 + dtdx + dtdy, 2, strings::swrap, swrap,
                         strings::twrap, twrap);
}

}  // namespace shaders
}  // namespace ovo
