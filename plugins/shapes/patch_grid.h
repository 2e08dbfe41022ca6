// Grids of few cells traced without Embree. A scene of Embree's costs some twenty kilobytes
// whatever it holds, more than a small patch itself, and scenes of thousands of single
// patches are common; so the grids of a small surface are kept in blocks of up to 2 × 2 cells
// behind their bounds, the blocks in groups of up to 4 × 4 behind theirs, and a ray tests the
// cells of the blocks it meets.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/math/ray.h"

namespace ovo {
namespace shapes {

// One grid of a piece within the shared points: as Embree's RTCGrid.
struct GridWindow {
    uint32_t start, stride;
    uint16_t width, height;  // points across u and v
};

// A candidate hit: the piece, its (s, t), the ray parameter and the normal of the cell's
// triangle (turning like dPdu × dPdv).
struct GridHit {
    unsigned piece;
    float s, t, tHit;
    Vector ng;
};

class SmallGrid {
  public:
    // The most cells a surface may have to be traced this way.
    static constexpr std::size_t MaxCells = 1024;

    void build(const float* points, const std::vector<GridWindow>& windows) {
        xyz = points;
        grids = windows;
        blocks.clear();
        groups.clear();
        for (std::size_t g = 0; g < grids.size(); ++g) {
            const GridWindow& w = grids[g];
            const int span = BlockCells * GroupBlocks;
            for (int b1 = 0; b1 + 1 < w.height; b1 += span)
                for (int a1 = 0; a1 + 1 < w.width; a1 += span) {
                    Group group{Box(), uint32_t(blocks.size()), 0};
                    for (int b0 = b1; b0 + 1 < std::min<int>(w.height, b1 + span + 1);
                         b0 += BlockCells)
                        for (int a0 = a1; a0 + 1 < std::min<int>(w.width, a1 + span + 1);
                             a0 += BlockCells) {
                            blocks.push_back(block(uint32_t(g), a0, b0));
                            group.bound.add(blocks.back().bound);
                        }
                    group.count = uint32_t(blocks.size()) - group.first;
                    groups.push_back(group);
                }
        }
    }

    // The nearest hit within [tnear, tfar] that `accept` takes, or with `any` the first.
    template <class Accept>
    bool trace(const Ray& ray, float tnear, float tfar, bool any, Accept accept,
               GridHit& best) const {
        const float inv[3] = {1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z};
        const float o[3] = {ray.o.x, ray.o.y, ray.o.z};
        bool found = false;
        for (const Group& group : groups) {
            if (!meets(group.bound, o, inv, tnear, tfar)) continue;
            for (uint32_t n = group.first; n < group.first + group.count; ++n) {
                const Block& k = blocks[n];
                if (!meets(k.bound, o, inv, tnear, tfar)) continue;
                const GridWindow& w = grids[k.piece];
                for (int b = k.b0; b < k.b0 + k.nb; ++b)
                    for (int a = k.a0; a < k.a0 + k.na; ++a) {
                        const Point p00(point(w, a, b)), p10(point(w, a + 1, b));
                        const Point p01(point(w, a, b + 1)), p11(point(w, a + 1, b + 1));
                        // Two triangles: (p00, p10, p11) and (p00, p11, p01); (x, y) in the cell.
                        for (int half = 0; half < 2; ++half) {
                            const Point& p1 = half ? p11 : p10;
                            const Point& p2 = half ? p01 : p11;
                            float t, beta, gamma;
                            if (!triangle(ray, p00, p1, p2, tnear, tfar, t, beta, gamma)) continue;
                            const float x = half ? beta : beta + gamma;
                            const float y = half ? beta + gamma : gamma;
                            GridHit h{k.piece, (float(a) + x) / float(w.width - 1),
                                      (float(b) + y) / float(w.height - 1), t,
                                      Vector((p1 - p00) ^ (p2 - p00))};
                            if (!accept(h)) continue;
                            best = h;
                            found = true;
                            if (any) return true;
                            tfar = t;
                        }
                    }
            }
        }
        return found;
    }

    bool empty() const { return blocks.empty(); }

  private:
    static constexpr int BlockCells = 2;   // cells across a block
    static constexpr int GroupBlocks = 4;  // blocks across a group

    struct Box {
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        void add(const float* p) {
            for (int c = 0; c < 3; ++c) {
                lo[c] = std::min(lo[c], p[c]);
                hi[c] = std::max(hi[c], p[c]);
            }
        }
        void add(const Box& b) {
            add(b.lo);
            add(b.hi);
        }
    };
    struct Block {
        Box bound;
        uint32_t piece;
        uint8_t a0, b0, na, nb;  // the cells it holds
    };
    struct Group {
        Box bound;
        uint32_t first, count;  // its blocks
    };

    // The block of grid g from cell (a0, b0).
    Block block(uint32_t g, int a0, int b0) const {
        const GridWindow& w = grids[g];
        Block k;
        k.piece = g;
        k.a0 = uint8_t(a0);
        k.b0 = uint8_t(b0);
        k.na = uint8_t(std::min(BlockCells, w.width - 1 - a0));
        k.nb = uint8_t(std::min(BlockCells, w.height - 1 - b0));
        for (int b = b0; b <= b0 + k.nb; ++b)
            for (int a = a0; a <= a0 + k.na; ++a) k.bound.add(point(w, a, b));
        return k;
    }

    const float* point(const GridWindow& w, int a, int b) const {
        return xyz + 3 * (std::size_t(w.start) + std::size_t(b) * w.stride + std::size_t(a));
    }

    static bool meets(const Box& k, const float* o, const float* inv, float t0, float t1) {
        for (int c = 0; c < 3; ++c) {
            float tn = (k.lo[c] - o[c]) * inv[c], tf = (k.hi[c] - o[c]) * inv[c];
            if (tn > tf) std::swap(tn, tf);
            t0 = tn > t0 ? tn : t0;
            t1 = tf < t1 ? tf : t1;
        }
        return t0 <= t1;
    }

    // Möller and Trumbore, both sides.
    static bool triangle(const Ray& r, const Point& p0, const Point& p1, const Point& p2,
                         float tnear, float tfar, float& t, float& u, float& v) {
        const Vector e1 = p1 - p0, e2 = p2 - p0;
        const Vector pv = Vector(r.d ^ e2);
        const float det = dot(e1, pv);
        if (det == 0.0f) return false;
        const float inv = 1.0f / det;
        const Vector tv = r.o - p0;
        u = dot(tv, pv) * inv;
        if (u < 0.0f || u > 1.0f) return false;
        const Vector qv = Vector(tv ^ e1);
        v = dot(r.d, qv) * inv;
        if (v < 0.0f || u + v > 1.0f) return false;
        t = dot(e2, qv) * inv;
        return t >= tnear && t <= tfar;
    }

    const float* xyz = nullptr;
    std::vector<GridWindow> grids;
    std::vector<Block> blocks;
    std::vector<Group> groups;
};

}  // namespace shapes
}  // namespace ovo
