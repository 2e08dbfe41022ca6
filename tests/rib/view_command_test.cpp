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
    ovo::rib::Reader reader(&wrapper);
    reader.readMemory("scene.rib", rib.data(), rib.size());
    reader.finish();
    return inner.all();
}

// The format is registered for the whole process, so each case runs in a child of its own.
void expectInChild(const std::function<std::string()>& check) {
    // A fresh process rather than a fork: the libraries' threads may hold locks at fork time.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ovo::viewer::registerFramebufferFormat(nullptr);
            const std::string failure = check();
            std::fprintf(stderr, "%s", failure.c_str());
            std::exit(failure.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

std::string differs(const std::string& got, const std::string& expected) {
    return got == expected ? "" : "\ngot:      " + got + "\nexpected: " + expected + "\n";
}

const std::string TwoFrames =
    "Display \"shot.tif\" \"framebuffer\" \"rgb\"\nWorldBegin\nWorldEnd\n"
    "Display \"a.png\" \"file\" \"rgba\"\nDisplay \"+a.png\" \"framebuffer\" \"rgba\"\n"
    "WorldBegin\nWorldEnd\n";
const std::string Exposure = "Parameter(float gain: 1); Parameter(float gamma: 1); ";
const std::string Frame =
    "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1); Camera(camera); World(); ";

}  // namespace

TEST(OvoView, FramebufferDisplaysNameTheViewersFrames) {
    expectInChild([] {
        ovotest::RecordingSink sink;
        const std::string calls = runThroughCommand(TwoFrames, &sink);
        // Every frame gets the viewer's colour and depth outputs for its render only; the
        // framebuffer display writes no file and names the frame; the file display stays.
        const std::string view =
            "Output(ovo:view framebuffer rgba camera); Output(ovo:view:z framebuffer z camera); "
            "Render(-); Output(ovo:view null rgba camera); Output(ovo:view:z null z camera)";
        return differs(calls, Exposure + "Output(shot.tif null rgb camera); " + Frame + view +
                                  "; Output(shot.tif null rgba camera); " + Exposure +
                                  "Output(a.png png rgba camera); " + Frame + view) +
               differs(ovotest::join(sink.labels), "shot.tif; scene.rib");
    });
}

TEST(OvoView, WithoutAViewerFramebufferDisplaysAreWrittenToTheirFiles) {
    expectInChild([] {
        // The death test holds standard error: the hint goes to a file of its own here.
        std::string calls;
        const std::string hint = ovotest::capturedOutput(
            STDERR_FILENO, [&] { calls = runThroughCommand(TwoFrames + TwoFrames, nullptr); });
        // As before the viewer existed: "shot.tif" is a TIFF file and the twin of a file adds
        // nothing; the hint comes once.
        const std::string frames = Exposure + "Output(shot.tif tiff rgb camera); " + Frame +
                                   "Render(-); Output(shot.tif null rgba camera); " + Exposure +
                                   "Output(a.png png rgba camera); " + Frame + "Render(-)";
        return differs(calls, frames + "; Output(a.png null rgba camera); " + frames) +
               differs(hint,
                       "ovo: framebuffer display \"shot.tif\" is written to a file; ovo --view "
                       "shows it live in a browser\n");
    });
}
