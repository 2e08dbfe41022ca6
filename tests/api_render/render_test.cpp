// Frames rendered end to end through the scene interface, written to files and read back:
// coverage and depth against analytic projections, crop windows, the coordinate systems of the
// camera, frame after frame, and every way a frame can fail.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "api/api_test_util.h"
#include "tests/render/render_test_util.h"

namespace ovo {
namespace testing {
namespace {

constexpr int kMessage = OIIO::ErrorHandler::EH_MESSAGE;
constexpr int kWidth = 64, kHeight = 48;

class RenderTest : public RaytracerTest {
  protected:
    void SetUp() override {
        const int resolution[2] = {kWidth, kHeight};
        renderer->Attribute("int[2] resolution", resolution);
    }

    std::string file(const std::string& name) const { return folder / name; }
    void output(const std::string& name, const char* type = "openexr") {
        renderer->Output(file(name).c_str(), type, "z", "camera");
    }
    // A sphere of radius 2 five units ahead of the default camera.
    void sphereFrame() {
        renderer->World();
        sphereAt(0.0f, 0.0f, 5.0f, 2.0f);
        renderer->Render(nullptr);
    }
    ovotest::ScratchDir folder;
};

// Depths where a ray met something.
bool finite(float z) { return std::isfinite(z) && z < 1e29f; }
int finitePixels(const ovotest::Picture& z) {
    return int(std::count_if(z.pixels.begin(), z.pixels.end(), finite));
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
    output("a.exr");
    enterWorld();
    renderer->Render("nosuch");
    expectReport(kSevere, "Render(\"nosuch\"): no such camera. Rendering aborted ...");
    EXPECT_FALSE(renderer->isInWorld());

    // A camera without outputs; the output went to another camera.
    output("a.exr", "null");
    renderer->Output(file("b.exr").c_str(), "openexr", "z", "other");
    enterWorld();
    renderer->Render(nullptr);
    expectReport(kSevere,
                 "Render(\"camera\"): no output(s) assigned to camera. Rendering aborted ...");
    EXPECT_FALSE(std::filesystem::exists(file("b.exr")));

    // A projection without a plugin: no file is left behind.
    renderer->Attribute("string projection", "fisheye");
    output("c.exr");
    enterWorld();
    renderer->Render(nullptr);
    expectReport(kSevere, "Unable to find plugin \"fisheye\". Rendering aborted");
    EXPECT_FALSE(std::filesystem::exists(file("c.exr")));

    // And the next frame renders.
    renderer->Attribute("string projection", "perspective");
    sphereFrame();
    expectSilence();
    EXPECT_GT(finitePixels(ovotest::readImage(file("c.exr"))), 300);
}

TEST_F(RenderTest, WithoutOutputsTheFrameGoesToOvoPng) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    renderer->World();
    expectReport(kWarning, "No Output() call -- saving rgba from \"camera\" to \"ovo.png\"");
    renderer->Sphere(1.0f);  // centred on the camera: it sees the inside everywhere
    renderer->Render(nullptr);
    expectSilence();
    std::filesystem::current_path(previous);
    EXPECT_EQ(ovotest::readImage(file("ovo.png")).pixels.size(), size_t(kWidth * kHeight * 4));
}

// The first frame's sphere covers its analytic projection; the second frame has its sphere
// elsewhere, and nothing of the first; the third is cropped. (The colour formats are pinned on the
// film in tests/render/output_test.cpp.)
TEST_F(RenderTest, ARendererRendersFrameAfterFrame) {
    renderer->Attribute("int statistics:level", 1);
    output("frame.exr");
    sphereFrame();
    int timed = 0;
    for (const auto& r : take()) {
        ASSERT_EQ(r.code, kMessage) << r.text;
        if (r.text.rfind("Rendering time ", 0) == 0) {
            const double seconds = std::atof(r.text.c_str() + 15);
            timed += seconds > 0.0 && seconds < 60.0;
        }
    }
    EXPECT_EQ(timed, 1);
    renderer->Attribute("int statistics:level", 0);
    const ovotest::Picture first = ovotest::readImage(file("frame.exr"));
    ASSERT_EQ(first.pixels.size(), size_t(kWidth * kHeight));
    // Seen from the centre, the sphere's outline is a circle of screen radius r / sqrt(d² - r²).
    const float radius = 24.0f * 2.0f / std::sqrt(21.0f);
    int inside = 0, outside = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float d = std::hypot(x + 0.5f - 32.0f, y + 0.5f - 24.0f) - radius;
            const float v = first.at(x, y, 0);
            // The filter reaches one pixel beyond the outline; half a pixel more for sampling.
            if (d < -1.5f) {
                ++inside;
                // No nearer than the sphere's front (z = 3) nor farther than its outline.
                EXPECT_TRUE(v >= 1.0f - 0.1f / 3.0f - 1e-3f && v <= 1.0f - 0.1f / 5.0f + 1e-3f)
                    << x << "," << y << ": " << v;
            } else if (d > 1.5f) {
                ++outside;
                EXPECT_FALSE(finite(v)) << x << "," << y << ": " << v;
            }
        }
    }
    EXPECT_GT(inside, 250);
    EXPECT_GT(outside, 2500);

    renderer->World();
    renderer->Translate(-1.0f, 0.0f, 5.0f);
    renderer->Sphere(0.5f);
    renderer->Render(nullptr);
    expectSilence();
    const ovotest::Picture second = ovotest::readImage(file("frame.exr"));
    ASSERT_TRUE(first.width == kWidth && second.width == kWidth);
    EXPECT_FALSE(finite(second.at(40, 24, 0)));  // inside the first frame's outline
    // The small sphere's centre projects to screen x = -0.2, raster (27.2, 24), its outline
    // to a circle of 2.4 pixels (r / sqrt(d² - r²)), which the filter widens by one.
    EXPECT_TRUE(finite(second.at(27, 24, 0)));
    EXPECT_GT(finitePixels(second), 11);
    EXPECT_LT(finitePixels(second), 48);

    // A cropped frame is its part of the full window, in a channel named "Z". That the part
    // holds, bit for bit, the pixels the whole frame has there is pinned by the stitched tiles
    // of tests/shading/pixel_seed_test.cpp.
    const float crop[4] = {0.25f, 0.75f, 0.5f, 1.0f};
    renderer->Attribute("float[4] crop", crop);
    output("crop.exr");
    sphereFrame();
    expectSilence();
    OIIO::ImageSpec s;
    ovotest::readImage(file("crop.exr"), &s);
    EXPECT_EQ(std::vector<int>(
                  {s.x, s.y, s.width, s.height, s.full_x, s.full_y, s.full_width, s.full_height}),
              std::vector<int>({16, 24, 32, 24, 0, 0, kWidth, kHeight}));
    EXPECT_EQ(s.channelnames, std::vector<std::string>{"Z"});
}

}  // namespace
}  // namespace testing
}  // namespace ovo
