// Shared by the shading tests: shaders made from the test plugins and the compiled shaders, and
// the counters those plugins export.
#pragma once

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/plugin.h>

#include <map>
#include <string>

#include "core/geometry/hit.h"
#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/shading/shader.h"
#include "core/shading/shader_group.h"
#include "tests/common/test_util.h"

namespace ovotest {

// A test-plugin or compiled shader with `parameters` bound under `spaces`.
inline ovo::Shader* makeShader(const std::string& name, ovo::ParameterSet parameters = {},
                               std::map<OIIO::ustring, ovo::Transform> spaces = {}) {
    return ovo::createShader(name, pluginDir(Plugins::TestOnly) + ":" + pluginDir(Plugins::Shaders),
                             spaces, parameters);
}

// Hits borrow their records from the primitive they met, which outlives them; a test's own
// hit borrows from records kept here until the program ends.
template <class T>
T* keep(const ovo::Reference<T>& record) {
    static auto* kept = new std::vector<ovo::Reference<ovo::ReferenceCounted>>();
    kept->emplace_back(record.get());
    return record.get();
}

// A shader group of `layers`.
inline ovo::Reference<ovo::ShaderGroup> groupOf(std::vector<ovo::Reference<ovo::Shader>> layers) {
    ovo::Reference<ovo::ShaderGroup> g(new ovo::ShaderGroup());
    g->layers = std::move(layers);
    return g;
}

// A hit at P on the plane z = 0 facing Ng, where u = x and v = y.
inline ovo::Hit planeHit(const ovo::Point& P, const ovo::Normal& Ng = ovo::Normal(0, 0, 1)) {
    ovo::Hit hit;
    hit.t = 1.0f;
    hit.env.P = P;
    hit.env.Ng = Ng;
    hit.env.u = P.x;
    hit.env.v = P.y;
    hit.env.dPdu = ovo::Vector(1, 0, 0);
    hit.env.dPdv = ovo::Vector(0, 1, 0);
    return hit;
}

// The counter the test plugin `plugin` hands out through its function `symbol`.
template <class T>
T* counter(const std::string& plugin, const char* symbol) {
    const std::string file = plugin + ".shader." + OIIO::Plugin::plugin_extension();
    T* (*entry)() = pluginSymbol<T* (*)()>(file, symbol, Plugins::TestOnly);
    return entry ? entry() : nullptr;
}

// A texture made from a w x h image whose pixel (x, y) is colour(x, y), as `kind`.
template <class Colour>
inline std::string writeTexture(const std::string& file, int w, int h, Colour colour,
                                OIIO::ImageBufAlgo::MakeTextureMode kind,
                                const char* wrap = nullptr) {
    OIIO::ImageBuf image(OIIO::ImageSpec(w, h, 3, OIIO::TypeDesc::FLOAT));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const ovo::Color c = colour(x, y);
            const float v[3] = {c.r, c.g, c.b};
            image.setpixel(x, y, v);
        }
    OIIO::ImageSpec config;
    if (wrap) config.attribute("wrapmodes", wrap);
    EXPECT_TRUE(OIIO::ImageBufAlgo::make_texture(kind, image, file, config));
    return file;
}

// A 16 x 16 texture: red, green on the top row of quadrants (t < 0.5), blue, white below;
// "periodic" is its own wrap mode.
inline std::string writeChecker(const ovotest::ScratchDir& dir) {
    const ovo::Color quadrant[2][2] = {{ovo::Color(1, 0, 0), ovo::Color(0, 1, 0)},
                                       {ovo::Color(0, 0, 1), ovo::Color(1.0f)}};
    return writeTexture(
        dir / "checker.tx", 16, 16, [&](int x, int y) { return quadrant[y / 8][x / 8]; },
        OIIO::ImageBufAlgo::MakeTxTexture, "periodic");
}

// A lat-long sky, z up: `above` over the horizon, `below` under it.
inline std::string writeSky(const ovotest::ScratchDir& dir, const ovo::Color& above,
                            const ovo::Color& below) {
    return writeTexture(
        dir / "sky.tx", 32, 16, [&](int, int y) { return y < 8 ? above : below; },
        OIIO::ImageBufAlgo::MakeTxEnvLatl);
}

}  // namespace ovotest
