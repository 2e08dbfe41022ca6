// Lights and illuminance: the loops through which surface shaders gather light, the calls
// light shaders make to say where their light comes from, and the built-in lighting models.
#pragma once

#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace SL {

using ovo::Color;
using ovo::ShaderEnvironment;
using ovo::Tuple;

// Starts a loop over the light samples at `position` (with a cone: those whose direction lies
// within `angle` radians of `axis`). The first complete loop at a position fills the cache that
// later loops there replay.
void startIlluminance(ShaderEnvironment& env, Tuple& position);
void startIlluminance(ShaderEnvironment& env, Tuple& position, Tuple& axis, float angle);
// Next light sample: L (toward the light), Cl and Ol are left in env; false at the end.
bool illuminance1(ShaderEnvironment& env);  // every sample
bool illuminance3(ShaderEnvironment& env);  // the samples inside the cone

// In light shaders: light from the point `from` (within the cone around `axis`), or from a
// direction (solar). False when the point being lit lies outside the cone.
bool illuminate(ShaderEnvironment& env, Tuple& from);
bool illuminate(ShaderEnvironment& env, Tuple& from, Tuple& axis, float angle);
bool solar(ShaderEnvironment& env);
bool solar(ShaderEnvironment& env, Tuple& axis, float angle);

Color ambient(ShaderEnvironment& env);
Color diffuse(ShaderEnvironment& env, Tuple& N);
Color specular(ShaderEnvironment& env, Tuple& N, Tuple& V, float roughness);
// The specular model of the option "ray:specularbrdf", for unit L, N and V.
Color specularbrdf(ShaderEnvironment& env, Tuple& L, Tuple& N, Tuple& V, float roughness);
Color phong(ShaderEnvironment& env, Tuple& N, Tuple& V, float size);

}  // namespace SL
