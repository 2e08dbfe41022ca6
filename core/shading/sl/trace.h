// Tracing one ray through the scene and shading what it hits: the routine the render loop
// calls for every camera sample, and that the tracing SL functions build on.
#pragma once

#include "core/math/ray.h"
#include "core/math/tuple.h"

namespace ovo {
class Scene;
}

namespace SL {

// Traces `ray` (its type and depth set by the caller) against the scene and shades the
// nearest hit. Returns true on a hit, with `ray.maxt` left at the hit distance; `Ci` and
// `Oi` receive the shaded colour and opacity (black and transparent on a miss).
bool traceRay(const ovo::Scene& scene, ovo::RayDifferential& ray, ovo::Color& Ci,
              ovo::Color& Oi);

}  // namespace SL
