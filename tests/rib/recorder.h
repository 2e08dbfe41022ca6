// A RendererAPI that records every call as text, e.g. "Sphere(1 -1 1 360)" or
// "Parameter(vertex point P: 0 0 0 1 0 0 1 1 0)", and every diagnostic. Parameter values
// are read when the call that consumes them arrives, with as many values as that call
// needs, so AddressSanitizer catches a reader that passes too few.
#pragma once

#include <OpenImageIO/errorhandler.h>

#include <string>
#include <vector>

#include "core/api/forwarding_renderer.h"

namespace ovotest {

// Values per storage class that a consuming call reads: vertex, linear, perpiece.
struct Sizes {
    std::size_t vertex = 1, linear = 1, perpiece = 1;
};

// Forwards nothing: what it does not record reaches a renderer that ignores it.
class Recorder : public ovo::ForwardingRenderer {
  public:
    Recorder();
    ~Recorder() override;

    // Reads RIB text through a fresh reader, as the file `name`, and finishes it.
    void read(const std::string& text, const std::string& name = "test.rib");
    void clear() {
        calls.clear();
        messages.clear();
    }
    // Messages as "E: text" / "W: text" / "S: text" / "I: text" / "M: text".
    std::vector<std::string> diagnostics() const;
    // Only the calls whose text starts with one of the prefixes.
    std::vector<std::string> only(std::initializer_list<const char*> prefixes) const;

    std::vector<std::string> calls;
    std::vector<std::pair<char, std::string>> messages;
    std::string inputPath;   // answered for "string path:input"; empty answers false
    std::string shaderPath;  // answered for "string path:shader"; empty answers false

    ovo::ErrorManager* GetErrorManager() override { return manager; }

    using ForwardingRenderer::Attribute;
    using ForwardingRenderer::Curves;
    using ForwardingRenderer::GetAttribute;
    using ForwardingRenderer::Parameter;

    void Input(Generator* generator, const float* bound) override;
    void Input(const char* text, const float* bound) override;
    void Input(const char* text) override;
    void Camera(const char* name) override;
    void Output(const char* name, const char* type, const char* mode, const char* camera) override;
    void World() override;
    void Render(const char* camera) override;
    void Motion(int n, const float* times) override;
    void Motion(int n, float t0, ...) override;

    void Parameter(const char* decl, const char** value) override;
    void Parameter(const char* decl, const float* value) override;
    void Parameter(const char* decl, const int* value) override;
    void Parameter(const char* decl, const char* value) override;
    void Parameter(const char* decl, double value) override;
    void Parameter(const char* decl, float value) override;
    void Parameter(const char* decl, int value) override;
    void Parameter(const char* decl, const void* value) override;

    void Attribute(const char* decl, const char** value) override;
    void Attribute(const char* decl, const float* value) override;
    void Attribute(const char* decl, const int* value) override;
    void Attribute(const char* decl, const char* value) override;
    void Attribute(const char* decl, double value) override;
    void Attribute(const char* decl, float value) override;
    void Attribute(const char* decl, int value) override;
    void Attribute(const char* decl, const void* value) override;
    bool GetAttribute(const char* decl, const char*& value) override;

    void PushAttributes() override;
    void PopAttributes() override;
    void SaveAttributes(const char* name, const char* categories) override;
    void RestoreAttributes(const char* name, const char* categories) override;
    void PushOptions() override;
    void PopOptions() override;
    void PushTransform() override;
    void PopTransform() override;
    void SetTransform(const char* name) override;
    void SetTransform(const float* m) override;
    void AppendTransform(const float* m) override;
    void Translate(float dx, float dy, float dz) override;
    void Rotate(float angle, float dx, float dy, float dz) override;
    void Scale(float sx, float sy, float sz) override;

    void Shader(const char* type, const char* name, const char* handle) override;
    void Light(const char* handle, const char* name, const char* unused) override;
    void ShaderGroupBegin() override;
    void ShaderGroupEnd() override;
    void ConnectShaders(const char* a, const char* b, const char* c, const char* d) override;
    void LightSwitch(const char* handle, bool on) override;

    void SolidBegin(const char* operation) override;
    void SolidEnd() override;
    void ObjectBegin(const char* name) override;
    void ObjectEnd() override;
    void ObjectInstance(const char* name) override;

    void Shape(const char* type) override;
    void Points(int npoints) override;
    void Curves(const char* basis, int ncurves, int* nvertspercurve) override;
    void Curves(const char* basis, int ncurves, int nvertspercurve) override;
    void Polygon(int nvertices) override;
    void Polygon(int nloops, int* nvertices) override;
    void Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv, int vorder,
               const float* vknot, float vmin, float vmax) override;
    void Patch(const char* type, int nu, int nv) override;
    void TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                   const float* knot, const float* min, const float* max, const float* P) override;
    void Mesh(const char* type, int npolys, const int* nloops, const int* nvertices,
              const int* vertices) override;
    void Mesh(const char* type, int npolys, const int* nvertices, const int* vertices) override;
    void Sphere(float radius) override;
    void Sphere(float radius, float zmin, float zmax, float thetamax) override;
    void Cone(float height, float radius, float thetamax) override;
    void Cone(float height, float radius, float zmin, float zmax, float thetamax) override;
    void Cylinder(float radius, float zmin, float zmax, float thetamax) override;
    void Disk(float height, float innerRadius, float outerRadius, float thetamax) override;
    void Hyperboloid(float* p1, float* p2, float thetamax) override;
    void Paraboloid(float radius, float zmin, float zmax, float thetamax) override;
    void Torus(float majorRadius, float minorRadius, float phimin, float phimax,
               float thetamax) override;

  private:
    struct Pending {
        std::size_t index;
        std::string decl;
        char kind;  // 'f', 'i', 's'
        const void* data;
    };
    void add(const std::string& call, Sizes sizes = Sizes());
    // "Request(v0 v1 ...)".
    void numbers(const char* request, std::initializer_list<float> values, Sizes sizes = Sizes());
    void pending(const char* decl, char kind, const void* data);

    class Handler : public OIIO::ErrorHandler {
      public:
        explicit Handler(Recorder& recorder) : owner(recorder) {}
        void operator()(int code, const std::string& message) override;

      private:
        Recorder& owner;
    };
    Handler handler;
    ovo::ErrorManager* manager;
    std::vector<Pending> waiting;  // parameters read by the next call
};

// Formats n floats as "a b c" with %g.
std::string join(const float* values, std::size_t n);
std::string join(const int* values, std::size_t n);

}  // namespace ovotest
