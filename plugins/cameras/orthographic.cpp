// orthographic: parallel projection along +z.
//
// Camera x and y map straight onto the screen window, so the window's size is the size of the view
// in scene units. Rays start on the plane z = 0 of camera space and run along +z; with a focal
// length and an f-stop they leave a lens of radius focallength / (2 * fstop) around that point and
// meet on the plane "focaldistance" away. Screen depth runs linearly from 0 at "near" to 1 at
// "far". In a RIB file Clipping sets near and far, ScreenWindow the screen, Format the pixel
// aspect, Shutter the shutter, and DepthOfField the f-stop, focal length and focal distance.
//
// Parameters:
//   type      name           default    meaning
//   float     near           0.1        near clipping plane along the view axis; at least 0.001
//   float     far            1e6        far clipping plane along the view axis; at most 1e30
//   float[4]  screen         -a a -1 1  screen window xmin xmax ymin ymax; a is the x resolution
//                                       over the y resolution times pixelaspect
//   float     pixelaspect    1          used only without "screen"
//   float[2]  shutter        0 0        open and close times
//   float     focallength    0          lens focal length, in scene units (0: a pinhole)
//   float     fstop          1e30       f-stop of the lens (1e30: a pinhole)
//   float     focaldistance  1e30       distance of the sharp plane along the view axis
//
// Example:
//   Projection "orthographic"
//   ScreenWindow -2 2 -1.5 1.5
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
