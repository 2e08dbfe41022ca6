// vertical: buckets column by column from the top left, each column top to bottom.
//
// Parameters: none (the bucket size comes from "limits:bucketsize", default 32 32).
//
// Example:
//   Option "render" "string bucketorder" ["vertical"]
#include "core/render/bucket.h"

namespace {

using namespace ovo;

class VerticalOrder : public BucketOrder {
  public:
    VerticalOrder(unsigned* size, unsigned* resolution, Extent2D& crop, ParameterSet& p)
        : BucketOrder(size, resolution, crop, p) {}

    Bucket* nextBucket() override {
        if (next >= size_t(nx) * ny) return nullptr;
        const unsigned i = unsigned(next / ny), j = unsigned(next % ny);
        ++next;
        return new Bucket(i, j, bucketSize, extent);
    }

  private:
    size_t next = 0;
};

}  // namespace

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    return new VerticalOrder(bucketSize, resolution, crop, parameters);
}
