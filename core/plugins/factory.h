// Plugin factories: one per object kind. Each turns a plugin name into the file
// <name>.<kind>.<ext>, finds it on the search path, loads it once for the whole process,
// fetches its entry point and calls it. The returned object belongs to the caller.
// Failures throw Error: 3 when no file is found, 4 when the library or its entry cannot
// be loaded. A loaded plugin is cached by its name alone and served from the cache from then
// on, whatever search path or kind word later requests give.
#pragma once

#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "core/geometry/reference.h"
#include "core/params/parameter.h"
#include "core/render/extent.h"

namespace ovo {

class Aggregate;
class Attributes;
class BucketOrder;
class Camera;
class Film;
class Filter;
class Integrator;
class MotionTransform;
class Primitive;
class Sampler;
class Shader;
class Shape;
class Transform;

// Also asks the new shape for the interpolators of "N", "C", "opacity", "s" and "t" when
// the parameters hold them.
Shape* createShape(const std::string& name, std::string& searchPath, RendererAPI& renderer,
                   const Transform& objectToWorld, const Attributes& attributes,
                   ParameterSet& parameters);
Camera* createCamera(const std::string& name, std::string& searchPath,
                     const MotionTransform& cameraTransform, Film* film, ParameterSet& parameters);
// kind is "accelerator" for scene accelerators and "shape" for the solid operators.
Aggregate* createAggregate(const std::string& name, const std::string& searchPath,
                           const std::string& kind, std::vector<Reference<Primitive>>& primitives,
                           ParameterSet& parameters);
Integrator* createIntegrator(const std::string& name, const std::string& searchPath,
                             ParameterSet& parameters);
RendererAPI::Generator* createGenerator(const std::string& name, std::string& searchPath,
                                        ParameterSet& parameters);
// Only loads the shader plugin and calls its entry; binding arguments is the caller's work.
Shader* createShaderPlugin(const std::string& name, const std::string& searchPath);

// filterWidth[2] are full widths; the filter receives half of each.
Filter* createFilter(const std::string& name, const std::string& searchPath,
                     const float* filterWidth, ParameterSet& parameters);
Sampler* createSampler(const std::string& name, const std::string& searchPath, unsigned* resolution,
                       unsigned* samplesPerPixel, Extent2D& crop, float* filterWidth,
                       ParameterSet& parameters);
BucketOrder* createBucketOrder(const std::string& name, const std::string& searchPath,
                               unsigned* bucketSize, unsigned* resolution, Extent2D& crop,
                               ParameterSet& parameters);

}  // namespace ovo
