#include "core/plugins/installation.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace ovo {

namespace {

bool isDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string installedFolder(const std::string& libraryDir, const char* suffix) {
    if (libraryDir.empty() || !isDirectory(libraryDir + "/ovo/plugins")) return "";
    const std::string prefix = parent(libraryDir);
    if (std::strcmp(suffix, "/plugins") == 0) return libraryDir + "/ovo/plugins";
    if (std::strcmp(suffix, "/lib") == 0) return libraryDir;
    if (std::strcmp(suffix, "/include") == 0) return prefix + "/include/ovo";
    return prefix + "/share/ovo" + suffix;
}

std::string libraryFolder() {
    Dl_info info;
    // Any function of this library names the file it was loaded from.
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) == 0 || !info.dli_fname) return "";
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved) return "";
    const std::string folder = parent(resolved);
    std::free(resolved);
    return folder;
}

std::string homeFolder(const char* suffix) {
    if (const char* home = std::getenv("OVO_HOME")) return std::string(home) + suffix;
    static const std::string library = libraryFolder();
    return installedFolder(library, suffix);
}

}  // namespace ovo
