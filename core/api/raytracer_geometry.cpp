// Geometry calls, solids' contents and object instances. Until the shape plugins arrive these
// calls accept their arguments and make nothing.
#include "core/api/raytracer.h"

namespace ovo {

void Raytracer::defineObject(const std::string&, TransformNode&) {}
void Raytracer::ObjectInstance(const char*) {}

void Raytracer::Shape(const char*) {}
void Raytracer::Points(int) {}
void Raytracer::Curves(const char*, int, int*) {}
void Raytracer::Curves(const char*, int, int) {}
void Raytracer::Polygon(int) {}
void Raytracer::Polygon(int, int*) {}
void Raytracer::Patch(int, int, const float*, float, float, int, int, const float*, float, float) {}
void Raytracer::Patch(const char*, int, int) {}
void Raytracer::TrimCurve(int, const int*, const int*, const int*, const float*, const float*,
                          const float*, const float*) {}
void Raytracer::Mesh(const char*, int, const int*, const int*, const int*) {}
void Raytracer::Mesh(const char*, int, const int*, const int*) {}
void Raytracer::Sphere(float, float, float, float) {}
void Raytracer::Cone(float, float, float) {}
void Raytracer::Cone(float, float, float, float, float) {}
void Raytracer::Cylinder(float, float, float, float) {}
void Raytracer::Disk(float, float, float, float) {}
void Raytracer::Hyperboloid(float*, float*, float) {}
void Raytracer::Paraboloid(float, float, float, float) {}
void Raytracer::Torus(float, float, float, float, float) {}

}  // namespace ovo
