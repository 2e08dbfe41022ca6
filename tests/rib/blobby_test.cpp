// Blobby: the code, floats and strings reach the blobby shape with the per-leaf variables, and
// code that does not fit its arrays is reported with the file, the line and the reason.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

namespace {
const std::string Sphere = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
}

TEST(RibBlobby, SendsItsCodeToTheBlobbyShape) {
    ovotest::expectRows({
        // The interface does not pass a per-leaf array's length: the recorder shows one value.
        {"Blobby 2 [1001 0 1003 0 16 0 2 0 1] [" + Sphere +
             " 1 0.1 0 0] [\"flat.zfile\"] \"vertex color Cs\" [1 0 0 0 0 1]",
         "Parameter(vertex color C: 1 0 0); Parameter(int[9] code: 1001 0 1003 0 16 0 2 0 1); "
         "Parameter(int nleaf: 2); Parameter(float[20] floats: " +
             Sphere + " 1 0.1 0 0); Parameter(string[1] strings: flat.zfile); Shape(blobby)"},
        // A leaf count may leave field plugins out; per-leaf "mpoint" matrices go as matrices.
        {"Blobby 1 [1001 0 9000 1 0 0 2 0 1] [" + Sphere +
             "] [\"dbo_plane\"] \"vertex mpoint Pref\" [" + Sphere + "]",
         "Parameter(vertex matrix Pref: " + Sphere +
             "); Parameter(int[9] code: 1001 0 9000 1 0 0 2 0 1); Parameter(int nleaf: 1); "
             "Parameter(float[16] floats: " +
             Sphere + "); Parameter(string[1] strings: dbo_plane); Shape(blobby)"},
    });
}

TEST(RibBlobby, CodeThatDoesNotFitItsArraysIsReported) {
    const std::string floats = " [" + Sphere + "] [\"\"]";
    ovotest::Recorder r;
    EXPECT_EQ(
        r.world("Blobby 1 [1001 0 12]" + floats + "\nBlobby 1 [1001 4]" + floats +
                "\nBlobby 2 [1001 0 0 2 0 1]" + floats + "\nBlobby 1 [1001 0 4 0]" + floats +
                "\nBlobby 2 [1001 0]" + floats + "\nBlobby 1 [1003 1 0]" + floats +
                "\nBlobby 1 [1001 0 0 0]" + floats +
                "\nBlobby 1 [1001 0] [1 2]\nBlobby 2 [1001 0 1001 0 0 2 0 1]" + floats +
                " \"vertex color Cs\" [1 0 0]"),
        "E: test.rib:2: Blobby: unknown opcode 12 at code position 2. Skipping ...; E: test.rib:3: "
        "Blobby: the element at code position 0 needs floats 4 to 19 of 16. Skipping ...; E: "
        "test.rib:4: Blobby: opcode 0 at code position 2 refers to instruction 1, which is not "
        "before it. Skipping ...; E: test.rib:5: Blobby: opcode 4 at code position 2 lacks its "
        "operands. Skipping ...; E: test.rib:6: Blobby: nleaf is 2 but the code makes 1 leaves. "
        "Skipping ...; E: test.rib:7: Blobby: the plane at code position 0 names string 1 of 1. "
        "Skipping ...; E: test.rib:8: Blobby: opcode 0 at code position 2 needs a count of at "
        "least 1. Skipping ...; E: test.rib:9: Blobby: missing argument 4. Skipping ...; E: "
        "test.rib:10: Blobby: parameter \"Cs\" needs 6 values, got 3. Skipping ...");
}
