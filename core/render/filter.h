// Filter: the base of reconstruction-filter plugins. The film tabulates it once.
#pragma once

#include "core/params/parameter.h"

namespace ovo {

class Filter {
  public:
    // Half-widths in x and y.
    Filter(float xwidth, float ywidth);
    virtual ~Filter();
    // Weight at offset (x, y) from the pixel centre.
    virtual float evaluate(float x, float y) const = 0;

    float xwidth, ywidth;
    float invXwidth, invYwidth;
};

}  // namespace ovo

extern "C" typedef ovo::Filter* (*OvoCreateFilterEntry)(float, float, ovo::ParameterSet&);
