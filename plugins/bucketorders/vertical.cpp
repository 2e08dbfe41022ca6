// vertical: buckets column by column from the top left, each column top to bottom.
//
// The bucket size comes from the option "limits:bucketsize" (default 32 32).
//
// Parameters: none
//
// Example:
//   Option "render" "string bucketorder" ["vertical"]
#include "plugins/bucketorders/scan.h"

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    using ovo::bucketorders::Scan;
    return new ovo::bucketorders::ScanOrder<Scan::Columns>(bucketSize, resolution, crop,
                                                           parameters);
}
