// The Python face of a renderer: owns a RendererAPI and its ErrorManager, sends diagnostics to
// a Python callable, remembers the frame's outputs so that Render can hand the image back.
#pragma once

#include <OpenImageIO/errorhandler.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "core/api/renderer_api.h"
#include "python/params.h"

namespace ovo {
namespace python {

// Calls back into Python with (level, message); render threads take the interpreter lock for
// it. An exception the callable raises is reported as unraisable rather than lost in C++.
class CallbackHandler : public OIIO::ErrorHandler {
  public:
    explicit CallbackHandler(pybind11::object target) : callable(std::move(target)) {}
    void operator()(int code, const std::string& message) override;

  private:
    pybind11::object callable;
};

// "info", "warning", "error", "severe", "message" or "debug" for an OpenImageIO handler code.
const char* levelName(int code);

class Renderer {
  public:
    Renderer(pybind11::object diagnostics, int verbosity);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    RendererAPI& api() { return *renderer; }
    // Output and World keep the list of images the frame writes; World adds a temporary one
    // when there is none, so that every Render has an image to return.
    void output(const std::string& name, const char* type, const char* mode, const char* camera);
    void world();
    // Renders without the interpreter lock and returns the first output's image, or None.
    pybind11::object render(const char* camera);
    // Reads a scene file (its frames are rendered without the interpreter lock).
    void input(const std::string& text);

    // The values of the parameters sent since the last command that took them; a command that
    // raised before reaching the renderer leaves them for the one that will.
    ValueStore parameters;

  private:
    std::unique_ptr<CallbackHandler> handler;
    ErrorManager* errors = nullptr;
    RendererAPI* renderer = nullptr;
    std::vector<std::string> outputs;  // the files the next frame writes, first first
    std::string scratchFolder;         // holds the temporary image, made when first needed
};

// An image file as a float32 array of (height, width, channels); None when it cannot be read.
pybind11::object readImage(const std::string& path);

}  // namespace python
}  // namespace ovo
