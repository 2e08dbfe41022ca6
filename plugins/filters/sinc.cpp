// sinc: the windowed sinc, the sharpest of the filters.
//
// sin(pi x)/(pi x) in pixel units, windowed by a second, wider sinc, sin(pi x/tau)/(pi x/tau), and
// cut off at the half-width, so it is zero beyond its support. The axes multiply. As with
// "catmull-rom", only the positive lobes reach the film. The widths come from "filterwidth"; 4 4 or
// more is usual.
//
// Parameters:
//   type   name   default  meaning
//   float  tau    0        width of the window in pixels (0: the half-width)
//
// Example:
//   PixelFilter "sinc" 4 4
#include <cmath>

#include "core/math/constants.h"
#include "plugins/filters/separable.h"

namespace {

using ovo::Pi;

inline float sinc(float x) {
    x = std::fabs(x);
    if (x < 1e-5f) return 1.0f;
    return std::sin(Pi * x) / (Pi * x);
}

// The sinc windowed by a wider one, tau wide (the half-width when tau is 0).
class WindowedSinc {
  public:
    explicit WindowedSinc(float tau) : tau(tau) {}
    float operator()(float d, float width, float) const {
        if (std::fabs(d) >= width) return 0.0f;
        return sinc(d) * sinc(d / (tau > 0.0f ? tau : width));
    }

  private:
    float tau;
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet& parameters) {
    return new ovo::filters::SeparableFilter<WindowedSinc>(
        xwidth, ywidth, WindowedSinc(parameters.findFloat("tau", 0.0f)));
}
