// polygon: one planar polygon, convex or concave, optionally with holes.
//
// A polygon that is not quite planar is traced in the plane through its first vertex, across its
// average normal. The normal turns with the outline's vertex order (counter-clockwise seen from the
// front); holes may turn either way, and points inside a hole miss. RIB: Polygon (the simple form)
// and GeneralPolygon (the loop form).
//
// Surface parameters: u and v are the position in the polygon's plane, measured along its first
// edge and across it and scaled to 0..1 over the polygon. Primitive variables are interpolated on a
// triangulation: su, sv are barycentrics in triangle `face`. They are constant, one value
// ("perpiece"), or one per vertex ("vertex", "linear"); on a polygon of four vertices, the
// per-vertex ones are bilinear over the quad (no seam along its diagonal). A RIB file's "Cs"
// and "Os" arrive as "C" and "opacity".
//
// Parameters:
//   type          name       default     meaning
//   vertex point  P          required    the vertices of every loop, one loop after the other
//                                        ("Pw", homogeneous points, is accepted in its place)
//   int           nvertices  P's length  the number of vertices (simple form); the default needs a
//                                        "P" that declares its length
//   int           nloops     none        the number of loops (loop form): the first is the outline,
//                                        the others are holes
//   int[nloops]   nvertices  none        the vertices of each loop (loop form)
//   normal        N          Ng          shading normal
//   color         C          Color       surface colour; the default is the current Color
//   color         opacity    Opacity     surface opacity; the default is the current Opacity
//   float         s          u           texture coordinate
//   float         t          v           texture coordinate
//   float[2]      st         u v         s and t together
//
// Example:
//   GeneralPolygon [4 4] "P" [0 0 0 4 0 0 4 4 0 0 4 0  1 1 0 1 3 0 3 3 0 3 1 0]
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/geometry/hit.h"
#include "core/math/sampling.h"
#include "core/shading/environment.h"
#include "plugins/shapes/faces.h"

namespace ovo {
namespace shapes {
namespace {

class Polygon : public VariableShape<Polygon> {
  public:
    Polygon(const Transform& o2w, const ShapeAttributes& attrs, std::vector<float> xyz,
            std::vector<int> loopSizes, std::vector<uint32_t> tris, const Vector& normal,
            std::shared_ptr<const QuadTable> quadTable)
        : VariableShape(o2w, attrs),
          xyz(std::move(xyz)),
          loopSizes(std::move(loopSizes)),
          triangles(std::make_shared<const std::vector<uint32_t>>(std::move(tris))),
          quads(std::move(quadTable)),
          n(normal) {
        const std::size_t nv = this->xyz.size() / 3;
        origin = vertex(0);
        // The in-plane frame: along the first edge that does not collapse, then across it.
        Vector along(0.0f);
        for (std::size_t i = 1; i < std::size_t(this->loopSizes[0]) && !(along.length() > 0.0f);
             ++i) {
            const Vector e = vertex(i) - origin;
            along = e - dot(e, n) * n;
        }
        eu = Vector(along.hat());
        ev = Vector(n ^ eu);
        flat.resize(nv);
        float umin = 1e30f, umax = -1e30f, vmin = 1e30f, vmax = -1e30f;
        bound = Aabb(origin);
        for (std::size_t i = 0; i < nv; ++i) {
            const Vector d = vertex(i) - origin;
            flat[i] = Flat{dot(d, eu), dot(d, ev)};
            umin = std::min(umin, flat[i].x);
            umax = std::max(umax, flat[i].x);
            vmin = std::min(vmin, flat[i].y);
            vmax = std::max(vmax, flat[i].y);
            bound += plane(flat[i].x, flat[i].y);
        }
        bound.expand(1e-6f * (std::fabs(bound.bmax[0] - bound.bmin[0]) +
                              std::fabs(bound.bmax[1] - bound.bmin[1]) +
                              std::fabs(bound.bmax[2] - bound.bmin[2])));
        u0 = umin;
        v0 = vmin;
        du = umax > umin ? umax - umin : 1.0f;
        dv = vmax > vmin ? vmax - vmin : 1.0f;

        // Per triangle: its corner and the inverse of its edge matrix, for barycentrics.
        const std::vector<uint32_t>& t = *triangles;
        const std::size_t nt = t.size() / 3;
        local.resize(nt);
        cumulative.resize(nt + 1);
        cumulative[0] = 0.0;
        for (std::size_t i = 0; i < nt; ++i) {
            const Flat &a = flat[t[3 * i]], &b = flat[t[3 * i + 1]], &c = flat[t[3 * i + 2]];
            const float e1x = b.x - a.x, e1y = b.y - a.y, e2x = c.x - a.x, e2y = c.y - a.y;
            const float det = e1x * e2y - e2x * e1y;
            const float inv = det != 0.0f ? 1.0f / det : 0.0f;
            local[i] = Local{a.x, a.y, e2y * inv, -e2x * inv, -e1y * inv, e1x * inv};
            cumulative[i + 1] = cumulative[i] + 0.5 * std::fabs(double(det));
        }
        totalArea = cumulative[nt];
        // A lone triangle (what a mesh split into polygons is made of) is tested through its
        // inline barycentric frame, without visiting the loop arrays.
        if (this->loopSizes.size() == 1 && this->loopSizes[0] == 3 && nt == 1 &&
            (local[0].m00 != 0.0f || local[0].m01 != 0.0f)) {
            triangle = local[0];
            isTriangle = true;
        }
    }

    Aabb objectExtent() const override { return bound; }
    float area() const override { return float(totalArea); }

    bool triangleCorners(Point corners[3]) const override {
        if (!isTriangle) return false;
        for (std::size_t k = 0; k < 3; ++k) corners[k] = vertex(k);
        return true;
    }

    bool intersect(const Ray& ray, Hit& hit) const override {
        float t, x, y;
        if (!find(ray, t, x, y)) return false;
        float b1, b2;
        const unsigned face = locate(x, y, b1, b2);
        hit.t = t;
        fill(hit.env, x, y, b1, b2, face);
        hit.env.dNdu = hit.env.dNdv = Vector(0.0f);
        return true;
    }

    bool intersect(const Ray& ray) const override {
        float t, x, y;
        return find(ray, t, x, y);
    }

    // Uniform over the area: u picks a triangle in proportion to its area and is reused,
    // rescaled, to place the point in it.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        const double target = double(clamp(u, 0.0f, 1.0f)) * totalArea;
        std::size_t k =
            std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                        cumulative.begin() - 1);
        k = std::min(k, local.size() - 1);
        const double width = cumulative[k + 1] - cumulative[k];
        const float ur = width > 0.0 ? float((target - cumulative[k]) / width) : 0.5f;
        float b1, b2;
        UniformSampleTriangle(clamp(ur, 0.0f, 1.0f), v, b1, b2);
        const std::vector<uint32_t>& t = *triangles;
        const Flat &a = flat[t[3 * k]], &b = flat[t[3 * k + 1]], &c = flat[t[3 * k + 2]];
        const float x = a.x + b1 * (b.x - a.x) + b2 * (c.x - a.x);
        const float y = a.y + b1 * (b.y - a.y) + b2 * (c.y - a.y);
        fill(env, x, y, b1, b2, unsigned(k));
    }

    // Constant, one value ("perpiece"), or one per vertex over the triangles.
    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const {
        return faceInterpolator<T>(p, vertexCount(), 1, triangles, nullptr, quads, stride, offset,
                                   packed);
    }

  private:
    struct Flat {
        float x, y;
    };
    struct Local {
        float ox, oy;              // first corner
        float m00, m01, m10, m11;  // inverse of the edge matrix
    };

    std::size_t vertexCount() const { return xyz.size() / 3; }
    Point vertex(std::size_t i) const { return Point(&xyz[3 * i]); }
    Point plane(float x, float y) const { return origin + x * eu + y * ev; }

    // The geometry of the point (x, y) of the plane, at barycentrics (b1, b2) in triangle face.
    void fill(ShaderEnvironment& env, float x, float y, float b1, float b2, unsigned face) const {
        env.P = plane(x, y);
        env.Ng = flipNormal(Normal(n));
        env.u = (x - u0) / du;
        env.v = (y - v0) / dv;
        env.su = b1;
        env.sv = b2;
        env.face = face;
        env.dPdu = du * eu;
        env.dPdv = dv * ev;
    }

    // The plane hit, inside the outline and outside every hole, facing the ray when one-sided,
    // and beyond the bias.
    bool find(const Ray& ray, float& tHit, float& x, float& y) const {
        const float denom = dot(n, ray.d);
        if (denom == 0.0f) return false;
        const float t = dot(n, origin - ray.o) / denom;
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        if (!attributes.twoSided && !isFrontFacing(ray.d, flipNormal(Normal(n)))) return false;
        const Point p = ray(t);
        const Vector d = p - origin;
        x = dot(d, eu);
        y = dot(d, ev);
        if (!covers(x, y)) return false;
        if (!checkHitBias(ray, p)) return false;
        tHit = t;
        return true;
    }

    // Even-odd crossings over every loop: holes cancel the outline.
    bool covers(float x, float y) const {
        if (isTriangle) {
            const float dx = x - triangle.ox, dy = y - triangle.oy;
            const float c1 = triangle.m00 * dx + triangle.m01 * dy;
            const float c2 = triangle.m10 * dx + triangle.m11 * dy;
            return c1 >= 0.0f && c2 >= 0.0f && c1 + c2 <= 1.0f;
        }
        bool in = false;
        std::size_t first = 0;
        for (int size : loopSizes) {
            const std::size_t last = first + std::size_t(size);
            for (std::size_t i = first, j = last - 1; i < last; j = i++) {
                const Flat &a = flat[i], &b = flat[j];
                if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
                    in = !in;
            }
            first = last;
        }
        return in;
    }

    // The triangle that holds (x, y) best (the one whose smallest barycentric is largest,
    // so that points on shared edges and rounding near them still find one).
    unsigned locate(float x, float y, float& b1, float& b2) const {
        if (isTriangle) {
            // A lone triangle's frame is beside the others: its arrays need no visit.
            const float dx = x - triangle.ox, dy = y - triangle.oy;
            b1 = clamp(triangle.m00 * dx + triangle.m01 * dy, 0.0f, 1.0f);
            b2 = clamp(triangle.m10 * dx + triangle.m11 * dy, 0.0f, 1.0f - b1);
            return 0;
        }
        float best = -1e30f;
        unsigned face = 0;
        b1 = b2 = 0.0f;
        for (std::size_t i = 0; i < local.size(); ++i) {
            const Local& l = local[i];
            const float dx = x - l.ox, dy = y - l.oy;
            const float c1 = l.m00 * dx + l.m01 * dy, c2 = l.m10 * dx + l.m11 * dy;
            const float worst = std::min(std::min(c1, c2), 1.0f - c1 - c2);
            if (worst > best) {
                best = worst;
                face = unsigned(i);
                b1 = c1;
                b2 = c2;
                if (worst >= 0.0f) break;
            }
        }
        b1 = clamp(b1, 0.0f, 1.0f);
        b2 = clamp(b2, 0.0f, 1.0f - b1);
        return face;
    }

    std::vector<float> xyz;  // every vertex, packed
    std::vector<int> loopSizes;
    std::shared_ptr<const std::vector<uint32_t>> triangles;
    std::shared_ptr<const QuadTable> quads;  // null unless the polygon is one quad
    Vector n;                                // unit normal, turning the outline counter-clockwise
    Point origin;
    Vector eu, ev;  // in-plane frame, eu × ev = n
    bool isTriangle = false;
    Local triangle{};  // local[0] of a lone triangle, kept beside the frame
    std::vector<Flat> flat;
    std::vector<Local> local;
    std::vector<double> cumulative;  // area up to each triangle
    double totalArea = 0.0;
    float u0, v0, du, dv;  // the polygon's extent in the plane
    Aabb bound;
};

// The vertex count of each loop: "nloops" with "nvertices" per loop, or one loop of
// "nvertices" (by default the length of "P").
bool readLoopSizes(RendererAPI& renderer, ParameterSet& params, const Positions& pos,
                   std::vector<int>& sizes) {
    if (Parameter* nl = params.find("nloops", TypeInt)) {
        const int nloops = nl->getInt();
        if (nloops < 1) {
            refuse(renderer, "polygon: nloops is %d; it must be at least 1. Ignoring ...", nloops);
            return false;
        }
        Parameter* nv = params.find("nvertices", TypeInt);
        if (!nv || !nv->getInts()) {
            refuse(renderer, "polygon: \"nvertices\" is missing. Ignoring ...");
            return false;
        }
        if (tooShort(*nv, std::size_t(nloops))) {
            refuse(renderer, "polygon: \"nvertices\" holds %zu counts for %d loops. Ignoring ...",
                   declaredValues(*nv), nloops);
            return false;
        }
        sizes.assign(nv->getInts(), nv->getInts() + nloops);
        return true;
    }
    int n = params.findInt("nvertices", -1);
    if (n < 0) n = pos.declared > 0 ? int(std::min<std::size_t>(pos.declared, 1u << 30)) : -1;
    if (n < 0) {
        refuse(renderer, "polygon: \"nvertices\" is missing. Ignoring ...");
        return false;
    }
    sizes.push_back(n);
    return true;
}

// The vertices of all loops, each loop of at least three, and as many points in "P".
bool countVertices(RendererAPI& renderer, const std::vector<int>& sizes, const Positions& pos,
                   std::size_t& count) {
    long long total = 0;
    for (std::size_t l = 0; l < sizes.size(); ++l) {
        if (sizes[l] < 3) {
            if (sizes.size() == 1)
                refuse(renderer, "polygon: %d vertices; a polygon needs at least 3. Ignoring ...",
                       sizes[l]);
            else
                refuse(renderer,
                       "polygon: loop %zu has %d vertices; it needs at least 3. "
                       "Ignoring ...",
                       l, sizes[l]);
            return false;
        }
        total += sizes[l];
    }
    if (total > (1LL << 30)) {
        refuse(renderer, "polygon: %lld vertices are too many. Ignoring ...", total);
        return false;
    }
    if (pos.declared != 0 && pos.declared < std::size_t(total)) {
        refuse(renderer, "polygon: \"P\" holds %zu points; the loops need %lld. Ignoring ...",
               pos.declared, total);
        return false;
    }
    count = std::size_t(total);
    return true;
}

// The first `count` points, packed; false when one is not finite.
bool packPositions(RendererAPI& renderer, const Positions& pos, std::size_t count,
                   std::vector<float>& xyz) {
    xyz.resize(3 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const Point p = pos.at(i);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refuse(renderer, "polygon: point %zu of \"P\" is not finite. Ignoring ...", i);
            return false;
        }
        xyz[3 * i] = p.x;
        xyz[3 * i + 1] = p.y;
        xyz[3 * i + 2] = p.z;
    }
    return true;
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const Positions pos = findPositions(params);
    if (!pos.found()) {
        refuse(renderer, "polygon: \"P\" is missing. Ignoring ...");
        return nullptr;
    }
    std::vector<int> sizes;
    std::size_t count = 0;
    std::vector<float> xyz;
    if (!readLoopSizes(renderer, params, pos, sizes) ||
        !countVertices(renderer, sizes, pos, count) || !packPositions(renderer, pos, count, xyz))
        return nullptr;
    // The loops' vertices are the points in order.
    std::vector<uint32_t> order(count);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = uint32_t(i);
    std::vector<uint32_t> tris;
    Triangulator triangulator;
    if (!triangulator.run(xyz.data(), order.data(), sizes.data(), int(sizes.size()), tris)) {
        refuse(renderer, "polygon: the outline encloses no area. Ignoring ...");
        return nullptr;
    }
    // A lone quad interpolates its per-vertex variables bilinearly.
    std::shared_ptr<QuadTable> quads;
    if (sizes.size() == 1 && sizes[0] == 4 && tris.size() == 6) {
        quads = std::make_shared<QuadTable>(2);
        const uint32_t corners[4] = {0, 1, 2, 3};
        if (!quads->add(xyz.data(), tris.data(), 0, corners)) quads.reset();
    }
    Polygon* polygon = new Polygon(objectToWorld, attributes, std::move(xyz), std::move(sizes),
                                   std::move(tris), triangulator.lastNormal(), std::move(quads));
    polygon->readSt(params);
    return polygon;
}

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "polygon",
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
