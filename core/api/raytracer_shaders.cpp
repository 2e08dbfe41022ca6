// Shader and light declarations. Until shaders can be loaded these calls make nothing.
#include "core/api/raytracer.h"

namespace ovo {

void Raytracer::Shader(const char*, const char*, const char*) {}
void Raytracer::Light(const char*, const char*, const char*) {}
void Raytracer::ConnectShaders(const char*, const char*, const char*, const char*) {}
void Raytracer::LightSwitch(const char*, bool) {}

}  // namespace ovo
