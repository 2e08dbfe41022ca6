// The "framebuffer" image format, made through OpenImageIO by name as the film makes every
// writer, and given rectangles the way the film writes them: floats straight from its pixel
// records (r, g, b, a, z, weight) with a stride.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include "tests/viewer/recording_sink.h"
#include "viewer/framebuffer_output.h"

using namespace ovo::viewer;

namespace {

// A film of 4 x 3 pixels at (2, 1) inside an 8 x 6 image: pixel (x, y) holds r = x, g = y,
// b = 0.5, a = 0.25, z = 10 + x, weight 1.
struct Film {
    static constexpr int X0 = 2, Y0 = 1, Width = 4, Height = 3;
    float records[Height][Width][6];
    Film() {
        for (int j = 0; j < Height; ++j)
            for (int i = 0; i < Width; ++i) {
                float* p = records[j][i];
                p[0] = float(X0 + i), p[1] = float(Y0 + j), p[2] = 0.5f, p[3] = 0.25f;
                p[4] = 10.0f + float(X0 + i), p[5] = 1.0f;
            }
    }
    const float* at(int x, int y, int channel) const { return &records[y - Y0][x - X0][channel]; }
};

OIIO::ImageSpec filmSpec(std::vector<std::string> channels) {
    OIIO::ImageSpec format(Film::Width, Film::Height, int(channels.size()), OIIO::TypeDesc::UINT8);
    format.x = Film::X0, format.y = Film::Y0;
    format.full_x = format.full_y = 0;
    format.full_width = 8, format.full_height = 6;
    format.channelnames = channels;
    return format;
}

std::unique_ptr<OIIO::ImageOutput> makeWriter(ovotest::RecordingSink* sink) {
    registerFramebufferFormat(sink);
    return OIIO::ImageOutput::create("framebuffer");
}

}  // namespace

TEST(FramebufferOutput, SendsFilmRectanglesAsRgbaAndDepthOfOneFrame) {
    ovotest::RecordingSink sink;
    Film film;
    auto colour = makeWriter(&sink);
    auto depth = makeWriter(&sink);
    ASSERT_TRUE(colour && depth);
    EXPECT_STREQ(colour->format_name(), "framebuffer");
    // The film sends buckets while it renders only to writers that say both.
    EXPECT_TRUE(colour->supports("random_access") && colour->supports("rectangles"));
    EXPECT_FALSE(colour->supports("tiles"));

    ASSERT_TRUE(colour->open("shown", filmSpec({"R", "G", "B"})));
    ASSERT_TRUE(depth->open("shown:z", filmSpec({"Z"})));
    ASSERT_EQ(sink.shapes.size(), 1u);  // the depth writer joins the colour frame
    const FrameShape& s = sink.shapes[0];
    EXPECT_EQ(s.label, "shown");
    EXPECT_EQ(std::vector<int>({s.fullWidth, s.fullHeight, s.x, s.y, s.width, s.height}),
              std::vector<int>({8, 6, 2, 1, 4, 3}));

    const OIIO::stride_t pixel = 6 * sizeof(float), row = pixel * Film::Width;
    // The lower right 2 x 2 pixels, as a bucket.
    ASSERT_TRUE(
        colour->write_rectangle(4, 6, 2, 4, 0, 1, OIIO::TypeFloat, film.at(4, 2, 0), pixel, row));
    ASSERT_TRUE(
        depth->write_rectangle(4, 6, 2, 4, 0, 1, OIIO::TypeFloat, film.at(4, 2, 4), pixel, row));
    ASSERT_EQ(sink.rectangles.size(), 2u);
    const auto& c = sink.rectangles[0];
    EXPECT_EQ(c.kind, "rgba");
    EXPECT_EQ(std::vector<int>({c.frame, c.x, c.y, c.width, c.height}),
              std::vector<int>({0, 4, 2, 2, 2}));
    // No alpha in an "rgb" output: shown opaque.
    EXPECT_EQ(c.values,
              std::vector<float>({4, 2, 0.5f, 1, 5, 2, 0.5f, 1, 4, 3, 0.5f, 1, 5, 3, 0.5f, 1}));
    const auto& z = sink.rectangles[1];
    EXPECT_EQ(z.kind, "z");
    EXPECT_EQ(z.values, std::vector<float>({14, 15, 14, 15}));

    // Outside the film's window, or empty: refused, nothing sent.
    EXPECT_FALSE(
        colour->write_rectangle(5, 7, 2, 3, 0, 1, OIIO::TypeFloat, film.at(5, 2, 0), pixel, row));
    EXPECT_FALSE(
        colour->write_rectangle(1, 3, 1, 2, 0, 1, OIIO::TypeFloat, film.at(2, 1, 0), pixel, row));
    EXPECT_FALSE(colour->write_rectangle(3, 3, 1, 2, 0, 1, OIIO::TypeFloat, film.at(2, 1, 0)));
    EXPECT_EQ(sink.rectangles.size(), 2u);

    // Closing ends the frame once; the depth writer does not end it again.
    EXPECT_TRUE(depth->close());
    EXPECT_TRUE(colour->close());
    EXPECT_TRUE(colour->close());
    EXPECT_EQ(sink.ended, std::vector<int>({0}));
}

TEST(FramebufferOutput, ConvertsOtherTypesAndFindsChannelsByName) {
    ovotest::RecordingSink sink;
    auto out = makeWriter(&sink);
    ASSERT_TRUE(out->open("bytes", filmSpec({"A", "B", "G", "R"})));
    // 8-bit data, packed: converted to 0..1 floats, channels put in RGBA order.
    const unsigned char bytes[4] = {255, 0, 51, 102};
    ASSERT_TRUE(out->write_rectangle(2, 3, 1, 2, 0, 1, OIIO::TypeUInt8, bytes));
    ASSERT_EQ(sink.rectangles.size(), 1u);
    const float expected[4] = {0.4f, 0.2f, 0.0f, 1.0f};
    ASSERT_EQ(sink.rectangles[0].values.size(), 4u);
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(sink.rectangles[0].values[c], expected[c], 1e-6f);
    // A scanline is a rectangle one row high across the film.
    std::vector<float> row(Film::Width * 4, 0.5f);
    ASSERT_TRUE(out->write_scanline(Film::Y0 + 2, 0, OIIO::TypeFloat, row.data()));
    ASSERT_EQ(sink.rectangles.size(), 2u);
    const auto& r = sink.rectangles[1];
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}),
              std::vector<int>({Film::X0, Film::Y0 + 2, Film::Width, 1}));
}

TEST(FramebufferOutput, RefusesWhatItCannotShow) {
    ovotest::RecordingSink sink;
    // Depth with no colour frame to join, and a writer made while no viewer runs.
    EXPECT_FALSE(makeWriter(&sink)->open("z", filmSpec({"Z"})));
    auto orphan = makeWriter(nullptr);
    ASSERT_TRUE(orphan);
    EXPECT_FALSE(orphan->open("x", filmSpec({"R", "G", "B"})));
    EXPECT_FALSE(orphan->write_rectangle(2, 3, 1, 2, 0, 1, OIIO::TypeFloat, nullptr));
    EXPECT_TRUE(sink.shapes.empty() && sink.rectangles.empty());
    // A writer that was never opened ends nothing when it goes.
    makeWriter(&sink).reset();
    EXPECT_TRUE(sink.ended.empty());
}
