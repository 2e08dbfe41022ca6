// square: a flat square in the z = 0 plane, centred on the origin, facing -z.
//
// Parameters:
//   type   name  default  meaning
//   float  half  1        half the length of a side
//
// Example:
//   Parameter("float half", 2.0f); Shape("square")
#include <cmath>

#include "core/geometry/hit.h"
#include "core/geometry/shape.h"

namespace {

class Square : public ovo::Shape {
  public:
    Square(const ovo::Transform& objectToWorld, const ovo::ShapeAttributes& shapeAttributes,
           float halfSide)
        : Shape(objectToWorld, shapeAttributes), half(halfSide) {}

    ovo::Aabb objectExtent() const override {
        return ovo::Aabb(ovo::Point(-half, -half, 0.0f), ovo::Point(half, half, 0.0f));
    }

    bool intersect(const ovo::Ray& ray, ovo::Hit& hit) const override {
        float t, x, y;
        if (!crossing(ray, t, x, y)) return false;
        hit.t = t;
        ovo::ShaderEnvironment& env = hit.env;
        env.P = ovo::Point(x, y, 0.0f);
        env.Ng = flipNormal(ovo::Normal(0.0f, 0.0f, -1.0f));
        env.u = env.su = (x / half + 1.0f) * 0.5f;
        env.v = env.sv = (y / half + 1.0f) * 0.5f;
        env.face = 0;
        env.dPdu = ovo::Vector(2.0f * half, 0.0f, 0.0f);
        env.dPdv = ovo::Vector(0.0f, 2.0f * half, 0.0f);
        env.dNdu = env.dNdv = ovo::Vector(0.0f);
        return true;
    }

    bool intersect(const ovo::Ray& ray) const override {
        float t, x, y;
        return crossing(ray, t, x, y);
    }

    float area() const override { return 4.0f * half * half; }

  private:
    bool crossing(const ovo::Ray& ray, float& t, float& x, float& y) const {
        if (ray.d.z == 0.0f) return false;
        t = -ray.o.z / ray.d.z;
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        x = ray.o.x + t * ray.d.x;
        y = ray.o.y + t * ray.d.y;
        return std::fabs(x) <= half && std::fabs(y) <= half;
    }

    float half;
};

}  // namespace

extern "C" ovo::Shape* createShape(ovo::RendererAPI&, const ovo::Transform& objectToWorld,
                                   const ovo::ShapeAttributes& attributes,
                                   ovo::ParameterSet& parameters) {
    const float half = parameters.findFloat("half", 1.0f);
    if (!(half > 0.0f) || !std::isfinite(half)) return nullptr;
    return new Square(objectToWorld, attributes, half);
}
