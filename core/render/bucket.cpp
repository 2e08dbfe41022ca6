#include "core/render/bucket.h"

#include <algorithm>
#include <cmath>

#include "core/plugins/factory.h"

namespace ovo {

namespace {

// Pixel bounds from float arithmetic: held inside the int range, NaN (a NaN filter width) as 0.
inline int toInt(float v) {
    if (v != v) return 0;
    return v > -1e8f ? (v < 1e8f ? int(v) : 100000000) : -100000000;
}

}  // namespace

Bucket::Bucket(unsigned i, unsigned j, unsigned* const bucketSize, RasterExtent& image)
    : isCompleted(false), column(i), row(j), neighbours{nullptr, nullptr, nullptr, nullptr} {
    // image holds xmin, xmax, ymax, ymin.
    raster.x0 = int(bucketSize[0] * i) + image.x0;
    raster.x1 = std::min(image.x1, raster.x0 + int(bucketSize[0]) - 1);
    raster.y0 = int(bucketSize[1] * j) + image.y1;
    raster.y1 = std::min(image.y0, raster.y0 + int(bucketSize[1]) - 1);
    // Until computeSamplingBoundaries runs, sample exactly the own pixels.
    sampling = {raster.x0, raster.x1 + 1, raster.y0, raster.y1 + 1};
}

void Bucket::computeSamplingBoundaries(float* const filterWidth, Bucket* left, Bucket* right,
                                       Bucket* below, Bucket* above) {
    const float hx = filterWidth[0] * 0.5f, hy = filterWidth[1] * 0.5f;
    // An earlier neighbour has already sampled the band between the two buckets; toward a
    // later one (or the image edge) this bucket samples the whole filter reach.
    sampling.x0 = toInt(left ? std::ceil(raster.x0 + hx) : std::floor(raster.x0 - hx));
    sampling.x1 = toInt(right ? std::floor(raster.x1 - hx) : std::ceil(raster.x1 + hx)) + 1;
    sampling.y0 = toInt(above ? std::ceil(raster.y0 + hy) : std::floor(raster.y0 - hy));
    sampling.y1 = toInt(below ? std::floor(raster.y1 - hy) : std::ceil(raster.y1 + hy)) + 1;
    neighbours[0] = left;
    neighbours[1] = right;
    neighbours[2] = below;
    neighbours[3] = above;
}

bool Bucket::neighboursCompleted() const {
    for (const Bucket* b : neighbours)
        if (b && !b->completed()) return false;
    for (const Bucket* b : contributors)
        if (!b->completed()) return false;
    return true;
}

BucketOrder::BucketOrder(unsigned* const size, unsigned* const resolution, Extent2D& crop,
                         ParameterSet&) {
    bucketSize[0] = size[0];
    bucketSize[1] = size[1];
    const int x0 = cropPixel(resolution[0], crop.xmin), x1 = cropPixel(resolution[0], crop.xmax);
    const int y0 = cropPixel(resolution[1], crop.ymin), y1 = cropPixel(resolution[1], crop.ymax);
    extent.x0 = x0;
    extent.x1 = x1 - 1;
    extent.y0 = y1 - 1;  // the y pair is kept maximum first
    extent.y1 = y0;
    nx = x1 > x0 && size[0] > 0 ? unsigned(std::ceil(float(x1 - x0) / float(size[0]))) : 0;
    ny = y1 > y0 && size[1] > 0 ? unsigned(std::ceil(float(y1 - y0) / float(size[1]))) : 0;
}

BucketOrder::~BucketOrder() {}

BucketOrder* createBucketOrder(const std::string& name, const std::string& searchPath,
                               unsigned* bucketSize, unsigned* resolution, Extent2D& crop,
                               ParameterSet& parameters) {
    return findPluginEntry<OvoCreateBucketOrderEntry>(
        name, searchPath, "bucketorder", "createBucketOrder")(bucketSize, resolution, crop,
                                                              parameters);
}

}  // namespace ovo
