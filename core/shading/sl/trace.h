// Tracing one ray through the scene and shading what it hits: the routine the render loop
// calls for every camera sample, and that the tracing SL functions build on; and the
// functions that gather light over the hemisphere (occlusion, indirect diffuse) with the
// scene's caches.
#pragma once

#include "core/math/ray.h"
#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace ovo {
class GeometrySet;
class Scene;
}  // namespace ovo

namespace SL {

// While one lives on a thread, the rays that thread traces reuse one hit record per nesting
// level instead of building one per ray. A record keeps the shape and attribute references of
// what it last met, so rays that meet the same surface again cost no reference counting: those
// counters are shared by every thread, and two threads updating them pass their cache lines
// back and forth. The render loop keeps one for its whole walk over the buckets; its end
// releases what the records still hold, before the scene goes. Nested ones do nothing.
class HitReuse {
  public:
    HitReuse();
    ~HitReuse();
    HitReuse(const HitReuse&) = delete;
    HitReuse& operator=(const HitReuse&) = delete;

    struct Stack;  // the thread's records, known to the tracing routines only

  private:
    Stack* stack;
};

// Traces `ray` (its type and depth set by the caller) against the scene and shades the
// nearest hit, continuing through partly transparent surfaces. Returns true on a hit, with
// `ray.maxt` left at the nearest hit's distance; `Ci` and `Oi` receive the composited colour
// and opacity. A miss, or a ray deeper than "ray:maxdepth", gives the "ray:maxdepthcolor"
// colour with zero opacity. With a geometry set only its members can be hit.
bool traceRay(const ovo::Scene& scene, ovo::RayDifferential& ray, ovo::Color& Ci, ovo::Color& Oi,
              const ovo::GeometrySet* set = nullptr);

// The colour that reaches the end of `ray` (type 2 or 3 expected) through the surfaces it
// meets: surfaces hidden from shadows are ignored, "ray:opaqueshadows" 0 filters by the
// surface opacity, otherwise the surface is shaded and filters by its output opacity.
// `firstHit`, when given, receives the distance of the first surface that filtered (1e30
// when none did).
ovo::Color transmissionRay(ovo::ShaderEnvironment& env, ovo::RayDifferential& ray,
                           const ovo::GeometrySet* set = nullptr, float* firstHit = nullptr);

// The mean colour seen from P around dir: one ray along dir when `cone` is at most 0.01,
// otherwise `samples` rays spread cosine-wise over the cone of half-angle `cone`. Type 1 rays,
// one level deeper than the ray being shaded.
ovo::Color traceCone(ovo::ShaderEnvironment& env, const ovo::Point& P, const ovo::Vector& dir,
                     int samples, float cone, const ovo::GeometrySet* set);
// The mean transmission from `from` along dir up to maxt, sampled like traceCone.
ovo::Color transmissionCone(ovo::ShaderEnvironment& env, const ovo::Point& from,
                            const ovo::Vector& dir, float maxt, int samples, float cone,
                            const ovo::GeometrySet* set);

// The fraction of light passing from `from` to `to`, bounded by the current light's distance.
// Keywords (n pairs of ustring and value): "samples" (int), "samplecone" (double).
ovo::Color transmission(ovo::ShaderEnvironment& env, const ovo::Tuple& from, const ovo::Tuple& to,
                        int n, ...);

// transmission without keywords: one ray from `from` to `to`. The lights' shadows take it.
ovo::Color transmissionTo(ovo::ShaderEnvironment& env, const ovo::Point& from,
                          const ovo::Point& to);

// The colour seen from P along dir; black for shadow and gathering rays and in the offset
// passes. Keywords as transmission.
ovo::Color tracec(ovo::ShaderEnvironment& env, ovo::Tuple& P, ovo::Tuple& dir, int n, ...);

// The fraction of the hemisphere around N that is blocked, seen from P (64 rays, or
// `samples`), from the occlusion cache where it can. Keywords: "bias", "maxhitdist",
// "coneangle", "falloff", "maxerror", "maxpixeldist" (double), "falloffmode" (int),
// "distribution" (ustring), "environmentdir" (Tuple*, receives the mean unoccluded direction);
// "subset", "filename", "filemode", "coordsystem", "adaptative", "maxvariation" are accepted
// and ignored.
float occlusion2(ovo::ShaderEnvironment& env, const ovo::Tuple& P, const ovo::Tuple& N, int n, ...);
float occlusion3(ovo::ShaderEnvironment& env, const ovo::Tuple& P, const ovo::Tuple& N,
                 float samples, int n, ...);

// The mean colour that other surfaces send towards P over the hemisphere around N (one
// diffuse bounce per "ray:maxdiffusedepth"), from the irradiance cache where it can. Keywords
// as occlusion.
ovo::Color indirectdiffuse2(ovo::ShaderEnvironment& env, const ovo::Tuple& P, const ovo::Tuple& N,
                            int n, ...);
ovo::Color indirectdiffuse3(ovo::ShaderEnvironment& env, const ovo::Tuple& P, const ovo::Tuple& N,
                            float samples, int n, ...);

}  // namespace SL
