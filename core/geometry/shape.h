// Shape: the base class of every piece of geometry. Concrete shapes are plugins exporting
// `createShape`; the base holds the primitive-variable interpolators, the shape attributes
// and the helpers that shapes share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/geometry/attributes.h"
#include "core/geometry/interpolator.h"
#include "core/base/reference.h"
#include "core/math/aabb.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/params/parameter.h"

namespace ovo {

class Hit;
class RendererAPI;
class ShaderEnvironment;

// A value of the geometry call that the shape itself did not read (a "Pref", a user's
// "varying float"): at each hit it is interpolated and given to the shader arguments of the
// same name. Exactly one interpolator is set, by `type`: float, colour, or the point family.
struct PrimitiveVariable {
    OIIO::ustring name;
    BaseType type;
    std::shared_ptr<const Interpolator<float>> floats;
    std::shared_ptr<const Interpolator<Color>> colors;
    std::shared_ptr<const Interpolator<Normal>> tuples;
};

class Shape : public ReferenceCounted {
  public:
    Shape();
    Shape(const Transform& objectToWorld, const ShapeAttributes& attributes);
    // The copy shares the source's interpolators.
    Shape(const Shape& other);
    ~Shape() override;

    virtual bool hasControlMesh() const { return false; }
    virtual bool canIntersect() const { return true; }
    virtual bool refine(RendererAPI& renderer, const Transform& objectToWorld,
                        const ParameterSet& parameters, std::vector<Reference<Shape>>& shapes,
                        std::vector<unsigned int>& indices);
    // Nearest hit within [ray.mint, ray.maxt], filling the hit's t and the geometric
    // fields of its shading record (P, Ng, u, v, the surface parameters, dPdu, dPdv, dNdu,
    // dNdv) in the shape's own space.
    virtual bool intersect(const Ray& ray, Hit& hit) const;
    virtual bool intersect(const Ray& ray) const;
    // Places a sample for an area light: sets env.P and env.Ng in object space.
    virtual void sample(ShaderEnvironment& env, const Point& from, float u, float v) const;
    virtual float area() const { return 0.0f; }
    virtual Aabb objectExtent() const = 0;
    // A shape that is exactly one flat triangle, hit wherever the ray crosses it within the
    // ray's interval (subject only to facing and bias), gives its corners in its own space.
    // Accelerators keep them beside their leaves to skip rays that clearly miss without
    // visiting the shape; the shape's own test still decides every other ray.
    virtual bool triangleCorners(Point corners[3]) const {
        (void)corners;
        return false;
    }
    virtual Interpolator<float>* createFloatInterpolator(Parameter& parameter);
    virtual Interpolator<Color>* createColorInterpolator(Parameter& parameter);
    virtual Interpolator<Normal>* createNormalInterpolator(Parameter& parameter);

    // The shape takes ownership of what it is given.
    void setN(const Interpolator<Normal>* i) { nInterp.reset(i); }
    void setCs(const Interpolator<Color>* i) { csInterp.reset(i); }
    void setOs(const Interpolator<Color>* i) { osInterp.reset(i); }
    void setS(const Interpolator<float>* i) { sInterp.reset(i); }
    void setT(const Interpolator<float>* i) { tInterp.reset(i); }
    const Interpolator<Normal>* getN() const { return nInterp.get(); }
    const Interpolator<Color>* getCs() const { return csInterp.get(); }
    const Interpolator<Color>* getOs() const { return osInterp.get(); }
    const Interpolator<float>* getS() const { return sInterp.get(); }
    const Interpolator<float>* getT() const { return tInterp.get(); }
    const std::vector<PrimitiveVariable>& getVariables() const { return variables; }
    void addVariable(PrimitiveVariable v) { variables.push_back(std::move(v)); }

    const ShapeAttributes& getAttributes() const { return attributes; }
    bool swapsHandedness() const { return handednessSwapped; }

    // -n when the orientation flag differs from the handedness flag.
    Normal flipNormal(const Normal& n) const {
        return attributes.orientationInside != handednessSwapped ? Normal(-n) : n;
    }

  protected:
    bool isFrontFacing(const Vector& d, const Normal& n) const { return dot(d, n) < 0.0f; }
    bool checkFrontFacing(const Vector& d, const Normal& n) const {
        return attributes.twoSided || isFrontFacing(d, n);
    }
    bool checkHitBias(const Ray& r, const Point& p) const {
        return (p - r.o).length() > attributes.bias;
    }
    // Weingarten equations.
    void computeNormalDerivatives(const Vector& dpdu, const Vector& dpdv, const Vector& d2pduu,
                                  const Vector& d2pduv, const Vector& d2pdvv, const Normal& n,
                                  Vector& dndu, Vector& dndv) const;

    // Shared between a shape and its copies; freed with the last of them.
    std::shared_ptr<const Interpolator<Normal>> nInterp;
    std::shared_ptr<const Interpolator<Color>> csInterp;
    std::shared_ptr<const Interpolator<Color>> osInterp;
    std::shared_ptr<const Interpolator<float>> sInterp;
    std::shared_ptr<const Interpolator<float>> tInterp;
    std::vector<PrimitiveVariable> variables;
    ShapeAttributes attributes;
    bool handednessSwapped;  // the object-to-world transform mirrors space
};

// Loads the shape plugin `name` and makes a shape of it, then asks the shape for the
// interpolators of the primitive variables the core interpolates itself ("N", "C", "opacity",
// "s" and "t") when the parameters hold them, and keeps the parameters nobody read as
// primitive variables for the shaders. Throws Error when the plugin cannot be loaded.
Shape* createShape(const std::string& name, std::string& searchPath, RendererAPI& renderer,
                   const Transform& objectToWorld, const ShapeAttributes& attributes,
                   ParameterSet& parameters);

}  // namespace ovo

// Entry point every shape plugin exports.
extern "C" typedef ovo::Shape* (*OvoCreateShapeEntry)(ovo::RendererAPI&, const ovo::Transform&,
                                                      const ovo::ShapeAttributes&,
                                                      ovo::ParameterSet&);
