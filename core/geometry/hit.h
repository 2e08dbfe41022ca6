// Hit: what a ray/primitive intersection fills and the shading pipeline shades. Hits can
// be gathered into lists ordered along a ray and merged into the boundary of a solid.
#pragma once

#include <list>

#include "core/geometry/attributes.h"
#include "core/base/reference.h"
#include "core/geometry/shape.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/shading/environment.h"

namespace ovo {

class Primitive;

// What the parts of an intersection fill:
// - The shape (object space): t, the ray parameter of the nearest hit within [mint, maxt];
//   env.P; env.Ng, the unit geometric normal already passed through Shape::flipNormal;
//   env.u, env.v, the surface's parametric coordinates in 0..1; env.su, env.sv and env.face,
//   where primitive variables are interpolated; env.dPdu, env.dPdv, env.dNdu, env.dNdv.
//   Everything else is left as it was.
// - The geometric primitive: shape, attributes, transform (the identity, or its world-to-object
//   transform), primitive (itself), env.time (the ray's time), env.space and env.shaderSpace
//   (the identity); it carries P, Ng, dPdu, dPdv, dNdu and dNdv to world space, Ng renormalised.
//   A record reused for the next ray keeps its last three transforms until a hit sets them
//   (SL::HitReuse), so every geometric primitive sets all three whenever it reports a hit.
// - Motion primitives and instances carry the same fields one level further out and compose
//   env.space and env.shaderSpace with their transforms; an instance fills the attribute
//   references the object left null and always sets the light list.
// - Solid operators copy these fields from the operand hit that bounds the combination; where
//   the second operand of a difference carves the first, Ng (and dNdu, dNdv) are negated.
// The caller sets env.ray (null means a camera ray) and env.geometrySet (null: no restriction)
// before intersecting; primitives read them to filter and never change them.
class Hit {
  public:
    enum State { Entering = 0, Leaving = 1 };

    Hit();
    Hit(const Hit& other) = default;
    Hit& operator=(const Hit& other) = default;
    ~Hit() = default;

    bool operator<(const Hit& other) const { return t < other.t; }
    // Leaving (1) when dot(Ng, d) >= 0, else Entering (0).
    State classify(const Vector& d) const;
    // Replaces a by the boundary of A' ∩ B' (A' = A or its complement); b is scratch. The ray
    // starts inside an operand when its count of crossings is odd.
    static void merge(std::list<Hit>& a, bool complementA, std::list<Hit>& b, bool complementB);
    // The same with the ray's start inside A' and inside B' given by the caller.
    static void mergeFrom(std::list<Hit>& a, bool inA, std::list<Hit>& b, bool inB);
    // Hit lists of a query (solids gather every crossing of their operands) take their nodes
    // from spares of the calling thread and give them back, so that once a thread has warmed
    // up, a ray through a solid allocates nothing. append adds a fresh hit; recycle moves the
    // hits from `first` to the end of the list (all of them by default) to the spares.
    static Hit& append(std::list<Hit>& list);
    static void recycle(std::list<Hit>& list, std::list<Hit>::iterator first);
    static void recycle(std::list<Hit>& list) { recycle(list, list.begin()); }
    // Makes this thread's spare list now. Its first use registers its destructor with the C
    // library, which waits while another thread loads a library.
    static void prepareThread();
    // Runs the displacement, surface and volume shaders; the result is left in env.Ci/Oi.
    void shade(const RayDifferential& ray, float* out);

    // Borrowed from the primitive that filled the hit, which the scene keeps for longer.
    Borrowed<Shape> shape;
    HitAttributes attributes;
    Transform transform;  // set by the primitive that filled the hit
    ShaderEnvironment env;
    float t = 1e30f;
    const Primitive* primitive = nullptr;  // the geometric primitive that was hit
};

}  // namespace ovo
