// ForwardingRenderer: a RendererAPI that hands every call, unchanged, to an inner renderer.
// A wrapper derives from it and overrides only the calls it changes (the ovo command's
// overrides, a test's recorder). Without an inner renderer the calls reach one that does
// nothing, as RendererAPI's own defaults do, and it has no error manager.
#pragma once

#include "core/api/renderer_api.h"

namespace ovo {

class ForwardingRenderer : public RendererAPI {
  public:
    // Does not own `inner`; null stands for a renderer that ignores every call.
    explicit ForwardingRenderer(RendererAPI* inner);

    void Input(Generator* generator, const float* bound) override;
    void Input(const char* text, const float* bound) override;
    void Input(const char* text) override;
    void Camera(const char* name) override;
    void Output(const char* name, const char* type, const char* mode, const char* camera) override;
    void World() override;
    void Render(const char* camera) override;
    void Motion(int n, const float* times) override;
    void Motion(int n, float t0, ...) override;
    void Comment(const char* format, ...) override;
    void Command(const char* text) override;

    void Parameter(const char* decl, const char** value) override;
    void Parameter(const char* decl, const float* value) override;
    void Parameter(const char* decl, const int* value) override;
    void Parameter(const char* decl, const char* value) override;
    void Parameter(const char* decl, double value) override;
    void Parameter(const char* decl, float value) override;
    void Parameter(const char* decl, int value) override;
    void Parameter(const char* decl, const void* value) override;
    void Parameter(const char* name, ParamType type, const char** value) override;
    void Parameter(const char* name, ParamType type, const float* value) override;
    void Parameter(const char* name, ParamType type, const int* value) override;
    void Parameter(const char* name, ParamType type, const char* value) override;
    void Parameter(const char* name, ParamType type, double value) override;
    void Parameter(const char* name, ParamType type, float value) override;
    void Parameter(const char* name, ParamType type, int value) override;
    void Parameter(const char* name, ParamType type, const void* value) override;

    void Attribute(const char* decl, const char** value) override;
    void Attribute(const char* decl, const float* value) override;
    void Attribute(const char* decl, const int* value) override;
    void Attribute(const char* decl, const char* value) override;
    void Attribute(const char* decl, double value) override;
    void Attribute(const char* decl, float value) override;
    void Attribute(const char* decl, int value) override;
    void Attribute(const char* decl, const void* value) override;
    void Attribute(const char* name, ParamType type, const char** value) override;
    void Attribute(const char* name, ParamType type, const float* value) override;
    void Attribute(const char* name, ParamType type, const int* value) override;
    void Attribute(const char* name, ParamType type, const char* value) override;
    void Attribute(const char* name, ParamType type, double value) override;
    void Attribute(const char* name, ParamType type, float value) override;
    void Attribute(const char* name, ParamType type, int value) override;
    void Attribute(const char* name, ParamType type, const void* value) override;

    bool GetAttribute(const char* decl, char** value) override;
    bool GetAttribute(const char* decl, float* value) override;
    bool GetAttribute(const char* decl, int* value) override;
    bool GetAttribute(const char* decl, const char*& value) override;
    bool GetAttribute(const char* decl, double& value) override;
    bool GetAttribute(const char* decl, float& value) override;
    bool GetAttribute(const char* decl, int& value) override;
    bool GetAttribute(const char* decl, void* value) override;

    void PushAttributes() override;
    void PopAttributes() override;
    void SaveAttributes(const char* name, const char* categories) override;
    void RestoreAttributes(const char* name, const char* categories) override;
    void Modify(const char* text) override;
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
    void ConnectShaders(const char* sourceLayer, const char* sourceParameter,
                        const char* destinationLayer, const char* destinationParameter) override;
    void LightSwitch(const char* handle, bool on) override;

    void SolidBegin(const char* operation) override;
    void SolidEnd() override;
    void ObjectBegin(const char* name) override;
    void ObjectEnd() override;
    void ObjectInstance(const char* name) override;

    void Shape(const char* type) override;
    void Points(int npoints) override;
    void Curves(int ncurves, int nvertices, int order, const float* knot, float vmin,
                float vmax) override;
    void Curves(int ncurves, int* nvertices, int* order, const float* knot, float* vmin,
                float* vmax) override;
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

    ErrorManager* GetErrorManager() override;

  protected:
    // Where the calls go; never null.
    RendererAPI* inner() const { return target; }

  private:
    RendererAPI* target;
};

}  // namespace ovo
