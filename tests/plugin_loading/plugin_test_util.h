// Shared by the plugin-loading tests: the folder of the test plugins and scratch folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/common/test_util.h"

// Set by this folder's CMakeLists.txt.
#ifndef OVO_TEST_PLUGIN_DIR
#define OVO_TEST_PLUGIN_DIR ""
#endif

namespace ovo {
namespace testing {

// Where the build put the test plugins: OVO_TEST_PLUGINS when set, else the build's own.
inline std::string testPluginDir() {
    const char* dir = std::getenv("OVO_TEST_PLUGINS");
    return dir ? dir : OVO_TEST_PLUGIN_DIR;
}

inline std::string testPlugin(const std::string& file) { return testPluginDir() + "/" + file; }

using ovotest::ScratchDir;

// Runs the scope in another working directory.
class ScopedWorkingDir {
  public:
    explicit ScopedWorkingDir(const std::string& dir) : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedWorkingDir() { std::filesystem::current_path(previous); }

  private:
    std::filesystem::path previous;
};

inline void touch(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
}

}  // namespace testing
}  // namespace ovo
