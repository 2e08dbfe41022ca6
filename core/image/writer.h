// Image writers: what the film hands its pixels to. Files are written by OpenImageIO through the
// image library (core/image/library.h); a host may declare formats of its own (a window, a
// viewer) whose writers it makes itself.
#pragma once

#include <string>
#include <vector>

namespace ovo {

// What one image holds: the window written, inside an image of the full size, and its
// channels by name ("R", "G", "B", "A" or "Z").
struct ImageLayout {
    int x = 0, y = 0, width = 0, height = 0;
    int fullWidth = 0, fullHeight = 0;
    std::vector<std::string> channels;
    int alphaChannel = -1, depthChannel = -1;
    // The values as they are (floats; halves where the format has them) instead of 8 bits.
    bool values = false;
    // Display gamma of the colour channels; 1 declares linear values.
    float gamma = 1.0f;
};

// An open image. Pixels arrive as packed floats, the layout's channels per pixel.
class ImageWriter {
  public:
    virtual ~ImageWriter() = default;
    // Whether rectangles may be written in any order while rendering goes on; the others
    // receive the whole window once.
    virtual bool acceptsRegions() const = 0;
    // The rectangle [x0, x1) x [y0, y1) in image coordinates.
    virtual bool writeRectangle(int x0, int x1, int y0, int y1, const float* pixels) = 0;
    // The whole window.
    virtual bool writeImage(const float* pixels) = 0;
    virtual bool close() = 0;
};

// Opens `file` for a host-declared format; null when it cannot.
typedef ImageWriter* (*ImageWriterFactory)(const std::string& file, const ImageLayout& layout);

// Declares (or, with a null factory, withdraws) a format of the host's own, for the whole
// process: outputs of that type are made by `factory` instead of OpenImageIO.
void declareImageFormat(const std::string& format, ImageWriterFactory factory);
// The factory of a declared format, or null.
ImageWriterFactory declaredImageFormat(const std::string& format);

}  // namespace ovo
