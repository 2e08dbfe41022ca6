// Camera placement, camera and image options, displays and frames.
#include <gtest/gtest.h>

#include "tests/rib/helpers.h"
#include "tests/rib/recorder.h"

using ovotest::expectMatrix;
using ovotest::Recorder;
using ovotest::translation;
using Calls = std::vector<std::string>;

namespace {
const std::string IdentityCall = "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)";
}

TEST(RibCamera, TransformBeforeWorldBeginPlacesTheCamera) {
    Recorder r;
    // World to camera: translate by (0,0,5), then turn a quarter about y. A camera-space
    // point q is at world q R^-1 - t, so the camera sits at (0,0,-5) looking down -x.
    r.read("Rotate 90 0 1 0\nTranslate 0 0 5\nWorldBegin\nWorldEnd\n");
    ASSERT_EQ(r.calls.size(), 4u) << testing::PrintToString(r.calls);
    expectMatrix(r.calls[0], "SetTransform(", {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, -5, 1});
    EXPECT_EQ(r.calls[1], "Camera(camera)");
    EXPECT_EQ(r.calls[2], "World()");
    EXPECT_EQ(r.calls[3], "Render(-)");
    EXPECT_TRUE(r.messages.empty());

    // Transform replaces, Identity resets, ConcatTransform premultiplies; scopes restore.
    r.clear();
    r.read(
        "Transform [1 0 0 0 0 1 0 0 0 0 1 0 9 9 9 1]\nIdentity\nTranslate 1 0 0\n"
        "TransformBegin\nTranslate 0 50 0\nTransformEnd\n"
        "AttributeBegin\nScale 3 3 3\nAttributeEnd\n"
        "ConcatTransform [2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1]\nWorldBegin\nWorldEnd\n");
    // World to camera: scale by 2, then shift by 1 in x: p' = 2p + (1,0,0). Inverse:
    // q/2 - (0.5,0,0).
    Calls transforms = r.only({"SetTransform"});
    ASSERT_EQ(transforms.size(), 1u);
    expectMatrix(transforms[0], "SetTransform(",
                 {0.5, 0, 0, 0, 0, 0.5, 0, 0, 0, 0, 0.5, 0, -0.5, 0, 0, 1});
    EXPECT_EQ(r.only({"PushTransform", "PopTransform"}), Calls{});  // never forwarded
    EXPECT_EQ(r.only({"PushAttributes", "PopAttributes"}),
              (Calls{"PushAttributes()", "PopAttributes()"}));
}

TEST(RibCamera, MovingCameraAndCameraRelativeLights) {
    Recorder r;
    r.read(
        "Shutter 0 1\nMotionBegin [0 1]\nTranslate 0 0 1\nTranslate 0 0 2\nMotionEnd\n"
        "Translate 3 0 0\nWorldBegin\nWorldEnd\n");
    Calls c = r.only({"Motion", "SetTransform", "Camera"});
    ASSERT_EQ(c.size(), 4u) << testing::PrintToString(r.calls);
    EXPECT_EQ(c[0], "Motion(2: 0 1)");
    // Each sample is Translate(3,0,0) applied after the moving step.
    expectMatrix(c[1], "SetTransform(", translation(-3, 0, -1));
    expectMatrix(c[2], "SetTransform(", translation(-3, 0, -2));
    EXPECT_EQ(c[3], "Camera(camera)");

    // A light declared before WorldBegin sits where its RIB transformation puts it in
    // camera space: at camera (0,0,5), which is world (-1,0,0) for this camera.
    r.clear();
    r.read(
        "Translate 0 0 5\nLightSource \"pointlight\" 1 \"intensity\" [2]\nCoordinateSystem "
        "\"lamp\"\nIlluminate 1 0\nTranslate 1 0 0\nWorldBegin\nWorldEnd\n");
    ASSERT_EQ(r.calls.size(), 17u) << testing::PrintToString(r.calls);
    expectMatrix(r.calls[0], "SetTransform(", translation(-1, 0, -5));
    EXPECT_EQ(r.calls[1], "Camera(camera)");
    EXPECT_EQ(r.calls[2], "World()");
    EXPECT_EQ(r.calls[3], "PushTransform()");
    expectMatrix(r.calls[4], "SetTransform(", translation(-1, 0, 0));
    EXPECT_EQ(r.calls[5], "Parameter(float intensity: 2)");
    EXPECT_EQ(r.calls[6], "Light(1 pointlight -)");
    EXPECT_EQ(r.calls[7], "PopTransform()");
    EXPECT_EQ(r.calls[8], "PushTransform()");
    expectMatrix(r.calls[9], "SetTransform(", translation(-1, 0, 0));
    EXPECT_EQ(r.calls[10], "SaveAttributes(lamp transform)");
    EXPECT_EQ(r.calls[11], "PopTransform()");
    EXPECT_EQ(r.calls[14], "LightSwitch(1 off)");
    EXPECT_EQ(r.calls[16], "Render(-)");
}

TEST(RibOptions, CameraAndImageOptionsBecomeRendererOptions) {
    Recorder r;
    r.read(
        "Format 640 480 1\nFrameAspectRatio 2\nScreenWindow -1 1 -0.5 0.5\n"
        "CropWindow 0.25 0.75 -1 2\nProjection \"perspective\" \"fov\" [30]\n"
        "Clipping 0.5 100\nDepthOfField 2.8 0.05 10\nShutter 0 0.5\nPixelSamples 3 2.5\n"
        "PixelFilter \"RiCatmullRomFilter\" 3 3\nQuantize \"rgba\" 255 0 255 0.5\n"
        "Option \"limits\" \"bucketsize\" [16 16] \"threads\" 2\n"
        "Option \"searchpath\" \"shader\" [\"@:shaders\"] \"archive\" \"arch\"\n"
        "Option \"statistics\" \"endofframe\" [1]\nOption \"limits\" \"texturememory\" [8192]\n"
        "Option \"render\" \"sampler\" \"stratified\" \"bucketorder\" \"spiral\"\n"
        "Projection \"orthographic\"\nDepthOfField\nPerspective 45\n");
    Calls expected = {
        "Attribute(int[2] resolution: 640 480)",
        "Attribute(float pixelaspect: 1)",
        "Attribute(float[4] screen: -2 2 -1 1)",
        "Attribute(float[4] screen: -1 1 -0.5 0.5)",
        "Attribute(float[4] crop: 0.25 0.75 0 1)",
        "Attribute(string projection: perspective)",
        "Attribute(float fov: 30)",
        "Attribute(float near: 0.5)",
        "Attribute(float far: 100)",
        "Attribute(float fstop: 2.8)",
        "Attribute(float focallength: 0.05)",
        "Attribute(float focaldistance: 10)",
        "Attribute(float[2] shutter: 0 0.5)",
        "Attribute(int[2] spatialquality: 3 3)",
        "Attribute(string filter: catmull-rom)",
        "Attribute(float[2] filterwidth: 3 3)",
        "Attribute(int[4] quantize: 0 255 0 255)",
        "Attribute(int[2] limits:bucketsize: 16 16)",
        "Attribute(int limits:threads: 2)",
        "Attribute(string path:shader: @:shaders)",
        "Attribute(string path:input: arch)",
        "Attribute(int statistics:level: 1)",
        "Attribute(int limits:texturememory: 8)",  // RIB's kilobytes in megabytes
        "Attribute(string sampler: stratified)",
        "Attribute(string bucketorder: spiral)",
        "Attribute(string projection: orthographic)",
        "Attribute(float fstop: 1e+30)",
        "Attribute(string projection: perspective)",
        "Attribute(float fov: 45)",
    };
    EXPECT_EQ(r.calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());
}

TEST(RibOptions, TallFramesGetRibsScreenWindow) {
    Recorder r;
    // RIB spans -1..1 across the shorter side; OVO's automatic window is only right for
    // frames at least as wide as tall, so tall ones are sent explicitly - and once sent,
    // later formats keep it up to date.
    r.read("Format 640 480 1\nFormat 240 480 1\nFormat 480 240 1\nFrameAspectRatio 0.5\n");
    EXPECT_EQ(
        r.only({"Attribute(float[4] screen"}),
        (Calls{"Attribute(float[4] screen: -1 1 -2 2)", "Attribute(float[4] screen: -2 2 -1 1)",
               "Attribute(float[4] screen: -1 1 -2 2)"}));
    r.clear();
    r.read("ScreenWindow -3 3 -1 1\nFormat 100 400 1\nFrameAspectRatio 0.25\n");
    EXPECT_EQ(r.only({"Attribute(float[4] screen"}),
              (Calls{"Attribute(float[4] screen: -3 3 -1 1)"}));
}

TEST(RibOptions, BadOrMisplacedOptionsAreReported) {
    Recorder r;
    r.read(
        "Format 0 480 1\nClipping 10 1\nPixelFilter \"mitchell\" 2 2\nPixelFilter \"box\" 0 1\n"
        "Option \"render\" \"hider\" \"hidden\"\nOption \"render\" \"hider\" "
        "\"raytrace\"\nProjection \"none\"\nExposure 1 0\nQuantize \"z\" 1 0 1 0\n"
        "WorldBegin\nFormat 10 10 1\nOption \"limits\" \"bucketsize\" [8]\nWorldEnd\n");
    Calls expected = {
        "E: test.rib:1: Format: bad resolution 0 x 480. Skipping ...",
        "E: test.rib:2: Clipping: needs 0 < near < far. Skipping ...",
        "W: test.rib:3: PixelFilter \"mitchell\" is not supported. Keeping the current filter ...",
        "E: test.rib:4: PixelFilter: the widths must be positive. Skipping ...",
        "W: test.rib:5: Option \"render\" \"hider\" is not supported. Ignoring ...",
        "W: test.rib:7: Projection \"none\" is not supported. Ignoring ...",
        "E: test.rib:8: Exposure: gamma must be positive. Skipping ...",
        "E: test.rib:11: Format: not allowed inside WorldBegin. Skipping ...",
        "E: test.rib:12: Option: \"bucketsize\" needs 2 values, got 1. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), expected);
    EXPECT_EQ(r.only({"Attribute"}), (Calls{"Attribute(float[2] filterwidth: 2 2)"}));
}

TEST(RibDisplay, DisplaysAreDeclaredAtWorldBeginWithExposure) {
    Recorder r;
    r.read(
        "Display \"a.tif\" \"file\" \"rgba\"\nExposure 1.5 2.2\n"
        "Display \"+a.tif\" \"framebuffer\" \"rgb\"\nDisplay \"+b\" \"framebuffer\" \"rgb\"\n"
        "Display \"+c.exr\" \"openexr\" \"z\" \"string compression\" \"zip\"\n"
        "Display \"+d.png\" \"file\" \"rgbaz\"\nDisplay \"+e.png\" \"file\" \"N\"\n"
        "WorldBegin\nWorldEnd\n"
        "Display \"f.jpg\" \"file\" \"rgb\" \"quantize\" [0 255 0 255]\n"
        "Quantize \"rgba\" 65535 0 65535 0.5\nWorldBegin\nWorldEnd\n"
        "Display \"x\" \"null\" \"rgba\"\nWorldBegin\nWorldEnd\n");
    Calls expected = {
        "Parameter(float gain: 1.5)",
        "Parameter(float gamma: 2.2)",
        "Output(a.tif tiff rgba camera)",  // the framebuffer twin of a file adds nothing
        "Parameter(float gain: 1.5)",
        "Parameter(float gamma: 2.2)",
        "Output(b tiff rgb camera)",  // no extension: TIFF
        "Parameter(float gain: 1.5)",
        "Parameter(float gamma: 2.2)",
        "Parameter(string compression: zip)",
        "Output(c.exr openexr z camera)",
        "Parameter(float gain: 1.5)",
        "Parameter(float gamma: 2.2)",
        "Output(d.png png rgba camera)",
        IdentityCall,
        "Camera(camera)",
        "World()",
        "Render(-)",
        // A display without "+" replaces the earlier ones.
        "Attribute(int[4] quantize: 0 65535 0 65535)",
        "Output(a.tif null rgba camera)",
        "Output(b null rgba camera)",
        "Output(c.exr null rgba camera)",
        "Output(d.png null rgba camera)",
        "Parameter(float gain: 1.5)",
        "Parameter(float gamma: 2.2)",
        "Parameter(float dither: 0.5)",
        "Parameter(int[4] quantize: 0 255 0 255)",
        "Output(f.jpg jpeg rgb camera)",
        IdentityCall,
        "Camera(camera)",
        "World()",
        "Render(-)",
        "Output(f.jpg null rgba camera)",
        IdentityCall,
        "Camera(camera)",
        "World()",
        "Render(-)",
    };
    EXPECT_EQ(r.calls, expected);
    EXPECT_EQ(r.diagnostics(),
              (Calls{"W: test.rib:6: Display mode \"rgbaz\" is not supported. Writing \"rgba\" ...",
                     "W: test.rib:7: Display mode \"N\" is not supported. Ignoring ..."}));
}

TEST(RibFrames, FramesSaveAndRestoreOptionsDisplaysAndTheCamera) {
    Recorder r;
    r.read(
        "Display \"out.tif\" \"file\" \"rgb\"\nTranslate 0 0 1\n"
        "FrameBegin 1\nTranslate 0 0 2\nDisplay \"f1.png\" \"file\" \"rgba\"\nExposure 2 1\n"
        "WorldBegin\nWorldEnd\nFrameEnd\n"
        "FrameBegin 2\nWorldBegin\nWorldEnd\nFrameEnd\n"
        "FrameBegin 3\nFrameBegin 4\nFrameEnd\nFrameEnd\n");
    ASSERT_EQ(r.calls.size(), 27u) << testing::PrintToString(r.calls);
    EXPECT_EQ(r.calls[0], "PushOptions()");
    EXPECT_EQ(r.calls[1], "PushAttributes()");
    EXPECT_EQ(r.calls[2], "Parameter(float gain: 2)");
    EXPECT_EQ(r.calls[4], "Output(f1.png png rgba camera)");
    expectMatrix(r.calls[5], "SetTransform(", translation(0, 0, -3));
    EXPECT_EQ(r.calls[8], "Render(-)");
    EXPECT_EQ(r.calls[9], "PopAttributes()");
    EXPECT_EQ(r.calls[10], "PopOptions()");
    EXPECT_EQ(r.calls[11], "PushOptions()");
    EXPECT_EQ(r.calls[12], "PushAttributes()");
    EXPECT_EQ(r.calls[13], "Output(f1.png null rgba camera)");
    EXPECT_EQ(r.calls[14], "Parameter(float gain: 1)");
    EXPECT_EQ(r.calls[16], "Output(out.tif tiff rgb camera)");
    expectMatrix(r.calls[17], "SetTransform(", translation(0, 0, -1));
    EXPECT_EQ(r.calls[21], "PopAttributes()");
    EXPECT_EQ(r.calls[22], "PopOptions()");
    EXPECT_EQ(r.calls[25], "PopAttributes()");
    EXPECT_EQ(r.calls[26], "PopOptions()");
    EXPECT_EQ(r.diagnostics(),
              (Calls{"E: test.rib:15: FrameBegin: not allowed inside FrameBegin. Skipping ...",
                     "E: test.rib:17: FrameEnd: no matching FrameBegin. Skipping ..."}));
}
