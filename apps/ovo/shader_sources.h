// Compiling shaders on demand: when a scene names a shader that has no compiled plugin on the
// shader path but a source <name>.sl on that path or beside the scene file, ovo compiles it
// with ovoslc's compiler into a cache folder, says so, and renders with it. The cache folder
// ($OVO_SHADER_CACHE, else ~/.cache/ovo/shaders) keeps one folder per source content and
// compiler version, so an unchanged source is compiled once. A source beside the scene comes
// first even when a compiled shader of its name is on the path: the scene was written for it.
#pragma once

#include <string>

namespace ovo {

class ErrorManager;

namespace app {

// Installs the compiler for the renderer whose messages go to `errors`.
void installShaderSources(ErrorManager* errors);
// The scene file being read (its folder is searched for sources too); "" for none.
void setSceneFile(const std::string& file);

// The cache folder for a source text: <cache root>/<name>-<hash of text and compiler version>.
std::string shaderCacheFolder(const std::string& name, const std::string& text);

}  // namespace app
}  // namespace ovo
