// spiral: buckets from the centre of the image outwards, so the middle shows up first.
//
// The walk starts at the centre bucket and turns clockwise (right, down, left, up) with runs of
// growing length, ring by ring; buckets the square spiral passes outside the image are skipped. The
// bucket size comes from the option "limits:bucketsize" (default 32 32).
//
// Parameters: none
//
// Example:
//   Option "render" "string bucketorder" ["spiral"]
#include <utility>
#include <vector>

#include "core/render/bucket.h"

namespace {

using namespace ovo;

class SpiralOrder : public BucketOrder {
  public:
    SpiralOrder(unsigned* size, unsigned* resolution, Extent2D& crop, ParameterSet& p)
        : BucketOrder(size, resolution, crop, p) {
        const size_t count = size_t(nx) * ny;
        cells.reserve(count);
        long x = (long(nx) - 1) / 2, y = (long(ny) - 1) / 2;
        const long dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};  // right, down, left, up
        auto visit = [&]() {
            if (x >= 0 && y >= 0 && x < long(nx) && y < long(ny))
                cells.emplace_back(unsigned(x), unsigned(y));
        };
        if (count) visit();
        // Runs of 1, 1, 2, 2, 3, 3, ...: after each pair of turns the spiral has grown a ring.
        for (long run = 1, dir = 0; cells.size() < count; ++dir) {
            for (long k = 0; k < run && cells.size() < count; ++k) {
                x += dx[dir % 4];
                y += dy[dir % 4];
                visit();
            }
            if (dir % 2 == 1) ++run;
        }
    }

    Bucket* nextBucket() override {
        if (next >= cells.size()) return nullptr;
        const auto& c = cells[next++];
        return new Bucket(c.first, c.second, bucketSize, extent);
    }

  private:
    std::vector<std::pair<unsigned, unsigned>> cells;
    size_t next = 0;
};

}  // namespace

extern "C" ovo::BucketOrder* createBucketOrder(unsigned* bucketSize, unsigned* resolution,
                                               ovo::Extent2D& crop, ovo::ParameterSet& parameters) {
    return new SpiralOrder(bucketSize, resolution, crop, parameters);
}
