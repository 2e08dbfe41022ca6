// The bucket orders that scan the grid of buckets one line after the other from the top left:
// row by row ("horizontal") or column by column ("vertical").
#pragma once

#include <cstddef>

#include "core/render/bucket.h"

namespace ovo {
namespace bucketorders {

enum class Scan { Rows, Columns };

template <Scan Along>
class ScanOrder : public BucketOrder {
  public:
    ScanOrder(unsigned* size, unsigned* resolution, Extent2D& crop, ParameterSet& p)
        : BucketOrder(size, resolution, crop, p) {}

    Bucket* nextBucket() override {
        if (next >= std::size_t(nx) * ny) return nullptr;
        const unsigned i = unsigned(Along == Scan::Rows ? next % nx : next / ny);
        const unsigned j = unsigned(Along == Scan::Rows ? next / nx : next % ny);
        ++next;
        return new Bucket(i, j, bucketSize, extent);
    }

  private:
    std::size_t next = 0;
};

}  // namespace bucketorders
}  // namespace ovo
