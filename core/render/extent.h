#pragma once

#include <cmath>

namespace ovo {

// Pixel rectangle. Which bounds are inclusive is stated where one is used.
struct RasterExtent {
    int x0, x1, y0, y1;
};

// Rectangle in 0..1 image fractions (crop windows).
struct Extent2D {
    float xmin, xmax, ymin, ymax;
};

// ceil(resolution * fraction): the first pixel at or after a crop edge. The film, the sampler
// and the bucket order all cut the crop window with this one rule so that they agree. Crop
// values outside 0..1 (or NaN) are taken as the nearest edge: a window never leaves the image.
inline int cropPixel(unsigned resolution, float fraction) {
    const float f = fraction > 0.0f ? (fraction < 1.0f ? fraction : 1.0f) : 0.0f;
    return static_cast<int>(std::ceil(static_cast<float>(resolution) * f));
}

}  // namespace ovo
