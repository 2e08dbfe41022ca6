// blobby: an implicit surface where a field made of blended elements crosses 0.5.
//
// RIB: Blobby nleaf [code] [floats] [strings]. The code is a list of instructions, numbered from 0
// in the order they appear; each element instruction is also a leaf, numbered from 0 in its own
// order. Elements (each falls smoothly from 1 at its centre to 0 at its edge, so one element
// alone shows the half-size shape):
//   1000 f      constant: the value floats[f]
//   1001 f      ellipsoid: floats[f..f+15] is the matrix that takes the unit sphere to it
//   1002 f      segment: end points floats[f..f+5], radius floats[f+6], then a matrix
//   1003 s f    repelling plane z = 0 with floats[f..f+3] = strength, reach and two values that
//               are read and unused; the field is -strength on and beneath the plane (z >= 0)
//               and rises to 0 at the reach above it. A depth-map name strings[s] cannot be used
//               by a ray tracer: the plane is taken as flat, with a warning.
//   9000 n ...  a field plugin with n operands: reported, and its leaf adds nothing
// Combinations of earlier instructions: 0 add, 1 multiply, 2 maximum, 3 minimum (each followed
// by a count and that many instruction numbers), 4 subtract a b, 5 divide a b, 6 negate a,
// 7 identity a. The last instruction is the field. The surface is looked for only where a ray
// is within some ellipsoid or segment. Surface parameters: the direction of the hit from the
// centre of the blob's bound, as on a sphere (u = longitude, v = latitude from the bottom);
// dNdu and dNdv are zero. Primitive variables are constant, "uniform" (one value), or one value
// per leaf ("vertex", "varying"), blended by each ellipsoid's or segment's share of the field.
//
// Parameters:
//   type      name     default  meaning
//   int       nleaf    0        number of leaves, as the code makes them (or without the
//                               field plugins' leaves, which then take no per-leaf values)
//   int[]     code     required the instructions
//   float[]   floats   none     the elements' numbers
//   string[]  strings  none     names the elements refer to
//   normal    N        Ng       shading normal
//   color     C        Color    surface colour; the default is the current Color
//   color     opacity  Opacity  surface opacity; the default is the current Opacity
//   float     s        x        texture coordinate; by default the hit's x in blob space
//   float     t        y        texture coordinate; by default the hit's y in blob space
//   matrix    Pref     none     one per leaf ("vertex"; RIB's "mpoint", under any name): the
//                               shaders' point of that name is the hit in each element's own
//                               space placed by its leaf's matrix, blended by the elements'
//                               shares, so a pattern stays on the elements
//
// Example:
//   Blobby 2 [1001 0 1001 16 0 2 0 1] [1 0 0 0 0 1 0 0 0 0 1 0 -0.4 0 0 1
//     1 0 0 0 0 1 0 0 0 0 1 0 0.4 0 0 1] [""]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/hit.h"
#include "core/shading/environment.h"
#include "plugins/shapes/blobby_field.h"
#include "plugins/shapes/blobby_variables.h"
#include "plugins/shapes/shape_common.h"

namespace ovo {
namespace shapes {
namespace {

using namespace blobby;

class Blobby : public VariableShape<Blobby> {
  public:
    Blobby(const Transform& o2w, const ShapeAttributes& attrs, std::shared_ptr<const Field> f)
        : VariableShape(o2w, attrs), field(std::move(f)) {
        const float* lo = field->bound.bmin;
        const float* hi = field->bound.bmax;
        const Vector diagonal(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
        tolerance = 1e-5f * diagonal.length();
    }

    Aabb objectExtent() const override { return field->bound; }

    bool intersect(const Ray& ray, Hit& hit) const override {
        float t;
        Vector grad;
        if (!walk(ray, t, grad)) return false;
        ShaderEnvironment& env = hit.env;
        const Point p = ray(t);
        hit.t = t;
        env.P = p;
        env.Ng = flipNormal(outward(grad, ray));
        frame(*field, p, grad, env.u, env.v, env.dPdu, env.dPdv);
        encode(env, p);
        env.dNdu = env.dNdv = Vector(0.0f);
        return true;
    }

    bool intersect(const Ray& ray) const override {
        float t;
        Vector grad;
        return walk(ray, t, grad);
    }

    template <class T>
    Interpolator<T>* variable(const Parameter& p, int stride, int offset, bool packed) const {
        if (!fitsVariable<T>(p, packed)) return nullptr;
        if (oneValue(p)) return constantFrom<T>(p, offset);
        std::vector<T> values = readValues<T>(p, field->valued, stride, offset);
        if (values.empty()) return nullptr;
        return new BlendInterpolator<T>(field, std::move(values));
    }

  private:
    static Normal outward(const Vector& grad, const Ray& ray) {
        const float g = grad.length();
        // The field falls outwards; a flat spot faces the ray.
        return g > 0.0f ? Normal(-grad / g) : Normal(Vector(-ray.d).hat());
    }

    // The nearest accepted crossing of the threshold: the ray is walked only where it is within
    // an ellipsoid or a segment, by steps that the field's slope bound proves cannot jump over
    // a crossing, and each crossing is refined to float precision.
    bool walk(const Ray& ray, float& tHit, Vector& grad) const {
        Scratch& s = scratch;
        const Field& f = *field;
        s.spans.clear();
        s.ends.resize(f.leaves.size());
        const Vector inv(1.0f / ray.d.x, 1.0f / ray.d.y, 1.0f / ray.d.z);
        for (std::size_t g = 0; g < f.groups.size(); ++g) {
            if (!crosses(f.groups[g], ray, inv)) continue;
            const std::size_t last = std::min(f.leaves.size(), (g + 1) * Field::GroupSize);
            for (uint32_t i = uint32_t(g * Field::GroupSize); i < last; ++i) {
                const Element& e = f.leaves[i];
                float t0 = ray.mint, t1 = ray.maxt;
                if (e.bounded() && e.span(ray, t0, t1)) {
                    s.spans.push_back(Scratch::Span{t0, t1, i});
                    s.ends[i] = t1;
                }
            }
        }
        if (s.spans.empty()) return false;
        std::sort(s.spans.begin(), s.spans.end(),
                  [](const Scratch::Span& a, const Scratch::Span& b) { return a.t0 < b.t0; });
        s.active.assign(f.leaves.size(), 0);
        s.near.clear();
        const float dLength = ray.d.length();
        if (!(dLength > 0.0f)) return false;
        const float minStep = tolerance / dLength;
        std::size_t next = 0;
        float t = s.spans[0].t0;
        int budget = 200000;
        while (next < s.spans.size() || !s.near.empty()) {
            // The leaves near the ray from t to the next change of that set.
            if (s.near.empty()) t = std::max(t, s.spans[next].t0);
            while (next < s.spans.size() && s.spans[next].t0 <= t) {
                s.near.push_back(s.spans[next].leaf);
                s.active[s.spans[next].leaf] = 1;
                ++next;
            }
            float end = next < s.spans.size() ? s.spans[next].t0 : ray.maxt;
            for (uint32_t i : s.near) end = std::min(end, s.ends[i]);
            const float slope = f.slope(s.near.data(), s.near.size(), s.active, s.ranges) * dLength;
            const float fixedStep = slope >= 1e29f ? std::max(minStep, (end - t) / 256.0f) : 0.0f;
            float g = f.value(ray(t), s.near.data(), s.near.size(), s.values) - Threshold;
            while (t < end && --budget > 0) {
                float step =
                    fixedStep > 0.0f ? fixedStep : (slope > 0.0f ? std::fabs(g) / slope : end - t);
                const float tn = std::min(end, t + std::max(step, minStep));
                const float gn =
                    f.value(ray(tn), s.near.data(), s.near.size(), s.values) - Threshold;
                if ((g > 0.0f) != (gn > 0.0f) && accept(ray, refine(ray, t, g, tn, gn), grad, tHit))
                    return true;
                t = tn;
                g = gn;
            }
            if (budget <= 0) return false;
            // Leaves whose reach ends here leave the set.
            for (std::size_t k = 0; k < s.near.size();) {
                if (s.ends[s.near[k]] <= t) {
                    s.active[s.near[k]] = 0;
                    s.near[k] = s.near.back();
                    s.near.pop_back();
                } else {
                    ++k;
                }
            }
        }
        return false;
    }

    // Whether the ray meets the box within its interval. A zero direction component makes an
    // infinite slab, or NaN on its plane, which the comparisons let through.
    static bool crosses(const Aabb& box, const Ray& ray, const Vector& inv) {
        float t0 = ray.mint, t1 = ray.maxt;
        for (int a = 0; a < 3; ++a) {
            float tn = (box.bmin[a] - ray.o[a]) * inv[a], tf = (box.bmax[a] - ray.o[a]) * inv[a];
            if (tn > tf) std::swap(tn, tf);
            if (tn > t0) t0 = tn;
            if (tf < t1) t1 = tf;
        }
        return t0 <= t1;
    }

    // Illinois false position between two points on either side of the threshold.
    float refine(const Ray& ray, float a, float ga, float b, float gb) const {
        const Scratch& s = scratch;
        int side = 0;
        for (int i = 0; i < 60 && b - a > 4e-7f * std::max(1.0f, std::fabs(b)); ++i) {
            float m = (ga != gb) ? b - gb * (b - a) / (gb - ga) : 0.5f * (a + b);
            if (!(m > a && m < b)) m = 0.5f * (a + b);
            const float gm =
                f().value(ray(m), s.near.data(), s.near.size(), scratch.values) - Threshold;
            if ((gm > 0.0f) == (ga > 0.0f)) {
                a = m;
                ga = gm;
                if (side == -1) gb *= 0.5f;
                side = -1;
            } else {
                b = m;
                gb = gm;
                if (side == 1) ga *= 0.5f;
                side = 1;
            }
        }
        return std::fabs(ga) < std::fabs(gb) ? a : b;
    }

    bool accept(const Ray& ray, float t, Vector& grad, float& tHit) const {
        if (!(t >= ray.mint && t <= ray.maxt)) return false;
        const Point p = ray(t);
        if (!checkHitBias(ray, p)) return false;
        f().gradient(p, grad, scratch.values, scratch.grads);
        if (!attributes.twoSided && !isFrontFacing(ray.d, flipNormal(outward(grad, ray))))
            return false;
        tHit = t;
        return true;
    }

    const Field& f() const { return *field; }

    std::shared_ptr<const Field> field;
    float tolerance;  // smallest step along the ray, in blob-space length
};

// ---------------------------------------------------------------------------------------------
// Reading the code

std::size_t lengthOf(const Parameter* p) {
    if (!p || !p->data()) return 0;
    const std::size_t n = p->type().arraylen() > 0 ? std::size_t(p->type().arraylen()) : 1;
    return n * std::size_t(p->nvalues() > 0 ? p->nvalues() : 1);
}

// The element's matrix: 16 floats, points as rows, translation last. False when singular.
bool readMatrix(const float* m, Element& e) {
    double l[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) l[r][c] = m[4 * c + r];  // p = l q + origin
    const double det = l[0][0] * (l[1][1] * l[2][2] - l[1][2] * l[2][1]) -
                       l[0][1] * (l[1][0] * l[2][2] - l[1][2] * l[2][0]) +
                       l[0][2] * (l[1][0] * l[2][1] - l[1][1] * l[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-20) return false;
    double frob = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            const double v = (l[r1][c1] * l[r2][c2] - l[r1][c2] * l[r2][c1]) / det;
            e.inv[3 * r + c] = float(v);
            frob += v * v;
        }
    e.origin = Point(m[12], m[13], m[14]);
    e.slope = MaxFalloffSlope * float(std::sqrt(frob));
    // The unit ball's image: along each axis, the length of that row of l.
    for (int k = 0; k < 3; ++k) {
        const float h = float(std::sqrt(l[k][0] * l[k][0] + l[k][1] * l[k][1] + l[k][2] * l[k][2]));
        e.bound.bmin[k] = e.origin[k] - h;
        e.bound.bmax[k] = e.origin[k] + h;
    }
    return std::isfinite(e.slope);
}

struct Reading {
    const int* code;
    std::size_t nCode;
    const float* floats;
    std::size_t nFloats;
    const char* const* strings;
    std::size_t nStrings;
    std::string error;
    std::vector<std::string> planes, plugins;  // names seen, for the warnings
};

bool floatsAt(Reading& r, int index, std::size_t count, std::size_t at) {
    if (index >= 0 && std::size_t(index) + count <= r.nFloats) {
        for (std::size_t k = 0; k < count; ++k)
            if (!std::isfinite(r.floats[std::size_t(index) + k])) {
                r.error = "float " + std::to_string(index + (long long)k) + " is not finite";
                return false;
            }
        return true;
    }
    r.error = "the element at code position " + std::to_string(at) + " needs floats " +
              std::to_string(index) + " to " + std::to_string(index + (long long)count - 1) +
              " but there are " + std::to_string(r.nFloats);
    return false;
}

// One element instruction at code position `at`; false with r.error set when malformed.
bool readElement(Reading& r, std::size_t& at, Element& e) {
    const int op = r.code[at];
    auto operand = [&](std::size_t k, int& out) {
        if (at + k >= r.nCode) {
            r.error = "opcode " + std::to_string(op) + " at code position " + std::to_string(at) +
                      " lacks its operands";
            return false;
        }
        out = r.code[at + k];
        return true;
    };
    int fi = 0, si = 0;
    if (op >= 9000) {
        int n = 0;
        if (!operand(1, n)) return false;
        if (n < 0 || std::size_t(n) > r.nCode - at - 2) {
            r.error = "opcode " + std::to_string(op) + " at code position " + std::to_string(at) +
                      " has a bad operand count";
            return false;
        }
        if (n > 0 && r.code[at + 2] >= 0 && std::size_t(r.code[at + 2]) < r.nStrings)
            r.plugins.push_back(r.strings[r.code[at + 2]]);
        else
            r.plugins.push_back(std::to_string(op));
        e.kind = Inert;
        at += 2 + std::size_t(n);
        return true;
    }
    if (op == 1003) {
        if (!operand(1, si) || !operand(2, fi)) return false;
        if (si < 0 || std::size_t(si) >= r.nStrings) {
            r.error = "the plane at code position " + std::to_string(at) + " names string " +
                      std::to_string(si) + " but there are " + std::to_string(r.nStrings);
            return false;
        }
        if (!floatsAt(r, fi, 4, at)) return false;
        e.kind = Plane;
        e.value = r.floats[fi];
        e.reach = r.floats[fi + 1];
        if (!(e.reach > 0.0f)) {
            r.error = "the plane at code position " + std::to_string(at) + " has a reach of " +
                      std::to_string(e.reach) + "; it must be above 0";
            return false;
        }
        e.slope = std::fabs(e.value) * MaxFalloffSlope / e.reach;
        r.planes.push_back(r.strings[si]);
        at += 3;
        return true;
    }
    if (!operand(1, fi)) return false;
    const std::size_t need = op == 1000 ? 1 : op == 1001 ? 16 : 23;
    if (!floatsAt(r, fi, need, at)) return false;
    const float* v = r.floats + fi;
    at += 2;
    if (op == 1000) {
        e.kind = Constant;
        e.value = v[0];
        return true;
    }
    e.kind = op == 1001 ? Ellipsoid : Segment;
    if (!readMatrix(op == 1001 ? v : v + 7, e)) {
        r.error =
            "the matrix of the element at code position " + std::to_string(at - 2) + " is singular";
        return false;
    }
    if (op == 1002) {
        e.a = Point(v[0], v[1], v[2]);
        e.b = Point(v[3], v[4], v[5]);
        e.radius = std::fabs(v[6]);
        if (!(e.radius > 0.0f)) {
            r.error =
                "the segment at code position " + std::to_string(at - 2) + " has a radius of 0";
            return false;
        }
        e.slope /= e.radius;
        // The capsule's image: the end points' images widened by the image of its ball.
        const float* m = v + 7;
        Aabb box;
        for (int k = 0; k < 3; ++k) {
            const float h = e.radius * (e.bound.bmax[k] - e.origin[k]);
            const float pa = e.a.x * m[k] + e.a.y * m[4 + k] + e.a.z * m[8 + k] + m[12 + k];
            const float pb = e.b.x * m[k] + e.b.y * m[4 + k] + e.b.z * m[8 + k] + m[12 + k];
            box.bmin[k] = std::min(pa, pb) - h;
            box.bmax[k] = std::max(pa, pb) + h;
        }
        e.bound = box;
    }
    return true;
}

bool readCombination(Reading& r, std::size_t& at, std::size_t index, Field& f, Instruction& in) {
    const int op = r.code[at];
    std::size_t count, first;
    if (op <= Minimum) {
        if (at + 1 >= r.nCode || r.code[at + 1] < 1) {
            r.error = "opcode " + std::to_string(op) + " at code position " + std::to_string(at) +
                      " needs a count of at least 1";
            return false;
        }
        count = std::size_t(r.code[at + 1]);
        first = at + 2;
    } else {
        count = op <= Divide ? 2 : 1;
        first = at + 1;
    }
    if (count > r.nCode - first) {
        r.error = "opcode " + std::to_string(op) + " at code position " + std::to_string(at) +
                  " lacks its operands";
        return false;
    }
    in.op = op;
    in.first = uint32_t(f.operands.size());
    in.count = uint32_t(count);
    for (std::size_t k = 0; k < count; ++k) {
        const int o = r.code[first + k];
        if (o < 0 || std::size_t(o) >= index) {
            r.error = "opcode " + std::to_string(op) + " at code position " + std::to_string(at) +
                      " refers to instruction " + std::to_string(o) + ", which is not before it";
            return false;
        }
        f.operands.push_back(uint32_t(o));
    }
    at = first + count;
    return true;
}

bool readProgram(Reading& r, Field& f) {
    for (std::size_t at = 0; at < r.nCode;) {
        const int op = r.code[at];
        Instruction in{-1, 0, 0};
        if (op >= 0 && op <= Identity) {
            if (!readCombination(r, at, f.program.size(), f, in)) return false;
        } else if ((op >= 1000 && op <= 1003) || op >= 9000) {
            Element e;
            if (!readElement(r, at, e)) return false;
            in.first = uint32_t(f.leaves.size());
            f.leaves.push_back(e);
        } else {
            r.error =
                "unknown opcode " + std::to_string(op) + " at code position " + std::to_string(at);
            return false;
        }
        f.program.push_back(in);
    }
    if (f.program.empty()) r.error = "the code is empty";
    return !f.program.empty();
}

Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    Parameter* code = params.find("code", TypeInt);
    Parameter* floats = params.find("floats", TypeFloat);
    Parameter* strings = params.find("strings", TypeString);
    if (!code || !code->data()) {
        refuse(renderer, "blobby: \"code\" is missing. Ignoring ...");
        return nullptr;
    }
    Reading r{code->getInts(),
              lengthOf(code),
              floats ? floats->getFloats() : nullptr,
              lengthOf(floats),
              strings ? strings->getStrings() : nullptr,
              lengthOf(strings),
              std::string(),
              {},
              {}};
    auto field = std::make_shared<Field>();
    if (!readProgram(r, *field)) {
        refuse(renderer, "blobby: %s. Ignoring ...", r.error.c_str());
        return nullptr;
    }
    // Some writers leave field plugins out of the leaf count: their leaves then take no values.
    const std::size_t plugins = r.plugins.size(), all = field->leaves.size();
    const int nleaf = params.findInt("nleaf", int(all));
    if (nleaf != int(all) && nleaf != int(all - plugins)) {
        refuse(renderer, "blobby: nleaf is %d but the code makes %zu leaves. Ignoring ...", nleaf,
               all);
        return nullptr;
    }
    field->valued = std::size_t(nleaf);
    int next = 0;
    for (const Element& e : field->leaves)
        field->slot.push_back(nleaf == int(all) || e.kind != Inert ? next++ : -1);
    if (!std::any_of(field->leaves.begin(), field->leaves.end(),
                     [](const Element& e) { return e.bounded(); })) {
        refuse(renderer, "blobby: no ellipsoid or segment bounds the surface. Ignoring ...");
        return nullptr;
    }
    field->finish();
    ErrorManager* errors = renderer.GetErrorManager();
    if (errors && !r.planes.empty() && !r.planes[0].empty())
        errors->Warning(
            "blobby: depth map \"%s\" cannot be used by a ray tracer; the repelling "
            "plane is taken as flat",
            r.planes[0].c_str());
    if (errors && !r.plugins.empty())
        errors->Warning("blobby: field plugin \"%s\" is not supported; its leaf adds nothing",
                        r.plugins[0].c_str());
    std::unique_ptr<Blobby> blobby(new Blobby(objectToWorld, attributes, field));
    blobby->readSt(params);
    if (!blobby->getS()) blobby->setS(new CoordinateInterpolator(field, 0));
    if (!blobby->getT()) blobby->setT(new CoordinateInterpolator(field, 1));
    for (Parameter* p : params) {
        if (p->type().basetype() != TypeMatrix || oneValue(*p) || !p->getFloats() ||
            tooShort(*p, field->valued))
            continue;
        const float* m = p->getFloats();
        blobby->addVariable(
            PrimitiveVariable{p->name(), TypePoint, nullptr, nullptr,
                              std::make_shared<PlacedPointInterpolator>(
                                  field, std::vector<float>(m, m + 16 * field->valued))});
    }
    return blobby.release();
}

}  // namespace
}  // namespace shapes
}  // namespace ovo

using namespace ovo;
using namespace ovo::shapes;

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, "blobby",
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
