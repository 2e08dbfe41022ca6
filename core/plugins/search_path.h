// Search paths: colon-separated lists of directories in which plugins, shaders, textures and
// input files are looked up, and the expansion of the values hosts give for them.
#pragma once

#include <string>
#include <vector>

// The absolute path of the first directory of `searchPath` that holds `fileName`, or "" when
// none does. A name whose second character is ':' (drive-qualified) bypasses the path and is
// returned as given when it exists. A one-letter segment followed by ':' keeps the ':' and
// runs on to the next one, so "C:/a:D:/b" is two directories.
std::string lookup(const std::string& searchPath, const std::string& fileName);

namespace ovo {

// Builds a search path from a host's text: "&" is the previous value, "@" the field's home
// directory, $NAME, ${NAME}, $(NAME) and %NAME% the environment variable NAME.
std::string expandSearchPath(const std::string& text, const std::string& previous,
                             const std::string& home);

// The words of an Input text (a file or generator name, then arguments), split at white space;
// a word that opens with a double quote runs to the closing one and loses its quotes, so that a
// quoted path with spaces names its file.
std::vector<std::string> splitInputWords(const char* text);

// $OVO_HOME followed by `suffix` ("/shaders", ...), else the installation's folder of that name
// (see installation.h), else "." followed by `suffix`.
std::string homeDirectory(const char* suffix);

}  // namespace ovo
