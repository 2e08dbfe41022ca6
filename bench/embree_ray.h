// An Embree ray and empty hit record for one of the renderer's rays: the benchmarks that compare
// OVO's tracing with raw Embree give both the same rays.
#pragma once

#include <embree3/rtcore.h>

#include "core/math/ray.h"

namespace ovobench {

inline RTCRayHit toEmbree(const ovo::Ray& r) {
    RTCRayHit rh;
    rh.ray.org_x = r.o.x;
    rh.ray.org_y = r.o.y;
    rh.ray.org_z = r.o.z;
    rh.ray.dir_x = r.d.x;
    rh.ray.dir_y = r.d.y;
    rh.ray.dir_z = r.d.z;
    rh.ray.tnear = r.mint;
    rh.ray.tfar = r.maxt;
    rh.ray.time = 0.0f;
    rh.ray.mask = 0xffffffffu;
    rh.ray.id = 0;
    rh.ray.flags = 0;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    return rh;
}

}  // namespace ovobench
