// Small helpers shared by the RIB reader tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace ovotest {

// The numbers in a recorded call, e.g. the 16 of "SetTransform(1 0 0 ...)".
inline std::vector<double> numbersIn(const std::string& call) {
    std::vector<double> out;
    std::size_t open = call.find('(');
    std::size_t colon = call.find(':');
    const char* p = call.c_str() + (colon != std::string::npos ? colon + 1 : open + 1);
    for (;;) {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p) break;
        out.push_back(v);
        p = end;
    }
    return out;
}

// Expects `call` to be SetTransform/AppendTransform with the given 16 values.
inline void expectMatrix(const std::string& call, const char* prefix,
                         const std::vector<double>& expected, double tolerance = 1e-5) {
    ASSERT_EQ(call.compare(0, std::string(prefix).size(), prefix), 0) << call;
    std::vector<double> got = numbersIn(call);
    ASSERT_EQ(got.size(), expected.size()) << call;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], tolerance) << call << " element " << i;
}

inline const std::vector<double>& identity() {
    static const std::vector<double> m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    return m;
}

inline std::vector<double> translation(double x, double y, double z) {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

}  // namespace ovotest
