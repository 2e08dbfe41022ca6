// Helpers shared by the test suites: tuple comparison, an error manager that records every
// report, where the build put the plugins and their entry points, and a scratch folder.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <OpenImageIO/errorhandler.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <map>
#include <string>
#include <vector>

#include "core/math/tuple.h"
#include "core/params/error.h"

// Set for every suite by tests/CMakeLists.txt.
#ifndef OVO_TEST_PLUGIN_DIR
#define OVO_TEST_PLUGIN_DIR "."
#endif
#ifndef OVO_BINARY_DIR
#define OVO_BINARY_DIR "."
#endif

namespace ovotest {

// Within `tol` of each other (Euclidean distance), printed when not.
inline ::testing::AssertionResult near(const ovo::Tuple& a, const ovo::Tuple& b, float tol) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (d <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y << ", "
           << b.z << "), distance " << d << " > " << tol;
}

struct Report {
    int code;
    std::string text;
    int level() const { return code & ~0xffff; }
};

class CaptureHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& text) override { reports.push_back({code, text}); }
    std::vector<Report> reports;
};

// An error manager at verbosity 1 whose reports are kept in `handler`.
struct CapturingManager {
    CapturingManager() : manager(ovo::ErrorManager::Create(&handler, 1)) {}
    ~CapturingManager() { delete manager; }
    CapturingManager(const CapturingManager&) = delete;
    CapturingManager& operator=(const CapturingManager&) = delete;

    CaptureHandler handler;
    ovo::ErrorManager* manager;
};

// Where the build put what the suites load: the real plugins ($OVO_HOME/plugins), the
// test-only plugins ($OVO_TEST_PLUGINS) and the compiled shaders ($OVO_HOME/shaders), falling
// back to the build's own folders when run outside ctest.
enum class Plugins { Built, TestOnly, Shaders };
inline std::string pluginDir(Plugins which = Plugins::Built) {
    const char* test = std::getenv("OVO_TEST_PLUGINS");
    if (which == Plugins::TestOnly) return test ? test : OVO_TEST_PLUGIN_DIR;
    const char* home = std::getenv("OVO_HOME");
    return std::string(home ? home : OVO_BINARY_DIR) +
           (which == Plugins::Shaders ? "/shaders" : "/plugins");
}

// The symbol `symbol` of the plugin file `file` (e.g. "sphere.shape.so") in pluginDir(which), as
// a T; opened the way the renderer opens plugins, so it is the library the renderer uses, and
// left loaded. A missing file or symbol fails the test and gives null.
template <class T = void*>
T pluginSymbol(const std::string& file, const char* symbol, Plugins which = Plugins::Built) {
    static std::map<std::string, void*> handles;
    const std::string path = pluginDir(which) + "/" + file;
    void*& handle = handles[path];
    if (!handle) handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        ADD_FAILURE() << "cannot open " << path << ": " << dlerror();
        return nullptr;
    }
    void* entry = dlsym(handle, symbol);
    if (!entry) ADD_FAILURE() << "no " << symbol << " in " << path;
    return reinterpret_cast<T>(entry);
}

// A fresh folder of its own, removed with everything in it afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ovo-test-XXXXXX").string();
        path = mkdtemp(&pattern[0]) ? pattern : "";
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Writes `text` to the file `name` inside, making the folders it needs; gives its path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::filesystem::path file = path + "/" + name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }

    std::string path;
};

// The whole of a file ("" when it cannot be read).
inline std::string readText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The numbers of each line of a text.
inline std::vector<std::vector<float>> numberRows(const std::string& text) {
    std::vector<std::vector<float>> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream numbers(line);
        out.emplace_back();
        for (float x; numbers >> x;) out.back().push_back(x);
    }
    return out;
}

// Runs `command` through the shell: its exit status (-1 when it did not exit) and what it wrote
// to standard output.
struct CommandResult {
    int status = -1;
    std::string out;
};
inline CommandResult runCommand(const std::string& command) {
    CommandResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        r.out.append(buffer, n);
    const int s = pclose(pipe);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

// How many times `part` occurs in `text`, overlaps counted.
inline std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// What `print` writes to the file descriptor `fd`.
inline std::string capturedOutput(int fd, const std::function<void()>& print) {
    ScratchDir dir;
    std::fflush(nullptr);
    const int saved = dup(fd);
    FILE* capture = std::fopen((dir / "out").c_str(), "w");
    if (saved < 0 || !capture) return "cannot capture";
    dup2(fileno(capture), fd);
    print();
    std::fflush(nullptr);
    dup2(saved, fd);
    close(saved);
    std::fclose(capture);
    return readText(dir / "out");
}
inline std::string capturedStdout(const std::function<void()>& print) {
    return capturedOutput(1, print);
}

}  // namespace ovotest
