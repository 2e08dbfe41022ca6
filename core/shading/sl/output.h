// Text output from shaders: printf, for looking at values while a shader is debugged, and
// format, which makes a string.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/shading/environment.h"

namespace SL {

using ovo::ShaderEnvironment;

// Prints to standard output, in the main pass only (the derivative passes would print every
// line three times). After '%': 'f' a float (passed as a double), 'p' a point (a Tuple) and
// 'c' a colour (a Color) as "[x y z]", 'm' a Matrix as its sixteen values in brackets, 's' an
// OIIO::ustring. Any other character after '%' prints nothing and takes no argument. Each call
// writes its whole line at once, so lines of several threads do not interleave.
void printf(ShaderEnvironment& env, OIIO::ustring format, ...);

// The text vsnprintf makes of format and the arguments (strings as const char*), cut at 1023
// characters.
OIIO::ustring format(OIIO::ustring format, ...);

}  // namespace SL
