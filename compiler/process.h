// Running the system's preprocessor and C++ compiler: a child process with its standard
// output and error captured.
#pragma once

#include <string>
#include <vector>

namespace ovo {
namespace compiler {

struct ProcessResult {
    bool started = false;  // false when the program could not be run at all
    int status = -1;       // exit status (128 + signal when killed)
    std::string out;
    std::string err;
};

// Runs argv[0] (searched on PATH) with the arguments and waits for it.
ProcessResult runProcess(const std::vector<std::string>& argv);

}  // namespace compiler
}  // namespace ovo
