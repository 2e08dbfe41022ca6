// The ovo command: its options, its progress line, and the wrapper that puts the command
// line's settings in place of the scene's, driven through the real rib plugin.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "apps/ovo/command_line.h"
#include "apps/ovo/override_renderer.h"
#include "apps/ovo/progress.h"
#include "tests/rib/recorder.h"

using namespace ovo::app;
using ovotest::Recorder;
using Calls = std::vector<std::string>;

TEST(OvoCommand, ParsesOptionsAndRejectsBadUsage) {
    CommandLine c;
    std::string error;
    ASSERT_TRUE(
        parseCommandLine({"-o",  "x.png",      "-t",      "3",     "--crop", "0.1",       "0.9",
                          "0.2", "0.8",        "--res",   "320",   "240",    "--samples", "4",
                          "-v",  "--progress", "--stats", "a.rib", "-",      "b.rib"},
                         c, error))
        << error;
    EXPECT_EQ(c.files, (std::vector<std::string>{"a.rib", "-", "b.rib"}));
    EXPECT_EQ(c.output, "x.png");
    EXPECT_TRUE(c.hasThreads);
    EXPECT_EQ(c.threads, 3);
    EXPECT_TRUE(c.hasCrop);
    EXPECT_FLOAT_EQ(c.crop[3], 0.8f);
    EXPECT_EQ(c.resolution[0], 320);
    EXPECT_EQ(c.resolution[1], 240);
    EXPECT_EQ(c.samples, 4);
    EXPECT_EQ(c.verbosity, 2);
    EXPECT_TRUE(c.progress && c.stats);
    ASSERT_TRUE(parseCommandLine({"--threads", "-1", "-q", "s.rib"}, c, error));
    EXPECT_EQ(c.threads, -1);
    EXPECT_EQ(c.verbosity, 0);
    ASSERT_TRUE(parseCommandLine({"--version"}, c, error));
    EXPECT_TRUE(c.version);
    EXPECT_FALSE(c.hasThreads || c.hasCrop || c.hasResolution || c.hasVerbosity);

    struct Bad {
        std::vector<std::string> args;
        std::string error;
    };
    const Bad bad[] = {
        {{}, "no scene file given"},
        {{"-o"}, "-o needs 1 value"},
        {{"--res", "10", "a.rib"}, "--res: bad size \"a.rib\""},
        {{"--res", "0", "10", "a.rib"}, "--res: bad size \"0\""},
        {{"--crop", "0.5", "0.2", "0", "1", "a.rib"}, "--crop: the window is empty"},
        {{"--crop", "0", "2", "0", "1", "a.rib"}, "--crop: bad value \"2\""},
        {{"-t", "many", "a.rib"}, "-t: bad thread count \"many\""},
        {{"--samples", "0", "a.rib"}, "--samples: bad count \"0\""},
        {{"--fast", "a.rib"}, "unknown option --fast"},
    };
    for (const Bad& b : bad) {
        EXPECT_FALSE(parseCommandLine(b.args, c, error));
        EXPECT_EQ(error, b.error);
    }
}

TEST(OvoCommand, ProgressLineShowsElapsedAndRemainingTime) {
    EXPECT_EQ(progressLine(0.5, 12, 10), "[#####-----]  50%  0:12 elapsed  0:12 left");
    EXPECT_EQ(progressLine(0.25, 90, 8), "[##------]  25%  1:30 elapsed  4:30 left");
    EXPECT_EQ(progressLine(0, 3, 4), "[----]   0%  0:03 elapsed");
    EXPECT_EQ(progressLine(1, 3725, 4), "[####] 100%  1:02:05 elapsed");
    EXPECT_EQ(progressLine(7, -1, 2), "[##] 100%  0:00 elapsed");
}

namespace {
struct Scene {
    Scene() {
        char name[] = "/tmp/ovo-cmd-XXXXXX";
        dir = mkdtemp(name) ? name : "";
    }
    ~Scene() {
        std::string command = "rm -rf '" + dir + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
    }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    std::string dir;
};
}  // namespace

TEST(OvoCommand, CommandLineSettingsReplaceTheScenes) {
    ASSERT_TRUE(std::getenv("OVO_HOME")) << "the rib plugin is found through OVO_HOME";
    Scene scene;
    std::string file = scene.write(
        "scene.rib",
        "Format 640 480 1\nPixelSamples 2 2\nCropWindow 0 0.5 0 0.5\n"
        "Display \"a.tif\" \"file\" \"rgba\"\nDisplay \"+b.tif\" \"file\" \"rgb\"\n"
        "Option \"limits\" \"threads\" 8\nOption \"statistics\" \"endofframe\" 3\n"
        "WorldBegin\nWorldEnd\nDisplay \"a.tif\" \"null\" \"rgba\"\nWorldBegin\nWorldEnd\n");
    std::string other = scene.write("other.rib", "Display \"c.exr\" \"file\" \"rgba\"\n");
    scene.write("noext", "WorldBegin\nWorldEnd\n");
    scene.write("scene.xyz", "");

    CommandLine options;
    std::string error;
    ASSERT_TRUE(parseCommandLine({"-o", "out.png", "--res", "100", "50", "--samples", "3", "--crop",
                                  "0.25", "0.75", "0", "1", "-t", "2", "--stats", "x"},
                                 options, error));
    Recorder inner;
    OverrideRenderer wrapper(&inner, options);
    wrapper.applyDefaults();
    wrapper.Input(file.c_str());
    wrapper.Input(other.c_str());
    Calls expected = {
        "Attribute(int limits:threads: 2)",
        "Attribute(int statistics:level: 1)",
        "Attribute(int[2] resolution: 100 50)",
        "Attribute(int[2] spatialquality: 3 3)",
        "Attribute(float[4] crop: 0.25 0.75 0 1)",
        // The scene's own settings arrive rewritten.
        "Attribute(int[2] resolution: 100 50)",
        "Attribute(float pixelaspect: 1)",
        "Attribute(int[2] spatialquality: 3 3)",
        "Attribute(float[4] crop: 0.25 0.75 0 1)",
        "Attribute(int limits:threads: 2)",
        "Attribute(int statistics:level: 3)",
        "Parameter(float gain: 1)",
        "Parameter(float gamma: 1)",
        "Output(out.png png rgba camera)",  // the first display goes to -o's file
        "Parameter(float gain: 1)",
        "Parameter(float gamma: 1)",
        "Output(b.tif tiff rgb camera)",
        "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)",
        "Camera(camera)",
        "World()",
        "Render(-)",
        // A "null" display without "+" removes every display, -o's file among them.
        "Output(out.png null rgba camera)",
        "Output(b.tif null rgba camera)",
        "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)",
        "Camera(camera)",
        "World()",
        "Render(-)",
    };
    EXPECT_EQ(inner.calls, expected);
    EXPECT_TRUE(inner.messages.empty()) << testing::PrintToString(inner.diagnostics());

    // Files the command cannot read.
    inner.clear();
    wrapper.Input((scene.dir + "/missing.rib").c_str());
    wrapper.Input((scene.dir + "/noext").c_str());
    wrapper.Input((scene.dir + "/scene.xyz").c_str());
    EXPECT_EQ(inner.diagnostics(),
              (Calls{"E: Input (\"" + scene.dir + "/missing.rib\") --\n\tNo file found",
                     "E: Input (\"" + scene.dir +
                         "/noext\") -- no extension\n\tCannot guess file type without extension",
                     "E: Input: no support for file type ( xyz )"}));
    EXPECT_TRUE(inner.calls.empty());

    // A generator named first runs on its arguments: "rib <file>".
    inner.clear();
    wrapper.Input(("rib " + file).c_str());
    EXPECT_EQ(inner.only({"Render"}).size(), 2u);
}
