// printf through captured standard output (every conversion, the unknown one, the offset
// passes) and format (vsnprintf's conversions, the cut at 1023 characters).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "core/math/matrix.h"
#include "core/shading/sl/output.h"
#include "tests/common/test_util.h"

using namespace ovo;

TEST(Output, PrintfConversionsInTheMainPassOnly) {
    Matrix m = Matrix::Identity;
    m.m[0][3] = 2.5f;
    m.m[3][0] = -1.0f;
    const OIIO::ustring name("plastic");
    using Print = std::function<void(ShaderEnvironment&)>;
    auto f = [](const char* format) { return OIIO::ustring(format); };
    // Each print and what it writes; the last two run in the offset passes.
    const std::pair<Print, std::string> cases[] = {
        {[&](auto& e) { SL::printf(e, f("Kd = %f\n"), 0.5); }, "Kd = 0.500000\n"},
        {[&](auto& e) { SL::printf(e, f("%f%f"), -0.25, 1e6); }, "-0.2500001000000.000000"},
        {[&](auto& e) {
             SL::printf(e, f("%s at %p is %c"), name, Tuple(1, -2, 0.25f), Color(1, 0, 0));
         },
         "plastic at [1.000000 -2.000000 0.250000] is [1.000000 0.000000 0.000000]"},
        {[&](auto& e) { SL::printf(e, f("%m"), m); },
         "[1.000000 0.000000 0.000000 2.500000 0.000000 1.000000 0.000000 0.000000 0.000000 "
         "0.000000 1.000000 0.000000 -1.000000 0.000000 0.000000 1.000000]"},
        // An unknown conversion prints nothing and leaves its argument for the next one; so
        // does "%%", and a '%' that ends the format.
        {[&](auto& e) { SL::printf(e, f("%d|%f|%s"), 1.5, name); }, "|1.500000|plastic"},
        {[&](auto& e) { SL::printf(e, f("100%% done%")); }, "100 done"},
        {[&](auto& e) { SL::printf(e, OIIO::ustring()); }, ""},
        {[&](auto& e) { e.derivPass = 1, SL::printf(e, f("pass %f\n"), 1.0); }, ""},
        {[&](auto& e) { e.derivPass = 2, SL::printf(e, f("pass %s\n"), name); }, ""},
    };
    for (const auto& [print, expected] : cases) {
        ShaderEnvironment env;
        EXPECT_EQ(ovotest::capturedStdout(std::bind(print, std::ref(env))), expected) << expected;
    }
}

TEST(Output, FormatIsVsnprintfCutAt1023) {
    const std::string longer(2000, 'x');
    const std::pair<OIIO::ustring, std::string> cases[] = {
        {SL::format(OIIO::ustring("%s_%03d.%s"), "frame", 7, "tif"), "frame_007.tif"},
        {SL::format(OIIO::ustring("%s"), longer.c_str()), longer.substr(0, 1023)},
        {SL::format(OIIO::ustring()), ""},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got.string(), expected);
}
