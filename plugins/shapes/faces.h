// Shapes made of planar faces (polygons and polygon meshes): splitting a polygon with holes
// into triangles, and the primitive variables given per vertex or per polygon.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/math/tuple.h"
#include "plugins/shapes/quads.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {

// Ear clipping in the polygon's plane. Holes are first joined to the outline by a bridge from
// their rightmost vertex to a vertex of the outline it can see, which turns the polygon into
// one (weakly) simple loop. Reused across the polygons of a mesh, so its buffers keep their
// memory.
class Triangulator {
  public:
    // xyz: packed positions; indices: the vertices of all loops one after the other, the
    // outline first; sizes: the vertex count of each loop. Appends the vertex triples of the
    // triangles, each turning like the outline, to `out`; false when the outline encloses no
    // area (nothing appended).
    bool run(const float* xyz, const uint32_t* indices, const int* sizes, int nloops,
             std::vector<uint32_t>& out) {
        const Point first = at(xyz, indices[0]);
        // Newell's normal of the outline: the loop turns counter-clockwise about it.
        Vector n(0.0f);
        for (int i = 0; i < sizes[0]; ++i) {
            const Point a = at(xyz, indices[i]) - first;
            const Point b = at(xyz, indices[(i + 1) % sizes[0]]) - first;
            n.x += (a.y - b.y) * (a.z + b.z);
            n.y += (a.z - b.z) * (a.x + b.x);
            n.z += (a.x - b.x) * (a.y + b.y);
        }
        if (!(n.length() > 0.0f)) return false;
        normal = Vector(n.hat());
        Tuple eu, ev;
        normal.coordinateSystem(eu, ev);  // eu × ev = normal: the outline turns positively

        nodes.clear();
        const int outline = addLoop(xyz, indices, sizes[0], eu, ev, first, true);
        if (outline < 0) return false;
        holes.clear();
        const uint32_t* loop = indices + sizes[0];
        for (int l = 1; l < nloops; ++l) {
            const int h = addLoop(xyz, loop, sizes[l], eu, ev, first, false);
            if (h >= 0) holes.push_back(h);
            loop += sizes[l];
        }
        // Rightmost holes first, so that each bridge sees the holes already joined.
        std::sort(holes.begin(), holes.end(),
                  [this](int a, int b) { return nodes[a].x > nodes[b].x; });
        int start = outline;
        for (int h : holes) start = joinHole(start, h);
        const std::size_t before = out.size();
        clip(start, out);
        return out.size() > before;
    }

    // The unit normal of the last polygon, turning its outline counter-clockwise.
    const Vector& lastNormal() const { return normal; }

  private:
    struct Node {
        double x, y;
        uint32_t vertex;
        int prev, next;
    };

    static Point at(const float* xyz, uint32_t i) {
        return Point(xyz[3 * std::size_t(i)], xyz[3 * std::size_t(i) + 1],
                     xyz[3 * std::size_t(i) + 2]);
    }

    static double area2(const Node& a, const Node& b, const Node& c) {
        return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    }
    static bool samePlace(const Node& a, const Node& b) { return a.x == b.x && a.y == b.y; }

    // A circular list of the loop's vertices, turning positively for the outline and
    // negatively for a hole. Returns the outline's first node or the hole's rightmost node;
    // -1 for a loop left with fewer than three distinct vertices.
    int addLoop(const float* xyz, const uint32_t* idx, int n, const Tuple& eu, const Tuple& ev,
                const Point& origin, bool outline) {
        const int base = int(nodes.size());
        double signedArea = 0.0;
        for (int i = 0; i < n; ++i) {
            const Vector p = at(xyz, idx[i]) - origin;
            Node node;
            node.x = dot(p, eu);
            node.y = dot(p, ev);
            node.vertex = idx[i];
            if (int(nodes.size()) > base && samePlace(node, nodes.back())) continue;
            nodes.push_back(node);
        }
        int count = int(nodes.size()) - base;
        if (count > 1 && samePlace(nodes[base], nodes.back())) {
            nodes.pop_back();
            --count;
        }
        if (count < 3) {
            nodes.resize(std::size_t(base));
            return -1;
        }
        for (int i = 0; i < count; ++i) {
            const Node& a = nodes[std::size_t(base + i)];
            const Node& b = nodes[std::size_t(base + (i + 1) % count)];
            signedArea += a.x * b.y - b.x * a.y;
        }
        const bool reverse = outline ? signedArea < 0.0 : signedArea > 0.0;
        for (int i = 0; i < count; ++i) {
            Node& node = nodes[std::size_t(base + i)];
            const int prev = base + (i + count - 1) % count, next = base + (i + 1) % count;
            node.prev = reverse ? next : prev;
            node.next = reverse ? prev : next;
        }
        if (outline) return base;
        int right = base;
        for (int i = base + 1; i < base + count; ++i)
            if (nodes[i].x > nodes[right].x) right = i;
        return right;
    }

    // Joins the hole whose rightmost node is m to the loop through `start`; returns a node of
    // the joined loop.
    int joinHole(int start, int m) {
        const int bridge = findBridge(start, m);
        if (bridge < 0) return start;  // the hole lies outside the outline: it changes nothing
        // bridge → m → ... around the hole ... → m' → bridge' → what followed bridge.
        const int b2 = int(nodes.size()), m2 = b2 + 1;
        Node bCopy = nodes[bridge], mCopy = nodes[m];
        nodes.push_back(bCopy);
        nodes.push_back(mCopy);
        const int bNext = nodes[bridge].next, mPrev = nodes[m].prev;
        nodes[bridge].next = m;
        nodes[m].prev = bridge;
        nodes[b2].next = bNext;
        nodes[bNext].prev = b2;
        nodes[m2].next = b2;
        nodes[b2].prev = m2;
        nodes[mPrev].next = m2;
        nodes[m2].prev = mPrev;
        return start;
    }

    // The node of the outer loop that the hole's rightmost point m can see: cast a ray from m
    // towards +x, take the nearest edge it crosses, and that edge's rightmost end unless
    // some vertex within the triangle so formed hides it; then the vertex there that makes
    // the smallest angle with the ray.
    int findBridge(int start, int m) {
        const Node M = nodes[m];
        double best = 1e300;
        int candidate = -1;
        int p = start;
        do {
            const Node& a = nodes[p];
            const Node& b = nodes[a.next];
            if ((a.y <= M.y && b.y >= M.y) || (a.y >= M.y && b.y <= M.y)) {
                double x;
                if (a.y == b.y)
                    x = std::min(a.x >= M.x ? a.x : 1e300, b.x >= M.x ? b.x : 1e300);
                else
                    x = a.x + (M.y - a.y) * (b.x - a.x) / (b.y - a.y);
                if (x >= M.x && x < best) {
                    best = x;
                    candidate = a.x > b.x ? p : a.next;
                    if (a.y == M.y && a.x == x) candidate = p;
                    if (b.y == M.y && b.x == x) candidate = a.next;
                }
            }
            p = a.next;
        } while (p != start);
        if (candidate < 0) return -1;
        const Node hit{best, M.y, 0, 0, 0};
        const Node& P = nodes[candidate];
        if (samePlace(P, hit)) return candidate;
        // Orient the triangle (M, hit, P) positively for the inside test.
        const bool positive = area2(M, hit, P) > 0.0;
        const Node& t0 = M;
        const Node& t1 = positive ? hit : P;
        const Node& t2 = positive ? P : hit;
        int chosen = candidate;
        double bestTan = std::fabs(P.y - M.y) / (P.x - M.x);
        p = start;
        do {
            const Node& q = nodes[p];
            if (p != candidate && q.x > M.x && inside(t0, t1, t2, q)) {
                const double tan = std::fabs(q.y - M.y) / (q.x - M.x);
                if (tan < bestTan || (tan == bestTan && q.x < nodes[chosen].x)) {
                    bestTan = tan;
                    chosen = p;
                }
            }
            p = q.next;
        } while (p != start);
        // A vertex that earlier bridges have repeated appears once per wedge of the loop:
        // take the copy whose wedge holds m, or the new bridge would cross an old one.
        p = start;
        do {
            if (samePlace(nodes[p], nodes[chosen]) && opensTowards(p, M)) return p;
            p = nodes[p].next;
        } while (p != start);
        return chosen;
    }

    // Whether the inside of the loop at node a lies towards m.
    bool opensTowards(int a, const Node& m) const {
        const Node& A = nodes[a];
        const Node& prev = nodes[A.prev];
        const Node& next = nodes[A.next];
        if (area2(prev, A, next) > 0.0) return area2(A, next, m) >= 0.0 && area2(A, m, prev) >= 0.0;
        return area2(A, next, m) >= 0.0 || area2(A, m, prev) >= 0.0;
    }

    static bool inside(const Node& a, const Node& b, const Node& c, const Node& p) {
        return area2(a, b, p) >= 0.0 && area2(b, c, p) >= 0.0 && area2(c, a, p) >= 0.0;
    }

    bool isEar(int e) const {
        const Node& a = nodes[nodes[e].prev];
        const Node& b = nodes[e];
        const Node& c = nodes[b.next];
        if (!(area2(a, b, c) > 0.0)) return false;
        for (int p = c.next; p != b.prev; p = nodes[p].next) {
            const Node& q = nodes[p];
            if (samePlace(q, a) || samePlace(q, b) || samePlace(q, c)) continue;
            if (inside(a, b, c, q)) return false;
        }
        return true;
    }

    void unlink(int e) {
        nodes[nodes[e].prev].next = nodes[e].next;
        nodes[nodes[e].next].prev = nodes[e].prev;
    }

    // Drops repeated points and points on a straight run; returns a remaining node.
    int filter(int start) {
        int p = start;
        int unchanged = 0;
        int remaining = 0;
        for (int q = nodes[start].next; q != start; q = nodes[q].next) ++remaining;
        ++remaining;
        while (remaining > 2 && unchanged < remaining) {
            const Node& n = nodes[p];
            if (samePlace(n, nodes[n.next]) || area2(nodes[n.prev], n, nodes[n.next]) == 0.0) {
                const int next = n.next;
                unlink(p);
                p = next;
                --remaining;
                unchanged = 0;
            } else {
                p = n.next;
                ++unchanged;
            }
        }
        return p;
    }

    void clip(int ear, std::vector<uint32_t>& out) {
        int stop = ear;
        bool filtered = false;
        while (nodes[ear].prev != nodes[ear].next) {
            const int prev = nodes[ear].prev, next = nodes[ear].next;
            if (isEar(ear)) {
                out.push_back(nodes[prev].vertex);
                out.push_back(nodes[ear].vertex);
                out.push_back(nodes[next].vertex);
                unlink(ear);
                ear = nodes[next].next;
                stop = ear;
                filtered = false;
                continue;
            }
            ear = next;
            if (ear != stop) continue;
            if (!filtered) {
                ear = stop = filter(ear);
                filtered = true;
                continue;
            }
            // No ear anywhere (a self-crossing outline): cut the most convex corner so that
            // the loop still shrinks.
            int bestNode = ear;
            double bestArea = -1e300;
            int p = ear;
            do {
                const double a = area2(nodes[nodes[p].prev], nodes[p], nodes[nodes[p].next]);
                if (a > bestArea) {
                    bestArea = a;
                    bestNode = p;
                }
                p = nodes[p].next;
            } while (p != ear);
            if (bestArea > 0.0) {
                out.push_back(nodes[nodes[bestNode].prev].vertex);
                out.push_back(nodes[bestNode].vertex);
                out.push_back(nodes[nodes[bestNode].next].vertex);
            }
            ear = stop = nodes[bestNode].next;
            unlink(bestNode);
            filtered = false;
        }
    }

    std::vector<Node> nodes;
    std::vector<int> holes;
    Vector normal = Vector(0.0f, 0.0f, 1.0f);
};

// A primitive variable of a faceted shape: constant, one value per polygon ("perpiece"), or
// one per vertex ("vertex" and "linear"), interpolated over the triangles and bilinearly over
// the quads in `quads` (null: none). stride and offset pick s or t out of "st".
template <class T>
Interpolator<T>* faceInterpolator(const Parameter& p, std::size_t nVertices, std::size_t nPieces,
                                  const std::shared_ptr<const std::vector<uint32_t>>& triangles,
                                  const std::shared_ptr<const std::vector<uint32_t>>& pieceOfFace,
                                  const std::shared_ptr<const QuadTable>& quads,
                                  int stride = floatsOf<T>(), int offset = 0, bool packed = false) {
    if (!fitsVariable<T>(p, packed)) return nullptr;
    switch (p.type().interpolation()) {
        case InterpConstant:
            return constantFrom<T>(p, offset);
        case InterpPerPiece: {
            if (nPieces == 1) return constantFrom<T>(p, offset);
            std::vector<T> values = readValues<T>(p, nPieces, stride, offset);
            if (values.empty()) return nullptr;
            return new PieceInterpolator<T>(std::move(values), pieceOfFace);
        }
        default: {
            std::vector<T> values = readValues<T>(p, nVertices, stride, offset);
            if (values.empty()) return nullptr;
            if (quads && !quads->empty())
                return new QuadVertexInterpolator<T>(std::move(values), triangles, quads);
            return new VertexInterpolator<T>(std::move(values), triangles);
        }
    }
}

}  // namespace shapes
}  // namespace ovo
