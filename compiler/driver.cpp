#include "compiler/driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "compiler/codegen.h"
#include "compiler/frontend.h"
#include "compiler/process.h"
#include "core/plugins/installation.h"

#ifndef OVO_COMPILER_CXX
#define OVO_COMPILER_CXX "c++"
#endif
#ifndef OVO_COMPILER_HEADER_ROOT
#define OVO_COMPILER_HEADER_ROOT "."
#endif
#ifndef OVO_COMPILER_LIBRARY_DIR
#define OVO_COMPILER_LIBRARY_DIR "."
#endif
// The processors libovo was built for: a shader is built for the same ones.
#ifndef OVO_COMPILER_ARCH
#define OVO_COMPILER_ARCH ""
#endif

namespace ovo {
namespace compiler {

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string commandLine(const std::vector<std::string>& argv) {
    std::string s;
    for (const std::string& a : argv) s += (s.empty() ? "" : " ") + a;
    return s;
}

// $OVO_HOME/<sub>, or the installation's folder of that name, when it exists.
std::string home(const char* sub) {
    const char* h = std::getenv("OVO_HOME");
    if (h && !*h) return "";
    const std::string dir = homeFolder((std::string("/") + sub).c_str());
    return !dir.empty() && isDirectory(dir) ? dir : "";
}

// The plugin's path: the -o file, or <folder>/<shader>.shader.so.
std::string pluginPath(const CompileOptions& options, const std::string& shader) {
    const std::string file = shader + ".shader.so";
    if (options.output.empty()) return file;
    if (isDirectory(options.output)) return options.output + "/" + file;
    return options.output;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out);
}

// The C++ compiler's complaint, shortened: the generated code should always compile, so this
// is a fault of ovoslc and the first lines are what a report needs.
std::string cxxFailure(const std::string& source, const std::string& err) {
    std::istringstream in(err);
    std::string line, first;
    for (int i = 0; i < 12 && std::getline(in, line); ++i) first += "  " + line + "\n";
    return source +
           ": error: the C++ compiler rejected the generated code (a fault of "
           "ovoslc; please report it):\n" +
           first;
}

}  // namespace

const char* compilerVersion() { return "ovoslc 1"; }

std::vector<std::string> defaultCxx() {
    const char* env = std::getenv("OVO_CXX");
    std::string command = env && *env ? env : OVO_COMPILER_CXX;
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string defaultHeaderRoot() {
    const std::string installed = home("include");
    if (!installed.empty() && isFile(installed + "/compiler/runtime.h")) return installed;
    return OVO_COMPILER_HEADER_ROOT;
}

std::string defaultLibraryDir() {
    const std::string installed = home("lib");
    return installed.empty() ? OVO_COMPILER_LIBRARY_DIR : installed;
}

bool preprocess(const std::string& source, const CompileOptions& options, std::string& text,
                std::string& messages) {
    std::vector<std::string> cpp = options.cxx.empty() ? defaultCxx() : options.cxx;
    for (const char* flag : {"-E", "-x", "c", "-C", "-undef", "-nostdinc", "-D__OVOSLC__=1"})
        cpp.push_back(flag);
    for (const std::string& i : options.includes) cpp.push_back("-I" + i);
    for (const std::string& d : options.defines) cpp.push_back("-D" + d);
    cpp.push_back(source);
    if (options.verbose) messages += commandLine(cpp) + "\n";
    const ProcessResult pre = runProcess(cpp);
    if (!pre.started || pre.status != 0) {
        messages += pre.err.empty() ? source + ": error: the preprocessor failed\n" : pre.err;
        return false;
    }
    text = pre.out;
    return true;
}

CompileResult compileFile(const std::string& source, const CompileOptions& options) {
    CompileResult result;
    const Clock::time_point start = Clock::now();
    if (!isFile(source)) {
        result.messages = source + ": error: cannot read the file\n";
        return result;
    }
    const std::vector<std::string> cxx = options.cxx.empty() ? defaultCxx() : options.cxx;
    std::string text;
    if (!preprocess(source, options, text, result.messages)) return result;
    Diagnostics diagnostics;
    const Program program = frontEnd(text, source, diagnostics);
    result.messages += diagnostics.formatAll();
    if (diagnostics.errorCount() > 0) return result;
    result.shaderName = program.shader->name;
    const std::string code = generate(program, source);
    result.frontEndSeconds = since(start);
    if (options.checkOnly) {
        result.ok = true;
        return result;
    }
    const std::string plugin = pluginPath(options, result.shaderName);
    const std::string stem = plugin.substr(
        0, plugin.size() -
               (plugin.size() > 3 && plugin.compare(plugin.size() - 3, 3, ".so") == 0 ? 3 : 0));
    // Written under a temporary name and renamed: a reader never sees half a plugin.
    const std::string temporary = plugin + ".tmp" + std::to_string(getpid());
    const std::string cppFile = options.keepCpp ? stem + ".cpp" : temporary + ".cpp";
    if (!writeFile(cppFile, code)) {
        result.messages += source + ": error: cannot write " + cppFile + "\n";
        return result;
    }
    std::vector<std::string> command = cxx;
    const std::string headers =
        options.headerRoot.empty() ? defaultHeaderRoot() : options.headerRoot;
    const std::string libs = options.libraryDir.empty() ? defaultLibraryDir() : options.libraryDir;
    for (const std::string& flag :
         {std::string("-std=c++17"), std::string("-O2"), std::string("-fno-math-errno"),
          std::string("-fno-plt"), std::string("-fPIC"), std::string("-shared"), std::string("-w"),
          "-I" + headers})
        command.push_back(flag);
    // As libovo: its processors, and no fused multiply-adds, which would change the pictures.
    if (*OVO_COMPILER_ARCH) command.push_back(std::string("-march=") + OVO_COMPILER_ARCH);
    command.push_back("-ffp-contract=off");
    for (const std::string& f : options.cxxflags) command.push_back(f);
    for (const std::string& a : {std::string("-o"), temporary, cppFile, "-L" + libs,
                                 std::string("-lovo"), "-Wl,-rpath," + libs})
        command.push_back(a);
    if (options.verbose) result.messages += commandLine(command) + "\n";
    const Clock::time_point back = Clock::now();
    const ProcessResult built = runProcess(command);
    result.cxxSeconds = since(back);
    if (!options.keepCpp) std::remove(cppFile.c_str());
    if (!built.started || built.status != 0) {
        std::remove(temporary.c_str());
        result.messages += built.started ? cxxFailure(source, built.err)
                                         : source + ": error: cannot run " + cxx[0] + "\n";
        return result;
    }
    if (std::rename(temporary.c_str(), plugin.c_str()) != 0) {
        std::remove(temporary.c_str());
        result.messages += source + ": error: cannot write " + plugin + "\n";
        return result;
    }
    result.plugin = plugin;
    result.ok = true;
    return result;
}

}  // namespace compiler
}  // namespace ovo
