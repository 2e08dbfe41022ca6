// Shared by the shading tests: shaders made from the test plugins, and the counters those
// plugins export.
#pragma once

#include <OpenImageIO/plugin.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>

#include "core/math/transform.h"
#include "core/params/parameter.h"
#include "core/shading/shader.h"

namespace ovotest {

inline std::string testPluginDir() {
    const char* dir = std::getenv("OVO_TEST_PLUGINS");
    return dir ? dir : OVO_TEST_PLUGIN_DIR;
}

inline std::string shaderDir() {
    const char* home = std::getenv("OVO_HOME");
    return std::string(home ? home : OVO_BINARY_DIR) + "/shaders";
}

// A test-plugin shader with `parameters` bound under `spaces`.
inline ovo::Shader* makeShader(const std::string& name, ovo::ParameterSet parameters = {},
                               std::map<OIIO::ustring, ovo::Transform> spaces = {}) {
    return ovo::createShader(name, testPluginDir() + ":" + shaderDir(), spaces, parameters);
}

// The counter a test plugin exports under `symbol`; the library is the one the loader opened.
template <class T>
T* pluginSymbol(const std::string& plugin, const char* symbol) {
    const std::string path =
        testPluginDir() + "/" + plugin + ".shader." + OIIO::Plugin::plugin_extension();
    OIIO::Plugin::Handle h = OIIO::Plugin::open(path, true);
    if (!h) {
        ADD_FAILURE() << "cannot open " << path;
        return nullptr;
    }
    typedef T* (*Entry)();
    Entry entry = reinterpret_cast<Entry>(OIIO::Plugin::getsym(h, symbol));
    if (!entry) ADD_FAILURE() << "no " << symbol << " in " << path;
    return entry ? entry() : nullptr;
}

}  // namespace ovotest
