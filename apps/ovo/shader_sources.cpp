#include "apps/ovo/shader_sources.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "compiler/driver.h"
#include "core/params/error.h"
#include "core/plugins/search_path.h"
#include "core/shading/shader.h"

namespace ovo {
namespace app {

namespace {

// One renderer per ovo process: the compiler reports to its manager.
ErrorManager* reports = nullptr;
std::string sceneFolder;

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string cacheRoot() {
    if (const char* root = std::getenv("OVO_SHADER_CACHE"); root && *root) return root;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/ovo/shaders";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.cache/ovo/shaders";
    return (std::filesystem::temp_directory_path() / "ovo-shaders").string();
}

// FNV-1a, 64 bits: a name for the content, not a defence against anyone.
std::uint64_t fingerprint(const std::string& text) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// The source of `name`: on the shader path, else beside the scene.
std::string findSource(const std::string& name, const std::string& searchPath) {
    const std::string file = name + ".sl";
    const std::string onPath = lookup(searchPath, file);
    if (!onPath.empty()) return onPath;
    const std::string beside = (sceneFolder.empty() ? "." : sceneFolder) + "/" + file;
    return isFile(beside) ? beside : "";
}

// Compiles `source` into the cache unless its plugin is there already.
std::string compileUncached(const std::string& name, const std::string& source) {
    compiler::CompileOptions options;
    const std::string dir = std::filesystem::path(source).parent_path().string();
    if (!dir.empty()) options.includes.push_back(dir);
    // Keyed by the preprocessed text, so an edited #include compiles again; a source the
    // preprocessor refuses is keyed by its own text and reported by the compile below.
    std::string text, ignored;
    if (!compiler::preprocess(source, options, text, ignored)) {
        std::ifstream in(source, std::ios::binary);
        std::ostringstream raw;
        raw << in.rdbuf();
        text = raw.str();
    }
    const std::string folder = shaderCacheFolder(name, text);
    const std::string plugin = folder + "/" + name + ".shader.so";
    if (isFile(plugin)) return folder;
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    options.output = plugin;
    const compiler::CompileResult r = compiler::compileFile(source, options);
    if (!r.ok || r.shaderName != name) {
        if (reports) {
            if (r.ok)
                reports->Error("%s defines the shader \"%s\", not \"%s\"", source.c_str(),
                               r.shaderName.c_str(), name.c_str());
            else
                reports->Error("Cannot compile the shader \"%s\":\n%s", name.c_str(),
                               r.messages.c_str());
        }
        std::remove(plugin.c_str());
        return "";
    }
    if (reports)
        reports->Message("Compiled the shader \"%s\" from %s", name.c_str(), source.c_str());
    return folder;
}

// The folder holding <name>.shader.so compiled from `source`; "" after reporting when it
// does not compile. Each source is looked at once per run: a scene names its shaders often.
std::string compileSource(const std::string& name, const std::string& source) {
    static std::map<std::string, std::string> done;
    const std::string key = name + '\n' + source;
    if (auto it = done.find(key); it != done.end()) return it->second;
    return done[key] = compileUncached(name, source);
}

std::string compileOnDemand(const std::string& name, const std::string& searchPath) {
    const std::string source = findSource(name, searchPath);
    return source.empty() ? "" : compileSource(name, source);
}

// A scene's own <name>.sl beside it wins over a compiled shader of the same name on the path:
// the scene's author wrote the scene for it.
std::string sceneSourceFirst(const std::string& name) {
    const std::string beside = (sceneFolder.empty() ? "." : sceneFolder) + "/" + name + ".sl";
    if (!isFile(beside)) return "";
    std::error_code failed;
    const std::filesystem::path full = std::filesystem::absolute(beside, failed);
    return compileSource(name, failed ? beside : full.lexically_normal().string());
}

}  // namespace

void installShaderSources(ErrorManager* errors) {
    reports = errors;
    setShaderSourceCompiler(compileOnDemand);
    setShaderSourceOverride(sceneSourceFirst);
}

void setSceneFile(const std::string& file) {
    const size_t slash = file.rfind('/');
    sceneFolder = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
}

// The compiler's own build, as the size and time of the library that holds it: a rebuilt
// compiler may generate other code for the same source, so its shaders are not reused.
static std::string compilerBuild() {
    static const std::string build = [] {
        Dl_info info;
        struct stat st;
        if (dladdr(reinterpret_cast<void*>(&compiler::compilerVersion), &info) && info.dli_fname &&
            stat(info.dli_fname, &st) == 0)
            return std::to_string(st.st_size) + ' ' + std::to_string(st.st_mtime);
        return std::string();
    }();
    return build;
}

std::string shaderCacheFolder(const std::string& name, const std::string& text) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(fingerprint(
                      text + '\n' + compiler::compilerVersion() + '\n' + compilerBuild())));
    return cacheRoot() + "/" + name + "-" + hash;
}

}  // namespace app
}  // namespace ovo
