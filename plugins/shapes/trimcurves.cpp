// trimcurves: the trim loops of a TrimCurve call, which cut the NURBS surfaces made after it.
//
// Nothing of it is drawn. Each loop is a chain of rational NURBS curves in the parameters (u, v)
// of the surfaces (the knot values of their u and v, not 0..1), closed back to its start; they
// are kept as fine polylines. Every nupatch made under the same attributes is trimmed by all the
// loops: "trimcurve" "sense" "inside" (the default) removes what lies inside them, "outside" what
// lies outside. Nested loops alternate. A later TrimCurve replaces the loops.
//
// Parameters:
//   type            name     default   meaning
//   int[nloops]     ncurves  required  the curves of each loop
//   int[]           n        required  the control points of each curve
//   int[]           order    required  the order of each curve, 1 to 16
//   float[]         knot     required  n + order knots of each curve, one curve after the other
//   float[]         min      required  where each curve starts, in its knots
//   float[]         max      required  where each curve ends
//   vertex point    P        required  (u·w, v·w, w) of every control point
//
// Example:
//   TrimCurve [1] [2] [0 0 1 1] [0] [1] [2] [0.2 0.8] [0.5 0.5] [1 1]
#include <cmath>
#include <string>

#include "plugins/shapes/shape_common.h"
#include "plugins/shapes/trim.h"

using namespace ovo;
using namespace ovo::shapes;

namespace {

constexpr const char* TypeName = "trimcurves";

const int* ints(const ParameterSet& params, const char* name) {
    Parameter* p = params.find(name, TypeInt);
    return p ? p->getInts() : nullptr;
}

const float* floats(const ParameterSet& params, const char* name) {
    Parameter* p = params.find(name, TypeFloat);
    return p ? p->getFloats() : nullptr;
}

// Long for its checks: every count is read from the arrays before anything is sampled.
Shape* make(RendererAPI& renderer, const Transform& objectToWorld,
            const ShapeAttributes& attributes, ParameterSet& params) {
    Parameter* ncurvesP = params.find("ncurves", TypeInt);
    const int* ncurves = ncurvesP ? ncurvesP->getInts() : nullptr;
    const int* n = ints(params, "n");
    const int* order = ints(params, "order");
    const float* knot = floats(params, "knot");
    const float* lo = floats(params, "min");
    const float* hi = floats(params, "max");
    Parameter* pP = params.find("P", TypePoint);
    const float* uvw = pP ? pP->getFloats() : nullptr;
    if (!ncurves || !n || !order || !knot || !lo || !hi || !uvw) {
        refuse(renderer,
               "%s: \"ncurves\", \"n\", \"order\", \"knot\", \"min\", \"max\" and \"P\" "
               "are all needed. Ignoring ...",
               TypeName);
        return nullptr;
    }
    const std::size_t nloops = std::max<std::size_t>(1, declaredValues(*ncurvesP));
    std::vector<TrimLoop> loops;
    std::size_t curve = 0, knotAt = 0, pointAt = 0;
    for (std::size_t l = 0; l < nloops; ++l) {
        if (ncurves[l] < 1 || ncurves[l] > (1 << 20)) {
            refuse(renderer, "%s: loop %zu has %d curves. Ignoring ...", TypeName, l, ncurves[l]);
            return nullptr;
        }
        TrimLoop loop;
        for (int c = 0; c < ncurves[l]; ++c, ++curve) {
            if (order[curve] < 1 || order[curve] > MaxOrder || n[curve] < order[curve] ||
                n[curve] > (1 << 20)) {
                refuse(renderer, "%s: curve %zu has %d points of order %d. Ignoring ...", TypeName,
                       curve, n[curve], order[curve]);
                return nullptr;
            }
            const float* k = knot + knotAt;
            const std::size_t nk = std::size_t(n[curve] + order[curve]);
            for (std::size_t i = 0; i < nk; ++i)
                if (!std::isfinite(k[i]) || (i > 0 && k[i] < k[i - 1])) {
                    refuse(renderer,
                           "%s: the knots of curve %zu decrease or are not finite. "
                           "Ignoring ...",
                           TypeName, curve);
                    return nullptr;
                }
            sampleTrimCurve(uvw + 3 * pointAt, n[curve], order[curve], k, lo[curve], hi[curve],
                            4 * order[curve], loop);
            knotAt += nk;
            pointAt += std::size_t(n[curve]);
        }
        if (loop.size() >= 6) loops.push_back(std::move(loop));
    }
    return new TrimCurves(objectToWorld, attributes, std::move(loops));
}

}  // namespace

extern "C" Shape* createShape(RendererAPI& renderer, const Transform& objectToWorld,
                              const ShapeAttributes& attributes, ParameterSet& params) {
    return guarded(renderer, TypeName,
                   [&] { return make(renderer, objectToWorld, attributes, params); });
}
