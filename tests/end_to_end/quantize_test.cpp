// Quantize: "rgba" and "z" with a zero "one" write the values themselves (floats, halves for
// OpenEXR), so bright colours and depths survive; without it images stay 8-bit.
#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>

#include <string>

#include "tests/common/test_util.h"

namespace {

struct QuantizeCase {
    const char* what;
    const char* options;  // RIB before WorldBegin, besides the camera
    const char* file;     // the image to look at
    OIIO::TypeDesc::BASETYPE stored;
    float centre;  // the first channel at the centre: a colour of 3; negative for a depth
};

}  // namespace

TEST(OvoQuantize, ZeroOneWritesFloatPixels) {
    const QuantizeCase cases[] = {
        {"default colour", "Display \"a.tif\" \"file\" \"rgba\"\n", "a.tif", OIIO::TypeDesc::UINT8,
         1.0f},
        {"float colour", "Quantize \"rgba\" 0 0 0 0\nDisplay \"b.tif\" \"file\" \"rgba\"\n",
         "b.tif", OIIO::TypeDesc::FLOAT, 3.0f},
        {"half colour in OpenEXR",
         "Quantize \"rgba\" 0 0 0 0\nDisplay \"c.exr\" \"openexr\" \"rgba\"\n", "c.exr",
         OIIO::TypeDesc::HALF, 3.0f},
        {"8-bit colour asked for",
         "Quantize \"rgba\" 255 0 255 0.5\nDisplay \"d.tif\" \"file\" \"rgba\"\n", "d.tif",
         OIIO::TypeDesc::UINT8, 1.0f},
        {"float depth beside 8-bit colour",
         "Quantize \"z\" 0 0 0 0\nDisplay \"e.tif\" \"file\" \"rgba\"\nDisplay \"+f.tif\" \"file\" "
         "\"z\"\n",
         "f.tif", OIIO::TypeDesc::FLOAT, -1.0f},
        {"the colour of that frame stays 8-bit",
         "Quantize \"z\" 0 0 0 0\nDisplay \"g.tif\" \"file\" \"rgba\"\nDisplay \"+h.tif\" \"file\" "
         "\"z\"\n",
         "g.tif", OIIO::TypeDesc::UINT8, 1.0f},
    };
    for (const QuantizeCase& c : cases) {
        SCOPED_TRACE(c.what);
        ovotest::ScratchDir dir;
        dir.write("scene.rib",
                  std::string(c.options) +
                      "Format 9 9 1\nProjection \"orthographic\"\nPixelSamples 1 1\n"
                      "PixelFilter \"box\" 1 1\nWorldBegin\nTranslate 0 0 5\nColor 3 3 3\n"
                      "Surface \"constant\"\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n");
        const std::string command =
            "cd '" + dir.path + "' && " + OVO_BINARY_DIR + "/bin/ovo scene.rib";
        EXPECT_EQ(ovotest::runCommand(command + " 2>&1").status, 0);
        OIIO::ImageBuf image(dir / c.file);
        ASSERT_TRUE(image.init_spec(image.name(), 0, 0)) << image.geterror();
        EXPECT_EQ(image.spec().format.basetype, c.stored);
        float centre[4] = {0, 0, 0, 0};
        ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
        image.getpixel(4, 4, centre, 4);
        if (c.centre >= 0) {
            EXPECT_NEAR(centre[0], c.centre, 0.01f);
        } else {
            // The sphere is nearer than the empty corner, and its depth is not rounded away.
            float corner[4] = {0, 0, 0, 0};
            image.getpixel(0, 0, corner, 4);
            EXPECT_GT(centre[0], 0.0f);
            EXPECT_LT(centre[0], corner[0]);
        }
    }
}
