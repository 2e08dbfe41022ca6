// Procedural: archives read in place and helper programs asked for RIB, each in an attribute
// block of its own.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

using ovotest::Recorder;
using ovotest::ScratchDir;

namespace {

// A helper program: answers each "detail data" line with a sphere of radius `data` and the
// count of requests it has answered, so a test sees that one process serves them all.
const char* const Answerer =
    "n=0\nwhile read detail data; do n=$((n+1)); "
    "printf 'Sphere %s -1 1 360 # %s\\n' \"$data\" \"$n\"; "
    "printf 'Translate %s 0 0\\n' \"$n\"; printf '\\377'; done\n";

}  // namespace

TEST(RibProcedural, ArchivesAndProgramsAnswerInTheirOwnBlocksAndBadOnesAreReported) {
    ScratchDir dir;
    dir.write("part.rib", "Color [1 0 0]\nSphere 1 -1 1 360\n");
    dir.write("answer.sh", Answerer);
    dir.write("quits.sh", "read line; echo 'Sphere 4 -1 1 360'\n");
    Recorder r;
    r.read(
        "WorldBegin\n"
        "Procedural \"DelayedReadArchive\" [\"part.rib\"] [-1 1 -1 1 -1 1]\n"
        "Procedural \"RunProgram\" [\"sh answer.sh\" \"2\"] [-2 2 -2 2 -2 2]\n"
        "Procedural \"RunProgram\" [\"sh answer.sh\" \"3\"] [-3 3 -3 3 -3 3]\n"
        "Procedural \"RunProgram\" [\"sh quits.sh\" \"\"] [0 1 0 1 0 1]\n"
        "Procedural \"RunProgram\" [\"sh quits.sh\"] [0 1 0 1 0 1]\n"
        "Procedural \"DelayedReadArchive\" [\"none.rib\"] [0 1 0 1]\n"
        "Procedural \"Teapots\" [] [0 1 0 1 0 1]\n"
        "Procedural \"DelayedReadArchive\" [\"none.rib\"] [0 1 0 1 0 1]\n"
        "WorldEnd\n",
        dir / "scene.rib");
    // What a program wrote before it quit is still read; an archive not found leaves its block
    // empty.
    EXPECT_EQ(
        ovotest::replaced(r.all({"Push", "Pop", "Sphere", "Translate", "Attribute("}), dir.path,
                          "DIR"),
        "PushAttributes(); Attribute(color C: 1 0 0); Sphere(1 -1 1 360); PopAttributes(); "
        "PushAttributes(); Sphere(2 -1 1 360); Translate(1 0 0); PopAttributes(); "
        "PushAttributes(); Sphere(3 -1 1 360); Translate(2 0 0); PopAttributes(); "
        "PushAttributes(); Sphere(4 -1 1 360); PopAttributes(); PushAttributes(); PopAttributes(); "
        "E: DIR/scene.rib:5: Procedural: program \"sh quits.sh\": the program ended before the "
        "end of its output. Skipping ...; E: DIR/scene.rib:6: Procedural: \"RunProgram\" needs 2 "
        "arguments. Skipping ...; E: DIR/scene.rib:7: Procedural: the bound needs 6 numbers, got "
        "4. Skipping ...; E: DIR/scene.rib:8: Procedural: unknown procedural \"Teapots\". "
        "Skipping ...; E: DIR/scene.rib:9: Procedural: cannot find archive \"none.rib\". "
        "Skipping ...");
}
