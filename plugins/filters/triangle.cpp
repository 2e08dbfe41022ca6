// triangle: a tent that falls linearly from 1 at the pixel centre to 0 at the half-width.
//
// The weight is (1 - |x|/xwidth)(1 - |y|/ywidth), zero beyond the support. The widths come from
// "filterwidth".
//
// Parameters: none
//
// Example:
//   PixelFilter "triangle" 2 2
#include <algorithm>
#include <cmath>

#include "plugins/filters/separable.h"

namespace {

struct Tent {
    float operator()(float d, float, float invWidth) const {
        return std::max(0.0f, 1.0f - std::fabs(d) * invWidth);
    }
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet&) {
    return new ovo::filters::SeparableFilter<Tent>(xwidth, ywidth);
}
