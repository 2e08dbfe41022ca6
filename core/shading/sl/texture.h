// Texture, environment and shadow lookups that compiled shaders call. Texture filtering,
// caching and MIP-mapping are the scene's OpenImageIO texture system's; environments may also
// be traced, and shadows always are (towards the current light). Every lookup but textureinfo
// ends with n keyword/value pairs (see keywords.h): numbers arrive as double, names as ustring.
#pragma once

#include <OpenImageIO/ustring.h>

#include <vector>

#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace SL {

// At the environment's (s, t) without filter derivatives; from channel `channel` on.
// Keywords: "fill", "blur", "width" (numbers), "swrap", "twrap", "wrap" ("default", "black",
// "clamp", "periodic", "mirror"), "filter" (accepted, ignored).
ovo::Color texturec(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, int n, ...);
float texturef(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, int n, ...);
// At (s, t) without filter derivatives.
ovo::Color texture2c(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, float s, float t,
                     int n, ...);
float texture2f(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, float s, float t,
                int n, ...);
// Where a lookup filters: the centre (s, t) and how far one pixel step in x, and one in y,
// moves it.
struct TextureFootprint {
    float s, t;
    float dsdx, dtdx, dsdy, dtdy;
};
// Filtered over the footprint. Black in the offset passes, which only record coordinates for
// their derivatives.
ovo::Color texturec(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel,
                    const TextureFootprint& at, int n, ...);
float texturef(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel,
               const TextureFootprint& at, int n, ...);
// Filtered over the quadrilateral of the four corners (corner 1 to 2 is one pixel step in x,
// 1 to 3 one step in y).
ovo::Color texture8c(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, float s1,
                     float t1, float s2, float t2, float s3, float t3, float s4, float t4, int n,
                     ...);
float texture8f(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, float s1, float t1,
                float s2, float t2, float s3, float t3, float s4, float t4, int n, ...);

// The environment seen along R: traced for "raytrace" or a geometry-set name (keywords
// "samples", "blur", "Kr"), otherwise looked up in the environment texture `name` (keywords
// "samples", accepted, and "blur").
ovo::Color environmentc(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, ovo::Tuple& R,
                        int n, ...);

// In a light shader: how much of the current light is blocked between the point being lit and
// the light, traced (only members of the geometry set `name` block, when there is one).
// Keywords "samples" and "blur". shadowf is the luminance of shadowc.
ovo::Color shadowc(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, ovo::Tuple& P,
                   int n, ...);
float shadowf(ovo::ShaderEnvironment& env, OIIO::ustring name, int channel, ovo::Tuple& P, int n,
              ...);

// "channels" of a texture file, as a float: 1 on success, 0 otherwise (out untouched).
float textureinfo(ovo::ShaderEnvironment& env, OIIO::ustring name, OIIO::ustring dataname,
                  float& out);
// Array answers are not supported: always 0.
float textureinfo(ovo::ShaderEnvironment& env, OIIO::ustring name, OIIO::ustring dataname,
                  std::vector<float>& out);

}  // namespace SL
