// perspective: the pinhole camera, with a thin lens for depth of field.
//
// Camera space has x to the right, y up and looks along +z. The field of view spans the screen
// window's -1..1 range, which for a wide image is its vertical extent. With a focal length and
// an f-stop, rays leave a lens of radius focallength / (2 * fstop) and meet again on the plane
// "focaldistance" away, so only that plane is sharp. A camera transform with several time
// samples moves the camera over the shutter. Screen depth is 0 at "near" and 1 at "far".
//
// Parameters:
//   float fov              field of view in degrees (90); outside (0, 180) it is 90
//   float near, far        clipping planes, distances along the view axis (0.1, 1e6)
//   float screen[4]        screen window xmin xmax ymin ymax (from the frame aspect ratio)
//   float pixelaspect      used only without "screen" (1)
//   float shutter[2]       open and close times (0 0)
//   float focallength      lens focal length, in scene units (0: a pinhole)
//   float fstop            (1e30: a pinhole)
//   float focaldistance    distance of the sharp plane along the view axis (1e30)
//
// Example:
//   Projection "perspective" "fov" [40]
#include <cmath>

#include "core/math/constants.h"
#include "plugins/cameras/thin_lens.h"

namespace {

using namespace ovo;

// Maps the field of view onto -1..1 and camera depth onto 0 (near) .. 1 (far) after the
// division by w = z.
Transform perspective(float fov, float n, float f) {
    if (!(fov > 0.0f && fov < 180.0f)) fov = 90.0f;
    const float s = 1.0f / std::tan(radians(fov) * 0.5f);
    const float a = f / (f - n);  // n * a, not n * f / (f - n): f may be 1e30
    return Transform(Matrix(s, 0.0f, 0.0f, 0.0f, 0.0f, s, 0.0f, 0.0f, 0.0f, 0.0f, a, -n * a, 0.0f,
                            0.0f, 1.0f, 0.0f));
}

class PerspectiveCamera : public cameras::ThinLensCamera {
  public:
    PerspectiveCamera(const MotionTransform& transform, Film* film, ParameterSet& parameters)
        : ThinLensCamera(transform,
                         perspective(parameters.findFloat("fov", 90.0f), hitherFrom(parameters),
                                     yonFrom(parameters)),
                         film, parameters) {}

    float generateRay(const Sample& sample, Ray& ray) const override {
        // The raster point lies on the near plane; the pinhole sits at the origin.
        const Point p = rasterToCamera * Point(sample.imageX, sample.imageY, 0.0f);
        auto focusOf = [this](const Point&, const Vector& d) {
            const float t = focalDistance / d.z;
            return Point(d.x * t, d.y * t, d.z * t);
        };
        return finish(sample, Point(0.0f, 0.0f, 0.0f), Vector(p.x, p.y, p.z).hat(), focusOf, ray);
    }
};

}  // namespace

extern "C" ovo::Camera* createCamera(const ovo::MotionTransform& transform, ovo::Film* film,
                                     ovo::ParameterSet& parameters) {
    return new PerspectiveCamera(transform, film, parameters);
}
