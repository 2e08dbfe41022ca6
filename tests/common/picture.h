// An image file read as floats with all its channels, for the suites that render through the
// ovo command and look at what it wrote.
#pragma once

#include <OpenImageIO/imagebuf.h>

#include <string>
#include <vector>

namespace ovotest {

struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<float> pixels;

    bool read(const std::string& file) {
        OIIO::ImageBuf buf(file);
        if (!buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return false;
        width = buf.spec().width;
        height = buf.spec().height;
        channels = buf.nchannels();
        pixels.resize(std::size_t(width) * height * channels);
        return buf.get_pixels(buf.roi(), OIIO::TypeDesc::FLOAT, pixels.data());
    }
    float at(int x, int y, int c) const {
        return pixels[(std::size_t(y) * width + x) * channels + c];
    }
    // A ray that misses everything leaves black.
    bool lit(int x, int y) const { return at(x, y, 0) + at(x, y, 1) + at(x, y, 2) > 0.004f; }
    // The lit pixels of rows y0..y1 (exclusive end).
    int litInRows(int y0, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < width; ++x) n += lit(x, y);
        return n;
    }
    // Mean of channel c over x0..x1, y0..y1 (exclusive ends), or over the lit pixels there.
    double mean(int x0, int x1, int y0, int y1, int c, bool litOnly = false) const {
        double sum = 0.0;
        long n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (!litOnly || lit(x, y)) sum += at(x, y, c), ++n;
        return n ? sum / double(n) : 0.0;
    }
};

}  // namespace ovotest
