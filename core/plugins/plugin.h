// Plugin: one loaded shared library. Plugins are opened with global symbol visibility so that
// a shader or shape can see what other plugins export, and are never unloaded by the core.
#pragma once

#include <string>

namespace ovo {

class Plugin {
  public:
    // Opens the library at the full file name; throws Error 4 when it cannot be opened.
    explicit Plugin(const std::string& name);
    ~Plugin();

    // Never null: a missing symbol throws Error 4.
    void* getSymbol(const std::string& symbol);
    const std::string& getName() const { return name; }

  private:
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    std::string name;
    void* handle;
};

}  // namespace ovo
