// libovo_imageio: the only part of the core that links libOpenImageIO. libovo loads it when a
// frame needs its writers, its texture system or its texture maker (core/image/library.h).
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <OpenImageIO/texture.h>

#include <cmath>
#include <memory>

#include "core/image/library.h"

namespace ovo {
namespace image {

namespace {

// A file written by OpenImageIO.
class FileWriter : public ImageWriter {
  public:
    explicit FileWriter(std::unique_ptr<OIIO::ImageOutput> o) : out(std::move(o)) {
        // Writers that claim random access but not rectangles would fail every
        // write_rectangle, so both are required.
        regions = out->supports("random_access") && out->supports("rectangles");
    }
    ~FileWriter() override { out->close(); }
    bool acceptsRegions() const override { return regions; }
    bool writeRectangle(int x0, int x1, int y0, int y1, const float* pixels) override {
        return out->write_rectangle(x0, x1, y0, y1, 0, 1, OIIO::TypeDesc::FLOAT, pixels);
    }
    bool writeImage(const float* pixels) override {
        return out->write_image(OIIO::TypeDesc::FLOAT, pixels);
    }
    bool close() override { return out->close(); }

  private:
    std::unique_ptr<OIIO::ImageOutput> out;
    bool regions = false;
};

ImageWriter* openWriter(const std::string& format, const std::string& pluginSearchPath,
                        const std::string& file, const ImageLayout& layout, OpenFailure& failure) {
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(format, pluginSearchPath);
    if (!out) {
        OIIO::geterror();  // the failed look-up's message belongs to no later request
        failure = OpenFailure::NoWriter;
        return nullptr;
    }
    OIIO::TypeDesc pixelType = OIIO::TypeDesc::UINT8;
    if (layout.values)
        pixelType = format == "openexr" ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT;
    OIIO::ImageSpec imageSpec(layout.width, layout.height, int(layout.channels.size()), pixelType);
    imageSpec.x = layout.x;
    imageSpec.y = layout.y;
    imageSpec.z = 0;
    imageSpec.full_x = imageSpec.full_y = imageSpec.full_z = 0;
    imageSpec.full_width = layout.fullWidth;
    imageSpec.full_height = layout.fullHeight;
    imageSpec.full_depth = 1;
    imageSpec.tile_width = imageSpec.tile_height = 0;
    imageSpec.channelnames = layout.channels;
    imageSpec.alpha_channel = layout.alphaChannel;
    imageSpec.z_channel = layout.depthChannel;
    if (layout.gamma == 1.0f) {
        imageSpec.attribute("oiio:ColorSpace", "Linear");
        imageSpec.erase_attribute("oiio:Gamma", OIIO::TypeFloat);
    } else {
        imageSpec.attribute("oiio:ColorSpace", "GammaCorrected");
        imageSpec.attribute("oiio:Gamma", layout.gamma);
    }
    if (!out->open(file, imageSpec)) {
        out->geterror();
        failure = OpenFailure::CannotOpen;
        return nullptr;
    }
    failure = OpenFailure::None;
    return new FileWriter(std::move(out));
}

// One face of a cube, seen by a camera at the centre looking along the face's axis with y up
// (-z up for +y, +z up for -y): which axis, its sign, and the directions of the image's
// x (right) and y (down) as (axis, sign) pairs.
struct Face {
    int axis;
    float sign;
    int right;
    float rightSign;
    int down;
    float downSign;
};
const Face Faces[6] = {
    {0, 1.0f, 2, -1.0f, 1, -1.0f}, {0, -1.0f, 2, 1.0f, 1, -1.0f},   // px, nx
    {1, 1.0f, 0, 1.0f, 2, 1.0f},   {1, -1.0f, 0, 1.0f, 2, -1.0f},   // py, ny
    {2, 1.0f, 0, 1.0f, 1, -1.0f},  {2, -1.0f, 0, -1.0f, 1, -1.0f},  // pz, nz
};

// The lat-long picture (z up, as the texture system reads it) of six cube faces whose
// fields of view are `fov` degrees: every pixel takes the face its direction meets.
OIIO::ImageBuf latLongFromFaces(const OIIO::ImageBuf faces[6], float fov) {
    const int size = faces[0].spec().width, channels = faces[0].spec().nchannels;
    OIIO::ImageBuf out(OIIO::ImageSpec(4 * size, 2 * size, channels, OIIO::TypeDesc::FLOAT));
    const float extent = std::tan(0.5f * fov * 3.14159265f / 180.0f);
    std::vector<float> pixel(size_t(channels), 0.0f);
    for (int y = 0; y < 2 * size; ++y) {
        const float latitude = (0.5f - (y + 0.5f) / (2.0f * size)) * 3.14159265f;
        for (int x = 0; x < 4 * size; ++x) {
            const float longitude = ((x + 0.5f) / (4.0f * size) - 0.5f) * 6.2831853f;
            const float d[3] = {std::cos(latitude) * std::cos(longitude),
                                std::cos(latitude) * std::sin(longitude), std::sin(latitude)};
            int major = 0;
            for (int a = 1; a < 3; ++a)
                if (std::fabs(d[a]) > std::fabs(d[major])) major = a;
            const int f = 2 * major + (d[major] < 0.0f ? 1 : 0);
            const Face& face = Faces[f];
            const float m = std::fabs(d[major]) * extent;
            const float u = face.rightSign * d[face.right] / m;
            const float v = face.downSign * d[face.down] / m;
            faces[f].interppixel_NDC(0.5f * (u + 1.0f), 0.5f * (v + 1.0f), pixel.data(),
                                     OIIO::ImageBuf::WrapClamp);
            out.setpixel(x, y, pixel.data());
        }
    }
    return out;
}

bool readPicture(const std::string& file, OIIO::ImageBuf& picture, std::string& why) {
    picture.reset(file);
    if (picture.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return true;
    why = picture.geterror();
    return false;
}

bool makeTexture(const TextureRequest& request, std::string& why, int& badFace) {
    badFace = -1;
    const size_t count = request.kind == TextureRequest::CubeFaces ? 6 : 1;
    if (request.pictures.size() != count) {
        why = "wrong number of pictures";
        return false;
    }
    OIIO::ImageBuf pictures[6];
    for (size_t f = 0; f < count; ++f) {
        if (!readPicture(request.pictures[f], pictures[f], why)) return false;
        const OIIO::ImageSpec& face = pictures[f].spec();
        if (count == 6 && (face.width != face.height || face.width != pictures[0].spec().width ||
                           face.nchannels != pictures[0].spec().nchannels)) {
            badFace = int(f);
            return false;
        }
    }
    OIIO::ImageSpec config;
    config.attribute("wrapmodes", request.wrapModes);
    // Scenes name their textures ".tex" and the like, which no image format claims: those are
    // written as TIFF, what such files have always been.
    if (!OIIO::ImageOutput::create(request.output)) {
        OIIO::geterror();  // the failed look-up's message is not this request's
        config.attribute("maketx:fileformatname", "tiff");
    }
    if (!request.filter.empty()) config.attribute("maketx:filtername", request.filter);
    const bool made = request.kind == TextureRequest::Plain
                          ? OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture,
                                                             pictures[0], request.output, config)
                          : OIIO::ImageBufAlgo::make_texture(
                                OIIO::ImageBufAlgo::MakeTxEnvLatl,
                                count == 6 ? latLongFromFaces(pictures, request.fov) : pictures[0],
                                request.output, config);
    if (!made) why = OIIO::geterror();
    return made;
}

// The process's shared texture system, so that image caches are shared too.
OIIO::TextureSystem* createTextureSystem() { return OIIO::TextureSystem::create(true); }
void destroyTextureSystem(OIIO::TextureSystem* system) { OIIO::TextureSystem::destroy(system); }

bool readImage(const std::string& file, int& width, int& height, int& channels,
               std::vector<float>& pixels) {
    auto in = OIIO::ImageInput::open(file);
    if (!in) {
        OIIO::geterror();
        return false;
    }
    const OIIO::ImageSpec& picture = in->spec();
    width = picture.width, height = picture.height, channels = picture.nchannels;
    pixels.resize(size_t(width) * size_t(height) * size_t(channels));
    return in->read_image(0, 0, 0, channels, OIIO::TypeDesc::FLOAT, pixels.data());
}

const Bridge Exported = {openWriter, makeTexture, createTextureSystem, destroyTextureSystem,
                         readImage};

}  // namespace

}  // namespace image
}  // namespace ovo

extern "C" __attribute__((visibility("default"))) const ovo::image::Bridge* ovo_image_bridge() {
    return &ovo::image::Exported;
}
