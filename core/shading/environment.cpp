// ShaderEnvironment construction and copies. A hit record carries one, so copies are plain
// member-wise copies: the references it holds are raised, the ray and scene pointers shared.
#include "core/shading/environment.h"

namespace ovo {

// The derivative store is left unset: every pass writes a call site's slot before the main pass
// reads it, and one is made for every traced ray, where clearing 4 KB would show.
ShaderEnvironment::ShaderEnvironment() {}

ShaderEnvironment::ShaderEnvironment(const ShaderEnvironment& other) = default;

ShaderEnvironment& ShaderEnvironment::operator=(const ShaderEnvironment& other) = default;

ShaderEnvironment::~ShaderEnvironment() {}

}  // namespace ovo
