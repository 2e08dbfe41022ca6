#include "apps/ovo/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace ovo {
namespace app {

namespace {

bool toInt(const std::string& text, int low, int high, int& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < low || v > high) return false;
    out = int(v);
    return true;
}

bool toFloat(const std::string& text, float& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v)) return false;
    out = float(v);
    return true;
}

}  // namespace

const char* usageText() {
    return "usage: ovo [options] file.rib ...\n"
           "Renders each scene file; \"-\" reads a RIB scene from standard input.\n"
           "\n"
           "  -o FILE                  write the first display to FILE (format from its "
           "extension)\n"
           "  -t N, --threads N        render with N threads (0 or -1: all processors)\n"
           "  --crop XMIN XMAX YMIN YMAX  render only this part of the image (0..1)\n"
           "  --res W H                image resolution\n"
           "  --samples N              N x N samples per pixel\n"
           "  -v                       verbose: also print information messages\n"
           "  -q                       quiet: only errors\n"
           "  --progress               show the progress of each render\n"
           "  --stats                  print statistics after each render\n"
           "  --view                   show the renders live in a web browser (framebuffer\n"
           "                           displays go there); serves until Ctrl-C\n"
           "  --view-port N            the viewer's port on 127.0.0.1 (implies --view)\n"
           "  --version                print the version and exit\n"
           "  --help                   print this help and exit\n"
           "\n"
           "The exit status is 0 when every file rendered without errors.\n";
}

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    out = CommandLine();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto need = [&](std::size_t n) {
            if (i + n < args.size()) return true;
            error = a + " needs " + std::to_string(n) + (n == 1 ? " value" : " values");
            return false;
        };
        if (a == "-o") {
            if (!need(1)) return false;
            out.output = args[++i];
            if (out.output.empty()) return error = "-o needs a file name", false;
        } else if (a == "-t" || a == "--threads") {
            if (!need(1)) return false;
            if (!toInt(args[++i], -1, 65536, out.threads))
                return error = a + ": bad thread count \"" + args[i] + "\"", false;
            out.hasThreads = true;
        } else if (a == "--crop") {
            if (!need(4)) return false;
            for (int k = 0; k < 4; ++k)
                if (!toFloat(args[++i], out.crop[k]) || out.crop[k] < 0 || out.crop[k] > 1)
                    return error = "--crop: bad value \"" + args[i] + "\"", false;
            if (!(out.crop[1] > out.crop[0]) || !(out.crop[3] > out.crop[2]))
                return error = "--crop: the window is empty", false;
            out.hasCrop = true;
        } else if (a == "--res") {
            if (!need(2)) return false;
            for (int k = 0; k < 2; ++k)
                if (!toInt(args[++i], 1, 65536, out.resolution[k]))
                    return error = "--res: bad size \"" + args[i] + "\"", false;
            out.hasResolution = true;
        } else if (a == "--samples") {
            if (!need(1)) return false;
            if (!toInt(args[++i], 1, 1024, out.samples))
                return error = "--samples: bad count \"" + args[i] + "\"", false;
        } else if (a == "-v") {
            out.verbosity = 2;
            out.hasVerbosity = true;
        } else if (a == "-q") {
            out.verbosity = 0;
            out.hasVerbosity = true;
        } else if (a == "--progress") {
            out.progress = true;
        } else if (a == "--stats") {
            out.stats = true;
        } else if (a == "--view") {
            out.view = true;
        } else if (a == "--view-port") {
            if (!need(1)) return false;
            if (!toInt(args[++i], 1, 65535, out.viewPort))
                return error = "--view-port: bad port \"" + args[i] + "\"", false;
            out.view = true;
        } else if (a == "--version") {
            out.version = true;
        } else if (a == "--help" || a == "-h") {
            out.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            out.files.push_back(a);
        }
    }
    if (out.files.empty() && !out.help && !out.version) {
        error = "no scene file given";
        return false;
    }
    return true;
}

}  // namespace app
}  // namespace ovo
