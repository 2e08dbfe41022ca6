// cone: a cone about the z axis, its base circle at z = 0 and its apex at z = height.
//
// It is cut at two heights and swept about z. RIB: Cone height radius thetamax, the whole cone
// (zmin 0, zmax height). Surface parameters: u = phi / thetamax; v = (z - zmin) / (zmax - zmin),
// from the base side towards the apex. The primitive variables are constant, or four corner values
// (linear or vertex class); a RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type      name      default  meaning
//   float     height    1        not 0; may be negative: the cone then points down
//   float     radius    1        of the base circle; a negative radius counts as its magnitude
//   float     zmin      0        cut nearer the base, clamped to the cone between base and apex
//   float     zmax      height   cut nearer the apex, clamped likewise (below zmin when the cone
//                                points down)
//   float     thetamax  360      sweep in degrees, above 0; at most one turn is kept
//   normal    N         Ng       shading normal
//   color     C         Color    surface colour; the default is the current Color
//   color     opacity   Opacity  surface opacity; the default is the current Opacity
//   float     s         u        texture coordinate
//   float     t         v        texture coordinate
//   float[2]  st        u v      s and t together
//
// Example:
//   Cone 2 0.5 360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Cone : public Quadric<Cone> {
  public:
    static constexpr bool Curved = true;

    Cone(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
         float height, float radius, float zmin, float zmax, float thetaMax)
        : Quadric(o2w, attrs, thetaMax),
          height(height),
          radius(radius),
          slope(radius / height),
          zmin(zmin),
          zmax(zmax),
          zlo(std::min(zmin, zmax)),
          zhi(std::max(zmin, zmax)) {
        readSt(params);
    }

    Aabb objectExtent() const override {
        const float r0 = radiusAt(zmin), r1 = radiusAt(zmax);
        return sweepBound(std::min(r0, r1), std::max(r0, r1), thetaMax, zlo, zhi);
    }

    // x² + y² = slope²·(height - z)²; both nappes, the cut keeps the right one.
    int roots(const Ray& r, double t[4]) const {
        const double ox = r.o.x, oy = r.o.y, dx = r.d.x, dy = r.d.y, dz = r.d.z;
        const double k2 = double(slope) * slope, hz = double(height) - r.o.z;
        const double a = dx * dx + dy * dy - k2 * dz * dz;
        const double b = 2.0 * (ox * dx + oy * dy + k2 * hz * dz);
        const double c = ox * ox + oy * oy - k2 * hz * hz;
        return solveQuadratic(a, b, c, t);
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (p.z < zlo || p.z > zhi || !sweep(angleAboutZ(p.x, p.y), u)) return false;
        v = clamp((p.z - zmin) / (zmax - zmin), 0.0f, 1.0f);
        return true;
    }

    // The gradient of the implicit form, written with the angle so that it stays defined at
    // the apex.
    Vector outward(const Point&, float u, float) const {
        const float phi = u * thetaMax;
        return Vector(std::cos(phi), std::sin(phi), slope);
    }

    SurfacePoint geometry(float u, float v) const {
        const float phi = u * thetaMax, cp = std::cos(phi), sp = std::sin(phi);
        const float dz = zmax - zmin, z = zmin + v * dz, rho = radiusAt(z);
        SurfacePoint g;
        g.P = Point(rho * cp, rho * sp, z);
        g.n = Vector(cp, sp, slope);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = dz * Vector(-slope * cp, -slope * sp, 1.0f);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        g.d2Pduv = thetaMax * dz * Vector(slope * sp, -slope * cp, 0.0f);
        g.d2Pdvv = Vector(0.0f);
        return g;
    }

  private:
    float radiusAt(float z) const { return radius * (1.0f - z / height); }

    float height, radius;
    float slope;       // radius / height
    float zmin, zmax;  // the cut, from the base side towards the apex
    float zlo, zhi;
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float height = params.findFloat("height", 1.0f);
    const float radius = std::fabs(params.findFloat("radius", 1.0f));
    const float zmin = params.findFloat("zmin", 0.0f);
    const float zmax = params.findFloat("zmax", height);
    float thetaMax;
    if (!(height != 0.0f) || !std::isfinite(height)) {
        refuse(renderer, "cone: height is %g; it must not be 0. Ignoring ...", double(height));
        return nullptr;
    }
    if (!radiusUsable(renderer, "cone", "radius", radius)) return nullptr;
    // The cut runs from the base towards the apex, downwards for a cone that points down.
    if (!(height > 0.0f ? zmin < zmax : zmin > zmax)) {
        refuse(renderer,
               "cone: zmin (%g) to zmax (%g) must run from the base towards the apex (height %g). "
               "Ignoring ...",
               double(zmin), double(zmax), double(height));
        return nullptr;
    }
    const float low = std::min(0.0f, height), high = std::max(0.0f, height);
    const float lo = clamp(zmin, low, high), hi = clamp(zmax, low, high);
    if (lo == hi) {
        refuse(renderer, "cone: zmin (%g) and zmax (%g) leave nothing of height %g. Ignoring ...",
               double(zmin), double(zmax), double(height));
        return nullptr;
    }
    if (!readThetaMax(renderer, "cone", params, thetaMax)) return nullptr;
    return guarded(renderer, "cone", [&] {
        return new Cone(objectToWorld, attributes, params, height, radius, lo, hi, thetaMax);
    });
}
