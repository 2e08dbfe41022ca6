#include "core/api/forwarding_renderer.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace ovo {

namespace {

// The inner renderer of a forwarder made without one: RendererAPI's defaults throughout.
class IgnoringRenderer : public RendererAPI {
  public:
    ErrorManager* GetErrorManager() override { return nullptr; }
};

RendererAPI* ignoringRenderer() {
    static IgnoringRenderer renderer;
    return &renderer;
}

}  // namespace

ForwardingRenderer::ForwardingRenderer(RendererAPI* inner)
    : target(inner ? inner : ignoringRenderer()) {}

ErrorManager* ForwardingRenderer::GetErrorManager() { return target->GetErrorManager(); }

// The variadic calls cannot pass their arguments on as they are: the times travel as an
// array, the comment as its formatted text.
// The interface puts a float before the "..."; clang flags va_start on a promoted type, but
// on the ABIs OVO builds for it only needs the position of the last named argument.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
void ForwardingRenderer::Motion(int n, float t0, ...) {
    std::vector<float> times(std::size_t(n > 1 ? n : 1));
    times[0] = t0;
    va_list args;
    va_start(args, t0);
    for (int i = 1; i < n; ++i) times[std::size_t(i)] = float(va_arg(args, double));
    va_end(args);
    target->Motion(n, times.data());
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

void ForwardingRenderer::Comment(const char* format, ...) {
    if (!format) return;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    target->Comment("%s", text);
}

void ForwardingRenderer::Input(Generator* generator, const float* bound) {
    target->Input(generator, bound);
}
void ForwardingRenderer::Input(const char* text, const float* bound) { target->Input(text, bound); }
void ForwardingRenderer::Input(const char* text) { target->Input(text); }
void ForwardingRenderer::Camera(const char* name) { target->Camera(name); }
void ForwardingRenderer::Output(const char* name, const char* type, const char* mode,
                                const char* camera) {
    target->Output(name, type, mode, camera);
}
void ForwardingRenderer::World() { target->World(); }
void ForwardingRenderer::Render(const char* camera) { target->Render(camera); }
void ForwardingRenderer::Motion(int n, const float* times) { target->Motion(n, times); }
void ForwardingRenderer::Command(const char* text) { target->Command(text); }

void ForwardingRenderer::Parameter(const char* d, const char** v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, const float* v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, const int* v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, const char* v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, double v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, float v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, int v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* d, const void* v) { target->Parameter(d, v); }
void ForwardingRenderer::Parameter(const char* n, ParamType t, const char** v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, const float* v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, const int* v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, const char* v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, double v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, float v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, int v) {
    target->Parameter(n, t, v);
}
void ForwardingRenderer::Parameter(const char* n, ParamType t, const void* v) {
    target->Parameter(n, t, v);
}

void ForwardingRenderer::Attribute(const char* d, const char** v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, const float* v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, const int* v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, const char* v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, double v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, float v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, int v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* d, const void* v) { target->Attribute(d, v); }
void ForwardingRenderer::Attribute(const char* n, ParamType t, const char** v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, const float* v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, const int* v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, const char* v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, double v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, float v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, int v) {
    target->Attribute(n, t, v);
}
void ForwardingRenderer::Attribute(const char* n, ParamType t, const void* v) {
    target->Attribute(n, t, v);
}

bool ForwardingRenderer::GetAttribute(const char* d, char** v) {
    return target->GetAttribute(d, v);
}
bool ForwardingRenderer::GetAttribute(const char* d, float* v) {
    return target->GetAttribute(d, v);
}
bool ForwardingRenderer::GetAttribute(const char* d, int* v) { return target->GetAttribute(d, v); }
bool ForwardingRenderer::GetAttribute(const char* d, const char*& v) {
    return target->GetAttribute(d, v);
}
bool ForwardingRenderer::GetAttribute(const char* d, double& v) {
    return target->GetAttribute(d, v);
}
bool ForwardingRenderer::GetAttribute(const char* d, float& v) {
    return target->GetAttribute(d, v);
}
bool ForwardingRenderer::GetAttribute(const char* d, int& v) { return target->GetAttribute(d, v); }
bool ForwardingRenderer::GetAttribute(const char* d, void* v) { return target->GetAttribute(d, v); }

void ForwardingRenderer::PushAttributes() { target->PushAttributes(); }
void ForwardingRenderer::PopAttributes() { target->PopAttributes(); }
void ForwardingRenderer::SaveAttributes(const char* name, const char* categories) {
    target->SaveAttributes(name, categories);
}
void ForwardingRenderer::RestoreAttributes(const char* name, const char* categories) {
    target->RestoreAttributes(name, categories);
}
void ForwardingRenderer::Modify(const char* text) { target->Modify(text); }
void ForwardingRenderer::PushOptions() { target->PushOptions(); }
void ForwardingRenderer::PopOptions() { target->PopOptions(); }
void ForwardingRenderer::PushTransform() { target->PushTransform(); }
void ForwardingRenderer::PopTransform() { target->PopTransform(); }
void ForwardingRenderer::SetTransform(const char* name) { target->SetTransform(name); }
void ForwardingRenderer::SetTransform(const float* m) { target->SetTransform(m); }
void ForwardingRenderer::AppendTransform(const float* m) { target->AppendTransform(m); }
void ForwardingRenderer::Translate(float dx, float dy, float dz) { target->Translate(dx, dy, dz); }
void ForwardingRenderer::Rotate(float angle, float dx, float dy, float dz) {
    target->Rotate(angle, dx, dy, dz);
}
void ForwardingRenderer::Scale(float sx, float sy, float sz) { target->Scale(sx, sy, sz); }

void ForwardingRenderer::Shader(const char* type, const char* name, const char* handle) {
    target->Shader(type, name, handle);
}
void ForwardingRenderer::Light(const char* handle, const char* name, const char* unused) {
    target->Light(handle, name, unused);
}
void ForwardingRenderer::ShaderGroupBegin() { target->ShaderGroupBegin(); }
void ForwardingRenderer::ShaderGroupEnd() { target->ShaderGroupEnd(); }
void ForwardingRenderer::ConnectShaders(const char* sourceLayer, const char* sourceParameter,
                                        const char* destinationLayer,
                                        const char* destinationParameter) {
    target->ConnectShaders(sourceLayer, sourceParameter, destinationLayer, destinationParameter);
}
void ForwardingRenderer::LightSwitch(const char* handle, bool on) {
    target->LightSwitch(handle, on);
}

void ForwardingRenderer::SolidBegin(const char* operation) { target->SolidBegin(operation); }
void ForwardingRenderer::SolidEnd() { target->SolidEnd(); }
void ForwardingRenderer::ObjectBegin(const char* name) { target->ObjectBegin(name); }
void ForwardingRenderer::ObjectEnd() { target->ObjectEnd(); }
void ForwardingRenderer::ObjectInstance(const char* name) { target->ObjectInstance(name); }

void ForwardingRenderer::Shape(const char* type) { target->Shape(type); }
void ForwardingRenderer::Points(int npoints) { target->Points(npoints); }
void ForwardingRenderer::Curves(int ncurves, int nvertices, int order, const float* knot,
                                float vmin, float vmax) {
    target->Curves(ncurves, nvertices, order, knot, vmin, vmax);
}
void ForwardingRenderer::Curves(int ncurves, int* nvertices, int* order, const float* knot,
                                float* vmin, float* vmax) {
    target->Curves(ncurves, nvertices, order, knot, vmin, vmax);
}
void ForwardingRenderer::Curves(const char* basis, int ncurves, int* nvertspercurve) {
    target->Curves(basis, ncurves, nvertspercurve);
}
void ForwardingRenderer::Curves(const char* basis, int ncurves, int nvertspercurve) {
    target->Curves(basis, ncurves, nvertspercurve);
}
void ForwardingRenderer::Polygon(int nvertices) { target->Polygon(nvertices); }
void ForwardingRenderer::Polygon(int nloops, int* nvertices) { target->Polygon(nloops, nvertices); }
void ForwardingRenderer::Patch(int nu, int uorder, const float* uknot, float umin, float umax,
                               int nv, int vorder, const float* vknot, float vmin, float vmax) {
    target->Patch(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax);
}
void ForwardingRenderer::Patch(const char* type, int nu, int nv) { target->Patch(type, nu, nv); }
void ForwardingRenderer::TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                                   const float* knot, const float* min, const float* max,
                                   const float* P) {
    target->TrimCurve(nloops, ncurves, n, order, knot, min, max, P);
}
void ForwardingRenderer::Mesh(const char* type, int npolys, const int* nloops, const int* nvertices,
                              const int* vertices) {
    target->Mesh(type, npolys, nloops, nvertices, vertices);
}
void ForwardingRenderer::Mesh(const char* type, int npolys, const int* nvertices,
                              const int* vertices) {
    target->Mesh(type, npolys, nvertices, vertices);
}
void ForwardingRenderer::Sphere(float radius) { target->Sphere(radius); }
void ForwardingRenderer::Sphere(float radius, float zmin, float zmax, float thetamax) {
    target->Sphere(radius, zmin, zmax, thetamax);
}
void ForwardingRenderer::Cone(float height, float radius, float thetamax) {
    target->Cone(height, radius, thetamax);
}
void ForwardingRenderer::Cone(float height, float radius, float zmin, float zmax, float thetamax) {
    target->Cone(height, radius, zmin, zmax, thetamax);
}
void ForwardingRenderer::Cylinder(float radius, float zmin, float zmax, float thetamax) {
    target->Cylinder(radius, zmin, zmax, thetamax);
}
void ForwardingRenderer::Disk(float height, float innerRadius, float outerRadius, float thetamax) {
    target->Disk(height, innerRadius, outerRadius, thetamax);
}
void ForwardingRenderer::Hyperboloid(float* p1, float* p2, float thetamax) {
    target->Hyperboloid(p1, p2, thetamax);
}
void ForwardingRenderer::Paraboloid(float radius, float zmin, float zmax, float thetamax) {
    target->Paraboloid(radius, zmin, zmax, thetamax);
}
void ForwardingRenderer::Torus(float majorRadius, float minorRadius, float phimin, float phimax,
                               float thetamax) {
    target->Torus(majorRadius, minorRadius, phimin, phimax, thetamax);
}

}  // namespace ovo
