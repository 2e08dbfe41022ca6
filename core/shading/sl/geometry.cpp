// Derivatives by the offset passes, coordinate spaces and the small geometric helpers.
#include "core/shading/sl/geometry.h"

#include <algorithm>
#include <cmath>

#include "core/math/transform.h"
#include "core/render/camera.h"
#include "core/render/scene.h"
#include "core/shading/sl/strings.h"

namespace SL {

using ovo::Normal;
using ovo::Point;
using ovo::Transform;
using ovo::Vector;

namespace {

// Slots past the end of the store are neither written nor read: the derivative is 0 there,
// which is better than a corrupted environment in a shader with thousands of call sites. A
// record with no store (no shader is running on it) has every derivative 0.
inline bool inStore(const ShaderEnvironment& env, int index) {
    return env.derivStore && index >= 0 && index < ShaderEnvironment::MaxDerivativeSlots;
}

// Stores x for the running offset pass at call site `site`, `width` floats per pass.
inline void store(ShaderEnvironment& env, int site, const float* x, int width) {
    const int first = 2 * site + (env.derivPass - 1) * width;
    for (int k = 0; k < width; ++k)
        if (inStore(env, first + k)) env.derivStore[first + k] = x[k];
}

inline float stored(const ShaderEnvironment& env, int index) {
    return inStore(env, index) ? env.derivStore[index] : 0.0f;
}

// Cramer's rule on the screen Jacobian, everything scaled by 100 to keep small steps clear of
// the determinant threshold. False when the Jacobian is degenerate.
inline bool solve(const ShaderEnvironment& env, float x0, float x1, float x2, float& fu,
                  float& fv) {
    const float a = (x1 - x0) * 100.0f, b = (x2 - x0) * 100.0f;
    const float ux = env.dudx * 100.0f, uy = env.dudy * 100.0f;
    const float vx = env.dvdx * 100.0f, vy = env.dvdy * 100.0f;
    const float det = ux * vy - uy * vx;
    if (std::fabs(det) < 1e-5f) {
        fu = fv = 0.0f;
        return false;
    }
    fu = (a * vy - b * vx) / det;
    fv = (b * ux - a * uy) / det;
    return true;
}

// Du and Dv of a float at the next call site; 0 in the offset passes.
void derivative(ShaderEnvironment& env, float x, float& fu, float& fv) {
    const int site = env.derivCounter++;
    if (env.derivPass != 0) {
        store(env, site, &x, 1);
        fu = fv = 0.0f;
        return;
    }
    solve(env, x, stored(env, 2 * site), stored(env, 2 * site + 1), fu, fv);
}

void derivative(ShaderEnvironment& env, const Tuple& x, Tuple& fu, Tuple& fv) {
    const int site = env.derivCounter;
    env.derivCounter += 3;
    fu = fv = Tuple(0.0f);
    if (env.derivPass != 0) {
        const float v[3] = {x.x, x.y, x.z};
        store(env, site, v, 3);
        return;
    }
    for (int k = 0; k < 3; ++k)
        if (!solve(env, x[k], stored(env, 2 * site + k), stored(env, 2 * site + 3 + k), fu[k],
                   fv[k])) {
            fu = fv = Tuple(0.0f);
            return;
        }
}

// The two offset-pass values of a point at the next call site (P itself in an offset pass).
void offsets(ShaderEnvironment& env, const Tuple& P, Tuple& P1, Tuple& P2) {
    const int site = env.derivCounter;
    env.derivCounter += 3;
    if (env.derivPass != 0) {
        const float v[3] = {P.x, P.y, P.z};
        store(env, site, v, 3);
        P1 = P2 = P;
        return;
    }
    P1 = Tuple(stored(env, 2 * site), stored(env, 2 * site + 1), stored(env, 2 * site + 2));
    P2 = Tuple(stored(env, 2 * site + 3), stored(env, 2 * site + 4), stored(env, 2 * site + 5));
}

}  // namespace

float Du(ShaderEnvironment& env, float x) {
    float fu, fv;
    derivative(env, x, fu, fv);
    return fu;
}

float Dv(ShaderEnvironment& env, float x) {
    float fu, fv;
    derivative(env, x, fu, fv);
    return fv;
}

float Deriv(ShaderEnvironment& env, float num, float den) {
    float nu, nv, du, dv;
    derivative(env, num, nu, nv);
    derivative(env, den, du, dv);
    if (env.derivPass != 0) return 0.0f;
    if (std::fabs(du) < 0.001f) return nv / dv;
    if (std::fabs(dv) < 0.001f) return nu / du;
    return nu / du + nv / dv;
}

Tuple Du(ShaderEnvironment& env, Tuple& x) {
    Tuple fu, fv;
    derivative(env, x, fu, fv);
    return fu;
}

Tuple Dv(ShaderEnvironment& env, Tuple& x) {
    Tuple fu, fv;
    derivative(env, x, fu, fv);
    return fv;
}

Tuple Deriv(ShaderEnvironment& env, Tuple& num, float den) {
    Tuple nu, nv;
    float du, dv;
    derivative(env, num, nu, nv);
    derivative(env, den, du, dv);
    if (env.derivPass != 0) return Tuple(0.0f);
    if (std::fabs(du) < 0.001f) return nv / dv;
    if (std::fabs(dv) < 0.001f) return nu / du;
    return nu / du + nv / dv;
}

Color Du(ShaderEnvironment&, Color&) { return Color(0.0f); }
Color Dv(ShaderEnvironment&, Color&) { return Color(0.0f); }
Color Deriv(ShaderEnvironment&, Color&, float) { return Color(0.0f); }

float area(ShaderEnvironment& env, Tuple& P) {
    Tuple P1, P2;
    offsets(env, P, P1, P2);
    if (env.derivPass != 0) return 1e-6f;
    return ((P1 - P) ^ (P2 - P)).length();
}

Tuple calculatenormal(ShaderEnvironment& env, Tuple& P) {
    Tuple P1, P2;
    offsets(env, P, P1, P2);
    if (env.derivPass != 0) return env.N;
    const Tuple a = (P1 - P) / env.du, b = (P2 - P) / env.dv;
    const Tuple n = a ^ b;
    return ovo::dot(n, env.Ng) > 0.0f ? n : -n;
}

// ---------------------------------------------------------------------------------------------
// Spaces

namespace {

enum Kind { AsPoint, AsVector, AsNormal };

// The transform from current space to `name`, or false when the name is unknown. Current space
// is world space.
bool toSpace(const ShaderEnvironment& env, OIIO::ustring name, Transform& t) {
    if (name == strings::shader) {
        t = env.shaderSpace.inverse();
        return true;
    }
    if (name == strings::object) {
        t = env.space.inverse();
        return true;
    }
    if (name == strings::current || name == strings::world) {
        t = Transform::Identity;
        return true;
    }
    const Transform* named = env.scene ? env.scene->findNamedSpace(name) : nullptr;
    if (!named) return false;
    t = named->inverse();
    return true;
}

// The space `name` as the transform from it to current space, without copying it: null for
// current space itself; false when the name is unknown.
bool spaceOf(const ShaderEnvironment& env, OIIO::ustring name, const Transform*& t) {
    t = nullptr;
    if (name == strings::shader)
        t = &env.shaderSpace;
    else if (name == strings::object)
        t = &env.space;
    else if (name != strings::current && name != strings::world)
        t = env.scene ? env.scene->findNamedSpace(name) : nullptr;
    return t || name == strings::current || name == strings::world;
}

// x carried by the matrix m whose inverse is inv (a normal by the inverse's transpose).
Tuple apply(const Matrix& m, const Matrix& inv, Kind kind, const Tuple& x) {
    switch (kind) {
        case AsPoint:
            return m * Point(x);
        case AsVector:
            return m * Vector(x);
        default:
            return Normal(inv.m[0][0] * x.x + inv.m[1][0] * x.y + inv.m[2][0] * x.z,
                          inv.m[0][1] * x.x + inv.m[1][1] * x.y + inv.m[2][1] * x.z,
                          inv.m[0][2] * x.x + inv.m[1][2] * x.y + inv.m[2][2] * x.z);
    }
}

// Current space is where shading happens, so most conversions name it and cost nothing.
Tuple convert(ShaderEnvironment& env, OIIO::ustring to, Kind kind, const Tuple& x) {
    const Transform* t;
    return spaceOf(env, to, t) && t ? apply(t->mInv, t->m, kind, x) : x;
}

Tuple convert(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Kind kind,
              const Tuple& x) {
    const Transform* t;
    const Tuple current = spaceOf(env, from, t) && t ? apply(t->m, t->mInv, kind, x) : x;
    return convert(env, to, kind, current);
}

}  // namespace

Tuple transform(ShaderEnvironment& env, OIIO::ustring to, Tuple& p) {
    return convert(env, to, AsPoint, p);
}
Tuple vtransform(ShaderEnvironment& env, OIIO::ustring to, Tuple& v) {
    return convert(env, to, AsVector, v);
}
Tuple ntransform(ShaderEnvironment& env, OIIO::ustring to, Tuple& n) {
    return convert(env, to, AsNormal, n);
}
Matrix mtransform(ShaderEnvironment& env, OIIO::ustring to, Matrix& m) {
    Transform t;
    return toSpace(env, to, t) ? t.m * m : m;
}
Tuple transform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& p) {
    return convert(env, from, to, AsPoint, p);
}
Tuple vtransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& v) {
    return convert(env, from, to, AsVector, v);
}
Tuple ntransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Tuple& n) {
    return convert(env, from, to, AsNormal, n);
}
Matrix mtransform(ShaderEnvironment& env, OIIO::ustring from, OIIO::ustring to, Matrix& m) {
    Transform t;
    Matrix current = toSpace(env, from, t) ? t.mInv * m : m;
    return mtransform(env, to, current);
}
Tuple transform(Matrix& m, Tuple& p) { return m * Point(p); }
Tuple vtransform(Matrix& m, Tuple& v) { return m * Vector(v); }
Tuple ntransform(Matrix& m, Tuple& n) { return m * Normal(n); }
Matrix mtransform(Matrix& a, Matrix& m) { return a * m; }

// ---------------------------------------------------------------------------------------------
// Geometry

Tuple faceforward(ShaderEnvironment& env, Tuple& N, Tuple& I) {
    const float d = -ovo::dot(I, env.Ng);
    const float s = d > 0.0f ? 1.0f : (d < 0.0f ? -1.0f : 0.0f);
    return N * s;
}

// The axis is normalised and runs through P0, as the shading language describes rotate: a
// pattern turned about an axis away from the origin stays where it was drawn, and a longer axis
// does not scale Q. (The bare axis-angle matrix of P1 - P0 applied about the origin agrees for
// a unit axis through the origin, and is no rotation for any other length.) A degenerate axis
// leaves Q as it is.
Tuple rotate(Tuple& Q, float angle, Tuple& P0, Tuple& P1) {
    const Tuple axis = P1 - P0;
    const float length = axis.length();
    if (!(length > 0.0f)) return Q;
    const Matrix r(angle, axis / length);
    return P0 + r * Vector(Q - P0);
}

void fresnel(Tuple& I, Tuple& N, float eta, float& Kr, float& Kt) {
    const float c = -ovo::dot(I, N);
    const float e = 1.0f / eta, e2 = e * e;
    const float g = e2 - (1.0f - c * c);
    const float a2 = std::max(g, 0.0f), b2 = std::max(-g, 0.0f);
    const float a = std::sqrt(a2);
    const float rp = ((e2 * c - a) * (e2 * c - a) + b2) / ((e2 * c + a) * (e2 * c + a) + b2);
    const float rs = ((c - a) * (c - a) + b2) / ((c + a) * (c + a) + b2);
    Kr = (rp + rs) * 0.5f;
    Kt = (1.0f - Kr) * eta * eta;
}

void fresnel(Tuple& I, Tuple& N, float eta, float& Kr, float& Kt, Tuple& R, Tuple& T) {
    fresnel(I, N, eta, Kr, Kt);
    const float in = ovo::dot(I, N);
    R = I - 2.0f * in * N;
    const float k = 1.0f - eta * eta * (1.0f - in * in);
    T = k < 0.0f ? Tuple(0.0f) : eta * I - (eta * in + std::sqrt(k)) * N;
}

float ptlined(const Tuple& P0, const Tuple& P1, const Tuple& Q) {
    const Tuple d = P1 - P0, w = Q - P0;
    const float dw = ovo::dot(d, w), dd = ovo::dot(d, d);
    if (dw <= 0.0f) return w.length();
    if (dw >= dd) return (Q - P1).length();
    return (Q - (P0 + d * dw / dd)).length();
}

float depth(ShaderEnvironment& env, Tuple& P) {
    const ovo::Camera* camera = env.scene ? env.scene->getCamera() : nullptr;
    if (!camera) return 0.0f;
    const float near = camera->getHither(), far = camera->getYon();
    return ((P - env.E).length() - near) / (far - near);
}

}  // namespace SL
