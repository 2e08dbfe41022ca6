// MakeTexture, MakeLatLongEnvironment, MakeCubeFaceEnvironment and MakeShadow (shadow-map names
// given to lights: scene_test): the files written (their format, tiled, MIP-mapped, with their wrap
// modes), what a texture system reads from them, and the messages.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <OpenImageIO/texture.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <tuple>

#include "tests/rib/recorder.h"

using ovotest::Recorder;

namespace {

using Rgb = std::array<float, 3>;

// A picture of one colour, `size` pixels square.
void writePicture(const std::string& file, const Rgb& colour, int size = 8) {
    OIIO::ImageBuf image(OIIO::ImageSpec(size, size, 3, OIIO::TypeDesc::FLOAT));
    OIIO::ImageBufAlgo::fill(image, colour);
    ASSERT_TRUE(image.write(file)) << image.geterror();
}

// The colour an environment shows along d, as the renderer configures its texture system.
Rgb lookAt(const std::string& file, const Rgb& d) {
    std::unique_ptr<OIIO::TextureSystem, void (*)(OIIO::TextureSystem*)> ts(
        OIIO::TextureSystem::create(false),
        [](OIIO::TextureSystem* t) { OIIO::TextureSystem::destroy(t); });
    ts->attribute("latlong_up", "z");
    OIIO::TextureOpt opt;
    Rgb c = {-1.0f, -1.0f, -1.0f};
    const OIIO::V3fParam zero(0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(ts->environment(OIIO::ustring(file), opt, OIIO::V3fParam(d[0], d[1], d[2]), zero,
                                zero, 3, c.data()));
    return c;
}

}  // namespace

// The texture lands next to the scene file, tiled and MIP-mapped with the wrap modes asked
// for, and that folder joins the texture search path. A name no image format claims (".tx",
// ".tex", ".map") is written as TIFF; one a format knows keeps that format.
TEST(RibTextures, MakeTextureWritesAMipMappedFileNextToTheScene) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        // name, swrap, twrap, the format written
        {"grid.tx", "periodic", "clamp", "tiff"},
        {"grid.tex", "clamp", "periodic", "tiff"},
        {"grid.map", "mirror", "black", "tiff"},
        {"grid.exr", "periodic", "clamp", "openexr"},
    };
    const Rgb colour = {0.2f, 0.4f, 0.6f};
    for (const auto& [name, swrap, twrap, format] : cases) {
        SCOPED_TRACE(name);
        ovotest::ScratchDir dir;
        writePicture(dir / "grid.png", colour, 64);
        Recorder r;
        r.read("MakeTexture \"grid.png\" \"" + std::string(name) + "\" \"" + swrap + "\" \"" +
                   twrap + "\" \"gaussian\" 2 2\n",
               dir / "scene.rib");
        EXPECT_EQ(r.all(), "Attribute(string path:texture: &:" + dir.path + ")");
        auto in = OIIO::ImageInput::open(dir / name);
        ASSERT_TRUE(in);
        EXPECT_EQ(std::string(in->format_name()), format);
        EXPECT_GT(in->spec().tile_width, 0);
        EXPECT_EQ(in->spec().get_string_attribute("wrapmodes"), std::string(swrap) + "," + twrap);
        int levels = 0;
        while (in->seek_subimage(0, levels)) ++levels;
        EXPECT_EQ(levels, 7);  // 64, 32, ..., 1
        for (int level : {0, levels - 1}) {
            OIIO::ImageBuf back(dir / name, 0, level);
            float pixel[3] = {0.0f, 0.0f, 0.0f};
            back.getpixel(level ? 0 : 5, level ? 0 : 7, pixel);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(pixel[k], colour[k], 0.01f) << level;
        }
    }
}

// Each bad request is reported and does nothing: none of them touches the texture path.
TEST(RibTextures, BadRequestsAreRefused) {
    ovotest::ScratchDir dir;
    writePicture(dir / "a.png", {1, 1, 1});
    writePicture(dir / "b.png", {1, 1, 1}, 16);
    Recorder r;
    r.read(
        "MakeTexture \"a.png\" \"a.tx\" \"sideways\" \"clamp\" \"box\" 1 1\n"
        "MakeTexture \"a.png\" \"a.tx\" \"black\" \"clamp\" \"bessel-ish\" 1 1\n"
        "MakeTexture \"none.png\" \"a.tx\" \"black\" \"clamp\" \"box\" 1 1\n"
        "MakeTexture \"a.png\" \"a.tx\" \"black\"\n"
        "MakeLatLongEnvironment \"none.png\" \"sky.tx\" \"box\" 1 1\n"
        "MakeCubeFaceEnvironment \"a\" \"b\" \"c\" \"d\" \"e\" \"f\" \"cube.tx\" 60 \"box\" 1 1\n"
        "MakeShadow \"depth.z\" \"depth.shd\"\nMakeShadow \"depth2.z\" \"depth2.shd\"\n"
        // Every face must be the size of the first.
        "MakeCubeFaceEnvironment \"b.png\" \"b.png\" \"b.png\" \"b.png\" \"b.png\" \"a.png\" "
        "\"cube.tx\" 90 \"box\" 1 1\n",
        dir / "scene.rib");
    EXPECT_EQ(ovotest::replaced(r.all(), dir.path, "DIR"),
              "E: DIR/scene.rib:1: MakeTexture: unknown wrap mode \"sideways\". Skipping ...; E: "
              "DIR/scene.rib:2: MakeTexture: unknown "
              "filter \"bessel-ish\". Skipping ...; E: DIR/scene.rib:3: MakeTexture: cannot find "
              "picture \"none.png\". Skipping ...; E: DIR/scene.rib:4: MakeTexture: missing "
              "argument 4. Skipping ...; E: DIR/scene.rib:5: MakeLatLongEnvironment: cannot find "
              "picture \"none.png\". Skipping ...; E: DIR/scene.rib:6: MakeCubeFaceEnvironment: "
              "field of view 60 must be 90 to 180 degrees. Skipping ...; W: DIR/scene.rib:7: "
              "MakeShadow: OVO traces its shadows and makes no shadow maps; lights trace with "
              "\"raytrace\". Ignoring ...; E: DIR/scene.rib:9: MakeCubeFaceEnvironment: face "
              "\"a.png\" is not square like the first face, with as many channels. Skipping ...");
}

// A lat-long picture whose upper half is one colour shows that colour straight up (z). Six
// cube faces of six colours: each axis shows its own face, for faces of 90 degrees and for
// slightly wider ones (faces of unequal sizes: BadRequestsAreRefused).
TEST(RibTextures, EnvironmentsShowTheirPicturesAlongTheAxes) {
    ovotest::ScratchDir dir;
    OIIO::ImageBuf sky(OIIO::ImageSpec(32, 16, 3, OIIO::TypeDesc::FLOAT));
    OIIO::ImageBufAlgo::fill(sky, {0.1f, 0.5f, 0.9f}, OIIO::ROI(0, 32, 0, 8));
    OIIO::ImageBufAlgo::fill(sky, {0.9f, 0.5f, 0.1f}, OIIO::ROI(0, 32, 8, 16));
    ASSERT_TRUE(sky.write(dir / "sky.exr"));
    Recorder r;
    r.read("MakeLatLongEnvironment \"sky.exr\" \"sky.tx\" \"catmull-rom\" 1 1\n", dir / "s.rib");
    EXPECT_TRUE(r.diagnostics().empty());
    EXPECT_NEAR(lookAt(dir / "sky.tx", {0, 0, 1})[2], 0.9f, 0.01f);
    EXPECT_NEAR(lookAt(dir / "sky.tx", {1, 0, -1})[0], 0.9f, 0.01f);

    const char* names[6] = {"px.tif", "nx.tif", "py.tif", "ny.tif", "pz.tif", "nz.tif"};
    const Rgb colours[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    for (int f = 0; f < 6; ++f) writePicture(dir / names[f], colours[f], 16);
    const Rgb axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const char* fov : {"90", "95"}) {
        SCOPED_TRACE(fov);
        r.read(std::string("MakeCubeFaceEnvironment \"px.tif\" \"nx.tif\" \"py.tif\" \"ny.tif\" "
                           "\"pz.tif\" \"nz.tif\" \"cube.tx\" ") +
                   fov + " \"box\" 1 1\n",
               dir / "s.rib");
        EXPECT_TRUE(r.diagnostics().empty());
        for (int f = 0; f < 6; ++f) {
            const Rgb c = lookAt(dir / "cube.tx", axes[f]);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(c[k], colours[f][k], 0.02f) << names[f];
        }
    }
}
