// box: every sample within the filter's reach counts the same.
//
// Weight 1 where |x| and |y| are within the half-widths, 0 beyond. With "filterwidth" 1 1 each
// sample lands in its own pixel only: no blur, and the most aliasing. The widths come from
// "filterwidth".
//
// Parameters: none
//
// Example:
//   PixelFilter "box" 1 1
#include <cmath>

#include "plugins/filters/separable.h"

namespace {

struct Box {
    float operator()(float d, float width, float) const {
        return std::fabs(d) <= width ? 1.0f : 0.0f;
    }
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet&) {
    return new ovo::filters::SeparableFilter<Box>(xwidth, ywidth);
}
