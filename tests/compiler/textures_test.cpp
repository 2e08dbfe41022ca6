// texture(name, s, t) in compiled shaders, filtered over the pixel's footprint from the
// derivatives of s and t.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <cmath>

#include "compile_util.h"

namespace {

const char* Lookups = R"(
surface lookups(string map = ""; float form = 0) {
    if (form == 0)
        Ci = color texture(map, s, t);
    else if (form == 1)
        Ci = color texture(map);
    else if (form == 2)
        Ci = texture(map[1], s, t);  // a float from the second channel on
    else
        Ci = color texture(map, s, t, s, t, s, t, s, t);  // a footprint of no area
    Oi = 1;
}
)";

// A checkerboard of squares 4 texels wide, 64 texels across, white and black, made into a
// MIP-mapped texture.
std::string makeCheckerTexture(const ovotest::ScratchDir& dir) {
    OIIO::ImageBuf image(OIIO::ImageSpec(64, 64, 3, OIIO::TypeDesc::FLOAT));
    OIIO::ImageBufAlgo::checker(image, 4, 4, 1, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f});
    const std::string file = dir / "texels.tx";
    OIIO::ImageSpec config;
    config.attribute("wrapmodes", "periodic,periodic");
    EXPECT_TRUE(
        OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, image, file, config));
    return file;
}

// Seen head on, each of the 8 by 8 pixels spans two squares each way: filtered over that
// footprint the board is about its average grey everywhere, wherever the pixel's one sample
// falls. Looked up at single points (a quadrilateral of no area), a pixel shows the square
// under its sample: mostly white or black.
TEST(FilteredTextures, LookupsAtCoordinatesAverageTheTexelsUnderThePixel) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "lookups.sl", Lookups));
    const std::string texture = makeCheckerTexture(dir);
    for (int form : {0, 1, 2, 3}) {
        const std::string rib = ovotest::frameRib(
            8, 8, "PixelSamples 1 1\nPixelFilter \"box\" 1 1\nProjection \"orthographic\"",
            "Surface \"lookups\" \"string map\" [\"" + texture + "\"] \"float form\" [" +
                std::to_string(form) +
                "]\nPolygon \"P\" [-1 -1 1  1 -1 1  1 1 1  -1 1 1]\n"
                "  \"st\" [0.03125 0.03125  1.03125 0.03125  1.03125 1.03125  0.03125 1.03125]",
            dir.path);
        ovotest::Image image;
        ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image)) << form;
        int grey = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                // The float form reads the green channel, into all three.
                const ovo::Color c = image.at(x, y);
                grey += std::fabs(c.r - 0.5f) < 0.15f && std::fabs(c.g - 0.5f) < 0.15f;
            }
        if (form == 3)
            EXPECT_LT(grey, 32);
        else
            EXPECT_EQ(grey, 64) << "form " << form;
    }
}

}  // namespace
