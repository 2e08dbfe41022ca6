// Where the "framebuffer" image format sends what it is given: the frames of a run and their
// finished rectangles. The viewer's server is one; the tests use a recording one.
#pragma once

#include <string>
#include <vector>

namespace ovo {
namespace viewer {

// One opened image: its display window (the full resolution) and the data window the film
// covers inside it (smaller under a crop).
struct FrameShape {
    std::string label;
    int fullWidth = 0, fullHeight = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // The label the next colour frame gets (the scene or display name) instead of its
    // output's name.
    virtual void nameNextFrame(const std::string& label) = 0;
    // A colour frame begins ("R", "G", "B" and perhaps "A"); returns its id.
    virtual int beginFrame(const FrameShape& shape) = 0;
    // Packed floats of a rectangle in display coordinates, `channels` per pixel: the frame's
    // colour ("rgba", alpha 1 where the output has none) or its depth ("z").
    virtual void addRectangle(int frame, const std::string& kind, int x, int y, int width,
                              int height, const std::vector<float>& values) = 0;
    virtual void endFrame(int frame) = 0;
    // The id of the frame begun last, -1 before any: a depth output joins it.
    virtual int lastFrame() const = 0;
};

}  // namespace viewer
}  // namespace ovo
