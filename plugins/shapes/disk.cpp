// disk: a flat disk (or annulus) at a height on the z axis, facing +z, swept about z.
//
// RIB: Disk height radius thetamax, a disk without a hole (innerRadius 0). Surface parameters:
// u = phi / thetamax; v runs from the outer edge (0) to the inner one (1). The primitive variables
// are constant, or four corner values (linear or vertex class); a RIB file's "Cs" and "Os" arrive
// as "C" and "opacity".
//
// Parameters:
//   type      name         default  meaning
//   float     height       0        where the disk crosses the z axis
//   float     innerRadius  0        the hole in the middle, at least 0
//   float     outerRadius  1        must be larger than innerRadius
//   float     thetamax     360      sweep in degrees, above 0; at most one turn is kept
//   normal    N            Ng       shading normal
//   color     C            Color    surface colour; the default is the current Color
//   color     opacity      Opacity  surface opacity; the default is the current Opacity
//   float     s            u        texture coordinate
//   float     t            v        texture coordinate
//   float[2]  st           u v      s and t together
//
// Example:
//   Disk 0.5 2 360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

class Disk : public Quadric<Disk> {
  public:
    static constexpr bool Curved = false;

    Disk(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
         float height, float inner, float outer, float thetaMax)
        : Quadric(o2w, attrs, thetaMax), height(height), inner(inner), outer(outer) {
        readSt(params);
    }

    Aabb objectExtent() const override {
        return sweepBound(inner, outer, thetaMax, height, height);
    }

    int roots(const Ray& r, double t[4]) const {
        if (r.d.z == 0.0f) return 0;
        t[0] = (double(height) - r.o.z) / r.d.z;
        return 1;
    }

    bool locate(const Point& p, float& u, float& v) const {
        const float rho2 = p.x * p.x + p.y * p.y;
        if (rho2 > outer * outer || rho2 < inner * inner) return false;
        if (!sweep(angleAboutZ(p.x, p.y), u)) return false;
        v = clamp((outer - std::sqrt(rho2)) / (outer - inner), 0.0f, 1.0f);
        return true;
    }

    Vector outward(const Point&, float, float) const { return Vector(0.0f, 0.0f, 1.0f); }

    SurfacePoint geometry(float u, float v) const {
        const float phi = u * thetaMax, cp = std::cos(phi), sp = std::sin(phi);
        const float rho = outer - v * (outer - inner);
        SurfacePoint g;
        g.P = Point(rho * cp, rho * sp, height);
        g.n = Vector(0.0f, 0.0f, 1.0f);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = (inner - outer) * Vector(cp, sp, 0.0f);
        g.d2Pduu = g.d2Pduv = g.d2Pdvv = Vector(0.0f);
        return g;
    }

  private:
    float height, inner, outer;
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float height = params.findFloat("height", 0.0f);
    const float inner = params.findFloat("innerRadius", 0.0f);
    const float outer = params.findFloat("outerRadius", 1.0f);
    float thetaMax;
    if (!std::isfinite(height)) {
        refuse(renderer, "disk: height is %g. Ignoring ...", double(height));
        return nullptr;
    }
    if (!(outer > 0.0f) || !std::isfinite(outer)) {
        refuse(renderer, "disk: outerRadius is %g; it must be above 0. Ignoring ...",
               double(outer));
        return nullptr;
    }
    if (!(inner >= 0.0f && inner < outer)) {
        refuse(renderer,
               "disk: innerRadius (%g) must be at least 0 and below outerRadius (%g). Ignoring ...",
               double(inner), double(outer));
        return nullptr;
    }
    if (!readThetaMax(renderer, "disk", params, thetaMax)) return nullptr;
    return guarded(renderer, "disk", [&] {
        return new Disk(objectToWorld, attributes, params, height, inner, outer, thetaMax);
    });
}
