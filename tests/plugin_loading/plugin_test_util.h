// Shared by the plugin-loading tests: the folder of the test plugins and scratch folders.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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

// A fresh folder of its own, removed with everything in it afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ovo-plugins-XXXXXX").string();
        path = mkdtemp(&pattern[0]) ? pattern : "";
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

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
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    std::fputs("x", f);
    std::fclose(f);
}

}  // namespace testing
}  // namespace ovo
