// PixelImager: a pass over the finished pixels of a frame, after the filter and before the
// colour outputs quantize. The film runs it once per pixel; the shading room implements it with
// an imager shader, so the film needs nothing of shading.
#pragma once

#include "core/math/tuple.h"

namespace ovo {

// One pixel as an imager sees it, changed in place.
struct ImagerPixel {
    Point position;  // integer raster position of the pixel (its top-left corner), z = 0
    Color colour;    // filtered colour
    Color opacity;   // alpha in every channel: the film keeps one coverage value
    float alpha;     // filtered coverage; written back when changed, else the mean opacity if
                     // that was changed
};

class PixelImager {
  public:
    virtual ~PixelImager() = default;
    // Changes `count` pixels in place. Calls on different pixels may run at once on several
    // threads: an implementation keeps no state from one call to the next.
    virtual void image(ImagerPixel* pixels, int count) const = 0;
};

}  // namespace ovo
