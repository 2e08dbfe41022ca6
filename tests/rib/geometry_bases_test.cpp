// What the patch, curve and subdivision requests tell their shapes beyond the interface's
// arguments: a v basis of its own, steps other than the usual ones, face-varying names.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

TEST(RibGeometryBases, StepsBasesAndFaceVaryingNamesReachTheShapes) {
    ovotest::expectRows({
        // The usual steps say nothing.
        {"Basis \"bspline\" 1 \"bspline\" 1\nPatchMesh \"bicubic\" 5 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [$60]",
         "Parameter(vertex point P: $60); Patch(bspline 5 4)"},
        // A step of 2 for B-splines along u: 4 + 2 points make two patches.
        {"Basis \"bspline\" 2 \"bezier\" 3\nPatchMesh \"bicubic\" 6 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [$72]",
         "Parameter(vertex point P: $72); Parameter(string vbasis: bezier); Parameter(int ustep: "
         "2); Patch(bspline 6 4)"},
        // Periodic with a step of 4 or more repeats nothing.
        {"Basis \"power\" 4 \"power\" 4\nPatchMesh \"bicubic\" 8 \"periodic\" 4 \"nonperiodic\" "
         "\"P\" [$96]",
         "Parameter(vertex point P: $96); Patch(power 8 4)"},
        // Curves take the v basis and step.
        {"Basis \"bezier\" 3 \"catmull-rom\" 2\nCurves \"cubic\" [6] \"nonperiodic\" \"P\" [$18]",
         "Parameter(vertex point P: $18); Parameter(int vstep: 2); Curves(catmull-rom 1 [6])"},
        // Face-varying variables are named; no list when there is none.
        {"SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [$12] \"facevarying float s\" "
         "[$4] \"facevarying color Cs\" [$12] \"varying float t\" [$4]\n"
         "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [$12]",
         "Parameter(vertex point P: $12); Parameter(linear float s: $4); Parameter(linear color "
         "C: $12); Parameter(linear float t: $4); Parameter(string[2] facevarying: s C); "
         "Mesh(catmull-clark 1 [4] [0 1 2 3]); Parameter(vertex point P: $12); "
         "Mesh(catmull-clark 1 [4] [0 1 2 3])"},
    });
}
