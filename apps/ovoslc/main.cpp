// ovoslc: compiles shading-language sources (.sl) into shader plugins (<name>.shader.so), and
// describes compiled shaders.
//
//   ovoslc [-I dir] [-D name[=value]] [-o file-or-folder] [--check] [--cpp] [-v] file.sl ...
//   ovoslc --info shader.so ...
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "compiler/driver.h"
#include "compiler/info.h"

namespace {

const char* const Usage =
    "usage: ovoslc [options] file.sl ...\n"
    "       ovoslc --info shader.so ...\n"
    "options:\n"
    "  -I dir              search dir for #include files\n"
    "  -D name[=value]     define a preprocessor macro\n"
    "  -o path             the plugin to write, or the folder to write it in\n"
    "  --check             check the source only; write nothing\n"
    "  --cpp               keep the generated C++ beside the plugin\n"
    "  --cxx command       the C++ compiler (default: $OVO_CXX or the one OVO was built with)\n"
    "  -v, --verbose       print the commands run and the compile times\n"
    "  --info              describe compiled shaders: type, name, parameters and defaults\n"
    "  --version           print the compiler's version\n";

// A flag's value: "-Ifoo" or "-I foo".
bool takeValue(int argc, char** argv, int& i, const char* flag, std::string& value) {
    const size_t n = std::strlen(flag);
    if (std::strncmp(argv[i], flag, n) != 0) return false;
    if (argv[i][n]) {
        value = argv[i] + n;
        return true;
    }
    if (i + 1 >= argc) return false;
    value = argv[++i];
    return true;
}

int info(const std::vector<std::string>& files) {
    int status = 0;
    for (const std::string& f : files) {
        std::string text;
        const bool ok = ovo::compiler::describeShaderFile(f, text);
        std::fputs(text.c_str(), ok ? stdout : stderr);
        if (!ok) status = 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    ovo::compiler::CompileOptions options;
    std::vector<std::string> files;
    bool describe = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s\n", ovo::compiler::compilerVersion());
            return 0;
        } else if (arg == "--info") {
            describe = true;
        } else if (arg == "--check") {
            options.checkOnly = true;
        } else if (arg == "--cpp") {
            options.keepCpp = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--cxx" && i + 1 < argc) {
            // A launcher may come first: "ccache g++".
            std::istringstream words(argv[++i]);
            options.cxx.clear();
            for (std::string w; words >> w;) options.cxx.push_back(w);
        } else if (takeValue(argc, argv, i, "-I", value)) {
            options.includes.push_back(value);
        } else if (takeValue(argc, argv, i, "-D", value)) {
            options.defines.push_back(value);
        } else if (takeValue(argc, argv, i, "-o", value)) {
            options.output = value;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "ovoslc: unknown option %s\n%s", arg.c_str(), Usage);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (describe) return info(files);
    int status = 0;
    for (const std::string& f : files) {
        const ovo::compiler::CompileResult r = ovo::compiler::compileFile(f, options);
        std::fputs(r.messages.c_str(), stderr);
        if (!r.ok) status = 1;
        if (r.ok && options.verbose)
            std::fprintf(stderr, "%s: front end %.3f s, C++ compiler %.3f s%s%s\n", f.c_str(),
                         r.frontEndSeconds, r.cxxSeconds, r.plugin.empty() ? "" : " -> ",
                         r.plugin.c_str());
    }
    return status;
}
