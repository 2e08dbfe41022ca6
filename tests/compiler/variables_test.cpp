// Values of the geometry call that the shape does not read reach the shader arguments of the
// same name: interpolated over the surface, of every class, the point family moved from the
// object's space; what a shape reads itself (a disk's radius) stays the shape's.
#include "compile_util.h"

TEST(CompiledFrames, PrimitiveVariablesReachTheShaderArguments) {
    ovotest::ScratchDir dir;
    dir.write(
        "vars.sl",
        "surface vars(float which = 0; varying float grey = 0.5; color tint = color(1, 0, 0);\n"
        "             varying point Pref = 0; float radius = 0.25) {\n"
        "    if (which == 0) Ci = grey; else if (which == 1) Ci = tint;\n"
        "    else if (which == 2) Ci = color(xcomp(Pref) - 1, 0, 0); else Ci = radius;\n"
        "    Oi = 1;\n}\n");
    // Eight columns of one world unit at z = 1, in four pairs.
    const std::string rib = ovotest::frameRib(
        8, 2, "PixelFilter \"box\" 1 1\nPixelSamples 8 8\nProjection \"perspective\" \"fov\" [90]",
        "AttributeBegin Surface \"vars\" \"which\" [0]\n"
        "Polygon \"P\" [-4 -1 1  -2 -1 1  -2 1 1  -4 1 1] \"varying float grey\" [0 1 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [1]\n"
        "Polygon \"P\" [-2 -1 1  0 -1 1  0 1 1  -2 1 1] \"constant color tint\" [0 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [2] Translate 1 0 0\n"
        "Polygon \"P\" [-1 -1 1  1 -1 1  1 1 1  -1 1 1]\n"
        "  \"vertex point Pref\" [0 0 0  1 0 0  1 0 0  0 0 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [3] Translate 3.5 0 1.5\n"
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
