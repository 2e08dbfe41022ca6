// Geometry requests: the calls they make, the parameters they pass and the counts they check
// before the renderer is called, and what they tell shapes beyond the interface's arguments (a v
// basis of its own, unusual steps, face-varying names); blobbies, the teapot, deformation blur,
// and meshes replayed from archives. "$n" stands for the numbers 0 to n-1.
#include <gtest/gtest.h>

#include <tuple>

#include "plugins/generators/rib/teapot.h"
#include "tests/rib/recorder.h"

TEST(RibGeometry, QuadricsPolygonsAndMeshes) {
    ovotest::expectRows({
        {"Sphere 1 -1 1 360 \"Cs\" [$12] \"uniform float Kd\" [0.25] \"float[2] uv\" [3 4]",
         "Parameter(linear color C: $12); Parameter(perpiece float Kd: 0.25); Parameter(float[2] "
         "uv: 3 4); Sphere(1 -1 1 360)"},
        {"Cone 2 1 360 Cylinder 1 -1 1 180 Disk 0.5 2 360 Hyperboloid 1 0 0 0 1 2 360 Paraboloid 1 "
         "0 2 360 Torus 2 0.5 0 360 360",
         "Cone(2 1 360); Cylinder(1 -1 1 180); Disk(0.5 0 2 360); Hyperboloid(1 0 0 0 1 2 360); "
         "Paraboloid(1 0 2 360); Torus(2 0.5 0 360 360)"},
        {"Polygon \"P\" [$9] \"Os\" [1 1 1 1 1 1 .5 .5 .5] \"uniform float Kd\" [0.5] \"st\" [$6]",
         "Parameter(vertex point P: $9); Parameter(linear color opacity: 1 1 1 1 1 1 0.5 0.5 0.5); "
         "Parameter(perpiece float Kd: 0.5); Parameter(linear float[2] st: $6); Polygon(3)"},
        {"Polygon \"Pw\" [$12]", "Parameter(vertex hpoint Pw: $12); Polygon(3)"},
        {"GeneralPolygon [4 3] \"P\" [$21]", "Parameter(vertex point P: $21); Polygon(2 [4 3])"},
        {"PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [$12] \"uniform color Cs\" [$6]",
         "Parameter(vertex point P: $12); Parameter(perpiece color C: $6); Mesh(linear 2 [3 3] [0 "
         "1 2 2 1 3])"},
        {"PointsGeneralPolygons [2] [4 3] [$7] \"P\" [$21]",
         "Parameter(vertex point P: $21); Mesh(linear 1 [2] [4 3] [$7])"},
        {"PointsPolygons [] [] \"P\" []", ""},
        {"PointsPolygons [3 3] [0 1 2 2 1] \"P\" [0 0 0]\nPointsPolygons [3] [0 1 5] \"P\" "
         "[$9]\nPointsPolygons [3] [0 -1 2] \"P\" [$9]\nPointsPolygons [2] [0 1] \"P\" "
         "[$6]\nPointsPolygons [3] [0 1 2] \"N\" [$9]\nPointsPolygons [3] [0 1.5 2] \"P\" "
         "[$9]\nPointsGeneralPolygons [2] [3] [0 1 2] \"P\" [$9]\nPointsPolygons [3] [0 1 2] \"P\" "
         "[$9] \"facevarying float s\" [1 2]\nGeneralPolygon [3 2] \"P\" [$15]\nPolygon \"P\" [$9] "
         "\"N\" [0 0 1]\nSphere 1 -1 1 360 \"uniform Kd\" [1]",
         "E: test.rib:2: PointsPolygons: expected 6 vertex indices, got 5. Skipping ...; E: "
         "test.rib:3: PointsPolygons: parameter \"P\" needs 18 values, got 9. Skipping ...; E: "
         "test.rib:4: PointsPolygons: bad vertex index. Skipping ...; E: test.rib:5: "
         "PointsPolygons: every polygon needs at least 3 vertices. Skipping ...; E: test.rib:6: "
         "PointsPolygons: missing \"P\". Skipping ...; E: test.rib:7: PointsPolygons: argument 2 "
         "must be an array of integers, not an array of numbers. Skipping ...; E: test.rib:8: "
         "PointsGeneralPolygons: expected 2 loop sizes, got 1. Skipping ...; E: test.rib:9: "
         "PointsPolygons: parameter \"s\" needs 3 values, got 2. Skipping ...; E: test.rib:10: "
         "GeneralPolygon: every loop needs at least 3 vertices. Skipping ...; E: test.rib:11: "
         "Polygon: parameter \"N\" needs 9 values, got 3. Skipping ...; E: test.rib:12: Sphere: "
         "bad parameter declaration \"uniform Kd\". Skipping ..."},
        {"SubdivisionMesh \"catmull-clark\" [4] [$4] [\"interpolateboundary\" \"crease\"] [0 0 2 "
         "1] [0 1] [2.5] \"P\" [$12]",
         "Parameter(vertex point P: $12); Parameter(string[2] tags: interpolateboundary crease); "
         "Parameter(int[4] nargs: 0 0 2 1); Parameter(int[2] intargs: 0 1); Parameter(float[1] "
         "floatargs: 2.5); Mesh(catmull-clark 1 [4] [$4])"},
        // Face-varying variables are named to the shape; no list when there is none.
        {"SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [$12] \"facevarying float s\" [$4] "
         "\"facevarying color Cs\" [$12] \"varying float t\" [$4]\n"
         "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] \"P\" [$12]",
         "Parameter(vertex point P: $12); Parameter(linear float s: $4); Parameter(linear color C: "
         "$12); Parameter(linear float t: $4); Parameter(string[2] facevarying: s C); "
         "Mesh(catmull-clark 1 [4] [0 1 2 3]); Parameter(vertex point P: $12); Mesh(catmull-clark "
         "1 [4] [0 1 2 3])"},
        {"SubdivisionMesh \"bilinear\" [3] [$3] \"P\" [$9]",
         "Parameter(vertex point P: $9); Mesh(linear 1 [3] [$3])"},
        {"SubdivisionMesh \"loop\" [3] [$3] \"P\" [$9]\nSubdivisionMesh \"catmull-clark\" [3] [$3] "
         "[\"crease\"] [2 0] [0] [] \"P\" [$9]",
         "W: test.rib:2: SubdivisionMesh scheme \"loop\" is not supported. Ignoring ...; E: "
         "test.rib:3: SubdivisionMesh: the tag arguments do not match their counts. Skipping ..."},
    });
}

TEST(RibGeometry, PatchesUseTheCurrentBasis) {
    ovotest::expectRows({
        {"Patch \"bilinear\" \"P\" [$12]", "Parameter(vertex point P: $12); Patch(linear 2 2)"},
        // The basis is an attribute; a matrix is recognised, and a v basis of its own is passed on.
        {"Basis \"bspline\" 1 \"b-spline\" 1\nPatch \"bicubic\" \"Pz\" [$16]\nAttributeBegin\n"
         "Basis [-1 3 -3 1 3 -6 3 0 -3 3 0 0 1 0 0 0] 3 \"catmull-rom\" 1\nPatch \"bicubic\" "
         "\"Pz\" [$16]\nAttributeEnd\nPatch \"bicubic\" \"Pz\" [$16]",
         "Parameter(vertex float Pz: $16); Patch(bspline 4 4); PushAttributes(); Parameter(vertex "
         "float Pz: $16); Parameter(string vbasis: catmull-rom); Patch(bezier 4 4); "
         "PopAttributes(); Parameter(vertex float Pz: $16); Patch(bspline 4 4)"},
        {"PatchMesh \"bilinear\" 3 \"nonperiodic\" 2 \"nonperiodic\" \"P\" [$18]",
         "Parameter(vertex point P: $18); Patch(linear 3 2)"},
        // A periodic direction repeats its first columns: u0 u1 u2 u0 in each row.
        {"PatchMesh \"bilinear\" 3 \"periodic\" 2 \"nonperiodic\" \"P\" [$18]",
         "Parameter(vertex point P: $9 0 1 2 9 10 11 12 13 14 15 16 17 9 10 11); Patch(linear 4 "
         "2)"},
        // Two periodic Bezier patches need 7 columns.
        {"PatchMesh \"bicubic\" 6 \"periodic\" 4 \"nonperiodic\" \"Pz\" [$24]",
         "Parameter(vertex float Pz: $6 0 6 7 8 9 10 11 6 12 13 14 15 16 17 12 18 19 20 21 22 23 "
         "18); Patch(bezier 7 4)"},
        {"PatchMesh \"bicubic\" 5 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [$60]\nPatch "
         "\"trilinear\" \"P\" [0]\nPatch \"bicubic\" \"P\" [$47]\nBasis \"bezier\" 2 \"nurbs\" 1",
         "E: test.rib:2: PatchMesh: bad number of vertices in u: 5. Skipping ...; E: test.rib:3: "
         "Patch: unknown patch type \"trilinear\". Skipping ...; E: test.rib:4: Patch: parameter "
         "\"P\" needs 48 values, got 47. Skipping ...; E: test.rib:5: Basis: unknown basis "
         "\"nurbs\". Skipping ..."},
        // What the shapes are told beyond the interface's arguments: the usual steps say nothing;
        // a step of 2 for B-splines along u (4 + 2 points make two patches) is passed on, and so
        // is a v basis of its own; periodic with a step of 4 or more repeats nothing.
        {"Basis \"bspline\" 1 \"bspline\" 1\nPatchMesh \"bicubic\" 5 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [$60]",
         "Parameter(vertex point P: $60); Patch(bspline 5 4)"},
        {"Basis \"bspline\" 2 \"bezier\" 3\nPatchMesh \"bicubic\" 6 \"nonperiodic\" 4 "
         "\"nonperiodic\" \"P\" [$72]",
         "Parameter(vertex point P: $72); Parameter(string vbasis: bezier); Parameter(int ustep: "
         "2); Patch(bspline 6 4)"},
        {"Basis \"power\" 4 \"power\" 4\nPatchMesh \"bicubic\" 8 \"periodic\" 4 \"nonperiodic\" "
         "\"P\" [$96]",
         "Parameter(vertex point P: $96); Patch(power 8 4)"},
    });
}

TEST(RibGeometry, NurbsTrimCurvesCurvesAndPoints) {
    ovotest::expectRows({
        {"NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"Pw\" [$16]",
         "Parameter(vertex hpoint Pw: $16); Patch(2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1)"},
        {"TrimCurve [1] [2] [0 0 1 1] [0] [1] [2] [0 1] [0 0] [1 1]",
         "TrimCurve(1 [1] [2] [2] [0 0 1 1] [0] [1] [0 0 1 1 0 1])"},
        {"Curves \"linear\" [2 3] \"nonperiodic\" \"P\" [$15] \"constantwidth\" 0.1",
         "Parameter(vertex point P: $15); Parameter(float constantwidth: 0.1); Curves(linear 2 [2 "
         "3])"},
        {"Basis \"catmull-rom\" 1 \"catmull-rom\" 1 Curves \"cubic\" [4] \"nonperiodic\" \"P\" "
         "[$12] \"width\" [1 2]",
         "Parameter(vertex point P: $12); Parameter(linear float width: 1 2); Curves(catmull-rom 1 "
         "[4])"},
        // A closed linear curve is an open one that returns to its first vertex, with every
        // kind of vertex value.
        {"Curves \"linear\" [3] \"periodic\" \"P\" [$9] \"vertex string id\" [\"a\" \"b\" \"c\"]",
         "Parameter(vertex point P: $9 0 1 2); Parameter(vertex string id: a b c a); Curves(linear "
         "1 [4])"},
        // Curves take the v basis and step.
        {"Basis \"bezier\" 3 \"catmull-rom\" 2\nCurves \"cubic\" [6] \"nonperiodic\" \"P\" [$18]",
         "Parameter(vertex point P: $18); Parameter(int vstep: 2); Curves(catmull-rom 1 [6])"},
        // A vertex count of 2^30 is the largest a curve may have.
        {"TrimCurve [1] [2] [0 0 1 1] [0] [1] [1073741824] [0 1] [0 0] [1 1]\nTrimCurve [1] [2] [0 "
         "0 1 1] [0] [1] [1073741825] [0 1] [0 0] [1 1]",
         "E: test.rib:2: TrimCurve: expected 1073741826 knots, got 4. Skipping ...; E: test.rib:3: "
         "TrimCurve: bad order or vertex count. Skipping ..."},
        {"Points \"P\" [$6] \"constantwidth\" [0.2]",
         "Parameter(vertex point P: $6); Parameter(float constantwidth: 0.2); Points(2)"},
        {"NuPatch 2 2 [0 0 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [$12]\nNuPatch 2 2 [0 1 0 1] 0 1 2 2 [0 "
         "0 1 1] 0 1 \"P\" [$12]\nNuPatch 1 2 [0 0 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [0 0 "
         "0]\nTrimCurve [1] [2] [0 0 1] [0] [1] [2] [0 1] [0 0] [1 1]\nCurves \"cubic\" [5] "
         "\"nonperiodic\" \"P\" [$15]\nCurves \"linear\" [1] \"nonperiodic\" \"P\" [0 0 0]\nCurves "
         "\"quadratic\" [3] \"nonperiodic\" \"P\" [0]\nPoints \"P\" [0 0]",
         "E: test.rib:2: NuPatch: expected 4 u knots, got 3. Skipping ...; E: test.rib:3: NuPatch: "
         "the knots must not decrease. Skipping ...; E: test.rib:4: NuPatch: bad vertex counts or "
         "orders. Skipping ...; E: test.rib:5: TrimCurve: expected 4 knots, got 3. Skipping ...; "
         "E: test.rib:6: Curves: bad curve vertex count 5. Skipping ...; E: test.rib:7: Curves: "
         "every curve needs at least 2 vertices. Skipping ...; E: test.rib:8: Curves: unknown "
         "curve type \"quadratic\". Skipping ...; E: test.rib:9: Points: \"P\" holds 2 values, not "
         "a multiple of 3. Skipping ..."},
    });
}

// The code, floats and strings reach the blobby shape with the per-leaf variables; code that
// does not fit its arrays is reported.
TEST(RibGeometry, BlobbiesSendTheirCodeToTheBlobbyShape) {
    const std::string sphere = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1",
                      floats = " [" + sphere + "] [\"\"]";
    ovotest::expectRows({
        // The interface does not pass a per-leaf array's length: the recorder shows one value.
        {"Blobby 2 [1001 0 1003 0 16 0 2 0 1] [" + sphere +
             " 1 0.1 0 0] [\"flat.zfile\"] \"vertex color Cs\" [1 0 0 0 0 1]",
         "Parameter(vertex color C: 1 0 0); Parameter(int[9] code: 1001 0 1003 0 16 0 2 0 1); "
         "Parameter(int nleaf: 2); Parameter(float[20] floats: " +
             sphere + " 1 0.1 0 0); Parameter(string[1] strings: flat.zfile); Shape(blobby)"},
        // A leaf count may leave field plugins out; per-leaf "mpoint" matrices go as matrices.
        {"Blobby 1 [1001 0 9000 1 0 0 2 0 1] [" + sphere +
             "] [\"dbo_plane\"] \"vertex mpoint Pref\" [" + sphere + "]",
         "Parameter(vertex matrix Pref: " + sphere +
             "); Parameter(int[9] code: 1001 0 9000 1 0 0 2 0 1); Parameter(int nleaf: 1); "
             "Parameter(float[16] floats: " +
             sphere + "); Parameter(string[1] strings: dbo_plane); Shape(blobby)"},
        {"Blobby 1 [1001 0 12]" + floats + "\nBlobby 1 [1001 4]" + floats +
             "\nBlobby 2 [1001 0 0 2 0 1]" + floats + "\nBlobby 1 [1001 0 4 0]" + floats +
             "\nBlobby 2 [1001 0]" + floats + "\nBlobby 1 [1003 1 0]" + floats +
             "\nBlobby 1 [1001 0 0 0]" + floats +
             "\nBlobby 1 [1001 0] [1 2]\nBlobby 2 [1001 0 1001 0 0 2 0 1]" + floats +
             " \"vertex color Cs\" [1 0 0]",
         "E: test.rib:2: Blobby: unknown opcode 12 at code position 2. Skipping ...; E: "
         "test.rib:3: "
         "Blobby: the element at code position 0 needs floats 4 to 19 of 16. Skipping ...; E: "
         "test.rib:4: Blobby: opcode 0 at code position 2 refers to instruction 1, which is not "
         "before it. Skipping ...; E: test.rib:5: Blobby: opcode 4 at code position 2 lacks its "
         "operands. Skipping ...; E: test.rib:6: Blobby: nleaf is 2 but the code makes 1 leaves. "
         "Skipping ...; E: test.rib:7: Blobby: the plane at code position 0 names string 1 of 1. "
         "Skipping ...; E: test.rib:8: Blobby: opcode 0 at code position 2 needs a count of at "
         "least 1. Skipping ...; E: test.rib:9: Blobby: missing argument 4. Skipping ...; E: "
         "test.rib:10: Blobby: parameter \"Cs\" needs 6 values, got 3. Skipping ..."},
    });
}

// Geometry "teapot": the classic teapot as four closed patch meshes.
TEST(RibTeapot, FourMeshesWithConstantVariablesOnly) {
    ovotest::Recorder r;
    r.read(
        "WorldBegin\nGeometry \"teapot\" \"constant float Kd\" [0.5]\n"
        "Geometry \"teapot\" \"varying float x\" [1 2 3 4]\nWorldEnd\n");
    const std::string meshes =
        "Patch(bezier 13 13); Patch(bezier 13 7); Patch(bezier 7 7); Patch(bezier 7 7); ";
    // The second teapot is drawn without its varying variable.
    EXPECT_EQ(r.all({"Patch("}), meshes + meshes +
                                     "W: test.rib:3: Geometry \"teapot\" takes constant variables "
                                     "only: 1 ignored");
    EXPECT_EQ(r.only({"Parameter(float Kd"}).size(), 4u);
}

// Every mesh closes on itself across u (its first and last columns coincide), is symmetric
// about y = 0, and together they span the classic teapot's box.
TEST(RibTeapot, MeshesAreClosedSymmetricAndSpanTheTeapot) {
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const ovo::rib::TeapotMesh& m : ovo::rib::teapotMeshes()) {
        ASSERT_EQ(m.P.size(), std::size_t(3 * m.nu * m.nv));
        EXPECT_EQ((m.nu - 1) % 3 + (m.nv - 1) % 3, 0) << "whole Bezier segments";
        for (int row = 0; row < m.nv; ++row) {
            const float* first = &m.P[std::size_t(3 * row * m.nu)];
            const float* last = first + 3 * (m.nu - 1);
            EXPECT_TRUE(std::equal(first, first + 3, last)) << "row " << row;
            float ySum = 0;
            for (int j = 0; j < m.nu - 1; ++j) ySum += first[3 * j + 1];
            EXPECT_NEAR(ySum, 0.0f, 1e-5f) << "row " << row;
        }
        for (std::size_t i = 0; i < m.P.size(); ++i) {
            lo[i % 3] = std::min(lo[i % 3], m.P[i]);
            hi[i % 3] = std::max(hi[i % 3], m.P[i]);
        }
    }
    const float box[2][3] = {{-3.0f, -2.0f, 0.0f}, {3.525f, 2.0f, 3.15f}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(lo[k], box[0][k]) << k;
        EXPECT_FLOAT_EQ(hi[k], box[1][k]) << k;
    }
}

// Deformation blur: a motion block of one geometry request becomes one copy of the shape per
// slice of the shutter, its numbers blended at the slice's middle and its window set around it;
// samples that differ in more than their numbers draw the first sample, reported once.
TEST(RibDeformation, EachSliceOfTheShutterGetsItsBlendAndWindow) {
    ovotest::Recorder r;
    r.read(ovotest::expand(
        "Shutter 0 1\nWorldBegin\nMotionBegin [0 1]\nSphere 1 -1 1 360\nSphere 2 -2 2 270\n"
        "MotionEnd\nMotionBegin [0 1]\nSphere 1 -1 1\nSphere 2 -2 2\nMotionEnd\n"
        "MotionBegin [0 1]\nPointsPolygons [3] [0 1 2] \"P\" [$9]\n"
        "PointsPolygons [3] [0 2 1] \"P\" [$9]\nMotionEnd\nWorldEnd\n"));
    const std::vector<std::string> calls =
        r.only({"Sphere", "Mesh", "Parameter", "Attribute(float[2] motion:window"});
    ASSERT_EQ(calls.size(), 37u) << ovotest::join(calls);
    // The slice, its window, its sphere.
    const std::tuple<std::size_t, const char*, const char*> slices[] = {
        {0, "-inf 0.0625", "1.03125 -1.03125 1.03125 357.188"},
        {8, "0.5 0.5625", "1.53125 -1.53125 1.53125 312.188"},
        {15, "0.9375 inf", "1.96875 -1.96875 1.96875 272.812"},
    };
    for (const auto& [slice, window, sphere] : slices) {
        EXPECT_EQ(calls[2 * slice],
                  "Attribute(float[2] motion:window: " + std::string(window) + ")");
        EXPECT_EQ(calls[2 * slice + 1], "Sphere(" + std::string(sphere) + ")");
    }
    // Within a shutter a refused sample is reported once and nothing is drawn; samples that
    // cannot blend draw the first one, once, for the whole shutter.
    EXPECT_EQ(ovotest::join(std::vector<std::string>(calls.begin() + 32, calls.end())) + "; " +
                  ovotest::join(r.diagnostics()),
              "Attribute(float[2] motion:window: -inf inf); Attribute(float[2] motion:window: "
              "-inf 0.0625); Attribute(float[2] motion:window: -inf inf); Parameter(vertex point "
              "P: 0 1 2 3 4 5 6 7 8); Mesh(linear 1 [3] [0 1 2]); E: test.rib:8: Sphere: expected "
              "4 numbers, got 3. Skipping ...; W: test.rib:12: PointsPolygons: the motion samples "
              "differ in more than their numbers (argument 2). Using the first sample ...");
}

TEST(RibDeformation, SamplesThatCannotBlendDrawTheFirst) {
    const std::string square = "\"P\" [0 0 0 1 0 0 1 1 0 0 1 0]";
    ovotest::expectRows({
        // Without a shutter interval every ray sees the first instant.
        {"MotionBegin [0 1]\nSphere 1 -1 1 360\nSphere 2 -2 2 360\nMotionEnd",
         "Sphere(1 -1 1 360)"},
        // Topology that differs: EachSliceOfTheShutterGetsItsBlendAndWindow.
        {"MotionBegin [0 1]\nPolygon \"P\" [$9]\nPolygon \"P\" [$12]\nMotionEnd",
         "Parameter(vertex point P: $9); Polygon(3); W: test.rib:3: Polygon: the motion samples "
         "differ in more than their numbers (argument 2). Using the first sample ..."},
        {"MotionBegin [0 1]\nPolygon " + square + " \"Cs\" [$12]\nPolygon " + square +
             " \"Os\" [$12]\nMotionEnd",
         "Parameter(vertex point P: 0 0 0 1 0 0 1 1 0 0 1 0); Parameter(linear color C: $12); "
         "Polygon(4); W: test.rib:3: Polygon: the motion samples differ in more than their numbers "
         "(argument 3). Using the first sample ..."},
    });
}

// Mesh requests free their parsed numbers before the renderer builds the mesh. Only the request
// just read may lose them: a recorded one is read again by every ReadArchive.
TEST(RibReleasedValues, RecordedMeshesReplayWhole) {
    const char* const meshes[] = {
        "PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [$12] \"uniform color Cs\" [$6]",
        "PointsGeneralPolygons [2] [4 3] [$7] \"P\" [$21]",
        "SubdivisionMesh \"catmull-clark\" [4] [$4] [\"crease\"] [2 1] [0 1] [2.5] \"P\" [$12] "
        "\"facevarying float s\" [$4]",
    };
    for (const char* mesh : meshes) {
        const std::string request = ovotest::expand(mesh);
        ovotest::Recorder streamed, replayed;
        // Each read straight from the text, the second one after the first freed its numbers.
        const std::string once = streamed.world(request);
        ASSERT_NE(once.find("Mesh("), std::string::npos) << once;
        EXPECT_EQ(streamed.world(request + "\n" + request), once + "; " + once);
        const std::string archive =
            "ArchiveBegin \"m\"\n" + request + "\nArchiveEnd\nReadArchive \"m\"\nReadArchive \"m\"";
        EXPECT_EQ(replayed.world(archive), once + "; " + once) << mesh;
    }
}
