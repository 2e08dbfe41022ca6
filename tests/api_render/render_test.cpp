// Frames rendered end to end through the scene interface, written to files and read back:
// coverage and depth against analytic projections, crop windows, the coordinate systems of the
// camera, frame after frame, and every way a frame can fail.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "tests/common/picture.h"

namespace ovo {
namespace testing {
namespace {

constexpr int kMessage = OIIO::ErrorHandler::EH_MESSAGE;
constexpr int kWidth = 64, kHeight = 48;

// The frame in `path`, read past OpenImageIO's image cache: a later frame may write the file
// again.
ovotest::Picture readImage(const std::string& path) {
    ovotest::Picture image;
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
        return image;
    }
    const OIIO::ImageSpec& s = in->spec();
    image.pixels.resize(std::size_t(s.width) * s.height * s.nchannels);
    EXPECT_TRUE(in->read_image(0, 0, 0, s.nchannels, OIIO::TypeDesc::FLOAT, image.pixels.data()));
    image.width = s.width, image.height = s.height, image.channels = s.nchannels;
    return image;
}

// The view of the default camera: 90 degrees across the screen window's height of -1..1,
// (-4/3, 4/3) across, 24 pixels per unit of screen both ways at 64 x 48.
float rasterX(float screenX) { return (screenX + 4.0f / 3.0f) * 24.0f; }
float rasterY(float screenY) { return (1.0f - screenY) * 24.0f; }

class RenderTest : public RaytracerTest {
  protected:
    void SetUp() override {
        const int resolution[2] = {kWidth, kHeight};
        renderer->Attribute("int[2] resolution", resolution);
    }

    std::string file(const std::string& name) const { return folder / name; }
    void output(const std::string& name, const char* type, const char* mode, float gamma = 1.0f) {
        if (gamma != 1.0f) renderer->Parameter("float gamma", gamma);
        renderer->Output(file(name).c_str(), type, mode, "camera");
    }
    // A sphere of radius 2 five units ahead of the default camera.
    void sphereFrame() {
        renderer->World();
        renderer->PushTransform();
        renderer->Translate(0.0f, 0.0f, 5.0f);
        renderer->Sphere(2.0f);
        renderer->PopTransform();
        renderer->Render(nullptr);
    }
    ovotest::ScratchDir folder;
};

int finitePixels(const ovotest::Picture& z) {
    int n = 0;
    for (float v : z.pixels) n += std::isfinite(v) && v < 1e29f;
    return n;
}

// (The colour formats are pinned on the film in tests/render/output_test.cpp.)
TEST_F(RenderTest, ASphereCoversItsAnalyticProjection) {
    output("depth.exr", "openexr", "z");
    sphereFrame();
    expectSilence();

    const ovotest::Picture z = readImage(file("depth.exr"));
    ASSERT_EQ(z.pixels.size(), size_t(kWidth * kHeight));
    // Seen from the centre, the sphere's outline is a circle of screen radius r / sqrt(d² - r²).
    const float radius = 24.0f * 2.0f / std::sqrt(21.0f);
    int inside = 0, outside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float d = std::hypot(x + 0.5f - 32.0f, y + 0.5f - 24.0f) - radius;
            const float v = z.at(x, y, 0);
            // The filter reaches one pixel beyond the outline; half a pixel more for sampling.
            if (d < -1.5f) {
                ++inside;
                EXPECT_TRUE(std::isfinite(v) && v < 1.0f) << x << "," << y << ": " << v;
                // No nearer than the sphere's front (z = 3) nor farther than its outline.
                EXPECT_GE(v, 1.0f - 0.1f / 3.0f - 1e-3f);
                EXPECT_LE(v, 1.0f - 0.1f / 5.0f + 1e-3f);
            } else if (d > 1.5f) {
                ++outside;
                EXPECT_FALSE(std::isfinite(v) && v < 1e29f) << x << "," << y << ": " << v;
            }
        }
    }
    EXPECT_GT(inside, 250);
    EXPECT_GT(outside, 2500);
}

// A cropped depth frame is its part of the full window, in a channel named "Z". That the part
// holds, bit for bit, the pixels the whole frame has there is pinned by the stitched tiles of
// tests/shading/pixel_seed_test.cpp.
TEST_F(RenderTest, ACropWindowKeepsTheFullWindow) {
    const float crop[4] = {0.25f, 0.75f, 0.5f, 1.0f};
    renderer->Attribute("float[4] crop", crop);
    output("crop.exr", "openexr", "z");
    sphereFrame();
    expectSilence();
    auto in = OIIO::ImageInput::open(file("crop.exr"));
    ASSERT_TRUE(in);
    const OIIO::ImageSpec& s = in->spec();
    EXPECT_EQ(std::vector<int>(
                  {s.x, s.y, s.width, s.height, s.full_x, s.full_y, s.full_width, s.full_height}),
              std::vector<int>({16, 24, 32, 24, 0, 0, kWidth, kHeight}));
    EXPECT_EQ(s.channelnames, std::vector<std::string>{"Z"});
}

TEST_F(RenderTest, WorldDefinesTheSpacesOfTheFirstCamera) {
    renderer->Attribute("float near", 1.0f);
    renderer->Translate(0.0f, 0.0f, -5.0f);  // before World: where the camera stands
    renderer->World();
    auto& spaces = renderer->getNamedSpaces();
    auto place = [&](const char* space, Point p) {
        const auto found = spaces.find(OIIO::ustring(space));
        EXPECT_NE(found, spaces.end()) << space;
        return found == spaces.end() ? Point(1e9f, 1e9f, 1e9f) : found->second * p;
    };
    // Screen depth 0 is the near plane, one unit ahead of the camera.
    const struct {
        const char* space;
        Point from, to;
    } cases[] = {
        {"screen", Point(1, 1, 0), Point(1, 1, -4)},
        {"raster", Point(0, 0, 0), Point(-4.0f / 3.0f, 1, -4)},
        {"raster", Point(32, 24, 0), Point(0, 0, -4)},
        {"NDC", Point(1, 1, 0), Point(4.0f / 3.0f, -1, -4)},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(ovotest::near(place(c.space, c.from), c.to, 1e-4f)) << c.space;
    finishFrame();
}

TEST_F(RenderTest, FailedFramesReportWhyAndLeaveTheRendererReady) {
    // No such camera: the world is closed all the same.
    output("a.exr", "openexr", "z");
    enterWorld();
    renderer->Render("nosuch");
    expectReport(kSevere, "Render(\"nosuch\"): no such camera. Rendering aborted ...");
    EXPECT_FALSE(renderer->isInWorld());

    // A camera without outputs; the output went to another camera.
    output("a.exr", "null", "z");
    renderer->Output(file("b.exr").c_str(), "openexr", "z", "other");
    enterWorld();
    renderer->Render(nullptr);
    expectReport(kSevere,
                 "Render(\"camera\"): no output(s) assigned to camera. Rendering aborted ...");
    EXPECT_FALSE(OIIO::Filesystem::exists(file("b.exr")));

    // A projection without a plugin: no file is left behind.
    renderer->Attribute("string projection", "fisheye");
    output("c.exr", "openexr", "z");
    enterWorld();
    renderer->Render(nullptr);
    expectReport(kSevere, "Unable to find plugin \"fisheye\". Rendering aborted");
    EXPECT_FALSE(OIIO::Filesystem::exists(file("c.exr")));

    // And the next frame renders.
    renderer->Attribute("string projection", "perspective");
    sphereFrame();
    expectSilence();
    EXPECT_GT(finitePixels(readImage(file("c.exr"))), 300);
}

TEST_F(RenderTest, WithoutOutputsTheFrameGoesToOvoPng) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path.c_str()), 0);
    renderer->World();
    expectReport(kWarning, "No Output() call -- saving rgba from \"camera\" to \"ovo.png\"");
    renderer->Sphere(1.0f);  // centred on the camera: it sees the inside everywhere
    renderer->Render(nullptr);
    expectSilence();
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(readImage(file("ovo.png")).pixels.size(), size_t(kWidth * kHeight * 4));
}

TEST_F(RenderTest, ARendererRendersFrameAfterFrame) {
    renderer->Attribute("int statistics:level", 1);
    output("frame.exr", "openexr", "z");
    sphereFrame();
    const auto reports = take();
    bool timed = false;
    for (const auto& r : reports) {
        if (r.code == kMessage && r.text.rfind("Rendering time ", 0) == 0) {
            timed = true;
            const double seconds = std::atof(r.text.c_str() + 15);
            EXPECT_GT(seconds, 0.0);
            EXPECT_LT(seconds, 60.0);
        }
    }
    EXPECT_TRUE(timed);
    renderer->Attribute("int statistics:level", 0);
    const ovotest::Picture first = readImage(file("frame.exr"));

    // The second frame has its sphere elsewhere, and nothing of the first.
    renderer->World();
    renderer->Translate(-1.0f, 0.0f, 5.0f);
    renderer->Sphere(0.5f);
    renderer->Render(nullptr);
    expectSilence();
    const ovotest::Picture second = readImage(file("frame.exr"));
    ASSERT_TRUE(first.width == kWidth && second.width == kWidth);
    EXPECT_TRUE(std::isfinite(first.at(40, 24, 0)));
    EXPECT_FALSE(std::isfinite(second.at(40, 24, 0)) && second.at(40, 24, 0) < 1e29f);
    // The small sphere's centre projects to screen x = -0.2.
    const int x = int(rasterX(-0.2f)), y = int(rasterY(0.0f));
    EXPECT_TRUE(std::isfinite(second.at(x, y, 0)));
    // Its outline has a screen radius of about r / sqrt(d² - r²), 2.4 pixels; the filter
    // reaches one pixel beyond it.
    const float radius = 24.0f * 0.5f / std::sqrt(26.0f - 0.25f);
    EXPECT_GT(finitePixels(second), int(3.14159f * (radius - 0.5f) * (radius - 0.5f)));
    EXPECT_LT(finitePixels(second), int(3.14159f * (radius + 1.5f) * (radius + 1.5f)) + 1);
}

}  // namespace
}  // namespace testing
}  // namespace ovo
