// What the shapes traced through Embree share: the device, its error names, our rays in
// Embree's form, and the scene that holds a shape's one geometry.
#pragma once

#include <embree3/rtcore.h>

#include <algorithm>

#include "core/math/ray.h"

namespace ovo {
namespace shapes {

// ThreadSanitizer cannot see the synchronisation inside TBB, on which Embree builds its
// hierarchies, and reports every block a worker allocated as a race: a sanitized build keeps
// the builds on the calling thread.
#if defined(__SANITIZE_THREAD__)
#define OVO_EMBREE_CONFIG "verbose=0,threads=1"
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OVO_EMBREE_CONFIG "verbose=0,threads=1"
#endif
#endif
#ifndef OVO_EMBREE_CONFIG
#define OVO_EMBREE_CONFIG "verbose=0"
#endif

// One Embree device for every shape of the plugin; it lives until the process ends.
inline RTCDevice embreeDevice() {
    static RTCDevice device = rtcNewDevice(OVO_EMBREE_CONFIG);
    return device;
}

inline const char* embreeError(RTCError e) {
    switch (e) {
        case RTC_ERROR_NONE:
            return "no error";
        case RTC_ERROR_INVALID_ARGUMENT:
            return "invalid argument";
        case RTC_ERROR_INVALID_OPERATION:
            return "invalid operation";
        case RTC_ERROR_OUT_OF_MEMORY:
            return "out of memory";
        case RTC_ERROR_UNSUPPORTED_CPU:
            return "unsupported CPU";
        case RTC_ERROR_CANCELLED:
            return "cancelled";
        default:
            return "unknown error";
    }
}

// Embree's ray for ours. The bias is a distance from the origin, so it moves the start of the
// interval: t·|d| > bias. False when nothing of the interval is left.
inline bool embreeRay(const Ray& ray, float bias, RTCRay& r) {
    const float len = ray.d.length();
    if (!(len > 0.0f)) return false;
    r.org_x = ray.o.x;
    r.org_y = ray.o.y;
    r.org_z = ray.o.z;
    r.dir_x = ray.d.x;
    r.dir_y = ray.d.y;
    r.dir_z = ray.d.z;
    r.tnear = std::max(ray.mint, bias / len);
    r.tfar = ray.maxt;
    r.time = 0.0f;
    r.mask = 0xffffffffu;
    r.id = 0;
    r.flags = 0;
    return r.tnear <= r.tfar;
}

// The nearest hit of one ray in an Embree scene; false when it misses.
inline bool embreeIntersect(RTCScene scene, const Ray& ray, float bias, RTCRayHit& rh) {
    if (!embreeRay(ray, bias, rh.ray)) return false;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    rtcIntersect1(scene, &context, &rh);
    return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
}

// Whether anything of an Embree scene is hit.
inline bool embreeOccluded(RTCScene scene, const Ray& ray, float bias) {
    RTCRay r;
    if (!embreeRay(ray, bias, r)) return false;
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    rtcOccluded1(scene, &context, &r);
    return r.tfar < 0.0f;  // Embree marks an occluded ray with tfar = -inf
}

// A scene of one committed geometry, released with its owner. The geometry stays reachable
// for the interpolation calls of the shapes that evaluate their surface through Embree.
class EmbreeScene {
  public:
    EmbreeScene() = default;
    ~EmbreeScene() {
        if (scene) rtcReleaseScene(scene);
    }
    EmbreeScene(const EmbreeScene&) = delete;
    EmbreeScene& operator=(const EmbreeScene&) = delete;

    // Commits `g`, attaches it to a new scene and builds that; false with Embree's error.
    bool build(RTCGeometry g, RTCError& error) {
        rtcCommitGeometry(g);
        scene = rtcNewScene(embreeDevice());
        rtcSetSceneFlags(scene, RTC_SCENE_FLAG_COMPACT);
        rtcAttachGeometry(scene, g);
        geometry = g;
        rtcReleaseGeometry(g);  // the scene keeps it
        rtcCommitScene(scene);
        error = rtcGetDeviceError(embreeDevice());
        return error == RTC_ERROR_NONE;
    }

    RTCScene scene = nullptr;
    RTCGeometry geometry = nullptr;
};

}  // namespace shapes
}  // namespace ovo
