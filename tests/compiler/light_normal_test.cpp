// Light shaders that work on the surface they light (the global Ns, the older occlusion form),
// and lights made ready once per thread or at every point.
#include <cmath>
#include <set>

#include "compile_util.h"

namespace {

using ovo::Tuple;

const char* const Lit = R"(
light lit(float mode = 0; output varying normal seen = 0) {
    seen = Ns;
    if (mode == 0)
        Cl = 0.5 + 0.5 * color(xcomp(Ns), ycomp(Ns), zcomp(Ns));
    else
        Cl = 1 - occlusion("nowhere.sm", Ps, Ns, 0, "blur", 0.01, "samples", 16);
}
)";

const int Size = 64;

// A frame lit by `lights` alone, seen through a 90-degree lens from the origin along +z, with
// the shaders of `dir` (among them "amb", a surface showing the ambient light it gets).
std::string frame(const ovotest::ScratchDir& dir, const std::string& lights,
                  const std::string& world) {
    return ovotest::frameRib(Size, Size,
                             "Quantize \"rgba\" 0 0 0 0\nPixelSamples 1 1\nPixelFilter \"box\" 1 "
                             "1\nProjection \"perspective\" \"fov\" [90]",
                             lights + "Surface \"amb\"\n" + world, dir.path);
}

TEST(LightNormal, LightsSeeTheLitNormalEachPointAndTheirOwnSpace) {
    EXPECT_EQ(ovotest::diagnose("surface s() { Ci = color(xcomp(Ns), 0, 0); }"),
              std::vector<std::string>{"t.sl:1:32: error: 'Ns' is not declared"});
    EXPECT_TRUE(ovotest::diagnose("light l() { normal n = Ns; Cl = xcomp(n); }").empty());

    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "lit.sl", Lit));
    ASSERT_TRUE(ovotest::compileShader(dir, "rnd.sl", "light rnd(float k = random()) { Cl = k; }"));
    ASSERT_TRUE(ovotest::compileShader(
        dir, "spc.sl",
        "light spc(float k = 1) { Cl = k * xcomp(transform(\"shader\", point(1, 0, 0))); }"));
    ASSERT_TRUE(
        ovotest::compileShader(dir, "amb.sl", "surface amb() { Ci = ambient(); Oi = 1; }\n"));
    // Ns is its own field: a light's N may be its own surface's (an area light).
    ovotest::ShaderRun light(dir, "lit");
    ASSERT_TRUE(light.shader);
    light.env.N = ovo::Normal(0.0f, 0.0f, 1.0f);
    light.env.Ns = ovo::Normal(0.6f, 0.8f, 0.0f);
    light.run();
    EXPECT_TRUE(ovotest::near(light.value<Tuple>("seen"), Tuple(0.6f, 0.8f, 0.0f), 1e-6f));

    // A unit sphere at z = 3: each pixel whose sample lands on it shows its outward normal.
    ovotest::Image image;
    const std::string normals = "LightSource \"lit\" 1 \"float mode\" [0]\n";
    ASSERT_TRUE(ovotest::renderRib(dir, frame(dir, normals, "Translate 0 0 3\nSphere 1 -1 1 360\n"),
                                   "frame.tif", image));
    int checked = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            // The pixel centre's ray; the sample lies within half a pixel of it.
            const Tuple d(2.0f * (x + 0.5f) / Size - 1.0f, 1.0f - 2.0f * (y + 0.5f) / Size, 1.0f);
            const Tuple dir1 = d.hat(), centre(0.0f, 0.0f, 3.0f);
            const float b = ovo::dot(dir1, centre), c = b * b - 8.0f;  // |centre|^2 - 1 = 8
            if (c < 0.3f) continue;  // misses, or grazes where a half-pixel step turns N far
            const Tuple n = dir1 * (b - std::sqrt(c)) - centre;
            EXPECT_TRUE(ovotest::near(Tuple(image.at(x, y)), Tuple(0.5f) + 0.5f * n, 0.04f))
                << x << ", " << y;
            ++checked;
        }
    EXPECT_GT(checked, 200);

    // A wall filling the view at z = 2, alone; then between two large walls out of sight, one
    // behind the camera and one behind it, so it is enclosed whichever way it faces. The map
    // the shader names does not exist: it is not read.
    const std::string occluded = "LightSource \"lit\" 1 \"float mode\" [1]\n";
    const std::string wall = "Polygon \"P\" [-4 -4 2  4 -4 2  4 4 2  -4 4 2]\n";
    const std::string enclosure =
        "Polygon \"P\" [-500 -500 -1  500 -500 -1  500 500 -1  -500 500 -1]\nPolygon \"P\" [-500 "
        "-500 3  500 -500 3  500 500 3  -500 500 3]\n";
    ovotest::Image open, enclosed;
    ASSERT_TRUE(ovotest::renderClean(dir, frame(dir, occluded, wall), open));
    ASSERT_TRUE(
        ovotest::renderRib(dir, frame(dir, occluded, wall + enclosure), "frame.tif", enclosed));
    ovotest::expectPixels(open, Tuple(1.0f), 1e-4f);
    ovotest::expectPixels(enclosed, Tuple(0.0f), 0.02f);

    // A random default is drawn at every point; a kept light still runs in its own space.
    ovotest::Image drawn, placed;
    ASSERT_TRUE(ovotest::renderClean(dir, frame(dir, "LightSource \"rnd\" 1\n", wall), drawn));
    std::set<float> values;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) values.insert(drawn.at(x, y).r);
    EXPECT_GT(values.size(), size_t(Size * Size / 2));
    ASSERT_TRUE(ovotest::renderClean(
        dir,
        frame(dir, "TransformBegin\nTranslate 0.25 0 0\nLightSource \"spc\" 1\nTransformEnd\n",
              wall),
        placed));
    ovotest::expectPixels(placed, Tuple(0.75f), 1e-5f);
}

}  // namespace
