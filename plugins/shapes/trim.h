// Trimming of NURBS surfaces. The "trimcurves" shape holds the loops of one TrimCurve call as
// closed polylines in the surface's parameters; a NURBS made under the same attributes gathers
// the loops of every such shape into a TrimRegion and asks it, at each candidate hit, whether
// the point lies inside the loops (an odd number of crossings: nested loops alternate).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/geometry/shape.h"
#include "plugins/shapes/bezier.h"
#include "plugins/shapes/patch_basis.h"

namespace ovo {
namespace shapes {

// One loop: (u, v) pairs of a closed polyline, the last point joined back to the first.
using TrimLoop = std::vector<float>;

// What TrimCurve makes: nothing to trace, only the loops that later NURBS are trimmed with.
class TrimCurves : public Shape {
  public:
    TrimCurves(const Transform& o2w, const ShapeAttributes& attrs, std::vector<TrimLoop> loops)
        : Shape(o2w, attrs), loopList(std::move(loops)) {}
    Aabb objectExtent() const override { return Aabb(); }
    const std::vector<TrimLoop>& loops() const { return loopList; }

  private:
    std::vector<TrimLoop> loopList;
};

// Points of one rational NURBS curve in the plane, from its homogeneous control points
// (u·w, v·w, w), its order, its knots and the part [lo, hi] of its parameter: `perSpan` points
// along every span, appended to `out` (the last point of the curve included).
inline void sampleTrimCurve(const float* uvw, int n, int order, const float* knots, float lo,
                            float hi, int perSpan, TrimLoop& out) {
    Direction d;
    if (!Direction::nurbs(n, order, knots, lo, hi, d)) return;
    const int p = d.degree;
    std::vector<float> bezier(std::size_t(3 * (p + 1)));
    for (std::size_t k = 0; k < d.segments.size(); ++k) {
        d.toBezier(int(k), uvw, 3, 3, bezier.data());
        const int last = k + 1 == d.segments.size() ? perSpan : perSpan - 1;
        for (int i = 0; i <= last; ++i) {
            float b[MaxOrder], db[MaxOrder], ddb[MaxOrder];
            bernstein(p, float(i) / float(perSpan), b, db, ddb);
            float h[3] = {0.0f, 0.0f, 0.0f};
            for (int a = 0; a <= p; ++a)
                for (int c = 0; c < 3; ++c) h[c] += b[a] * bezier[std::size_t(3 * a + c)];
            if (h[2] == 0.0f) continue;
            out.push_back(h[0] / h[2]);
            out.push_back(h[1] / h[2]);
        }
    }
}

// The loops of every trim shape, as edges sorted into bands of v: a point is inside when a
// ray from it towards +u crosses an odd number of edges.
class TrimRegion {
  public:
    explicit TrimRegion(const std::vector<const TrimLoop*>& loops) {
        for (const TrimLoop* loop : loops) {
            const std::size_t n = loop->size() / 2;
            if (n < 2) continue;
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t j = (i + 1) % n;
                const Edge e{(*loop)[2 * i], (*loop)[2 * i + 1], (*loop)[2 * j],
                             (*loop)[2 * j + 1]};
                if (e.v0 == e.v1) continue;  // horizontal edges are never crossed
                edges.push_back(e);
            }
        }
        if (edges.empty()) return;
        vmin = vmax = edges[0].v0;
        for (const Edge& e : edges) {
            vmin = std::min(vmin, std::min(e.v0, e.v1));
            vmax = std::max(vmax, std::max(e.v0, e.v1));
        }
        bands = int(std::min<std::size_t>(256, std::max<std::size_t>(1, edges.size() / 4)));
        const float height = vmax > vmin ? (vmax - vmin) / float(bands) : 1.0f;
        perBand = 1.0f / height;
        std::vector<std::vector<uint32_t>> lists(static_cast<std::size_t>(bands));
        for (std::size_t k = 0; k < edges.size(); ++k) {
            const Edge& e = edges[k];
            const int b0 = band(std::min(e.v0, e.v1)), b1 = band(std::max(e.v0, e.v1));
            for (int b = b0; b <= b1; ++b) lists[std::size_t(b)].push_back(uint32_t(k));
        }
        start.push_back(0);
        for (const auto& l : lists) {
            members.insert(members.end(), l.begin(), l.end());
            start.push_back(uint32_t(members.size()));
        }
    }

    bool empty() const { return edges.empty(); }

    bool inside(float u, float v) const {
        if (edges.empty() || !(v >= vmin && v <= vmax)) return false;
        const int b = band(v);
        bool in = false;
        for (uint32_t k = start[std::size_t(b)]; k < start[std::size_t(b) + 1]; ++k) {
            const Edge& e = edges[members[k]];
            // Half-open in v, so a vertex shared by two edges counts once.
            if ((e.v0 > v) != (e.v1 > v) && u < e.u0 + (v - e.v0) * (e.u1 - e.u0) / (e.v1 - e.v0))
                in = !in;
        }
        return in;
    }

  private:
    struct Edge {
        float u0, v0, u1, v1;
    };
    int band(float v) const { return std::min(bands - 1, std::max(0, int((v - vmin) * perBand))); }

    std::vector<Edge> edges;
    std::vector<uint32_t> start, members;  // the edges of each band
    float vmin = 0.0f, vmax = 0.0f, perBand = 1.0f;
    int bands = 1;
};

}  // namespace shapes
}  // namespace ovo
