// Test bucket order "echo": gives no buckets, and appends what its entry received to the
// parameter list it was given, as "int[4] received" (bucket size, resolution) and
// "float[4] received" (crop window). Example: Attribute("string bucketorder", "echo").
#include "core/render/bucket.h"

namespace {

class EchoBucketOrder : public ovo::BucketOrder {
  public:
    EchoBucketOrder(unsigned* size, unsigned* resolution, ovo::Extent2D& crop,
                    ovo::ParameterSet& parameters)
        : BucketOrder(size, resolution, crop, parameters) {}
    ovo::Bucket* nextBucket() override { return nullptr; }
};

}  // namespace

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* size, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    const int counts[4] = {int(size[0]), int(size[1]), int(resolution[0]), int(resolution[1])};
    const float window[4] = {crop.xmin, crop.xmax, crop.ymin, crop.ymax};
    parameters.push_back("received", ovo::ParamType(ovo::TypeInt, 4), counts, true);
    parameters.push_back("received", ovo::ParamType(ovo::TypeFloat, 4), window, true);
    return new EchoBucketOrder(size, resolution, crop, parameters);
}
