// The quadrics: surfaces of revolution about z, swept from angle 0 to thetamax. Each one
// supplies the roots of its implicit equation along a ray, the surface parameters of a point
// and its geometry at (u, v); this base turns them into hits, samples, the area and the
// primitive variables. The derived class is a template argument, so the per-root calls are
// resolved at compile time.
#pragma once

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/shape.h"
#include "core/shading/environment.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {

// A quadric's geometry at one surface position.
struct SurfacePoint {
    Point P;
    Vector n;  // outward normal, any length
    Vector dPdu, dPdv;
    Vector d2Pduu, d2Pduv, d2Pdvv;
};

// The sweep angle in radians from "thetamax" (degrees), at most a full turn; false after
// reporting when there is no sweep.
inline bool readThetaMax(RendererAPI& renderer, const char* type, const ParameterSet& params,
                         float& thetaMax) {
    const float degreesMax = params.findFloat("thetamax", 360.0f);
    if (!(degreesMax > 0.0f)) {
        refuse(renderer, "%s: thetamax is %g; it must be above 0. Ignoring ...", type,
               double(degreesMax));
        return false;
    }
    thetaMax = radians(std::min(degreesMax, 360.0f));
    return true;
}

// False after reporting when a radius (already taken as its magnitude) is 0 or not finite.
inline bool radiusUsable(RendererAPI& renderer, const char* type, const char* name, float radius) {
    if (radius > 0.0f && std::isfinite(radius)) return true;
    refuse(renderer, "%s: %s is %g; it must not be 0. Ignoring ...", type, name, double(radius));
    return false;
}

// False after reporting when the cut from zmin to zmax is empty or reversed.
inline bool cutUsable(RendererAPI& renderer, const char* type, float zmin, float zmax) {
    if (zmin < zmax) return true;
    refuse(renderer, "%s: zmin (%g) is not below zmax (%g). Ignoring ...", type, double(zmin),
           double(zmax));
    return false;
}

template <class Q>
class Quadric : public VariableShape<Quadric<Q>> {
  public:
    bool intersect(const Ray& ray, Hit& hit) const override {
        float t, u, v;
        Point p;
        if (!nearest<true>(ray, t, p, u, v)) return false;
        const SurfacePoint g = self().geometryAt(p, u, v);
        ShaderEnvironment& env = hit.env;
        const Normal ng = this->flipNormal(unitOrZero(g.n));
        hit.t = t;
        env.P = p;
        env.Ng = ng;
        env.u = env.su = u;
        env.v = env.sv = v;
        env.face = 0;
        env.dPdu = g.dPdu;
        env.dPdv = g.dPdv;
        normalDerivatives(g, ng, env.dNdu, env.dNdv);
        return true;
    }

    bool intersect(const Ray& ray) const override {
        float t, u, v;
        Point p;
        return nearest<false>(ray, t, p, u, v);
    }

    // Uniform over the area: u sweeps the angle, whose area element is constant, and v follows
    // the tabulated area along the profile. The point being lit does not steer the choice.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        const float sv = profileAt(v);
        const SurfacePoint g = self().geometry(u, sv);
        env.P = g.P;
        env.Ng = this->flipNormal(unitOrZero(g.n));
        env.u = env.su = u;
        env.v = env.sv = sv;
        env.face = 0;
        env.dPdu = g.dPdu;
        env.dPdv = g.dPdv;
    }

    float area() const override { return float(profile().back()); }

    // Constant and per-piece values are one value; linear and vertex values are the four
    // corners (u, v) = (0, 0), (1, 0), (0, 1), (1, 1).
    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const {
        if (!fitsVariable<T>(p, packed)) return nullptr;
        if (oneValue(p)) return constantFrom<T>(p, offset);
        const std::vector<T> c = readValues<T>(p, 4, stride, offset);
        return c.size() < 4 ? nullptr : new BilinearInterpolator<T>(c.data());
    }

  protected:
    Quadric(const Transform& objectToWorld, const ShapeAttributes& attrs, float thetaMax)
        : VariableShape<Quadric>(objectToWorld, attrs), thetaMax(thetaMax) {}

    // u for a point at angle phi (0 to 2 pi) about z; false beyond the sweep.
    bool sweep(float phi, float& u) const {
        if (phi > thetaMax) return false;
        u = phi / thetaMax;
        return true;
    }

    // The geometry at a hit point p found at (u, v). A shape that can take it from p more
    // cheaply hides this.
    SurfacePoint geometryAt(const Point&, float u, float v) const { return self().geometry(u, v); }

    // Whether a point of the surface lies on its cut part, for a query that only asks whether
    // anything is hit: u and v need be good only for outward(). A shape that can answer
    // without finding its parameters hides this.
    bool covers(const Point& p, float& u, float& v) const { return self().locate(p, u, v); }

    float thetaMax;

  private:
    static const int Steps = 256;

    const Q& self() const { return static_cast<const Q&>(*this); }

    // The nearest root that lies on the cut surface, faces the ray when the shape is
    // one-sided and is farther than the bias; with its (u, v) when `Parameters`.
    template <bool Parameters>
    bool nearest(const Ray& ray, float& tHit, Point& pHit, float& u, float& v) const {
        double roots[4];
        const int n = self().roots(ray, roots);
        for (int i = 0; i < n; ++i) {
            const double t = roots[i];
            if (!(t >= ray.mint && t <= ray.maxt)) continue;
            const Point p = ray(float(t));
            if (!(Parameters ? self().locate(p, u, v) : self().covers(p, u, v))) continue;
            if (!this->checkHitBias(ray, p)) continue;
            if (!this->attributes.twoSided &&
                !this->isFrontFacing(ray.d, this->flipNormal(Normal(self().outward(p, u, v)))))
                continue;
            tHit = float(t);
            pHit = p;
            return true;
        }
        return false;
    }

    void normalDerivatives(const SurfacePoint& g, const Normal& n, Vector& dndu,
                           Vector& dndv) const {
        if (!Q::Curved) {
            dndu = dndv = Vector(0.0f);
            return;
        }
        const float E = dot(g.dPdu, g.dPdu), F = dot(g.dPdu, g.dPdv), G = dot(g.dPdv, g.dPdv);
        // A pole or an apex: the parameterisation has no normal derivative there.
        if (!(E * G - F * F > 1e-10f * E * G)) {
            dndu = dndv = Vector(0.0f);
            return;
        }
        this->computeNormalDerivatives(g.dPdu, g.dPdv, g.d2Pduu, g.d2Pduv, g.d2Pdvv, n, dndu, dndv);
    }

    // Three-point Gauss-Legendre on each step of the profile. The integrands are smooth, and
    // the nodes stay off the ends, where a pole or an apex has no usable derivatives. Fills
    // `table` (Steps + 1 entries) with the running sums.
    void profileArea(double* table) const {
        auto density = [this](double v) {
            const SurfacePoint g = self().geometry(0.5f, float(v));
            return double((g.dPdu ^ g.dPdv).length());
        };
        const double h = 1.0 / Steps, offset = 0.5 * h * std::sqrt(0.6);
        double sum = 0.0;
        table[0] = 0.0;
        for (int i = 0; i < Steps; ++i) {
            const double mid = (i + 0.5) * h;
            sum += h / 18.0 *
                   (5.0 * density(mid - offset) + 8.0 * density(mid) + 5.0 * density(mid + offset));
            table[i + 1] = sum;
        }
    }

    // The area up to each step of the profile, the whole area last. Summed on first use: only
    // area lights ask, and the sums evaluate the surface 768 times, which cost more than all
    // the rest of making a quadric (a scene of a million spheres spent 60% of its time here).
    const std::vector<double>& profile() const {
        std::call_once(cumulativeOnce, [this] {
            cumulative.resize(Steps + 1);
            profileArea(cumulative.data());
        });
        return cumulative;
    }

    float profileAt(float v) const {
        const std::vector<double>& cumulative = profile();
        const double target = double(clamp(v, 0.0f, 1.0f)) * cumulative.back();
        const auto it = std::upper_bound(cumulative.begin() + 1, cumulative.end() - 1, target);
        const std::size_t k = std::size_t(it - cumulative.begin()) - 1;
        const double width = cumulative[k + 1] - cumulative[k];
        const double f = width > 0.0 ? (target - cumulative[k]) / width : 0.5;
        return clamp(float((double(k) + f) / Steps), 0.0f, 1.0f);
    }

    mutable std::once_flag cumulativeOnce;
    mutable std::vector<double> cumulative;  // see profile()
};

}  // namespace shapes
}  // namespace ovo
