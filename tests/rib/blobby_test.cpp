// Blobby: the code, floats and strings reach the blobby shape with the per-leaf variables, and
// code that does not fit its arrays is reported with the file, the line and the reason.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

Calls inWorld(Recorder& r, const std::string& body) {
    r.clear();
    r.read("WorldBegin\n" + body + "\nWorldEnd\n");
    Calls out;
    bool in = false;
    for (const std::string& c : r.calls) {
        if (c == "Render(-)") in = false;
        if (in) out.push_back(c);
        if (c == "World()") in = true;
    }
    return out;
}

const std::string Sphere = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";

TEST(RibBlobby, SendsItsCodeToTheBlobbyShape) {
    Recorder r;
    Calls calls = inWorld(r, "Blobby 2 [1001 0 1003 0 16 0 2 0 1] [" + Sphere +
                                 " 1 0.1 0 0] [\"flat.zfile\"] \"vertex color Cs\" [1 0 0 0 0 1]");
    Calls expected = {
        // The interface does not pass a per-leaf array's length: the recorder shows one value.
        "Parameter(vertex color C: 1 0 0)",
        "Parameter(int[9] code: 1001 0 1003 0 16 0 2 0 1)",
        "Parameter(int nleaf: 2)",
        "Parameter(float[20] floats: " + Sphere + " 1 0.1 0 0)",
        "Parameter(string[1] strings: flat.zfile)",
        "Shape(blobby)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());

    // A leaf count may leave field plugins out; per-leaf matrices are dropped with a warning.
    calls = inWorld(r, "Blobby 1 [1001 0 9000 1 0 0 2 0 1] [" + Sphere +
                           "] [\"dbo_plane\"] \"vertex mpoint Pref\" [" + Sphere + "]");
    expected = {
        "Parameter(int[9] code: 1001 0 9000 1 0 0 2 0 1)",
        "Parameter(int nleaf: 1)",
        "Parameter(float[16] floats: " + Sphere + ")",
        "Parameter(string[1] strings: dbo_plane)",
        "Shape(blobby)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(r.diagnostics(), Calls({"W: test.rib:2: Blobby: \"mpoint\" variables are not "
                                      "supported; \"vertex mpoint Pref\" is ignored"}));
}

TEST(RibBlobby, CodeThatDoesNotFitItsArraysIsReported) {
    Recorder r;
    const std::string floats = " [" + Sphere + "] [\"\"]";
    Calls calls =
        inWorld(r,
                "Blobby 1 [1001 0 12]" + floats + "\n" +           // line 2
                    "Blobby 1 [1001 4]" + floats + "\n" +          // line 3
                    "Blobby 2 [1001 0 0 2 0 1]" + floats + "\n" +  // line 4
                    "Blobby 1 [1001 0 4 0]" + floats + "\n" +      // line 5
                    "Blobby 2 [1001 0]" + floats + "\n" +          // line 6
                    "Blobby 1 [1003 1 0]" + floats + "\n" +        // line 7
                    "Blobby 1 [1001 0 0 0]" + floats + "\n" +      // line 8
                    "Blobby 1 [1001 0] [1 2]\n" +                  // line 9
                    "Blobby 2 [1001 0 1001 0 0 2 0 1]" + floats + " \"vertex color Cs\" [1 0 0]");
    EXPECT_TRUE(calls.empty()) << testing::PrintToString(calls);
    Calls diagnostics = {
        "E: test.rib:2: Blobby: unknown opcode 12 at code position 2. Skipping ...",
        "E: test.rib:3: Blobby: the element at code position 0 needs floats 4 to 19 of 16. "
        "Skipping ...",
        "E: test.rib:4: Blobby: opcode 0 at code position 2 refers to instruction 1, which is not "
        "before it. Skipping ...",
        "E: test.rib:5: Blobby: opcode 4 at code position 2 lacks its operands. Skipping ...",
        "E: test.rib:6: Blobby: nleaf is 2 but the code makes 1 leaves. Skipping ...",
        "E: test.rib:7: Blobby: the plane at code position 0 names string 1 of 1. Skipping ...",
        "E: test.rib:8: Blobby: opcode 0 at code position 2 needs a count of at least 1. "
        "Skipping ...",
        "E: test.rib:9: Blobby: missing argument 4. Skipping ...",
        "E: test.rib:10: Blobby: parameter \"Cs\" needs 6 values, got 3. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

}  // namespace
