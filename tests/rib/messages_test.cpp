// What the reader tells the user and what it keeps quiet: light handles that a file reuses,
// requests a ray tracer has no use for, and messages that name what to fix.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/rib/recorder.h"

using ovotest::Recorder;
TEST(RibLights, FileHandlesMapToFreshRendererHandles) {
    const std::pair<const char*, const char*> cases[] = {
        // Switching before the redefinition still reaches the first light.
        {"WorldBegin\nLightSource \"pointlight\" \"key\"\nIlluminate \"key\" 0\n"
         "LightSource \"distantlight\" \"key\"\nIlluminate \"key\" 1\nWorldEnd\n",
         "Light(key pointlight -); LightSwitch(key off); Light(key#1 distantlight -); "
         "LightSwitch(key#1 on)"},
        // Area lights share the numbering with the other lights.
        {"WorldBegin\nLightSource \"pointlight\" 2\nAttributeBegin\n"
         "AreaLightSource \"arealight\" 2\nAttributeEnd\nIlluminate 2 1\nWorldEnd\n",
         "Light(2 pointlight -); Light(2#1 arealight -); LightSwitch(2#1 on)"},
        // Lights before WorldBegin are placed once the camera is known, in file order.
        {"LightSource \"ambientlight\" 1\nLightSource \"pointlight\" 1\nIlluminate 1 0\n"
         "WorldBegin\nIlluminate 1 1\nWorldEnd\n",
         "Light(1 ambientlight -); Light(1#1 pointlight -); LightSwitch(1#1 off); LightSwitch(1#1 "
         "on)"},
        // A reused number defines a new light, each with a handle of its own; Illuminate
        // reaches the latest one.
        {"WorldBegin\nLightSource \"a\" 1\nLightSource \"b\" 1\nLightSource \"c\" 1\n"
         "Illuminate 1 0\nWorldEnd\n",
         "Light(1 a -); Light(1#1 b -); Light(1#2 c -); LightSwitch(1#2 off)"},
    };
    // No message either.
    for (const auto& [rib, expected] : cases)
        EXPECT_EQ(Recorder().read(rib).all({"Light(", "LightSwitch("}), expected) << rib;
}

// What changes nothing in a ray-traced picture is a note (shown at -v); what would change
// the picture stays a warning.
TEST(RibQuietRequests, NotesForWhatChangesNothingWarningsForTheRest) {
    // The request, then what the message names, and whether it is a note. None reaches the
    // renderer (the limits OVO uses do: options_test).
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"ShadingInterpolation \"smooth\"", "ShadingInterpolation", true},
        {"Hider \"hidden\" \"jitter\" 0", "Hider \"hidden\"", true},
        {"Hider \"stochastic\"", "Hider \"stochastic\"", false},
        {"Option \"limits\" \"eyesplits\" 10", "Option \"limits\" \"eyesplits\"", true},
        {"Attribute \"displacementbound\" \"coordinatesystem\" \"object\"",
         "Attribute \"displacementbound\" \"coordinatesystem\"", true},
        // These change the picture: the user must hear of them.
        {"Attribute \"cull\" \"backfacing\" 1", "Attribute \"cull\" \"backfacing\"", false},
        {"Option \"render\" \"multipass\" 1", "Option \"render\" \"multipass\"", false},
        {"Interior \"water\"", "Interior", false},
    };
    for (const auto& [rib, subject, note] : cases) {
        const std::string said = note ? " changes nothing in a ray tracer. Ignoring ..."
                                      : " is not supported. Ignoring ...";
        // Said twice, reported once.
        EXPECT_EQ(Recorder().read(std::string(rib) + "\n" + rib + "\n").all(),
                  (note ? "I: test.rib:1: " : "W: test.rib:1: ") + std::string(subject) + said);
    }
}

// Geometry of a type OVO lacks is counted per type over the input and reported once at its
// end, where the first request was.
TEST(RibMessages, UnknownGeometryIsReportedOncePerTypeWithACount) {
    EXPECT_EQ(
        Recorder()
            .read("Geometry \"klein\"\nWorldBegin\nGeometry \"klein\"\nGeometry \"klein\"\n"
                  "Geometry \"bunny\"\nGeometry \"klein\"\nWorldEnd\n"
                  "WorldBegin\nGeometry \"klein\"\nWorldEnd\nWorldBegin\nGeometry 1\nWorldEnd\n")
            .all({"Render("}),
        "Render(-); Render(-); Render(-); E: test.rib:1: Geometry: only allowed inside "
        "WorldBegin or ObjectBegin. Skipping ...; E: test.rib:12: Geometry: argument 1 must "
        "be a string, not a number. Skipping ...; E: test.rib:5: Geometry \"bunny\" is not "
        "supported: 1 request skipped; E: test.rib:3: Geometry \"klein\" is not supported: 4 "
        "requests skipped");
}
