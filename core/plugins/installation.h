// Where an installed OVO keeps its parts, found from the location of libovo itself, so that an
// installed renderer (the ovo command, a host program, the Python module) needs no OVO_HOME.
// The layout below a prefix P: P/lib/libovo.so, P/lib/ovo/plugins, P/share/ovo/shaders (and
// the other data folders), P/include/ovo. The build tree keeps its own layout (build/plugins,
// build/shaders) and is found through OVO_HOME as before.
#pragma once

#include <string>

namespace ovo {

// The folder that `suffix` ("/plugins", "/shaders", "/include", "/lib", "/textures", ...) names
// in the installation whose libovo is in `libraryDir`; "" when that folder holds no installation
// (it has no ovo/plugins below it).
std::string installedFolder(const std::string& libraryDir, const char* suffix);

// The folder holding the libovo this process runs; "" when it cannot be told.
std::string libraryFolder();

// $OVO_HOME followed by `suffix` when OVO_HOME is set, else the folder of the installation this
// libovo belongs to, else "".
std::string homeFolder(const char* suffix);

}  // namespace ovo
