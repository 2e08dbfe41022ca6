// Colour-space conversions of RGB colours: "hsv" and "hsl" (hue as a fraction of a full turn,
// -1/360 for a grey), "XYZ" and "xyY" (linear Rec. 709 primaries, D65 white) and "YIQ". Any
// other name, "rgb" included, is RGB itself.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/math/tuple.h"

namespace SL {

using ovo::Color;

// c (RGB) in the space `to`.
Color ctransform(OIIO::ustring to, Color& c);
// c, given in the space `from`, in the space `to`.
Color ctransform(OIIO::ustring from, OIIO::ustring to, Color& c);

}  // namespace SL
