// torus: a circle of radius minorRadius swept about the z axis at distance majorRadius.
//
// The small circle's centre runs on the circle of radius majorRadius in the plane z = 0. The small
// circle is cut to the angles phimin..phimax (0 points away from the axis, 90 up) and the whole
// swept about z. RIB: Torus majorRadius minorRadius phimin phimax thetamax. Surface parameters:
// u = theta / thetamax; v = (phi - phimin) / (phimax - phimin). The primitive variables are
// constant, or four corner values (linear or vertex class); a RIB file's "Cs" and "Os" arrive as
// "C" and "opacity".
//
// Parameters:
//   type      name         default  meaning
//   float     majorRadius  1        at least 0
//   float     minorRadius  0.25     a negative radius counts as its magnitude
//   float     phimin       0        degrees
//   float     phimax       360      degrees, above phimin; at most one full turn is kept
//   float     thetamax     360      sweep in degrees, above 0; at most one turn is kept
//   normal    N            Ng       shading normal
//   color     C            Color    surface colour; the default is the current Color
//   color     opacity      Opacity  surface opacity; the default is the current Opacity
//   float     s            u        texture coordinate
//   float     t            v        texture coordinate
//   float[2]  st           u v      s and t together
//
// Example:
//   Torus 1 0.25 0 360 360
#include <cmath>

#include "plugins/shapes/quadric.h"

namespace ovo {
namespace shapes {
namespace {

// The value of the polynomial c[0] + c[1]·x + ... + c[n]·xⁿ.
double evaluate(const double* c, int n, double x) {
    double f = c[n];
    for (int i = n - 1; i >= 0; --i) f = f * x + c[i];
    return f;
}

// The root of the polynomial in [a, b], where its values fa and fb differ in sign: Newton's
// steps, falling back to bisection whenever a step leaves the bracket.
double refine(const double* c, const double* dc, int n, double a, double b, double fa) {
    double x = 0.5 * (a + b);
    for (int i = 0; i < 100; ++i) {
        const double f = evaluate(c, n, x);
        if (f == 0.0) return x;
        if ((f < 0.0) == (fa < 0.0)) {
            a = x;
            fa = f;
        } else {
            b = x;
        }
        const double df = evaluate(dc, n - 1, x);
        double next = df != 0.0 ? x - f / df : 0.5 * (a + b);
        if (!(next > a && next < b)) next = 0.5 * (a + b);
        if (std::fabs(next - x) <= 1e-14 * (1.0 + std::fabs(x))) return next;
        x = next;
    }
    return x;
}

// The real roots in [lo, hi] in increasing order. Between consecutive roots of the
// derivative the polynomial is monotonic, so each such piece holds a root exactly when its
// ends differ in sign; a double root that only touches zero (a grazing ray) is not one.
// Unlike the closed forms this neither loses roots to rounding nor invents them.
int realRoots(const double* c, int n, double lo, double hi, double* out) {
    if (n == 1) {
        if (c[1] == 0.0) return 0;
        const double x = -c[0] / c[1];
        if (!(x >= lo && x <= hi)) return 0;
        out[0] = x;
        return 1;
    }
    double dc[4] = {0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) dc[i] = (i + 1) * c[i + 1];
    double ends[6];
    int m = 0;
    ends[m++] = lo;
    m += realRoots(dc, n - 1, lo, hi, ends + m);
    ends[m++] = hi;
    int count = 0;
    double fa = evaluate(c, n, ends[0]);
    for (int i = 0; i + 1 < m; ++i) {
        const double a = ends[i], b = ends[i + 1];
        const double fb = evaluate(c, n, b);
        if (fa == 0.0) {
            if (count == 0 || out[count - 1] != a) out[count++] = a;
        } else if (fb != 0.0 && (fa < 0.0) != (fb < 0.0)) {
            out[count++] = refine(c, dc, n, a, b, fa);
        }
        fa = fb;
    }
    if (fa == 0.0 && (count == 0 || out[count - 1] != ends[m - 1])) out[count++] = ends[m - 1];
    return count;
}

class Torus : public Quadric<Torus> {
  public:
    static constexpr bool Curved = true;

    Torus(const Transform& o2w, const ShapeAttributes& attrs, const ParameterSet& params,
          float major, float minor, float phiMin, float phiMax, float thetaMax)
        : Quadric(o2w, attrs, thetaMax),
          major(major),
          minor(minor),
          phiMin(phiMin),
          phiMax(phiMax) {
        readSt(params);
    }

    Aabb objectExtent() const override {
        // Distance from the axis and height over the cut circle peak at its ends or where the
        // circle's angle is a multiple of 90 degrees.
        float rhoLo = 1e30f, rhoHi = -1e30f, zLo = 1e30f, zHi = -1e30f;
        auto take = [&](float phi) {
            const float rho = major + minor * std::cos(phi), z = minor * std::sin(phi);
            rhoLo = std::min(rhoLo, rho);
            rhoHi = std::max(rhoHi, rho);
            zLo = std::min(zLo, z);
            zHi = std::max(zHi, z);
        };
        take(phiMin);
        take(phiMax);
        for (float k = std::ceil(phiMin / PiOver2); k * PiOver2 < phiMax; k += 1.0f)
            take(k * PiOver2);
        return sweepBound(std::max(0.0f, rhoLo), std::fabs(rhoHi), thetaMax, zLo, zHi);
    }

    // (|p|² + R² - r²)² = 4R²(x² + y²) along the ray, measured in units of length from the
    // ray's closest approach to the centre, over the chord of the bounding sphere: the
    // coefficients stay small and the roots lie in a known interval.
    int roots(const Ray& r, double t[4]) const {
        const double len =
            std::sqrt(double(r.d.x) * r.d.x + double(r.d.y) * r.d.y + double(r.d.z) * r.d.z);
        if (!(len > 0.0)) return 0;
        const double dx = r.d.x / len, dy = r.d.y / len, dz = r.d.z / len;
        const double R = major, rr = minor, reach = R + rr;
        const double s0 = -(r.o.x * dx + r.o.y * dy + r.o.z * dz);
        const double ox = r.o.x + s0 * dx, oy = r.o.y + s0 * dy, oz = r.o.z + s0 * dz;
        const double oo = ox * ox + oy * oy + oz * oz;
        if (oo > reach * reach) return 0;
        const double half = std::sqrt(reach * reach - oo) * (1.0 + 1e-9) + 1e-12 * reach;
        const double lo = std::max(-half, double(r.mint) * len - s0);
        const double hi = std::min(half, double(r.maxt) * len - s0);
        if (!(lo <= hi)) return 0;
        const double od = ox * dx + oy * dy + oz * dz;
        const double K = oo + R * R - rr * rr;
        double c[5];
        c[4] = 1.0;
        c[3] = 4.0 * od;
        c[2] = 2.0 * K + 4.0 * od * od - 4.0 * R * R * (dx * dx + dy * dy);
        c[1] = 4.0 * od * K - 8.0 * R * R * (ox * dx + oy * dy);
        c[0] = K * K - 4.0 * R * R * (ox * ox + oy * oy);
        const int n = realRoots(c, 4, lo, hi, t);
        for (int i = 0; i < n; ++i) t[i] = (t[i] + s0) / len;
        return n;
    }

    bool locate(const Point& p, float& u, float& v) const {
        if (!sweep(angleAboutZ(p.x, p.y), u)) return false;
        const float rho = std::sqrt(p.x * p.x + p.y * p.y);
        // The angle of the small circle, in the turn that starts at phimin.
        float phi = std::fmod(std::atan2(p.z, rho - major) - phiMin, TwoPi);
        if (phi < 0.0f) phi += TwoPi;
        phi += phiMin;
        if (phi > phiMax) return false;
        v = clamp((phi - phiMin) / (phiMax - phiMin), 0.0f, 1.0f);
        return true;
    }

    // From the centre of the small circle through p.
    Vector outward(const Point& p, float, float) const {
        const float rho = std::sqrt(p.x * p.x + p.y * p.y);
        if (rho == 0.0f) return Vector(0.0f, 0.0f, p.z);
        const float k = major / rho;
        return Vector(p.x - k * p.x, p.y - k * p.y, p.z);
    }

    SurfacePoint geometry(float u, float v) const {
        const float theta = u * thetaMax, dPhi = phiMax - phiMin, phi = phiMin + v * dPhi;
        const float ct = std::cos(theta), st = std::sin(theta);
        const float cp = std::cos(phi), sp = std::sin(phi);
        const float rho = major + minor * cp;
        SurfacePoint g;
        g.P = Point(rho * ct, rho * st, minor * sp);
        g.n = Vector(cp * ct, cp * st, sp);
        g.dPdu = Vector(-thetaMax * g.P.y, thetaMax * g.P.x, 0.0f);
        g.dPdv = dPhi * minor * Vector(-sp * ct, -sp * st, cp);
        g.d2Pduu = -thetaMax * thetaMax * Vector(g.P.x, g.P.y, 0.0f);
        g.d2Pduv = thetaMax * dPhi * minor * Vector(sp * st, -sp * ct, 0.0f);
        g.d2Pdvv = -dPhi * dPhi * minor * Vector(cp * ct, cp * st, sp);
        return g;
    }

  private:
    float major, minor;
    float phiMin, phiMax;  // radians
};

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    const float major = params.findFloat("majorRadius", 1.0f);
    const float minor = std::fabs(params.findFloat("minorRadius", 0.25f));
    const float phiMin = params.findFloat("phimin", 0.0f);
    const float phiMax = params.findFloat("phimax", 360.0f);
    float thetaMax;
    if (!(major >= 0.0f) || !std::isfinite(major)) {
        refuse(renderer, "torus: majorRadius is %g; it must be at least 0. Ignoring ...",
               double(major));
        return nullptr;
    }
    if (!radiusUsable(renderer, "torus", "minorRadius", minor)) return nullptr;
    if (!(phiMin < phiMax) || !std::isfinite(phiMin) || !std::isfinite(phiMax)) {
        refuse(renderer, "torus: phimin (%g) is not below phimax (%g). Ignoring ...",
               double(phiMin), double(phiMax));
        return nullptr;
    }
    if (!readThetaMax(renderer, "torus", params, thetaMax)) return nullptr;
    const float lo = radians(phiMin), hi = radians(std::min(phiMax, phiMin + 360.0f));
    return guarded(renderer, "torus", [&] {
        return new Torus(objectToWorld, attributes, params, major, minor, lo, hi, thetaMax);
    });
}
