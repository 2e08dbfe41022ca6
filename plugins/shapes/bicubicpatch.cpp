// bicubicpatch: a bicubic patch, or a mesh of them, in any of the cubic bases.
//
// RIB: Patch "bicubic" and PatchMesh "bicubic", in the bases of Basis (a periodic direction
// arrives with its first points repeated at its end). The points are given u first, row after
// row; along each direction every `step` points start a new patch of four. The patches are traced
// exactly: what the ray meets is the surface itself. Surface parameters: u and v run from 0 to 1
// across the whole mesh; face is the patch (row by row) and su, sv the position in it. The
// primitive variables are constant, one value per patch ("perpiece"), one per patch corner
// ("linear"; face-varying data arrives as linear data), or one per point ("vertex", interpolated
// in the basis like the points). A RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type          name     default   meaning
//   int           nu       4         points along u: 4 + step·k
//   int           nv       4         points along v: 4 + step·k
//   string        basis    bezier    "bezier", "bspline", "catmull-rom", "hermite" or "power",
//                                    in both directions
//   string        ubasis   basis     the basis along u
//   string        vbasis   basis     the basis along v
//   int           ustep    basis's   points between patches along u (bezier 3, bspline and
//                                    catmull-rom 1, hermite 2, power 4)
//   int           vstep    basis's   points between patches along v
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
//   Basis "bspline" 1 "bspline" 1
//   PatchMesh "bicubic" 4 "nonperiodic" 5 "nonperiodic" "P" [...]
#include <string>

#include "plugins/shapes/patch_shape.h"

using namespace ovo;
using namespace ovo::shapes;

namespace {

constexpr const char* TypeName = "bicubicpatch";

// One direction: its basis, step and number of points; false after reporting.
bool direction(RendererAPI& renderer, const ParameterSet& params, const char* axis, int n,
               Direction& d) {
    const std::string which = std::string(axis) + "basis", stepName = std::string(axis) + "step";
    const std::string name = params.findString(which.c_str(), params.findString("basis", "bezier"));
    const CubicBasis* basis = findCubicBasis(name);
    if (!basis) {
        refuse(renderer, "%s: unknown basis \"%s\". Ignoring ...", TypeName, name.c_str());
        return false;
    }
    const int step = params.findInt(stepName.c_str(), basis->step);
    if (step < 1) {
        refuse(renderer, "%s: %s is %d; it must be at least 1. Ignoring ...", TypeName,
               stepName.c_str(), step);
        return false;
    }
    if (n < 4 || (n - 4) % step != 0 || n > (1 << 28)) {
        refuse(renderer,
               "%s: %d points along %s do not make whole patches of step %d. Ignoring ...",
               TypeName, n, axis, step);
        return false;
    }
    d = Direction::cubic(*basis, step, (n - 4) / step + 1);
    return true;
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const int nu = params.findInt("nu", 4), nv = params.findInt("nv", 4);
    Direction du, dv;
    if (!direction(renderer, params, "u", nu, du) || !direction(renderer, params, "v", nv, dv))
        return nullptr;
    if (double(nu) * double(nv) > double(1 << 30)) {
        refuse(renderer, "%s: %d by %d points are too many. Ignoring ...", TypeName, nu, nv);
        return nullptr;
    }
    return makePatchSurface(renderer, TypeName, objectToWorld, attributes, params, std::move(du),
                            std::move(dv), nu, nv, false);
}

}  // namespace

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
