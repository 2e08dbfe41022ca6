// Integrator: a plugin kind reserved for light-transport strategies. The core creates and
// calls none; the factory exists so that hosts can.
#pragma once

#include "core/params/parameter.h"

namespace ovo {

class Integrator {
  public:
    virtual ~Integrator();
    virtual void integrate() = 0;
};

}  // namespace ovo

extern "C" typedef ovo::Integrator* (*OvoCreateIntegratorEntry)(ovo::ParameterSet&);
