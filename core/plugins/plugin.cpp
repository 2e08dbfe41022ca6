#include "core/plugins/plugin.h"

#include <OpenImageIO/plugin.h>

#include "core/base/error.h"

namespace ovo {

Plugin::Plugin(const std::string& fileName) : name(fileName), handle(nullptr) {
    handle = OIIO::Plugin::open(name, true);
    if (!handle) {
        throw Error(Error::PluginLoadFailed, "Cannot open plugin \"%s\": %s", name.c_str(),
                    OIIO::Plugin::geterror().c_str());
    }
}

Plugin::~Plugin() {
    if (handle) OIIO::Plugin::close(handle);
}

void* Plugin::getSymbol(const std::string& symbol) {
    void* address = OIIO::Plugin::getsym(handle, symbol);
    if (!address) {
        throw Error(Error::PluginLoadFailed, "Cannot get symbol %s in plugin \"%s\": %s",
                    symbol.c_str(), name.c_str(), OIIO::Plugin::geterror().c_str());
    }
    return address;
}

}  // namespace ovo
