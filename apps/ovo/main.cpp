// ovo - the command-line renderer.
//
//   ovo [options] file.rib ...     renders each scene file in turn ("-": RIB on standard input)
//
// Options: -o FILE (the first display's file), -t/--threads N, --crop XMIN XMAX YMIN YMAX,
// --res W H, --samples N (N x N per pixel), -v (verbose), -q (quiet), --progress, --stats,
// --version, --help, --view and --view-port N. Command-line settings win over what the scene
// says.
//
// --view serves a page on 127.0.0.1 that shows every frame bucket by bucket (see viewer/):
// "viewing at http://127.0.0.1:PORT/?token=..." is printed on standard error before the first
// render, and the page stays until Ctrl-C, which then ends ovo with status 0 (1 after errors).
//
// A shader that has no compiled plugin but a source <name>.sl on the shader path or beside the
// scene is compiled on demand (see shader_sources.h).
//
// An installed ovo finds its plugins and shaders from where its libovo is (lib/ovo/plugins,
// share/ovo/shaders); in the build tree OVO_HOME defaults to the folder above the executable's
// (build/bin/ovo finds build/plugins and build/shaders), so ovo runs from any directory. The exit
// status is 0 when every file was read and rendered without an error, 1 otherwise (a frame not
// written, a missing shader, unknown geometry, an archive not found), 2 for bad usage, 130 when
// Ctrl-C stopped it (the buckets finished by then are written; a second Ctrl-C ends it at once).
// The texture statistics are shown with --stats or -v only.
//
// Example:   ovo -o quadrics.png --res 320 240 scenes/quadrics.rib
#include <OpenImageIO/errorhandler.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "apps/ovo/command_line.h"
#include "apps/ovo/override_renderer.h"
#include "apps/ovo/shader_sources.h"
#include "core/api/raytracer.h"
#include "core/api/renderer_api.h"
#include "core/params/error.h"
#include "core/plugins/installation.h"
#include "viewer/framebuffer_output.h"
#include "viewer/server.h"

namespace {

ovo::Raytracer* interruptible = nullptr;
volatile sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
    if (interruptible) interruptible->requestStop();
}

// Ctrl-C stops the render in a tidy way; the handler resets itself, so a second one kills.
void catchInterrupt(ovo::RendererAPI* renderer) {
    interruptible = dynamic_cast<ovo::Raytracer*>(renderer);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

volatile sig_atomic_t stopViewing = 0;

extern "C" void onStopViewing(int) { stopViewing = 1; }

// After the last frame the page stays until Ctrl-C. Any thread may take the signal (the
// server's among them), so the flag is polled rather than waited for with sigsuspend.
void waitForInterrupt() {
    struct sigaction action = {};
    action.sa_handler = onStopViewing;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    while (!stopViewing) {
        struct timespec pause = {0, 100 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

// Prints like the library's default handler and counts errors for the exit status.
class CountingHandler : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& message) override {
        int severity = code & 0xffff0000;
        if (severity == EH_ERROR || severity == EH_SEVERE) ++errors;
        DefaultHandler& printer = DefaultHandler::instance();
        printer.verbosity(verbosity());
        printer(code, message);
    }
    int errors = 0;
};

// OVO_HOME, when unset, is the parent of the folder holding the executable, unless the library
// belongs to an installation, which finds its own folders.
void setHome(const char* argv0) {
    if (std::getenv("OVO_HOME")) return;
    if (!ovo::installedFolder(ovo::libraryFolder(), "/plugins").empty()) return;
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe;
    if (n > 0) {
        path[n] = '\0';
        exe = path;
    } else if (realpath(argv0, path)) {
        exe = path;
    } else {
        return;
    }
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return;
    std::string bin = exe.substr(0, slash);
    slash = bin.rfind('/');
    std::string home = slash == std::string::npos || slash == 0 ? "/" : bin.substr(0, slash);
    setenv("OVO_HOME", home.c_str(), 1);
}

// Runs `f` with standard output sent to /dev/null (and flushed on both sides).
template <class F>
void withoutStandardOutput(F f) {
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (saved < 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0) {
        if (saved >= 0) close(saved);
        if (null >= 0) close(null);
        f();
        return;
    }
    close(null);
    f();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

}  // namespace

// Called by the ovo executable (launcher.cpp) for everything but --help and --version.
extern "C" __attribute__((visibility("default"))) int ovoMain(int argc, char** argv) {
    // The launcher has told bad usage, --help and --version already.
    ovo::app::CommandLine options;
    std::string error;
    if (!ovo::app::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options,
                                    error))
        return 2;
    setHome(argv[0]);

    CountingHandler handler;
    ovo::ErrorManager* errors = ovo::ErrorManager::Create(&handler, options.verbosity);
    ovo::RendererAPI* renderer = ovo::RendererAPI::CreateRenderer("raytracer", errors);
    if (!renderer) {
        std::fprintf(stderr, "ovo: cannot create the renderer\n");
        delete errors;
        return 1;
    }

    // The format is always known, so the scene reader hands framebuffer displays over as such;
    // without a viewer the wrapper writes them to their files.
    ovo::viewer::ViewServer* viewer = nullptr;
    if (options.view) {
        viewer = new ovo::viewer::ViewServer;
        if (!viewer->start(options.viewPort, error)) {
            std::fprintf(stderr, "ovo: --view: %s\n", error.c_str());
            delete viewer;
            delete renderer;
            delete errors;
            return 1;
        }
        std::fprintf(stderr, "viewing at %s\n", viewer->address().c_str());
    }
    ovo::viewer::registerFramebufferFormat(viewer);

    {
        ovo::app::OverrideRenderer wrapper(renderer, options);
        wrapper.setViewer(viewer);
        wrapper.applyDefaults();
        ovo::app::installShaderSources(errors);
        catchInterrupt(renderer);
        for (const std::string& file : options.files) {
            if (interrupted) break;
            ovo::app::setSceneFile(file == "-" ? "" : file);
            wrapper.setSceneName(file == "-" ? "standard input" : file);
            // "-" asks for the RIB reader on standard input; other files go by extension.
            wrapper.Input(file == "-" ? "rib -" : file.c_str());
        }
    }
    interruptible = nullptr;
    if (viewer && !interrupted) {
        std::fprintf(stderr, "ovo: rendering done; still viewing at %s (Ctrl-C ends)\n",
                     viewer->address().c_str());
        waitForInterrupt();
    }
    signal(SIGINT, SIG_DFL);
    if (viewer) viewer->stop();
    // The library prints its texture statistics when the renderer goes; they reach the
    // terminal only when asked for.
    if (options.stats || options.verbosity >= 2) {
        delete renderer;
    } else {
        withoutStandardOutput([renderer] { delete renderer; });
    }
    int status = handler.errors > 0 ? 1 : 0;
    if (interrupted) {
        std::fprintf(stderr, "ovo: interrupted; the buckets finished by then are written\n");
        status = 130;
    }
    ovo::viewer::registerFramebufferFormat(nullptr);
    delete viewer;
    delete errors;
    return status;
}
