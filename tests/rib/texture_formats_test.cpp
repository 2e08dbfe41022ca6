// Textures named with an extension no image format claims (".tex", ".map") are written as
// TIFF, tiled, with the request's wrap modes; names a format knows keep that format.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

TEST(RibTextureFormats, UnknownExtensionsAreWrittenAsTiff) {
    const struct {
        const char* name;
        const char* swrap;
        const char* twrap;
        const char* format;
    } cases[] = {
        {"grid.tex", "clamp", "periodic", "tiff"},
        {"grid.map", "mirror", "black", "tiff"},
        {"grid.exr", "periodic", "clamp", "openexr"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ovotest::ScratchDir dir;
        OIIO::ImageBuf picture(OIIO::ImageSpec(16, 16, 3, OIIO::TypeDesc::FLOAT));
        const float colour[3] = {0.25f, 0.5f, 0.75f};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) picture.setpixel(x, y, colour);
        ASSERT_TRUE(picture.write(dir / "grid.png"));
        ovotest::Recorder r;
        r.read("MakeTexture \"grid.png\" \"" + std::string(c.name) + "\" \"" + c.swrap + "\" \"" +
                   c.twrap + "\" \"box\" 1 1\n",
               dir / "scene.rib");
        EXPECT_TRUE(r.diagnostics().empty()) << ovotest::join(r.diagnostics());
        auto in = OIIO::ImageInput::open(dir / c.name);
        ASSERT_TRUE(in) << OIIO::geterror();
        EXPECT_EQ(std::string(in->format_name()), c.format);
        EXPECT_GT(in->spec().tile_width, 0);
        EXPECT_EQ(in->spec().get_string_attribute("wrapmodes"),
                  std::string(c.swrap) + "," + c.twrap);
        OIIO::ImageBuf back(dir / c.name);
        float pixel[3] = {0.0f, 0.0f, 0.0f};
        back.getpixel(5, 7, pixel);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(pixel[k], colour[k], 0.01f);
    }
}
