// horizontal: buckets row by row from the top left, each row left to right. The default order.
//
// Parameters: none (the bucket size comes from "limits:bucketsize", default 32 32).
//
// Example:
//   Option "render" "string bucketorder" ["horizontal"]
#include "plugins/bucketorders/scan.h"

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    using ovo::bucketorders::Scan;
    return new ovo::bucketorders::ScanOrder<Scan::Rows>(bucketSize, resolution, crop, parameters);
}
