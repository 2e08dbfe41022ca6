// RendererAPI: the scene-description interface of the renderer. Hosts obtain one with
// CreateRenderer; shape and generator plugins call it back. The order of the virtual
// operations is part of the contract with every plugin built against this header.
#pragma once

#include <cstddef>
#include <string>

#include "core/params/error.h"
#include "core/params/paramtype.h"

namespace ovo {
class ParameterSet;
}

namespace ovo {

class RendererAPI {
  public:
    // Emits scene-description calls on a renderer; made by generator plugins.
    class Generator {
      public:
        Generator() {}
        Generator(const Generator&) {}
        Generator& operator=(const Generator&) { return *this; }
        virtual ~Generator();
        // Fills a bounding box (xmin, xmax, ymin, ymax, zmin, zmax); false when unknown.
        virtual bool bound(float* bound);
        // Emits calls on `renderer`, steered by `args` (may be null).
        virtual void run(RendererAPI* renderer, const char* args);
    };

    // The only renderer name is "raytracer" (null means the same). A null manager makes a
    // process-lived one on the default handler. Returns null for any other name.
    static RendererAPI* CreateRenderer(const char* name, ErrorManager* errorManager);
    // Renderers are allocated and freed by the library's allocator, so a host may delete one
    // made inside the library and subclass the interface with plain new and delete.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);

    RendererAPI() {}
    RendererAPI(const RendererAPI&) {}
    RendererAPI& operator=(const RendererAPI&) { return *this; }
    virtual ~RendererAPI();

    virtual void Input(Generator* generator, const float* bound);
    virtual void Input(const char* text, const float* bound);
    virtual void Input(const char* text);
    virtual void Camera(const char* name);
    virtual void Output(const char* name, const char* type, const char* mode, const char* camera);
    virtual void World();
    virtual void Render(const char* camera);
    virtual void Motion(int n, const float* times);
    virtual void Motion(int n, float t0, ...);
    virtual void Comment(const char* format, ...);
    virtual void Command(const char* text);

    virtual void Parameter(const char* decl, const char** value);
    virtual void Parameter(const char* decl, const float* value);
    virtual void Parameter(const char* decl, const int* value);
    virtual void Parameter(const char* decl, const char* value);
    virtual void Parameter(const char* decl, double value);
    virtual void Parameter(const char* decl, float value);
    virtual void Parameter(const char* decl, int value);
    virtual void Parameter(const char* decl, const void* value);
    virtual void Parameter(const char* name, ParamType type, const char** value);
    virtual void Parameter(const char* name, ParamType type, const float* value);
    virtual void Parameter(const char* name, ParamType type, const int* value);
    virtual void Parameter(const char* name, ParamType type, const char* value);
    virtual void Parameter(const char* name, ParamType type, double value);
    virtual void Parameter(const char* name, ParamType type, float value);
    virtual void Parameter(const char* name, ParamType type, int value);
    virtual void Parameter(const char* name, ParamType type, const void* value);

    virtual void Attribute(const char* decl, const char** value);
    virtual void Attribute(const char* decl, const float* value);
    virtual void Attribute(const char* decl, const int* value);
    virtual void Attribute(const char* decl, const char* value);
    virtual void Attribute(const char* decl, double value);
    virtual void Attribute(const char* decl, float value);
    virtual void Attribute(const char* decl, int value);
    virtual void Attribute(const char* decl, const void* value);
    virtual void Attribute(const char* name, ParamType type, const char** value);
    virtual void Attribute(const char* name, ParamType type, const float* value);
    virtual void Attribute(const char* name, ParamType type, const int* value);
    virtual void Attribute(const char* name, ParamType type, const char* value);
    virtual void Attribute(const char* name, ParamType type, double value);
    virtual void Attribute(const char* name, ParamType type, float value);
    virtual void Attribute(const char* name, ParamType type, int value);
    virtual void Attribute(const char* name, ParamType type, const void* value);

    virtual bool GetAttribute(const char* decl, char** value);
    virtual bool GetAttribute(const char* decl, float* value);
    virtual bool GetAttribute(const char* decl, int* value);
    virtual bool GetAttribute(const char* decl, const char*& value);
    virtual bool GetAttribute(const char* decl, double& value);
    virtual bool GetAttribute(const char* decl, float& value);
    virtual bool GetAttribute(const char* decl, int& value);
    virtual bool GetAttribute(const char* decl, void* value);

    virtual void PushAttributes();
    virtual void PopAttributes();
    virtual void SaveAttributes(const char* name, const char* categories);
    virtual void RestoreAttributes(const char* name, const char* categories);
    virtual void Modify(const char* text);
    virtual void PushOptions();
    virtual void PopOptions();
    virtual void PushTransform();
    virtual void PopTransform();
    virtual void SetTransform(const char* name);
    virtual void SetTransform(const float* m);
    virtual void AppendTransform(const float* m);
    virtual void Translate(float dx, float dy, float dz);
    virtual void Rotate(float angle, float dx, float dy, float dz);
    virtual void Scale(float sx, float sy, float sz);

    virtual void Shader(const char* type, const char* name, const char* handle);
    virtual void Light(const char* handle, const char* name, const char* unused);
    virtual void ShaderGroupBegin();
    virtual void ShaderGroupEnd();
    virtual void ConnectShaders(const char* sourceLayer, const char* sourceParameter,
                                const char* destinationLayer, const char* destinationParameter);
    virtual void LightSwitch(const char* handle, bool on);

    virtual void SolidBegin(const char* operation);
    virtual void SolidEnd();
    virtual void ObjectBegin(const char* name);
    virtual void ObjectEnd();
    virtual void ObjectInstance(const char* name);

    virtual void Shape(const char* type);
    virtual void Points(int npoints);
    virtual void Curves(int ncurves, int nvertices, int order, const float* knot, float vmin,
                        float vmax);
    virtual void Curves(int ncurves, int* nvertices, int* order, const float* knot, float* vmin,
                        float* vmax);
    virtual void Curves(const char* basis, int ncurves, int* nvertspercurve);
    virtual void Curves(const char* basis, int ncurves, int nvertspercurve);
    virtual void Polygon(int nvertices);
    virtual void Polygon(int nloops, int* nvertices);
    virtual void Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv,
                       int vorder, const float* vknot, float vmin, float vmax);
    virtual void Patch(const char* type, int nu, int nv);
    virtual void TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,
                           const float* knot, const float* min, const float* max, const float* P);
    virtual void Mesh(const char* type, int npolys, const int* nloops, const int* nvertices,
                      const int* vertices);
    virtual void Mesh(const char* type, int npolys, const int* nvertices, const int* vertices);
    virtual void Sphere(float radius);
    virtual void Sphere(float radius, float zmin, float zmax, float thetamax);
    virtual void Cone(float height, float radius, float thetamax);
    virtual void Cone(float height, float radius, float zmin, float zmax, float thetamax);
    virtual void Cylinder(float radius, float zmin, float zmax, float thetamax);
    virtual void Disk(float height, float innerRadius, float outerRadius, float thetamax);
    virtual void Hyperboloid(float* p1, float* p2, float thetamax);
    virtual void Paraboloid(float radius, float zmin, float zmax, float thetamax);
    virtual void Torus(float majorRadius, float minorRadius, float phimin, float phimax,
                       float thetamax);

    virtual ErrorManager* GetErrorManager() = 0;
};

}  // namespace ovo

// Every operation of the interface as an implementation declares it; a class that implements
// the whole interface (Raytracer, ForwardingRenderer) writes OVO_RENDERER_API_OVERRIDES in its
// public section instead of repeating the list.
#define OVO_RENDERER_API_OVERRIDES                                                                 \
    void Input(Generator* generator, const float* bound) override;                                 \
    void Input(const char* text, const float* bound) override;                                     \
    void Input(const char* text) override;                                                         \
    void Camera(const char* name) override;                                                        \
    void Output(const char* name, const char* type, const char* mode, const char* camera)          \
        override;                                                                                  \
    void World() override;                                                                         \
    void Render(const char* camera) override;                                                      \
    void Motion(int n, const float* times) override;                                               \
    void Motion(int n, float t0, ...) override;                                                    \
    void Comment(const char* format, ...) override;                                                \
    void Command(const char* text) override;                                                       \
    void Parameter(const char* decl, const char** value) override;                                 \
    void Parameter(const char* decl, const float* value) override;                                 \
    void Parameter(const char* decl, const int* value) override;                                   \
    void Parameter(const char* decl, const char* value) override;                                  \
    void Parameter(const char* decl, double value) override;                                       \
    void Parameter(const char* decl, float value) override;                                        \
    void Parameter(const char* decl, int value) override;                                          \
    void Parameter(const char* decl, const void* value) override;                                  \
    void Parameter(const char* name, ParamType type, const char** value) override;                 \
    void Parameter(const char* name, ParamType type, const float* value) override;                 \
    void Parameter(const char* name, ParamType type, const int* value) override;                   \
    void Parameter(const char* name, ParamType type, const char* value) override;                  \
    void Parameter(const char* name, ParamType type, double value) override;                       \
    void Parameter(const char* name, ParamType type, float value) override;                        \
    void Parameter(const char* name, ParamType type, int value) override;                          \
    void Parameter(const char* name, ParamType type, const void* value) override;                  \
    void Attribute(const char* decl, const char** value) override;                                 \
    void Attribute(const char* decl, const float* value) override;                                 \
    void Attribute(const char* decl, const int* value) override;                                   \
    void Attribute(const char* decl, const char* value) override;                                  \
    void Attribute(const char* decl, double value) override;                                       \
    void Attribute(const char* decl, float value) override;                                        \
    void Attribute(const char* decl, int value) override;                                          \
    void Attribute(const char* decl, const void* value) override;                                  \
    void Attribute(const char* name, ParamType type, const char** value) override;                 \
    void Attribute(const char* name, ParamType type, const float* value) override;                 \
    void Attribute(const char* name, ParamType type, const int* value) override;                   \
    void Attribute(const char* name, ParamType type, const char* value) override;                  \
    void Attribute(const char* name, ParamType type, double value) override;                       \
    void Attribute(const char* name, ParamType type, float value) override;                        \
    void Attribute(const char* name, ParamType type, int value) override;                          \
    void Attribute(const char* name, ParamType type, const void* value) override;                  \
    bool GetAttribute(const char* decl, char** value) override;                                    \
    bool GetAttribute(const char* decl, float* value) override;                                    \
    bool GetAttribute(const char* decl, int* value) override;                                      \
    bool GetAttribute(const char* decl, const char*& value) override;                              \
    bool GetAttribute(const char* decl, double& value) override;                                   \
    bool GetAttribute(const char* decl, float& value) override;                                    \
    bool GetAttribute(const char* decl, int& value) override;                                      \
    bool GetAttribute(const char* decl, void* value) override;                                     \
    void PushAttributes() override;                                                                \
    void PopAttributes() override;                                                                 \
    void SaveAttributes(const char* name, const char* categories) override;                        \
    void RestoreAttributes(const char* name, const char* categories) override;                     \
    void Modify(const char* text) override;                                                        \
    void PushOptions() override;                                                                   \
    void PopOptions() override;                                                                    \
    void PushTransform() override;                                                                 \
    void PopTransform() override;                                                                  \
    void SetTransform(const char* name) override;                                                  \
    void SetTransform(const float* m) override;                                                    \
    void AppendTransform(const float* m) override;                                                 \
    void Translate(float dx, float dy, float dz) override;                                         \
    void Rotate(float angle, float dx, float dy, float dz) override;                               \
    void Scale(float sx, float sy, float sz) override;                                             \
    void Shader(const char* type, const char* name, const char* handle) override;                  \
    void Light(const char* handle, const char* name, const char* unused) override;                 \
    void ShaderGroupBegin() override;                                                              \
    void ShaderGroupEnd() override;                                                                \
    void ConnectShaders(const char* sourceLayer, const char* sourceParameter,                      \
                        const char* destinationLayer, const char* destinationParameter) override;  \
    void LightSwitch(const char* handle, bool on) override;                                        \
    void SolidBegin(const char* operation) override;                                               \
    void SolidEnd() override;                                                                      \
    void ObjectBegin(const char* name) override;                                                   \
    void ObjectEnd() override;                                                                     \
    void ObjectInstance(const char* name) override;                                                \
    void Shape(const char* type) override;                                                         \
    void Points(int npoints) override;                                                             \
    void Curves(int ncurves, int nvertices, int order, const float* knot, float vmin, float vmax)  \
        override;                                                                                  \
    void Curves(int ncurves, int* nvertices, int* order, const float* knot, float* vmin,           \
                float* vmax) override;                                                             \
    void Curves(const char* basis, int ncurves, int* nvertspercurve) override;                     \
    void Curves(const char* basis, int ncurves, int nvertspercurve) override;                      \
    void Polygon(int nvertices) override;                                                          \
    void Polygon(int nloops, int* nvertices) override;                                             \
    void Patch(int nu, int uorder, const float* uknot, float umin, float umax, int nv, int vorder, \
               const float* vknot, float vmin, float vmax) override;                               \
    void Patch(const char* type, int nu, int nv) override;                                         \
    void TrimCurve(int nloops, const int* ncurves, const int* n, const int* order,                 \
                   const float* knot, const float* min, const float* max, const float* P)          \
        override;                                                                                  \
    void Mesh(const char* type, int npolys, const int* nloops, const int* nvertices,               \
              const int* vertices) override;                                                       \
    void Mesh(const char* type, int npolys, const int* nvertices, const int* vertices) override;   \
    void Sphere(float radius) override;                                                            \
    void Sphere(float radius, float zmin, float zmax, float thetamax) override;                    \
    void Cone(float height, float radius, float thetamax) override;                                \
    void Cone(float height, float radius, float zmin, float zmax, float thetamax) override;        \
    void Cylinder(float radius, float zmin, float zmax, float thetamax) override;                  \
    void Disk(float height, float innerRadius, float outerRadius, float thetamax) override;        \
    void Hyperboloid(float* p1, float* p2, float thetamax) override;                               \
    void Paraboloid(float radius, float zmin, float zmax, float thetamax) override;                \
    void Torus(float majorRadius, float minorRadius, float phimin, float phimax, float thetamax)   \
        override;

// Entry point every generator plugin exports.
extern "C" typedef ovo::RendererAPI::Generator* (*OvoCreateGeneratorEntry)(ovo::ParameterSet&);

namespace ovo {

// Loads the generator plugin `name` (a scene-file reader: "rib" for .rib files); throws Error
// when it cannot be loaded.
RendererAPI::Generator* createGenerator(const std::string& name, std::string& searchPath,
                                        ParameterSet& parameters);

}  // namespace ovo
