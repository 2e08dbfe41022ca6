#include "core/render/output.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/render/film.h"

namespace ovo {

namespace {

enum Mode { ModeNone, ModeRgb, ModeRgba, ModeAlpha, ModeDepth };

Mode modeOf(const std::string& mode) {
    if (mode == "rgb") return ModeRgb;
    if (mode == "rgba") return ModeRgba;
    if (mode == "a") return ModeAlpha;
    if (mode == "z") return ModeDepth;
    return ModeNone;
}

int channelsOf(Mode m) { return m == ModeRgb ? 3 : m == ModeRgba ? 4 : m == ModeNone ? 0 : 1; }

// Display gamma: non-positive values (and NaN) become 0 so that pow never sees them.
inline float encode(float c, float invGamma) {
    return c > 0.0f ? (invGamma == 1.0f ? c : std::pow(c, invGamma)) : 0.0f;
}

// Copies a rectangle (inclusive bounds) into a float buffer of the mode's channels, with
// r, g, b gamma-encoded (unless encodeColour is false: then as they are) and, when normalise is
// set, everything divided by the weight. The film sums in double; outputs get floats. With an
// imager, colour modes read its pixels, which are final.
void fillBuffer(const Film& film, const RasterExtent& r, Mode mode, float invGamma, bool normalise,
                bool encodeColour, std::vector<float>& buffer) {
    const int nch = channelsOf(mode);
    // The colour outputs write what the imager made of the weighted pixels.
    const bool imaged = film.hasImager() && (mode == ModeRgb || mode == ModeRgba);
    buffer.resize(size_t(r.x1 - r.x0 + 1) * size_t(r.y1 - r.y0 + 1) * size_t(nch));
    float* out = buffer.data();
    for (int y = r.y0; y <= r.y1; ++y) {
        for (int x = r.x0; x <= r.x1; ++x) {
            const FilmPixel& p = film.pixel(x, y);
            const double inv = normalise && p.weight != 0.0 ? 1.0 / p.weight : 1.0;
            if (mode == ModeAlpha) {
                *out++ = float(p.a * inv);
            } else if (mode == ModeDepth) {
                *out++ = float(p.depth());
            } else if (imaged) {
                const float* c = film.imagedPixel(x, y);
                for (int k = 0; k < 3; ++k) *out++ = encodeColour ? encode(c[k], invGamma) : c[k];
                if (mode == ModeRgba) *out++ = c[3];
            } else {
                const float c[3] = {float(p.r * inv), float(p.g * inv), float(p.b * inv)};
                for (float v : c) *out++ = encodeColour ? encode(v, invGamma) : v;
                if (mode == ModeRgba) *out++ = float(p.a * inv);
            }
        }
    }
}

// Clamps an inclusive rectangle to the film window; false when nothing is left.
bool clampToFilm(const Film& film, const RasterExtent& in, RasterExtent& out) {
    out.x0 = std::max(in.x0, film.x0());
    out.x1 = std::min(in.x1, film.x0() + film.width() - 1);
    out.y0 = std::max(in.y0, film.y0());
    out.y1 = std::min(in.y1, film.y0() + film.height() - 1);
    return out.x0 <= out.x1 && out.y0 <= out.y1;
}

void writeRegion(Film& film, const RasterExtent& region, bool normalise,
                 std::vector<float>& scratch) {
    if (film.outputsClosed()) return;
    RasterExtent r;
    if (!clampToFilm(film, region, r)) return;
    const auto& outputs = film.getOutputs();
    for (size_t i = 0; i < outputs.size(); ++i) {
        ImageWriter& out = *outputs[i];
        const Mode mode = modeOf(film.getModes()[i]);
        if (mode == ModeNone || !out.acceptsRegions()) continue;
        const float gamma = film.getGammas()[i];
        const bool colour = mode == ModeRgb || mode == ModeRgba;
        const bool encodeColour = (colour && gamma != 1.0f) || (normalise && mode != ModeDepth);
        fillBuffer(film, r, mode, colour ? 1.0f / gamma : 1.0f, normalise, encodeColour, scratch);
        out.writeRectangle(r.x0, r.x1 + 1, r.y0, r.y1 + 1, scratch.data());
    }
}

}  // namespace

std::string imageFormatName(std::string word) {
    for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (word == "tif" || word == "tiff" || word == "zfile" || word == "shadow") return "tiff";
    if (word == "exr" || word == "openexr") return "openexr";
    if (word == "jpg" || word == "jpeg") return "jpeg";
    if (word == "tga" || word == "targa") return "targa";
    if (word == "ppm" || word == "pgm" || word == "pnm") return "pnm";
    if (word == "sgi" || word == "rgb") return "sgi";
    return word;
}

std::string imageFormatForFile(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == name.size())
        return "tiff";
    return imageFormatName(name.substr(dot + 1));
}

bool openOutput(Film& film, const OutputRecord& record, const std::string& pluginSearchPath,
                image::OpenFailure* failure) {
    image::OpenFailure why = image::OpenFailure::NoWriter;
    if (failure) *failure = why;
    const Mode mode = modeOf(record.mode);
    if (mode == ModeNone) return false;

    ImageLayout layout;
    layout.x = film.x0();
    layout.y = film.y0();
    layout.width = film.width();
    layout.height = film.height();
    layout.fullWidth = int(film.xResolution());
    layout.fullHeight = int(film.yResolution());
    // A quantisation whose "one" is zero asks for the values themselves: floats, or halves
    // where the format has them; otherwise 8 bits. The 8-bit format quantises 0..1 to 0..255
    // with clamping; OpenImageIO has no separate quantisation settings, so other ranges are
    // not honoured.
    layout.values = record.quantize[1] == 0;
    layout.gamma = record.gamma;
    switch (mode) {
        case ModeRgb:
            layout.channels = {"R", "G", "B"};
            break;
        case ModeRgba:
            layout.channels = {"R", "G", "B", "A"};
            layout.alphaChannel = 3;
            break;
        case ModeAlpha:
            layout.channels = {"A"};
            layout.alphaChannel = 0;
            break;
        default:
            layout.channels = {"Z"};
            layout.depthChannel = 0;
            break;
    }

    std::unique_ptr<ImageWriter> out;
    if (const ImageWriterFactory declared = declaredImageFormat(record.type)) {
        out.reset(declared(record.name, layout));
        why = image::OpenFailure::CannotOpen;
    } else if (const image::Bridge* bridge = image::bridge()) {
        out.reset(bridge->openWriter(record.type, pluginSearchPath, record.name, layout, why));
    } else {
        why = image::OpenFailure::NoLibrary;
    }
    if (!out) {
        if (failure) *failure = why;
        return false;
    }
    if (failure) *failure = image::OpenFailure::None;
    film.addOutput(std::move(out), record.mode, record.gamma);
    return true;
}

void writeRegion(Film& film, const RasterExtent& pixels, std::vector<float>& scratch) {
    writeRegion(film, pixels, false, scratch);
}

void writeRegionNormalising(Film& film, const RasterExtent& pixels, std::vector<float>& scratch) {
    writeRegion(film, pixels, true, scratch);
}

void writeAndCloseOutputs(Film& film) {
    if (film.outputsClosed()) return;
    film.outputsClosed(true);
    const auto& outputs = film.getOutputs();
    std::vector<float> buffer;
    for (size_t i = 0; i < outputs.size(); ++i) {
        ImageWriter& out = *outputs[i];
        const Mode mode = modeOf(film.getModes()[i]);
        if (mode != ModeNone && !out.acceptsRegions() && film.width() > 0 && film.height() > 0) {
            const float gamma = film.getGammas()[i];
            const bool encodeColour = (mode == ModeRgb || mode == ModeRgba) && gamma != 1.0f;
            const RasterExtent all = {film.x0(), film.x0() + film.width() - 1, film.y0(),
                                      film.y0() + film.height() - 1};
            fillBuffer(film, all, mode, 1.0f / gamma, false, encodeColour, buffer);
            out.writeImage(buffer.data());
        }
        out.close();
    }
}

}  // namespace ovo
