// orthographic: parallel projection along +z.
//
// Camera x and y map straight onto the screen window, so the window's size is the size of the
// view in scene units. Rays start on the plane z = 0 of camera space and run along +z; with a
// focal length and an f-stop they leave a lens of radius focallength / (2 * fstop) around that
// point and meet on the plane "focaldistance" away. Screen depth runs linearly from 0 at
// "near" to 1 at "far".
//
// Parameters:
//   float near, far        clipping planes along the view axis (0.1, 1e6)
//   float screen[4]        screen window xmin xmax ymin ymax (from the frame aspect ratio)
//   float pixelaspect      used only without "screen" (1)
//   float shutter[2]       open and close times (0 0)
//   float focallength      (0), float fstop (1e30), float focaldistance (1e30): depth of field
//
// Example:
//   Projection "orthographic"
#include "plugins/cameras/thin_lens.h"

namespace {

using namespace ovo;

Transform orthographic(float n, float f) {
    return Scale(1.0f, 1.0f, 1.0f / (f - n)) * Translate(0.0f, 0.0f, -n);
}

class OrthographicCamera : public cameras::ThinLensCamera {
  public:
    OrthographicCamera(const MotionTransform& transform, Film* film, ParameterSet& parameters)
        : ThinLensCamera(transform, orthographic(hitherFrom(parameters), yonFrom(parameters)), film,
                         parameters) {}

    float generateRay(const Sample& sample, Ray& ray) const override {
        const Point p = rasterToCamera * Point(sample.imageX, sample.imageY, 0.0f);
        // Parallel rays: each is in focus straight ahead of where it starts.
        auto focusOf = [this](const Point& o, const Vector&) {
            return Point(o.x, o.y, focalDistance);
        };
        return finish(sample, Point(p.x, p.y, 0.0f), Vector(0.0f, 0.0f, 1.0f), focusOf, ray);
    }
};

}  // namespace

extern "C" ovo::Camera* createCamera(const ovo::MotionTransform& transform, ovo::Film* film,
                                     ovo::ParameterSet& parameters) {
    return new OrthographicCamera(transform, film, parameters);
}
