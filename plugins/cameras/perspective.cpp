// perspective: the pinhole camera, with a thin lens for depth of field.
//
// Camera space has x to the right, y up and looks along +z. The field of view spans the screen
// window's -1..1 range, which for a wide image is its vertical extent. With a focal length and an
// f-stop, rays leave a lens of radius focallength / (2 * fstop) and meet again on the plane
// "focaldistance" away, so only that plane is sharp. A camera transform with several time samples
// moves the camera over the shutter. Screen depth is 0 at "near" and 1 at "far". In a RIB file
// Clipping sets near and far, ScreenWindow the screen, Format the pixel aspect, Shutter the
// shutter, and DepthOfField the f-stop, focal length and focal distance.
//
// Parameters:
//   type      name           default    meaning
//   float     fov            90         field of view in degrees; outside (0, 180) it is 90
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
//   Projection "perspective" "fov" [40]
//   DepthOfField 2.8 0.05 6
#include <algorithm>
#include <cmath>
#include <new>

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
                         film, parameters) {
        // Raster points on the near plane map affinely onto camera space, so a pixel step is
        // the same camera-space step everywhere.
        const Point origin = rasterToCamera * Point(0.0f, 0.0f, 0.0f);
        pixelStepX = rasterToCamera * Point(1.0f, 0.0f, 0.0f) - origin;
        pixelStepY = rasterToCamera * Point(0.0f, 1.0f, 0.0f) - origin;
        // A still pinhole sends every ray from one eye: where the placement puts the origin.
        still = lensRadius == 0.0f && !cameraToWorld.isMoving();
        eye = cameraToWorld.getSample(0) * Point(0.0f, 0.0f, 0.0f);
    }

    // A still pinhole: the neighbouring pixels' rays share the eye, and their directions are
    // one pixel step away (unnormalised: shading meets them with a plane, which needs no unit
    // directions).
    float generateRayDifferential(const Sample& sample, RayDifferential& ray) const override {
        if (!still) return Camera::generateRayDifferential(sample, ray);
        const Point p = rasterToCamera * Point(sample.imageX, sample.imageY, 0.0f);
        const Vector d(p.x, p.y, p.z);
        const Transform& toWorld = cameraToWorld.getSample(0);
        // The ray generateRay makes, bit for bit, without working out the eye again.
        const Vector u = d.hat();
        const Point end = toWorld * Point(0.0f + u.x, 0.0f + u.y, 0.0f + u.z);
        static_cast<Ray&>(ray) =
            Ray(eye, end - eye, hither / u.z, yon / u.z, shutterTime(sample.time));
        ray.rx = Ray(eye, toWorld * (d + pixelStepX));
        ray.ry = Ray(eye, toWorld * (d + pixelStepY));
        ray.hasDifferentials = true;
        return 1.0f;
    }

    // A still pinhole's rays, sixteen at once: generateRayDifferential's steps, one lane a
    // sample, which the compiler runs side by side (the square roots and divisions above all).
    void generateRayDifferentials(const Sample* samples, RayDifferential* rays,
                                  int n) const override {
        if (!still) return Camera::generateRayDifferentials(samples, rays, n);
        const Matrix& c = rasterToCamera.m;
        const Matrix& w = cameraToWorld.getSample(0).m;
        for (int first = 0; first < n; first += Lanes) {
            const int count = std::min(Lanes, n - first);
            float sx[Lanes] = {}, sy[Lanes] = {}, st[Lanes] = {};
            for (int k = 0; k < count; ++k) {
                sx[k] = samples[first + k].imageX;
                sy[k] = samples[first + k].imageY;
                st[k] = samples[first + k].time;
            }
            float dx[Lanes], dy[Lanes], dz[Lanes], mint[Lanes], maxt[Lanes], time[Lanes];
            float xx[Lanes], xy[Lanes], xz[Lanes], yx[Lanes], yy[Lanes], yz[Lanes];
            for (int k = 0; k < Lanes; ++k) {
                // generateRayDifferential's steps, with its own operators.
                const Point p = c * Point(sx[k], sy[k], 0.0f);
                const Vector d(p.x, p.y, p.z);
                const Vector u = d.hat();
                const Vector e = w * Point(0.0f + u.x, 0.0f + u.y, 0.0f + u.z) - eye;
                dx[k] = e.x;
                dy[k] = e.y;
                dz[k] = e.z;
                mint[k] = hither / u.z;
                maxt[k] = yon / u.z;
                time[k] = shutterTime(st[k]);
                const Vector a = w * (d + pixelStepX), b = w * (d + pixelStepY);
                xx[k] = a.x;
                xy[k] = a.y;
                xz[k] = a.z;
                yx[k] = b.x;
                yy[k] = b.y;
                yz[k] = b.z;
            }
            for (int k = 0; k < count; ++k) {
                RayDifferential& ray = *::new (&rays[first + k]) RayDifferential(
                    eye, Vector(dx[k], dy[k], dz[k]), mint[k], maxt[k], time[k]);
                ray.rx = Ray(eye, Vector(xx[k], xy[k], xz[k]));
                ray.ry = Ray(eye, Vector(yx[k], yy[k], yz[k]));
                ray.hasDifferentials = true;
            }
        }
    }

    float generateRay(const Sample& sample, Ray& ray) const override {
        // The raster point lies on the near plane; the pinhole sits at the origin.
        return pinholeRay(sample, rasterToCamera * Point(sample.imageX, sample.imageY, 0.0f), ray);
    }

  private:
    // The ray through the camera-space point p of the near plane (the sample's raster point).
    float pinholeRay(const Sample& sample, const Point& p, Ray& ray) const {
        auto focusOf = [this](const Point&, const Vector& d) {
            const float t = focalDistance / d.z;
            return Point(d.x * t, d.y * t, d.z * t);
        };
        return finish(sample, Point(0.0f, 0.0f, 0.0f), Vector(p.x, p.y, p.z).hat(), focusOf, ray);
    }

    static constexpr int Lanes = 16;
    Vector pixelStepX, pixelStepY;  // camera-space steps of one pixel in x and y
    bool still;                     // no lens and no motion
    Point eye;                      // world position of the pinhole
};

}  // namespace

extern "C" ovo::Camera* createCamera(const ovo::MotionTransform& transform, ovo::Film* film,
                                     ovo::ParameterSet& parameters) {
    return new PerspectiveCamera(transform, film, parameters);
}
