// The ovo command's exit status and what reaches the terminal: a table of small scenes, each
// run through the command, with the status, the messages and the files it must give.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/common/test_util.h"

namespace ovotest {
namespace {

const char* const Camera = "Format 16 12 1\nProjection \"orthographic\"\n";
const char* const Ball =
    "WorldBegin\nTranslate 0 0 5\nSurface \"constant\"\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n";

struct ExitCase {
    const char* what;
    std::string rib;   // written to scene.rib
    const char* args;  // before the scene's name
    int status;
    const char* stderrHas;  // a text stderr holds `count` times ("" for an empty stderr)
    std::size_t count;
    const char* stdoutHas;  // a text stdout holds ("" for an empty stdout)
    const char* made;       // a file the run writes ("" for none)
    const char* notMade;    // a file it must not write ("" for none)
};

}  // namespace
}  // namespace ovotest

using namespace ovotest;

TEST(OvoExitStatus, StatusMessagesAndFilesOfEachRun) {
    const ExitCase cases[] = {
        {"a clean frame", std::string("Display \"a.png\" \"file\" \"rgba\"\n") + Camera + Ball, "",
         0, "", 0, "", "a.png", "ovo.png"},
        {"statistics only when asked", std::string(Camera) + Ball, "--stats -o b.png", 0, "", 0,
         "OpenImageIO ImageCache statistics", "b.png", ""},
        {"-v shows the notes and the statistics", std::string("Hider \"hidden\"\n") + Camera + Ball,
         "-v -o c.png", 0, "", 0, "Hider \"hidden\" changes nothing in a ray tracer", "c.png", ""},
        {"-o names the image of a scene without a display", std::string(Camera) + Ball, "-o d.tif",
         0, "", 0, "", "d.tif", "ovo.png"},
        {"what changes nothing is quiet",
         std::string("Hider \"hidden\" \"jitter\" 0\nShadingInterpolation \"smooth\"\n"
                     "Option \"limits\" \"eyesplits\" 10\n") +
             Camera +
             "WorldBegin\nGeometricApproximation \"flatness\" 1\n"
             "Attribute \"displacementbound\" \"sphere\" 0.1\nSphere 1 -1 1 360\nWorldEnd\n",
         "-o e.png", 0, "", 0, "", "e.png", ""},
        {"a missing shader names the file, the line and the path, once",
         std::string(Camera) +
             "WorldBegin\nSurface \"nosuch\"\nSphere 1 -1 1 360\nSurface \"nosuch\"\n"
             "Sphere 1 -1 1 360\nWorldEnd\n",
         "-o g.png", 1, "ERROR: scene.rib:4: Surface: shader \"nosuch\" not found (searched \"", 1,
         "", "g.png", ""},
        {"a missing light shader is told once, not again when switched",
         std::string(Camera) +
             "WorldBegin\nLightSource \"nolight\" 3\nIlluminate 3 0\nSphere 1 -1 1 360\n"
             "WorldEnd\n",
         "-o h.png", 1, "shader \"nolight\" not found", 1, "", "h.png", ""},
        {"an image that cannot be written", std::string(Camera) + Ball, "-o nofolder/k.png", 1,
         "cannot write", 1, "", "", ""},
        {"a texture that cannot be read is told once, and the frame is still written",
         std::string(Camera) +
             "WorldBegin\nTranslate 0 0 5\nSurface \"paintedplastic\" \"texturename\" "
             "\"nosuch.tex\"\nSphere 1 -1 1 360\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n",
         "-o m.png", 1, "ERROR: Cannot read the texture \"nosuch.tex\"", 1, "", "m.png", ""},
    };
    for (const ExitCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        dir.write("scene.rib", c.rib);
        const CommandResult r = runCommand("cd '" + dir.path + "' && " + OVO_BINARY_DIR +
                                           "/bin/ovo " + c.args + " scene.rib 2>err.txt");
        const std::string err = readText(dir / "err.txt");
        EXPECT_EQ(r.status, c.status) << err;
        if (*c.stderrHas)
            EXPECT_EQ(occurrences(err, c.stderrHas), c.count) << err;
        else
            EXPECT_EQ(err, "");
        if (*c.stdoutHas)
            EXPECT_NE(r.out.find(c.stdoutHas), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out, "");
        EXPECT_TRUE(!*c.made || std::filesystem::exists(dir / c.made)) << c.made;
        EXPECT_FALSE(*c.notMade && std::filesystem::exists(dir / c.notMade)) << c.notMade;
    }
}
