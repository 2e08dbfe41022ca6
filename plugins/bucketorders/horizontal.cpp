// horizontal: buckets row by row from the top left, each row left to right; the default order.
//
// The bucket size comes from the option "limits:bucketsize" (default 32 32).
//
// Parameters: none
//
// Example:
//   Option "render" "string bucketorder" ["horizontal"]
#include "plugins/bucketorders/scan.h"

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    using ovo::bucketorders::Scan;
    return new ovo::bucketorders::ScanOrder<Scan::Rows>(bucketSize, resolution, crop, parameters);
}
