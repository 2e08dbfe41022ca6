// Derivatives of shader values, coordinate spaces and small geometric helpers that compiled
// shaders call. Derivatives rely on the three passes of Hit::shade: a call site stores its
// value in the offset passes and differentiates in the main pass, so every pass must reach
// the same call sites in the same order.
#pragma once

#include <OpenImageIO/ustring.h>

#include "core/math/matrix.h"
#include "core/math/tuple.h"
#include "core/shading/environment.h"

namespace SL {

using ovo::Color;
using ovo::Matrix;
using ovo::ShaderEnvironment;
using ovo::Tuple;

float Du(ShaderEnvironment& env, float x);
float Dv(ShaderEnvironment& env, float x);
float Deriv(ShaderEnvironment& env, float num, float den);
Tuple Du(ShaderEnvironment& env, Tuple& x);
Tuple Dv(ShaderEnvironment& env, Tuple& x);
Tuple Deriv(ShaderEnvironment& env, Tuple& num, float den);
// Colours have no derivatives here: always black, and they take no call site.
Color Du(ShaderEnvironment& env, Color& x);
Color Dv(ShaderEnvironment& env, Color& x);
Color Deriv(ShaderEnvironment& env, Color& num, float den);
// The area of the pixel footprint at P (1e-6 in the offset passes).
float area(ShaderEnvironment& env, Tuple& P);
// The normal of the surface P describes, on the side of Ng.
Tuple calculatenormal(ShaderEnvironment& env, Tuple& P);

// From current space to the named space: "shader", "object", or a named coordinate system of
// the scene; a name the scene does not know leaves the value as it is. The forms with two names
// first bring the value from `from` to current space. Points are divided by w unless it is
// exactly 1, vectors use the 3x3 part, normals the inverse transpose, and a matrix m becomes
// M·m.
Tuple transform(ShaderEnvironment& env, OIIO::ustring to, Tuple& p);
Tuple vtransform(ShaderEnvironment& env, OIIO::ustring to, Tuple& v);
Tuple ntransform(ShaderEnvironment& env, OIIO::ustring to, Tuple& n);
Matrix mtransform(ShaderEnvironment& env, OIIO::ustring to, Matrix& m);
Tuple transform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& p);
Tuple vtransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& v);
Tuple ntransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& n);
Matrix mtransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Matrix& m);
Tuple transform(Matrix& m, Tuple& p);
Tuple vtransform(Matrix& m, Tuple& v);
Tuple ntransform(Matrix& m, Tuple& n);
Matrix mtransform(Matrix& a, Matrix& m);

// N turned toward the viewer: the sign of -I·Ng times N (zero when I is perpendicular to Ng).
Tuple faceforward(ShaderEnvironment& env, Tuple& N, Tuple& I);
// Q turned by `angle` radians, right-handed, about the line through P0 and P1.
Tuple rotate(Tuple& Q, float angle, Tuple& P0, Tuple& P1);
// The Fresnel reflection and transmission coefficients of a dielectric for the incident
// direction I and the normal N (both of unit length, I toward the surface), eta being the ratio
// of the indices of refraction outside and inside. The second form also gives the mirror
// direction R and the refracted direction T, (0, 0, 0) under total internal reflection.
void fresnel(Tuple& I, Tuple& N, float eta, float& Kr, float& Kt);
void fresnel(Tuple& I, Tuple& N, float eta, float& Kr, float& Kt, Tuple& R, Tuple& T);
// The distance from Q to the segment from P0 to P1.
float ptlined(const Tuple& P0, const Tuple& P1, const Tuple& Q);
// 0 at the camera's near plane, 1 at its far plane.
float depth(ShaderEnvironment& env, Tuple& P);

// Small vector helpers of the shading language; normalize of a zero vector stays zero.
inline Tuple normalize(const Tuple& v) {
    const float l = v.length();
    return l > 0.0f ? Tuple(v.x / l, v.y / l, v.z / l) : Tuple(0.0f);
}
inline Tuple reflect(const Tuple& I, const Tuple& N) { return I - 2.0f * ovo::dot(I, N) * N; }

}  // namespace SL
