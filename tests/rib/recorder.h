// A RendererAPI that records every call the RIB reader makes as text, e.g. "Sphere(1 -1 1 360)"
// or "Parameter(vertex point P: 0 0 0 1 0 0 1 1 0)", and every diagnostic as "E: file:line: ...".
// Parameter arrays are read when the call that consumes them arrives, with as many values as
// that call needs, so AddressSanitizer catches a reader that passes too few.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "core/api/forwarding_renderer.h"
#include "core/params/paramtype.h"
#include "plugins/generators/rib/reader.h"
#include "tests/common/test_util.h"

namespace ovotest {

inline std::string text(const char* s) { return s ? s : "-"; }
inline const std::string& text(const std::string& s) { return s; }
inline std::string text(int v) { return std::to_string(v); }
// Values within 1e-12 of zero print as "0", so the rounding of exact angles does not show.
inline std::string text(double v) {
    char out[32];
    std::snprintf(out, sizeof out, "%g", std::abs(v) < 1e-12 ? 0.0 : v);
    return out;
}
template <class T>
std::string join(const T* values, std::size_t n, const char* between = " ") {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i ? between : "") + text(values[i]);
    return out;
}
inline std::string join(const std::vector<std::string>& v) {
    return join(v.data(), v.size(), "; ");
}
inline std::size_t sum(const int* v, int n) { return std::size_t(std::accumulate(v, v + n, 0)); }

// `text` with `path` written as `name` wherever it occurs (a scratch folder's path as "DIR").
inline std::string replaced(std::string text, const std::string& path, const std::string& name) {
    for (std::size_t at = 0; (at = text.find(path, at)) != std::string::npos; at += name.size())
        text.replace(at, path.size(), name);
    return text;
}

// Forwards nothing: a call it does not record reaches a renderer that ignores it.
class Recorder : public ovo::ForwardingRenderer {
  public:
    using Text = const char*;
    Recorder() : ForwardingRenderer(nullptr) {}

    // Forgets what was recorded, then reads RIB text through a fresh reader, as the file
    // `name`, and finishes it; the reader drives `through` (a wrapper around this), if given.
    Recorder& read(const std::string& rib, const std::string& name = "test.rib",
                   ovo::RendererAPI* through = nullptr) {
        clear();
        ovo::rib::Reader reader(through ? through : this);
        reader.readMemory(name, rib.data(), rib.size());
        reader.finish();
        return *this;
    }
    void clear() {
        calls.clear();
        capture.handler.reports.clear();
    }
    const std::vector<Report>& reports() const { return capture.handler.reports; }
    // Messages as "E: text", "W: text", ...
    std::vector<std::string> diagnostics() const {
        std::vector<std::string> out;
        for (const Report& m : reports()) out.push_back("MIWESD"[m.code >> 16] + (": " + m.text));
        return out;
    }
    // The calls that start with one of `prefixes`.
    std::vector<std::string> only(const std::vector<std::string>& prefixes) const {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (std::any_of(prefixes.begin(), prefixes.end(),
                            [&](const std::string& p) { return c.rfind(p, 0) == 0; }))
                out.push_back(c);
        return out;
    }
    // The calls (those starting with one of `prefixes`, if given), then the diagnostics, joined
    // by "; ".
    std::string all(const std::vector<std::string>& prefixes = {""}) const {
        std::vector<std::string> out = only(prefixes), messages = diagnostics();
        out.insert(out.end(), messages.begin(), messages.end());
        return join(out);
    }
    // Reads `body` inside a world block: all() of what happens between World() and Render(-).
    std::string world(const std::string& body) {
        read("WorldBegin\n" + body + "\nWorldEnd\n");
        const auto begin = std::find(calls.begin(), calls.end(), "World()");
        const auto end = std::find(calls.rbegin(), calls.rend(), "Render(-)").base();
        calls = begin < end ? std::vector<std::string>(begin + 1, end - 1) : calls;
        return all();
    }

    std::vector<std::string> calls;
    std::string inputPath;   // answered for "string path:input"; empty answers false
    std::string shaderPath;  // answered for "string path:shader"; empty answers false
    CapturingManager capture;

    using ForwardingRenderer::Attribute;
    using ForwardingRenderer::Curves;
    using ForwardingRenderer::GetAttribute;
    using ForwardingRenderer::Motion;
    using ForwardingRenderer::Parameter;
    ovo::ErrorManager* GetErrorManager() override { return capture.manager; }
    bool GetAttribute(Text decl, Text& value) override {
        const std::string* answer = nullptr;
        if (decl && std::strcmp(decl, "string path:input") == 0) answer = &inputPath;
        if (decl && std::strcmp(decl, "string path:shader") == 0) answer = &shaderPath;
        if (!answer || answer->empty()) return false;
        value = answer->c_str();
        return true;
    }

    void Camera(Text name) override { add("Camera", name); }
    void Output(Text a, Text b, Text c, Text d) override { add("Output", a, b, c, d); }
    void World() override { add("World"); }
    void Render(Text camera) override { add("Render", camera); }
    void Motion(int n, const float* times) override { add("Motion", n, join(times, n)); }

    void Parameter(Text d, const char** v) override { pending(d, v); }
    void Parameter(Text d, const float* v) override { pending(d, v); }
    void Parameter(Text d, const int* v) override { pending(d, v); }
    void Parameter(Text d, Text v) override { calls.push_back(param(d, text(v))); }
    void Parameter(Text d, float v) override { calls.push_back(param(d, text(v))); }
    void Parameter(Text d, int v) override { calls.push_back(param(d, text(v))); }
    void Attribute(Text d, const char** v) override { array(d, v); }
    void Attribute(Text d, const float* v) override { array(d, v); }
    void Attribute(Text d, const int* v) override { array(d, v); }
    void Attribute(Text d, Text v) override { add("Attribute", d + colon, v); }
    void Attribute(Text d, float v) override { add("Attribute", d + colon, v); }
    void Attribute(Text d, int v) override { add("Attribute", d + colon, v); }

    void PushAttributes() override { add("PushAttributes"); }
    void PopAttributes() override { add("PopAttributes"); }
    void SaveAttributes(Text name, Text what) override { add("SaveAttributes", name, what); }
    void PushOptions() override { add("PushOptions"); }
    void PopOptions() override { add("PopOptions"); }
    void PushTransform() override { add("PushTransform"); }
    void PopTransform() override { add("PopTransform"); }
    void SetTransform(Text name) override { add("SetTransform", name); }
    void SetTransform(const float* m) override { add("SetTransform", join(m, 16)); }
    void AppendTransform(const float* m) override { add("AppendTransform", join(m, 16)); }
    void Translate(float x, float y, float z) override { add("Translate", x, y, z); }
    void Rotate(float a, float x, float y, float z) override { add("Rotate", a, x, y, z); }
    void Scale(float x, float y, float z) override { add("Scale", x, y, z); }

    void Shader(Text type, Text name, Text handle) override { add("Shader", type, name, handle); }
    void Light(Text handle, Text name, Text unused) override { add("Light", handle, name, unused); }
    void ShaderGroupBegin() override { add("ShaderGroupBegin"); }
    void ShaderGroupEnd() override { add("ShaderGroupEnd"); }
    void ConnectShaders(Text a, Text b, Text c, Text d) override {
        add("ConnectShaders", a, b, c, d);
    }
    void LightSwitch(Text h, bool on) override { add("LightSwitch", h, on ? "on" : "off"); }
    void SolidBegin(Text operation) override { add("SolidBegin", operation); }
    void SolidEnd() override { add("SolidEnd"); }
    void ObjectBegin(Text name) override { add("ObjectBegin", name); }
    void ObjectEnd() override { add("ObjectEnd"); }
    void ObjectInstance(Text name) override { add("ObjectInstance", name); }
    void Shape(Text type) override { add("Shape", type); }

    // Geometry: the counts say how many values each storage class of the pending parameters has.
    void Points(int n) override { consume(n, n, 1), add("Points", n); }
    void Curves(Text basis, int ncurves, int* nverts) override {
        // Every curve has at least two varying values.
        consume(sum(nverts, ncurves), 2 * ncurves, ncurves);
        add("Curves", basis, ncurves, list(nverts, ncurves));
    }
    void Polygon(int n) override { consume(n, n, 1), add("Polygon", n); }
    void Polygon(int nloops, int* nverts) override {
        consume(sum(nverts, nloops), sum(nverts, nloops), 1);
        add("Polygon", nloops, list(nverts, nloops));
    }
    void Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv, int vorder,
               const float* vknot, float vmin, float vmax) override {
        consume(nu * nv, 4, 1);
        add("Patch", nu, uorder, list(uknot, nu + uorder), umin, umax, nv, vorder,
            list(vknot, nv + vorder), vmin, vmax);
    }
    void Patch(Text t, int nu, int nv) override { consume(nu * nv, 4, 1), add("Patch", t, nu, nv); }
    void TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                   const float* knot, const float* min, const float* max, const float* P) override {
        const int curves = int(sum(ncurves, nloops)), points = int(sum(n, curves));
        add("TrimCurve", nloops, list(ncurves, nloops), list(n, curves), list(order, curves),
            list(knot, points + int(sum(order, curves))), list(min, curves), list(max, curves),
            list(P, 3 * points));
    }
    void Mesh(Text type, int npolys, const int* nloops, const int* nverts,
              const int* verts) override {
        const int loops = int(sum(nloops, npolys)), total = int(sum(nverts, loops));
        consume(*std::max_element(verts, verts + total) + 1, 0, npolys);
        add("Mesh", type, npolys, list(nloops, npolys), list(nverts, loops), list(verts, total));
    }
    void Mesh(Text type, int npolys, const int* nverts, const int* verts) override {
        const int total = int(sum(nverts, npolys));
        consume(*std::max_element(verts, verts + total) + 1, 0, npolys);
        add("Mesh", type, npolys, list(nverts, npolys), list(verts, total));
    }
    void Sphere(float a, float b, float c, float d) override { quadric("Sphere", a, b, c, d); }
    void Cone(float a, float b, float c) override { quadric("Cone", a, b, c); }
    void Cylinder(float a, float b, float c, float d) override { quadric("Cylinder", a, b, c, d); }
    void Disk(float a, float b, float c, float d) override { quadric("Disk", a, b, c, d); }
    void Hyperboloid(float* p, float* q, float t) override {
        quadric("Hyperboloid", p[0], p[1], p[2], q[0], q[1], q[2], t);
    }
    void Paraboloid(float a, float b, float c, float d) override {
        quadric("Paraboloid", a, b, c, d);
    }
    void Torus(float a, float b, float c, float d, float e) override {
        quadric("Torus", a, b, c, d, e);
    }

  private:
    struct Pending {
        std::size_t index;
        std::string decl;
        std::function<std::string(std::size_t)> values;  // the first n values, as text
    };
    const std::string colon = ":";
    // Values per element of a declaration (the floats of its type, or its array length for
    // ints and strings), and its storage class.
    static std::pair<std::size_t, int> layout(Text decl) {
        ovo::ParamType t;
        t.fromString(decl, nullptr);
        const bool counted = t.basetype() == ovo::TypeInt || t.basetype() == ovo::TypeString;
        return {counted ? t.arraylen() : std::size_t(t.nfloats()), t.interpolation() & 3};
    }
    static std::string param(Text decl, const std::string& values) {
        return "Parameter(" + text(decl) + ": " + values + ")";
    }
    template <class T>
    static std::string list(const T* values, int n) {
        return "[" + join(values, std::size_t(n)) + "]";
    }
    // "Request(a b c)".
    template <class... A>
    void add(Text request, const A&... args) {
        std::string out;
        ((out += (out.empty() ? "" : " ") + text(args)), ...);
        consume(1, 1, 1);
        calls.push_back(request + ("(" + out + ")"));
    }
    template <class T>
    void array(Text decl, const T* values) {
        add("Attribute", decl + colon, join(values, layout(decl).first));
    }
    // Quadrics take four values of each varying class, one per corner of their (u, v) square.
    template <class... A>
    void quadric(Text request, A... values) {
        const float v[] = {values...};
        consume(4, 4, 1), add(request, join(v, sizeof...(values)));
    }
    template <class T>
    void pending(Text decl, const T* v) {
        waiting.push_back({calls.size(), decl, [v](std::size_t n) { return join(v, n); }});
        calls.push_back("");
    }
    // The pending parameters read `vertex`, `linear` or `perpiece` elements by storage class.
    void consume(std::size_t vertex, std::size_t linear, std::size_t perpiece) {
        for (const Pending& p : waiting) {
            const std::size_t counts[4] = {1, perpiece, linear ? linear : vertex, vertex};
            const auto [size, storage] = layout(p.decl.c_str());
            calls[p.index] = param(p.decl.c_str(), p.values(counts[storage] * size));
        }
        waiting.clear();
    }
    std::vector<Pending> waiting;  // parameters read by the next call
};

// "$n" in `s` stands for the n numbers 0 1 ... n-1.
inline std::string expand(std::string s) {
    for (std::size_t at, digits = 0; (at = s.find('$')) != std::string::npos;) {
        std::vector<int> numbers(std::size_t(std::stoi(s.substr(at + 1), &digits)));
        std::iota(numbers.begin(), numbers.end(), 0);
        s.replace(at, 1 + digits, join(numbers.data(), numbers.size()));
    }
    return s;
}

// Each row's RIB, read on its own inside a world block (or as a whole file), gives the row's
// calls and diagnostics as world() (or all()) shows them; both sides are expand()ed.
using Rows = std::vector<std::pair<std::string, std::string>>;
inline void expectRows(const Rows& rows, bool inWorld = true) {
    for (const auto& row : rows) {
        Recorder r;
        const std::string rib = expand(row.first);
        if (!inWorld) r.read(rib);
        EXPECT_EQ(inWorld ? r.world(rib) : r.all(), expand(row.second)) << rib;
    }
}

}  // namespace ovotest
