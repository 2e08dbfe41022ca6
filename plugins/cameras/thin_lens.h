// What the projective cameras share: the thin lens, and the ray made from a camera-space one.
#pragma once

#include "core/math/sampling.h"
#include "core/render/camera.h"

namespace ovo {
namespace cameras {

class ThinLensCamera : public ProjectiveCamera {
  public:
    // A pinhole reads no lens position; a shutter that opens and closes at once, no time.
    bool readsLens() const override { return lensRadius > 0.0f; }
    bool readsTime() const override { return shutterOpen != shutterClose; }

  protected:
    using ProjectiveCamera::ProjectiveCamera;

    // The camera's ray for the pinhole ray from o along d (camera space, o on the plane
    // z = 0). With a lens the ray leaves from the lens point the sample picks, moved across
    // from o, towards focusOf(o, d): where the pinhole ray meets the plane in focus. Clipping
    // is by depth, so the parameter range follows the direction's z.
    template <class FocusOf>
    float finish(const Sample& sample, Point o, Vector d, FocusOf focusOf, Ray& ray) const {
        if (lensRadius > 0.0f) {
            float lu, lv;
            ConcentricSampleDisk(sample.lensU, sample.lensV, &lu, &lv);
            const Point focus = focusOf(o, d);
            o = Point(o.x + lu * lensRadius, o.y + lv * lensRadius, 0.0f);
            d = Vector(focus.x - o.x, focus.y - o.y, focus.z - o.z).hat();
        }
        ray = Ray(o, d, hither / d.z, yon / d.z, shutterTime(sample.time));
        toWorld(ray);
        return 1.0f;
    }
};

}  // namespace cameras
}  // namespace ovo
