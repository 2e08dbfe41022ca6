// Tracing one ray through the scene and shading what it hits: the routine the render loop
// calls for every camera sample, and that the tracing SL functions build on.
#pragma once

#include "core/math/ray.h"
#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace ovo {
class Scene;
}

namespace SL {

// Traces `ray` (its type and depth set by the caller) against the scene and shades the
// nearest hit, continuing through partly transparent surfaces. Returns true on a hit, with
// `ray.maxt` left at the nearest hit's distance; `Ci` and `Oi` receive the composited colour
// and opacity. A miss, or a ray deeper than "ray:maxdepth", gives the "ray:maxdepthcolor"
// colour with zero opacity.
bool traceRay(const ovo::Scene& scene, ovo::RayDifferential& ray, ovo::Color& Ci, ovo::Color& Oi);

// The colour that reaches the end of `ray` (type 2 expected) through the surfaces it meets:
// surfaces hidden from shadows are ignored, "ray:opaqueshadows" 0 filters by the surface
// opacity, otherwise the surface is shaded and filters by its output opacity.
ovo::Color transmissionRay(ovo::ShaderEnvironment& env, ovo::RayDifferential& ray);

// The fraction of light passing from `from` to `to`, bounded by the current light's distance.
// Keywords (n pairs of ustring and value): "samples" (int), "samplecone" (double).
ovo::Color transmission(ovo::ShaderEnvironment& env, const ovo::Tuple& from, const ovo::Tuple& to,
                        int n, ...);

// The colour seen from P along dir; black for shadow and gathering rays and in the offset
// passes. Keywords as transmission.
ovo::Color tracec(ovo::ShaderEnvironment& env, ovo::Tuple& P, ovo::Tuple& dir, int n, ...);

}  // namespace SL
