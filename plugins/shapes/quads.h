// The quads of a faceted shape. A four-sided face is traced as two triangles, but its
// per-vertex variables ("vertex" and "varying") are bilinear over the whole quad, so that no seam
// shows along the diagonal. A hit's (u, v) in the quad is the inverse bilinear map of the hit
// projected on the plane across the quad's Newell normal: exact for planar quads, and for
// non-planar ones continuous across the diagonal, where both triangles project to the same line.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/geometry/interpolator.h"
#include "core/math/tuple.h"

namespace ovo {
namespace shapes {

// A position (s, t) in a quad, with its derivatives along the barycentrics (b1, b2) of the
// triangle that was hit.
struct QuadPosition {
    float s, t;
    float dsdb1, dtdb1, dsdb2, dtdb2;
};

// The (s, t) in 0..1 that the bilinear map of the corners q0 (0,0), q1 (1,0), q2 (1,1) and
// q3 (0,1) takes to p, for points in the plane of the four: the root of the quadratic in t that
// lies in the quad (or nearest to it), then s from the larger component.
inline void inverseBilinear(const double (&x)[4], const double (&y)[4], double px, double py,
                            double& s, double& t) {
    const double ex = x[1] - x[0], ey = y[1] - y[0];
    const double fx = x[3] - x[0], fy = y[3] - y[0];
    const double gx = x[0] - x[1] + x[2] - x[3], gy = y[0] - y[1] + y[2] - y[3];
    const double hx = px - x[0], hy = py - y[0];
    auto cross = [](double ax, double ay, double bx, double by) { return ax * by - ay * bx; };
    const double k2 = cross(gx, gy, fx, fy);
    const double k1 = cross(ex, ey, fx, fy) + cross(hx, hy, gx, gy);
    const double k0 = cross(hx, hy, ex, ey);
    auto sOf = [&](double tt) {
        const double dx = ex + tt * gx, dy = ey + tt * gy;
        if (std::fabs(dx) >= std::fabs(dy)) return dx != 0.0 ? (hx - tt * fx) / dx : 0.0;
        return (hy - tt * fy) / dy;
    };
    // How far (s, t) lies outside the unit square.
    auto outside = [](double ss, double tt) {
        return std::max({-ss, ss - 1.0, -tt, tt - 1.0, 0.0});
    };
    if (std::fabs(k2) <= 1e-9 * std::fabs(k1)) {
        // Opposite edges parallel: the equation is linear.
        t = k1 != 0.0 ? -k0 / k1 : 0.0;
        s = sOf(t);
    } else {
        const double w = std::sqrt(std::max(k1 * k1 - 4.0 * k0 * k2, 0.0));
        const double q = -0.5 * (k1 + (k1 < 0.0 ? -w : w));
        const double t1 = q / k2, t2 = q != 0.0 ? k0 / q : t1;
        const double s1 = sOf(t1), s2 = sOf(t2);
        const bool first = outside(s1, t1) <= outside(s2, t2);
        s = first ? s1 : s2;
        t = first ? t1 : t2;
    }
    s = std::min(std::max(s, 0.0), 1.0);
    t = std::min(std::max(t, 0.0), 1.0);
}

class QuadTable {
  public:
    static constexpr uint32_t NoQuad = ~0u;

    // A table for `triangles` triangles, none of them in a quad yet.
    explicit QuadTable(std::size_t triangles) : ofTriangle(triangles, Corners{NoQuad, {0, 0, 0}}) {}

    // Records that the triangles `first` and `first + 1` (vertex triples in `tris`) split the
    // quad of the vertices `quad` in order; false, leaving them triangles, when the two do not
    // use exactly those corners or the quad has no area.
    bool add(const float* xyz, const uint32_t* tris, std::size_t first, const uint32_t (&quad)[4]) {
        Corners corners[2];
        for (int k = 0; k < 2; ++k) {
            corners[k].quad = uint32_t(quads.size());
            for (int i = 0; i < 3; ++i) {
                const uint32_t vertex = tris[3 * (first + std::size_t(k)) + std::size_t(i)];
                const uint32_t* at = std::find(quad, quad + 4, vertex);
                if (at == quad + 4) return false;
                corners[k].corner[i] = uint8_t(at - quad);
            }
        }
        auto at = [xyz](uint32_t i) { return Point(&xyz[3 * std::size_t(i)]); };
        // Newell's normal, then a frame across it.
        Vector n(0.0f);
        for (int i = 0; i < 4; ++i) {
            const Point a = at(quad[i]), b = at(quad[(i + 1) % 4]);
            n.x += (a.y - b.y) * (a.z + b.z);
            n.y += (a.z - b.z) * (a.x + b.x);
            n.z += (a.x - b.x) * (a.y + b.y);
        }
        if (!(n.length() > 0.0f)) return false;
        Tuple eu, ev;
        Vector(n.hat()).coordinateSystem(eu, ev);
        Quad q;
        for (int i = 0; i < 4; ++i) {
            const Vector p = at(quad[i]) - at(quad[0]);
            q.vertex[i] = quad[i];
            q.x[i] = dot(p, eu);
            q.y[i] = dot(p, ev);
        }
        quads.push_back(q);
        ofTriangle[first] = corners[0];
        ofTriangle[first + 1] = corners[1];
        return true;
    }

    bool empty() const { return quads.empty(); }

    // The vertex indices of the corners of triangle `face`'s quad, or null when the triangle
    // is not half of one.
    const uint32_t* quadVertices(unsigned face) const {
        const Corners& c = ofTriangle[face];
        return c.quad == NoQuad ? nullptr : quads[c.quad].vertex;
    }

    // Where the point at barycentrics (b1, b2) of triangle `face` lies in its quad.
    // Shading asks for the same hit once per variable and derivative: the last answer of this
    // thread is kept, under the table's serial number (an address may be reused).
    QuadPosition position(unsigned face, float b1, float b2) const {
        struct Last {
            uint64_t table = 0;
            unsigned face = 0;
            float b1 = 0.0f, b2 = 0.0f;
            QuadPosition position{};
        };
        thread_local Last last;
        if (last.table == serial && last.face == face && last.b1 == b1 && last.b2 == b2)
            return last.position;
        last.position = solve(face, b1, b2);
        last.table = serial;
        last.face = face;
        last.b1 = b1;
        last.b2 = b2;
        return last.position;
    }

  private:
    QuadPosition solve(unsigned face, float b1, float b2) const {
        const Corners& c = ofTriangle[face];
        const Quad& q = quads[c.quad];
        double x[4], y[4];
        for (int i = 0; i < 4; ++i) {
            x[i] = q.x[i];
            y[i] = q.y[i];
        }
        const int a = c.corner[0], b = c.corner[1], d = c.corner[2];
        const double px = x[a] + b1 * (x[b] - x[a]) + b2 * (x[d] - x[a]);
        const double py = y[a] + b1 * (y[b] - y[a]) + b2 * (y[d] - y[a]);
        double s, t;
        inverseBilinear(x, y, px, py, s, t);
        // The derivatives through the inverse of the map's Jacobian at (s, t).
        const double psx = (1.0 - t) * (x[1] - x[0]) + t * (x[2] - x[3]);
        const double psy = (1.0 - t) * (y[1] - y[0]) + t * (y[2] - y[3]);
        const double ptx = (1.0 - s) * (x[3] - x[0]) + s * (x[2] - x[1]);
        const double pty = (1.0 - s) * (y[3] - y[0]) + s * (y[2] - y[1]);
        const double det = psx * pty - psy * ptx;
        QuadPosition r{float(s), float(t), 0.0f, 0.0f, 0.0f, 0.0f};
        if (det != 0.0) {
            const double ux = x[b] - x[a], uy = y[b] - y[a];  // dp/db1
            const double vx = x[d] - x[a], vy = y[d] - y[a];  // dp/db2
            r.dsdb1 = float((ux * pty - uy * ptx) / det);
            r.dtdb1 = float((psx * uy - psy * ux) / det);
            r.dsdb2 = float((vx * pty - vy * ptx) / det);
            r.dtdb2 = float((psx * vy - psy * vx) / det);
        }
        return r;
    }

    static uint64_t nextSerial() {
        static std::atomic<uint64_t> counter{0};
        return ++counter;
    }

    struct Quad {
        uint32_t vertex[4];  // at (0,0), (1,0), (1,1), (0,1)
        float x[4], y[4];    // the corners in a frame across the quad's normal, from corner 0
    };
    struct Corners {
        uint32_t quad;      // NoQuad for a triangle of any other polygon
        uint8_t corner[3];  // the quad corner of each of the triangle's vertices
    };
    std::vector<Quad> quads;
    std::vector<Corners> ofTriangle;
    uint64_t serial = nextSerial();  // never 0
};

// Per-vertex values over triangles, bilinear over the triangles that split a quad.
template <class T>
class QuadVertexInterpolator : public Interpolator<T> {
  public:
    QuadVertexInterpolator(std::vector<T> vertexValues,
                           std::shared_ptr<const std::vector<uint32_t>> triangleVertices,
                           std::shared_ptr<const QuadTable> quadTable)
        : values(std::move(vertexValues)),
          triangles(std::move(triangleVertices)),
          quads(std::move(quadTable)) {}
    T value(float u, float v) const override { return valueAt(0, u, v); }
    T derivativeU(float u, float v) const override { return derivativeUAt(0, u, v); }
    T derivativeV(float u, float v) const override { return derivativeVAt(0, u, v); }
    const T* controlValue(int i) const override { return &values[std::size_t(i)]; }

    T valueAt(unsigned face, float u, float v) const override {
        if (const uint32_t* q = quads->quadVertices(face)) {
            const QuadPosition p = quads->position(face, u, v);
            return T((1.0f - p.t) * ((1.0f - p.s) * values[q[0]] + p.s * values[q[1]]) +
                     p.t * ((1.0f - p.s) * values[q[3]] + p.s * values[q[2]]));
        }
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T((1.0f - u - v) * values[t[0]] + u * values[t[1]] + v * values[t[2]]);
    }
    T derivativeUAt(unsigned face, float u, float v) const override {
        if (const uint32_t* q = quads->quadVertices(face)) {
            const QuadPosition p = quads->position(face, u, v);
            return T(p.dsdb1 * alongS(q, p.t) + p.dtdb1 * alongT(q, p.s));
        }
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T(values[t[1]] - values[t[0]]);
    }
    T derivativeVAt(unsigned face, float u, float v) const override {
        if (const uint32_t* q = quads->quadVertices(face)) {
            const QuadPosition p = quads->position(face, u, v);
            return T(p.dsdb2 * alongS(q, p.t) + p.dtdb2 * alongT(q, p.s));
        }
        const uint32_t* t = &(*triangles)[3 * std::size_t(face)];
        return T(values[t[2]] - values[t[0]]);
    }

  private:
    // The bilinear value's derivatives along s and along t.
    T alongS(const uint32_t* q, float t) const {
        return T((1.0f - t) * (values[q[1]] - values[q[0]]) + t * (values[q[2]] - values[q[3]]));
    }
    T alongT(const uint32_t* q, float s) const {
        return T((1.0f - s) * (values[q[3]] - values[q[0]]) + s * (values[q[2]] - values[q[1]]));
    }

    std::vector<T> values;
    std::shared_ptr<const std::vector<uint32_t>> triangles;
    std::shared_ptr<const QuadTable> quads;
};

}  // namespace shapes
}  // namespace ovo
