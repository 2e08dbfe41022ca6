// The "framebuffer" image format: a writer that hands every rectangle the renderer writes to a
// FrameSink instead of a file, so a framebuffer display takes the same path as every other
// output. It takes rectangles in any order, so the film sends each bucket as soon as it is
// finished.
#pragma once

#include <string>
#include <vector>

#include "core/image/writer.h"
#include "viewer/frame_sink.h"

namespace ovo {
namespace viewer {

class FramebufferOutput : public ImageWriter {
  public:
    explicit FramebufferOutput(FrameSink* sink);
    ~FramebufferOutput() override;

    // A colour image ("R", "G", "B", perhaps "A", in any order) begins a frame; a depth image
    // (one "Z" channel) joins the frame begun last. False without a sink or such a frame.
    bool open(const std::string& name, const ImageLayout& layout);
    bool acceptsRegions() const override { return true; }
    bool writeRectangle(int x0, int x1, int y0, int y1, const float* pixels) override;
    bool writeImage(const float* pixels) override;
    bool close() override;

  private:
    FrameSink* sink;
    ImageLayout layout;
    int frame = -1;
    bool depth = false;
    bool opened = false;
    std::vector<float> values;  // reused from rectangle to rectangle
};

// Declares the format for this process; its writers report to `sink`, or refuse to open while
// it is null. The sink must outlive every writer made.
void registerFramebufferFormat(FrameSink* sink);

// Whether `type` is this format's name.
inline bool isFramebufferType(const std::string& type) { return type == "framebuffer"; }

}  // namespace viewer
}  // namespace ovo
