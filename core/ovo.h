// OVO public interface: one header for hosts and plugin authors. It includes the whole
// public surface of libovo; keep it complete as the library grows.
#pragma once

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

#include "core/params/paramtype.h"
#include "core/params/parameter.h"
#include "core/params/error.h"

#include "core/api/renderer_api.h"

#include "sys/tasking.h"
