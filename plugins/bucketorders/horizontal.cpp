// horizontal: buckets row by row from the top left, each row left to right. The default order.
//
// Parameters: none (the bucket size comes from "limits:bucketsize", default 32 32).
//
// Example:
//   Option "render" "string bucketorder" ["horizontal"]
#include "core/render/bucket.h"

namespace {

using namespace ovo;

class HorizontalOrder : public BucketOrder {
  public:
    HorizontalOrder(unsigned* size, unsigned* resolution, Extent2D& crop, ParameterSet& p)
        : BucketOrder(size, resolution, crop, p) {}

    Bucket* nextBucket() override {
        if (next >= size_t(nx) * ny) return nullptr;
        const unsigned i = unsigned(next % nx), j = unsigned(next / nx);
        ++next;
        return new Bucket(i, j, bucketSize, extent);
    }

  private:
    size_t next = 0;
};

}  // namespace

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    return new HorizontalOrder(bucketSize, resolution, crop, parameters);
}
