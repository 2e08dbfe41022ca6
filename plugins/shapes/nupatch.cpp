// nupatch: a NURBS surface of any order and knot vector, rational or not, trimmable.
//
// RIB: NuPatch. The control points are given u first, row after row. The surface is cut at its
// knots into rational Bézier pieces and traced exactly. Trim loops made by TrimCurve under the
// same attributes cut it: with "trimcurve" "sense" "inside" (the default) what lies inside the
// loops is removed, with "outside" what lies outside. Surface parameters: u and v run from 0 to 1
// over [umin, umax] and [vmin, vmax], in proportion to the knot values; face is the piece (row by
// row) and su, sv the position in it. The primitive variables are constant, one value per span
// ("perpiece"), one per span corner ("linear"; face-varying data arrives as linear data), or one
// per control point ("vertex", interpolated like the points). A RIB file's "Cs" and "Os" arrive as
// "C" and "opacity".
//
// Parameters:
//   type          name     default   meaning
//   int           nu       required  control points along u, at least uorder
//   int           uorder   required  order (degree + 1) along u, 1 to 16
//   float[]       uknot    required  nu + uorder knots, not decreasing
//   float         umin     first     start of the part drawn along u
//   float         umax     last      end of the part drawn along u
//   int           nv       required  control points along v, at least vorder
//   int           vorder   required  order along v, 1 to 16
//   float[]       vknot    required  nv + vorder knots, not decreasing
//   float         vmin     first     start of the part drawn along v
//   float         vmax     last      end of the part drawn along v
//   vertex point  P        required  the nu × nv points ("Pw", homogeneous points, is accepted in
//                                    its place)
//   normal        N        Ng        shading normal
//   color         C        Color     surface colour; the default is the current Color
//   color         opacity  Opacity   surface opacity; the default is the current Opacity
//   float         s        u         texture coordinate
//   float         t        v         texture coordinate
//   float[2]      st       u v       s and t together
//
// Example:
//   NuPatch 3 3 [0 0 0 1 1 1] 0 1 2 2 [0 0 1 1] 0 1 "Pw" [...]
#include <string>

#include "plugins/shapes/patch_shape.h"

using namespace ovo;
using namespace ovo::shapes;

namespace {

constexpr const char* TypeName = "nupatch";

// One direction from "n<axis>", "<axis>order", "<axis>knot", "<axis>min" and "<axis>max";
// false after reporting.
bool direction(RendererAPI& renderer, const ParameterSet& params, const char* axis, int& n,
               Direction& d) {
    const std::string a(axis);
    n = params.findInt(("n" + a).c_str(), 0);
    const int order = params.findInt((a + "order").c_str(), 0);
    if (order < 1 || order > MaxOrder || n < order || n > (1 << 28)) {
        refuse(renderer,
               "%s: %d points of order %d along %s; the order must be 1 to %d and the points at "
               "least as many. Ignoring ...",
               TypeName, n, order, axis, MaxOrder);
        return false;
    }
    Parameter* knots = params.find((a + "knot").c_str(), TypeFloat);
    const std::size_t count = std::size_t(n) + std::size_t(order);
    if (!knots || !knots->getFloats() || tooShort(*knots, count)) {
        refuse(renderer, "%s: \"%sknot\" must hold %zu knots. Ignoring ...", TypeName, axis, count);
        return false;
    }
    const float* k = knots->getFloats();
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(k[i]) || (i > 0 && k[i] < k[i - 1])) {
            refuse(renderer, "%s: the %s knots decrease or are not finite. Ignoring ...", TypeName,
                   axis);
            return false;
        }
    const float lo = params.findFloat((a + "min").c_str(), k[order - 1]);
    const float hi = params.findFloat((a + "max").c_str(), k[n]);
    if (!Direction::nurbs(n, order, k, lo, hi, d)) {
        refuse(renderer,
               "%s: nothing of the surface lies between %smin %g and %smax %g. "
               "Ignoring ...",
               TypeName, axis, double(lo), axis, double(hi));
        return false;
    }
    return true;
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    int nu = 0, nv = 0;
    Direction du, dv;
    if (!direction(renderer, params, "u", nu, du) || !direction(renderer, params, "v", nv, dv))
        return nullptr;
    if (double(nu) * double(nv) > double(1 << 30)) {
        refuse(renderer, "%s: %d by %d points are too many. Ignoring ...", TypeName, nu, nv);
        return nullptr;
    }
    return makePatchSurface(renderer, TypeName, objectToWorld, attributes, params, std::move(du),
                            std::move(dv), nu, nv, true);
}

}  // namespace

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
