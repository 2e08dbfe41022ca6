#include "core/render/camera.h"

#include <new>

#include "core/plugins/factory.h"
#include "core/render/film.h"

namespace ovo {

namespace {

// The first n floats of a float parameter holding at least n of them.
bool findFloats(ParameterSet& parameters, const char* name, float* out, int n) {
    const Parameter* p = parameters.find(name, TypeFloat);
    if (!p || int(p->type().arraylen()) * p->nvalues() < n) return false;
    const float* v = p->getFloats();
    for (int i = 0; i < n; ++i) out[i] = v[i];
    return true;
}

}  // namespace

Camera::Camera(const MotionTransform& transform, Film* f, ParameterSet& parameters)
    : film(f), cameraTransform(transform) {
    // A camera always has a placement: an empty motion transform stands for the identity.
    if (cameraTransform.size() == 0) cameraTransform = Transform::Identity;
    cameraToWorld = cameraTransform.inverse();
    hither = hitherFrom(parameters);
    yon = yonFrom(parameters);
    invHither = 1.0f / hither;
}

float Camera::hitherFrom(ParameterSet& parameters) {
    const float n = parameters.findFloat("near", 0.1f);
    return n > 0.001f ? n : 0.001f;  // NaN too
}

float Camera::yonFrom(ParameterSet& parameters) {
    const float f = parameters.findFloat("far", 1e6f);
    return f < 1e30f ? f : 1e30f;
}

Camera::~Camera() {}

float Camera::generateRayDifferential(const Sample& sample, RayDifferential& ray) const {
    const float w = generateRay(sample, ray);
    Sample offset = sample;
    offset.imageX += 1.0f;
    const float wx = generateRay(offset, ray.rx);
    offset.imageX = sample.imageX;
    offset.imageY += 1.0f;
    const float wy = generateRay(offset, ray.ry);
    if (wx == 0.0f || wy == 0.0f) return 0.0f;
    ray.hasDifferentials = true;
    return w;
}

void Camera::generateRayDifferentials(const Sample* samples, RayDifferential* rays, int n) const {
    for (int k = 0; k < n; ++k) {
        // Made in place: a new ray assigned would be built aside and read back in wide loads
        // that wait for its narrower stores to retire.
        ::new (&rays[k]) RayDifferential();
        generateRayDifferential(samples[k], rays[k]);
    }
}

ProjectiveCamera::ProjectiveCamera(const MotionTransform& transform, const Transform& projection,
                                   Film* f, ParameterSet& parameters)
    : Camera(transform, f, parameters) {
    const float fstop = parameters.findFloat("fstop", 1e30f);
    const float focalLength = parameters.findFloat("focallength", 0.0f);
    focalDistance = parameters.findFloat("focaldistance", 1e30f);
    lensRadius = focalLength * 0.5f / fstop;
    // A negative or NaN radius (a nonsensical f-stop) means a pinhole.
    if (!(lensRadius > 0.0f)) lensRadius = 0.0f;
    float shutter[2];
    if (findFloats(parameters, "shutter", shutter, 2)) {
        shutterOpen = shutter[0];
        shutterClose = shutter[1];
    }

    cameraToScreen = projection;
    worldToScreen = cameraToScreen * cameraTransform.getSample(0);

    const float xres = film ? float(film->xResolution()) : 1.0f;
    const float yres = film ? float(film->yResolution()) : 1.0f;
    float screen[4];
    if (!findFloats(parameters, "screen", screen, 4)) {
        const float aspect = xres / yres * parameters.findFloat("pixelaspect", 1.0f);
        screen[0] = -aspect;
        screen[1] = aspect;
        screen[2] = -1.0f;
        screen[3] = 1.0f;
    }
    // Raster y grows downwards from the window's top edge.
    screenToRaster = Scale(xres, yres, 1.0f) *
                     Scale(1.0f / (screen[1] - screen[0]), 1.0f / (screen[2] - screen[3]), 1.0f) *
                     Translate(-screen[0], -screen[3], 0.0f);
    rasterToScreen = screenToRaster.inverse();
    rasterToCamera = cameraToScreen.inverse() * rasterToScreen;
}

float ProjectiveCamera::screenDepth(const Point& p) const {
    const Matrix& m = worldToScreen.m;
    const float z = m.m[2][0] * p.x + m.m[2][1] * p.y + m.m[2][2] * p.z + m.m[2][3];
    const float w = m.m[3][0] * p.x + m.m[3][1] * p.y + m.m[3][2] * p.z + m.m[3][3];
    return w == 1.0f ? z : z / w;
}

Camera* createCamera(const std::string& name, std::string& searchPath,
                     const MotionTransform& cameraTransform, Film* film, ParameterSet& parameters) {
    return findPluginEntry<OvoCreateCameraEntry>(name, searchPath, "camera", "createCamera")(
        cameraTransform, film, parameters);
}

}  // namespace ovo
