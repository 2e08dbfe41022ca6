// Shaded frames rendered through the scene interface against analytic answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "api/api_test_util.h"
#include "core/math/constants.h"
#include "shading/shading_test_util.h"
#include "tests/common/picture.h"
#include "tests/common/test_util.h"

using namespace ovo;

namespace {

constexpr int Size = 48;
const float TanHalfFov = std::tan(radians(22.5f));

// A square frame seen from the origin along +z (fov 45), box-filtered, 2 x 2 samples.
class Frames : public ovo::testing::RaytracerTest {
  protected:
    Frames() : file(dir / "frame.exr") {
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
        ASSERT_TRUE(picture.read(file));
    }
    Color at(int x, int y) const { return Color(&picture.pixels[(y * Size + x) * 3]); }

    // The direction of the ray through the centre of pixel (x, y).
    static Vector direction(float x, float y) {
        return Vector((-1.0f + 2.0f * (x + 0.5f) / Size) * TanHalfFov,
                      (1.0f - 2.0f * (y + 0.5f) / Size) * TanHalfFov, 1.0f);
    }
    // Whether that ray meets the sphere of radius 1 at (0, 0, 5).
    static bool sphereHit(int x, int y) {
        const Vector d = Vector(direction(float(x), float(y)).hat());
        return 25.0f * d.z * d.z >= 24.0f;
    }
    // `shape` with `shader`, `colour` and `opacity`, in an attribute block of its own.
    template <class Shape>
    void shaded(const char* shader, const Color& colour, float opacity, Shape shape) {
        renderer->PushAttributes();
        const Color o(opacity);
        renderer->Attribute("color C", &colour.r);
        renderer->Attribute("color opacity", &o.r);
        renderer->Shader("surface", shader, nullptr);
        shape();
        renderer->PopAttributes();
    }
    // A quadrilateral facing the camera at depth z over x0..x1, y0..y1.
    void wall(float z, float x0, float x1, float y0, float y1, const char* shader,
              const Color& colour = Color(1.0f)) {
        shaded(shader, colour, 1.0f, [&] {
            const float P[12] = {x0, y0, z, x1, y0, z, x1, y1, z, x0, y1, z};
            renderer->Parameter("point P", P);
            renderer->Polygon(4);
        });
    }
    void sphere(float x, float y, float z, float r, const char* shader, float opacity = 1.0f) {
        shaded(shader, Color(1.0f), opacity, [&] { sphereAt(x, y, z, r); });
    }
    // `shader` from `from` towards `to`, after the parameters already given.
    void light(const char* shader, const Point& from, const Point& to, float intensity,
               const std::string& name = "key") {
        renderer->Parameter("point from", &from.x);
        renderer->Parameter("point to", &to.x);
        renderer->Parameter("float intensity", intensity);
        renderer->Light(name.c_str(), shader, nullptr);
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

    ovotest::ScratchDir dir;
    std::string file;
    ovotest::Picture picture;
};

TEST_F(Frames, SpotlightConeEdge) {
    // A spot at the eye lights a disc of the wall at z = 10 whose image radius is tan(cone).
    const float cone = radians(15.0f);
    renderer->Parameter("float coneangle", cone);
    renderer->Parameter("float conedeltaangle", 0.0f);
    renderer->Parameter("float beamdistribution", 0.0f);
    light("spotlight", Point(0.0f), Point(0, 0, 1), 90.0f);
    wall(10.0f, -20, 20, -20, 20, "matte");
    render();
    const float radius = std::tan(cone) / TanHalfFov * Size * 0.5f;  // in pixels from the centre
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const float dist = std::hypot(x + 0.5f - Size * 0.5f, y + 0.5f - Size * 0.5f);
            if (dist < radius - 1.0f) {
                // intensity / distance² × cos³ of the angle off the axis: one cosine at the
                // wall (Lambert's), two from the distance.
                const float c = 1.0f / direction(float(x), float(y)).length();
                EXPECT_NEAR(at(x, y).r, 0.9f * c * c * c, 0.02f) << x << " " << y;
            } else if (dist > radius + 1.0f) {
                EXPECT_LT(at(x, y).r, 1.0f / 255.0f) << x << " " << y;
            }
        }
}

// A distant light tilted in x throws the sphere's shadow onto the wall at z = 10: an
// ellipse centred at x = 5·0.4 = 2 with half-width 1/cos(tilt) in x and 1 in y. A sphere of
// opacity 0.5 passes a quarter of the light: a shadow ray crosses its surface twice.
TEST_F(Frames, ShadowEdges) {
    const Vector travel(0.4f, 0.0f, 1.0f);
    const float cosTilt = Vector(travel.hat()).z, lit = 0.9f * cosTilt;
    for (float opacity : {1.0f, 0.5f}) {
        SCOPED_TRACE(opacity);
        renderer->Attribute("string light:shadows", "on");
        light("distantlight", Point(0.0f), Point(0.0f) + travel, 0.9f);
        sphere(0.0f, 0.0f, 5.0f, 1.0f, "matte", opacity);
        wall(10.0f, -20, 20, -20, 20, "matte");
        render();
        const float shadow = (1.0f - opacity) * (1.0f - opacity) * lit;
        const int row = Size / 2;
        int shadowed = 0, open = 0;
        for (int x = Size / 2; x < Size; ++x) {
            if (sphereHit(x, row) || sphereHit(x - 1, row) || sphereHit(x + 1, row)) continue;
            // Where the pixel's edges meet the wall.
            const float x0 = (-1.0f + 2.0f * x / Size) * TanHalfFov * 10.0f;
            const float x1 = (-1.0f + 2.0f * (x + 1) / Size) * TanHalfFov * 10.0f;
            const float yw = (1.0f - 2.0f * (row + 0.5f) / Size) * TanHalfFov * 10.0f;
            const float edge = 2.0f + std::sqrt(std::max(0.0f, 1.0f - yw * yw)) / cosTilt;
            if (x1 < edge) {
                EXPECT_NEAR(at(x, row).r, shadow, opacity == 1.0f ? 1.0f / 255.0f : 0.02f) << x;
                ++shadowed;
            } else if (x0 > edge) {
                EXPECT_NEAR(at(x, row).r, lit, 0.02f) << x;
                ++open;
            }
        }
        EXPECT_GT(shadowed, 2);
        EXPECT_GT(open, 2);
        renderer->World();
    }
}

// A ball resting on a floor: white far from the ball, dark where it meets the floor, under
// occlusion and under the sky light (all its intensity on open floor, but for a sliver).
// Gathering once per region and interpolating gives the picture gathering everywhere gives,
// from a fraction of the gatherings.
TEST_F(Frames, BallOnAFloorUnderOcclusionAndTheSky) {
    std::vector<float> frames[2];
    long records[2];
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        if (pass < 2) {
            renderer->Attribute("int statistics:level", 1);
            renderer->Parameter("float maxerror", pass ? 0.25f : 0.0f);
            renderer->Shader("surface", "occlusion", nullptr);
        } else {
            renderer->Parameter("float intensity", 0.8f);
            renderer->Light("sky", "envlight", nullptr);
            renderer->Shader("surface", "matte", nullptr);
        }
        const float P[12] = {-20, -1, 0, -20, -1, 20, 20, -1, 20, 20, -1, 0};  // the floor
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
        sphereAt(0.0f, 0.0f, 6.0f);
        take();
        render();
        if (pass < 2) {
            records[pass] = occlusionRecords();
            frames[pass] = picture.pixels;
            EXPECT_GT(at(4, Size - 2).g, 0.9f);
            EXPECT_LT(at(Size / 2, 34).g, 0.5f);  // the floor just in front of the contact
            renderer->World();
        }
    }
    double difference = 0.0;
    for (size_t i = 0; i < frames[0].size(); ++i)
        difference += std::fabs(frames[1][i] - frames[0][i]);
    EXPECT_LT(difference / double(frames[0].size()), 0.02);
    EXPECT_GT(records[0], 0);
    EXPECT_LT(records[1] * 3, records[0] * 2);
    EXPECT_LE(at(4, Size - 2).g, 0.801f);
    EXPECT_GT(at(4, Size - 2).g, 0.76f);
    EXPECT_LT(at(Size / 2, 34).g, 0.6f);
}

// A mirror facing the camera shows the red wall behind the camera. A glass ball in front of a
// wall that is red on the left and blue on the right turns the wall around, as a lens does.
TEST_F(Frames, MirrorAndGlass) {
    wall(-5.0f, -20, 20, -20, 20, "constant", Color(1, 0, 0));
    wall(5.0f, -20, 20, -20, 20, "mirror");
    render();
    EXPECT_TRUE(ovotest::near(at(Size / 2, Size / 2), Color(1, 0, 0), 1e-3f));

    renderer->World();
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
// that direction): around x = -3 on the wall. Each light traces it with the name it is given
// ("raytrace" or a geometry set); what the other names do is shadow()'s own, pinned in
// texture_test.cpp.
TEST_F(Frames, ShadowLightsTraceTheirShadows) {
    const std::tuple<const char*, const char*, float> cases[] = {{"shadowpoint", "raytrace", 60.0f},
                                                                 {"shadowspot", "raytrace", 60.0f},
                                                                 {"shadowdistant", "ball", 1.0f}};
    for (const auto& [shader, shadowname, intensity] : cases) {
        SCOPED_TRACE(::testing::Message() << shader << " \"" << shadowname << "\"");
        renderer->Parameter("float coneangle", 1.2f);
        renderer->Parameter("string shadowname", shadowname);
        light(shader, Point(3, 0, 0), Point(-3, 0, 10), intensity);
        wall(10.0f, -20, 20, -20, 20, "matte");
        renderer->PushAttributes();
        renderer->Attribute("string geometryset", "ball");
        sphere(0.0f, 0.0f, 5.0f, 1.0f, "matte");
        renderer->PopAttributes();
        render();
        const int x = int((-0.3f / TanHalfFov + 1.0f) * 0.5f * Size);  // where x = -3 on the wall
        const Color shade = at(x, Size / 2), lit = at(x, 4);
        EXPECT_GT(lit.r, 0.05f);
        EXPECT_LT(shade.r, 0.01f * lit.r);
        renderer->World();
    }
}

// ambient() sums every ambient light, past black ones and past lights of other kinds between
// them; each runs once per thread and every later point takes what it gave.
TEST_F(Frames, AmbientLightsAddUp) {
    // The ambient lights, with a distant light after each, and their sum.
    const std::pair<std::vector<float>, float> cases[] = {
        {{0.25f}, 0.25f}, {{0.25f, 0.5f}, 0.75f}, {{0.0f, 0.5f, 0.125f}, 0.625f}};
    for (const auto& [intensities, expected] : cases) {
        SCOPED_TRACE(expected);
        for (size_t i = 0; i < intensities.size(); ++i) {
            renderer->Parameter("float intensity", intensities[i]);
            renderer->Light(("ambient" + std::to_string(i)).c_str(), "ambientlight", nullptr);
            // Behind the wall: it adds nothing to its face.
            light("distantlight", Point(0, 0, 20), Point(0.0f), 1.0f, "sun" + std::to_string(i));
        }
        wall(10.0f, -20, 20, -20, 20, "matte");
        render();
        for (int y : {1, Size / 2, Size - 2}) EXPECT_NEAR(at(Size / 2, y).r, expected, 1e-3f);
        renderer->World();
    }
}

// An area light made of two lamps, one each side of the view in front of a matte wall: each
// lights its half of the wall as brightly as the other (every piece of the light is sampled).
TEST_F(Frames, AnAreaLightSamplesEachOfItsPieces) {
    renderer->Attribute("int light:nsamples", 16);
    renderer->Parameter("string geometry", "lamp");
    renderer->Parameter("float intensity", 4.0f);
    renderer->Light("area", "arealight", nullptr);
    wall(10.0f, -20, 20, -20, 20, "matte");
    renderer->Attribute("string geometryset", "+lamp");
    for (float x : {-3.0f, 3.0f}) sphere(x, 0.0f, 9.0f, 0.5f, "constant");
    render();
    // The wall below the lamps, each half's mean.
    const double left = picture.mean(0, Size / 2, Size * 5 / 8, Size, 0);
    const double right = picture.mean(Size / 2, Size, Size * 5 / 8, Size, 0);
    EXPECT_GT(left, 0.02);
    EXPECT_NEAR(left / right, 1.0, 0.15);
}

// Textures as surface colours: a checker of four colours across a wall filling the view,
// through texmap and through paintedplastic (ambient light only, so the colour is the
// texture's), and a sky map reflected by shinymetal.
TEST_F(Frames, TexturesOnTheSurface) {
    // The checker's quadrants, left to right and top to bottom.
    const Color colours[4] = {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1), Color(1.0f)};
    const std::string texture = ovotest::writeChecker(dir);
    const Color sky(0.2f, 0.6f, 0.4f);
    const std::string skyMap = ovotest::writeSky(dir, sky, sky);
    for (const std::string shader : {"texmap", "paintedplastic", "shinymetal"}) {
        SCOPED_TRACE(shader);
        renderer->Parameter("float intensity", 1.0f);
        renderer->Light("ambient", "ambientlight", nullptr);
        const bool metal = shader == "shinymetal";
        renderer->Parameter("string texturename", (metal ? skyMap : texture).c_str());
        renderer->Parameter("float Kd", 0.0f);
        renderer->Parameter("float Ks", 0.0f);
        renderer->Parameter("float Ka", metal ? 0.0f : 1.0f);
        renderer->Shader("surface", shader.c_str(), nullptr);
        // s runs left to right and t top to bottom across the view.
        const float P[12] = {-5, 5, 10, 5, 5, 10, 5, -5, 10, -5, -5, 10};
        const float st[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        renderer->Parameter("point P", P);
        renderer->Parameter("linear float[2] st", st);
        renderer->Polygon(4);
        render();
        if (metal) {
            EXPECT_TRUE(ovotest::near(at(Size / 2, Size / 2), sky, 0.01f));
        }
        for (int k = 0; k < 4 && !metal; ++k)
            EXPECT_TRUE(ovotest::near(
                at((1 + 2 * (k % 2)) * Size / 4, (1 + 2 * (k / 2)) * Size / 4), colours[k], 0.02f))
                << k;
        renderer->World();
    }
}

}  // namespace
