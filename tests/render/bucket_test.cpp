// Bucket grids: the order plugins, raster and sampling boundaries, neighbours, and which
// buckets must be complete before a bucket's pixels can be written.
#include <algorithm>
#include <cmath>
#include <memory>

#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

const char* const Orders[] = {"horizontal", "vertical", "spiral"};

// The scene's buckets for an order over an image, as Render builds them.
struct Grid {
    std::unique_ptr<Scene> scene;
    unsigned nx = 0, ny = 0;

    Grid(const char* order, unsigned w, unsigned h, unsigned size, float filterWidth,
         Extent2D crop = {0, 1, 0, 1}) {
        unsigned res[2] = {w, h}, bs[2] = {size, size};
        float fw[2] = {filterWidth, filterWidth};
        scene.reset(new Scene(nullptr, nullptr, nullptr, nullptr, RaySettings(), NamedSpaces()));
        std::unique_ptr<BucketOrder> o(makeOrder(order, bs, res, crop));
        o->getNumBuckets(nx, ny);
        scene->buildBuckets(*o, fw);
    }
    const std::vector<Bucket*>& buckets() const { return scene->getBuckets(); }
};

// Pixels a sampling rectangle reaches through a filter of half-width h.
RasterExtent reach(const RasterExtent& s, float h) {
    return {int(std::ceil(s.x0 - 0.5f - h)), int(std::floor(s.x1 - 0.5f + h)),
            int(std::ceil(s.y0 - 0.5f - h)), int(std::floor(s.y1 - 0.5f + h))};
}

bool overlap(const RasterExtent& a, const RasterExtent& b) {
    return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
}

}  // namespace

// Counts per axis over the crop window, the last column and row clipped to the image; a zero
// side makes no buckets that way. Rows: resolution, size, crop x from, counts, the first
// bucket's x0 and the last one's x0, x1, y1.
TEST(Buckets, OrderExtentAndCounts) {
    const float rows[][11] = {{640, 480, 32, 32, 0.0f, 20, 15, 0, 608, 639, 479},
                              {640, 480, 32, 32, 0.5f, 10, 15, 320, 608, 639, 479},
                              {100, 70, 32, 32, 0.0f, 4, 3, 0, 96, 99, 69},
                              {100, 70, 32, 0, 0.0f, 4, 0},
                              {100, 70, 0, 32, 0.0f, 0, 3}};
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << r[2] << "x" << r[3] << " from " << r[4]);
        unsigned res[2] = {unsigned(r[0]), unsigned(r[1])},
                 size[2] = {unsigned(r[2]), unsigned(r[3])}, nx, ny;
        Extent2D crop = {r[4], 1, 0, 1};
        std::unique_ptr<BucketOrder> o(makeOrder("horizontal", size, res, crop));
        o->getNumBuckets(nx, ny);
        EXPECT_EQ(nx, unsigned(r[5]));
        EXPECT_EQ(ny, unsigned(r[6]));
        if (nx * ny == 0) continue;
        std::unique_ptr<Bucket> first(o->nextBucket()), last;
        EXPECT_EQ(first->getRasterBoundaries().x0, int(r[7]));
        for (unsigned k = 1; k < nx * ny; ++k) last.reset(o->nextBucket());
        const RasterExtent& e = last->getRasterBoundaries();
        EXPECT_EQ(std::vector<int>({e.x0, e.x1, e.y1}),
                  std::vector<int>({int(r[8]), int(r[9]), int(r[10])}));
        EXPECT_EQ(o->nextBucket(), nullptr);  // asked once too often
    }
}

TEST(Buckets, NeighboursAndSamplingBoundaries) {
    Grid grid("horizontal", 640, 480, 32, 2.0f);
    const auto& b = grid.buckets();
    ASSERT_EQ(b.size(), 300u);
    // The first bucket has no neighbours and samples the filter reach on every side.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(b[0]->getNeighbour(k), nullptr);
    EXPECT_EQ(b[0]->getSamplingBoundaries().x1, 33);  // ceil(31 + 1) + 1
    // The second has only its left neighbour and starts where the first stopped.
    EXPECT_EQ(b[1]->getNeighbour(0), b[0]);
    EXPECT_EQ(b[1]->getNeighbour(3), nullptr);
    // The first of the second row has the bucket above it; the later one below never counts.
    EXPECT_EQ(b[20]->getNeighbour(3), b[0]);
    EXPECT_EQ(b[0]->getNeighbour(2), nullptr);

    // A bucket is written once its earlier neighbours are complete and, beyond the four, the
    // earlier diagonal bucket whose samples reach its corner.
    Bucket* second = b[21];
    EXPECT_FALSE(second->neighboursCompleted());
    b[1]->completed(true);
    b[20]->completed(true);
    EXPECT_FALSE(second->neighboursCompleted());  // b[0] still samples into its corner
    b[0]->completed(true);
    EXPECT_TRUE(second->neighboursCompleted());
}

// For every order and filter width (also wider than a bucket): the buckets' sampling
// rectangles tile the sampled area without gap or overlap, and every bucket whose samples
// reach a bucket's pixels is among that bucket's contributors.
TEST(Buckets, SamplingRectanglesTileTheImageAndContributorsAreComplete) {
    struct Case {
        unsigned w, h, size;
        float filterWidth;
    };
    const Case cases[] = {{64, 48, 16, 2.0f},
                          {70, 45, 8, 3.0f},
                          {36, 28, 4, 4.0f},
                          {40, 40, 8, 1.0f},
                          {33, 57, 5, 6.0f}};
    for (const char* name : Orders) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << name << " " << c.w << "x" << c.h << " size "
                                              << c.size << " width " << c.filterWidth);
            Grid grid(name, c.w, c.h, c.size, c.filterWidth);
            const auto& b = grid.buckets();
            ASSERT_EQ(b.size(), size_t(grid.nx * grid.ny));
            const float h = c.filterWidth * 0.5f;
            const int x0 = int(std::floor(-h)), x1 = int(std::ceil(c.w - 1 + h)) + 1;
            const int y0 = int(std::floor(-h)), y1 = int(std::ceil(c.h - 1 + h)) + 1;
            std::vector<int> count(size_t(x1 - x0) * (y1 - y0), 0);
            for (const Bucket* bucket : b) {
                const RasterExtent& s = bucket->getSamplingBoundaries();
                for (int y = s.y0; y < s.y1; ++y) {
                    for (int x = s.x0; x < s.x1; ++x) {
                        ASSERT_TRUE(x >= x0 && x < x1 && y >= y0 && y < y1) << x << "," << y;
                        ++count[size_t(y - y0) * (x1 - x0) + (x - x0)];
                    }
                }
            }
            for (size_t k = 0; k < count.size(); ++k)
                ASSERT_EQ(count[k], 1)
                    << "sample cell " << int(k % (x1 - x0)) + x0 << "," << int(k / (x1 - x0)) + y0;

            for (const Bucket* target : b) {
                const auto& contributors = target->getContributors();
                for (const Bucket* other : b) {
                    if (other == target) continue;
                    const bool reaches = overlap(reach(other->getSamplingBoundaries(), h),
                                                 target->getRasterBoundaries());
                    const bool listed = std::find(contributors.begin(), contributors.end(),
                                                  other) != contributors.end();
                    ASSERT_EQ(reaches, listed);
                }
            }
        }
    }
}

// With the usual orders no later bucket reaches an earlier one, so with one thread every
// bucket is ready the moment it completes; the spiral starts in the middle.
TEST(Buckets, UsualOrdersWaitOnlyForEarlierBuckets) {
    for (const char* name : Orders) {
        Grid grid(name, 40, 24, 8, 2.0f);
        unsigned i, j;
        grid.buckets()[0]->getCoordinates(i, j);
        EXPECT_TRUE(name != std::string("spiral") || (i == 2 && j == 1)) << i << "," << j;
        for (Bucket* b : grid.buckets()) {
            b->completed(true);
            EXPECT_TRUE(b->neighboursCompleted()) << name;
        }
    }
}
