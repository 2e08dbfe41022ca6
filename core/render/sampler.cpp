#include "core/render/sampler.h"

#include <climits>
#include <cmath>

#include "core/plugins/factory.h"

namespace ovo {

namespace {

// floor(v) as an int; absurd filter widths are held far inside the int range and NaN gives 0.
inline int floorToInt(float v) {
    const float f = std::floor(v);
    if (f != f) return 0;
    return f > -1e8f ? (f < 1e8f ? int(f) : 100000000) : -100000000;
}

}  // namespace

Sampler::Sampler(unsigned* const res, unsigned* const spp, Extent2D& crop, float* const filterWidth,
                 ParameterSet&)
    : reserved{0.0f, 0.0f} {
    resolution[0] = res[0];
    resolution[1] = res[1];
    samplesPerPixel[0] = spp[0];
    samplesPerPixel[1] = spp[1];
    // The cropped pixels plus half a filter width on every side, so that the pixels at the
    // window's edge see samples all around them.
    const int px0 = cropPixel(res[0], crop.xmin), px1 = cropPixel(res[0], crop.xmax);
    const int py0 = cropPixel(res[1], crop.ymin), py1 = cropPixel(res[1], crop.ymax);
    extent.x0 = floorToInt(px0 + 0.5f - filterWidth[0] * 0.5f);
    extent.x1 = floorToInt(px1 + 0.5f + filterWidth[0] * 0.5f);
    extent.y0 = floorToInt(py0 + 0.5f - filterWidth[1] * 0.5f);
    extent.y1 = floorToInt(py1 + 0.5f + filterWidth[1] * 0.5f);
}

Sampler::~Sampler() {}

int Sampler::totalSamples() const {
    if (extent.x1 <= extent.x0 || extent.y1 <= extent.y0) return 0;
    const double n = double(extent.y1 - extent.y0) * double(extent.x1 - extent.x0) *
                     double(samplesPerPixel[1]) * double(samplesPerPixel[0]);
    return n < double(INT_MAX) ? int(n) : INT_MAX;
}

void Sampler::setSamplingBoundaries(const RasterExtent& e) {
    extent = e;
    reset();
}

Sampler* createSampler(const std::string& name, const std::string& searchPath, unsigned* resolution,
                       unsigned* samplesPerPixel, Extent2D& crop, float* filterWidth,
                       ParameterSet& parameters) {
    return findPluginEntry<OvoCreateSamplerEntry>(name, searchPath, "sampler", "createSampler")(
        resolution, samplesPerPixel, crop, filterWidth, parameters);
}

}  // namespace ovo
