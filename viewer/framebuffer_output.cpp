#include "viewer/framebuffer_output.h"

#include <atomic>

namespace ovo {
namespace viewer {

namespace {

// OpenImageIO makes writers through a plain function, so the sink they report to is the
// process's one.
std::atomic<FrameSink*> registeredSink{nullptr};

OIIO::ImageOutput* createFramebufferOutput() { return new FramebufferOutput(registeredSink); }

bool isDepth(const OIIO::ImageSpec& image) {
    return image.nchannels == 1 && !image.channelnames.empty() && image.channelnames[0] == "Z";
}

}  // namespace

FramebufferOutput::FramebufferOutput(FrameSink* frameSink) : sink(frameSink) {}

FramebufferOutput::~FramebufferOutput() { close(); }

int FramebufferOutput::supports(OIIO::string_view feature) const {
    return feature == "random_access" || feature == "rectangles" || feature == "alpha";
}

bool FramebufferOutput::open(const std::string& name, const OIIO::ImageSpec& image, OpenMode mode) {
    if (!sink || mode != Create || image.nchannels < 1 || image.width < 1 || image.height < 1 ||
        image.depth != 1) {
        errorfmt("framebuffer: cannot show \"{}\"", name);
        return false;
    }
    close();
    m_spec = image;
    depth = isDepth(image);
    if (depth) {
        frame = sink->lastFrame();
        if (frame < 0) return false;
    } else {
        FrameShape shape;
        shape.label = name;
        shape.fullWidth = image.full_width > 0 ? image.full_width : image.width;
        shape.fullHeight = image.full_height > 0 ? image.full_height : image.height;
        shape.x = image.x;
        shape.y = image.y;
        shape.width = image.width;
        shape.height = image.height;
        frame = sink->beginFrame(shape);
    }
    opened = true;
    return true;
}

bool FramebufferOutput::write_scanline(int y, int z, OIIO::TypeDesc format, const void* data,
                                       OIIO::stride_t xstride) {
    return write_rectangle(m_spec.x, m_spec.x + m_spec.width, y, y + 1, z, z + 1, format, data,
                           xstride);
}

bool FramebufferOutput::write_rectangle(int xbegin, int xend, int ybegin, int yend, int zbegin,
                                        int zend, OIIO::TypeDesc format, const void* data,
                                        OIIO::stride_t xstride, OIIO::stride_t ystride,
                                        OIIO::stride_t zstride) {
    const int width = xend - xbegin, height = yend - ybegin;
    if (!opened || width < 1 || height < 1 || zend - zbegin != 1 || !data) return false;
    if (xbegin < m_spec.x || ybegin < m_spec.y || xend > m_spec.x + m_spec.width ||
        yend > m_spec.y + m_spec.height)
        return false;
    const int nch = m_spec.nchannels;
    if (format == OIIO::TypeUnknown) format = m_spec.format;
    OIIO::ImageSpec::auto_stride(xstride, ystride, zstride, format, nch, width, height);
    // The caller's pixels as packed floats first, whatever their type and strides.
    packed.resize(std::size_t(width) * std::size_t(height) * std::size_t(nch));
    if (!OIIO::convert_image(nch, width, height, 1, data, format, xstride, ystride, zstride,
                             packed.data(), OIIO::TypeFloat, OIIO::AutoStride, OIIO::AutoStride,
                             OIIO::AutoStride))
        return false;
    if (depth) {
        sink->addRectangle(frame, "z", xbegin, ybegin, width, height, packed);
        return true;
    }
    // Colour frames travel as RGBA: channels found by name, opaque when there is no alpha.
    int source[4] = {-1, -1, -1, -1};
    static const char* const Names[4] = {"R", "G", "B", "A"};
    for (int c = 0; c < nch && c < int(m_spec.channelnames.size()); ++c)
        for (int k = 0; k < 4; ++k)
            if (m_spec.channelnames[std::size_t(c)] == Names[k]) source[k] = c;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    values.resize(pixels * 4);
    for (std::size_t p = 0; p < pixels; ++p)
        for (int k = 0; k < 4; ++k)
            values[p * 4 + std::size_t(k)] =
                source[k] >= 0 ? packed[p * std::size_t(nch) + std::size_t(source[k])]
                : k == 3       ? 1.0f
                               : 0.0f;
    sink->addRectangle(frame, "rgba", xbegin, ybegin, width, height, values);
    return true;
}

bool FramebufferOutput::close() {
    if (!opened) return true;
    opened = false;
    if (!depth) sink->endFrame(frame);
    return true;
}

void registerFramebufferFormat(FrameSink* sink) {
    registeredSink = sink;
    static const char* const extensions[] = {"framebuffer", nullptr};
    static bool declared = false;
    if (declared) return;
    declared = true;
    OIIO::declare_imageio_format("framebuffer", nullptr, nullptr, createFramebufferOutput,
                                 const_cast<const char**>(extensions), "");
}

}  // namespace viewer
}  // namespace ovo
