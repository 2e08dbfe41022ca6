// What the ovo command does with a scene's framebuffer displays with a viewer and without one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "apps/ovo/command_line.h"
#include "apps/ovo/override_renderer.h"
#include "tests/rib/recorder.h"
#include "tests/viewer/recording_sink.h"
#include "viewer/framebuffer_output.h"

using namespace ovo::app;

namespace {

// Reads `rib` through the ovo command's wrapper around a recorder, with or without a viewer.
std::string runThroughCommand(const std::string& rib, ovotest::RecordingSink* viewer) {
    CommandLine options;
    std::string error;
    parseCommandLine({"scene.rib"}, options, error);
    ovotest::Recorder inner;
    OverrideRenderer wrapper(&inner, options);
    wrapper.setViewer(viewer);
    wrapper.setSceneName("scene.rib");
    return inner.read(rib, "scene.rib", &wrapper).all();
}

const std::string TwoFrames =
    "Display \"shot.tif\" \"framebuffer\" \"rgb\"\nWorldBegin\nWorldEnd\n"
    "Display \"a.png\" \"file\" \"rgba\"\nDisplay \"+a.png\" \"framebuffer\" \"rgba\"\n"
    "WorldBegin\nWorldEnd\n";
const std::string Exposure = "Parameter(float gain: 1); Parameter(float gamma: 1); ";
const std::string Frame =
    "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1); Camera(camera); World(); ";

// With a viewer, and without one as before the viewer existed.
std::string framebufferDisplays() {
    std::string failures;
    const auto expect = [&](const std::string& got, const std::string& expected) {
        if (got != expected) failures += "\ngot:      " + got + "\nexpected: " + expected + "\n";
    };
    ovotest::RecordingSink sink;
    // Every frame gets the viewer's colour and depth outputs for its render only; the
    // framebuffer display writes no file and names the frame; the file display stays.
    const std::string view =
        "Output(ovo:view framebuffer rgba camera); Output(ovo:view:z framebuffer z camera); "
        "Render(-); Output(ovo:view null rgba camera); Output(ovo:view:z null z camera)";
    expect(runThroughCommand(TwoFrames, &sink),
           Exposure + "Output(shot.tif null rgb camera); " + Frame + view +
               "; Output(shot.tif null rgba camera); " + Exposure +
               "Output(a.png png rgba camera); " + Frame + view);
    expect(ovotest::join(sink.labels), "shot.tif; scene.rib");

    // Without a viewer "shot.tif" is a TIFF file and the twin of a file adds nothing; the hint
    // comes once. The death test holds standard error: the hint goes to a file of its own here.
    std::string calls;
    const std::string hint = ovotest::capturedOutput(
        STDERR_FILENO, [&] { calls = runThroughCommand(TwoFrames + TwoFrames, nullptr); });
    const std::string frames = Exposure + "Output(shot.tif tiff rgb camera); " + Frame +
                               "Render(-); Output(shot.tif null rgba camera); " + Exposure +
                               "Output(a.png png rgba camera); " + Frame + "Render(-)";
    expect(calls, frames + "; Output(a.png null rgba camera); " + frames);
    expect(hint,
           "ovo: framebuffer display \"shot.tif\" is written to a file; ovo --view shows it "
           "live in a browser\n");
    return failures;
}

}  // namespace

// The format is registered for the whole process, so this runs in a child of its own: a fresh
// process rather than a fork, as the libraries' threads may hold locks at fork time.
TEST(OvoView, FramebufferDisplaysWithAndWithoutAViewer) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ovo::viewer::registerFramebufferFormat(nullptr);
            const std::string failures = framebufferDisplays();
            std::fprintf(stderr, "%s", failures.c_str());
            std::exit(failures.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
