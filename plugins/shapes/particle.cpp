// particle: a cloud of points, each drawn as a sphere whose diameter is the point's width.
//
// The spheres are round from every side, lit like any other surface, and cast shadows; points whose
// width is not above 0 are not drawn. RIB: Points. Surface parameters: those of a whole sphere
// about the point (u = phi / 360 degrees, v from the bottom pole to the top one); face is the index
// of the point. The primitive variables are constant, or one value per point ("vertex", "linear");
// "perpiece" values are one value for the whole cloud. A RIB file's "Cs" and "Os" arrive as "C" and
// "opacity".
//
// Parameters:
//   type          name           default        meaning
//   vertex point  P              required       the centres ("Pw", homogeneous points, is accepted
//                                               in its place)
//   vertex float  width          constantwidth  the diameter of each point, one value per point
//   float         constantwidth  1              one diameter for every point
//   normal        N              Ng             shading normal
//   color         C              Color          surface colour; the default is the current Color
//   color         opacity        Opacity        surface opacity; the default is the current Opacity
//   float         s              u              texture coordinate
//   float         t              v              texture coordinate
//   float[2]      st             u v            s and t together
//
// Example:
//   Points "P" [0 0 0  1 0 0  2 0 0] "width" [0.1 0.2 0.3]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

#include "core/geometry/hit.h"
#include "core/math/sampling.h"
#include "core/shading/environment.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {
namespace {

class Particles : public VariableShape<Particles> {
  public:
    struct Ball {
        float x, y, z, r;
    };

    Particles(const Transform& o2w, const ShapeAttributes& attrs, std::vector<Ball> all,
              std::size_t count)
        : VariableShape(o2w, attrs), nPoints(count) {
        // Only drawable points enter the hierarchy; `index` keeps their place in the input.
        std::vector<uint32_t> order;
        order.reserve(all.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            if (all[i].r > 0.0f) order.push_back(uint32_t(i));
        nodes.reserve(2 * order.size() / LeafSize + 1);
        if (!order.empty()) buildNode(all, order, 0, order.size());
        balls.reserve(order.size());
        for (uint32_t i : order) balls.push_back(all[i]);
        index = std::move(order);
        double sum = 0.0;
        for (const Ball& b : balls) sum += 4.0 * double(Pi) * double(b.r) * b.r;
        totalArea = sum;
    }

    Aabb objectExtent() const override {
        if (nodes.empty()) return Aabb();
        return Aabb(Point(nodes[0].lo), Point(nodes[0].hi));
    }
    float area() const override { return float(totalArea); }

    bool drawsNothing() const { return nodes.empty(); }

    bool intersect(const Ray& ray, Hit& hit) const override {
        float t;
        uint32_t which;
        if (nodes.empty() || !trace(ray, false, t, which)) return false;
        const Ball& b = balls[which];
        const Point p = ray(t);
        fill(hit.env, b, Vector(p.x - b.x, p.y - b.y, p.z - b.z), index[which]);
        hit.t = t;
        return true;
    }

    bool intersect(const Ray& ray) const override {
        float t;
        uint32_t which;
        return !nodes.empty() && trace(ray, true, t, which);
    }

    // Uniform over the area: u picks a point in proportion to its sphere's area and is reused,
    // rescaled, to place the sample on that sphere.
    void sample(ShaderEnvironment& env, const Point&, float u, float v) const override {
        if (balls.empty()) return;
        std::call_once(cumulativeOnce, [this] {
            cumulative.resize(balls.size() + 1);
            cumulative[0] = 0.0;
            for (std::size_t i = 0; i < balls.size(); ++i)
                cumulative[i + 1] = cumulative[i] + double(balls[i].r) * balls[i].r;
        });
        const double target = double(clamp(u, 0.0f, 1.0f)) * cumulative.back();
        std::size_t k =
            std::size_t(std::upper_bound(cumulative.begin() + 1, cumulative.end(), target) -
                        cumulative.begin() - 1);
        k = std::min(k, balls.size() - 1);
        const double width = cumulative[k + 1] - cumulative[k];
        const float ur = width > 0.0 ? float((target - cumulative[k]) / width) : 0.5f;
        const Point d = UniformSampleSphere(clamp(ur, 0.0f, 1.0f), v);
        const Ball& b = balls[k];
        fill(env, b, Vector(d.x * b.r, d.y * b.r, d.z * b.r), index[k]);
    }

    // Constant, one value for the cloud ("perpiece"), or one per point.
    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const {
        if (!fitsVariable<T>(p, packed)) return nullptr;
        if (oneValue(p)) return constantFrom<T>(p, offset);
        std::vector<T> values = readValues<T>(p, nPoints, stride, offset);
        if (values.empty()) return nullptr;
        return new PieceInterpolator<T>(std::move(values), nullptr);
    }

  private:
    static const std::size_t LeafSize = 4;

    // Children of an inner node: the next node and node `second`; a leaf holds `count` balls
    // from `first`.
    struct Node {
        float lo[3];
        uint32_t firstOrSecond;
        float hi[3];
        uint32_t count;
    };

    // Halves at the median of the centres along the longest axis: points are all alike, so
    // the median gives a balanced tree of bounded depth.
    void buildNode(const std::vector<Ball>& all, std::vector<uint32_t>& order, std::size_t begin,
                   std::size_t end) {
        const std::size_t at = nodes.size();
        nodes.emplace_back();
        Node box{{1e30f, 1e30f, 1e30f}, 0, {-1e30f, -1e30f, -1e30f}, 0};
        float clo[3] = {1e30f, 1e30f, 1e30f}, chi[3] = {-1e30f, -1e30f, -1e30f};
        for (std::size_t i = begin; i < end; ++i) {
            const Ball& b = all[order[i]];
            const float c[3] = {b.x, b.y, b.z};
            for (int a = 0; a < 3; ++a) {
                box.lo[a] = std::min(box.lo[a], c[a] - b.r);
                box.hi[a] = std::max(box.hi[a], c[a] + b.r);
                clo[a] = std::min(clo[a], c[a]);
                chi[a] = std::max(chi[a], c[a]);
            }
        }
        if (end - begin <= LeafSize) {
            box.firstOrSecond = uint32_t(begin);
            box.count = uint32_t(end - begin);
            nodes[at] = box;
            return;
        }
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (chi[a] - clo[a] > chi[axis] - clo[axis]) axis = a;
        const std::size_t mid = begin + (end - begin) / 2;
        auto key = [&all, axis](uint32_t i) {
            const Ball& b = all[i];
            return axis == 0 ? b.x : (axis == 1 ? b.y : b.z);
        };
        std::nth_element(order.begin() + std::ptrdiff_t(begin), order.begin() + std::ptrdiff_t(mid),
                         order.begin() + std::ptrdiff_t(end),
                         [&key](uint32_t a, uint32_t b) { return key(a) < key(b); });
        buildNode(all, order, begin, mid);
        box.firstOrSecond = uint32_t(nodes.size());
        box.count = 0;
        buildNode(all, order, mid, end);
        nodes[at] = box;
    }

    // The nearest accepted hit: front-facing when one-sided, beyond the bias. `any` stops at
    // the first. Nearer children first, farther ones kept with their entry distance.
    bool trace(const Ray& ray, bool any, float& tHit, uint32_t& which) const {
        const float inv[3] = {1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z};
        const float org[3] = {ray.o.x, ray.o.y, ray.o.z};
        const double dd =
            double(ray.d.x) * ray.d.x + double(ray.d.y) * ray.d.y + double(ray.d.z) * ray.d.z;
        if (!(dd > 0.0)) return false;
        float tMax = ray.maxt;
        if (!(entry(nodes[0], org, inv, ray.mint, tMax) <= tMax)) return false;
        bool found = false;
        uint32_t stackNode[64];
        float stackT[64];
        int top = 0;
        uint32_t at = 0;
        for (;;) {
            const Node& n = nodes[at];
            if (n.count == 0) {
                uint32_t near = at + 1, far = n.firstOrSecond;
                float tNear = entry(nodes[near], org, inv, ray.mint, tMax);
                float tFar = entry(nodes[far], org, inv, ray.mint, tMax);
                if (tFar < tNear) {
                    std::swap(near, far);
                    std::swap(tNear, tFar);
                }
                if (tNear <= tMax) {
                    if (tFar <= tMax) {
                        stackNode[top] = far;
                        stackT[top++] = tFar;
                    }
                    at = near;
                    continue;
                }
            } else {
                for (uint32_t i = n.firstOrSecond; i < n.firstOrSecond + n.count; ++i) {
                    float t;
                    if (hitBall(ray, dd, balls[i], ray.mint, tMax, t)) {
                        tMax = t;
                        which = i;
                        found = true;
                        if (any) {
                            tHit = t;
                            return true;
                        }
                    }
                }
            }
            // The next kept child that the nearest hit so far does not hide.
            while (top > 0 && stackT[top - 1] > tMax) --top;
            if (top == 0) break;
            at = stackNode[--top];
        }
        tHit = tMax;
        return found;
    }

    // Where the ray enters the box within [mint, maxt]; above maxt when it misses. A zero
    // direction component makes an infinite slab, or NaN on its plane, which the comparisons
    // ignore.
    static float entry(const Node& n, const float* o, const float* inv, float mint, float maxt) {
        float t0 = mint, t1 = maxt;
        for (int a = 0; a < 3; ++a) {
            float tn = (n.lo[a] - o[a]) * inv[a], tf = (n.hi[a] - o[a]) * inv[a];
            if (tn > tf) std::swap(tn, tf);
            if (tn > t0) t0 = tn;
            if (tf < t1) t1 = tf;
        }
        return t0 <= t1 ? t0 : 1e38f;
    }

    bool hitBall(const Ray& ray, double dd, const Ball& b, float mint, float maxt, float& t) const {
        const double ox = double(ray.o.x) - b.x, oy = double(ray.o.y) - b.y,
                     oz = double(ray.o.z) - b.z;
        double roots[2];
        const int n = solveQuadratic(dd, 2.0 * (ox * ray.d.x + oy * ray.d.y + oz * ray.d.z),
                                     ox * ox + oy * oy + oz * oz - double(b.r) * b.r, roots);
        for (int i = 0; i < n; ++i) {
            const double r = roots[i];
            if (!(r >= mint && r < maxt)) continue;
            const Point p = ray(float(r));
            if (!checkHitBias(ray, p)) continue;
            if (!attributes.twoSided &&
                !isFrontFacing(ray.d, flipNormal(Normal(p.x - b.x, p.y - b.y, p.z - b.z))))
                continue;
            t = float(r);
            return true;
        }
        return false;
    }

    // The hit record of the point at offset d from the centre of ball b: a whole sphere's.
    void fill(ShaderEnvironment& env, const Ball& b, const Vector& d, uint32_t point) const {
        const float phi = angleAboutZ(d.x, d.y), lat = latitude(d.x, d.y, d.z);
        const float cp = std::cos(phi), sp = std::sin(phi), cl = std::cos(lat);
        const Normal n = unitOrZero(d);
        env.P = Point(b.x + d.x, b.y + d.y, b.z + d.z);
        env.Ng = flipNormal(n);
        env.u = env.su = phi / TwoPi;
        env.v = env.sv = (lat + PiOver2) / Pi;
        env.face = point;
        env.dPdu = TwoPi * Vector(-d.y, d.x, 0.0f);
        env.dPdv = Pi * Vector(-d.z * cp, -d.z * sp, b.r * cl);
        // The unit normal of a sphere is (P - centre) / r, so its derivatives are P's over r,
        // turned with the normal.
        const float s = env.Ng.x * n.x + env.Ng.y * n.y + env.Ng.z * n.z < 0.0f ? -1.0f : 1.0f;
        env.dNdu = (s / b.r) * env.dPdu;
        env.dNdv = (s / b.r) * env.dPdv;
    }

    std::size_t nPoints;
    std::vector<Node> nodes;
    std::vector<Ball> balls;      // in the order of the leaves
    std::vector<uint32_t> index;  // input index of each ball
    double totalArea = 0.0;
    mutable std::once_flag cumulativeOnce;
    mutable std::vector<double> cumulative;  // r² up to each ball, made on first sample
};

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    const Positions pos = findPositions(params);
    if (!pos.found()) {
        refuse(renderer, "particle: \"P\" is missing. Ignoring ...");
        return nullptr;
    }
    const std::size_t n = pos.declared != 0 ? pos.declared : 1;
    if (n > (std::size_t(1) << 31)) {
        refuse(renderer, "particle: %zu points are too many. Ignoring ...", n);
        return nullptr;
    }
    const float constantWidth = params.findFloat("constantwidth", 1.0f);
    const float* widths = nullptr;
    if (Parameter* w = params.find("width", TypeFloat)) {
        if (w->type().interpolation() == InterpConstant ||
            w->type().interpolation() == InterpPerPiece) {
            refuse(renderer,
                   "particle: \"width\" must give one value per point; use "
                   "\"constantwidth\" for one value. Ignoring ...");
            return nullptr;
        }
        if (tooShort(*w, n)) {
            refuse(renderer, "particle: \"width\" holds %zu values for %zu points. Ignoring ...",
                   declaredValues(*w), n);
            return nullptr;
        }
        widths = w->getFloats();
    }
    std::vector<Particles::Ball> balls(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point p = pos.at(i);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refuse(renderer, "particle: point %zu of \"P\" is not finite. Ignoring ...", i);
            return nullptr;
        }
        const float w = widths ? widths[i] : constantWidth;
        balls[i] = Particles::Ball{p.x, p.y, p.z, std::isfinite(w) ? 0.5f * w : 0.0f};
    }
    std::unique_ptr<Particles> particles(
        new Particles(objectToWorld, attributes, std::move(balls), n));
    if (particles->drawsNothing()) {
        refuse(renderer, "particle: no point has a width above 0. Ignoring ...");
        return nullptr;
    }
    particles->readSt(params);
    return particles.release();
}

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "particle",
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
