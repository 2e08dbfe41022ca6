// printf through captured standard output (every conversion, the unknown one, the offset
// passes) and format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "core/math/matrix.h"
#include "core/shading/sl/output.h"
#include "tests/common/test_util.h"

using namespace ovo;

namespace ovotest {

// What `print` writes to file descriptor 1.
std::string capturedStdout(const std::function<void()>& print) {
    ScratchDir dir;
    std::fflush(stdout);
    const int saved = dup(1);
    FILE* capture = std::fopen((dir / "out").c_str(), "w");
    if (saved < 0 || !capture) return "cannot capture";
    dup2(fileno(capture), 1);
    print();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(capture);
    std::ostringstream text;
    text << std::ifstream(dir / "out").rdbuf();
    return text.str();
}

}  // namespace ovotest

TEST(Output, PrintfAndFormat) {
    ShaderEnvironment env;
    Matrix m = Matrix::Identity;
    m.m[0][3] = 2.5f;
    const OIIO::ustring name("plastic");
    auto print = [&](const char* format, auto... values) {
        return ovotest::capturedStdout([&] { SL::printf(env, OIIO::ustring(format), values...); });
    };
    EXPECT_EQ(print("Kd = %f\n", 0.5), "Kd = 0.500000\n");
    EXPECT_EQ(print("%s at %p is %c", name, Tuple(1, -2, 0.25f), Color(1, 0, 0)),
              "plastic at [1.000000 -2.000000 0.250000] is [1.000000 0.000000 0.000000]");
    EXPECT_EQ(print("%m", m),
              "[1.000000 0.000000 0.000000 2.500000 0.000000 1.000000 0.000000 0.000000 0.000000 "
              "0.000000 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000]");
    // An unknown conversion prints nothing and leaves its argument for the next one.
    EXPECT_EQ(print("%d|%f|%s", 1.5, name), "|1.500000|plastic");
    EXPECT_EQ(print("100%% done%"), "100 done");
    // The derivative passes print nothing.
    env.derivPass = 1;
    EXPECT_EQ(print("pass %f\n", 1.0), "");

    EXPECT_EQ(SL::format(OIIO::ustring("%s_%03d.%s"), "frame", 7, "tif"),
              OIIO::ustring("frame_007.tif"));
    const std::string longer(2000, 'x');  // cut to what 1024 characters hold
    EXPECT_EQ(SL::format(OIIO::ustring("%s"), longer.c_str()).string(), longer.substr(0, 1023));
}
