// What the reader tells the user and what it keeps quiet: light handles that a file reuses,
// requests a ray tracer has no use for, and messages that name what to fix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

struct LightCase {
    const char* rib;
    Calls lights;  // the Light and LightSwitch calls the renderer sees
};

}  // namespace

TEST(RibLights, FileHandlesMapToFreshRendererHandles) {
    const LightCase cases[] = {
        // A reused number defines a new light; Illuminate reaches the latest one.
        {"WorldBegin\nLightSource \"pointlight\" 1\nLightSource \"spotlight\" 1\n"
         "Illuminate 1 0\nWorldEnd\n",
         {"Light(1 pointlight -)", "Light(1#1 spotlight -)", "LightSwitch(1#1 off)"}},
        // Switching before the redefinition still reaches the first light.
        {"WorldBegin\nLightSource \"pointlight\" \"key\"\nIlluminate \"key\" 0\n"
         "LightSource \"distantlight\" \"key\"\nIlluminate \"key\" 1\nWorldEnd\n",
         {"Light(key pointlight -)", "LightSwitch(key off)", "Light(key#1 distantlight -)",
          "LightSwitch(key#1 on)"}},
        // Area lights share the numbering with the other lights.
        {"WorldBegin\nLightSource \"pointlight\" 2\nAttributeBegin\n"
         "AreaLightSource \"arealight\" 2\nAttributeEnd\nIlluminate 2 1\nWorldEnd\n",
         {"Light(2 pointlight -)", "Light(2#1 arealight -)", "LightSwitch(2#1 on)"}},
        // Lights before WorldBegin are placed once the camera is known, in file order.
        {"LightSource \"ambientlight\" 1\nLightSource \"pointlight\" 1\nIlluminate 1 0\n"
         "WorldBegin\nIlluminate 1 1\nWorldEnd\n",
         {"Light(1 ambientlight -)", "Light(1#1 pointlight -)", "LightSwitch(1#1 off)",
          "LightSwitch(1#1 on)"}},
        // A handle no LightSource gave goes to the renderer as written.
        {"WorldBegin\nIlluminate 9 1\nWorldEnd\n", {"LightSwitch(9 on)"}},
        // Each redefinition gets its own handle.
        {"WorldBegin\nLightSource \"a\" 1\nLightSource \"b\" 1\nLightSource \"c\" 1\n"
         "Illuminate 1 0\nWorldEnd\n",
         {"Light(1 a -)", "Light(1#1 b -)", "Light(1#2 c -)", "LightSwitch(1#2 off)"}},
    };
    for (const LightCase& c : cases) {
        Recorder r;
        r.read(c.rib);
        EXPECT_EQ(r.only({"Light(", "LightSwitch("}), c.lights) << c.rib;
        EXPECT_EQ(r.diagnostics(), Calls()) << c.rib;
    }
}
