// catmull-rom: the Catmull-Rom cubic, a sharpening filter.
//
// The cubic's support of two units is stretched over the half-width, so "filterwidth" 4 4 gives the
// classic kernel in pixel units. Its negative lobes sharpen edges; the film only accumulates
// positive weights, so the lobes show as a narrower, crisper footprint rather than as ringing. The
// widths come from "filterwidth"; 4 4 is usual.
//
// Parameters: none
//
// Example:
//   PixelFilter "catmull-rom" 4 4
#include <cmath>

#include "plugins/filters/separable.h"

namespace {

// The Catmull-Rom cubic on [0, 2]: 1 at 0, 0 at 1 and from 2 on.
float cubic(float t) {
    t = std::fabs(t);
    if (t < 1.0f) return 1.5f * t * t * t - 2.5f * t * t + 1.0f;
    if (t < 2.0f) return -0.5f * t * t * t + 2.5f * t * t - 4.0f * t + 2.0f;
    return 0.0f;
}

// The cubic's two units over the half-width.
struct CatmullRom {
    float operator()(float d, float, float invWidth) const { return cubic(2.0f * d * invWidth); }
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet&) {
    return new ovo::filters::SeparableFilter<CatmullRom>(xwidth, ywidth);
}
