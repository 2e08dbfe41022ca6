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

namespace {

struct QuietCase {
    const char* rib;
    const char* diagnostic;  // the one message the line gives
};

}  // namespace

// What changes nothing in a ray-traced picture is a note (shown at -v); what would change
// the picture stays a warning.
TEST(RibQuietRequests, NotesForWhatChangesNothingWarningsForTheRest) {
    const QuietCase cases[] = {
        {"ShadingInterpolation \"smooth\"",
         "I: test.rib:1: ShadingInterpolation changes nothing in a ray tracer. Ignoring ..."},
        {"GeometricApproximation \"flatness\" 0.5",
         "I: test.rib:1: GeometricApproximation changes nothing in a ray tracer. Ignoring ..."},
        {"Bound [-1 1 -1 1 -1 1]",
         "I: test.rib:1: Bound changes nothing in a ray tracer. Ignoring ..."},
        {"Hider \"hidden\" \"jitter\" 0",
         "I: test.rib:1: Hider \"hidden\" changes nothing in a ray tracer. Ignoring ..."},
        {"Hider \"raytrace\"",
         "I: test.rib:1: Hider \"raytrace\" changes nothing in a ray tracer. Ignoring ..."},
        {"Hider \"stochastic\"",
         "W: test.rib:1: Hider \"stochastic\" is not supported. Ignoring ..."},
        {"Option \"limits\" \"eyesplits\" 10",
         "I: test.rib:1: Option \"limits\" \"eyesplits\" changes nothing in a ray tracer. "
         "Ignoring ..."},
        {"Option \"limits\" \"gridsize\" [256]",
         "I: test.rib:1: Option \"limits\" \"gridsize\" changes nothing in a ray tracer. "
         "Ignoring ..."},
        {"Attribute \"displacementbound\" \"coordinatesystem\" \"object\"",
         "I: test.rib:1: Attribute \"displacementbound\" \"coordinatesystem\" changes nothing in "
         "a ray tracer. Ignoring ..."},
        {"Attribute \"dice\" \"rasterorient\" 0",
         "I: test.rib:1: Attribute \"dice\" \"rasterorient\" changes nothing in a ray tracer. "
         "Ignoring ..."},
        // These change the picture: the user must hear of them.
        {"Attribute \"cull\" \"backfacing\" 1",
         "W: test.rib:1: Attribute \"cull\" \"backfacing\" is not supported. Ignoring ..."},
        {"Attribute \"trace\" \"displacements\" 1",
         "W: test.rib:1: Attribute \"trace\" \"displacements\" is not supported. Ignoring ..."},
        {"Option \"render\" \"multipass\" 1",
         "W: test.rib:1: Option \"render\" \"multipass\" is not supported. Ignoring ..."},
        {"Interior \"water\"", "W: test.rib:1: Interior is not supported. Ignoring ..."},
    };
    for (const QuietCase& c : cases) {
        Recorder r;
        r.read(std::string(c.rib) + "\n" + c.rib + "\n");  // said twice, reported once
        EXPECT_EQ(r.diagnostics(), Calls{c.diagnostic}) << c.rib;
    }
}

TEST(RibQuietRequests, LimitsOvoUsesStillReachTheRendererAndAHiderNeedsAName) {
    Recorder r;
    r.read("Option \"limits\" \"texturememory\" 2048\nOption \"limits\" \"eyesplits\" 4\n");
    EXPECT_EQ(r.only({"Attribute(int limits"}), Calls{"Attribute(int limits:texturememory: 2)"});
    // A hider that is not named at all is a mistake in the file.
    r.clear();
    r.read("Hider 3\n");
    EXPECT_EQ(
        r.diagnostics(),
        Calls{"E: test.rib:1: Hider: argument 1 must be a string, not a number. Skipping ..."});
}

// Geometry of a type OVO lacks is counted per type over the input and reported once at its
// end, where the first request was.
TEST(RibMessages, UnknownGeometryIsReportedOncePerTypeWithACount) {
    Recorder r;
    r.read(
        "Geometry \"klein\"\n"
        "WorldBegin\nGeometry \"klein\"\nGeometry \"klein\"\nGeometry \"bunny\"\n"
        "Geometry \"klein\"\nWorldEnd\n"
        "WorldBegin\nGeometry \"klein\"\nWorldEnd\n"
        "WorldBegin\nGeometry 1\nWorldEnd\n");
    Calls diagnostics = {
        "E: test.rib:1: Geometry: only allowed inside WorldBegin or ObjectBegin. Skipping ...",
        "E: test.rib:12: Geometry: argument 1 must be a string, not a number. Skipping ...",
        "E: test.rib:5: Geometry \"bunny\" is not supported: 1 request skipped",
        "E: test.rib:3: Geometry \"klein\" is not supported: 4 requests skipped",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
    EXPECT_EQ(r.only({"Render("}).size(), 3u);
}
