#include "core/render/integrator.h"

#include "core/plugins/factory.h"

namespace ovo {

Integrator::~Integrator() {}

Integrator* createIntegrator(const std::string& name, const std::string& searchPath,
                             ParameterSet& parameters) {
    return findPluginEntry<OvoCreateIntegratorEntry>(name, searchPath, "integrator",
                                                     "createIntegrator")(parameters);
}

}  // namespace ovo
