// The ovo command's options: what the user asked for, parsed from argv.
#pragma once

#include <string>
#include <vector>

namespace ovo {
namespace app {

struct CommandLine {
    std::vector<std::string> files;  // "-" is standard input
    std::string output;              // -o: the first display's file
    int threads = 0;                 // -t/--threads, 0 when not given
    bool hasThreads = false;
    bool hasCrop = false;
    float crop[4] = {0, 1, 0, 1};  // xmin xmax ymin ymax
    bool hasResolution = false;
    int resolution[2] = {0, 0};
    int samples = 0;    // --samples N: N x N per pixel, 0 when not given
    int verbosity = 1;  // -q 0, default 1, -v 2
    bool hasVerbosity = false;
    bool progress = false;
    bool stats = false;
    bool version = false;
    bool help = false;
    bool view = false;  // --view: show the renders live in a browser
    int viewPort = 0;   // --view-port N (implies --view), 0: a free port
};

// Parses argv (without argv[0]). False with a message in `error` for bad usage.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

// The --help text.
const char* usageText();

}  // namespace app
}  // namespace ovo
