#include "tests/rib/recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/params/paramtype.h"
#include "plugins/generators/rib/reader.h"

namespace ovotest {

namespace {

std::string str(const char* s) { return s ? std::string(s) : std::string("-"); }

std::string num(float v) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", double(v));
    return text;
}

// Values per element of a declaration: floats of the base type, or the array length for
// ints and strings.
std::size_t perValue(const ovo::ParamType& t) {
    if (t.basetype() == ovo::TypeInt || t.basetype() == ovo::TypeString) return t.arraylen();
    return std::size_t(t.nfloats());
}

}  // namespace

std::string join(const float* values, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? " " : "") + num(values[i]);
    return out;
}

std::string join(const int* values, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? " " : "") + std::to_string(values[i]);
    return out;
}

void Recorder::Handler::operator()(int code, const std::string& message) {
    char level = 'M';
    switch (code & 0xffff0000) {
        case EH_INFO:
            level = 'I';
            break;
        case EH_WARNING:
            level = 'W';
            break;
        case EH_ERROR:
            level = 'E';
            break;
        case EH_SEVERE:
            level = 'S';
            break;
        default:
            break;
    }
    owner.messages.emplace_back(level, message);
}

Recorder::Recorder()
    : ForwardingRenderer(nullptr),
      handler(*this),
      manager(ovo::ErrorManager::Create(&handler, 1)) {}

Recorder::~Recorder() { delete manager; }

void Recorder::read(const std::string& text, const std::string& name) {
    ovo::rib::Reader reader(this);
    reader.readMemory(name, text.data(), text.size());
    reader.finish();
}

std::vector<std::string> Recorder::diagnostics() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(std::string(1, m.first) + ": " + m.second);
    return out;
}

std::vector<std::string> Recorder::only(std::initializer_list<const char*> prefixes) const {
    std::vector<std::string> out;
    for (const std::string& c : calls)
        for (const char* p : prefixes)
            if (c.compare(0, std::strlen(p), p) == 0) {
                out.push_back(c);
                break;
            }
    return out;
}

void Recorder::pending(const char* decl, char kind, const void* data) {
    waiting.push_back({calls.size(), str(decl), kind, data});
    calls.push_back("Parameter(" + str(decl) + ")");
}

void Recorder::add(const std::string& call, Sizes sizes) {
    for (const Pending& p : waiting) {
        ovo::ParamType type;
        const char* rest = nullptr;
        if (!type.fromString(p.decl.c_str(), &rest)) {
            calls[p.index] = "Parameter(" + p.decl + ": bad declaration)";
            continue;
        }
        const std::size_t counts[4] = {1, sizes.perpiece, sizes.linear, sizes.vertex};
        const std::size_t n = counts[type.interpolation() & 3] * perValue(type);
        std::string text = "Parameter(" + p.decl + ":";
        if (p.kind == 'f') text += " " + join(static_cast<const float*>(p.data), n);
        if (p.kind == 'i') text += " " + join(static_cast<const int*>(p.data), n);
        if (p.kind == 's')
            for (std::size_t i = 0; i < n; ++i)
                text += " " + str(static_cast<const char* const*>(p.data)[i]);
        calls[p.index] = text + ")";
    }
    waiting.clear();
    calls.push_back(call);
}

void Recorder::Input(Generator* generator, const float*) {
    add("Input(generator)");
    delete generator;
}
void Recorder::Input(const char* text, const float*) { add("Input(" + str(text) + ")"); }
void Recorder::Input(const char* text) { add("Input(" + str(text) + ")"); }
void Recorder::Camera(const char* name) { add("Camera(" + str(name) + ")"); }
void Recorder::Output(const char* name, const char* type, const char* mode, const char* camera) {
    add("Output(" + str(name) + " " + str(type) + " " + str(mode) + " " + str(camera) + ")");
}
void Recorder::World() { add("World()"); }
void Recorder::Render(const char* camera) { add("Render(" + str(camera) + ")"); }
void Recorder::Motion(int n, const float* times) {
    add("Motion(" + std::to_string(n) + ": " + join(times, std::size_t(std::max(n, 0))) + ")");
}
void Recorder::Motion(int n, float, ...) { add("Motion(" + std::to_string(n) + " variadic)"); }

void Recorder::Parameter(const char* decl, const char** value) { pending(decl, 's', value); }
void Recorder::Parameter(const char* decl, const float* value) { pending(decl, 'f', value); }
void Recorder::Parameter(const char* decl, const int* value) { pending(decl, 'i', value); }
void Recorder::Parameter(const char* decl, const char* value) {
    calls.push_back("Parameter(" + str(decl) + ": " + str(value) + ")");
}
void Recorder::Parameter(const char* decl, double value) {
    calls.push_back("Parameter(" + str(decl) + ": " + num(float(value)) + ")");
}
void Recorder::Parameter(const char* decl, float value) {
    calls.push_back("Parameter(" + str(decl) + ": " + num(value) + ")");
}
void Recorder::Parameter(const char* decl, int value) {
    calls.push_back("Parameter(" + str(decl) + ": " + std::to_string(value) + ")");
}
void Recorder::Parameter(const char* decl, const void*) {
    calls.push_back("Parameter(" + str(decl) + ": void)");
}

namespace {
ovo::ParamType typeOf(const char* decl) {
    ovo::ParamType t;
    t.fromString(decl ? decl : "", nullptr);
    return t;
}
}  // namespace

void Recorder::Attribute(const char* decl, const char** value) {
    ovo::ParamType t = typeOf(decl);
    std::string text = "Attribute(" + str(decl) + ":";
    for (unsigned i = 0; i < t.arraylen(); ++i) text += " " + str(value[i]);
    add(text + ")");
}
void Recorder::Attribute(const char* decl, const float* value) {
    add("Attribute(" + str(decl) + ": " + join(value, std::size_t(typeOf(decl).nfloats())) + ")");
}
void Recorder::Attribute(const char* decl, const int* value) {
    add("Attribute(" + str(decl) + ": " + join(value, typeOf(decl).arraylen()) + ")");
}
void Recorder::Attribute(const char* decl, const char* value) {
    add("Attribute(" + str(decl) + ": " + str(value) + ")");
}
void Recorder::Attribute(const char* decl, double value) {
    add("Attribute(" + str(decl) + ": " + num(float(value)) + ")");
}
void Recorder::Attribute(const char* decl, float value) {
    add("Attribute(" + str(decl) + ": " + num(value) + ")");
}
void Recorder::Attribute(const char* decl, int value) {
    add("Attribute(" + str(decl) + ": " + std::to_string(value) + ")");
}
void Recorder::Attribute(const char* decl, const void*) {
    add("Attribute(" + str(decl) + ": void)");
}

bool Recorder::GetAttribute(const char* decl, const char*& value) {
    if (decl && std::strcmp(decl, "string path:input") == 0 && !inputPath.empty()) {
        value = inputPath.c_str();
        return true;
    }
    if (decl && std::strcmp(decl, "string path:shader") == 0 && !shaderPath.empty()) {
        value = shaderPath.c_str();
        return true;
    }
    return false;
}

void Recorder::PushAttributes() { add("PushAttributes()"); }
void Recorder::PopAttributes() { add("PopAttributes()"); }
void Recorder::SaveAttributes(const char* name, const char* categories) {
    add("SaveAttributes(" + str(name) + " " + str(categories) + ")");
}
void Recorder::RestoreAttributes(const char* name, const char* categories) {
    add("RestoreAttributes(" + str(name) + " " + str(categories) + ")");
}
void Recorder::PushOptions() { add("PushOptions()"); }
void Recorder::PopOptions() { add("PopOptions()"); }
void Recorder::PushTransform() { add("PushTransform()"); }
void Recorder::PopTransform() { add("PopTransform()"); }
void Recorder::SetTransform(const char* name) { add("SetTransform(" + str(name) + ")"); }
void Recorder::SetTransform(const float* m) { add("SetTransform(" + join(m, 16) + ")"); }
void Recorder::AppendTransform(const float* m) { add("AppendTransform(" + join(m, 16) + ")"); }
void Recorder::Translate(float dx, float dy, float dz) { numbers("Translate", {dx, dy, dz}); }
void Recorder::Rotate(float angle, float dx, float dy, float dz) {
    numbers("Rotate", {angle, dx, dy, dz});
}
void Recorder::Scale(float sx, float sy, float sz) { numbers("Scale", {sx, sy, sz}); }

void Recorder::Shader(const char* type, const char* name, const char* handle) {
    add("Shader(" + str(type) + " " + str(name) + " " + str(handle) + ")");
}
void Recorder::Light(const char* handle, const char* name, const char* unused) {
    add("Light(" + str(handle) + " " + str(name) + " " + str(unused) + ")");
}
void Recorder::ShaderGroupBegin() { add("ShaderGroupBegin()"); }
void Recorder::ShaderGroupEnd() { add("ShaderGroupEnd()"); }
void Recorder::ConnectShaders(const char* a, const char* b, const char* c, const char* d) {
    add("ConnectShaders(" + str(a) + " " + str(b) + " " + str(c) + " " + str(d) + ")");
}
void Recorder::LightSwitch(const char* handle, bool on) {
    add("LightSwitch(" + str(handle) + (on ? " on)" : " off)"));
}

void Recorder::SolidBegin(const char* operation) { add("SolidBegin(" + str(operation) + ")"); }
void Recorder::SolidEnd() { add("SolidEnd()"); }
void Recorder::ObjectBegin(const char* name) { add("ObjectBegin(" + str(name) + ")"); }
void Recorder::ObjectEnd() { add("ObjectEnd()"); }
void Recorder::ObjectInstance(const char* name) { add("ObjectInstance(" + str(name) + ")"); }

void Recorder::Shape(const char* type) { add("Shape(" + str(type) + ")"); }

void Recorder::Points(int npoints) {
    const std::size_t n = std::size_t(npoints);
    add("Points(" + std::to_string(npoints) + ")", Sizes{n, n, 1});
}
void Recorder::Curves(const char* basis, int ncurves, int* nverts) {
    Sizes s;
    s.vertex = 0;
    for (int i = 0; i < ncurves; ++i) s.vertex += std::size_t(nverts[i]);
    s.linear = 2 * std::size_t(ncurves);  // every curve has at least two varying values
    s.perpiece = std::size_t(ncurves);
    add("Curves(" + str(basis) + " " + std::to_string(ncurves) + " [" +
            join(nverts, std::size_t(ncurves)) + "])",
        s);
}
void Recorder::Curves(const char* basis, int ncurves, int nverts) {
    add("Curves(" + str(basis) + " " + std::to_string(ncurves) + " " + std::to_string(nverts) +
        ")");
}
void Recorder::Polygon(int n) {
    add("Polygon(" + std::to_string(n) + ")", Sizes{std::size_t(n), std::size_t(n), 1});
}
void Recorder::Polygon(int nloops, int* nverts) {
    Sizes s;
    s.vertex = 0;
    for (int i = 0; i < nloops; ++i) s.vertex += std::size_t(nverts[i]);
    s.linear = s.vertex;
    add("Polygon(" + std::to_string(nloops) + " [" + join(nverts, std::size_t(nloops)) + "])", s);
}
void Recorder::Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv,
                     int vorder, const float* vknot, float vmin, float vmax) {
    const Sizes s{std::size_t(nu) * std::size_t(nv), 4, 1};
    add("Patch(" + std::to_string(nu) + " " + std::to_string(uorder) + " [" +
            join(uknot, std::size_t(nu + uorder)) + "] " + num(umin) + " " + num(umax) + " " +
            std::to_string(nv) + " " + std::to_string(vorder) + " [" +
            join(vknot, std::size_t(nv + vorder)) + "] " + num(vmin) + " " + num(vmax) + ")",
        s);
}
void Recorder::Patch(const char* type, int nu, int nv) {
    add("Patch(" + str(type) + " " + std::to_string(nu) + " " + std::to_string(nv) + ")",
        Sizes{std::size_t(nu) * std::size_t(nv), 4, 1});
}
void Recorder::TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                         const float* knot, const float* min, const float* max, const float* P) {
    std::size_t curves = 0, knots = 0, points = 0;
    for (int i = 0; i < nloops; ++i) curves += std::size_t(ncurves[i]);
    for (std::size_t i = 0; i < curves; ++i) {
        knots += std::size_t(n[i] + order[i]);
        points += std::size_t(n[i]);
    }
    add("TrimCurve(" + std::to_string(nloops) + " [" + join(ncurves, std::size_t(nloops)) + "] [" +
        join(n, curves) + "] [" + join(order, curves) + "] [" + join(knot, knots) + "] [" +
        join(min, curves) + "] [" + join(max, curves) + "] [" + join(P, 3 * points) + "])");
}
void Recorder::Mesh(const char* type, int npolys, const int* nloops, const int* nverts,
                    const int* verts) {
    std::size_t loops = 0, total = 0;
    for (int i = 0; i < npolys; ++i) loops += std::size_t(nloops[i]);
    for (std::size_t i = 0; i < loops; ++i) total += std::size_t(nverts[i]);
    Sizes s;
    s.vertex = std::size_t(*std::max_element(verts, verts + total)) + 1;
    s.linear = s.vertex;
    s.perpiece = std::size_t(npolys);
    add("Mesh(" + str(type) + " " + std::to_string(npolys) + " [" +
            join(nloops, std::size_t(npolys)) + "] [" + join(nverts, loops) + "] [" +
            join(verts, total) + "])",
        s);
}
void Recorder::Mesh(const char* type, int npolys, const int* nverts, const int* verts) {
    std::size_t total = 0;
    for (int i = 0; i < npolys; ++i) total += std::size_t(nverts[i]);
    Sizes s;
    s.vertex = std::size_t(*std::max_element(verts, verts + total)) + 1;
    s.linear = s.vertex;
    s.perpiece = std::size_t(npolys);
    add("Mesh(" + str(type) + " " + std::to_string(npolys) + " [" +
            join(nverts, std::size_t(npolys)) + "] [" + join(verts, total) + "])",
        s);
}

void Recorder::numbers(const char* request, std::initializer_list<float> values, Sizes sizes) {
    add(std::string(request) + "(" + join(values.begin(), values.size()) + ")", sizes);
}

// Quadrics take four values of each varying class, one per corner of their (u, v) square.
// The one-value sphere is recorded as the full sphere it stands for.
void Recorder::Sphere(float r) { Sphere(r, -r, r, 360.0f); }
void Recorder::Sphere(float r, float zmin, float zmax, float tmax) {
    numbers("Sphere", {r, zmin, zmax, tmax}, Sizes{4, 4, 1});
}
void Recorder::Cone(float h, float r, float tmax) { numbers("Cone", {h, r, tmax}, Sizes{4, 4, 1}); }
void Recorder::Cone(float h, float r, float zmin, float zmax, float tmax) {
    numbers("Cone", {h, r, zmin, zmax, tmax}, Sizes{4, 4, 1});
}
void Recorder::Cylinder(float r, float zmin, float zmax, float tmax) {
    numbers("Cylinder", {r, zmin, zmax, tmax}, Sizes{4, 4, 1});
}
void Recorder::Disk(float h, float ri, float ro, float tmax) {
    numbers("Disk", {h, ri, ro, tmax}, Sizes{4, 4, 1});
}
void Recorder::Hyperboloid(float* p1, float* p2, float tmax) {
    numbers("Hyperboloid", {p1[0], p1[1], p1[2], p2[0], p2[1], p2[2], tmax}, Sizes{4, 4, 1});
}
void Recorder::Paraboloid(float r, float zmin, float zmax, float tmax) {
    numbers("Paraboloid", {r, zmin, zmax, tmax}, Sizes{4, 4, 1});
}
void Recorder::Torus(float a, float b, float phimin, float phimax, float tmax) {
    numbers("Torus", {a, b, phimin, phimax, tmax}, Sizes{4, 4, 1});
}

}  // namespace ovotest
