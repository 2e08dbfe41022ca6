#include "python/renderer.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/image/library.h"
#include "core/params/error.h"

namespace py = pybind11;

namespace ovo {
namespace python {

const char* levelName(int code) {
    switch (code & 0xffff0000) {
        case OIIO::ErrorHandler::EH_INFO:
            return "info";
        case OIIO::ErrorHandler::EH_WARNING:
            return "warning";
        case OIIO::ErrorHandler::EH_ERROR:
            return "error";
        case OIIO::ErrorHandler::EH_SEVERE:
            return "severe";
        case OIIO::ErrorHandler::EH_DEBUG:
            return "debug";
        default:
            return "message";
    }
}

void CallbackHandler::operator()(int code, const std::string& message) {
    py::gil_scoped_acquire gil;
    try {
        callable(levelName(code), message);
    } catch (py::error_already_set& e) {
        e.discard_as_unraisable("the ovo diagnostics callable");
    }
}

Renderer::Renderer(py::object diagnostics, int verbosity) {
    if (!diagnostics.is_none()) {
        if (!PyCallable_Check(diagnostics.ptr()))
            throw py::type_error("diagnostics must be callable (level, message)");
        handler.reset(new CallbackHandler(std::move(diagnostics)));
    }
    errors = ErrorManager::Create(handler.get(), verbosity);
    renderer = RendererAPI::CreateRenderer("raytracer", errors);
    if (!renderer) {
        delete errors;
        throw std::runtime_error("cannot create the renderer");
    }
}

Renderer::~Renderer() {
    delete renderer;
    delete errors;
    if (!scratchFolder.empty()) {
        for (const std::string& file : outputs)
            if (file.compare(0, scratchFolder.size(), scratchFolder) == 0) unlink(file.c_str());
        rmdir(scratchFolder.c_str());
    }
}

void Renderer::output(const std::string& name, const char* type, const char* mode,
                      const char* camera) {
    renderer->Output(name.c_str(), type, mode, camera);
    outputs.erase(std::remove(outputs.begin(), outputs.end(), name), outputs.end());
    if (type && std::strcmp(type, "null") != 0) outputs.push_back(name);
}

void Renderer::world() {
    if (outputs.empty()) {
        if (scratchFolder.empty()) {
            char folder[] = "/tmp/ovo-python-XXXXXX";
            if (!mkdtemp(folder)) throw std::runtime_error("cannot make a folder for the image");
            scratchFolder = folder;
        }
        output(scratchFolder + "/frame.exr", "openexr", "rgba", "camera");
    }
    renderer->World();
}

py::object Renderer::render(const char* camera) {
    {
        py::gil_scoped_release unlocked;
        renderer->Render(camera);
    }
    return outputs.empty() ? py::none() : readImage(outputs.front());
}

void Renderer::input(const std::string& text) {
    py::gil_scoped_release unlocked;
    renderer->Input(text.c_str());
}

py::object readImage(const std::string& path) {
    int width = 0, height = 0, channels = 0;
    std::vector<float> pixels;
    bool ok;
    {
        py::gil_scoped_release unlocked;
        const image::Bridge* bridge = image::bridge();
        ok = bridge && bridge->readImage(path, width, height, channels, pixels);
    }
    if (!ok) return py::none();
    py::array_t<float> frame({height, width, channels});
    std::copy(pixels.begin(), pixels.end(), frame.mutable_data());
    return frame;
}

}  // namespace python
}  // namespace ovo
