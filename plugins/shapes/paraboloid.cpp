// paraboloid: the paraboloid z = zmax·(x² + y²)/radius² about the z axis, opening upwards.
//
// It is cut at two heights and swept about z. RIB: Paraboloid radius zmin zmax thetamax. Surface
// parameters: u = phi / thetamax; v = (z - zmin) / (zmax - zmin). The primitive variables are
// constant, or four corner values (linear or vertex class); a RIB file's "Cs" and "Os" arrive as
// "C" and "opacity".
//
// Parameters:
//   type      name      default  meaning
//   float     radius    1        radius at z = zmax; a negative radius counts as its magnitude
//   float     zmin      0        lower cut, at least 0 (a lower value counts as 0)
//   float     zmax      1        upper cut, above zmin and above 0
//   float     thetamax  360      sweep in degrees, above 0; at most one turn is kept
//   normal    N         Ng       shading normal
//   color     C         Color    surface colour; the default is the current Color
//   color     opacity   Opacity  surface opacity; the default is the current Opacity
//   float     s         u        texture coordinate
//   float     t         v        texture coordinate
//   float[2]  st        u v      s and t together
//
// Example:
//   Paraboloid 1 0 2 360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Paraboloid : public Quadric<Paraboloid> {
  public:
    static constexpr bool Curved = true;

    Paraboloid(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
               float radius, float zmin, float zmax, float thetaMax)
        : Quadric(o2w, attrs, thetaMax), k(radius * radius / zmax), zmin(zmin), zmax(zmax) {
        readSt(params);
    }

    Aabb objectExtent() const override {
        return sweepBound(radiusAt(zmin), radiusAt(zmax), thetaMax, zmin, zmax);
    }

    // x² + y² = k·z
    int roots(const Ray& r, double t[4]) const {
        const double ox = r.o.x, oy = r.o.y, dx = r.d.x, dy = r.d.y;
        const double a = dx * dx + dy * dy;
        const double b = 2.0 * (ox * dx + oy * dy) - double(k) * r.d.z;
        const double c = ox * ox + oy * oy - double(k) * r.o.z;
        return solveQuadratic(a, b, c, t);
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (p.z < zmin || p.z > zmax || !sweep(angleAboutZ(p.x, p.y), u)) return false;
        v = clamp((p.z - zmin) / (zmax - zmin), 0.0f, 1.0f);
        return true;
    }

    Vector outward(const Point& p, float, float) const { return Vector(p.x, p.y, -0.5f * k); }

    SurfacePoint geometry(float u, float v) const {
        const float phi = u * thetaMax, cp = std::cos(phi), sp = std::sin(phi);
        const float dz = zmax - zmin, z = zmin + v * dz, rho = radiusAt(z);
        SurfacePoint g;
        g.P = Point(rho * cp, rho * sp, z);
        g.n = Vector(g.P.x, g.P.y, -0.5f * k);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        // rho = sqrt(k·z): rho' = k / (2 rho), rho'' = -k² / (4 rho³), both along z.
        if (rho > 0.0f) {
            const float d1 = 0.5f * k / rho, d2 = -0.25f * k * k / (rho * rho * rho);
            g.dPdv = dz * Vector(d1 * cp, d1 * sp, 1.0f);
            g.d2Pduv = thetaMax * dz * Vector(-d1 * sp, d1 * cp, 0.0f);
            g.d2Pdvv = dz * dz * Vector(d2 * cp, d2 * sp, 0.0f);
        } else {
            // The apex: the profile is horizontal there.
            g.dPdv = Vector(cp, sp, 0.0f);
            g.d2Pduv = g.d2Pdvv = Vector(0.0f);
        }
        return g;
    }

  private:
    float radiusAt(float z) const { return std::sqrt(std::max(0.0f, k * z)); }

    float k;  // radius² / zmax
    float zmin, zmax;
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float radius = std::fabs(params.findFloat("radius", 1.0f));
    const float zmin = params.findFloat("zmin", 0.0f);
    const float zmax = params.findFloat("zmax", 1.0f);
    float thetaMax;
    if (!radiusUsable(renderer, "paraboloid", "radius", radius)) return nullptr;
    if (!cutUsable(renderer, "paraboloid", zmin, zmax)) return nullptr;
    if (!(zmax > 0.0f) || !std::isfinite(zmax)) {
        refuse(renderer, "paraboloid: zmax is %g; it must be above 0. Ignoring ...", double(zmax));
        return nullptr;
    }
    if (!readThetaMax(renderer, "paraboloid", params, thetaMax)) return nullptr;
    return guarded(renderer, "paraboloid", [&] {
        return new Paraboloid(objectToWorld, attributes, params, radius, std::max(zmin, 0.0f), zmax,
                              thetaMax);
    });
}
