// What the patch, curve and subdivision requests tell their shapes beyond the interface's
// arguments: a v basis of its own, steps other than the usual ones, face-varying names.
#include <gtest/gtest.h>

#include "tests/rib/helpers.h"
#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

// The calls between World() and Render of a world holding `body`.
Calls inWorld(Recorder& r, const std::string& body) {
    r.clear();
    r.read("WorldBegin\n" + body + "\nWorldEnd\n");
    Calls out;
    bool in = false;
    for (const std::string& c : r.calls) {
        if (c == "Render(-)") in = false;
        if (in && c.compare(0, 15, "Parameter(verte") != 0) out.push_back(c);
        if (c == "World()") in = true;
    }
    return out;
}

std::string zeros(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += i ? " 0" : "0";
    return s;
}

TEST(RibGeometryBases, StepsAndBasesReachTheShapes) {
    const struct {
        std::string rib;
        Calls calls;
    } cases[] = {
        // The usual steps say nothing.
        {"Basis \"bspline\" 1 \"bspline\" 1\nPatchMesh \"bicubic\" 5 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [" +
             zeros(60) + "]",
         {"Patch(bspline 5 4)"}},
        // A step of 2 for B-splines along u: 4 + 2 points make two patches.
        {"Basis \"bspline\" 2 \"bezier\" 3\nPatchMesh \"bicubic\" 6 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [" +
             zeros(72) + "]",
         {"Parameter(string vbasis: bezier)", "Parameter(int ustep: 2)", "Patch(bspline 6 4)"}},
        // Periodic with a step of 4 or more repeats nothing.
        {"Basis \"power\" 4 \"power\" 4\nPatchMesh \"bicubic\" 8 \"periodic\" 4 \"nonperiodic\" "
         "\"P\" [" +
             zeros(96) + "]",
         {"Patch(power 8 4)"}},
        // Curves take the v basis and step.
        {"Basis \"bezier\" 3 \"catmull-rom\" 2\nCurves \"cubic\" [6] \"nonperiodic\" \"P\" [" +
             zeros(18) + "]",
         {"Parameter(int vstep: 2)", "Curves(catmull-rom 1 [6])"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rib);
        Recorder r;
        EXPECT_EQ(inWorld(r, c.rib), c.calls);
        EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());
    }
}

TEST(RibGeometryBases, SubdivisionMeshesNameTheirFaceVaryingData) {
    Recorder r;
    Calls calls = inWorld(r, "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [" + zeros(12) +
                                 "] \"facevarying float s\" [0 1 2 3] \"facevarying color Cs\" [" +
                                 zeros(12) +
                                 "] \"varying float t\" [0 1 2 3]\n"
                                 "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [" +
                                 zeros(12) + "]");
    const Calls expected = {
        "Parameter(linear float s: 0 1 2 3)",  "Parameter(linear color C: " + zeros(12) + ")",
        "Parameter(linear float t: 0 1 2 3)",  "Parameter(string[2] facevarying: s C)",
        "Mesh(catmull-clark 1 [4] [0 1 2 3])",
        "Mesh(catmull-clark 1 [4] [0 1 2 3])",  // no list when there is none
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());
}

}  // namespace
