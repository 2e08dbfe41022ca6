// gaussian: the default reconstruction filter, a Gaussian bell that falls to zero at its edge.
//
// The bell is scaled to the filter width, so a wider filter is a softer one: at offset x
// (half-width w) the weight is exp(-alpha (x/w)^2) - exp(-alpha), zero from the edge on, and the
// two axes multiply. The widths come from "filterwidth", default 2 2.
//
// Parameters:
//   type   name   default  meaning
//   float  alpha  2        falloff; larger values give a narrower bell. Non-positive values mean 2.
//
// Example:
//   PixelFilter "gaussian" 2 2
#include <algorithm>
#include <cmath>

#include "plugins/filters/separable.h"

namespace {

class Bell {
  public:
    explicit Bell(float alpha) : alpha(alpha), edge(std::exp(-alpha)) {}
    float operator()(float d, float, float invWidth) const {
        const float r = d * invWidth;
        return std::max(0.0f, std::exp(-alpha * r * r) - edge);
    }

  private:
    float alpha;
    float edge;
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet& parameters) {
    float alpha = parameters.findFloat("alpha", 2.0f);
    if (!(alpha > 0.0f)) alpha = 2.0f;
    return new ovo::filters::SeparableFilter<Bell>(xwidth, ywidth, Bell(alpha));
}
