// The tracing, gathering and texture shaders in small frames rendered through the scene
// interface: occlusion cached against uncached, a mirror and a glass ball, traced shadows of the
// three shadow lights with and without a geometry set, the sky light, textures and the bounce.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "common/test_util.h"
#include "core/math/tuple.h"

using namespace ovo;

namespace {

constexpr int Size = 48;

// A square frame seen from the origin along +z (fov 45), box-filtered, 2 x 2 samples.
class TracingImageTest : public ovo::testing::RaytracerTest {
  protected:
    TracingImageTest() : file(dir / "frame.exr") {
        const int resolution[2] = {Size, Size}, samples[2] = {2, 2};
        const float width[2] = {1.0f, 1.0f};
        renderer->Attribute("int[2] resolution", resolution);
        renderer->Attribute("int[2] spatialquality", samples);
        renderer->Attribute("string filter", "box");
        renderer->Attribute("float[2] filterwidth", width);
        renderer->Attribute("string projection", "perspective");
        renderer->Attribute("float fov", 45.0f);
        renderer->Output(file.c_str(), "openexr", "rgb", "camera");
        renderer->World();
    }

    void render() {
        renderer->Render(nullptr);
        OIIO::ImageBuf image(file);
        ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << image.geterror();
        pixels.resize(size_t(Size * Size * 3));
        ASSERT_TRUE(image.get_pixels(image.roi(), OIIO::TypeDesc::FLOAT, pixels.data()));
    }
    Color at(int x, int y) const {
        const float* p = &pixels[size_t((y * Size + x) * 3)];
        return Color(p[0], p[1], p[2]);
    }
    float meanDifference(const std::vector<float>& other) const {
        double sum = 0.0;
        for (size_t i = 0; i < pixels.size(); ++i) sum += std::fabs(pixels[i] - other[i]);
        return float(sum / double(pixels.size()));
    }

    // A quadrilateral facing the camera at depth z over x0..x1, y0..y1, with `shader`.
    void wall(float z, float x0, float x1, float y0, float y1, const char* shader,
              const Color& colour = Color(1.0f)) {
        renderer->PushAttributes();
        renderer->Attribute("color C", &colour.r);
        renderer->Shader("surface", shader, nullptr);
        const float P[12] = {x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z};
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
        renderer->PopAttributes();
    }
    // A floor y = -1 under the view, from z = 0 to 20, with the current surface shader.
    void floor() {
        const float P[12] = {-20, -1, 0, -20, -1, 20, 20, -1, 20, 20, -1, 0};
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
    }
    void floor(const char* shader) {
        renderer->PushAttributes();
        renderer->Shader("surface", shader, nullptr);
        floor();
        renderer->PopAttributes();
    }
    void sphere(float x, float y, float z, float r, const char* shader) {
        renderer->PushAttributes();
        renderer->Shader("surface", shader, nullptr);
        renderer->Translate(x, y, z);
        renderer->Sphere(r, -r, r, 360.0f);
        renderer->PopAttributes();
    }
    void ambient() {
        renderer->Parameter("float intensity", 1.0f);
        renderer->Light("ambient", "ambientlight", nullptr);
    }
    // The records a frame's statistics report for the occlusion cache.
    long occlusionRecords() {
        for (const auto& r : take()) {
            const size_t at = r.text.find("Occlusion cache: ");
            if (at == std::string::npos) continue;
            const size_t records = r.text.find(" records", at);
            const size_t comma = r.text.rfind(", ", records);
            return std::atol(r.text.c_str() + comma + 2);
        }
        return -1;
    }
    // The pixel where a point of the plane z = depth at x, y lands.
    static int column(float x, float depth) {
        return int((x / depth / std::tan(22.5f * 3.14159265f / 180.0f) + 1.0f) * 0.5f * Size);
    }

    ovotest::ScratchDir dir;
    std::string file;
    std::vector<float> pixels;
};

// Occlusion of a ball resting on a floor: white far from the ball, dark where it meets the
// floor; gathering once per region and interpolating gives the picture gathering everywhere
// gives, from a fraction of the gatherings.
TEST_F(TracingImageTest, OcclusionCachedAgreesWithUncached) {
    std::vector<float> frames[2];
    long records[2];
    for (int cached = 0; cached < 2; ++cached) {
        renderer->Attribute("int statistics:level", 1);
        renderer->Parameter("float maxerror", cached ? 0.25f : 0.0f);
        renderer->Shader("surface", "occlusion", nullptr);
        floor();
        renderer->Translate(0.0f, 0.0f, 6.0f);
        renderer->Sphere(1.0f, -1.0f, 1.0f, 360.0f);
        take();
        render();
        records[cached] = occlusionRecords();
        frames[cached] = pixels;
        if (!cached) renderer->World();
    }
    EXPECT_LT(meanDifference(frames[0]), 0.02f);
    EXPECT_GT(records[0], 0);
    EXPECT_LT(records[1] * 3, records[0] * 2);
    // Open floor far from the ball is nearly white; in front of its contact it is dark.
    EXPECT_GT(at(4, Size - 2).g, 0.9f);
    EXPECT_LT(at(Size / 2, 34).g, 0.5f);
}

// A mirror facing the camera shows the red wall behind the camera.
TEST_F(TracingImageTest, MirrorReflectsWhatIsBehindTheCamera) {
    wall(-5.0f, -20, 20, -20, 20, "constant", Color(1, 0, 0));
    wall(5.0f, -20, 20, -20, 20, "mirror");
    render();
    const Color c = at(Size / 2, Size / 2);
    EXPECT_NEAR(c.r, 1.0f, 1e-3f);
    EXPECT_NEAR(c.g, 0.0f, 1e-3f);
}

// A glass ball in front of a wall that is red on the left and blue on the right turns the wall
// upside down and left to right, as a lens does; its rim reflects more than its centre.
TEST_F(TracingImageTest, GlassBallInvertsTheWallBehindIt) {
    wall(30.0f, -40, 0, -40, 40, "constant", Color(1, 0, 0));
    wall(30.0f, 0, 40, -40, 40, "constant", Color(0, 0, 1));
    sphere(0.0f, 0.0f, 5.0f, 1.0f, "glass");
    render();
    const int off = 4;  // pixels left and right of the centre, well inside the ball
    const Color left = at(Size / 2 - off, Size / 2), right = at(Size / 2 + off - 1, Size / 2);
    EXPECT_GT(left.b, 0.5f);
    EXPECT_LT(left.r, 0.1f);
    EXPECT_GT(right.r, 0.5f);
    EXPECT_LT(right.b, 0.1f);
}

// The sphere at z = 5 throws its shadow on the wall at z = 10 from a light at x = 3 (or from
// that direction): around x = -3 on the wall. Each light traces it with "raytrace", casts none
// without a name, and only members of a named geometry set cast it.
TEST_F(TracingImageTest, ShadowLightsTraceTheirShadows) {
    struct Case {
        const char* light;
        const char* shadowname;
        bool shadowed;
    } cases[] = {
        {"shadowpoint", "raytrace", true},   {"shadowpoint", "", false},
        {"shadowspot", "raytrace", true},    {"shadowdistant", "raytrace", true},
        {"shadowdistant", "ball", true},     {"shadowdistant", "others", false},
        {"shadowpoint", "light.shad", true},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.light << " \"" << c.shadowname << "\"");
        if (!first) renderer->World();
        first = false;
        const float from[3] = {3, 0, 0}, to[3] = {-3, 0, 10};
        renderer->Parameter("point from", from);
        renderer->Parameter("point to", to);
        renderer->Parameter("float intensity",
                            std::string(c.light) == "shadowdistant" ? 1.0f : 60.0f);
        renderer->Parameter("float coneangle", 1.2f);
        renderer->Parameter("string shadowname", c.shadowname);
        renderer->Light("key", c.light, nullptr);
        wall(10.0f, -20, 20, -20, 20, "matte");
        renderer->PushAttributes();
        renderer->Attribute("string geometryset", "ball");
        sphere(0.0f, 0.0f, 5.0f, 1.0f, "matte");
        renderer->Attribute("string geometryset", "others");
        sphere(40.0f, 0.0f, 5.0f, 1.0f, "matte");
        renderer->PopAttributes();
        render();
        const Color shade = at(column(-3.0f, 10.0f), Size / 2);
        const Color lit = at(column(-3.0f, 10.0f), 4);
        EXPECT_GT(lit.r, 0.05f);
        if (c.shadowed)
            EXPECT_LT(shade.r, 0.01f * lit.r);
        else
            EXPECT_GT(shade.r, 0.5f * lit.r);
    }
}

// The sky light over an open floor gives the floor its full intensity; next to a ball resting
// on it, the ball hides part of the sky.
TEST_F(TracingImageTest, SkyLightIsBlockedNearTheBall) {
    renderer->Parameter("float intensity", 0.8f);
    renderer->Light("sky", "envlight", nullptr);
    floor("matte");
    sphere(0.0f, 0.0f, 6.0f, 1.0f, "matte");
    render();
    // Far from the ball: all but a sliver of the sky.
    EXPECT_LE(at(4, Size - 2).g, 0.801f);
    EXPECT_GT(at(4, Size - 2).g, 0.76f);
    EXPECT_LT(at(Size / 2, 34).g, 0.6f);  // the floor just in front of the contact
}

// Textures as surface colours: a checker of four colours across a wall filling the view,
// through texmap and through paintedplastic (ambient light only, so the colour is the
// texture's), and a sky map reflected by shinymetal.
TEST_F(TracingImageTest, TexturesOnTheSurface) {
    OIIO::ImageBuf checker(OIIO::ImageSpec(16, 16, 3, OIIO::TypeDesc::FLOAT));
    const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) checker.setpixel(x, y, colours[(y / 8) * 2 + x / 8]);
    const std::string texture = dir / "checker.tx";
    ASSERT_TRUE(OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, checker,
                                                 texture, OIIO::ImageSpec()));
    OIIO::ImageBuf sky(OIIO::ImageSpec(8, 4, 3, OIIO::TypeDesc::FLOAT));
    const float skyColour[3] = {0.2f, 0.6f, 0.4f};
    OIIO::ImageBufAlgo::fill(sky, skyColour);
    const std::string skyMap = dir / "sky.tx";
    ASSERT_TRUE(OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxEnvLatl, sky, skyMap,
                                                 OIIO::ImageSpec()));
    for (const char* shader : {"texmap", "paintedplastic", "shinymetal"}) {
        SCOPED_TRACE(shader);
        ambient();
        renderer->PushAttributes();
        const std::string name = std::string(shader) == "shinymetal" ? skyMap : texture;
        renderer->Parameter("string texturename", name.c_str());
        renderer->Parameter("float Kd", 0.0f);
        renderer->Parameter("float Ks", 0.0f);
        renderer->Parameter("float Ka", std::string(shader) == "shinymetal" ? 0.0f : 1.0f);
        renderer->Shader("surface", shader, nullptr);
        // s runs left to right and t top to bottom across the view.
        const float P[12] = {-5, 5, 10, 5, 5, 10, 5, -5, 10, -5, -5, 10};
        const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        renderer->Parameter("point P", P);
        renderer->Parameter("linear float[2] st", st);
        renderer->Polygon(4);
        renderer->PopAttributes();
        render();
        if (std::string(shader) == "shinymetal") {
            const Color c = at(Size / 2, Size / 2);
            EXPECT_NEAR(c.g, 0.6f, 0.01f);
            EXPECT_NEAR(c.r, 0.2f, 0.01f);
        } else {
            const int q[4][2] = {{Size / 4, Size / 4},
                                 {3 * Size / 4, Size / 4},
                                 {Size / 4, 3 * Size / 4},
                                 {3 * Size / 4, 3 * Size / 4}};
            for (int k = 0; k < 4; ++k) {
                const Color c = at(q[k][0], q[k][1]);
                EXPECT_NEAR(c.r, colours[k][0], 0.02f) << k;
                EXPECT_NEAR(c.g, colours[k][1], 0.02f) << k;
                EXPECT_NEAR(c.b, colours[k][2], 0.02f) << k;
            }
        }
        renderer->World();
    }
}

// With no light at all, a floor beside a glowing red wall receives only the bounce: red.
TEST_F(TracingImageTest, IndirectLightBouncesOffAGlowingWall) {
    floor("indirect");
    renderer->PushAttributes();
    const Color red(1, 0, 0);
    renderer->Attribute("color C", &red.r);
    renderer->Shader("surface", "constant", nullptr);
    const float P[12] = {2, -1, 0, 2, -1, 20, 2, 20, 20, 2, 20, 0};
    renderer->Parameter("point P", P);
    renderer->Polygon(4);
    renderer->PopAttributes();
    render();
    const Color near = at(column(1.8f, 6.0f), Size - 12), far = at(2, Size - 2);
    EXPECT_GT(near.r, 0.1f);
    EXPECT_LT(near.g, 1e-4f);
    EXPECT_GT(near.r, far.r);
}

}  // namespace
