// AreaLight: the pieces of its geometry, their area table, and one light sample on them.
#include "core/shading/light.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/math/random.h"
#include "core/shading/environment.h"

namespace ovo {

namespace {

uint32_t reverseBits(uint32_t n) {
    n = (n << 16) | (n >> 16);
    n = ((n & 0x00ff00ffu) << 8) | ((n & 0xff00ff00u) >> 8);
    n = ((n & 0x0f0f0f0fu) << 4) | ((n & 0xf0f0f0f0u) >> 4);
    n = ((n & 0x33333333u) << 2) | ((n & 0xccccccccu) >> 2);
    n = ((n & 0x55555555u) << 1) | ((n & 0xaaaaaaaau) >> 1);
    return n;
}

// The second dimension of the Sobol' sequence, scrambled.
uint32_t sobol2(uint32_t n, uint32_t scramble) {
    for (uint32_t d = 0x80000000u; n; n >>= 1, d ^= d >> 1)
        if (n & 1u) scramble ^= d;
    return scramble;
}

// bits x 2^-32, kept below 1 (the product rounds up to 1 in single precision near the top).
float toUnit(uint32_t bits) {
    return std::min(float(double(bits) * (1.0 / 4294967296.0)), 0.99999994f);
}

Vector unitOr(const Tuple& t, const Vector& fallback) {
    const float len = t.length();
    return len > 0.0f ? Vector(t / len) : fallback;
}

}  // namespace

AreaLight::AreaLight(const Reference<Light>& light, unsigned samples, OIIO::ustring geometry)
    : samples(samples), light(light), geometry(geometry) {
    if (light) setPlacement(light->getPlacement());
}

AreaLight::~AreaLight() {}

void AreaLight::initialize(ShaderEnvironment& env, void*) const {
    if (env.sampleCounter != 0) return;
    env.lightScrambles[0] = urand();
    env.lightScrambles[1] = urand();
    env.lightScrambles[2] = urand();
}

void AreaLight::execute(ShaderEnvironment& env, void* data) const {
    if (pieces.empty() || samples == 0) return;
    const uint32_t n = env.sampleCounter;
    const uint32_t reversed = reverseBits(n);
    size_t k = 0;
    if (pieces.size() > 1) {
        const float r = toUnit(reversed ^ env.lightScrambles[2]);
        k = size_t(std::upper_bound(cumulative.begin(), cumulative.end(), r) - cumulative.begin());
        k = std::min(k, pieces.size() - 1);
    }
    const Piece& piece = pieces[k];
    const float u = toUnit(reversed ^ env.lightScrambles[0]);
    const float v = toUnit(sobol2(n, env.lightScrambles[1]));

    piece.shape->sample(env, piece.objectToWorld.mInv * Point(env.Ps), u, v);
    env.Ng = unitOr(piece.objectToWorld * Normal(env.Ng), Vector(env.Ng));
    env.P = piece.objectToWorld.m * Point(env.P);
    env.L = env.Ps - env.P;
    env.N = env.Ng;
    if (const Interpolator<Normal>* nInterp = piece.shape->getN())
        env.N = unitOr(piece.objectToWorld * nInterp->valueAt(env.face, env.su, env.sv),
                       Vector(env.Ng));

    light->init(env, nullptr, data);
    light->execute(env, data);
    const float len = env.L.length();
    const float cosine = len > 0.0f ? dot(env.N, env.L) / len : 0.0f;
    env.Cl *= cosine / float(samples);
}

void AreaLight::rebindArguments(std::map<OIIO::ustring, Transform>& spaces) {
    Shader::rebindArguments(spaces);
    if (light) light->rebindArguments(spaces);
}

void AreaLight::attach(const std::vector<Reference<Primitive>>& primitives) {
    pieces.clear();
    cumulative.clear();
    for (const Reference<Primitive>& p : primitives) gather(p.get(), Transform::Identity);
    float total = 0.0f;
    for (float& c : cumulative) c = total += c;
    if (total > 0.0f)
        for (float& c : cumulative) c /= total;
    if (!cumulative.empty()) cumulative.back() = 1.0f;
}

// The area of a piece in world space: its object-space area scaled by the transform's mean
// stretch (exact for uniform scales).
void AreaLight::gather(const Primitive* p, const Transform& outer) {
    if (!p) return;
    if (const auto* g = dynamic_cast<const GeometricPrimitive*>(p)) {
        const Reference<Shape>& shape = g->getShape();
        if (!shape) return;
        const Transform o2w = outer * g->objectToWorld();
        const float det = std::fabs(o2w.m.determinant());
        const float area = shape->area() * std::cbrt(det * det);
        if (!(area > 0.0f)) return;
        pieces.push_back(Piece{shape, o2w});
        cumulative.push_back(area);
    } else if (const auto* a = dynamic_cast<const Aggregate*>(p)) {
        for (const Reference<Primitive>& q : a->getPrimitives()) gather(q.get(), outer);
    } else if (const auto* i = dynamic_cast<const Instance*>(p)) {
        gather(i->getObject().get(), outer * i->objectToWorld());
    } else if (const auto* m = dynamic_cast<const MotionPrimitive*>(p)) {
        gather(m->getContent().get(), outer * m->getMotion().getSample(0));
    } else if (const auto* w = dynamic_cast<const TimeWindowPrimitive*>(p)) {
        gather(w->getContent().get(), outer);  // every slice of a deforming light emits
    }
}

}  // namespace ovo
