// Compiling a shader source into a plugin: the preprocessor, the front end, the code
// generator and the system's C++ compiler, in that order.
#pragma once

#include <string>
#include <vector>

namespace ovo {
namespace compiler {

// Changes whenever generated code changes, so that caches of compiled shaders go stale.
const char* compilerVersion();

struct CompileOptions {
    std::vector<std::string> includes;  // -I
    std::vector<std::string> defines;   // -D name[=value]
    std::string output;      // the plugin file, or a folder for <shader>.shader.so; "" = here
    bool checkOnly = false;  // parse and check, write nothing
    bool keepCpp = false;    // also write the generated C++ beside the plugin
    bool verbose = false;    // report the commands run
    // The C++ compiler as a command (a launcher may come first); empty for the default:
    // $OVO_CXX, else the compiler OVO was built with.
    std::vector<std::string> cxx;
    std::vector<std::string> cxxflags;  // added after the usual ones
    // Where the headers (core/, compiler/) and libovo are; empty for the defaults:
    // $OVO_HOME/include and $OVO_HOME/lib when they exist (or the installation's include/ovo
    // and lib folders), else the source and build trees.
    std::string headerRoot;
    std::string libraryDir;
};

struct CompileResult {
    bool ok = false;
    std::string messages;  // diagnostics as printed, warnings included
    std::string shaderName;
    std::string plugin;            // the file written
    double frontEndSeconds = 0.0;  // preprocessor, parser, checker and code generator
    double cxxSeconds = 0.0;       // the C++ compiler
};

CompileResult compileFile(const std::string& source, const CompileOptions& options);
// The source after the C preprocessor (its #includes and #defines, with the options' -I and
// -D): what a compiled shader depends on. False, with the preprocessor's messages, on failure.
bool preprocess(const std::string& source, const CompileOptions& options, std::string& text,
                std::string& messages);

// The defaults that CompileOptions leaves empty.
std::vector<std::string> defaultCxx();
std::string defaultHeaderRoot();
std::string defaultLibraryDir();

}  // namespace compiler
}  // namespace ovo
