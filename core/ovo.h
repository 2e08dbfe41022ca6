// OVO public interface: one header for hosts and plugin authors. It includes the whole
// public surface of libovo; keep it complete as the library grows.
#pragma once

// Base: shared ownership, the exception type, the prefetch helper.
#include "core/base/reference.h"
#include "core/base/error.h"
#include "core/base/prefetch.h"

// Geometry math.
#include "core/math/constants.h"
#include "core/math/tuple.h"
#include "core/math/matrix.h"
#include "core/math/transform.h"
#include "core/math/ray.h"
#include "core/math/motion.h"
#include "core/math/aabb.h"
#include "core/math/numeric.h"
#include "core/math/random.h"
#include "core/math/sampling.h"

// Parameters and diagnostics.
#include "core/params/paramtype.h"
#include "core/params/parameter.h"
#include "core/params/error.h"

// Plugins.
#include "core/plugins/plugin.h"
#include "core/plugins/search_path.h"
#include "core/plugins/factory.h"

// The scene-description interface.
#include "core/api/renderer_api.h"
#include "core/api/options.h"
#include "core/api/attributes.h"
#include "core/api/raytracer.h"

// Rendering engine: the base classes of camera, filter, sampler, bucket-order plugins.
#include "core/render/extent.h"
#include "core/render/sample.h"
#include "core/render/sampler.h"
#include "core/render/filter.h"
#include "core/render/integrator.h"
#include "core/render/film.h"
#include "core/render/camera.h"
#include "core/render/bucket.h"
#include "core/render/scene.h"
#include "core/render/output.h"
#include "core/render/ray_settings.h"

// Geometry core: shapes, primitives, hits.
#include "core/geometry/interpolator.h"
#include "core/geometry/attributes.h"
#include "core/geometry/shape.h"
#include "core/geometry/hit.h"
#include "core/geometry/primitive.h"
#include "core/geometry/geometry_set.h"

// Shading: shaders, lights and the shading library.
#include "core/shading/shader.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/environment.h"
#include "core/shading/connections.h"
#include "core/shading/compiled.h"
#include "core/shading/sl/strings.h"
#include "core/shading/sl/geometry.h"
#include "core/shading/sl/lighting.h"
#include "core/shading/sl/trace.h"

// Tasking services.
#include "sys/tasking.h"
