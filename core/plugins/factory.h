// The generic plugin factory: turns a plugin name into the file <name>.<kind>.<ext>, finds it
// on the search path, loads it once for the whole process, fetches its entry point and keeps
// it in a cache of its entry type. Each object kind has its create function beside its base
// class (createShape beside Shape, createCamera beside Camera, ...); they all come here.
//
// Failures throw Error: 3 when no file is found, 4 when the library or its entry cannot be
// loaded. A loaded plugin is cached by its name alone and served from the cache from then on,
// whatever search path or kind word later requests give. Factories are used from the thread
// that describes the scene; the caches take no lock.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/base/error.h"
#include "core/plugins/plugin.h"

namespace ovo {

// <name>.<kind>.<platform extension>, or <name>.<extension> for an empty kind.
std::string pluginFileName(const std::string& name, const std::string& kind);
// The full path of the plugin file on the search path; throws Error 3 when there is none.
std::string findPluginFile(const std::string& name, const std::string& searchPath,
                           const std::string& kind);

// One loaded plugin of one kind. Never destroyed: the library stays loaded until exit.
template <class Entry>
struct PluginFactory {
    PluginFactory(const std::string& fileName, const char* symbol)
        : plugin(fileName), create(reinterpret_cast<Entry>(plugin.getSymbol(symbol))) {}

    Plugin plugin;
    Entry create;
};

// The entry `symbol` of the plugin `name` of kind `kind`.
template <class Entry>
Entry findPluginEntry(const std::string& name, const std::string& searchPath,
                      const std::string& kind, const char* symbol) {
    // One cache per entry type, never freed, so that plugins stay reachable (and usable by
    // static destructors) until the process ends.
    static auto* cache = new std::map<std::string, PluginFactory<Entry>*>();
    auto found = cache->find(name);
    if (found != cache->end()) return found->second->create;
    // Cached only once both the library and its entry are there, so a failure can be retried.
    std::unique_ptr<PluginFactory<Entry>> factory(
        new PluginFactory<Entry>(findPluginFile(name, searchPath, kind), symbol));
    (*cache)[name] = factory.get();
    return factory.release()->create;
}

}  // namespace ovo
