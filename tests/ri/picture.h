// Reading the pictures the binding's tests render.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/common/picture.h"

namespace ovotest {

// The share of the columns [x0, x1) that something covers, for pictures of constant colours of
// full intensity on black (the pictures' alpha is 1 everywhere).
inline double coverage(const Picture& p, int x0, int x1) {
    double sum = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = x0; x < x1; ++x)
            sum += std::max(p.at(x, y, 0), std::max(p.at(x, y, 1), p.at(x, y, 2)));
    return sum / (double(x1 - x0) * p.height);
}

// The four channels of a picture; an empty one (and a failure) when it cannot be read.
inline Picture readPicture(const std::string& path) {
    Picture p;
    EXPECT_TRUE(p.read(path)) << "cannot read " << path;
    EXPECT_EQ(p.channels, 4) << path;
    if (p.channels != 4) p = Picture();
    return p;
}

}  // namespace ovotest
