// Shared by the shading tests: shaders made from the test plugins and the compiled shaders, and
// the counters those plugins export.
#pragma once

#include <OpenImageIO/plugin.h>

#include <map>
#include <string>

#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/shading/shader.h"
#include "tests/common/test_util.h"

namespace ovotest {

// A test-plugin or compiled shader with `parameters` bound under `spaces`.
inline ovo::Shader* makeShader(const std::string& name, ovo::ParameterSet parameters = {},
                               std::map<OIIO::ustring, ovo::Transform> spaces = {}) {
    return ovo::createShader(name, pluginDir(Plugins::TestOnly) + ":" + pluginDir(Plugins::Shaders),
                             spaces, parameters);
}

// The counter the test plugin `plugin` hands out through its function `symbol`.
template <class T>
T* counter(const std::string& plugin, const char* symbol) {
    const std::string file = plugin + ".shader." + OIIO::Plugin::plugin_extension();
    T* (*entry)() = pluginSymbol<T* (*)()>(file, symbol, Plugins::TestOnly);
    return entry ? entry() : nullptr;
}

}  // namespace ovotest
