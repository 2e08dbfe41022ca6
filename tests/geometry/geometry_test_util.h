// Small analytic shapes, a capturing error handler and plugin loading for the geometry tests.
// The shapes are exact and independent of the shape plugins.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <OpenImageIO/errorhandler.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/constants.h"
#include "core/math/transform.h"
#include "core/params/error.h"
#include "core/params/parameter.h"

namespace geomtest {

using namespace ovo;

inline ::testing::AssertionResult near(const Tuple& a, const Tuple& b, float tol) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ")";
}

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

// Keeps transform pairs at stable addresses, as the renderer's transform store does.
class TransformStore {
  public:
    struct Pair {
        Transform o2w, w2o;
    };
    const Pair& store(const Transform& t) {
        pairs.push_back(Pair{t, t.inverse()});
        return pairs.back();
    }
    Reference<Primitive> wrap(Shape* shape, const Transform& t,
                              const PrimitiveAttributes& attrs = PrimitiveAttributes()) {
        const Pair& p = store(t);
        return Reference<Primitive>(new NoPPrimitive(Reference<Shape>(shape), attrs, p.o2w, p.w2o));
    }

  private:
    std::deque<Pair> pairs;  // a deque keeps the addresses of earlier pairs as it grows
};

// Records every message with its level.
class CaptureHandler : public OIIO::ErrorHandler {
  public:
    struct Record {
        int level;
        std::string text;
    };
    void operator()(int code, const std::string& msg) override {
        records.push_back(Record{code & ~0xffff, msg});
    }
    std::vector<Record> records;
};

// Installs a capturing manager for geometry reports while in scope.
class CaptureReports {
  public:
    CaptureReports() : manager(ErrorManager::Create(&handler, 1)) {
        setGeometryErrorManager(manager);
    }
    ~CaptureReports() {
        setGeometryErrorManager(nullptr);
        delete manager;
    }
    const std::vector<CaptureHandler::Record>& records() const { return handler.records; }

  private:
    CaptureHandler handler;
    ErrorManager* manager;
};

// The createAggregate entry of a built plugin, loaded from $OVO_HOME/plugins.
inline OvoCreateAggregateEntry loadAggregatePlugin(const std::string& file) {
    const char* home = std::getenv("OVO_HOME");
    const std::string path = std::string(home ? home : ".") + "/plugins/" + file;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        ADD_FAILURE() << "cannot open " << path << ": " << dlerror();
        return nullptr;
    }
    return reinterpret_cast<OvoCreateAggregateEntry>(dlsym(handle, "createAggregate"));
}

inline Reference<Primitive> makeAggregate(const std::string& file,
                                          std::vector<Reference<Primitive>>& prims,
                                          ParameterSet& params) {
    OvoCreateAggregateEntry entry = loadAggregatePlugin(file);
    if (!entry) return Reference<Primitive>();
    return Reference<Primitive>(entry(prims, params));
}

inline Reference<Primitive> makeAggregate(const std::string& file,
                                          std::vector<Reference<Primitive>>& prims) {
    ParameterSet params;
    return makeAggregate(file, prims, params);
}

}  // namespace geomtest
