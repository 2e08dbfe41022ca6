// Shared by the compiler's tests: compiling shading-language sources with ovoslc's driver into
// a scratch folder, running a compiled shader at one point, rendering RIB text with the ovo
// command and reading its image.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/picture.h"
#include "common/test_util.h"
#include "compiler/driver.h"
#include "compiler/frontend.h"
#include "core/base/reference.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/shading/environment.h"
#include "core/shading/shader.h"

namespace ovotest {

// Writes <dir>/<file> and compiles it into <dir>; adds a test failure with the messages when
// it does not compile.
inline bool compileShader(const ScratchDir& dir, const std::string& file,
                          const std::string& source) {
    dir.write(file, source);
    ovo::compiler::CompileOptions options;
    options.output = dir.path;
    const ovo::compiler::CompileResult r = ovo::compiler::compileFile(dir / file, options);
    EXPECT_TRUE(r.ok) << r.messages;
    return r.ok;
}

// A compiled shader of `dir` with its data block, initialised for one shading point.
struct ShaderRun {
    ShaderRun(const ScratchDir& dir, const std::string& name, ovo::ParameterSet parameters = {},
              std::map<OIIO::ustring, ovo::Transform> spaces = {}) {
        shader = ovo::createShader(name, dir.path, spaces, parameters);
        if (shader) data = shader->createData();
    }
    ~ShaderRun() {
        if (shader && data) shader->destroyData(data);
    }
    ShaderRun(const ShaderRun&) = delete;
    ShaderRun& operator=(const ShaderRun&) = delete;

    // Shader::init then execute, in the main pass.
    void run() {
        shader->init(env, nullptr, data);
        shader->execute(env, data);
    }
    // The value of the parameter `name` after the run (a float, Tuple or Color).
    template <class T>
    T value(const char* name) {
        T v(-1e30f);
        EXPECT_TRUE(shader->getMessage(OIIO::ustring(name), data, v)) << name;
        return v;
    }

    ovo::Reference<ovo::Shader> shader;
    void* data = nullptr;
    ovo::ShaderEnvironment env;
};

// A rendered image, its pixels as colours.
struct Image : Picture {
    using Picture::at;
    ovo::Color at(int x, int y) const {
        return ovo::Color(Picture::at(x, y, 0), Picture::at(x, y, 1), Picture::at(x, y, 2));
    }
};

// Each pixel of `image` within `tol` of expected(x, y) (of `colour` for them all).
inline void expectPixels(const Image& image, const std::function<ovo::Tuple(int, int)>& expected,
                         float tol) {
    ASSERT_GT(image.width * image.height, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            EXPECT_TRUE(near(ovo::Tuple(image.at(x, y)), expected(x, y), tol))
                << "(" << x << ", " << y << ")";
}
inline void expectPixels(const Image& image, const ovo::Tuple& colour, float tol) {
    expectPixels(
        image, [&](int, int) { return colour; }, tol);
}

// Renders `rib` with the ovo command on `threads` threads in `dir` (the scene writes its image
// there), expecting the exit status `status` (1 after an error), and reads `image`; the
// command's messages (its standard error) go to `messages`, its standard output to `printed`.
// Shaders compiled on demand are cached in <dir>/cache.
inline bool renderRib(const ScratchDir& dir, const std::string& rib, const std::string& image,
                      Image& out, std::string* messages = nullptr, std::string* printed = nullptr,
                      int threads = 1, int status = 0) {
    dir.write("scene.rib", rib);
    const std::string command = "cd '" + dir.path + "' && OVO_SHADER_CACHE='" + dir.path +
                                "/cache' '" + std::string(OVO_BINARY_DIR) + "/bin/ovo' -t " +
                                std::to_string(threads) + " scene.rib 2> log.txt";
    const CommandResult r = runCommand(command);
    const std::string log = readText(dir / "log.txt");
    if (messages) *messages = log;
    if (printed) *printed = r.out;
    EXPECT_EQ(r.status, status) << command << "\n" << log;
    const bool read = out.read(dir / image);
    EXPECT_TRUE(read) << "no image " << image;
    return read;
}

// renderRib into frame.tif of a run that must say nothing on its standard error.
inline bool renderClean(const ScratchDir& dir, const std::string& rib, Image& out) {
    std::string messages;
    const bool read = renderRib(dir, rib, "frame.tif", out, &messages);
    EXPECT_EQ(messages, "") << rib;
    return read;
}

// A scene writing the w x h RGB image frame.tif, with `options` before the world and `world`
// inside it; shaders are looked up in `shaders` first when it is given.
inline std::string frameRib(int w, int h, const std::string& options, const std::string& world,
                            const std::string& shaders = "") {
    return (shaders.empty() ? "" : "Option \"searchpath\" \"shader\" [\"" + shaders + ":&\"]\n") +
           "Display \"frame.tif\" \"file\" \"rgb\"\nFormat " + std::to_string(w) + " " +
           std::to_string(h) + " 1\n" + options + "\nWorldBegin\n" + world + "\nWorldEnd\n";
}

// A square facing the camera at z = 1, 2.5 wide: a little wider than a 90-degree view.
inline const char* const ViewFillingSquare =
    "Polygon \"P\" [-1.25 -1.25 1  1.25 -1.25 1  1.25 1.25 1  -1.25 1.25 1]\n";

// The header line ("t.sl:1:2: error: ...") of every diagnostic of `text`.
inline std::vector<std::string> diagnose(const std::string& text) {
    ovo::compiler::Diagnostics d;
    ovo::compiler::frontEnd(text, "t.sl", d);
    std::vector<std::string> out;
    for (const ovo::compiler::Diagnostic& x : d.all()) {
        const std::string full = d.format(x);
        out.push_back(full.substr(0, full.find('\n')));
    }
    return out;
}

}  // namespace ovotest
