// Test camera "still": makes no rays; it only keeps what the camera base reads (the camera
// transform, the film, "near" and "far"). Example: Attribute("string projection", "still").
#include "core/render/camera.h"

namespace {

class StillCamera : public ovo::Camera {
  public:
    StillCamera(const ovo::MotionTransform& transform, ovo::Film* film,
                ovo::ParameterSet& parameters)
        : Camera(transform, film, parameters) {}
    float generateRay(const ovo::Sample&, ovo::Ray&) const override { return 0.0f; }
    float screenDepth(const ovo::Point& p) const override { return p.z; }
};

}  // namespace

extern "C" ovo::Camera* createCamera(const ovo::MotionTransform& transform, ovo::Film* film,
                                     ovo::ParameterSet& parameters) {
    return new StillCamera(transform, film, parameters);
}
