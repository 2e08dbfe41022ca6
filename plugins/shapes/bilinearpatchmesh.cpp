// bilinearpatchmesh: a grid of nu × nv points joined by bilinear patches.
//
// RIB: PatchMesh "bilinear" (a periodic direction arrives with its first column or row of points
// repeated at its end). The points are given u first, row after row. Surface parameters: u and v
// run from 0 to 1 across the whole mesh; face is the patch (row by row) and su, sv the position in
// it. The primitive variables are constant, one value per patch ("perpiece"), or one per point
// ("linear", "vertex"; face-varying data arrives as linear data). A RIB file's "Cs" and "Os"
// arrive as "C" and "opacity".
//
// Parameters:
//   type          name     default   meaning
//   int           nu       required  points along u, at least 2
//   int           nv       required  points along v, at least 2
//   vertex point  P        required  the nu × nv points ("Pw", homogeneous points, or "Pz",
//                                    heights over the unit square, are accepted in its place)
//   normal        N        Ng        shading normal
//   color         C        Color     surface colour; the default is the current Color
//   color         opacity  Opacity   surface opacity; the default is the current Opacity
//   float         s        u         texture coordinate
//   float         t        v         texture coordinate
//   float[2]      st       u v       s and t together
//
// Example:
//   PatchMesh "bilinear" 3 "nonperiodic" 2 "nonperiodic"
//     "P" [0 0 0  1 0 1  2 0 0  0 1 0  1 1 1  2 1 0]
#include "plugins/shapes/patch_shape.h"

using namespace ovo;
using namespace ovo::shapes;

namespace {

constexpr const char* TypeName = "bilinearpatchmesh";

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const int nu = params.findInt("nu", 0), nv = params.findInt("nv", 0);
    if (nu < 2 || nv < 2) {
        refuse(renderer, "%s: %d by %d points; a mesh needs at least 2 by 2. Ignoring ...",
               TypeName, nu, nv);
        return nullptr;
    }
    if (double(nu) * double(nv) > double(1 << 30)) {
        refuse(renderer, "%s: %d by %d points are too many. Ignoring ...", TypeName, nu, nv);
        return nullptr;
    }
    return makePatchSurface(renderer, TypeName, objectToWorld, attributes, params,
                            Direction::linear(nu), Direction::linear(nv), nu, nv, false);
}

}  // namespace

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
