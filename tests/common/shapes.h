// Exact analytic shapes and primitives shared by the geometry and rendering tests, independent
// of the shape plugins.
#pragma once

#include <cmath>
#include <deque>
#include <limits>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/constants.h"
#include "core/math/transform.h"

namespace ovotest {

using namespace ovo;

// Sphere of radius r about the object-space origin; u = phi / 2pi, v from the south pole.
class TestSphere : public Shape {
  public:
    explicit TestSphere(float r, const Transform& o2w = Transform::Identity,
                        const ShapeAttributes& a = ShapeAttributes())
        : Shape(o2w, a), radius(r) {}

    // Both roots in double; the nearer one within [mint, maxt] that passes the shape's rules.
    bool solve(const Ray& ray, float& tHit, Point& p, Normal& n) const {
        const double ox = ray.o.x, oy = ray.o.y, oz = ray.o.z;
        const double dx = ray.d.x, dy = ray.d.y, dz = ray.d.z;
        const double A = dx * dx + dy * dy + dz * dz;
        const double B = 2.0 * (dx * ox + dy * oy + dz * oz);
        const double C = ox * ox + oy * oy + oz * oz - double(radius) * radius;
        const double disc = B * B - 4.0 * A * C;
        if (A == 0.0 || disc < 0.0) return false;
        const double s = std::sqrt(disc);
        const double q = B < 0.0 ? -0.5 * (B - s) : -0.5 * (B + s);
        double t0 = q / A, t1 = q != 0.0 ? C / q : t0;
        if (t0 > t1) std::swap(t0, t1);
        for (double t : {t0, t1}) {
            const float tf = float(t);
            if (!(tf >= ray.mint && tf <= ray.maxt)) continue;
            const Point hp = ray(tf);
            const Normal hn = flipNormal(Normal(hp.x / radius, hp.y / radius, hp.z / radius));
            if (!checkFrontFacing(ray.d, hn) || !checkHitBias(ray, hp)) continue;
            tHit = tf;
            p = hp;
            n = hn;
            return true;
        }
        return false;
    }

    bool intersect(const Ray& ray, Hit& hit) const override {
        float t;
        Point p;
        Normal n;
        if (!solve(ray, t, p, n)) return false;
        hit.t = t;
        ShaderEnvironment& e = hit.env;
        e.P = p;
        e.Ng = n;
        float phi = std::atan2(p.y, p.x);
        if (phi < 0.0f) phi += TwoPi;
        const float theta = std::acos(std::max(-1.0f, std::min(1.0f, p.z / radius)));
        e.u = phi / TwoPi;
        e.v = 1.0f - theta / Pi;
        e.su = e.u;
        e.sv = e.v;
        e.face = 0;
        e.dPdu = Vector(-TwoPi * p.y, TwoPi * p.x, 0.0f);
        const float rxy = std::sqrt(p.x * p.x + p.y * p.y);
        const float cosPhi = rxy > 0.0f ? p.x / rxy : 1.0f, sinPhi = rxy > 0.0f ? p.y / rxy : 0.0f;
        e.dPdv = Vector(p.z * cosPhi, p.z * sinPhi, -radius * std::sin(theta)) * -Pi;
        e.dNdu = e.dPdu / radius;
        e.dNdv = e.dPdv / radius;
        return true;
    }
    bool intersect(const Ray& ray) const override {
        float t;
        Point p;
        Normal n;
        return solve(ray, t, p, n);
    }
    float area() const override { return 4.0f * Pi * radius * radius; }
    Aabb objectExtent() const override {
        return Aabb(-radius, radius, -radius, radius, -radius, radius);
    }

    float radius;
};

// Triangle with its vertices in object space; u, v are the barycentrics of vertices 1 and 2.
class TestTriangle : public Shape {
  public:
    TestTriangle(const Point& a, const Point& b, const Point& c,
                 const ShapeAttributes& attr = ShapeAttributes())
        : Shape(Transform::Identity, attr), p0(a), p1(b), p2(c) {}

    bool solve(const Ray& ray, float& tHit, float& bu, float& bv) const {
        const Vector e1 = p1 - p0, e2 = p2 - p0;
        const Vector pv = Vector(ray.d ^ e2);
        const float det = dot(e1, pv);
        if (det == 0.0f || !std::isfinite(det)) return false;
        const float inv = 1.0f / det;
        const Vector tv = ray.o - p0;
        const float u = dot(tv, pv) * inv;
        if (u < 0.0f || u > 1.0f) return false;
        const Vector qv = Vector(tv ^ e1);
        const float v = dot(ray.d, qv) * inv;
        if (v < 0.0f || u + v > 1.0f) return false;
        const float t = dot(e2, qv) * inv;
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        tHit = t;
        bu = u;
        bv = v;
        return true;
    }
    bool intersect(const Ray& ray, Hit& hit) const override {
        float t, u, v;
        if (!solve(ray, t, u, v)) return false;
        hit.t = t;
        hit.env.P = ray(t);
        hit.env.Ng = flipNormal(Normal(Vector((p1 - p0) ^ (p2 - p0)).hat()));
        hit.env.u = hit.env.su = u;
        hit.env.v = hit.env.sv = v;
        hit.env.face = 0;
        hit.env.dPdu = p1 - p0;
        hit.env.dPdv = p2 - p0;
        hit.env.dNdu = hit.env.dNdv = Vector(0.0f);
        return true;
    }
    bool triangleCorners(Point corners[3]) const override {
        corners[0] = p0;
        corners[1] = p1;
        corners[2] = p2;
        return true;
    }
    bool intersect(const Ray& ray) const override {
        float t, u, v;
        return solve(ray, t, u, v);
    }
    Aabb objectExtent() const override {
        Aabb b(p0);
        b += p1;
        b += p2;
        return b;
    }

    Point p0, p1, p2;
};

// A shape whose bound is whatever the test says (NaN, infinite, inverted) and that is never hit.
class BoxOnlyShape : public Shape {
  public:
    explicit BoxOnlyShape(const Aabb& b) : box(b) {}
    Aabb objectExtent() const override { return box; }
    Aabb box;
};

// Keeps transforms at stable addresses, as the renderer's transform store does.
class TransformStore {
  public:
    const Transform& store(const Transform& t) {
        kept.push_back(t);
        return kept.back();
    }
    Reference<Primitive> wrap(Shape* shape, const Transform& t,
                              const PrimitiveAttributes& attrs = PrimitiveAttributes()) {
        return Reference<Primitive>(new NoPPrimitive(Reference<Shape>(shape), attrs, store(t)));
    }

  private:
    std::deque<Transform> kept;  // a deque keeps the addresses of earlier ones as it grows
};

// The plane through p with normal n, unbounded; it fills t, P and the primitive of a hit.
class PlanePrimitive : public Primitive {
  public:
    PlanePrimitive(const Point& p, const Vector& n) : p(p), n(n) {}
    bool intersect(const Ray& ray, Hit& hit) const override {
        const double dn = double(ray.d.x) * n.x + double(ray.d.y) * n.y + double(ray.d.z) * n.z;
        const double t = ((double(p.x) - ray.o.x) * n.x + (double(p.y) - ray.o.y) * n.y +
                          (double(p.z) - ray.o.z) * n.z) /
                         dn;
        if (dn == 0 || !(t >= ray.mint && t <= ray.maxt)) return false;
        hit.t = float(t);
        hit.env.P = ray(hit.t);
        hit.primitive = this;
        return true;
    }
    bool intersect(const Ray& ray) const override {
        Hit h;
        return intersect(ray, h);
    }
    Aabb objectExtent() const override { return worldExtent(); }
    Aabb worldExtent() const override {
        const float inf = std::numeric_limits<float>::infinity();
        return Aabb(-inf, inf, -inf, inf, -inf, inf);
    }

  private:
    Point p;
    Vector n;
};

}  // namespace ovotest
