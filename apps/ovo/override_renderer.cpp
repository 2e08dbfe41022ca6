#include "apps/ovo/override_renderer.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/params/parameter.h"
#include "apps/ovo/progress.h"
#include "core/api/raytracer.h"
#include "core/plugins/installation.h"
#include "core/plugins/search_path.h"
#include "core/render/output.h"
#include "viewer/framebuffer_output.h"

namespace ovo {
namespace app {

namespace {

// Where a scene file is: as named when it is there, otherwise on the input path.
std::string findInput(const char* inputPath, const std::string& name) {
    // A file that is where the user said keeps the name the user gave, for messages.
    struct stat st;
    if (!name.empty() && stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return name;
    if (!name.empty() && name[0] == '/') return std::string();
    return lookup(inputPath, name);
}

// A generator argument: quoted when it holds spaces, so the generator sees one word.
std::string argument(const std::string& word) {
    if (word.find_first_of(" \t") == std::string::npos) return word;
    return "\"" + word + "\"";
}

}  // namespace

std::string declaredName(const char* decl) {
    if (!decl) return std::string();
    ParamType type;
    const char* rest = nullptr;
    if (!type.fromString(decl, &rest) || !rest) return std::string();
    return rest;
}

OverrideRenderer::OverrideRenderer(RendererAPI* renderer, const CommandLine& commandLine)
    : ForwardingRenderer(renderer),
      options(commandLine),
      samples{commandLine.samples, commandLine.samples} {}

void OverrideRenderer::applyDefaults() {
    if (options.hasVerbosity) inner()->Attribute("int verbosity", options.verbosity);
    if (options.hasThreads) inner()->Attribute("int limits:threads", options.threads);
    if (options.stats) inner()->Attribute("int statistics:level", 1);
    if (options.hasResolution)
        inner()->Attribute("int[2] resolution", static_cast<const int*>(options.resolution));
    if (options.samples > 0)
        inner()->Attribute("int[2] spatialquality", static_cast<const int*>(samples));
    if (options.hasCrop)
        inner()->Attribute("float[4] crop", static_cast<const float*>(options.crop));
}

std::string OverrideRenderer::pluginPath() {
    std::string path = ".:./plugins";
    const std::string home = ovo::homeFolder("/plugins");
    if (!home.empty()) path += ":" + home;
    return path;
}

const int* OverrideRenderer::intsFor(const std::string& name) const {
    if (name == "resolution" && options.hasResolution) return options.resolution;
    if (name == "spatialquality" && options.samples > 0) return samples;
    return nullptr;
}

const float* OverrideRenderer::floatsFor(const std::string& name) const {
    if (name == "crop" && options.hasCrop) return options.crop;
    return nullptr;
}

bool OverrideRenderer::intFor(const std::string& name, int value, int& out) const {
    if (name == "limits:threads" && options.hasThreads) {
        out = options.threads;
        return true;
    }
    if (name == "verbosity" && options.hasVerbosity) {
        out = options.verbosity;
        return true;
    }
    if (name == "statistics:level" && options.stats) {
        out = value > 1 ? value : 1;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------- input

// Runs generators on this wrapper rather than on the renderer, so that what they describe
// passes the overrides. Finds them as the renderer does: the first word as a generator
// name, otherwise the file's extension.
void OverrideRenderer::Input(const char* text, const float* bound) {
    if (bound) {  // an object made from a file: the renderer builds it
        inner()->Input(text, bound);
        return;
    }
    if (!text) return;
    ErrorManager* errors = GetErrorManager();
    std::vector<std::string> words = splitInputWords(text);
    if (words.empty()) {
        errors->Error("Input (\"%s\") --\n\tNo file found", text);
        return;
    }
    const char* inputPath = nullptr;
    if (!inner()->GetAttribute("string path:input", inputPath) || !inputPath)
        inputPath = ".:./inputs";
    std::string plugins = pluginPath();
    ParameterSet params;

    Generator* generator = nullptr;
    try {
        generator = createGenerator(words[0], plugins, params);
    } catch (const Error&) {
        generator = nullptr;
    }
    if (generator) {
        std::string args;
        for (std::size_t i = 1; i < words.size(); ++i) {
            std::string word = words[i];
            if (i == 1) {
                std::string full = findInput(inputPath, word);
                if (!full.empty()) word = full;
            }
            args += (i > 1 ? " " : "") + argument(word);
        }
        generator->run(this, args.c_str());
        delete generator;
        return;
    }

    std::string name = text;
    std::string full = findInput(inputPath, name);
    if (full.empty()) {
        errors->Error("Input (\"%s\") --\n\tNo file found", text);
        return;
    }
    // "scene.rib.gz" is a compressed "rib" file.
    std::string base = name;
    if (base.size() > 3 && base.compare(base.size() - 3, 3, ".gz") == 0)
        base.erase(base.size() - 3);
    std::size_t slash = base.rfind('/');
    std::size_t dot = base.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        errors->Error("Input (\"%s\") -- no extension\n\tCannot guess file type without extension",
                      text);
        return;
    }
    std::string extension = base.substr(dot + 1);
    try {
        generator = createGenerator(extension, plugins, params);
    } catch (const Error& e) {
        if (e.code() == Error::PluginNotFound)
            errors->Error("Input: no support for file type ( %s )", extension.c_str());
        else
            errors->Error("%s", e.what());
        return;
    }
    if (!generator) return;
    generator->run(this, argument(full).c_str());
    delete generator;
}

void OverrideRenderer::Input(const char* text) { Input(text, nullptr); }

void OverrideRenderer::Input(Generator* generator, const float*) {
    // As the renderer does, but with this wrapper as the generator's renderer.
    if (!generator) return;
    generator->run(this, nullptr);
    delete generator;
}

// ---------------------------------------------------------------------------- rewritten calls

void OverrideRenderer::Output(const char* name, const char* type, const char* mode,
                              const char* camera) {
    std::string fileType;
    if (type && viewer::isFramebufferType(type)) {
        if (view) {
            // The page shows every frame already; the display only names it. Declaring it
            // "null" takes its parameters off the pending list.
            if (name) frameLabel = name;
            inner()->Output(name, "null", mode, camera);
            return;
        }
        if (!framebufferHinted && options.verbosity > 0)
            std::fprintf(stderr,
                         "ovo: framebuffer display \"%s\" is written to a file; ovo --view shows "
                         "it live in a browser\n",
                         name ? name : "");
        framebufferHinted = true;
        fileType = imageFormatForFile(name ? name : "");
        type = fileType.c_str();
    }
    bool deleting = !type || std::strcmp(type, "null") == 0;
    if (options.output.empty() || !name) {
        inner()->Output(name, type, mode, camera);
        return;
    }
    if (firstDisplay.empty() && !deleting) firstDisplay = name;
    if (firstDisplay != name) {
        inner()->Output(name, type, mode, camera);
        return;
    }
    std::string format = imageFormatForFile(options.output);
    inner()->Output(options.output.c_str(), deleting ? type : format.c_str(), mode, camera);
}

void OverrideRenderer::Attribute(const char* decl, const float* value) {
    const float* v = floatsFor(declaredName(decl));
    inner()->Attribute(decl, v ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, const int* value) {
    const int* v = intsFor(declaredName(decl));
    inner()->Attribute(decl, v ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, int value) {
    int v;
    inner()->Attribute(decl, intFor(declaredName(decl), value, v) ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, const void* value) {
    std::string name = declaredName(decl);
    int v;
    if (const int* ints = intsFor(name)) {
        inner()->Attribute(decl, ints);
    } else if (const float* floats = floatsFor(name)) {
        inner()->Attribute(decl, floats);
    } else if (value && intFor(name, *static_cast<const int*>(value), v)) {
        inner()->Attribute(decl, v);
    } else {
        inner()->Attribute(decl, value);
    }
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const float* value) {
    const float* v = floatsFor(name ? name : "");
    inner()->Attribute(name, type, v ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const int* value) {
    const int* v = intsFor(name ? name : "");
    inner()->Attribute(name, type, v ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, int value) {
    int v;
    inner()->Attribute(name, type, intFor(name ? name : "", value, v) ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const void* value) {
    std::string n = name ? name : "";
    int v;
    if (const int* ints = intsFor(n)) {
        inner()->Attribute(name, type, static_cast<const void*>(ints));
    } else if (const float* floats = floatsFor(n)) {
        inner()->Attribute(name, type, static_cast<const void*>(floats));
    } else if (value && type.basetype() == TypeInt && !type.isarray() &&
               intFor(n, *static_cast<const int*>(value), v)) {
        inner()->Attribute(name, type, v);
    } else {
        inner()->Attribute(name, type, value);
    }
}

// ---------------------------------------------------------------------------- progress

namespace {

struct ProgressClock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Called by the render loop with its bucket lock held (or from the one streaming thread),
// so the bar is never drawn by two threads at once.
void reportProgress(unsigned done, unsigned total, void* user) {
    const auto* clock = static_cast<const ProgressClock*>(user);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clock->start).count();
    drawProgress(total ? double(done) / double(total) : 1.0, elapsed);
}

// The outputs that feed the viewer: colour and alpha, and depth.
const char* const ViewColour = "ovo:view";
const char* const ViewDepth = "ovo:view:z";

}  // namespace

void OverrideRenderer::World() {
    // A scene without a display still writes where -o says, not to the default name.
    if (!options.output.empty() && firstDisplay.empty() && !outputAdded) {
        std::string format = imageFormatForFile(options.output);
        inner()->Output(options.output.c_str(), format.c_str(), "rgba", "camera");
        outputAdded = true;
    }
    inner()->World();
    if (view) {
        inner()->Output(ViewColour, "framebuffer", "rgba", "camera");
        inner()->Output(ViewDepth, "framebuffer", "z", "camera");
    }
}

void OverrideRenderer::Render(const char* camera) {
    if (view) {
        view->nameNextFrame(frameLabel.empty() ? sceneName : frameLabel);
        frameLabel.clear();
    }
    renderWithProgress(camera);
    if (view) {  // the next frame declares them again; a frame without World gets none
        inner()->Output(ViewColour, "null", "rgba", "camera");
        inner()->Output(ViewDepth, "null", "z", "camera");
    }
}

void OverrideRenderer::renderWithProgress(const char* camera) {
    if (!options.progress) {
        inner()->Render(camera);
        return;
    }
    auto* renderer = dynamic_cast<Raytracer*>(inner());
    ProgressClock clock;
    if (renderer) renderer->setProgressCallback(reportProgress, &clock);
    inner()->Render(camera);
    if (renderer) renderer->setProgressCallback(nullptr, nullptr);
}

}  // namespace app
}  // namespace ovo
