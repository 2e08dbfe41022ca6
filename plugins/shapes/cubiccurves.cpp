// cubiccurves: cubic curves in any basis, drawn as ribbons facing the ray or given normals.
//
// RIB: Curves "cubic", in the v basis and step of Basis (a periodic curve arrives with its first
// vertices repeated at its end). Every `vstep` control points of a curve start a segment of four;
// each segment is traced exactly as the cubic it is. Without "N" a ribbon always faces the ray,
// so that it looks equally wide from every side (hair); with "N" it lies across those normals
// (grass blades, strips). Surface parameters: v runs from 0 to 1 along each curve and u from 0 to
// 1 across it; face is the segment. The primitive variables are constant, one value per curve
// ("perpiece"), one per segment end ("linear"), or one per control point ("vertex", in the basis).
// A RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type          name            default   meaning
//   int           ncurves         required  the number of curves
//   int[ncurves]  nvertspercurve  required  the control points of each curve: 4 + vstep·k (one
//                                           int: the same for all)
//   string        basis           bezier    "bezier", "bspline", "catmull-rom", "hermite" or
//                                           "power"
//   int           vstep           basis's   control points between segments (bezier 3, bspline
//                                           and catmull-rom 1, hermite 2, power 4)
//   vertex point  P               required  the control points of every curve, one curve after
//                                           the other ("Pw", homogeneous points, is accepted in
//                                           its place)
//   linear float  width           none      the width at each segment end ("vertex": at each
//                                           control point, in the basis)
//   float         constantwidth   1         one width for every curve
//   linear normal N               none      the ribbon's normal at each segment end ("vertex": at
//                                           each control point)
//   color         C               Color     surface colour; the default is the current Color
//   color         opacity         Opacity   surface opacity; the default is the current Opacity
//   float         s               u         texture coordinate
//   float         t               v         texture coordinate
//   float[2]      st              u v       s and t together
//
// Example:
//   Basis "bezier" 3 "bezier" 3
//   Curves "cubic" [4] "nonperiodic" "P" [0 0 0  0 0.3 0.1  0.1 0.6 0  0.3 1 0]
//     "width" [0.04 0.01]
#include "plugins/shapes/curves.h"

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "cubiccurves", [&] {
        return makeCurves(renderer, "cubiccurves", objectToWorld, attributes, params, true);
    });
}
