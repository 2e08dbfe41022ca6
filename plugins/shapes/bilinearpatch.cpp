// bilinearpatch: a patch through four corner points, straight along u and along v.
//
// RIB: Patch "bilinear". The corners are given u first: (u, v) = (0, 0), (1, 0), (0, 1), (1, 1).
// Surface parameters: u and v run from 0 to 1 across the patch (su, sv the same; face 0). The
// normal turns like dPdu × dPdv. The primitive variables are constant, one value ("perpiece"),
// or one per corner ("linear", "vertex"; face-varying data arrives as linear data). A RIB file's
// "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type          name     default   meaning
//   vertex point  P        required  the four corners ("Pw", homogeneous points, or "Pz", heights
//                                    over the unit square, are accepted in its place)
//   normal        N        Ng        shading normal
//   color         C        Color     surface colour; the default is the current Color
//   color         opacity  Opacity   surface opacity; the default is the current Opacity
//   float         s        u         texture coordinate
//   float         t        v         texture coordinate
//   float[2]      st       u v       s and t together
//
// Example:
//   Patch "bilinear" "P" [0 0 0  1 0 0  0 1 0  1 1 0.5]
#include "plugins/shapes/patch_shape.h"

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "bilinearpatch", [&] {
        return makePatchSurface(renderer, "bilinearpatch", objectToWorld, attributes, params,
                                Direction::linear(2), Direction::linear(2), 2, 2, false);
    });
}
