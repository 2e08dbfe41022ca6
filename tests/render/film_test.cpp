// Film: the filter table, the footprint and weights of addSample, weighting, and the private
// tiles the render threads accumulate into.
#include <cmath>
#include <cstring>
#include <random>

#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

float gaussianBell(float u) { return std::exp(-2.0f * u * u) - std::exp(-2.0f); }

// The table index the film must use for an offset d with half-width w.
int index(float d, float w) { return std::min(int(std::floor(std::fabs(d) / w * 16.0f)), 15); }

}  // namespace

TEST(Film, TableSamplesTheFilterAtQuadrantCellCentres) {
    TestFilm film(8, 8, "gaussian", 1.0f, 2.0f);
    const float* table = film.getFilterTable();
    for (int j = 0; j < 16; ++j)
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(table[j * 16 + i],
                        gaussianBell((i + 0.5f) / 16.0f) * gaussianBell((j + 0.5f) / 16.0f), 1e-6f)
                << i << "," << j;
}

TEST(Film, SampleFootprintAndWeights) {
    TestFilm film(32, 32, "gaussian", 1.0f, 1.0f);
    const float* table = film.getFilterTable();
    film.addSample(Point(10.5f, 20.5f, 4.0f), Color(1.0f, 0.5f, 0.25f), 1.0f);

    // Centre pixel, its direct neighbours at table index 15, nothing beyond.
    EXPECT_FLOAT_EQ(film.pixel(10, 20).weight, table[0]);
    EXPECT_FLOAT_EQ(film.pixel(9, 20).weight, table[15]);
    EXPECT_FLOAT_EQ(film.pixel(11, 21).weight, table[15 * 16 + 15]);
    EXPECT_FLOAT_EQ(film.pixel(10, 20).g, 0.5f * table[0]);
    EXPECT_FLOAT_EQ(film.pixel(9, 19).z, 4.0f);
    for (int x : {8, 12})  // untouched pixels keep their depth too
        EXPECT_EQ(std::make_pair(film.pixel(x, 20).weight, film.pixel(x, 20).depth()),
                  std::make_pair(0.0, double(1e30f)));

    // An off-centre sample: every weight is the table entry of its own row and column.
    // Its centre is (2.8, 5.4), so it reaches columns 2..3 and rows 5..6.
    film.addSample(Point(3.3f, 5.9f, 2.0f), Color(1.0f), 0.5f);
    for (int y = 5; y <= 6; ++y)
        for (int x = 2; x <= 3; ++x)
            EXPECT_FLOAT_EQ(film.pixel(x, y).weight,
                            table[index(y - 5.4f, 1.0f) * 16 + index(x - 2.8f, 1.0f)]);
    EXPECT_FLOAT_EQ(film.pixel(3, 5).a, 0.5f * film.pixel(3, 5).weight);
    EXPECT_EQ(film.pixel(1, 5).weight + film.pixel(4, 5).weight + film.pixel(2, 7).weight, 0.0f);

    // Weighting: a pixel that saw two colours holds their weighted mean; unsampled pixels stay
    // black at depth 1e30 with weight 0.
    film.addSample(Point(10.5f, 20.5f, 9.0f), Color(0.0f), 0.0f);
    film.weightPixels();
    EXPECT_NEAR(film.pixel(10, 20).r, 0.5f, 1e-6f);
    EXPECT_NEAR(film.pixel(10, 20).a, 0.5f, 1e-6f);
    EXPECT_FLOAT_EQ(film.pixel(10, 20).z, 4.0f);
    const FilmPixel& empty = film.pixel(30, 2);
    EXPECT_EQ(empty.r + empty.g + empty.b + empty.a + empty.weight, 0.0f);
    EXPECT_EQ(empty.depth(), 1e30f);
}

TEST(Film, CropWindowAndPartialWeighting) {
    TestFilm film(640, 480, "box", 1.0f, 1.0f, {0.5f, 1.0f, 0.0f, 1.0f});
    EXPECT_EQ(std::vector<int>({film.x0(), film.width(), film.y0(), film.height()}),
              std::vector<int>({320, 320, 0, 480}));

    // A sample left of the window reaches the window's first column and nothing outside it.
    film.addSample(Point(319.9f, 10.5f, 1.0f), Color(1.0f), 1.0f);
    EXPECT_GT(film.pixel(320, 10).weight, 0.0f);
    EXPECT_EQ(film.pixel(321, 10).weight, 0.0f);
    double total = 0.0;  // nothing landed elsewhere in the window's memory either
    for (int y = 0; y < 480; ++y)
        for (int x = 320; x < 640; ++x) total += film.pixel(x, y).weight;
    EXPECT_EQ(total,
              film.pixel(320, 9).weight + film.pixel(320, 10).weight + film.pixel(320, 11).weight);
    RasterExtent fp;
    ASSERT_TRUE(film.footprint(319.9f, 10.5f, fp));
    EXPECT_EQ(std::vector<int>({fp.x0, fp.x1, fp.y0, fp.y1}), std::vector<int>({320, 320, 9, 11}));
    EXPECT_FALSE(film.footprint(100.0f, 10.5f, fp));

    // Samples at absurd positions are ignored.
    film.addSample(Point(NAN, 10.0f, 1.0f), Color(1.0f), 1.0f);
    film.addSample(Point(1e30f, -1e30f, 1.0f), Color(1.0f), 1.0f);

    // Weighting a rectangle leaves the rest unnormalised.
    for (float x : {400.5f, 500.5f, 500.5f})
        film.addSample(Point(x, 100.5f, 1.0f), Color(3.0f), 1.0f);
    film.weightPixels(RasterExtent{390, 410, 90, 110});
    EXPECT_FLOAT_EQ(film.pixel(400, 100).r, 3.0f);
    EXPECT_FLOAT_EQ(film.pixel(500, 100).r, 3.0f * film.pixel(500, 100).weight);
    EXPECT_GT(film.pixel(500, 100).weight, 1.5f);
    // Extents reaching outside the window are clamped.
    film.weightPixels(RasterExtent{-100, 10000, -100, 10000});
    EXPECT_FLOAT_EQ(film.pixel(500, 100).r, 3.0f);
}

// Tiles merged into a film give the film that direct accumulation gives, also for tiles cut by
// the film window, with filters that reach at most 3 x 3 pixels (the usual case) and more. Samples
// added in two steps (reach, then colour) give the very same sums.
class FilmTiles : public testing::TestWithParam<std::pair<float, float>> {};

INSTANTIATE_TEST_SUITE_P(Film, FilmTiles,
                         testing::Values(std::make_pair(1.0f, 1.25f), std::make_pair(1.5f, 2.0f),
                                         std::make_pair(4.0f, 3.5f)));

TEST_P(FilmTiles, MergeToTheDirectResult) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const RasterExtent rects[] = {{-3, 9, -2, 11}, {9, 21, 5, 13}, {30, 44, 20, 33}};

    const auto [xwidth, ywidth] = GetParam();
    TestFilm direct(40, 30, "triangle", xwidth, ywidth, {0.1f, 0.9f, 0.2f, 1.0f}),
        merged(40, 30, "triangle", xwidth, ywidth, {0.1f, 0.9f, 0.2f, 1.0f}),
        twoSteps(40, 30, "triangle", xwidth, ywidth, {0.1f, 0.9f, 0.2f, 1.0f});
    FilmTile tile, second;
    for (const RasterExtent& r : rects) {
        tile.reset(merged, r);
        second.reset(twoSteps, r);
        for (int k = 0; k < 404; ++k) {
            // The last few lie far outside the film, or where no integer holds them.
            const float far[] = {-1e3f, 1e30f, 9e6f, std::nanf("")};
            const Point p = k < 400 ? Point(r.x0 + u(rng) * (r.x1 - r.x0),
                                            r.y0 + u(rng) * (r.y1 - r.y0), 1.0f + u(rng))
                                    : Point(far[k - 400], float(r.y0), 1.0f);
            const Color c(u(rng), u(rng), u(rng));
            direct.addSample(p, c, 0.75f);
            tile.addSample(p, c, 0.75f);
            FilmReach reach;
            second.reach(p.x, p.y, reach);
            second.addSample(reach, p, c, 0.75f);
        }
        merged.merge(tile);
        twoSteps.merge(second);
    }
    for (int y = merged.y0(); y < merged.y0() + merged.height(); ++y)
        for (int x = merged.x0(); x < merged.x0() + merged.width(); ++x)
            ASSERT_EQ(std::memcmp(&merged.pixel(x, y), &twoSteps.pixel(x, y), sizeof(FilmPixel)), 0)
                << x << "," << y;
    int touched = 0;
    for (int y = direct.y0(); y < direct.y0() + direct.height(); ++y) {
        for (int x = direct.x0(); x < direct.x0() + direct.width(); ++x) {
            const FilmPixel& a = direct.pixel(x, y);
            const FilmPixel& b = merged.pixel(x, y);
            ASSERT_NEAR(a.weight, b.weight, 1e-4f) << x << "," << y;
            EXPECT_TRUE(near(Tuple(a.r, a.b, a.a), Tuple(b.r, b.b, b.a), 1e-4f)) << x << "," << y;
            EXPECT_EQ(a.depth(), b.depth());
            touched += a.weight > 0.0f;
        }
    }
    EXPECT_GT(touched, 200);

    // A rectangle wholly outside the film's reach makes an empty tile that merges to nothing.
    tile.reset(merged, RasterExtent{100, 110, 100, 110});
    EXPECT_EQ(tile.width() * tile.height(), 0);
    tile.addSample(Point(105.0f, 105.0f, 1.0f), Color(1.0f), 1.0f);
    merged.merge(tile);
    EXPECT_EQ(merged.pixel(merged.x0() + merged.width() - 1, 29).weight,
              direct.pixel(direct.x0() + direct.width() - 1, 29).weight);
}
