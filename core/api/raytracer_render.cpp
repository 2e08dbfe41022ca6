// Cameras, outputs, file input and rendering. Until the rendering engine is connected these
// calls record nothing and render nothing.
#include "core/api/raytracer.h"

namespace ovo {

void Raytracer::Camera(const char*) {}
void Raytracer::Output(const char*, const char*, const char*, const char*) {}
void Raytracer::Input(const char*, const float*) {}
void Raytracer::renderFrame(const char*) {}
void Raytracer::defineScreenSpaces() {}

}  // namespace ovo
