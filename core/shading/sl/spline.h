// Cubic splines through lists of floats, colours or points with a named basis: "bezier",
// "bspline", "catmull-rom" (the default), "hermite", "power" and "linear"; any other name
// is the power basis.
//
// The values come either as a vector or after a count through "...", as compiled shaders pass
// them: every value as doubles (a float as one, a colour or point as three, r g b or x y z).
// t is clamped to [0, 1] and spread evenly over the segments the basis makes of the values.
// Lists shorter than four values repeat their last value; an empty list gives 0.
#pragma once

#include <OpenImageIO/ustring.h>

#include <vector>

#include "core/math/tuple.h"

namespace SL {

using ovo::Color;
using ovo::Tuple;

float splinef(float t, unsigned int n, ...);
float splinef(OIIO::ustring basis, float t, unsigned int n, ...);
float splinef(OIIO::ustring basis, float t, std::vector<float>& values);
float splinef(float t, std::vector<float>& values);

Color splinec(float t, unsigned int n, ...);
Color splinec(OIIO::ustring basis, float t, unsigned int n, ...);
Color splinec(OIIO::ustring basis, float t, std::vector<Color>& values);
Color splinec(float t, std::vector<Color>& values);

Tuple splinep(float t, unsigned int n, ...);
Tuple splinep(OIIO::ustring basis, float t, unsigned int n, ...);
Tuple splinep(OIIO::ustring basis, float t, std::vector<Tuple>& values);
Tuple splinep(float t, std::vector<Tuple>& values);

}  // namespace SL
