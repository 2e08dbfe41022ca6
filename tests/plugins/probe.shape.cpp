// Test shape "probe": a box of half-size "float radius" (default 1) that makes constant
// interpolators from the first value of a primitive variable, so tests can see which variables
// the shape factory handed it. "int fail" 1 makes the entry return null.
// Example: Parameter("float radius", 2.0f); Shape("probe").
#include "core/geometry/interpolator.h"
#include "core/geometry/shape.h"

namespace {

class ProbeShape : public ovo::Shape {
  public:
    ProbeShape(const ovo::Transform& objectToWorld, const ovo::ShapeAttributes& attributes,
               float radius)
        : Shape(objectToWorld, attributes), radius(radius) {}

    ovo::Aabb objectExtent() const override {
        return ovo::Aabb(ovo::Point(-radius, -radius, -radius), ovo::Point(radius, radius, radius));
    }
    ovo::Interpolator<float>* createFloatInterpolator(ovo::Parameter& p) override {
        return new ovo::ConstantInterpolator<float>(p.getFloats()[0]);
    }
    ovo::Interpolator<ovo::Color>* createColorInterpolator(ovo::Parameter& p) override {
        const float* v = p.getFloats();
        return new ovo::ConstantInterpolator<ovo::Color>(ovo::Color(v[0], v[1], v[2]));
    }
    ovo::Interpolator<ovo::Normal>* createNormalInterpolator(ovo::Parameter& p) override {
        const float* v = p.getFloats();
        return new ovo::ConstantInterpolator<ovo::Normal>(ovo::Normal(v[0], v[1], v[2]));
    }

  private:
    float radius;
};

}  // namespace

extern "C" ovo::Shape* createShape(ovo::RendererAPI&, const ovo::Transform& objectToWorld,
                                   const ovo::ShapeAttributes& attributes,
                                   ovo::ParameterSet& parameters) {
    if (parameters.findInt("fail", 0) != 0) return nullptr;
    return new ProbeShape(objectToWorld, attributes, parameters.findFloat("radius", 1.0f));
}
