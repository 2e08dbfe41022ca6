// The base RendererAPI: every operation does nothing, so a host or test can override
// only what it needs. Sphere(r) forwards to the full sphere.
#include "core/api/renderer_api.h"

#include "core/plugins/factory.h"

namespace ovo {

RendererAPI::Generator::~Generator() {}
bool RendererAPI::Generator::bound(float*) { return false; }
void RendererAPI::Generator::run(RendererAPI*, const char*) {}

void* RendererAPI::operator new(std::size_t size) { return ::operator new(size); }
void RendererAPI::operator delete(void* p, std::size_t) { ::operator delete(p); }

RendererAPI::~RendererAPI() {}

void RendererAPI::Input(Generator*, const float*) {}
void RendererAPI::Input(const char*, const float*) {}
void RendererAPI::Input(const char*) {}
void RendererAPI::Camera(const char*) {}
void RendererAPI::Output(const char*, const char*, const char*, const char*) {}
void RendererAPI::World() {}
void RendererAPI::Render(const char*) {}
void RendererAPI::Motion(int, const float*) {}
void RendererAPI::Motion(int, float, ...) {}
void RendererAPI::Comment(const char*, ...) {}
void RendererAPI::Command(const char*) {}

void RendererAPI::Parameter(const char*, const char**) {}
void RendererAPI::Parameter(const char*, const float*) {}
void RendererAPI::Parameter(const char*, const int*) {}
void RendererAPI::Parameter(const char*, const char*) {}
void RendererAPI::Parameter(const char*, double) {}
void RendererAPI::Parameter(const char*, float) {}
void RendererAPI::Parameter(const char*, int) {}
void RendererAPI::Parameter(const char*, const void*) {}
void RendererAPI::Parameter(const char*, ParamType, const char**) {}
void RendererAPI::Parameter(const char*, ParamType, const float*) {}
void RendererAPI::Parameter(const char*, ParamType, const int*) {}
void RendererAPI::Parameter(const char*, ParamType, const char*) {}
void RendererAPI::Parameter(const char*, ParamType, double) {}
void RendererAPI::Parameter(const char*, ParamType, float) {}
void RendererAPI::Parameter(const char*, ParamType, int) {}
void RendererAPI::Parameter(const char*, ParamType, const void*) {}

void RendererAPI::Attribute(const char*, const char**) {}
void RendererAPI::Attribute(const char*, const float*) {}
void RendererAPI::Attribute(const char*, const int*) {}
void RendererAPI::Attribute(const char*, const char*) {}
void RendererAPI::Attribute(const char*, double) {}
void RendererAPI::Attribute(const char*, float) {}
void RendererAPI::Attribute(const char*, int) {}
void RendererAPI::Attribute(const char*, const void*) {}
void RendererAPI::Attribute(const char*, ParamType, const char**) {}
void RendererAPI::Attribute(const char*, ParamType, const float*) {}
void RendererAPI::Attribute(const char*, ParamType, const int*) {}
void RendererAPI::Attribute(const char*, ParamType, const char*) {}
void RendererAPI::Attribute(const char*, ParamType, double) {}
void RendererAPI::Attribute(const char*, ParamType, float) {}
void RendererAPI::Attribute(const char*, ParamType, int) {}
void RendererAPI::Attribute(const char*, ParamType, const void*) {}

bool RendererAPI::GetAttribute(const char*, char**) { return false; }
bool RendererAPI::GetAttribute(const char*, float*) { return false; }
bool RendererAPI::GetAttribute(const char*, int*) { return false; }
bool RendererAPI::GetAttribute(const char*, const char*&) { return false; }
bool RendererAPI::GetAttribute(const char*, double&) { return false; }
bool RendererAPI::GetAttribute(const char*, float&) { return false; }
bool RendererAPI::GetAttribute(const char*, int&) { return false; }
bool RendererAPI::GetAttribute(const char*, void*) { return false; }

void RendererAPI::PushAttributes() {}
void RendererAPI::PopAttributes() {}
void RendererAPI::SaveAttributes(const char*, const char*) {}
void RendererAPI::RestoreAttributes(const char*, const char*) {}
void RendererAPI::Modify(const char*) {}
void RendererAPI::PushOptions() {}
void RendererAPI::PopOptions() {}
void RendererAPI::PushTransform() {}
void RendererAPI::PopTransform() {}
void RendererAPI::SetTransform(const char*) {}
void RendererAPI::SetTransform(const float*) {}
void RendererAPI::AppendTransform(const float*) {}
void RendererAPI::Translate(float, float, float) {}
void RendererAPI::Rotate(float, float, float, float) {}
void RendererAPI::Scale(float, float, float) {}

void RendererAPI::Shader(const char*, const char*, const char*) {}
void RendererAPI::Light(const char*, const char*, const char*) {}
void RendererAPI::ShaderGroupBegin() {}
void RendererAPI::ShaderGroupEnd() {}
void RendererAPI::ConnectShaders(const char*, const char*, const char*, const char*) {}
void RendererAPI::LightSwitch(const char*, bool) {}

void RendererAPI::SolidBegin(const char*) {}
void RendererAPI::SolidEnd() {}
void RendererAPI::ObjectBegin(const char*) {}
void RendererAPI::ObjectEnd() {}
void RendererAPI::ObjectInstance(const char*) {}

void RendererAPI::Shape(const char*) {}
void RendererAPI::Points(int) {}
void RendererAPI::Curves(int, int, int, const float*, float, float) {}
void RendererAPI::Curves(int, int*, int*, const float*, float*, float*) {}
void RendererAPI::Curves(const char*, int, int*) {}
void RendererAPI::Curves(const char*, int, int) {}
void RendererAPI::Polygon(int) {}
void RendererAPI::Polygon(int, int*) {}
void RendererAPI::Patch(int, int, const float*, float, float, int, int, const float*, float,
                        float) {}
void RendererAPI::Patch(const char*, int, int) {}
void RendererAPI::TrimCurve(int, const int*, const int*, const int*, const float*, const float*,
                            const float*, const float*) {}
void RendererAPI::Mesh(const char*, int, const int*, const int*, const int*) {}
void RendererAPI::Mesh(const char*, int, const int*, const int*) {}
void RendererAPI::Sphere(float radius) { Sphere(radius, -radius, radius, 360.0f); }
void RendererAPI::Sphere(float, float, float, float) {}
void RendererAPI::Cone(float, float, float) {}
void RendererAPI::Cone(float, float, float, float, float) {}
void RendererAPI::Cylinder(float, float, float, float) {}
void RendererAPI::Disk(float, float, float, float) {}
void RendererAPI::Hyperboloid(float*, float*, float) {}
void RendererAPI::Paraboloid(float, float, float, float) {}
void RendererAPI::Torus(float, float, float, float, float) {}

RendererAPI::Generator* createGenerator(const std::string& name, std::string& searchPath,
                                        ParameterSet& parameters) {
    return findPluginEntry<OvoCreateGeneratorEntry>(name, searchPath, "generator",
                                                    "createGenerator")(parameters);
}

}  // namespace ovo
