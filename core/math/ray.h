// Ray records passed between cameras, transforms, bounding boxes and primitives.
#pragma once

#include "core/math/tuple.h"

namespace ovo {

// Points on the ray are o + t·d for mint <= t <= maxt; d need not be of unit length. time
// selects the instant of motion transforms.
class Ray {
  public:
    Point o;
    Vector d;
    float mint = 0.0f;
    float maxt = 1e30f;
    float time = 0.0f;

    Ray() = default;
    Ray(const Point& o, const Vector& d, float mint = 0.0f, float maxt = 1e30f, float time = 0.0f)
        : o(o), d(d), mint(mint), maxt(maxt), time(time) {}

    Point operator()(float t) const { return Point(o.x + t * d.x, o.y + t * d.y, o.z + t * d.z); }
};

// A ray with the rays through the neighbouring pixel in x and y (only their origins and
// directions are meaningful), plus the bookkeeping the shading library keeps per ray.
class RayDifferential : public Ray {
  public:
    enum Type : int { Camera = 0, Traced = 1, Transmission = 2, Gather = 3 };

    bool hasDifferentials = false;
    Ray rx, ry;
    int type = Camera;     // 0 camera, 1 traced, 2 shadow/transmission, 3 occlusion/gathering
    int depth = 0;         // reflection/refraction depth
    int diffuseDepth = 0;  // indirect diffuse bounces

    RayDifferential() = default;
    RayDifferential(const Point& o, const Vector& d, float mint = 0.0f, float maxt = 1e30f,
                    float time = 0.0f)
        : Ray(o, d, mint, maxt, time) {}
    explicit RayDifferential(const Ray& r) : Ray(r) {}
};

}  // namespace ovo
