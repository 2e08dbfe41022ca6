// Textures made from pictures: MakeTexture, MakeLatLongEnvironment and MakeCubeFaceEnvironment
// write tiled, MIP-mapped files through OpenImageIO's texture maker (what maketx writes);
// MakeShadow and shadow-map names are answered with traced shadows.
#include <cstring>

#include "core/image/library.h"
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

bool Reader::makeTexture(const Request& request, const image::TextureRequest& texture,
                         const std::string& name, const std::string* faceNames) {
    std::string why = "the image library is missing";
    int badFace = -1;
    const image::Bridge* bridge = image::bridge();
    if (bridge && bridge->makeTexture(texture, why, badFace)) {
        // Later lookups of a texture written beside the scene find it there; a refused request
        // leaves the path as it was.
        if (texture.output != name && currentFile) addTextureFolder(currentFile->dir);
        return true;
    }
    if (!bridge) why = image::loadError();
    if (badFace >= 0 && faceNames)
        fail(request, "face \"" + faceNames[badFace] +
                          "\" is not square like the first face, with as many channels");
    else
        fail(request, "cannot make \"" + name + "\" (" + why + ")");
    return false;
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
    image::TextureRequest made;
    made.pictures.push_back(findPicture(request, picture));
    if (made.pictures[0].empty()) return;
    made.output = textureOutput(texture);
    made.wrapModes = swrap + "," + twrap;
    made.filter = mip;
    makeTexture(request, made, texture);
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
    image::TextureRequest made;
    made.kind = image::TextureRequest::LatLong;
    made.pictures.push_back(findPicture(request, picture));
    if (made.pictures[0].empty()) return;
    made.output = textureOutput(texture);
    made.wrapModes = "periodic,clamp";
    made.filter = mip;
    makeTexture(request, made, texture);
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
    image::TextureRequest made;
    made.kind = image::TextureRequest::CubeFaces;
    made.fov = float(fov);
    for (const std::string& n : names) {
        made.pictures.push_back(findPicture(request, n));
        if (made.pictures.back().empty()) return;
    }
    made.output = textureOutput(texture);
    made.wrapModes = "periodic,clamp";
    made.filter = mip;
    makeTexture(request, made, texture, names);
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
