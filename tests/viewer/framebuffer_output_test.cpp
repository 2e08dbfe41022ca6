// The "framebuffer" image format, made by name as the film makes every writer, and given packed
// rectangles the way the film writes them.
#include <gtest/gtest.h>

#include <memory>

#include "tests/viewer/recording_sink.h"
#include "viewer/framebuffer_output.h"

using namespace ovo::viewer;
using ovo::ImageLayout;
using ovo::ImageWriter;

namespace {

// A film of 4 x 3 pixels at (2, 1) inside an 8 x 6 image.
constexpr int X0 = 2, Y0 = 1, Width = 4, Height = 3;

ImageLayout filmLayout(std::vector<std::string> channels) {
    ImageLayout layout;
    layout.x = X0, layout.y = Y0, layout.width = Width, layout.height = Height;
    layout.fullWidth = 8, layout.fullHeight = 6;
    layout.channels = channels;
    return layout;
}

std::unique_ptr<ImageWriter> open(ovotest::RecordingSink* sink, const std::string& name,
                                  std::vector<std::string> channels) {
    registerFramebufferFormat(sink);
    const ovo::ImageWriterFactory factory = ovo::declaredImageFormat("framebuffer");
    return std::unique_ptr<ImageWriter>(factory ? factory(name, filmLayout(channels)) : nullptr);
}

}  // namespace

TEST(FramebufferOutput, SendsFilmRectanglesAsRgbaAndDepthOfOneFrame) {
    ovotest::RecordingSink sink;
    auto colour = open(&sink, "shown", {"R", "G", "B"});
    auto depth = open(&sink, "shown:z", {"Z"});
    ASSERT_TRUE(colour && depth);
    // The film sends buckets while it renders.
    EXPECT_TRUE(colour->acceptsRegions());
    ASSERT_EQ(sink.shapes.size(), 1u);  // the depth writer joins the colour frame
    const FrameShape& s = sink.shapes[0];
    EXPECT_EQ(s.label, "shown");
    EXPECT_EQ(std::vector<int>({s.fullWidth, s.fullHeight, s.x, s.y, s.width, s.height}),
              std::vector<int>({8, 6, 2, 1, 4, 3}));

    // The lower right 2 x 2 pixels, as a bucket: r = x, g = y, b = 0.5; z = 10 + x.
    const float rgb[12] = {4, 2, 0.5f, 5, 2, 0.5f, 4, 3, 0.5f, 5, 3, 0.5f};
    const float z[4] = {14, 15, 14, 15};
    ASSERT_TRUE(colour->writeRectangle(4, 6, 2, 4, rgb));
    ASSERT_TRUE(depth->writeRectangle(4, 6, 2, 4, z));
    ASSERT_EQ(sink.rectangles.size(), 2u);
    const auto& c = sink.rectangles[0];
    EXPECT_EQ(c.kind, "rgba");
    EXPECT_EQ(std::vector<int>({c.frame, c.x, c.y, c.width, c.height}),
              std::vector<int>({0, 4, 2, 2, 2}));
    // No alpha in an "rgb" output: shown opaque.
    EXPECT_EQ(c.values,
              std::vector<float>({4, 2, 0.5f, 1, 5, 2, 0.5f, 1, 4, 3, 0.5f, 1, 5, 3, 0.5f, 1}));
    EXPECT_EQ(sink.rectangles[1].kind, "z");
    EXPECT_EQ(sink.rectangles[1].values, std::vector<float>(z, z + 4));

    // Outside the film's window, or empty: refused, nothing sent.
    EXPECT_FALSE(colour->writeRectangle(5, 7, 2, 3, rgb));
    EXPECT_FALSE(colour->writeRectangle(1, 3, 1, 2, rgb));
    EXPECT_FALSE(colour->writeRectangle(3, 3, 1, 2, rgb));
    EXPECT_EQ(sink.rectangles.size(), 2u);

    // Closing ends the frame once; the depth writer does not end it again.
    EXPECT_TRUE(depth->close());
    EXPECT_TRUE(colour->close());
    EXPECT_TRUE(colour->close());
    EXPECT_EQ(sink.ended, std::vector<int>({0}));
}

TEST(FramebufferOutput, FindsChannelsByNameAndTakesWholeImages) {
    ovotest::RecordingSink sink;
    auto out = open(&sink, "abgr", {"A", "B", "G", "R"});
    ASSERT_TRUE(out);
    const float abgr[4] = {1.0f, 0.0f, 0.2f, 0.4f};
    ASSERT_TRUE(out->writeRectangle(2, 3, 1, 2, abgr));
    ASSERT_EQ(sink.rectangles.size(), 1u);
    EXPECT_EQ(sink.rectangles[0].values, std::vector<float>({0.4f, 0.2f, 0.0f, 1.0f}));
    // The whole window at once is one rectangle across the film.
    std::vector<float> all(Width * Height * 4, 0.5f);
    ASSERT_TRUE(out->writeImage(all.data()));
    ASSERT_EQ(sink.rectangles.size(), 2u);
    const auto& r = sink.rectangles[1];
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}),
              std::vector<int>({X0, Y0, Width, Height}));
}

TEST(FramebufferOutput, RefusesWhatItCannotShow) {
    ovotest::RecordingSink sink;
    // Depth with no colour frame to join, and a writer made while no viewer runs.
    EXPECT_FALSE(open(&sink, "z", {"Z"}));
    EXPECT_FALSE(open(nullptr, "x", {"R", "G", "B"}));
    FramebufferOutput orphan(nullptr);
    EXPECT_FALSE(orphan.writeRectangle(2, 3, 1, 2, nullptr));
    EXPECT_TRUE(sink.shapes.empty() && sink.rectangles.empty());
    // A writer that was never opened ends nothing when it goes.
    { FramebufferOutput unopened(&sink); }
    EXPECT_TRUE(sink.ended.empty());
}
