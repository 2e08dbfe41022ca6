// Every shape plugin refuses what makes no surface with one error whose text is the reason:
// "<plugin>: <reason> Ignoring ...", and no shape. One row per form of reason: the plugins
// share the wording of a missing variable, a bad count or a value out of range.
#include "tests/shapes/shape_test_util.h"

using namespace ovotest;

namespace {

std::string zeros(int n) { return text(std::vector<float>(std::size_t(n), 0.0f)); }

TEST(Shapes, WhatMakesNoSurfaceIsRefusedWithItsReason) {
    const std::string square = "vertex point P = 0 0 0 1 0 0 1 1 0 0 1 0; ",
                      tri = "vertex point P = 0 0 0 1 0 0 1 1 0",
                      grid = "vertex point P = " + zeros(48) + "; ",
                      knots =
                          "int nu = 2; int uorder = 2; float[4] uknot = 0 0 1 1; float umin = "
                          "0; float umax = 1; int nv = 2; int vorder = 2; float[4] vknot = 0 0 "
                          "1 1; float vmin = 0; float vmax = 1; ",
                      nurbs = knots + "vertex point P = 0 0 0 1 0 0 0 1 0 1 1 0; ",
                      sphere = "; float[16] floats = 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
    const struct {
        const char* type;
        std::string params, reason;
    } cases[] = {
        {"sphere", "float radius = 0", "radius is 0; it must not be 0."},
        {"sphere", "float zmin = 0.5; float zmax = -0.5", "zmin (0.5) is not below zmax (-0.5)."},
        {"sphere", "float zmin = 1.5; float zmax = 2",
         "zmin (1.5) and zmax (2) leave nothing of radius 1."},
        {"sphere", "float thetamax = 0", "thetamax is 0; it must be above 0."},
        {"cylinder", "float zmin = 1; float zmax = 1", "zmin (1) is not below zmax (1)."},
        {"cone", "float zmin = 0.8; float zmax = 0.2",
         "zmin (0.8) to zmax (0.2) must run from the base towards the apex (height 1)."},
        {"disk", "float innerRadius = 2",
         "innerRadius (2) must be at least 0 and below outerRadius (1)."},
        {"hyperboloid", "point bottom = 1 2 3; point top = 1 2 3",
         "\"bottom\" and \"top\" are the same point."},
        {"hyperboloid", "point bottom = 0 0 0; point top = 0 0 3",
         "\"bottom\" and \"top\" both lie on the z axis."},
        {"torus", "float majorRadius = -1", "majorRadius is -1; it must be at least 0."},

        {"polygon", "vertex point P = 0 0 0 1 0 0; int nvertices = 2",
         "2 vertices; a polygon needs at least 3."},
        {"polygon", "vertex point P = 0 0 0 1 1 1 2 2 2; int nvertices = 3",
         "the outline encloses no area."},
        // A "P" that does not tell its length leaves the count unknown.
        {"polygon", tri + " #1", "\"nvertices\" is missing."},

        {"polygonMesh", "int[1] nvertices = 3; int[] vertices = 0 1 2", "\"P\" is missing."},
        {"polygonMesh", square + "int[2] nvertices = 3 3; int[] vertices = 0 1 2 0 2 7",
         "vertex index 7 is out of range (\"P\" holds 4 points)."},
        {"polygonMesh",
         "vertex point P = 0 0 0 1 0 0 1 1 0 0 1 0 #1; int[1] nvertices = 3; int[] vertices = 0 "
         "-1 2 #1",
         "vertex index -1 is out of range."},
        {"polygonMesh", square + "int[2] nvertices = 3 2; int[] vertices = 0 1 2 0 2",
         "polygon 1 has 2 vertices; it needs at least 3."},
        {"polygonMesh", square + "int[2] nvertices = 3 3; int[] vertices = 0 1 2 0",
         "\"vertices\" holds 4 indices; the polygons need 6."},
        {"polygonMesh", square + "int[] nvertices = 3; int[] vertices = 0 1 2",
         "the number of polygons is not given (\"nvertices\" is an open array)."},
        {"polygonMesh",
         "vertex point P = 0 0 0 1 1 1 2 2 2 3 3 3; int[1] nvertices = 4; int[] vertices = 0 1 2 3",
         "no polygon encloses any area."},

        {"ccmesh", "vertex point P = 0 0 0 1 0 0; int[1] nvertices = 2; int[] vertices = 0 1",
         "face 0 has 2 vertices; a face needs 3 to 15."},
        {"ccmesh",
         "vertex point P = " + zeros(48) + "; int[1] nvertices = 16; int[] vertices = " + zeros(16),
         "face 0 has 16 vertices; a face needs 3 to 15."},
        {"ccmesh", Cube + "; string tags = crease", "\"nargs\" must give two counts per tag."},

        {"particle", "vertex point P = 0 0 0 1 1 1; float width = 1",
         "\"width\" must give one value per point; use \"constantwidth\" for one value."},
        {"particle", "vertex point P = 0 0 0 1 1 1; vertex float width = 0 -1",
         "no point has a width above 0."},
        {"particle", "vertex point P = 0 0 0 1 1 1 2 2 2; vertex float width = 1 1",
         "\"width\" holds 2 values for 3 points."},

        {"cubiccurves",
         "int ncurves = 1; int[1] nvertspercurve = 3; vertex point P = 0 0 0 1 0 0 2 0 0; string "
         "basis = bezier",
         "curve 0 has 3 vertices, which make no whole segments."},
        {"cubiccurves",
         "int ncurves = 1; int[1] nvertspercurve = 4; vertex point P = " + zeros(12) +
             "; string basis = nurbs",
         "unknown basis \"nurbs\"."},
        {"cubiccurves", "int ncurves = 1",
         "\"ncurves\" and \"nvertspercurve\" must give the curves."},
        {"linearcurves", "int ncurves = 1; int nvertspercurve = 2",
         "\"P\" must give the 2 control points."},

        {"bicubicpatch", grid + "int nu = 5",
         "5 points along u do not make whole patches of step 3."},
        {"bilinearpatchmesh", "int nu = 1; int nv = 2",
         "1 by 2 points; a mesh needs at least 2 by 2."},
        {"nupatch", nurbs + "int uorder = 17",
         "2 points of order 17 along u; the order must be 1 to 16 and the points at least as "
         "many."},
        {"nupatch", nurbs + "float[4] vknot = 0 1 0 1", "the v knots decrease or are not finite."},
        {"nupatch", nurbs + "float umin = 2; float umax = 3",
         "nothing of the surface lies between umin 2 and umax 3."},
        {"nupatch", knots + "vertex hpoint Pw = 0 0 0 1 1 0 0 0 0 1 0 1 1 1 0 1",
         "point 1 of \"Pw\" has weight 0; it must be above 0."},

        {"blobby", "int[3] code = 1001 0 12" + sphere, "unknown opcode 12 at code position 2."},
        {"blobby", "int[1] code = 1001" + sphere,
         "opcode 1001 at code position 0 lacks its operands."},
        {"blobby", "int[2] code = 1001 4" + sphere,
         "the element at code position 0 needs floats 4 to 19 but there are 16."},
        {"blobby", "int[6] code = 1001 0 0 2 0 1" + sphere,
         "opcode 0 at code position 2 refers to instruction 1, which is not before it."},
        {"blobby", "int[4] code = 1001 0 2 0" + sphere,
         "opcode 2 at code position 2 needs a count of at least 1."},
        {"blobby", "int[2] code = 1001 0; int nleaf = 3" + sphere,
         "nleaf is 3 but the code makes 1 leaves."},
        {"blobby", "int[2] code = 1001 0; float[16] floats = " + zeros(16),
         "the matrix of the element at code position 0 is singular."},
        {"blobby", "int[2] code = 1000 0; float[1] floats = 0.7",
         "no ellipsoid or segment bounds the surface."},
        {"blobby", "int[5] code = 1003 1 0 1001 0; string[1] strings = ground" + sphere,
         "the plane at code position 0 names string 1 but there are 1."},
        {"blobby",
         "int[2] code = 1002 0; float[23] floats = 0 0 0 1 0 0 0 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1",
         "the segment at code position 0 has a radius of 0."},
    };
    TestRenderer r;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.params);
        expectRefused(r, make(r, c.type, c.params),
                      std::string(c.type) + ": " + c.reason + " Ignoring ...");
    }
}

}  // namespace
