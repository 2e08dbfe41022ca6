#include "core/render/filter.h"

#include "core/plugins/factory.h"

namespace ovo {

Filter::Filter(float xw, float yw)
    : xwidth(xw), ywidth(yw), invXwidth(1.0f / xw), invYwidth(1.0f / yw) {}

Filter::~Filter() {}

Filter* createFilter(const std::string& name, const std::string& searchPath,
                     const float* filterWidth, ParameterSet& parameters) {
    return findPluginEntry<OvoCreateFilterEntry>(name, searchPath, "filter", "createFilter")(
        filterWidth[0] * 0.5f, filterWidth[1] * 0.5f, parameters);
}

}  // namespace ovo
