// hyperboloid: the surface swept by the segment from bottom to top turning about the z axis.
//
// Depending on the segment it is a hyperboloid of one sheet, a cone, a cylinder or (a segment at
// one height) a flat annulus facing +z. The defaults make a hyperboloid of waist radius 1 at z = 0
// and radius sqrt(2) at z = ±1. RIB: Hyperboloid x1 y1 z1 x2 y2 z2 thetamax, from bottom to top; a
// segment that sweeps a cylinder, a disk or a cone makes that shape instead. Surface parameters:
// u = phi / thetamax (phi measured from the segment's own angle); v runs along the segment from
// bottom (0) to top (1). The primitive variables are constant, or four corner values (linear or
// vertex class); a RIB file's "Cs" and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type      name      default  meaning
//   point     bottom    1 -1 -1  first end of the segment
//   point     top       1 1 1    second end; not bottom, and not on the z axis when bottom is
//   float     thetamax  360      sweep in degrees, above 0; at most one turn is kept
//   normal    N         Ng       shading normal
//   color     C         Color    surface colour; the default is the current Color
//   color     opacity   Opacity  surface opacity; the default is the current Opacity
//   float     s         u        texture coordinate
//   float     t         v        texture coordinate
//   float[2]  st        u v      s and t together
//
// Example:
//   Hyperboloid 1 -1 -1  1 1 1  360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Hyperboloid : public Quadric<Hyperboloid> {
  public:
    static constexpr bool Curved = true;

    Hyperboloid(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
                const Point& bottom, const Point& top, float thetaMax)
        : Quadric(o2w, attrs, thetaMax), p1(bottom), d(top - bottom) {
        const double dz = d.z;
        planar = std::fabs(dz) <= 1e-6 * d.length();
        // rho²(v) = r0 + 2·r1·v + r2·v² along the segment; with v = (z - z1) / dz it becomes
        // rho² = A·z² + B·z + C.
        const double r0 = double(p1.x) * p1.x + double(p1.y) * p1.y;
        const double r1 = double(p1.x) * d.x + double(p1.y) * d.y;
        const double r2 = double(d.x) * d.x + double(d.y) * d.y;
        if (!planar) {
            const double z1 = p1.z;
            A = r2 / (dz * dz);
            B = 2.0 * r1 / dz - 2.0 * r2 * z1 / (dz * dz);
            C = r0 - 2.0 * r1 * z1 / dz + r2 * z1 * z1 / (dz * dz);
        }
        // The radius is largest at an end; its smallest may lie between them.
        const double vMin = r2 > 0.0 ? clamp(-r1 / r2, 0.0, 1.0) : 0.0;
        auto radius = [&](double v) {
            return float(std::sqrt(std::max(0.0, r0 + v * (2.0 * r1 + v * r2))));
        };
        rhoMin = radius(vMin);
        rhoMax = std::max(radius(0.0), radius(1.0));
        readSt(params);
    }

    // The segment's own angle changes along it, so the bound takes the whole turn.
    Aabb objectExtent() const override {
        const float z1 = p1.z, z2 = p1.z + d.z;
        return sweepBound(rhoMin, rhoMax, TwoPi, std::min(z1, z2), std::max(z1, z2));
    }

    int roots(const Ray& r, double t[4]) const {
        const double ox = r.o.x, oy = r.o.y, oz = r.o.z, dx = r.d.x, dy = r.d.y, dz = r.d.z;
        if (planar) {
            if (dz == 0.0) return 0;
            t[0] = (double(p1.z) - oz) / dz;
            return 1;
        }
        const double a = dx * dx + dy * dy - A * dz * dz;
        const double b = 2.0 * (ox * dx + oy * dy) - 2.0 * A * oz * dz - B * dz;
        const double c = ox * ox + oy * oy - A * oz * oz - B * oz - C;
        return solveQuadratic(a, b, c, t);
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (!planar) {
            const float s = (p.z - p1.z) / d.z;
            if (!(s >= 0.0f && s <= 1.0f)) return false;
            return angleAt(p, s, u, v);
        }
        // In the plane, the segment may pass a given radius twice.
        double vs[2];
        const double x = double(p1.x), y = double(p1.y);
        const int n =
            solveQuadratic(double(d.x) * d.x + double(d.y) * d.y, 2.0 * (x * d.x + y * d.y),
                           x * x + y * y - (double(p.x) * p.x + double(p.y) * p.y), vs);
        for (int i = 0; i < n; ++i)
            if (vs[i] >= -1e-6 && vs[i] <= 1.0 + 1e-6 &&
                angleAt(p, clamp(float(vs[i]), 0.0f, 1.0f), u, v))
                return true;
        return false;
    }

    Vector outward(const Point& p, float, float) const {
        if (planar) return Vector(0.0f, 0.0f, 1.0f);
        return Vector(p.x, p.y, float(-(A * p.z + 0.5 * B)));
    }

    SurfacePoint geometry(float u, float v) const {
        const Point l = p1 + v * d;
        const float phi = u * thetaMax, c = std::cos(phi), s = std::sin(phi);
        SurfacePoint g;
        g.P = Point(c * l.x - s * l.y, s * l.x + c * l.y, l.z);
        g.n = outward(g.P, u, v);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = Vector(c * d.x - s * d.y, s * d.x + c * d.y, d.z);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        g.d2Pduv = thetaMax * Vector(-g.dPdv.y, g.dPdv.x, 0.0f);
        g.d2Pdvv = Vector(0.0f);
        return g;
    }

  private:
    // The sweep angle that carries the segment's point at v onto p.
    bool angleAt(const Point& p, float s, float& u, float& v) const {
        const Point l = p1 + s * d;
        float phi = std::atan2(p.y, p.x) - std::atan2(l.y, l.x);
        if (phi < 0.0f) phi += TwoPi;
        if (phi >= TwoPi) phi -= TwoPi;
        if (!sweep(phi, u)) return false;
        v = s;
        return true;
    }

    Point p1;  // "bottom"
    Vector d;  // "top" - "bottom"
    bool planar;
    double A = 0.0, B = 0.0, C = 0.0;
    float rhoMin, rhoMax;
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    static const float defaultBottom[3] = {1.0f, -1.0f, -1.0f};
    static const float defaultTop[3] = {1.0f, 1.0f, 1.0f};
    const Point bottom(params.findPoint("bottom", defaultBottom));
    const Point top(params.findPoint("top", defaultTop));
    float thetaMax;
    for (const Point* p : {&bottom, &top})
        if (!std::isfinite(p->x) || !std::isfinite(p->y) || !std::isfinite(p->z)) {
            refuse(renderer, "hyperboloid: \"%s\" is not a finite point. Ignoring ...",
                   p == &bottom ? "bottom" : "top");
            return nullptr;
        }
    if (bottom == top) {
        refuse(renderer, "hyperboloid: \"bottom\" and \"top\" are the same point. Ignoring ...");
        return nullptr;
    }
    if (bottom.x == 0.0f && bottom.y == 0.0f && top.x == 0.0f && top.y == 0.0f) {
        refuse(renderer,
               "hyperboloid: \"bottom\" and \"top\" both lie on the z axis. Ignoring ...");
        return nullptr;
    }
    if (!readThetaMax(renderer, "hyperboloid", params, thetaMax)) return nullptr;
    return guarded(renderer, "hyperboloid", [&] {
        return new Hyperboloid(objectToWorld, attributes, params, bottom, top, thetaMax);
    });
}
