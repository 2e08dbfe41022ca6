// Reading the pictures the binding's tests render.
#pragma once

#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ovotest {

struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<float> pixels;
    float at(int x, int y, int c) const {
        return pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) *
                          std::size_t(channels) +
                      std::size_t(c)];
    }
    // The share of the columns [x0, x1) that something covers, for pictures of constant
    // colours of full intensity on black (the pictures' alpha is 1 everywhere).
    double coverage(int x0, int x1) const {
        double sum = 0;
        for (int y = 0; y < height; ++y)
            for (int x = x0; x < x1; ++x)
                sum += std::max(at(x, y, 0), std::max(at(x, y, 1), at(x, y, 2)));
        return sum / (double(x1 - x0) * height);
    }
};

inline Picture readPicture(const std::string& path) {
    Picture p;
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
        return p;
    }
    p.width = in->spec().width;
    p.height = in->spec().height;
    p.channels = in->spec().nchannels;
    p.pixels.resize(std::size_t(p.width) * std::size_t(p.height) * std::size_t(p.channels));
    EXPECT_TRUE(in->read_image(0, 0, 0, p.channels, OIIO::TypeDesc::FLOAT, p.pixels.data()));
    EXPECT_EQ(p.channels, 4) << path;
    if (p.channels != 4) p = Picture();
    return p;
}

}  // namespace ovotest
