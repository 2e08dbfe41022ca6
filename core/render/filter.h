// Filter: the base of reconstruction-filter plugins. The film tabulates it once.
#pragma once

#include <string>

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

// Loads the filter plugin `name`; filterWidth[2] are full widths, the filter receives half of
// each. Throws Error when it cannot be loaded.
Filter* createFilter(const std::string& name, const std::string& searchPath,
                     const float* filterWidth, ParameterSet& parameters);

}  // namespace ovo

extern "C" typedef ovo::Filter* (*OvoCreateFilterEntry)(float, float, ovo::ParameterSet&);
