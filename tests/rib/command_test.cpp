// The ovo command: its options, its progress line, the wrapper that puts the command line's
// settings in place of the scene's (driven through the real rib plugin), and what it does with a
// scene's framebuffer displays with a viewer and without one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "apps/ovo/command_line.h"
#include "apps/ovo/override_renderer.h"
#include "apps/ovo/progress.h"
#include "core/plugins/search_path.h"
#include "tests/rib/recorder.h"
#include "tests/viewer/recording_sink.h"
#include "viewer/framebuffer_output.h"

using namespace ovo::app;

namespace {
// Every setting of a parsed command line: files, then each option and whether it was given,
// then the progress, statistics and version flags, then the viewer and its port.
std::string settings(const CommandLine& c) {
    return ovotest::join(c.files) + " -o " + c.output + " -t " + std::to_string(c.hasThreads) +
           "/" + std::to_string(c.threads) + " --crop " + std::to_string(c.hasCrop) + "/" +
           ovotest::join(c.crop, 4) + " --res " + std::to_string(c.hasResolution) + "/" +
           ovotest::join(c.resolution, 2) + " --samples " + std::to_string(c.samples) + " -v " +
           std::to_string(c.hasVerbosity) + "/" + std::to_string(c.verbosity) + " " +
           std::to_string(c.progress) + std::to_string(c.stats) + std::to_string(c.version) +
           " --view " + std::to_string(c.view) + "/" + std::to_string(c.viewPort);
}
}  // namespace

TEST(OvoCommand, ParsesOptionsAndRejectsBadUsage) {
    const std::pair<const char*, std::string> good[] = {
        {"-o x.png -t 3 --crop 0.1 0.9 0.2 0.8 --res 320 240 --samples 4 -v --progress --stats "
         "a.rib - b.rib --view-port 8123",
         "a.rib; -; b.rib -o x.png -t 1/3 --crop 1/0.1 0.9 0.2 0.8 --res 1/320 240 --samples 4 -v "
         "1/2 110 --view 1/8123"},
        {"--threads -1 -q s.rib",
         "s.rib -o  -t 1/-1 --crop 0/0 1 0 1 --res 0/0 0 --samples 0 -v 1/0 000 --view 0/0"},
        {"--version --view --view-port 65535",
         " -o  -t 0/0 --crop 0/0 1 0 1 --res 0/0 0 --samples 0 -v 0/1 001 --view 1/65535"},
        {"--view a.rib",
         "a.rib -o  -t 0/0 --crop 0/0 1 0 1 --res 0/0 0 --samples 0 -v 0/1 000 --view 1/0"},
        {"--view-port 0 a.rib", "--view-port: bad port \"0\""},
        {"--view-port 65536 a.rib", "--view-port: bad port \"65536\""},
        {"a.rib --view-port", "--view-port needs 1 value"},
        {"", "no scene file given"},
        {"-o", "-o needs 1 value"},
        {"--res 10 a.rib", "--res: bad size \"a.rib\""},
        {"--res 0 10 a.rib", "--res: bad size \"0\""},
        {"--crop 0.5 0.2 0 1 a.rib", "--crop: the window is empty"},
        {"--crop 0 2 0 1 a.rib", "--crop: bad value \"2\""},
        {"-t many a.rib", "-t: bad thread count \"many\""},
        {"--samples 0 a.rib", "--samples: bad count \"0\""},
        {"--fast a.rib", "unknown option --fast"},
    };
    for (const auto& g : good) {
        CommandLine c;
        std::string error;
        const bool parsed = parseCommandLine(ovo::splitInputWords(g.first), c, error);
        EXPECT_EQ(parsed ? settings(c) : error, g.second) << g.first;
    }
    EXPECT_NE(std::string(usageText()).find("--view-port N"), std::string::npos);
}

TEST(OvoCommand, ProgressLineShowsElapsedAndRemainingTime) {
    EXPECT_EQ(progressLine(0.5, 12, 10), "[#####-----]  50%  0:12 elapsed  0:12 left");
    EXPECT_EQ(progressLine(0.25, 90, 8), "[##------]  25%  1:30 elapsed  4:30 left");
    EXPECT_EQ(progressLine(0, 3, 4), "[----]   0%  0:03 elapsed");
    EXPECT_EQ(progressLine(1, 3725, 4), "[####] 100%  1:02:05 elapsed");
    EXPECT_EQ(progressLine(7, -1, 2), "[##] 100%  0:00 elapsed");
}

TEST(OvoCommand, CommandLineSettingsReplaceTheScenes) {
    ASSERT_TRUE(std::getenv("OVO_HOME")) << "the rib plugin is found through OVO_HOME";
    ovotest::ScratchDir dir;
    dir.write("scene.rib",
              "Format 640 480 1\nPixelSamples 2 2\nCropWindow 0 0.5 0 0.5\n"
              "Display \"a.tif\" \"file\" \"rgba\"\nDisplay \"+b.tif\" \"file\" \"rgb\"\n"
              "Option \"limits\" \"threads\" 8\nOption \"statistics\" \"endofframe\" 3\n"
              "WorldBegin\nWorldEnd\nDisplay \"a.tif\" \"null\" \"rgba\"\nWorldBegin\nWorldEnd\n");
    dir.write("other.rib", "Display \"c.exr\" \"file\" \"rgba\"\n");
    dir.write("noext", "WorldBegin\nWorldEnd\n");
    dir.write("scene.xyz", "");

    CommandLine options;
    std::string error;
    ASSERT_TRUE(parseCommandLine({"-o", "out.png", "--res", "100", "50", "--samples", "3", "--crop",
                                  "0.25", "0.75", "0", "1", "-t", "2", "--stats", "x"},
                                 options, error));
    ovotest::Recorder inner;
    OverrideRenderer wrapper(&inner, options);
    wrapper.applyDefaults();
    for (const char* file : {"scene.rib", "other.rib"}) wrapper.Input((dir / file).c_str());
    const std::string
        settings =
            "Attribute(int[2] resolution: 100 50); Attribute(float pixelaspect: 1); "
            "Attribute(int[2] spatialquality: 3 3); Attribute(float[4] crop: 0.25 0.75 0 1); "
            "Attribute(int limits:threads: 2); Attribute(int statistics:level: 3); ",
        exposure = "Parameter(float gain: 1); Parameter(float gamma: 1); ",
        frame = "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1); Camera(camera); World(); Render(-)";
    // The scene's own settings arrive rewritten; the first display goes to -o's file; a "null"
    // display without "+" removes every display, -o's file among them.
    EXPECT_EQ(inner.all(),
              "Attribute(int limits:threads: 2); Attribute(int statistics:level: 1); "
              "Attribute(int[2] resolution: 100 50); Attribute(int[2] spatialquality: 3 3); "
              "Attribute(float[4] crop: 0.25 0.75 0 1); " +
                  settings + exposure + "Output(out.png png rgba camera); " + exposure +
                  "Output(b.tif tiff rgb camera); " + frame +
                  "; Output(out.png null rgba camera); Output(b.tif null rgba camera); " + frame);

    // Files the command cannot read.
    inner.clear();
    for (const char* file : {"missing.rib", "noext", "scene.xyz"})
        wrapper.Input((dir / file).c_str());
    EXPECT_EQ(inner.all(), "E: Input (\"" + dir.path +
                               "/missing.rib\") --\n\tNo file found; E: Input (\"" + dir.path +
                               "/noext\") -- no extension\n\tCannot guess file type without "
                               "extension; E: Input: no support for file type ( xyz )");

    // A generator named first runs on its arguments: "rib <file>".
    inner.clear();
    wrapper.Input(("rib " + dir / "scene.rib").c_str());
    EXPECT_EQ(std::count(inner.calls.begin(), inner.calls.end(), "Render(-)"), 2);
}

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
