// Camera placement, camera and image options, imagers, displays and frames.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

namespace {
const std::string Frame = "Camera(camera); World(); Render(-)",
                  Exposure = "Parameter(float gain: 1.5); Parameter(float gamma: 2.2); ",
                  Push = "PushOptions(); PushAttributes(); ",
                  Pop = "; PopAttributes(); PopOptions(); ";
// SetTransform of a translation by (x, y, z).
std::string moved(const std::string& x, const std::string& y, const std::string& z) {
    return "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 " + x + " " + y + " " + z + " 1); ";
}
const std::string Still = moved("0", "0", "0") + Frame;  // a frame from the unmoved camera
}  // namespace

TEST(RibCamera, TransformBeforeWorldBeginPlacesTheCamera) {
    ovotest::expectRows(
        {
            // World to camera: translate by (0,0,5), then turn a quarter about y. A camera-space
            // point q is at world q R^-1 - t, so the camera sits at (0,0,-5) looking down -x.
            {"Rotate 90 0 1 0 Translate 0 0 5 WorldBegin WorldEnd",
             "SetTransform(0 0 1 0 0 1 0 0 -1 0 0 0 0 0 -5 1); " + Frame},
            // Transform replaces, Identity resets, ConcatTransform premultiplies; scopes
            // restore. World to camera p' = 2p + (1,0,0); its inverse is q/2 - (0.5,0,0).
            {"Transform [1 0 0 0 0 1 0 0 0 0 1 0 9 9 9 1] Identity Translate 1 0 0 TransformBegin "
             "Translate 0 50 0 TransformEnd AttributeBegin Scale 3 3 3 AttributeEnd "
             "ConcatTransform [2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1] WorldBegin WorldEnd",
             "PushAttributes(); PopAttributes(); SetTransform(0.5 0 0 0 0 0.5 0 0 0 0 0.5 0 -0.5 0 "
             "0 1); " +
                 Frame},
            {"Scale 1 0 1 WorldBegin WorldEnd",
             Still +
                 "; E: test.rib:1: WorldBegin: the camera transformation is singular. Using the "
                 "identity ..."},
            // Each sample of a moving camera is the later Translate applied after its step.
            {"Shutter 0 1 MotionBegin [0 1] Translate 0 0 1 Translate 0 0 2 MotionEnd Translate 3 "
             "0 0 WorldBegin WorldEnd",
             "Attribute(float[2] shutter: 0 1); Motion(2 0 1); " + moved("-3", "0", "-1") +
                 moved("-3", "0", "-2") + Frame},
            // A light declared before WorldBegin sits where its RIB transformation puts it in
            // camera space: at camera (0,0,5), which is world (-1,0,0) for this camera.
            {"Translate 0 0 5 LightSource \"pointlight\" 1 \"intensity\" [2] CoordinateSystem "
             "\"lamp\" Illuminate 1 0 Translate 1 0 0 WorldBegin WorldEnd",
             moved("-1", "0", "-5") + "Camera(camera); World(); PushTransform(); " +
                 moved("-1", "0", "0") +
                 "Parameter(float intensity: 2); Light(1 pointlight -); PopTransform(); "
                 "PushTransform(); " +
                 moved("-1", "0", "0") +
                 "SaveAttributes(lamp transform); PopTransform(); PushTransform(); " +
                 moved("-1", "0", "0") + "LightSwitch(1 off); PopTransform(); Render(-)"},
        },
        false);
}

TEST(RibOptions, CameraAndImageOptionsBecomeRendererOptions) {
    ovotest::expectRows(
        {
            {"Format 640 480 1 FrameAspectRatio 2 ScreenWindow -1 1 -0.5 0.5",
             "Attribute(int[2] resolution: 640 480); Attribute(float pixelaspect: 1); "
             "Attribute(float[4] screen: -2 2 -1 1); Attribute(float[4] screen: -1 1 -0.5 0.5)"},
            {"CropWindow 0.25 0.75 -1 2 Projection \"perspective\" \"fov\" [30] Clipping 0.5 100",
             "Attribute(float[4] crop: 0.25 0.75 0 1); Attribute(string projection: perspective); "
             "Attribute(float fov: 30); Attribute(float near: 0.5); Attribute(float far: 100)"},
            {"DepthOfField 2.8 0.05 10 Shutter 0 0.5 PixelSamples 3 2.5 DepthOfField",
             "Attribute(float fstop: 2.8); Attribute(float focallength: 0.05); Attribute(float "
             "focaldistance: 10); Attribute(float[2] shutter: 0 0.5); Attribute(int[2] "
             "spatialquality: 3 3); Attribute(float fstop: 1e+30)"},
            {"PixelFilter \"RiCatmullRomFilter\" 3 3 Quantize \"rgba\" 255 0 255 0.5",
             "Attribute(string filter: catmull-rom); Attribute(float[2] filterwidth: 3 3); "
             "Attribute(int[4] quantize: 0 255 0 255)"},
            // Renamed settings; RIB's texture memory is in kilobytes, OVO's in megabytes.
            {"Option \"limits\" \"bucketsize\" [16 16] \"texturememory\" [8192]",
             "Attribute(int[2] limits:bucketsize: 16 16); Attribute(int limits:texturememory: 8)"},
            {"Option \"searchpath\" \"archive\" \"arch\" Option \"render\" \"sampler\" "
             "\"stratified\" Projection \"orthographic\" Perspective 45",
             "Attribute(string path:input: arch); Attribute(string sampler: stratified); "
             "Attribute(string projection: orthographic); Attribute(string projection: "
             "perspective); Attribute(float fov: 45)"},
            // RIB spans -1..1 across the shorter side; OVO's automatic window is only right for
            // frames at least as wide as tall, so tall ones are sent explicitly - and once sent,
            // later formats keep it up to date. An explicit window stays.
            {"Format 240 480 1 Format 480 240 1 FrameAspectRatio 0.5",
             "Attribute(int[2] resolution: 240 480); Attribute(float pixelaspect: 1); "
             "Attribute(float[4] screen: -1 1 -2 2); Attribute(int[2] resolution: 480 240); "
             "Attribute(float pixelaspect: 1); Attribute(float[4] screen: -2 2 -1 1); "
             "Attribute(float[4] screen: -1 1 -2 2)"},
            {"ScreenWindow -3 3 -1 1 Format 100 400 1 FrameAspectRatio 0.25",
             "Attribute(float[4] screen: -3 3 -1 1); Attribute(int[2] resolution: 100 400); "
             "Attribute(float pixelaspect: 1)"},
            {"Format 0 480 1\nClipping 10 1",
             "E: test.rib:1: Format: bad resolution 0 x 480. Skipping ...; E: test.rib:2: "
             "Clipping: needs 0 < near < far. Skipping ..."},
            {"PixelFilter \"mitchell\" 2 2",
             "Attribute(float[2] filterwidth: 2 2); W: test.rib:1: PixelFilter \"mitchell\" is not "
             "supported. Keeping the current filter ..."},
            {"PixelFilter \"box\" 0 1\nOption \"render\" \"hider\" \"hidden\"\nProjection "
             "\"none\"\nExposure 1 0\nQuantize \"z\" 1 0 1 0",
             "E: test.rib:1: PixelFilter: the widths must be positive. Skipping ...; W: "
             "test.rib:2: Option \"render\" \"hider\" is not supported. Ignoring ...; W: "
             "test.rib:3: Projection \"none\" is not supported. Ignoring ...; E: test.rib:4: "
             "Exposure: gamma must be positive. Skipping ..."},
            {"WorldBegin\nFormat 10 10 1\nOption \"limits\" \"bucketsize\" [8]\nWorldEnd",
             Still + "; E: test.rib:2: Format: not allowed inside WorldBegin. Skipping ...; E: "
                     "test.rib:3: Option: \"bucketsize\" needs 2 values, got 1. Skipping ..."},
            // An imager is a shader of the options, its parameters declared by the shader or
            // inline.
            {"Imager \"background\" \"color background\" [0.25 0.5 1]\nImager \"ramp\" \"float "
             "scale\" 2 \"string map\" \"sky.tex\"\nImager \"null\"\nImager\nWorldBegin\nImager "
             "\"background\"\nWorldEnd",
             "Parameter(color background: 0.25 0.5 1); Shader(imager background -); "
             "Parameter(float scale: 2); Parameter(string map: sky.tex); Shader(imager ramp -); "
             "Shader(imager null -); " +
                 Still +
                 "; E: test.rib:4: Imager: missing argument 1. Skipping ...; E: test.rib:6: "
                 "Imager: not allowed inside WorldBegin. Skipping ..."},
            // Displays are declared at WorldBegin with the exposure. The framebuffer twin of a
            // file adds nothing; no extension means TIFF; a display without "+" replaces the
            // earlier ones.
            {"Display \"a.tif\" \"file\" \"rgba\"\nExposure 1.5 2.2\n"
             "Display \"+a.tif\" \"framebuffer\" \"rgb\"\nDisplay \"+b\" \"framebuffer\" \"rgb\"\n"
             "Display \"+c.exr\" \"openexr\" \"z\" \"string compression\" \"zip\"\n"
             "Display \"+d.png\" \"file\" \"rgbaz\"\nDisplay \"+e.png\" \"file\" \"N\"\n"
             "WorldBegin\nWorldEnd\n"
             "Display \"f.jpg\" \"file\" \"rgb\" \"quantize\" [0 255 0 255]\n"
             "Quantize \"rgba\" 65535 0 65535 0.5\nWorldBegin\nWorldEnd\n"
             "Display \"x\" \"null\" \"rgba\"\nWorldBegin\nWorldEnd\n",
             Exposure + "Output(a.tif tiff rgba camera); " + Exposure +
                 "Output(b tiff rgb camera); " + Exposure +
                 "Parameter(string compression: zip); Output(c.exr openexr z camera); " + Exposure +
                 "Output(d.png png rgba camera); " + Still +
                 "; Attribute(int[4] quantize: 0 65535 0 65535); Output(a.tif null rgba camera); "
                 "Output(b null rgba camera); Output(c.exr null rgba camera); Output(d.png null "
                 "rgba camera); " +
                 Exposure +
                 "Parameter(float dither: 0.5); Parameter(int[4] quantize: 0 255 0 255); "
                 "Output(f.jpg jpeg rgb camera); " +
                 Still + "; Output(f.jpg null rgba camera); " + Still +
                 "; W: test.rib:6: Display mode \"rgbaz\" is not supported. Writing \"rgba\" ...; "
                 "W: test.rib:7: Display mode \"N\" is not supported. Ignoring ..."},
            // Frames save and restore the options, the displays and the camera.
            {"Display \"out.tif\" \"file\" \"rgb\"\nTranslate 0 0 1\n"
             "FrameBegin 1\nTranslate 0 0 2\nDisplay \"f1.png\" \"file\" \"rgba\"\nExposure 2 1\n"
             "WorldBegin\nWorldEnd\nFrameEnd\n"
             "FrameBegin 2\nWorldBegin\nWorldEnd\nFrameEnd\n"
             "FrameBegin 3\nFrameBegin 4\nFrameEnd\nFrameEnd\n",
             Push +
                 "Attribute(int frame: 1); Parameter(float gain: 2); Parameter(float gamma: 1); "
                 "Output(f1.png png rgba camera); " +
                 moved("0", "0", "-3") + Frame + Pop + Push +
                 "Attribute(int frame: 2); Output(f1.png null rgba camera); Parameter(float "
                 "gain: 1); Parameter(float gamma: 1); Output(out.tif tiff rgb camera); " +
                 moved("0", "0", "-1") + Frame + Pop + Push +
                 "Attribute(int frame: 3); PopAttributes(); PopOptions(); E: test.rib:15: "
                 "FrameBegin: not allowed inside FrameBegin. Skipping ...; E: test.rib:17: "
                 "FrameEnd: no matching FrameBegin. Skipping ..."},
        },
        false);
}
