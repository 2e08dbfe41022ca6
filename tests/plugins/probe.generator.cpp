// Test generator "probe": writes what it was given into the "frames" option of the renderer it
// runs on, so a test can read it back with GetAttribute.
//   "string tag" (default "probe"): the first word written; the argument text, when there is
//   one, follows after a space.
// Example: Input("probe scene.rib") runs it with the argument text "scene.rib" (or its path).
#include <string>

#include "core/api/renderer_api.h"
#include "core/params/parameter.h"

namespace {

class ProbeGenerator : public ovo::RendererAPI::Generator {
  public:
    explicit ProbeGenerator(const char* tag) : tag(tag) {}
    void run(ovo::RendererAPI* renderer, const char* args) override {
        const std::string text = args ? tag + " " + args : tag;
        renderer->Attribute("string frames", text.c_str());
    }

  private:
    std::string tag;
};

}  // namespace

extern "C" ovo::RendererAPI::Generator* createGenerator(ovo::ParameterSet& parameters) {
    return new ProbeGenerator(parameters.findString("tag", "probe"));
}
