#include "viewer/framebuffer_output.h"

#include <atomic>
#include <memory>

namespace ovo {
namespace viewer {

namespace {

// Formats make their writers through a plain function, so the sink they report to is the
// process's one.
std::atomic<FrameSink*> registeredSink{nullptr};

ImageWriter* createFramebufferOutput(const std::string& file, const ImageLayout& layout) {
    auto out = std::make_unique<FramebufferOutput>(registeredSink);
    return out->open(file, layout) ? out.release() : nullptr;
}

}  // namespace

FramebufferOutput::FramebufferOutput(FrameSink* frameSink) : sink(frameSink) {}

FramebufferOutput::~FramebufferOutput() { close(); }

bool FramebufferOutput::open(const std::string& name, const ImageLayout& image) {
    if (!sink || image.channels.empty() || image.width < 1 || image.height < 1) return false;
    close();
    layout = image;
    depth = image.channels.size() == 1 && image.channels[0] == "Z";
    if (depth) {
        frame = sink->lastFrame();
        if (frame < 0) return false;
    } else {
        FrameShape shape;
        shape.label = name;
        shape.fullWidth = image.fullWidth > 0 ? image.fullWidth : image.width;
        shape.fullHeight = image.fullHeight > 0 ? image.fullHeight : image.height;
        shape.x = image.x;
        shape.y = image.y;
        shape.width = image.width;
        shape.height = image.height;
        frame = sink->beginFrame(shape);
    }
    opened = true;
    return true;
}

bool FramebufferOutput::writeRectangle(int x0, int x1, int y0, int y1, const float* pixels) {
    const int width = x1 - x0, height = y1 - y0;
    if (!opened || width < 1 || height < 1 || !pixels) return false;
    if (x0 < layout.x || y0 < layout.y || x1 > layout.x + layout.width ||
        y1 > layout.y + layout.height)
        return false;
    const std::size_t nch = layout.channels.size();
    const std::size_t pixelCount = std::size_t(width) * std::size_t(height);
    if (depth) {
        values.assign(pixels, pixels + pixelCount);
        sink->addRectangle(frame, "z", x0, y0, width, height, values);
        return true;
    }
    // Colour frames travel as RGBA: channels found by name, opaque when there is no alpha.
    int source[4] = {-1, -1, -1, -1};
    static const char* const Names[4] = {"R", "G", "B", "A"};
    for (std::size_t c = 0; c < nch; ++c)
        for (int k = 0; k < 4; ++k)
            if (layout.channels[c] == Names[k]) source[k] = int(c);
    values.resize(pixelCount * 4);
    for (std::size_t p = 0; p < pixelCount; ++p)
        for (int k = 0; k < 4; ++k)
            values[p * 4 + std::size_t(k)] = source[k] >= 0
                                                 ? pixels[p * nch + std::size_t(source[k])]
                                             : k == 3 ? 1.0f
                                                      : 0.0f;
    sink->addRectangle(frame, "rgba", x0, y0, width, height, values);
    return true;
}

bool FramebufferOutput::writeImage(const float* pixels) {
    return writeRectangle(layout.x, layout.x + layout.width, layout.y, layout.y + layout.height,
                          pixels);
}

bool FramebufferOutput::close() {
    if (!opened) return true;
    opened = false;
    if (!depth) sink->endFrame(frame);
    return true;
}

void registerFramebufferFormat(FrameSink* sink) {
    registeredSink = sink;
    declareImageFormat("framebuffer", createFramebufferOutput);
}

}  // namespace viewer
}  // namespace ovo
