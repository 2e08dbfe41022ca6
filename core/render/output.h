// Image outputs: opening writers for a film and writing its pixels to them. Writers that take
// rectangles in any order receive each finished region while rendering goes on; the others
// receive the whole film when the outputs are closed.
#pragma once

#include <string>
#include <vector>

#include "core/image/library.h"
#include "core/params/parameter.h"
#include "core/render/extent.h"

namespace ovo {

class Film;

// One image a camera writes.
struct OutputRecord {
    std::string name;    // image file name
    std::string type;    // format name handed to OpenImageIO ("png", "tiff", "openexr")
    std::string mode;    // "rgb", "rgba", "a" or "z"
    std::string camera;  // the camera it belongs to
    float gain = 1.0f;   // stored, not applied
    float gamma = 1.0f;
    int quantize[4] = {0, 255, 0, 255};
    float dither = 0.0f;
    ParameterSet parameters;
};

// The OpenImageIO format for a display type or a file extension: "tiff", "png", "openexr",
// ...; unknown words are passed on as they are (OpenImageIO may know them).
std::string imageFormatName(std::string word);
// The format a file name asks for by its extension; TIFF when it has none.
std::string imageFormatForFile(const std::string& name);

// Creates a writer for record.type (a format the host declared, else OpenImageIO's, loading
// the image library if need be), describes the film's window, the channels of record.mode
// ("rgb", "rgba", "a" or "z") and record.gamma, opens record.name and attaches the writer to
// the film. False, with nothing attached, when the format has no writer (failure NoWriter),
// the mode is none of the four (NoWriter too) or the file cannot be opened (CannotOpen).
bool openOutput(Film& film, const OutputRecord& record, const std::string& pluginSearchPath,
                image::OpenFailure* failure = nullptr);

// Writes the already normalised pixels of `pixels` (inclusive bounds) to every writer that
// accepts regions. scratch is reused for gamma-corrected copies.
void writeRegion(Film& film, const RasterExtent& pixels, std::vector<float>& scratch);
// The same for a film that is not normalised yet (streaming): each pixel is divided by its
// weight on the way out.
void writeRegionNormalising(Film& film, const RasterExtent& pixels, std::vector<float>& scratch);
// Writes the whole film to the writers that accepted no regions, then closes every writer.
// A second call does nothing.
void writeAndCloseOutputs(Film& film);

}  // namespace ovo
