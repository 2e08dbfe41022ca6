// A RendererAPI wrapped around the real renderer: every call is passed on, except that the
// command line's overrides replace what the scene says (resolution, crop, samples, the
// first display's file, threads, verbosity, statistics). Input runs the generator on this
// wrapper, so the scene's calls come through here too.
#pragma once

#include <string>

#include "apps/ovo/command_line.h"
#include "core/api/forwarding_renderer.h"
#include "viewer/frame_sink.h"

namespace ovo {
namespace app {

class OverrideRenderer : public ForwardingRenderer {
  public:
    // Does not own `renderer`.
    OverrideRenderer(RendererAPI* renderer, const CommandLine& commandLine);

    // Sends the overrides once, before any scene, so they hold even where a scene sets
    // nothing.
    void applyDefaults();

    // With a viewer (ovo --view) every frame is shown in the page, labelled with the scene's
    // framebuffer display or else `scene`; framebuffer displays write no file then. Without
    // one they are written to the file they name, as before, with a hint about --view.
    void setViewer(viewer::FrameSink* viewer) { view = viewer; }
    void setSceneName(const std::string& scene) { sceneName = scene; }

    // The plugin search path generators are looked up on.
    static std::string pluginPath();

    using ForwardingRenderer::Attribute;
    void Input(Generator* generator, const float* bound) override;
    void Input(const char* text, const float* bound) override;
    void Input(const char* text) override;
    void Output(const char* name, const char* type, const char* mode, const char* camera) override;
    void World() override;
    void Render(const char* camera) override;
    void Attribute(const char* decl, const float* value) override;
    void Attribute(const char* decl, const int* value) override;
    void Attribute(const char* decl, int value) override;
    void Attribute(const char* decl, const void* value) override;
    void Attribute(const char* name, ParamType type, const float* value) override;
    void Attribute(const char* name, ParamType type, const int* value) override;
    void Attribute(const char* name, ParamType type, int value) override;
    void Attribute(const char* name, ParamType type, const void* value) override;

  private:
    // The value the command line puts in place of an option, or null to pass it on.
    const int* intsFor(const std::string& name) const;
    const float* floatsFor(const std::string& name) const;
    bool intFor(const std::string& name, int value, int& out) const;
    void renderWithProgress(const char* camera);

    CommandLine options;
    int samples[2];
    std::string firstDisplay;  // the scene name -o replaces, once one was declared
    bool outputAdded = false;  // -o given to a scene that declared no display
    viewer::FrameSink* view = nullptr;
    std::string sceneName, frameLabel;
    bool framebufferHinted = false;
};

// The name in a declaration ("int[2] resolution" -> "resolution"); empty when it does not
// parse.
std::string declaredName(const char* decl);

}  // namespace app
}  // namespace ovo
