// bake: shaders record values over a surface's (s, t) in a file, for a later pass to read
// as a texture instead of computing them again.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/shading/environment.h"

namespace SL {

using ovo::Color;
using ovo::ShaderEnvironment;

// Keeps the value at (s, t) for `file`, which the scene writes when the frame ends (see
// BakeStore for the format). Only the main pass of a shading point bakes: the derivative
// passes would add their offset points, and shadow rays shade only for opacity.
void bake(ShaderEnvironment& env, OIIO::ustring file, float s, float t, float value);
void bake(ShaderEnvironment& env, OIIO::ustring file, float s, float t, const Color& value);

}  // namespace SL
