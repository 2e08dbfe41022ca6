// Message passing: a shader reads the arguments of the other layers of its hit, of the light
// of the running illuminance loop, and facts about the ray being shaded. Every query returns
// 1 when it found and wrote a value and 0 (leaving the value alone) otherwise.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace SL {

using ovo::Color;
using ovo::ShaderEnvironment;
using ovo::Tuple;

// The argument `name` of the surface, displacement or volume layers of this hit, searched from
// the last layer to the first for one of a suitable type (float; color; point, vector or
// normal); an array gives its first element. A group's values exist while its layers' data
// blocks do: displacement values for the surface and volume layers, surface values for the
// volume layers, and each group's for its own later layers.
float surface(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float surface(ShaderEnvironment& env, OIIO::ustring& name, Color& value);
float surface(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);
float displacement(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float displacement(ShaderEnvironment& env, OIIO::ustring& name, Color& value);
float displacement(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);
float volume(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float volume(ShaderEnvironment& env, OIIO::ustring& name, Color& value);
float volume(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);

// The argument `name` of the current light, inside an illuminance loop.
float lightsource(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float lightsource(ShaderEnvironment& env, OIIO::ustring& name, Color& value);
float lightsource(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);

// Only "Sides" is answered, always with 2: shaders written for two-sided surfaces keep their
// look whatever the primitive's setting. Of the options only "Format" is answered, into an
// array of at least three floats (x resolution, y resolution, pixel aspect); everything else
// answers 0 and leaves the output as it was.
float attribute(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float attribute(ShaderEnvironment& env, OIIO::ustring& name, OIIO::ustring& value);
float attribute(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);
float option(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float option(ShaderEnvironment& env, OIIO::ustring& name, OIIO::ustring& value);
float option(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);
float option(ShaderEnvironment& env, OIIO::ustring& name, float* values, int count);

// The ray being shaded: "type" ("camera", "specular", "transmission", "diffuse" for the
// occlusion and indirect-diffuse rays), "depth" and "diffusedepth", "origin" and "direction".
float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, OIIO::ustring& value);
float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, float& value);
float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value);

}  // namespace SL
