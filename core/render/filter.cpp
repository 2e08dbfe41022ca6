#include "core/render/filter.h"

namespace ovo {

Filter::Filter(float xw, float yw)
    : xwidth(xw), ywidth(yw), invXwidth(1.0f / xw), invYwidth(1.0f / yw) {}

Filter::~Filter() {}

}  // namespace ovo
