// linearcurves: polylines drawn as flat ribbons, facing the ray or turned to given normals.
//
// RIB: Curves "linear" (a periodic curve arrives with its first vertex repeated at its end). Each
// curve joins its vertices by straight segments. Without "N" a ribbon always faces the ray, so
// that it looks equally wide from every side; with "N" it lies across those normals (grass blades,
// strips). Surface parameters: v runs from 0 to 1 along each curve and u from 0 to 1 across it;
// face is the segment. The primitive variables are constant, one value per curve ("perpiece"), or
// one per vertex ("linear", "vertex"). A RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type          name            default   meaning
//   int           ncurves         required  the number of curves
//   int[ncurves]  nvertspercurve  required  the vertices of each curve, at least 2 (one int: the
//                                           same for all)
//   vertex point  P               required  the vertices of every curve, one curve after the
//                                           other ("Pw", homogeneous points, is accepted in its
//                                           place)
//   linear float  width           none      the width at each vertex
//   float         constantwidth   1         one width for every curve
//   linear normal N               none      the ribbon's normal at each vertex
//   color         C               Color     surface colour; the default is the current Color
//   color         opacity         Opacity   surface opacity; the default is the current Opacity
//   float         s               u         texture coordinate
//   float         t               v         texture coordinate
//   float[2]      st              u v       s and t together
//
// Example:
//   Curves "linear" [3 2] "nonperiodic" "P" [0 0 0  1 0 0  1 1 0  2 0 0  2 1 0]
//     "constantwidth" [0.05]
#include "plugins/shapes/curves.h"

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "linearcurves", [&] {
        return makeCurves(renderer, "linearcurves", objectToWorld, attributes, params, false);
    });
}
