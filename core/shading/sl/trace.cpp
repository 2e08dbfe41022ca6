// Provisional: until the shading pipeline is in, every hit is black and opaque, so the render
// loop can be exercised with coverage and depth alone.
#include "core/shading/sl/trace.h"

#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/render/scene.h"

namespace SL {

bool traceRay(const ovo::Scene& scene, ovo::RayDifferential& ray, ovo::Color& Ci, ovo::Color& Oi) {
    const ovo::Primitive* primitive = scene.getPrimitive();
    if (primitive) {
        ovo::Hit hit;
        hit.env.ray = &ray;
        hit.env.scene = &scene;
        if (primitive->intersect(ray, hit)) {
            ray.maxt = hit.t;
            Ci = ovo::Color(0.0f);
            Oi = ovo::Color(1.0f);
            return true;
        }
    }
    Ci = ovo::Color(0.0f);
    Oi = ovo::Color(0.0f);
    return false;
}

}  // namespace SL
