#include "apps/ovo/override_renderer.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/params/parameter.h"
#include "apps/ovo/progress.h"
#include "core/api/raytracer.h"
#include "core/plugins/search_path.h"
#include "core/render/output.h"

namespace ovo {
namespace app {

namespace {

// The full path of a scene file: absolute names as they are, others on the input path.
std::string findInput(const char* inputPath, const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        struct stat st;
        return stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? name : std::string();
    }
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

OverrideRenderer::OverrideRenderer(RendererAPI* inner, const CommandLine& options)
    : m_inner(inner), m_options(options), m_samples{options.samples, options.samples} {}

void OverrideRenderer::applyDefaults() {
    if (m_options.hasVerbosity) m_inner->Attribute("int verbosity", m_options.verbosity);
    if (m_options.hasThreads) m_inner->Attribute("int limits:threads", m_options.threads);
    if (m_options.stats) m_inner->Attribute("int statistics:level", 1);
    if (m_options.hasResolution)
        m_inner->Attribute("int[2] resolution", static_cast<const int*>(m_options.resolution));
    if (m_options.samples > 0)
        m_inner->Attribute("int[2] spatialquality", static_cast<const int*>(m_samples));
    if (m_options.hasCrop)
        m_inner->Attribute("float[4] crop", static_cast<const float*>(m_options.crop));
}

std::string OverrideRenderer::pluginPath() {
    std::string path = ".:./plugins";
    if (const char* home = std::getenv("OVO_HOME")) path += std::string(":") + home + "/plugins";
    return path;
}

const int* OverrideRenderer::intsFor(const std::string& name) const {
    if (name == "resolution" && m_options.hasResolution) return m_options.resolution;
    if (name == "spatialquality" && m_options.samples > 0) return m_samples;
    return nullptr;
}

const float* OverrideRenderer::floatsFor(const std::string& name) const {
    if (name == "crop" && m_options.hasCrop) return m_options.crop;
    return nullptr;
}

bool OverrideRenderer::intFor(const std::string& name, int value, int& out) const {
    if (name == "limits:threads" && m_options.hasThreads) {
        out = m_options.threads;
        return true;
    }
    if (name == "verbosity" && m_options.hasVerbosity) {
        out = m_options.verbosity;
        return true;
    }
    if (name == "statistics:level" && m_options.stats) {
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
        m_inner->Input(text, bound);
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
    if (!m_inner->GetAttribute("string path:input", inputPath) || !inputPath)
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
    bool deleting = !type || std::strcmp(type, "null") == 0;
    if (m_options.output.empty() || !name) {
        m_inner->Output(name, type, mode, camera);
        return;
    }
    if (m_firstDisplay.empty() && !deleting) m_firstDisplay = name;
    if (m_firstDisplay != name) {
        m_inner->Output(name, type, mode, camera);
        return;
    }
    std::string format = imageFormatForFile(m_options.output);
    m_inner->Output(m_options.output.c_str(), deleting ? type : format.c_str(), mode, camera);
}

void OverrideRenderer::Attribute(const char* decl, const float* value) {
    const float* v = floatsFor(declaredName(decl));
    m_inner->Attribute(decl, v ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, const int* value) {
    const int* v = intsFor(declaredName(decl));
    m_inner->Attribute(decl, v ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, int value) {
    int v;
    m_inner->Attribute(decl, intFor(declaredName(decl), value, v) ? v : value);
}
void OverrideRenderer::Attribute(const char* decl, const void* value) {
    std::string name = declaredName(decl);
    int v;
    if (const int* ints = intsFor(name)) {
        m_inner->Attribute(decl, ints);
    } else if (const float* floats = floatsFor(name)) {
        m_inner->Attribute(decl, floats);
    } else if (value && intFor(name, *static_cast<const int*>(value), v)) {
        m_inner->Attribute(decl, v);
    } else {
        m_inner->Attribute(decl, value);
    }
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const float* value) {
    const float* v = floatsFor(name ? name : "");
    m_inner->Attribute(name, type, v ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const int* value) {
    const int* v = intsFor(name ? name : "");
    m_inner->Attribute(name, type, v ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, int value) {
    int v;
    m_inner->Attribute(name, type, intFor(name ? name : "", value, v) ? v : value);
}
void OverrideRenderer::Attribute(const char* name, ParamType type, const void* value) {
    std::string n = name ? name : "";
    int v;
    if (const int* ints = intsFor(n)) {
        m_inner->Attribute(name, type, static_cast<const void*>(ints));
    } else if (const float* floats = floatsFor(n)) {
        m_inner->Attribute(name, type, static_cast<const void*>(floats));
    } else if (value && type.basetype() == TypeInt && !type.isarray() &&
               intFor(n, *static_cast<const int*>(value), v)) {
        m_inner->Attribute(name, type, v);
    } else {
        m_inner->Attribute(name, type, value);
    }
}

// ---------------------------------------------------------------------------- passed on

void OverrideRenderer::Camera(const char* name) { m_inner->Camera(name); }
void OverrideRenderer::World() { m_inner->World(); }
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

}  // namespace

void OverrideRenderer::Render(const char* camera) {
    if (!m_options.progress) {
        m_inner->Render(camera);
        return;
    }
    auto* renderer = dynamic_cast<Raytracer*>(m_inner);
    ProgressClock clock;
    if (renderer) renderer->setProgressCallback(reportProgress, &clock);
    m_inner->Render(camera);
    if (renderer) renderer->setProgressCallback(nullptr, nullptr);
}
void OverrideRenderer::Motion(int n, const float* times) { m_inner->Motion(n, times); }
// The interface puts a float before the "..."; clang flags va_start on a promoted type, but
// on the ABIs OVO builds for it only needs the position of the last named argument.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
void OverrideRenderer::Motion(int n, float t0, ...) {
    std::vector<float> times(std::size_t(n > 1 ? n : 1));
    times[0] = t0;
    va_list args;
    va_start(args, t0);
    for (int i = 1; i < n; ++i) times[std::size_t(i)] = float(va_arg(args, double));
    va_end(args);
    m_inner->Motion(n, times.data());
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
void OverrideRenderer::Comment(const char* format, ...) {
    if (!format) return;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    m_inner->Comment("%s", text);
}
void OverrideRenderer::Command(const char* text) { m_inner->Command(text); }
void OverrideRenderer::Modify(const char* text) { m_inner->Modify(text); }

void OverrideRenderer::Parameter(const char* d, const char** v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, const float* v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, const int* v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, const char* v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, double v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, float v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, int v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* d, const void* v) { m_inner->Parameter(d, v); }
void OverrideRenderer::Parameter(const char* n, ParamType t, const char** v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, const float* v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, const int* v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, const char* v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, double v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, float v) {
    m_inner->Parameter(n, t, v);
}
void OverrideRenderer::Parameter(const char* n, ParamType t, int v) { m_inner->Parameter(n, t, v); }
void OverrideRenderer::Parameter(const char* n, ParamType t, const void* v) {
    m_inner->Parameter(n, t, v);
}

void OverrideRenderer::Attribute(const char* d, const char** v) { m_inner->Attribute(d, v); }
void OverrideRenderer::Attribute(const char* d, const char* v) { m_inner->Attribute(d, v); }
void OverrideRenderer::Attribute(const char* d, double v) { m_inner->Attribute(d, v); }
void OverrideRenderer::Attribute(const char* d, float v) { m_inner->Attribute(d, v); }
void OverrideRenderer::Attribute(const char* n, ParamType t, const char** v) {
    m_inner->Attribute(n, t, v);
}
void OverrideRenderer::Attribute(const char* n, ParamType t, const char* v) {
    m_inner->Attribute(n, t, v);
}
void OverrideRenderer::Attribute(const char* n, ParamType t, double v) {
    m_inner->Attribute(n, t, v);
}
void OverrideRenderer::Attribute(const char* n, ParamType t, float v) {
    m_inner->Attribute(n, t, v);
}

bool OverrideRenderer::GetAttribute(const char* d, char** v) { return m_inner->GetAttribute(d, v); }
bool OverrideRenderer::GetAttribute(const char* d, float* v) { return m_inner->GetAttribute(d, v); }
bool OverrideRenderer::GetAttribute(const char* d, int* v) { return m_inner->GetAttribute(d, v); }
bool OverrideRenderer::GetAttribute(const char* d, const char*& v) {
    return m_inner->GetAttribute(d, v);
}
bool OverrideRenderer::GetAttribute(const char* d, double& v) {
    return m_inner->GetAttribute(d, v);
}
bool OverrideRenderer::GetAttribute(const char* d, float& v) { return m_inner->GetAttribute(d, v); }
bool OverrideRenderer::GetAttribute(const char* d, int& v) { return m_inner->GetAttribute(d, v); }
bool OverrideRenderer::GetAttribute(const char* d, void* v) { return m_inner->GetAttribute(d, v); }

void OverrideRenderer::PushAttributes() { m_inner->PushAttributes(); }
void OverrideRenderer::PopAttributes() { m_inner->PopAttributes(); }
void OverrideRenderer::SaveAttributes(const char* n, const char* c) {
    m_inner->SaveAttributes(n, c);
}
void OverrideRenderer::RestoreAttributes(const char* n, const char* c) {
    m_inner->RestoreAttributes(n, c);
}
void OverrideRenderer::PushOptions() { m_inner->PushOptions(); }
void OverrideRenderer::PopOptions() { m_inner->PopOptions(); }
void OverrideRenderer::PushTransform() { m_inner->PushTransform(); }
void OverrideRenderer::PopTransform() { m_inner->PopTransform(); }
void OverrideRenderer::SetTransform(const char* name) { m_inner->SetTransform(name); }
void OverrideRenderer::SetTransform(const float* m) { m_inner->SetTransform(m); }
void OverrideRenderer::AppendTransform(const float* m) { m_inner->AppendTransform(m); }
void OverrideRenderer::Translate(float x, float y, float z) { m_inner->Translate(x, y, z); }
void OverrideRenderer::Rotate(float a, float x, float y, float z) { m_inner->Rotate(a, x, y, z); }
void OverrideRenderer::Scale(float x, float y, float z) { m_inner->Scale(x, y, z); }

void OverrideRenderer::Shader(const char* t, const char* n, const char* h) {
    m_inner->Shader(t, n, h);
}
void OverrideRenderer::Light(const char* h, const char* n, const char* u) {
    m_inner->Light(h, n, u);
}
void OverrideRenderer::ShaderGroupBegin() { m_inner->ShaderGroupBegin(); }
void OverrideRenderer::ShaderGroupEnd() { m_inner->ShaderGroupEnd(); }
void OverrideRenderer::ConnectShaders(const char* a, const char* b, const char* c, const char* d) {
    m_inner->ConnectShaders(a, b, c, d);
}
void OverrideRenderer::LightSwitch(const char* h, bool on) { m_inner->LightSwitch(h, on); }

void OverrideRenderer::SolidBegin(const char* op) { m_inner->SolidBegin(op); }
void OverrideRenderer::SolidEnd() { m_inner->SolidEnd(); }
void OverrideRenderer::ObjectBegin(const char* n) { m_inner->ObjectBegin(n); }
void OverrideRenderer::ObjectEnd() { m_inner->ObjectEnd(); }
void OverrideRenderer::ObjectInstance(const char* n) { m_inner->ObjectInstance(n); }

void OverrideRenderer::Shape(const char* type) { m_inner->Shape(type); }
void OverrideRenderer::Points(int n) { m_inner->Points(n); }
void OverrideRenderer::Curves(int nc, int nv, int order, const float* knot, float vmin,
                              float vmax) {
    m_inner->Curves(nc, nv, order, knot, vmin, vmax);
}
void OverrideRenderer::Curves(int nc, int* nv, int* order, const float* knot, float* vmin,
                              float* vmax) {
    m_inner->Curves(nc, nv, order, knot, vmin, vmax);
}
void OverrideRenderer::Curves(const char* b, int nc, int* nv) { m_inner->Curves(b, nc, nv); }
void OverrideRenderer::Curves(const char* b, int nc, int nv) { m_inner->Curves(b, nc, nv); }
void OverrideRenderer::Polygon(int n) { m_inner->Polygon(n); }
void OverrideRenderer::Polygon(int nloops, int* nv) { m_inner->Polygon(nloops, nv); }
void OverrideRenderer::Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv,
                             int vorder, const float* vknot, float vmin, float vmax) {
    m_inner->Patch(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax);
}
void OverrideRenderer::Patch(const char* type, int nu, int nv) { m_inner->Patch(type, nu, nv); }
void OverrideRenderer::TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                                 const float* knot, const float* min, const float* max,
                                 const float* P) {
    m_inner->TrimCurve(nloops, ncurves, n, order, knot, min, max, P);
}
void OverrideRenderer::Mesh(const char* type, int np, const int* nl, const int* nv, const int* v) {
    m_inner->Mesh(type, np, nl, nv, v);
}
void OverrideRenderer::Mesh(const char* type, int np, const int* nv, const int* v) {
    m_inner->Mesh(type, np, nv, v);
}
void OverrideRenderer::Sphere(float r) { m_inner->Sphere(r); }
void OverrideRenderer::Sphere(float r, float z0, float z1, float t) {
    m_inner->Sphere(r, z0, z1, t);
}
void OverrideRenderer::Cone(float h, float r, float t) { m_inner->Cone(h, r, t); }
void OverrideRenderer::Cone(float h, float r, float z0, float z1, float t) {
    m_inner->Cone(h, r, z0, z1, t);
}
void OverrideRenderer::Cylinder(float r, float z0, float z1, float t) {
    m_inner->Cylinder(r, z0, z1, t);
}
void OverrideRenderer::Disk(float h, float ri, float ro, float t) { m_inner->Disk(h, ri, ro, t); }
void OverrideRenderer::Hyperboloid(float* p1, float* p2, float t) {
    m_inner->Hyperboloid(p1, p2, t);
}
void OverrideRenderer::Paraboloid(float r, float z0, float z1, float t) {
    m_inner->Paraboloid(r, z0, z1, t);
}
void OverrideRenderer::Torus(float a, float b, float p0, float p1, float t) {
    m_inner->Torus(a, b, p0, p1, t);
}

}  // namespace app
}  // namespace ovo
