// Textures made from pictures: MakeTexture, MakeLatLongEnvironment and MakeCubeFaceEnvironment
// write tiled, MIP-mapped files through OpenImageIO's texture maker (what maketx writes);
// MakeShadow and shadow-map names are answered with traced shadows.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstring>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

// The filters of the scene format by the names OpenImageIO knows them by; the MIP levels are
// made with them.
const char* mipFilter(const std::string& name) {
    static const char* const Names[][2] = {
        {"box", "box"},
        {"triangle", "triangle"},
        {"catmull-rom", "catmull-rom"},
        {"b-spline", "bspline"},
        {"gaussian", "gaussian"},
        {"sinc", "sinc"},
        {"disk", "disk"},
        {"mitchell", "mitchell"},
        {"lanczos", "lanczos3"},
        {"blackman-harris", "blackman-harris"},
    };
    for (const auto& n : Names)
        if (name == n[0]) return n[1];
    return nullptr;
}

bool isWrapMode(const std::string& mode) {
    return mode == "black" || mode == "clamp" || mode == "periodic" || mode == "mirror";
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

// Writes `picture` as a texture; false with OpenImageIO's reason when it cannot.
bool writeTexture(OIIO::ImageBufAlgo::MakeTextureMode mode, const OIIO::ImageBuf& picture,
                  const std::string& output, const std::string& wrapmodes, const char* filter,
                  std::string& why) {
    OIIO::ImageSpec config;
    config.attribute("wrapmodes", wrapmodes);
    // Scenes name their textures ".tex" and the like, which no image format claims: those are
    // written as TIFF, what such files have always been.
    if (!OIIO::ImageOutput::create(output)) {
        OIIO::geterror();  // the failed look-up's message is not this request's
        config.attribute("maketx:fileformatname", "tiff");
    }
    if (filter) config.attribute("maketx:filtername", filter);
    if (OIIO::ImageBufAlgo::make_texture(mode, picture, output, config)) return true;
    why = OIIO::geterror();
    return false;
}

bool readPicture(const std::string& file, OIIO::ImageBuf& picture, std::string& why) {
    picture.reset(file);
    if (picture.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return true;
    why = picture.geterror();
    return false;
}

}  // namespace

std::string Reader::findPicture(const Request& request, const std::string& name) {
    for (const std::string& file : candidates(name, "string path:texture"))
        if (fileExists(file)) return file;
    fail(request, "cannot find picture \"" + name + "\"");
    return std::string();
}

std::string Reader::textureOutput(const std::string& name) {
    const std::string dir = currentFile ? currentFile->dir : std::string();
    if (name.empty() || name[0] == '/' || dir.empty()) return name;
    addTextureFolder(dir);
    return dir + "/" + name;
}

void Reader::addTextureFolder(const std::string& folder) {
    const char* path = nullptr;
    if (renderer->GetAttribute("string path:texture", path) && path) {
        const std::string list = std::string(":") + path + ":";
        if (list.find(":" + folder + ":") != std::string::npos) return;
    }
    renderer->Attribute("string path:texture", ("&:" + folder).c_str());
}

// MakeTexture "picture" "texture" swrap twrap filter swidth twidth [parameters]
void Reader::doMakeTexture(const Request& request) {
    Args a(request);
    std::string picture, texture, swrap, twrap, filter;
    double width[2];
    if (!a.string(picture) || !a.string(texture) || !a.string(swrap) || !a.string(twrap) ||
        !a.string(filter) || !a.numbers(2, width))
        return fail(request, a.error());
    for (const std::string& mode : {swrap, twrap})
        if (!isWrapMode(mode)) return fail(request, "unknown wrap mode \"" + mode + "\"");
    const char* mip = mipFilter(filter);
    if (!mip) return fail(request, "unknown filter \"" + filter + "\"");
    const std::string file = findPicture(request, picture);
    if (file.empty()) return;
    OIIO::ImageBuf image;
    std::string why;
    if (!readPicture(file, image, why) ||
        !writeTexture(OIIO::ImageBufAlgo::MakeTxTexture, image, textureOutput(texture),
                      swrap + "," + twrap, mip, why))
        return fail(request, "cannot make \"" + texture + "\" (" + why + ")");
}

// MakeLatLongEnvironment "picture" "texture" filter swidth twidth [parameters]
void Reader::doMakeLatLongEnvironment(const Request& request) {
    Args a(request);
    std::string picture, texture, filter;
    double width[2];
    if (!a.string(picture) || !a.string(texture) || !a.string(filter) || !a.numbers(2, width))
        return fail(request, a.error());
    const char* mip = mipFilter(filter);
    if (!mip) return fail(request, "unknown filter \"" + filter + "\"");
    const std::string file = findPicture(request, picture);
    if (file.empty()) return;
    OIIO::ImageBuf image;
    std::string why;
    if (!readPicture(file, image, why) ||
        !writeTexture(OIIO::ImageBufAlgo::MakeTxEnvLatl, image, textureOutput(texture),
                      "periodic,clamp", mip, why))
        return fail(request, "cannot make \"" + texture + "\" (" + why + ")");
}

// MakeCubeFaceEnvironment "px" "nx" "py" "ny" "pz" "nz" "texture" fov filter swidth twidth
// [parameters]: the six faces become one lat-long environment.
void Reader::doMakeCubeFaceEnvironment(const Request& request) {
    Args a(request);
    std::string names[6], texture, filter;
    double fov, width[2];
    for (std::string& n : names)
        if (!a.string(n)) return fail(request, a.error());
    if (!a.string(texture) || !a.number(fov) || !a.string(filter) || !a.numbers(2, width))
        return fail(request, a.error());
    if (!(fov >= 90.0 && fov < 180.0))
        return fail(request, "field of view " + numberText(fov) + " must be 90 to 180 degrees");
    const char* mip = mipFilter(filter);
    if (!mip) return fail(request, "unknown filter \"" + filter + "\"");
    OIIO::ImageBuf faces[6];
    std::string why;
    for (int f = 0; f < 6; ++f) {
        const std::string file = findPicture(request, names[f]);
        if (file.empty()) return;
        if (!readPicture(file, faces[f], why))
            return fail(request, "cannot make \"" + texture + "\" (" + why + ")");
        const OIIO::ImageSpec& spec = faces[f].spec();
        if (spec.width != spec.height || spec.width != faces[0].spec().width ||
            spec.nchannels != faces[0].spec().nchannels)
            return fail(request, "face \"" + names[f] +
                                     "\" is not square like the first face, with as many channels");
    }
    if (!writeTexture(OIIO::ImageBufAlgo::MakeTxEnvLatl, latLongFromFaces(faces, float(fov)),
                      textureOutput(texture), "periodic,clamp", mip, why))
        return fail(request, "cannot make \"" + texture + "\" (" + why + ")");
}

void Reader::doMakeShadow(const Request& request) {
    warnOnce(request, request.name,
             "MakeShadow: OVO traces its shadows and makes no shadow maps; lights trace with "
             "\"raytrace\". Ignoring ...");
}

void Reader::traceShadowMaps(const Request& request, std::vector<Emitted>& params) {
    for (Emitted& e : params) {
        const std::size_t space = e.decl.rfind(' ');
        if (e.kind != Emitted::Strings || e.strings.empty() || space == std::string::npos ||
            e.decl.compare(space + 1, std::string::npos, "shadowname") != 0)
            continue;
        std::string& name = e.strings[0];
        if (name.empty() || name == "raytrace") continue;
        warnOnce(request, "shadowname",
                 request.name + ": OVO traces its shadows: shadow map \"" + name +
                     "\" is not read, \"raytrace\" is used");
        name = "raytrace";
    }
}

}  // namespace rib
}  // namespace ovo
