// Camera and ProjectiveCamera: the base classes of camera plugins. The core asks a camera
// for a world-space ray per sample and for screen depths, and reads its transforms to define
// the "camera", "screen", "raster" and "NDC" coordinate systems.
#pragma once

#include <string>

#include "core/math/motion.h"
#include "core/math/ray.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/render/sample.h"

namespace ovo {

class Film;

class Camera {
  public:
    // cameraTransform maps world space to camera space (over the shutter when it moves).
    Camera(const MotionTransform& cameraTransform, Film* film, ParameterSet& parameters);
    virtual ~Camera();

    // Weight 0 means no ray.
    virtual float generateRay(const Sample& sample, Ray& ray) const = 0;
    virtual float generateRayDifferential(const Sample& sample, RayDifferential& ray) const;
    // The rays of n samples, each what generateRayDifferential makes of its sample in a new
    // RayDifferential (their weights are not kept). Cameras that make many rays more cheaply
    // together than one at a time override it.
    virtual void generateRayDifferentials(const Sample* samples, RayDifferential* rays,
                                          int n) const;
    virtual float screenDepth(const Point& p) const = 0;
    // Whether this camera's rays depend on a sample's lens position and on its time. Samplers
    // are told, so that they need not make what no ray reads.
    virtual bool readsLens() const { return true; }
    virtual bool readsTime() const { return true; }

    // The first time sample of the camera-to-world transform.
    const Transform& getCameraToWorld() const { return cameraToWorld.getSample(0); }
    const MotionTransform& getCameraTransform() const { return cameraTransform; }
    const MotionTransform& getCameraToWorldMotion() const { return cameraToWorld; }
    Film* getFilm() const { return film; }
    float getHither() const { return hither; }
    float getYon() const { return yon; }
    float getShutterOpen() const { return shutterOpen; }
    float getShutterClose() const { return shutterClose; }

    // "near" and "far" as the camera keeps them: near at least 0.001, far at most 1e30.
    // Projections are built before the base is, so plugins read them through these.
    static float hitherFrom(ParameterSet& parameters);
    static float yonFrom(ParameterSet& parameters);

  protected:
    // A shutter position in [0, 1) as a time in [shutterOpen, shutterClose].
    float shutterTime(float u) const { return shutterOpen + (shutterClose - shutterOpen) * u; }
    // Carries a camera-space ray to world space at the ray's time.
    void toWorld(Ray& ray) const {
        if (cameraToWorld.isMoving())
            ray = cameraToWorld * ray;
        else
            ray = cameraToWorld.getSample(0) * ray;
    }

    Film* film;
    MotionTransform cameraTransform;
    MotionTransform cameraToWorld;
    float hither;  // "near", at least 0.001
    float yon;     // "far", at most 1e30
    float invHither;
    float shutterOpen = 0.0f;
    float shutterClose = 0.0f;
};

class ProjectiveCamera : public Camera {
  public:
    ProjectiveCamera(const MotionTransform& cameraTransform, const Transform& cameraToScreen,
                     Film* film, ParameterSet& parameters);

    float screenDepth(const Point& p) const override;

    const Transform& getCameraToScreen() const { return cameraToScreen; }
    const Transform& getWorldToScreen() const { return worldToScreen; }
    const Transform& getRasterToCamera() const { return rasterToCamera; }
    const Transform& getScreenToRaster() const { return screenToRaster; }
    const Transform& getRasterToScreen() const { return rasterToScreen; }
    float getLensRadius() const { return lensRadius; }
    float getFocalDistance() const { return focalDistance; }

  protected:
    Transform cameraToScreen;
    Transform worldToScreen;
    Transform rasterToCamera;
    Transform screenToRaster;
    Transform rasterToScreen;
    float lensRadius;
    float focalDistance;
};

// Loads the camera plugin `name` and makes a camera of it; throws Error when it cannot be loaded.
Camera* createCamera(const std::string& name, std::string& searchPath,
                     const MotionTransform& cameraTransform, Film* film, ParameterSet& parameters);

}  // namespace ovo

extern "C" typedef ovo::Camera* (*OvoCreateCameraEntry)(const ovo::MotionTransform&, ovo::Film*,
                                                        ovo::ParameterSet&);
