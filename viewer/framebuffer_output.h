// The "framebuffer" image format: an OpenImageIO writer that hands every rectangle the renderer
// writes to a FrameSink instead of a file, so a framebuffer display takes the same path as
// every other output. It takes rectangles in any order, so the film sends each bucket as soon
// as it is finished.
#pragma once

#include <OpenImageIO/imageio.h>

#include <vector>

#include "viewer/frame_sink.h"

namespace ovo {
namespace viewer {

class FramebufferOutput : public OIIO::ImageOutput {
  public:
    explicit FramebufferOutput(FrameSink* sink);
    ~FramebufferOutput() override;

    const char* format_name() const override { return "framebuffer"; }
    int supports(OIIO::string_view feature) const override;
    bool open(const std::string& name, const OIIO::ImageSpec& image,
              OpenMode mode = Create) override;
    bool write_scanline(int y, int z, OIIO::TypeDesc format, const void* data,
                        OIIO::stride_t xstride = OIIO::AutoStride) override;
    bool write_rectangle(int xbegin, int xend, int ybegin, int yend, int zbegin, int zend,
                         OIIO::TypeDesc format, const void* data,
                         OIIO::stride_t xstride = OIIO::AutoStride,
                         OIIO::stride_t ystride = OIIO::AutoStride,
                         OIIO::stride_t zstride = OIIO::AutoStride) override;
    bool close() override;

  private:
    FrameSink* sink;
    int frame = -1;
    bool depth = false;  // a "Z" output: its rectangles join the colour frame opened before it
    bool opened = false;
    std::vector<float> packed, values;  // reused from rectangle to rectangle
};

// Registers the format with OpenImageIO for this process; its writers report to `sink`, or
// refuse to open while it is null. The sink must outlive every writer made.
void registerFramebufferFormat(FrameSink* sink);

// Whether `type` is this format's name.
inline bool isFramebufferType(const std::string& type) { return type == "framebuffer"; }

}  // namespace viewer
}  // namespace ovo
