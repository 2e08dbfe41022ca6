// What `ovoslc --info` prints about a compiled shader: its type and name, the globals it
// reads, and each parameter with its type and default, the way users of shader-info tools
// expect:
//
//   surface "plastic"
//       reads: Cs Os P N I
//       float Ka = 1
//       color specularcolor = [1 1 1]
#pragma once

#include <string>

namespace ovo {

class Shader;

namespace compiler {

// The description of a shader object (its defaults are read from a fresh data block).
std::string describeShader(const Shader& shader);

// Loads the plugin file and describes its shader. Returns false, with a message in `text`,
// when the file is no shader plugin.
bool describeShaderFile(const std::string& path, std::string& text);

}  // namespace compiler
}  // namespace ovo
