// cylinder: an open cylinder about the z axis, between two heights, swept about z.
//
// RIB: Cylinder radius zmin zmax thetamax. Surface parameters: u = phi / thetamax; v = (z - zmin) /
// (zmax - zmin). The primitive variables are constant, or four corner values (linear or vertex
// class); a RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type      name      default  meaning
//   float     radius    1        a negative radius counts as its magnitude
//   float     zmin      -1       lower end
//   float     zmax      1        upper end, above zmin
//   float     thetamax  360      sweep in degrees, above 0; at most one turn is kept
//   normal    N         Ng       shading normal
//   color     C         Color    surface colour; the default is the current Color
//   color     opacity   Opacity  surface opacity; the default is the current Opacity
//   float     s         u        texture coordinate
//   float     t         v        texture coordinate
//   float[2]  st        u v      s and t together
//
// Example:
//   Cylinder 0.5 0 2 360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Cylinder : public Quadric<Cylinder> {
  public:
    static constexpr bool Curved = true;

    Cylinder(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
             float radius, float zmin, float zmax, float thetaMax)
        : Quadric(o2w, attrs, thetaMax), radius(radius), zmin(zmin), zmax(zmax) {
        readSt(params);
    }

    Aabb objectExtent() const override { return sweepBound(radius, radius, thetaMax, zmin, zmax); }

    int roots(const Ray& r, double t[4]) const {
        const double ox = r.o.x, oy = r.o.y, dx = r.d.x, dy = r.d.y;
        const double a = dx * dx + dy * dy;
        if (a == 0.0) return 0;  // along the axis: never through the side
        const double b = 2.0 * (ox * dx + oy * dy);
        const double c = ox * ox + oy * oy - double(radius) * radius;
        return solveQuadratic(a, b, c, t);
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (p.z < zmin || p.z > zmax || !sweep(angleAboutZ(p.x, p.y), u)) return false;
        v = clamp((p.z - zmin) / (zmax - zmin), 0.0f, 1.0f);
        return true;
    }

    Vector outward(const Point& p, float, float) const { return Vector(p.x, p.y, 0.0f); }

    SurfacePoint geometry(float u, float v) const {
        const float phi = u * thetaMax, cp = std::cos(phi), sp = std::sin(phi);
        SurfacePoint g;
        g.P = Point(radius * cp, radius * sp, zmin + v * (zmax - zmin));
        g.n = Vector(cp, sp, 0.0f);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = Vector(0.0f, 0.0f, zmax - zmin);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        g.d2Pduv = g.d2Pdvv = Vector(0.0f);
        return g;
    }

  private:
    float radius, zmin, zmax;
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float radius = std::fabs(params.findFloat("radius", 1.0f));
    const float zmin = params.findFloat("zmin", -1.0f);
    const float zmax = params.findFloat("zmax", 1.0f);
    float thetaMax;
    if (!radiusUsable(renderer, "cylinder", "radius", radius)) return nullptr;
    if (!cutUsable(renderer, "cylinder", zmin, zmax)) return nullptr;
    if (!readThetaMax(renderer, "cylinder", params, thetaMax)) return nullptr;
    return guarded(renderer, "cylinder", [&] {
        return new Cylinder(objectToWorld, attributes, params, radius, zmin, zmax, thetaMax);
    });
}
