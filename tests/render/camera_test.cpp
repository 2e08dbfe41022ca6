// Cameras: the screen and raster chain, clipping, the two projections, placement and motion,
// the shutter, and the thin lens.
#include <cmath>
#include <memory>
#include <vector>

#include "core/math/constants.h"
#include "tests/render/render_test_util.h"

using namespace ovotest;

namespace {

struct CameraRig {
    unsigned res[2] = {640, 480};
    Extent2D crop = {0, 1, 0, 1};
    Film film{res, crop, nullptr};
    std::unique_ptr<Camera> camera;

    CameraRig(const char* projection, ParameterSet p = {}, const MotionTransform& t = Transform()) {
        camera.reset(makeCamera(projection, t, &film, p));
    }
    ProjectiveCamera& projective() { return dynamic_cast<ProjectiveCamera&>(*camera); }
    Sample sample(float x, float y, float lensU = 0.5f, float lensV = 0.5f, float time = 0.0f) {
        Sample s;
        s.imageX = x, s.imageY = y, s.lensU = lensU, s.lensV = lensV, s.time = time;
        return s;
    }
    Ray ray(float x, float y, float lensU = 0.5f, float lensV = 0.5f, float time = 0.0f) {
        Ray r;
        EXPECT_EQ(camera->generateRay(sample(x, y, lensU, lensV, time), r), 1.0f);
        return r;
    }
};

}  // namespace

TEST(Cameras, ScreenRasterChainAndClipping) {
    for (const char* projection : {"perspective", "orthographic"}) {
        CameraRig rig(projection);
        ProjectiveCamera& cam = rig.projective();
        // Raster to screen is seen through the rays of both projections below.
        EXPECT_TRUE(near(cam.getScreenToRaster() * Point(0.0f), Point(320.0f, 240.0f, 0.0f), 1e-3f))
            << projection;
        EXPECT_EQ(std::make_pair(cam.getHither(), cam.getYon()), std::make_pair(0.1f, 1e6f));
    }
    CameraRig rig("perspective",
                  floats({{"near", {0.0f}}, {"far", {1e35f}}, {"screen", {-2, 2, -1, 3}}}));
    EXPECT_EQ(std::make_pair(rig.camera->getHither(), rig.camera->getYon()),
              std::make_pair(0.001f, 1e30f));
    const Transform& toScreen = rig.projective().getRasterToScreen();
    EXPECT_TRUE(near(toScreen * Point(0.0f), Point(-2.0f, 3.0f, 0.0f), 1e-5f));
    EXPECT_TRUE(near(toScreen * Point(640, 480, 0), Point(2.0f, -1.0f, 0.0f), 1e-5f));
}

TEST(Cameras, PerspectiveRaysAndDepth) {
    const ParameterSet p = floats({{"fov", {60.0f}}, {"near", {1.0f}}, {"far", {100.0f}}});
    CameraRig rig("perspective", p);
    const float half = radians(30.0f), wide = std::atan(4.0f / 3.0f * std::tan(half));
    Ray centre = rig.ray(320, 240);
    EXPECT_TRUE(near(centre.o, Point(0.0f), 1e-5f));
    EXPECT_TRUE(near(centre.d.hat(), Vector(0, 0, 1), 1e-4f));
    // The field of view spans the vertical extent of a wide image; x right, y up.
    EXPECT_TRUE(near(rig.ray(320, 0).d.hat(), Vector(0, std::sin(half), std::cos(half)), 1e-5f));
    EXPECT_TRUE(near(rig.ray(640, 240).d.hat(), Vector(std::sin(wide), 0, std::cos(wide)), 1e-5f));
    // Clipping is by depth along the view axis.
    Ray corner = rig.ray(0, 480);
    EXPECT_NEAR(corner(corner.mint).z, 1.0f, 1e-5f);
    EXPECT_NEAR(corner(corner.maxt).z, 100.0f, 1e-3f);
    // Screen depth: 0 at near, 1 at far, the projective curve between.
    for (float z = 1.0f; z <= 100.0f; z *= 1.5f)
        EXPECT_NEAR(rig.camera->screenDepth(Point(0.5f, 0.25f, z)),
                    100.0f / 99.0f * (1.0f - 1.0f / z), 1e-6f);

    // Differentials: the offset rays are the rays of the next pixel in x and in y (up to
    // rounding: a still pinhole steps its direction instead of making the rays), for a camera
    // placed anywhere and one with a lens.
    ParameterSet lens = p;
    addFloats(lens, "fstop", {2.0f});
    addFloats(lens, "focallength", {0.5f});
    addFloats(lens, "focaldistance", {5.0f});
    CameraRig placed("perspective", p,
                     Rotate(0.5f, Vector(0.6f, 0.0f, 0.8f)) * Transform(Translate(1, -2, 4)));
    CameraRig withLens("perspective", lens, Transform(Translate(0, 1, 0)));
    for (CameraRig* r : {&rig, &placed, &withLens}) {
        RayDifferential rd;
        EXPECT_EQ(r->camera->generateRayDifferential(r->sample(100.25f, 50.5f), rd), 1.0f);
        EXPECT_TRUE(rd.hasDifferentials);
        EXPECT_EQ(rd.d, r->ray(100.25f, 50.5f).d);
        const Ray rx = r->ray(101.25f, 50.5f), ry = r->ray(100.25f, 51.5f);
        EXPECT_TRUE(near(rd.rx.o, rx.o, 1e-5f) && near(rd.ry.o, ry.o, 1e-5f));
        EXPECT_TRUE(near(rd.rx.d.hat(), rx.d.hat(), 1e-6f) &&
                    near(rd.ry.d.hat(), ry.d.hat(), 1e-6f));
    }
}

TEST(Cameras, BatchesOfRaysAreTheRaysMadeOneByOne) {
    // Still pinholes (placed, with a shutter) take the many-at-once path, a lens the fallback;
    // 37 samples leave a partly filled last batch.
    const ParameterSet p = floats({{"fov", {50.0f}}, {"near", {0.5f}}, {"shutter", {1.0f, 3.0f}}});
    ParameterSet lens = p;
    addFloats(lens, "fstop", {2.0f});
    addFloats(lens, "focallength", {0.5f});
    CameraRig plain("perspective");
    CameraRig placed("perspective", p,
                     Rotate(0.7f, Vector(0.3f, 0.9f, 0.1f)) * Transform(Translate(1, -2, 4)));
    CameraRig withLens("perspective", lens, Transform(Translate(0, 1, 0)));
    const int n = 37;
    std::vector<Sample> samples(n);
    for (int k = 0; k < n; ++k)
        samples[k] = plain.sample(float(k * 17 % 640) + 0.37f * float(k % 3), float(k * 29 % 481),
                                  float(k % 5) / 5.0f, float(k % 7) / 7.0f, float(k % 11) / 11.0f);
    auto same = [](const Ray& a, const Ray& b) {
        return a.o == b.o && a.d == b.d && a.mint == b.mint && a.maxt == b.maxt && a.time == b.time;
    };
    for (CameraRig* r : {&plain, &placed, &withLens}) {
        std::vector<RayDifferential> batch(n);
        r->camera->generateRayDifferentials(samples.data(), batch.data(), n);
        for (int k = 0; k < n; ++k) {
            RayDifferential one;
            r->camera->generateRayDifferential(samples[k], one);
            EXPECT_TRUE(same(batch[k], one) && same(batch[k].rx, one.rx) &&
                        same(batch[k].ry, one.ry) && batch[k].hasDifferentials &&
                        batch[k].type == RayDifferential::Camera && batch[k].depth == 0)
                << "sample " << k;
        }
    }
}

TEST(Cameras, OrthographicMapsCameraXYOntoTheScreen) {
    CameraRig rig("orthographic", floats({{"near", {2.0f}}, {"far", {12.0f}}}));
    Ray r = rig.ray(0, 0);
    EXPECT_TRUE(near(r.o, Point(-4.0f / 3.0f, 1.0f, 0.0f), 1e-5f));
    EXPECT_TRUE(near(r.d, Point(0, 0, 1), 1e-5f));
    EXPECT_NEAR(r(r.mint).z, 2.0f, 1e-6f);
    EXPECT_NEAR(r(r.maxt).z, 12.0f, 1e-5f);
    EXPECT_TRUE(near(rig.ray(480, 120).o, Point(2.0f / 3.0f, 0.5f, 0.0f), 1e-5f));
    for (float z : {2.0f, 4.5f, 7.0f, 12.0f})
        EXPECT_NEAR(rig.camera->screenDepth(Point(5, -3, z)), (z - 2.0f) / 10.0f, 1e-6f);
}

TEST(Cameras, PlacementMotionAndShutter) {
    // The transform maps world to camera: this camera sits at world (1, 2, -5), looking +z.
    CameraRig placed("perspective", {}, Transform(Translate(-1, -2, 5)));
    EXPECT_TRUE(near(placed.ray(320, 240).o, Point(1, 2, -5), 1e-5f));
    EXPECT_NEAR(placed.camera->screenDepth(Point(1, 2, -4.9f)), 0.0f, 1e-5f);

    // A moving camera: at world x = 0 when the shutter opens at 1, at x = 4 when it closes at
    // 3; a sample's time in [0, 1) spreads over that interval.
    const float times[2] = {1.0f, 3.0f};
    MotionTransform moving(2, times);
    moving.setSample(0, Translate(0, 0, 0));
    moving.setSample(1, Translate(-4, 0, 0));
    CameraRig rig("perspective", floats({{"shutter", {1.0f, 3.0f}}}), moving);
    for (float u : {0.0f, 0.25f, 0.5f, 0.9f}) {
        const Ray r = rig.ray(320, 240, 0.5f, 0.5f, u);
        EXPECT_FLOAT_EQ(r.time, 1.0f + 2.0f * u);
        EXPECT_TRUE(near(r.o, Point(4.0f * u, 0, 0), 1e-5f));
        EXPECT_TRUE(near(r.d.hat(), Point(0, 0, 1), 1e-5f));
    }
}

TEST(Cameras, ThinLensFocusesOnTheFocalPlane) {
    for (const char* projection : {"perspective", "orthographic"}) {
        SCOPED_TRACE(projection);
        CameraRig rig(
            projection,
            floats({{"focallength", {1.0f}}, {"fstop", {2.0f}}, {"focaldistance", {4.0f}}}));
        EXPECT_FLOAT_EQ(rig.projective().getLensRadius(), 0.25f);
        // Only a lens reads the lens, and only an open shutter the time.
        EXPECT_TRUE(rig.camera->readsLens() && !rig.camera->readsTime());
        CameraRig pinhole(projection, floats({{"shutter", {0.0f, 0.5f}}}));
        EXPECT_TRUE(!pinhole.camera->readsLens() && pinhole.camera->readsTime());
        for (Point raster : {Point(320, 240, 0), Point(100, 400, 0)}) {
            // Every lens position's ray passes through the pinhole ray's point at depth 4.
            const Ray pin = rig.ray(raster.x, raster.y);  // lens centre
            const Point focus = pin((4.0f - pin.o.z) / pin.d.z);
            float spread = 0.0f;
            for (float u : {0.0f, 0.1f, 0.7f, 0.99f})
                for (float v : {0.05f, 0.5f, 0.95f}) {
                    const Ray r = rig.ray(raster.x, raster.y, u, v);
                    EXPECT_TRUE(
                        near(r((4.0f - r.o.z) / r.d.z), Point(focus.x, focus.y, 4.0f), 1e-4f));
                    EXPECT_EQ(r.o.z, 0.0f);
                    spread = std::max(spread, std::hypot(r.o.x - pin.o.x, r.o.y - pin.o.y));
                }
            EXPECT_LE(spread, 0.25f + 1e-6f);
            EXPECT_GT(spread, 0.2f);  // the lens is really used
        }
    }
}
