// The primitive family: geometric primitives (world-space control meshes and object-space
// shapes), moving content, object instances and the aggregate base.
#include "core/geometry/primitive.h"

#include <OpenImageIO/errorhandler.h>

#include <cmath>

#include "core/geometry/geometry_set.h"
#include "core/params/error.h"
#include "core/plugins/factory.h"

namespace ovo {

// ---------------------------------------------------------------------------------------------
// Helpers shared by the primitives that fill hits

namespace {

inline bool isEmpty(const Aabb& b) {
    return !(b.bmin[0] <= b.bmax[0] && b.bmin[1] <= b.bmax[1] && b.bmin[2] <= b.bmax[2]);
}

// An empty bound stays empty under a transform (its eight corners would make a huge box).
inline Aabb transformBound(const Transform& t, const Aabb& b) { return isEmpty(b) ? b : t * b; }

// Carries the geometric quantities of a filled hit one space outward. The geometric normal is
// renormalised: shapes give it unit length and shading expects it so in every space.
inline void carry(ShaderEnvironment& env, const Transform& t) {
    env.P = t * env.P;
    Normal ng = t * env.Ng;
    const float len2 = ng.length2();
    if (len2 > 0.0f) ng *= 1.0f / std::sqrt(len2);
    env.Ng = ng;
    env.dPdu = t * env.dPdu;
    env.dPdv = t * env.dPdv;
    env.dNdu = t * env.dNdu;
    env.dNdv = t * env.dNdv;
}

// The hit's space transforms seen from one space further out, where t maps the inner space to
// the outer one.
inline void composeSpaces(ShaderEnvironment& env, const Transform& t) {
    env.space.m = env.space.m * t.mInv;
    env.space.mInv = t.m * env.space.mInv;
    env.shaderSpace.m = env.shaderSpace.m * t.mInv;
    env.shaderSpace.mInv = t.m * env.shaderSpace.mInv;
}

// The ray-visibility flags of a shading record for the kind of ray being traced (a null ray
// is a camera ray). Traced rays also respect the diffuse flag: a surface hidden from diffuse
// rays stays out of reflections too. Other ray kinds are not filtered.
inline bool isVisible(const ShadingAttributes* s, const Hit& hit) {
    if (!s) return true;
    switch (hit.env.ray ? hit.env.ray->type : int(RayDifferential::Camera)) {
        case RayDifferential::Camera:
            return s->rayCamera;
        case RayDifferential::Traced:
            return s->rayReflections && s->rayDiffuse;
        case RayDifferential::Transmission:
            return s->rayShadows;
        case RayDifferential::Gather:
            return s->rayDiffuse;
        default:
            return true;
    }
}

inline bool isIdentity(const Transform& t) {
    return t.m == Matrix::Identity && t.mInv == Matrix::Identity;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// GeometricPrimitive

GeometricPrimitive::GeometricPrimitive(const Reference<Shape>& shape,
                                       const PrimitiveAttributes& attributes)
    : shape(shape), attributes(attributes) {}

Aabb GeometricPrimitive::objectExtent() const { return shape ? shape->objectExtent() : Aabb(); }

float GeometricPrimitive::area() const { return shape ? shape->area() : 0.0f; }

void GeometricPrimitive::sample(ShaderEnvironment& env, const Point& from, float u, float v) const {
    if (shape) shape->sample(env, from, u, v);
}

const Interpolator<Normal>* GeometricPrimitive::getN() const {
    return shape ? shape->getN() : nullptr;
}

bool GeometricPrimitive::worldTriangle(Point corners[3]) const {
    if (!shape || !shape->triangleCorners(corners)) return false;
    const Transform& t = objectToWorld();
    for (int k = 0; k < 3; ++k) corners[k] = t * corners[k];
    return true;
}

bool GeometricPrimitive::stopsShadowRays() const {
    const ShadingAttributes* s = attributes.shading.get();
    if (!shape || !s || !s->rayShadows || s->opacity != Color(1.0f) || shape->getOs()) return false;
    return s->transparentShadows || opacityFromOs(attributes);
}

bool GeometricPrimitive::passesFilter(const Hit& hit) const {
    return isVisible(attributes.shading.get(), hit) &&
           (!hit.env.geometrySet || hit.env.geometrySet->contains(this));
}

// ---------------------------------------------------------------------------------------------
// ControlMeshPrimitive

ControlMeshPrimitive::ControlMeshPrimitive(const Reference<Shape>& shape,
                                           const PrimitiveAttributes& attributes)
    : GeometricPrimitive(shape, attributes) {
    if (!shape) ErrorScope::current().Error("ControlMeshPrimitive: no shape. Ignoring ...");
}

bool ControlMeshPrimitive::intersect(const Ray& ray, Hit& hit) const {
    if (!shape || !passesFilter(hit) || !shape->intersect(ray, hit)) return false;
    hit.shape = shape;
    hit.attributes = attributes;
    hit.transform = Transform::Identity;
    hit.env.space = Transform::Identity;
    hit.env.shaderSpace = Transform::Identity;
    hit.env.time = ray.time;
    hit.primitive = this;
    return true;
}

bool ControlMeshPrimitive::intersect(const Ray& ray) const {
    return shape && shape->intersect(ray);
}

Aabb ControlMeshPrimitive::worldExtent() const { return objectExtent(); }

const Transform& ControlMeshPrimitive::objectToWorld() const { return Transform::Identity; }

// ---------------------------------------------------------------------------------------------
// NoPPrimitive

NoPPrimitive::NoPPrimitive(const Reference<Shape>& shape, const PrimitiveAttributes& attributes,
                           const Transform& objectToWorld)
    : GeometricPrimitive(shape, attributes),
      o2w(&objectToWorld),
      identity(isIdentity(objectToWorld)) {
    if (!shape) ErrorScope::current().Error("NoPPrimitive: no shape. Ignoring ...");
}

bool NoPPrimitive::intersect(const Ray& ray, Hit& hit) const {
    if (!shape || !passesFilter(hit)) return false;
    if (identity) {
        if (!shape->intersect(ray, hit)) return false;
    } else {
        if (!shape->intersect(transformRay(o2w->mInv, ray), hit)) return false;
        carry(hit.env, *o2w);
    }
    hit.shape = shape;
    hit.attributes = attributes;
    // The identity's copy is the same value without a load from the renderer's transform store.
    hit.transform = identity ? Transform::Identity : Transform(o2w->mInv, o2w->m);
    hit.env.space = Transform::Identity;
    hit.env.shaderSpace = Transform::Identity;
    hit.env.time = ray.time;
    hit.primitive = this;
    return true;
}

bool NoPPrimitive::intersect(const Ray& ray) const {
    if (!shape) return false;
    return identity ? shape->intersect(ray) : shape->intersect(transformRay(o2w->mInv, ray));
}

Aabb NoPPrimitive::worldExtent() const {
    const Aabb b = objectExtent();
    return identity ? b : transformBound(*o2w, b);
}

// ---------------------------------------------------------------------------------------------
// MotionPrimitive

MotionPrimitive::MotionPrimitive(const Reference<Primitive>& content, const MotionTransform& motion)
    : content(content), motion(motion) {
    if (!content) ErrorScope::current().Error("MotionPrimitive: no content. Ignoring ...");
    if (this->motion.size() == 0) {
        ErrorScope::current().Error(
            "MotionPrimitive: motion transform without samples. Using the identity");
        this->motion = Transform::Identity;
    }
}

bool MotionPrimitive::intersect(const Ray& ray, Hit& hit) const {
    if (!content) return false;
    const Transform t = motion.at(ray.time);
    if (!content->intersect(t.inverse() * ray, hit)) return false;
    composeSpaces(hit.env, t);
    carry(hit.env, t);
    return true;
}

bool MotionPrimitive::intersect(const Ray& ray) const {
    if (!content) return false;
    return content->intersect(motion.at(ray.time).inverse() * ray);
}

// The content's bound in the space the content receives its rays in: for a geometric primitive
// that is its world extent (its own transform included), for an aggregate its bound.
Aabb MotionPrimitive::objectExtent() const { return content ? content->worldExtent() : Aabb(); }

Aabb MotionPrimitive::worldExtent() const {
    const Aabb b = objectExtent();
    return isEmpty(b) ? b : motion * b;
}

// ---------------------------------------------------------------------------------------------
// Instance

Instance::Instance(const Reference<Primitive>& object, const Transform& objectToWorld,
                   const PrimitiveAttributes& attributes)
    : object(object), attributes(attributes), o2w(objectToWorld), w2o(objectToWorld.inverse()) {
    if (!object) ErrorScope::current().Error("Instance: no object. Ignoring ...");
}

// An instance hidden from a kind of ray hides its whole object from it.
bool Instance::intersect(const Ray& ray, Hit& hit) const {
    if (!object || !isVisible(attributes.shading.get(), hit)) return false;
    if (!object->intersect(w2o * ray, hit)) return false;
    composeSpaces(hit.env, o2w);
    carry(hit.env, o2w);
    // The object's primitives were made without attributes of their own; the instance fills
    // what they left empty, and its light list always wins.
    HitAttributes& a = hit.attributes;
    if (!a.shading) a.shading = attributes.shading;
    if (!a.displacement) a.displacement = attributes.displacement;
    if (!a.surface) a.surface = attributes.surface;
    if (!a.volume) a.volume = attributes.volume;
    a.lights = attributes.lights;
    return true;
}

bool Instance::intersect(const Ray& ray) const { return object && object->intersect(w2o * ray); }

Aabb Instance::objectExtent() const { return object ? object->worldExtent() : Aabb(); }

Aabb Instance::worldExtent() const { return transformBound(o2w, objectExtent()); }

// ---------------------------------------------------------------------------------------------
// Aggregate

Aggregate::Aggregate() {}

Aggregate::Aggregate(std::vector<Reference<Primitive>>& primitives) : primitives(primitives) {
    stopsShadows = !primitives.empty();
    for (const Reference<Primitive>& p : primitives)
        if (!p || !p->stopsShadowRays()) {
            stopsShadows = false;
            break;
        }
}

bool Aggregate::intersect(const Ray&, Hit&) const { return false; }

bool Aggregate::intersect(const Ray&) const {
    throw Error(Error::AggregateIntersect, "Aggregate::intersect(const Ray&) method called !");
}

void Aggregate::computeBbox() {
    bound = Aabb();
    for (const Reference<Primitive>& p : primitives)
        if (p) bound += p->worldExtent();
}

Aggregate* createAggregate(const std::string& name, const std::string& searchPath,
                           const std::string& kind, std::vector<Reference<Primitive>>& primitives,
                           ParameterSet& parameters) {
    return findPluginEntry<OvoCreateAggregateEntry>(name, searchPath, kind, "createAggregate")(
        primitives, parameters);
}

}  // namespace ovo
