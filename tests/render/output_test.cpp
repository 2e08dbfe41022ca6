// Image outputs: real files written by OpenImageIO and read back, the mode table, gamma, crop
// windows, and writers that take regions.
#include <cmath>
#include <memory>

#include "core/render/output.h"
#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

OutputRecord record(const ScratchDir& dir, const std::string& file, const char* type,
                    const char* mode, float gamma = 1.0f) {
    OutputRecord r;
    r.name = dir / file, r.type = type, r.mode = mode, r.gamma = gamma;
    return r;
}

// One sample per pixel with a box filter: each pixel's normalised colour is the sample's.
void paint(Film& film, float value) {
    for (int y = film.y0(); y < film.y0() + film.height(); ++y)
        for (int x = film.x0(); x < film.x0() + film.width(); ++x)
            film.addSample(Point(x + 0.5f, y + 0.5f, 2.0f), Color(value, -value, value * 0.5f),
                           0.5f);
}

}  // namespace

TEST(Outputs, ModesGammaAndFilesReadBack) {
    TestFilm film(16, 12, "box", 0.5f, 0.5f);
    ScratchDir dir;
    const OutputRecord png = record(dir, "linear.png", "png", "rgba");
    const OutputRecord gamma = record(dir, "gamma.png", "png", "rgb", 2.2f);
    const OutputRecord alpha = record(dir, "alpha.exr", "openexr", "a");
    ASSERT_TRUE(openOutput(film, png, ""));
    ASSERT_TRUE(openOutput(film, gamma, ""));
    ASSERT_TRUE(openOutput(film, alpha, ""));
    // Unknown modes and formats attach nothing.
    EXPECT_FALSE(openOutput(film, record(dir, "bad.png", "png", "rgbz"), ""));
    EXPECT_FALSE(openOutput(film, record(dir, "bad.xyz", "no-such-format", "rgb"), ""));
    EXPECT_EQ(film.getOutputs().size(), 3u);

    paint(film, 0.25f);
    film.weightPixels();
    writeAndCloseOutputs(film);
    writeAndCloseOutputs(film);  // closing twice writes nothing more

    OIIO::ImageSpec imageSpec;
    std::vector<float> px;
    ASSERT_EQ((px = readImage(png.name, &imageSpec).pixels).size(), 16u * 12 * 4);
    EXPECT_EQ(imageSpec.format, OIIO::TypeDesc::UINT8);
    EXPECT_EQ(imageSpec.alpha_channel, 3);
    EXPECT_EQ(imageSpec.get_string_attribute("oiio:ColorSpace"), "Linear");
    // PNG keeps colour unassociated from alpha; reading associates it again, so the values
    // come back within the 8-bit steps of both conversions.
    EXPECT_NEAR(px[0], 0.25f, 2.0f / 255.0f);
    EXPECT_EQ(px[1], 0.0f);  // negative clamps to 0
    EXPECT_NEAR(px[3], 128.0f / 255.0f, 1e-6f);

    // Gamma 2.2: 0.25 is written as 0.25^(1/2.2); negative values become 0.
    ASSERT_EQ((px = readImage(gamma.name, &imageSpec).pixels).size(), 16u * 12 * 3);
    EXPECT_EQ(imageSpec.get_string_attribute("oiio:ColorSpace"), "GammaCorrected");
    EXPECT_FLOAT_EQ(imageSpec.get_float_attribute("oiio:Gamma"), 2.2f);
    EXPECT_NEAR(px[0], std::round(255.0f * std::pow(0.25f, 1.0f / 2.2f)) / 255.0f, 1e-6f);
    EXPECT_EQ(px[1], 0.0f);
    EXPECT_NEAR(px[2], std::round(255.0f * std::pow(0.125f, 1.0f / 2.2f)) / 255.0f, 1e-6f);

    ASSERT_EQ((px = readImage(alpha.name, &imageSpec).pixels).size(), 16u * 12);
    EXPECT_EQ(imageSpec.channelnames, std::vector<std::string>{"A"});
    EXPECT_EQ(px[5], 0.5f);  // OpenEXR stores 8-bit requests as half floats
}

// Writers that take regions get each bucket as it finishes, straight from the film or through
// a gamma-corrected copy, and get nothing at close.
TEST(Outputs, RegionWriters) {
    TestFilm film(8, 8, "box", 0.5f, 0.5f);
    RecordingOutput* rgba = attachRecorder(film, "rgba");
    RecordingOutput* rgb = attachRecorder(film, "rgb", 2.0f);
    RecordingOutput* depth = attachRecorder(film, "z");
    paint(film, 0.25f);
    film.weightPixels(RasterExtent{2, 3, 4, 6});
    std::vector<float> scratch;
    writeRegion(film, RasterExtent{2, 3, 4, 6}, scratch);
    for (RecordingOutput* r : {rgba, rgb, depth}) EXPECT_EQ(r->writes.size(), 6u);
    EXPECT_EQ(rgba->at(3, 6), (std::vector<float>{0.25f, -0.25f, 0.125f, 0.5f}));
    const std::vector<float>& encoded = rgb->at(2, 4);
    ASSERT_EQ(encoded.size(), 3u);
    EXPECT_TRUE(near(Tuple(encoded[0], encoded[1], encoded[2]),
                     Tuple(0.5f, 0.0f, std::sqrt(0.125f)), 1e-6f));
    EXPECT_EQ(depth->at(2, 5), std::vector<float>{2.0f});

    // Streaming: the film is not normalised; the writers get normalised values anyway.
    film.addSample(Point(0.5f, 0.5f, 1.0f), Color(0.75f, 0.0f, 0.0f), 0.0f);
    writeRegionNormalising(film, RasterExtent{0, 0, 0, 0}, scratch);
    EXPECT_EQ(rgba->at(0, 0), (std::vector<float>{0.5f, 0.0f, 0.0625f, 0.25f}));  // g clamped
    EXPECT_NEAR(rgb->at(0, 0)[0], std::sqrt(0.5f), 1e-6f);
    EXPECT_EQ(depth->at(0, 0), std::vector<float>{1.0f});

    writeAndCloseOutputs(film);
    EXPECT_EQ(rgba->writes.size(), 7u);
    EXPECT_TRUE(rgba->closed && rgb->closed && depth->closed);
}
