#include "core/render/integrator.h"

namespace ovo {

Integrator::~Integrator() {}

}  // namespace ovo
