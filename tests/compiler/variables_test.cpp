// Values of the geometry call that the shape does not read reach the shader arguments of the
// same name: interpolated over the surface, of every class, the point family moved from the
// object's space; what a shape reads itself (a disk's radius) stays the shape's.
#include <gtest/gtest.h>

#include "compile_util.h"

TEST(CompiledFrames, PrimitiveVariablesReachTheShaderArguments) {
    ovotest::ScratchDir dir;
    dir.write("grey.sl", "surface grey(varying float grey = 0.5) { Ci = grey; Oi = 1; }\n");
    dir.write("tint.sl", "surface tint(color tint = color(1, 0, 0)) { Ci = tint; Oi = 1; }\n");
    dir.write("pref.sl",
              "surface pref(varying point Pref = 0) { Ci = color(xcomp(Pref) - 1, 0, 0); }\n");
    dir.write("radius.sl", "surface radius(float radius = 0.25) { Ci = radius; Oi = 1; }\n");
    // Eight columns of one world unit at z = 1, in four pairs.
    const std::string rib = ovotest::frameRib(
        8, 2, "PixelFilter \"box\" 1 1\nPixelSamples 8 8\nProjection \"perspective\" \"fov\" [90]",
        "AttributeBegin Surface \"grey\"\n"
        "Polygon \"P\" [-4 -1 1  -2 -1 1  -2 1 1  -4 1 1] \"varying float grey\" [0 1 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"tint\"\n"
        "Polygon \"P\" [-2 -1 1  0 -1 1  0 1 1  -2 1 1] \"constant color tint\" [0 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"pref\" Translate 1 0 0\n"
        "Polygon \"P\" [-1 -1 1  1 -1 1  1 1 1  -1 1 1]\n"
        "  \"vertex point Pref\" [0 0 0  1 0 0  1 0 0  0 0 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"radius\" Translate 3.5 0 1.5\n"
        "Disk 0 3 360\nAttributeEnd");
    ovotest::Image image;
    ASSERT_TRUE(ovotest::renderClean(dir, rib, image));
    // The colour of each column.
    const ovo::Tuple grey(0.25f), green(0, 1, 0);
    const ovo::Tuple expected[] = {grey,          ovo::Tuple(0.75f), green, green,
                                   {0.25f, 0, 0}, {0.75f, 0, 0},     grey,  grey};
    ovotest::expectPixels(
        image, [&](int x, int) { return expected[x]; }, 0.01f);
}
