#include "core/api/options.h"

#include "core/geometry/primitive.h"
#include "core/plugins/installation.h"
#include "core/shading/light.h"

namespace ovo {

namespace {

std::string withHome(const char* value, const char* suffix) {
    std::string result(value);
    const std::string home = homeFolder(suffix);
    if (!home.empty()) result += ":" + home;
    return result;
}

}  // namespace

SearchPaths::SearchPaths()
    : input(withHome(".:./inputs", "/inputs")),
      plugin(withHome(".:./plugins", "/plugins")),
      shader(withHome(".:./shaders", "/shaders")),
      texture(withHome(".:./textures", "/textures")),
      procedural(withHome(".", "/plugins")) {}

Options::Options() {}

// Every parameter list is copied deeply (ParameterSet assignment), so a pushed record never
// refers to values the record below it owns.
Options::Options(const Options& other) : RaySettings(other) { *this = other; }

Options& Options::operator=(const Options& other) = default;

Options::~Options() {}

void Options::updateFrameAspect() {
    frameAspect = float(unsigned(resolution[0])) / float(unsigned(resolution[1])) * pixelAspect;
    if (screenAutomatic) {
        screen[0] = -frameAspect;
        screen[1] = frameAspect;
        screen[2] = -1.0f;
        screen[3] = 1.0f;
    }
}

}  // namespace ovo
