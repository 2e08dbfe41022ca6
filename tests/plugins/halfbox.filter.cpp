// Test filter "halfbox": weight 1 inside the half-widths the factory passes, 0 outside.
// No parameters. Example: Attribute("string filter", "halfbox").
#include <cmath>

#include "core/render/filter.h"

namespace {

class HalfBoxFilter : public ovo::Filter {
  public:
    HalfBoxFilter(float xw, float yw) : Filter(xw, yw) {}
    float evaluate(float x, float y) const override {
        return std::fabs(x) <= xwidth && std::fabs(y) <= ywidth ? 1.0f : 0.0f;
    }
};

}  // namespace

extern "C" ovo::Filter* createFilter(float xwidth, float ywidth, ovo::ParameterSet&) {
    return new HalfBoxFilter(xwidth, ywidth);
}
