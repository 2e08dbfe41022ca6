// The blobby's per-thread walk scratch, how a hit carries its blob-space point to the
// interpolators, and the interpolators of its primitive variables: per-leaf values blended by
// the elements' shares, per-leaf matrices ("mpoint") and the default texture coordinates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/geometry/interpolator.h"
#include "core/shading/environment.h"
#include "plugins/shapes/blobby_field.h"

namespace ovo {
namespace shapes {
namespace blobby {
// Per-thread scratch of the ray walk, reused from ray to ray.
struct Scratch {
    struct Span {
        float t0, t1;
        uint32_t leaf;
    };
    std::vector<Span> spans;
    std::vector<uint32_t> near;
    std::vector<uint8_t> active;
    std::vector<float> ends;  // where each leaf's reach along the ray ends
    std::vector<float> values;
    std::vector<Vector> grads;
    std::vector<Range> ranges;
};
inline thread_local Scratch scratch;

// P in blob space travels in the hit's su, sv and the bits of its face index, so that the
// interpolators can blend the leaves' values where the hit is.
inline void encode(ShaderEnvironment& env, const Point& p) {
    env.su = p.x;
    env.sv = p.y;
    std::memcpy(&env.face, &p.z, sizeof(float));
}
inline Point decode(unsigned face, float su, float sv) {
    float z;
    std::memcpy(&z, &face, sizeof(float));
    return Point(su, sv, z);
}

// Each ellipsoid's and segment's share of the field at p; equal shares when none reaches p.
template <class T>
T blend(const Field& field, const std::vector<T>& values, const Point& p) {
    T sum = detail::zeroOf<T>(), all = detail::zeroOf<T>();
    float total = 0.0f;
    for (std::size_t i = 0; i < field.leaves.size(); ++i) {
        const int k = field.slot[i];
        if (k < 0) continue;
        all = T(all + values[std::size_t(k)]);
        if (!field.leaves[i].bounded()) continue;
        const float w = std::max(0.0f, field.leaves[i].evaluate(p));
        if (w <= 0.0f) continue;
        sum = T(sum + w * values[std::size_t(k)]);
        total += w;
    }
    if (total > 0.0f) return T(sum * (1.0f / total));
    return T(all * (1.0f / float(values.size())));
}

// The sphere-like frame at a surface point: u, v and the tangents along them.
inline void frame(const Field& field, const Point& p, const Vector& grad, float& u, float& v,
                  Vector& dPdu, Vector& dPdv) {
    const Vector w = p - field.centre;
    const float phi = angleAboutZ(w.x, w.y), lat = latitude(w.x, w.y, w.z);
    const float cp = std::cos(phi), sp = std::sin(phi), cl = std::cos(lat), sl = std::sin(lat);
    u = phi / TwoPi;
    v = (lat + PiOver2) / Pi;
    const float rho = w.length();
    const Vector dir(cl * cp, cl * sp, sl);
    const Vector du = TwoPi * rho * Vector(-cl * sp, cl * cp, 0.0f);
    const Vector dv = Pi * rho * Vector(-sl * cp, -sl * sp, cl);
    // Moving the direction moves the point along the ray from the centre, to stay on the
    // surface; where that ray grazes the surface, the tangent plane's projection is used.
    const float g = grad.length(), gd = dot(grad, dir);
    if (g > 0.0f && std::fabs(gd) > 0.2f * g) {
        dPdu = Vector(du - (dot(grad, du) / gd) * dir);
        dPdv = Vector(dv - (dot(grad, dv) / gd) * dir);
    } else if (g > 0.0f) {
        const Vector n = grad / g;
        dPdu = Vector(du - dot(n, du) * n);
        dPdv = Vector(dv - dot(n, dv) * n);
    } else {
        dPdu = du;
        dPdv = dv;
    }
}

template <class T>
class BlendInterpolator : public Interpolator<T> {
  public:
    BlendInterpolator(std::shared_ptr<const Field> shared, std::vector<T> perLeaf)
        : field(std::move(shared)), values(std::move(perLeaf)) {}
    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const T* controlValue(int i) const override { return &values[std::size_t(i)]; }
    T valueAt(unsigned face, float su, float sv) const override {
        return blend(*field, values, decode(face, su, sv));
    }
    T derivativeUAt(unsigned face, float su, float sv) const override {
        return derivative(decode(face, su, sv), true);
    }
    T derivativeVAt(unsigned face, float su, float sv) const override {
        return derivative(decode(face, su, sv), false);
    }

  private:
    // Central differences along the surface tangent.
    T derivative(const Point& p, bool alongU) const {
        Vector grad, dPdu, dPdv;
        float u, v;
        field->gradient(p, grad, scratch.values, scratch.grads);
        frame(*field, p, grad, u, v, dPdu, dPdv);
        const Vector step = 1e-3f * (alongU ? dPdu : dPdv);
        return T((blend(*field, values, Point(p + step)) - blend(*field, values, Point(p - step))) *
                 500.0f);
    }

    std::shared_ptr<const Field> field;
    std::vector<T> values;
};

// A per-leaf matrix ("mpoint" in RIB): the point in each element's own space, placed by its
// leaf's matrix (row vectors, translation last) and blended by the elements' shares. As a
// "Pref" it keeps a pattern on the elements however they are laid out.
class PlacedPointInterpolator : public Interpolator<Normal> {
  public:
    PlacedPointInterpolator(std::shared_ptr<const Field> shared, std::vector<float> perLeaf)
        : field(std::move(shared)), matrices(std::move(perLeaf)) {
        for (std::size_t k = 0; k + 16 <= matrices.size(); k += 16)
            origins.emplace_back(matrices[k + 12], matrices[k + 13], matrices[k + 14]);
    }
    Normal value(float u, float v) const override { return valueAt(0, u, v); }
    Normal derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    Normal derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const Normal* controlValue(int i) const override { return &origins[std::size_t(i)]; }
    Normal valueAt(unsigned face, float su, float sv) const override {
        return Normal(place(decode(face, su, sv)));
    }
    Normal derivativeUAt(unsigned face, float su, float sv) const override {
        return derivative(decode(face, su, sv), true);
    }
    Normal derivativeVAt(unsigned face, float su, float sv) const override {
        return derivative(decode(face, su, sv), false);
    }

  private:
    // Where no element reaches, the point stays where it is.
    Vector place(const Point& p) const {
        const Field& f = *field;
        Vector sum(0.0f);
        float total = 0.0f;
        for (std::size_t i = 0; i < f.leaves.size(); ++i) {
            const int k = f.slot[i];
            if (k < 0 || !f.leaves[i].bounded()) continue;
            const float w = std::max(0.0f, f.leaves[i].evaluate(p));
            if (w <= 0.0f) continue;
            const Vector q = f.leaves[i].local(p);
            const float* m = &matrices[16 * std::size_t(k)];
            sum = sum + w * Vector(q.x * m[0] + q.y * m[4] + q.z * m[8] + m[12],
                                   q.x * m[1] + q.y * m[5] + q.z * m[9] + m[13],
                                   q.x * m[2] + q.y * m[6] + q.z * m[10] + m[14]);
            total += w;
        }
        return total > 0.0f ? Vector(sum / total) : Vector(p.x, p.y, p.z);
    }
    // Central differences along the surface tangent, as the blended values take them.
    Normal derivative(const Point& p, bool alongU) const {
        Vector grad, dPdu, dPdv;
        float u, v;
        field->gradient(p, grad, scratch.values, scratch.grads);
        frame(*field, p, grad, u, v, dPdu, dPdv);
        const Vector step = 1e-3f * (alongU ? dPdu : dPdv);
        return Normal((place(Point(p + step)) - place(Point(p - step))) * 500.0f);
    }

    std::shared_ptr<const Field> field;
    std::vector<float> matrices;  // 16 per valued leaf
    std::vector<Normal> origins;  // where each leaf's matrix takes its element's centre
};

// The default texture coordinates: the hit's x (s) or y (t) in blob space, so patterns keep
// their scale along elongated blobs instead of following the angle about the blob's centre.
class CoordinateInterpolator : public Interpolator<float> {
  public:
    CoordinateInterpolator(std::shared_ptr<const Field> shared, int axis)
        : field(std::move(shared)), axis(axis) {}
    float value(float u, float v) const override { return valueAt(0, u, v); }
    float derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    float derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const float* controlValue(int) const override { return &zero; }
    float valueAt(unsigned, float su, float sv) const override { return axis == 0 ? su : sv; }
    float derivativeUAt(unsigned face, float su, float sv) const override {
        return along(decode(face, su, sv), true);
    }
    float derivativeVAt(unsigned face, float su, float sv) const override {
        return along(decode(face, su, sv), false);
    }

  private:
    float along(const Point& p, bool alongU) const {
        Vector grad, dPdu, dPdv;
        float u, v;
        field->gradient(p, grad, scratch.values, scratch.grads);
        frame(*field, p, grad, u, v, dPdu, dPdv);
        const Vector& d = alongU ? dPdu : dPdv;
        return axis == 0 ? d.x : d.y;
    }

    std::shared_ptr<const Field> field;
    int axis;
    float zero = 0.0f;
};

}  // namespace blobby
}  // namespace shapes
}  // namespace ovo
