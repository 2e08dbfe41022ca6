// Geometry requests: the calls they make, the parameters they pass and the counts they check.
#include <gtest/gtest.h>

#include "tests/rib/helpers.h"
#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

// Reads the requests inside a world block; returns the calls between World() and Render.
Calls world(Recorder& r, const std::string& body) {
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

std::string sequence(int from, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += (i ? " " : "") + std::to_string(from + i);
    return s;
}

}  // namespace

TEST(RibGeometry, Quadrics) {
    Recorder r;
    Calls calls = world(r,
                        "Sphere 1 -1 1 360 \"Cs\" [1 0 0 0 1 0 0 0 1 1 1 1]\nCone 2 1 360\n"
                        "Cylinder 1 -1 1 180\nDisk 0.5 2 360\nHyperboloid 1 0 0 0 1 2 360\n"
                        "Paraboloid 1 0 2 360\nTorus 2 0.5 0 360 360\n"
                        "Sphere 1 -1 1 360 \"uniform float Kd\" [0.25] \"float[2] uv\" [3 4]");
    Calls expected = {
        "Parameter(linear color C: 1 0 0 0 1 0 0 0 1 1 1 1)",
        "Sphere(1 -1 1 360)",
        "Cone(2 1 360)",
        "Cylinder(1 -1 1 180)",
        "Disk(0.5 0 2 360)",
        "Hyperboloid(1 0 0 0 1 2 360)",
        "Paraboloid(1 0 2 360)",
        "Torus(2 0.5 0 360 360)",
        "Parameter(perpiece float Kd: 0.25)",
        "Parameter(float[2] uv: 3 4)",
        "Sphere(1 -1 1 360)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());
}

TEST(RibGeometry, PolygonsAndMeshes) {
    Recorder r;
    Calls calls = world(
        r,
        "Polygon \"P\" [0 0 0 1 0 0 1 1 0] \"Os\" [1 1 1 1 1 1 .5 .5 .5] \"uniform float Kd\" "
        "[0.5] \"st\" [0 0 1 0 1 1]\n"
        "GeneralPolygon [4 3] \"P\" [" +
            sequence(0, 21) +
            "]\n"
            "PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [" +
            sequence(0, 12) +
            "] \"uniform color Cs\" [1 0 0 0 1 0]\n"
            "PointsGeneralPolygons [2] [4 3] [0 1 2 3 4 5 6] \"P\" [" +
            sequence(0, 21) + "]\nPointsPolygons [] [] \"P\" []\nPolygon \"Pw\" [" +
            sequence(0, 12) + "]");
    Calls expected = {
        "Parameter(vertex point P: 0 0 0 1 0 0 1 1 0)",
        "Parameter(linear color opacity: 1 1 1 1 1 1 0.5 0.5 0.5)",
        "Parameter(perpiece float Kd: 0.5)",
        "Parameter(linear float[2] st: 0 0 1 0 1 1)",
        "Polygon(3)",
        "Parameter(vertex point P: " + sequence(0, 21) + ")",
        "Polygon(2 [4 3])",
        "Parameter(vertex point P: " + sequence(0, 12) + ")",
        "Parameter(perpiece color C: 1 0 0 0 1 0)",
        "Mesh(linear 2 [3 3] [0 1 2 2 1 3])",
        "Parameter(vertex point P: " + sequence(0, 21) + ")",
        "Mesh(linear 1 [2] [4 3] [0 1 2 3 4 5 6])",
        "Parameter(vertex hpoint Pw: " + sequence(0, 12) + ")",
        "Polygon(3)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());

    // Every count is checked before the renderer is called.
    calls = world(r,
                  "PointsPolygons [3 3] [0 1 2 2 1] \"P\" [0 0 0]\n"
                  "PointsPolygons [3] [0 1 5] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                  "PointsPolygons [3] [0 -1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                  "PointsPolygons [2] [0 1] \"P\" [0 0 0 1 0 0]\n"
                  "PointsPolygons [3] [0 1 2] \"N\" [0 0 1 0 0 1 0 0 1]\n"
                  "PointsPolygons [3] [0 1.5 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                  "PointsGeneralPolygons [2] [3] [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
                  "PointsPolygons [3] [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0] \"facevarying float s\" [1 "
                  "2]\nGeneralPolygon [3 2] \"P\" [0 0 0 1 0 0 0 1 0 1 1 1 2 2 2]\n"
                  "Polygon \"Cs\" [1 1 1]\nPolygon \"P\" [0 0 0 1 0 0 1 1 0] \"N\" [0 0 1]");
    EXPECT_TRUE(calls.empty()) << testing::PrintToString(calls);
    Calls diagnostics = {
        "E: test.rib:2: PointsPolygons: expected 6 vertex indices, got 5. Skipping ...",
        "E: test.rib:3: PointsPolygons: parameter \"P\" needs 18 values, got 9. Skipping ...",
        "E: test.rib:4: PointsPolygons: bad vertex index. Skipping ...",
        "E: test.rib:5: PointsPolygons: every polygon needs at least 3 vertices. Skipping ...",
        "E: test.rib:6: PointsPolygons: missing \"P\". Skipping ...",
        "E: test.rib:7: PointsPolygons: argument 2 must be an array of integers, not an array of "
        "numbers. Skipping ...",
        "E: test.rib:8: PointsGeneralPolygons: expected 2 loop sizes, got 1. Skipping ...",
        "E: test.rib:9: PointsPolygons: parameter \"s\" needs 3 values, got 2. Skipping ...",
        "E: test.rib:10: GeneralPolygon: every loop needs at least 3 vertices. Skipping ...",
        "E: test.rib:11: Polygon: missing \"P\". Skipping ...",
        "E: test.rib:12: Polygon: parameter \"N\" needs 9 values, got 3. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibGeometry, SubdivisionMeshesPassTheirTags) {
    Recorder r;
    Calls calls = world(
        r,
        "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] [\"interpolateboundary\" \"crease\"] "
        "[0 0 2 1] [0 1] [2.5] \"P\" [" +
            sequence(0, 12) +
            "]\nSubdivisionMesh \"bilinear\" [3] [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
            "SubdivisionMesh \"loop\" [3] [0 1 2] \"P\" [0 0 0 1 0 0 0 1 0]\n"
            "SubdivisionMesh \"catmull-clark\" [3] [0 1 2] [\"crease\"] [2 0] [0] [] \"P\" [0 0 0 "
            "1 0 0 0 1 0]");
    Calls expected = {
        "Parameter(vertex point P: " + sequence(0, 12) + ")",
        "Parameter(string[2] tags: interpolateboundary crease)",
        "Parameter(int[4] nargs: 0 0 2 1)",
        "Parameter(int[2] intargs: 0 1)",
        "Parameter(float[1] floatargs: 2.5)",
        "Mesh(catmull-clark 1 [4] [0 1 2 3])",
        "Parameter(vertex point P: 0 0 0 1 0 0 0 1 0)",
        "Mesh(linear 1 [3] [0 1 2])",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(
        r.diagnostics(),
        (Calls{"W: test.rib:4: SubdivisionMesh scheme \"loop\" is not supported. Ignoring ...",
               "E: test.rib:5: SubdivisionMesh: the tag arguments do not match their counts. "
               "Skipping ..."}));
}

TEST(RibGeometry, PatchesUseTheCurrentBasis) {
    Recorder r;
    Calls calls = world(
        r, "Patch \"bilinear\" \"P\" [" + sequence(0, 12) +
               "]\nBasis \"bspline\" 1 \"b-spline\" 1\nPatch \"bicubic\" \"P\" [" +
               sequence(0, 48) +
               "]\nAttributeBegin\n"
               "Basis [-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0] 3 \"catmull-rom\" 1\n"
               "Patch \"bicubic\" \"Pz\" [" +
               sequence(0, 16) + "]\nAttributeEnd\nPatch \"bicubic\" \"Pz\" [" + sequence(0, 16) +
               "]\n"
               "PatchMesh \"bilinear\" 3 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [" +
               sequence(0, 18) +
               "]\n"
               "PatchMesh \"bilinear\" 3 \"periodic\" 2 \"nonperiodic\" \"P\" [" +
               sequence(0, 18) + "]");
    Calls expected = {
        "Parameter(vertex point P: " + sequence(0, 12) + ")",
        "Patch(linear 2 2)",
        "Parameter(vertex point P: " + sequence(0, 48) + ")",
        "Patch(bspline 4 4)",
        "PushAttributes()",
        "Parameter(vertex float Pz: " + sequence(0, 16) + ")",
        "Parameter(string vbasis: catmull-rom)",  // the matrix is Bezier's; v's basis differs
        "Patch(bezier 4 4)",
        "PopAttributes()",
        "Parameter(vertex float Pz: " + sequence(0, 16) + ")",
        "Patch(bspline 4 4)",  // the basis is an attribute: restored
        "Parameter(vertex point P: " + sequence(0, 18) + ")",
        "Patch(linear 3 2)",
        // A periodic direction repeats its first column: u0 u1 u2 u0 in each row.
        "Parameter(vertex point P: 0 1 2 3 4 5 6 7 8 0 1 2 9 10 11 12 13 14 15 16 17 9 10 11)",
        "Patch(linear 4 2)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());

    calls = world(
        r, "PatchMesh \"bicubic\" 6 \"periodic\" 4 \"nonperiodic\" \"P\" [" + sequence(0, 72) +
               "]\nPatchMesh \"bicubic\" 5 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [" +
               sequence(0, 60) + "]\nPatch \"trilinear\" \"P\" [0]\nPatch \"bicubic\" \"P\" [" +
               sequence(0, 47) + "]\nBasis \"bezier\" 2 \"nurbs\" 1");
    ASSERT_EQ(calls.size(), 2u) << testing::PrintToString(calls);
    EXPECT_EQ(calls[1], "Patch(bezier 7 4)");  // 2 periodic Bezier patches need 7 columns
    EXPECT_EQ(r.diagnostics(),
              (Calls{"E: test.rib:3: PatchMesh: bad number of vertices in u: 5. Skipping ...",
                     "E: test.rib:4: Patch: unknown patch type \"trilinear\". Skipping ...",
                     "E: test.rib:5: Patch: parameter \"P\" needs 48 values, got 47. Skipping ...",
                     "E: test.rib:6: Basis: unknown basis \"nurbs\". Skipping ..."}));
}

TEST(RibGeometry, NurbsTrimCurvesCurvesAndPoints) {
    Recorder r;
    Calls calls =
        world(r, "NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"Pw\" [" + sequence(0, 16) +
                     "]\n"
                     "TrimCurve [1] [2] [0 0 1 1] [0] [1] [2] [0 1] [0 0] [1 1]\n"
                     "Curves \"linear\" [2 3] \"nonperiodic\" \"P\" [" +
                     sequence(0, 15) +
                     "] \"constantwidth\" 0.1\n"
                     "Basis \"catmull-rom\" 1 \"catmull-rom\" 1\n"
                     "Curves \"cubic\" [4] \"nonperiodic\" \"P\" [" +
                     sequence(0, 12) +
                     "] \"width\" [1 2]\n"
                     "Curves \"linear\" [3] \"periodic\" \"P\" [" +
                     sequence(0, 9) +
                     "]\n"
                     "Points \"P\" [0 0 0 1 1 1] \"constantwidth\" [0.2]");
    Calls expected = {
        "Parameter(vertex hpoint Pw: " + sequence(0, 16) + ")",
        "Patch(2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1)",
        "TrimCurve(1 [1] [2] [2] [0 0 1 1] [0] [1] [0 0 1 1 0 1])",
        "Parameter(vertex point P: " + sequence(0, 15) + ")",
        "Parameter(float constantwidth: 0.1)",
        "Curves(linear 2 [2 3])",
        "Parameter(vertex point P: " + sequence(0, 12) + ")",
        "Parameter(linear float width: 1 2)",
        "Curves(catmull-rom 1 [4])",
        // A closed linear curve is an open one that returns to its first vertex.
        "Parameter(vertex point P: " + sequence(0, 9) + " 0 1 2)",
        "Curves(linear 1 [4])",
        "Parameter(vertex point P: 0 0 0 1 1 1)",
        "Parameter(float constantwidth: 0.2)",
        "Points(2)",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());

    calls =
        world(r, "NuPatch 2 2 [0 0 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [" + sequence(0, 12) +
                     "]\nNuPatch 2 2 [0 1 0 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [" + sequence(0, 12) +
                     "]\nNuPatch 1 2 [0 0 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [0 0 0]\n"
                     "TrimCurve [1] [2] [0 0 1] [0] [1] [2] [0 1] [0 0] [1 1]\n"
                     "Curves \"cubic\" [5] \"nonperiodic\" \"P\" [" +
                     sequence(0, 15) +
                     "]\nCurves \"linear\" [1] \"nonperiodic\" \"P\" [0 0 0]\n"
                     "Curves \"quadratic\" [3] \"nonperiodic\" \"P\" [0]\nPoints \"P\" [0 0]");
    EXPECT_TRUE(calls.empty()) << testing::PrintToString(calls);
    Calls diagnostics = {
        "E: test.rib:2: NuPatch: expected 4 u knots, got 3. Skipping ...",
        "E: test.rib:3: NuPatch: the knots must not decrease. Skipping ...",
        "E: test.rib:4: NuPatch: bad vertex counts or orders. Skipping ...",
        "E: test.rib:5: TrimCurve: expected 4 knots, got 3. Skipping ...",
        "E: test.rib:6: Curves: bad curve vertex count 5. Skipping ...",
        "E: test.rib:7: Curves: every curve needs at least 2 vertices. Skipping ...",
        "E: test.rib:8: Curves: unknown curve type \"quadratic\". Skipping ...",
        "E: test.rib:9: Points: \"P\" holds 2 values, not a multiple of 3. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}
