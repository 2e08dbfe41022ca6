// Buckets: the tiles the image is rendered in, and BucketOrder, the base of the plugins that
// decide the order in which they are rendered.
#pragma once

#include <string>
#include <vector>

#include "core/params/parameter.h"
#include "core/render/extent.h"

namespace ovo {

class Bucket {
  public:
    // Column i, row j, bucket size[2], and the order's image extent (xmin, xmax, ymax, ymin).
    Bucket(unsigned i, unsigned j, unsigned* const bucketSize, RasterExtent& imageExtent);

    // Filter width[2], then the left, right, below (next row) and above (previous row)
    // neighbours that were made before this bucket (null otherwise).
    void computeSamplingBoundaries(float* const filterWidth, Bucket* left, Bucket* right,
                                   Bucket* below, Bucket* above);
    // True when the earlier neighbours and every contributor are complete: then no sample is
    // still to come for this bucket's pixels.
    bool neighboursCompleted() const;
    bool completed() const { return isCompleted; }
    void completed(bool c) { isCompleted = c; }
    const RasterExtent& getRasterBoundaries() const { return raster; }      // inclusive
    const RasterExtent& getSamplingBoundaries() const { return sampling; }  // x1, y1 exclusive
    void getCoordinates(unsigned& i, unsigned& j) const {
        i = column;
        j = row;
    }
    // 0 left, 1 right, 2 below, 3 above; null unless that bucket was made before this one.
    Bucket* getNeighbour(int k) const { return neighbours[k]; }

    // The other buckets whose samples reach this bucket's pixels. The four earlier neighbours
    // are not the only ones: an earlier diagonal bucket samples past its corner into this one,
    // and with a filter wider than a bucket the reach spans several buckets.
    void setContributors(const std::vector<Bucket*>& c) { contributors = c; }
    const std::vector<Bucket*>& getContributors() const { return contributors; }

  private:
    bool isCompleted;
    RasterExtent raster;
    RasterExtent sampling;
    unsigned column, row;
    Bucket* neighbours[4];  // left, right, below, above
    std::vector<Bucket*> contributors;
};

class BucketOrder {
  public:
    // bucket size[2], resolution[2], crop window.
    BucketOrder(unsigned* const bucketSize, unsigned* const resolution, Extent2D& crop,
                ParameterSet& parameters);
    virtual ~BucketOrder();

    // A new bucket (owned by the caller) per call; called exactly nx * ny times, returning
    // every grid cell once.
    virtual Bucket* nextBucket() = 0;
    void getNumBuckets(unsigned& x, unsigned& y) const {
        x = nx;
        y = ny;
    }

  protected:
    unsigned bucketSize[2];
    // Inclusive pixel bounds in the order xmin, xmax, ymax, ymin: x0 = xmin, x1 = xmax,
    // y0 = ymax, y1 = ymin (the y pair is kept maximum first).
    RasterExtent extent;
    unsigned nx, ny;
};

// Loads the bucket-order plugin `name`; throws Error when it cannot be loaded.
BucketOrder* createBucketOrder(const std::string& name, const std::string& searchPath,
                               unsigned* bucketSize, unsigned* resolution, Extent2D& crop,
                               ParameterSet& parameters);

}  // namespace ovo

extern "C" typedef ovo::BucketOrder* (*OvoCreateBucketOrderEntry)(unsigned*, unsigned*,
                                                                  ovo::Extent2D&,
                                                                  ovo::ParameterSet&);
