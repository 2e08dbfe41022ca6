// Primitives: what rays are traced against. Shapes are wrapped in geometric primitives,
// moving content in MotionPrimitive, object instances in Instance, and collections in
// Aggregates whose concrete accelerators are plugins exporting `createAggregate`.
#pragma once

#include <string>
#include <vector>

#include "core/geometry/attributes.h"
#include "core/geometry/hit.h"
#include "core/base/reference.h"
#include "core/geometry/shape.h"
#include "core/math/aabb.h"
#include "core/math/motion.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"

namespace ovo {

class ShaderEnvironment;

class Primitive : public ReferenceCounted {
  public:
    ~Primitive() override {}
    // Nearest hit within [ray.mint, ray.maxt]; fills the hit only on success.
    virtual bool intersect(const Ray& ray, Hit& hit) const = 0;
    // Whether anything is hit (shadow and occlusion rays).
    virtual bool intersect(const Ray& ray) const = 0;
    // intersect(ray), for a primitive that gathers others: when something is hit, `blocker` may
    // be given one of them that the ray hits, for a ray close by to ask first. Left as it is by
    // primitives that cannot say.
    virtual bool occluded(const Ray& ray, const Primitive*& blocker) const {
        (void)blocker;
        return intersect(ray);
    }
    // Whether a shadow ray that meets this primitive anywhere is stopped by it whole: what it
    // meets casts shadows with an opacity of exactly 1 that neither shading nor a vertex Os
    // changes. Such a ray needs no more than the boolean query. False where not known.
    virtual bool stopsShadowRays() const { return false; }
    virtual Aabb objectExtent() const = 0;
    virtual Aabb worldExtent() const = 0;
};

class GeometricPrimitive : public Primitive {
  public:
    GeometricPrimitive(const Reference<Shape>& shape, const PrimitiveAttributes& attributes);
    Aabb objectExtent() const override;
    virtual const Transform& objectToWorld() const = 0;

    float area() const;
    bool stopsShadowRays() const override;
    void sample(ShaderEnvironment& env, const Point& from, float u, float v) const;
    const Interpolator<Normal>* getN() const;
    // The world-space corners of a shape that is one flat triangle (see
    // Shape::triangleCorners); false for every other shape.
    bool worldTriangle(Point corners[3]) const;
    const Reference<Shape>& getShape() const { return shape; }
    const PrimitiveAttributes& getAttributes() const { return attributes; }

  protected:
    // The ray-visibility and geometry-set filter run before the shape is intersected.
    bool passesFilter(const Hit& hit) const;

    Reference<Shape> shape;
    PrimitiveAttributes attributes;
};

// For shapes whose geometry is given in world space.
class ControlMeshPrimitive : public GeometricPrimitive {
  public:
    ControlMeshPrimitive(const Reference<Shape>& shape, const PrimitiveAttributes& attributes);
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    Aabb worldExtent() const override;
    const Transform& objectToWorld() const override;
};

// For shapes in object space; the transform lives in the renderer's transform store, which keeps
// its inverse beside it, so rays go to object space by o2w's mInv.
class NoPPrimitive : public GeometricPrimitive {
  public:
    NoPPrimitive(const Reference<Shape>& shape, const PrimitiveAttributes& attributes,
                 const Transform& objectToWorld);
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    Aabb worldExtent() const override;
    const Transform& objectToWorld() const override { return *o2w; }

  private:
    const Transform* o2w;
    bool identity;  // the identity: rays and hits need no carrying
};

class MotionPrimitive : public Primitive {
  public:
    MotionPrimitive(const Reference<Primitive>& content, const MotionTransform& motion);
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    Aabb objectExtent() const override;
    Aabb worldExtent() const override;
    bool stopsShadowRays() const override { return content && content->stopsShadowRays(); }
    const Reference<Primitive>& getContent() const { return content; }
    const MotionTransform& getMotion() const { return motion; }

  private:
    Reference<Primitive> content;
    MotionTransform motion;
};

// Content that only rays with a time in [open, close) see: one slice of the shutter of a shape
// that deforms over it. Static primitives are never wrapped, so they pay nothing for this.
class TimeWindowPrimitive : public Primitive {
  public:
    // `content` must not be null.
    TimeWindowPrimitive(const Reference<Primitive>& content, float open, float close)
        : content(content), open(open), close(close) {}
    bool intersect(const Ray& ray, Hit& hit) const override {
        return ray.time >= open && ray.time < close && content->intersect(ray, hit);
    }
    bool intersect(const Ray& ray) const override {
        return ray.time >= open && ray.time < close && content->intersect(ray);
    }
    Aabb objectExtent() const override { return content->objectExtent(); }
    Aabb worldExtent() const override { return content->worldExtent(); }
    bool stopsShadowRays() const override { return content->stopsShadowRays(); }
    const Reference<Primitive>& getContent() const { return content; }
    float opening() const { return open; }
    float closing() const { return close; }

  private:
    Reference<Primitive> content;  // never null
    float open, close;
};

class Instance : public Primitive {
  public:
    Instance(const Reference<Primitive>& object, const Transform& objectToWorld,
             const PrimitiveAttributes& attributes);
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    Aabb objectExtent() const override;
    Aabb worldExtent() const override;
    const Reference<Primitive>& getObject() const { return object; }
    const PrimitiveAttributes& getAttributes() const { return attributes; }
    const Transform& objectToWorld() const { return o2w; }
    const Transform& worldToObject() const { return w2o; }

  private:
    Reference<Primitive> object;
    PrimitiveAttributes attributes;
    Transform o2w;
    Transform w2o;
};

class Aggregate : public Primitive {
  public:
    Aggregate();
    explicit Aggregate(std::vector<Reference<Primitive>>& primitives);
    // Accelerators override both; the base answers no hit, and the boolean form throws
    // Error 14 so that a plugin which forgot it is noticed.
    bool intersect(const Ray& ray, Hit& hit) const override;
    bool intersect(const Ray& ray) const override;
    Aabb objectExtent() const override { return bound; }
    Aabb worldExtent() const override { return bound; }
    // Known only for an aggregate made from a list, every member of which stops them.
    bool stopsShadowRays() const override { return stopsShadows; }
    const std::vector<Reference<Primitive>>& getPrimitives() const { return primitives; }

  protected:
    // The union of the world extents of the listed primitives.
    void computeBbox();

    std::vector<Reference<Primitive>> primitives;
    Aabb bound;

  private:
    bool stopsShadows = false;
};

// Loads the aggregate plugin `name` of kind "accelerator" (scene accelerators) or "shape" (the
// solid operators) and makes an aggregate of `primitives`; throws Error when it cannot be loaded.
Aggregate* createAggregate(const std::string& name, const std::string& searchPath,
                           const std::string& kind, std::vector<Reference<Primitive>>& primitives,
                           ParameterSet& parameters);

}  // namespace ovo

// Entry point every accelerator and solid-operator plugin exports.
extern "C" typedef ovo::Aggregate* (*OvoCreateAggregateEntry)(
    std::vector<ovo::Reference<ovo::Primitive>>&, ovo::ParameterSet&);
