// Image format names for output files, shared by the RIB reader and the ovo command:
// the OpenImageIO format that writes a file name's extension.
#pragma once

#include <cctype>
#include <string>

namespace ovo {
namespace rib {

// "tiff", "png", "openexr", ... for a RIB display type or a file extension; unknown
// words are passed on as they are (OpenImageIO may know them).
inline std::string imageFormatName(std::string word) {
    for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (word == "tif" || word == "tiff" || word == "zfile" || word == "shadow") return "tiff";
    if (word == "exr" || word == "openexr") return "openexr";
    if (word == "jpg" || word == "jpeg") return "jpeg";
    if (word == "tga" || word == "targa") return "targa";
    if (word == "ppm" || word == "pgm" || word == "pnm") return "pnm";
    if (word == "sgi" || word == "rgb") return "sgi";
    return word;
}

// The format a file name asks for by its extension; TIFF when it has none.
inline std::string imageFormatForFile(const std::string& name) {
    std::size_t slash = name.rfind('/');
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == name.size())
        return "tiff";
    return imageFormatName(name.substr(dot + 1));
}

}  // namespace rib
}  // namespace ovo
