#include "core/plugins/factory.h"

#include <OpenImageIO/plugin.h>

#include "core/plugins/search_path.h"

namespace ovo {

std::string pluginFileName(const std::string& name, const std::string& kind) {
    std::string fileName = name;
    if (!kind.empty()) fileName += "." + kind;
    fileName += ".";
    fileName += OIIO::Plugin::plugin_extension();
    return fileName;
}

std::string findPluginFile(const std::string& name, const std::string& searchPath,
                           const std::string& kind) {
    const std::string path = lookup(searchPath, pluginFileName(name, kind));
    if (path.empty())
        throw Error(Error::PluginNotFound, "Unable to find plugin \"%s\"", name.c_str());
    return path;
}

}  // namespace ovo
