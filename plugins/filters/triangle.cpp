// triangle: a tent that falls linearly from 1 at the pixel centre to 0 at the half-width.
//
// The weight is (1 - |x|/xwidth)(1 - |y|/ywidth), zero beyond the support.
//
// Parameters: none (the widths come from "filterwidth").
//
// Example:
//   PixelFilter "triangle" 2 2
#include <algorithm>
#include <cmath>

#include "core/render/filter.h"

namespace {

using namespace ovo;

class TriangleFilter : public Filter {
  public:
    TriangleFilter(float xw, float yw) : Filter(xw, yw) {}

    float evaluate(float x, float y) const override {
        return std::max(0.0f, 1.0f - std::fabs(x) * invXwidth) *
               std::max(0.0f, 1.0f - std::fabs(y) * invYwidth);
    }
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet&) {
    return new TriangleFilter(xwidth, ywidth);
}
