// sphere: a sphere about the origin, cut at two heights and swept about z.
//
// RIB: Sphere radius zmin zmax thetamax. Surface parameters: u = phi / thetamax; v runs with the
// latitude from zmin to zmax. The primitive variables are constant, or four corner values (linear
// or vertex class); a RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type      name      default  meaning
//   float     radius    1        a negative radius counts as its magnitude
//   float     zmin      -radius  lower cut, clamped to the sphere
//   float     zmax      radius   upper cut, above zmin, clamped to the sphere
//   float     thetamax  360      sweep in degrees, above 0; at most one turn is kept
//   normal    N         Ng       shading normal
//   color     C         Color    surface colour; the default is the current Color
//   color     opacity   Opacity  surface opacity; the default is the current Opacity
//   float     s         u        texture coordinate
//   float     t         v        texture coordinate
//   float[2]  st        u v      s and t together
//
// Example:
//   Sphere 1 -0.5 1 270 "Cs" [1 0 0  0 1 0  0 0 1  1 1 1]
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Sphere : public Quadric<Sphere> {
  public:
    static constexpr bool Curved = true;

    Sphere(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
           float radius, float zmin, float zmax, float thetaMax)
        : Quadric(o2w, attrs, thetaMax),
          radius(radius),
          zmin(zmin),
          zmax(zmax),
          latMin(std::asin(zmin / radius)),
          latMax(std::asin(zmax / radius)) {
        readSt(params);
    }

    Aabb objectExtent() const override {
        // The widest circle is the equator when the cut keeps it.
        const float rLow = std::sqrt(std::max(0.0f, radius * radius - zmin * zmin));
        const float rHigh = std::sqrt(std::max(0.0f, radius * radius - zmax * zmax));
        const float rmax = (zmin < 0.0f && zmax > 0.0f) ? radius : std::max(rLow, rHigh);
        return sweepBound(0.0f, rmax, thetaMax, zmin, zmax);
    }

    int roots(const Ray& r, double t[4]) const {
        const double ox = r.o.x, oy = r.o.y, oz = r.o.z, dx = r.d.x, dy = r.d.y, dz = r.d.z;
        const double a = dx * dx + dy * dy + dz * dz;
        const double b = 2.0 * (ox * dx + oy * dy + oz * dz);
        const double c = ox * ox + oy * oy + oz * oz - double(radius) * radius;
        return solveQuadratic(a, b, c, t);
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (p.z < zmin || p.z > zmax || !sweep(angleAboutZ(p.x, p.y), u)) return false;
        v = clamp((latitude(p.x, p.y, p.z) - latMin) / (latMax - latMin), 0.0f, 1.0f);
        return true;
    }

    // locate() without the latitude, and without the angle where the sweep is a whole turn
    // (angleAboutZ never passes 2 pi): the same answer for two arc tangents fewer.
    bool covers(const Point& p, float& u, float& v) const {
        u = v = 0.0f;  // outward() reads neither
        if (p.z < zmin || p.z > zmax) return false;
        return thetaMax >= TwoPi || sweep(angleAboutZ(p.x, p.y), u);
    }

    Vector outward(const Point& p, float, float) const { return Vector(p); }

    SurfacePoint geometry(float u, float v) const {
        const float phi = u * thetaMax, lat = latMin + v * (latMax - latMin);
        const float cp = std::cos(phi), sp = std::sin(phi), cl = std::cos(lat), sl = std::sin(lat);
        return frame(Point(radius * cl * cp, radius * cl * sp, radius * sl), cp, sp, cl);
    }

    // geometry() at a hit point p with parameters (u, v): the sines and cosines of its angles
    // are ratios of its coordinates, so a hit costs no trigonometry. Near a pole, where the
    // angle about z is lost to rounding, the parameters decide.
    SurfacePoint geometryAt(const Point& p, float u, float v) const {
        const float rho = std::sqrt(p.x * p.x + p.y * p.y);
        if (!(rho > 1e-4f * radius)) return geometry(u, v);
        return frame(p, p.x / rho, p.y / rho, rho / radius);
    }

  private:
    // The frame at P, whose angle about z has cosine cp and sine sp and whose latitude has
    // cosine cl.
    SurfacePoint frame(const Point& P, float cp, float sp, float cl) const {
        const float dLat = latMax - latMin;
        SurfacePoint g;
        g.P = P;
        g.n = Vector(g.P);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = dLat * Vector(-g.P.z * cp, -g.P.z * sp, radius * cl);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        g.d2Pduv = thetaMax * dLat * Vector(g.P.z * sp, -g.P.z * cp, 0.0f);
        g.d2Pdvv = -dLat * dLat * Vector(g.P);
        return g;
    }

    float radius, zmin, zmax;
    float latMin, latMax;  // latitudes of the cuts
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float radius = std::fabs(params.findFloat("radius", 1.0f));
    const float zmin = params.findFloat("zmin", -radius);
    const float zmax = params.findFloat("zmax", radius);
    float thetaMax;
    if (!radiusUsable(renderer, "sphere", "radius", radius)) return nullptr;
    if (!cutUsable(renderer, "sphere", zmin, zmax)) return nullptr;
    const float lo = clamp(zmin, -radius, radius), hi = clamp(zmax, -radius, radius);
    if (!(lo < hi)) {
        refuse(renderer, "sphere: zmin (%g) and zmax (%g) leave nothing of radius %g. Ignoring ...",
               double(zmin), double(zmax), double(radius));
        return nullptr;
    }
    if (!readThetaMax(renderer, "sphere", params, thetaMax)) return nullptr;
    return guarded(renderer, "sphere", [&] {
        return new Sphere(objectToWorld, attributes, params, radius, lo, hi, thetaMax);
    });
}
