// Integrator: a plugin kind reserved for light-transport strategies. The core creates and
// calls none; the factory exists so that hosts can.
#pragma once

#include <string>

#include "core/params/parameter.h"

namespace ovo {

class Integrator {
  public:
    virtual ~Integrator();
    virtual void integrate() = 0;
};

// Loads the integrator plugin `name`; throws Error when it cannot be loaded.
Integrator* createIntegrator(const std::string& name, const std::string& searchPath,
                             ParameterSet& parameters);

}  // namespace ovo

extern "C" typedef ovo::Integrator* (*OvoCreateIntegratorEntry)(ovo::ParameterSet&);
