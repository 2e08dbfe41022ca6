// Shaded frames rendered through the scene interface, checked against analytic answers: a
// matte sphere under a distant light (Lambert's cosine), the position of a plastic highlight,
// the edge of a spotlight's cone and the edge of a shadow.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "core/math/tuple.h"

using namespace ovo;

namespace {

constexpr int kSize = 64;
constexpr float kFov = 45.0f;

// A square frame seen from the origin along +z, box-filtered over each pixel.
class ImageTest : public ovo::testing::RaytracerTest {
  protected:
    ImageTest() {
        char dir[] = "/tmp/ovo-shading-XXXXXX";
        folder = mkdtemp(dir) ? dir : "/tmp";
        file = folder + "/frame.tif";
        const int resolution[2] = {kSize, kSize}, samples[2] = {4, 4};
        const float width[2] = {1.0f, 1.0f};
        renderer->Attribute("int[2] resolution", resolution);
        renderer->Attribute("int[2] spatialquality", samples);
        renderer->Attribute("string filter", "box");
        renderer->Attribute("float[2] filterwidth", width);
        renderer->Attribute("string projection", "perspective");
        renderer->Attribute("float fov", kFov);
        renderer->Output(file.c_str(), "tiff", "rgb", "camera");
        renderer->World();
    }
    ~ImageTest() override {
        std::remove(file.c_str());
        rmdir(folder.c_str());
    }

    // Renders and reads the red channel, 0..1.
    void render() {
        renderer->Render(nullptr);
        auto in = OIIO::ImageInput::open(file);
        ASSERT_TRUE(in) << "no image at " << file;
        ASSERT_EQ(in->spec().width, kSize);
        std::vector<float> rgb(size_t(kSize * kSize * 3));
        ASSERT_TRUE(in->read_image(0, 0, 0, 3, OIIO::TypeDesc::FLOAT, rgb.data()));
        pixels.resize(size_t(kSize * kSize));
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = rgb[3 * i];
    }
    float at(int x, int y) const { return pixels[size_t(y * kSize + x)]; }

    // The direction of the ray through the centre of pixel (x, y).
    static Vector direction(float x, float y) {
        const float t = std::tan(kFov * 0.5f * 3.14159265f / 180.0f);
        return Vector((-1.0f + 2.0f * (x + 0.5f) / kSize) * t,
                      (1.0f - 2.0f * (y + 0.5f) / kSize) * t, 1.0f);
    }
    // The nearest hit of that ray on the sphere of radius 1 at (0, 0, 5); false on a miss.
    static bool sphereHit(int x, int y, Point& P) {
        const Vector d = Vector(direction(float(x), float(y)).hat());
        const float b = -2.0f * 5.0f * d.z, c = 25.0f - 1.0f;
        const float disc = b * b - 4.0f * c;
        if (disc < 0.0f) return false;
        const float t = (-b - std::sqrt(disc)) * 0.5f;
        P = Point(d.x * t, d.y * t, d.z * t);
        return true;
    }

    void sphere(const char* surface, float kd) {
        renderer->PushAttributes();
        renderer->Parameter("float Kd", kd);
        renderer->Parameter("float Ka", 0.0f);
        renderer->Shader("surface", surface, nullptr);
        renderer->Translate(0.0f, 0.0f, 5.0f);
        renderer->Sphere(1.0f, -1.0f, 1.0f, 360.0f);
        renderer->PopAttributes();
    }
    // A matte wall at z = depth facing the camera.
    void wall(float depth) {
        renderer->PushAttributes();
        renderer->Parameter("float Kd", 1.0f);
        renderer->Parameter("float Ka", 0.0f);
        renderer->Shader("surface", "matte", nullptr);
        const float P[12] = {-20, -20, depth, 20, -20, depth, 20, 20, depth, -20, 20, depth};
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
        renderer->PopAttributes();
    }
    void distantLight(const Vector& travel, float intensity) {
        const float from[3] = {0, 0, 0}, to[3] = {travel.x, travel.y, travel.z};
        renderer->Parameter("point from", from);
        renderer->Parameter("point to", to);
        renderer->Parameter("float intensity", intensity);
        renderer->Light("sun", "distantlight", nullptr);
    }

    std::string folder, file;
    std::vector<float> pixels;
};

}  // namespace

TEST_F(ImageTest, MatteSphereFollowsLambert) {
    const Vector travel(-0.5f, -0.6f, 1.0f);  // from the upper right, behind the camera
    distantLight(travel, 0.9f);
    sphere("matte", 1.0f);
    render();
    const Vector toLight = Vector(-travel.hat());
    int checked = 0;
    for (int y = 2; y < kSize - 2; y += 3)
        for (int x = 2; x < kSize - 2; x += 3) {
            Point P;
            if (!sphereHit(x, y, P)) {
                Point Q;
                const bool nearEdge = sphereHit(x - 1, y, Q) || sphereHit(x + 1, y, Q) ||
                                      sphereHit(x, y - 1, Q) || sphereHit(x, y + 1, Q);
                if (!nearEdge) {
                    EXPECT_LT(at(x, y), 1.0f / 255.0f) << x << " " << y;
                }
                continue;
            }
            const Vector N = Vector((P - Point(0.0f, 0.0f, 5.0f)).hat());
            // Away from the silhouette, where a pixel's average is its centre's value.
            if (dot(N, Vector(-P.hat())) < 0.5f) continue;
            const float expected = 0.9f * std::max(0.0f, dot(N, toLight));
            EXPECT_NEAR(at(x, y), expected, 0.02f) << x << " " << y;
            ++checked;
        }
    EXPECT_GT(checked, 40);
}

TEST_F(ImageTest, PlasticHighlightSitsWhereTheMirrorDirectionMeetsTheLight) {
    const Vector travel(0.4f, -0.5f, 1.0f);
    distantLight(travel, 1.0f);
    renderer->PushAttributes();
    renderer->Parameter("float Kd", 0.0f);
    renderer->Parameter("float Ka", 0.0f);
    renderer->Parameter("float Ks", 0.8f);
    renderer->Parameter("float roughness", 0.05f);
    renderer->Shader("surface", "plastic", nullptr);
    renderer->Translate(0.0f, 0.0f, 5.0f);
    renderer->Sphere(1.0f, -1.0f, 1.0f, 360.0f);
    renderer->PopAttributes();
    render();

    // The pixel whose centre sees the sphere where N is closest to the half vector.
    const Vector toLight = Vector(-travel.hat());
    int bx = -1, by = -1, rx = -1, ry = -1;
    float best = -2.0f, brightest = -1.0f;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            Point P;
            if (sphereHit(x, y, P)) {
                const Vector N = Vector((P - Point(0.0f, 0.0f, 5.0f)).hat());
                const Vector H = Vector((toLight + Vector(-P.hat())).hat());
                if (dot(N, H) > best) {
                    best = dot(N, H);
                    bx = x;
                    by = y;
                }
            }
            if (at(x, y) > brightest) {
                brightest = at(x, y);
                rx = x;
                ry = y;
            }
        }
    EXPECT_LE(std::abs(rx - bx), 1) << rx << " vs " << bx;
    EXPECT_LE(std::abs(ry - by), 1) << ry << " vs " << by;
    EXPECT_GT(brightest, 0.5f);
    // The highlight lies up and to the left of the centre, toward the light.
    EXPECT_LT(rx, kSize / 2);
    EXPECT_LT(ry, kSize / 2);
}

TEST_F(ImageTest, SpotlightConeEdge) {
    // A spot at the eye lights a disc of the wall at z = 10 whose image radius is tan(cone).
    const float cone = 15.0f * 3.14159265f / 180.0f;
    const float from[3] = {0, 0, 0}, to[3] = {0, 0, 1};
    renderer->Parameter("point from", from);
    renderer->Parameter("point to", to);
    renderer->Parameter("float intensity", 90.0f);
    renderer->Parameter("float coneangle", cone);
    renderer->Parameter("float conedeltaangle", 0.0f);
    renderer->Parameter("float beamdistribution", 0.0f);
    renderer->Light("spot", "spotlight", nullptr);
    wall(10.0f);
    render();
    const float t = std::tan(kFov * 0.5f * 3.14159265f / 180.0f);
    const float radius = std::tan(cone) / t * kSize * 0.5f;  // in pixels from the centre
    // The centre: intensity / distance² × cos 0.
    EXPECT_NEAR(at(kSize / 2, kSize / 2), 0.9f, 0.02f);
    for (int x = 0; x < kSize; ++x) {
        const float r = std::fabs(x + 0.5f - kSize * 0.5f);
        const float y = kSize / 2 - 1;
        const float dy = std::fabs(y + 0.5f - kSize * 0.5f);
        const float dist = std::sqrt(r * r + dy * dy);
        if (dist < radius - 1.0f) {
            // cos³ of the angle off the axis: one cosine at the wall, two from the distance.
            const Vector d = direction(float(x), y);
            const float c = 1.0f / d.length();
            EXPECT_NEAR(at(x, int(y)), 0.9f * c * c * c, 0.02f) << x;
        } else if (dist > radius + 1.0f) {
            EXPECT_LT(at(x, int(y)), 1.0f / 255.0f) << x;
        }
    }
}

TEST_F(ImageTest, ShadowEdge) {
    // A distant light tilted in x throws the sphere's shadow onto the wall at z = 10: an
    // ellipse centred at x = 5·0.4 = 2 with half-width 1/cos(tilt) in x and 1 in y.
    renderer->Attribute("string light:shadows", "on");
    const Vector travel(0.4f, 0.0f, 1.0f);
    distantLight(travel, 0.9f);
    sphere("matte", 1.0f);
    wall(10.0f);
    render();
    const float cosTilt = Vector(travel.hat()).z;
    const float t = std::tan(kFov * 0.5f * 3.14159265f / 180.0f);
    const int row = kSize / 2;
    int shadowed = 0, lit = 0;
    for (int x = kSize / 2; x < kSize; ++x) {
        Point P;
        if (sphereHit(x, row, P) || sphereHit(x - 1, row, P) || sphereHit(x + 1, row, P)) continue;
        // Where the pixel's edges meet the wall.
        const float x0 = (-1.0f + 2.0f * x / kSize) * t * 10.0f;
        const float x1 = (-1.0f + 2.0f * (x + 1) / kSize) * t * 10.0f;
        const float yw = (1.0f - 2.0f * (row + 0.5f) / kSize) * t * 10.0f;
        const float half = std::sqrt(std::max(0.0f, 1.0f - yw * yw)) / cosTilt;
        const float edge = 2.0f + half;
        if (x1 < edge) {
            EXPECT_LT(at(x, row), 1.0f / 255.0f) << x;
            ++shadowed;
        } else if (x0 > edge) {
            EXPECT_NEAR(at(x, row), 0.9f * cosTilt, 0.02f) << x;
            ++lit;
        }
    }
    EXPECT_GT(shadowed, 3);
    EXPECT_GT(lit, 3);
}

TEST_F(ImageTest, HalfOpaqueOccluderPassesHalfTheLight) {
    // As above with an occluder of opacity 0.5: a shadow ray crosses its surface twice, so a
    // quarter of the light arrives.
    renderer->Attribute("string light:shadows", "on");
    const Vector travel(0.4f, 0.0f, 1.0f);
    distantLight(travel, 0.9f);
    const float half[3] = {0.5f, 0.5f, 0.5f};
    renderer->PushAttributes();
    renderer->Attribute("color opacity", half);
    sphere("matte", 1.0f);
    renderer->PopAttributes();
    wall(10.0f);
    render();
    const float lit = 0.9f * Vector(travel.hat()).z;
    // The wall at x = 2.6: inside the shadow, and beside the sphere's image.
    const float t = std::tan(kFov * 0.5f * 3.14159265f / 180.0f);
    const int x = int((2.6f / 10.0f / t + 1.0f) * kSize * 0.5f);
    EXPECT_NEAR(at(x, kSize / 2), 0.25f * lit, 0.02f);
    EXPECT_NEAR(at(kSize - 2, kSize / 2), lit, 0.02f);
}
