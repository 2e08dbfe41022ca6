// The ovo executable: answers --help and --version by itself and hands everything else to the
// renderer's command library (libovo_cli, beside libovo), loaded only then. Loading the library
// brings in the whole image library with its hundreds of dependencies, which costs far more
// than answering a question about the program.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "apps/ovo/command_line.h"

namespace {

// lib/libovo_cli.so beside the executable's bin/: the build tree and an installation look
// alike. Only that one: a launcher must not pick up another version's library.
std::string commandLibrary() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "libovo_cli.so";
    path[n] = '\0';
    std::string dir(path);
    dir.erase(dir.rfind('/'));
    const std::size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    return dir + "/lib/libovo_cli.so";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    ovo::app::CommandLine options;
    std::string error;
    if (!ovo::app::parseCommandLine(args, options, error)) {
        std::fprintf(stderr, "ovo: %s\n%s", error.c_str(), ovo::app::usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(ovo::app::usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ovo %s\n", OVO_VERSION_STRING);
        return 0;
    }
    std::string library = commandLibrary();
    void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_GLOBAL);
    using Entry = int (*)(int, char**);
    Entry run = handle ? reinterpret_cast<Entry>(dlsym(handle, "ovoMain")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "ovo: cannot load %s: %s\n", library.c_str(), dlerror());
        return 1;
    }
    return run(argc, argv);
}
