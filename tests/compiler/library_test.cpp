// The library functions of the language in compiled shaders, against values known in closed
// form; printf prints in the main pass only.
#include <cmath>
#include <utility>

#include "compile_util.h"

namespace {

using ovo::Color;
using ovo::Tuple;
using ovotest::near;

const char* const Library = R"(
surface library(
    float x = 2.3;
    output varying float lattice1 = -1, lattice2 = -1, lattice3 = -1, lattice4 = -1;
    output varying float lowest = 2, highest = -1, mean = -1, channelsDiffer = 0;
    output varying float periodic1 = -1, periodic2 = -1, periodic3 = -1, periodicSeam = -1;
    output varying float periodicLattice = -1, periodicC = -1, cellSame = -1, cellC = -1;
    output varying float knot0 = -1, knot1 = -1, knot2 = -1, knot3 = -1, knotArray = -1;
    output varying float linearMid = -1, Kr15 = -1, Kt15 = -1, Kr133 = -1, distEnd = -1;
    output varying float optionFound = -1, optionValue = -1, sidesFound = -1, sides = -1;
    output varying float rayFound = -1, rayDepth = -1;
    output varying color latticeC = -1, knotC = -1, hsv = -1, fromHsv = -1;
    output varying point latticeP = -1, knotP = -1, turned = 0;
    output varying vector Rn = 0, Tn = 0)
{
    lattice1 = noise(3);
    lattice2 = noise(2, -5);
    lattice3 = noise(point(1, -2, 3));
    lattice4 = noise(point(1, 2, 3), -4);
    latticeC = color noise(point(2, 0, 1));
    latticeP = point noise(7);

    float i, sum = 0, count = 0;
    for (i = 0; i < 400; i += 1) {
        float n = noise(point(i * 0.173 + 0.1, i * 0.291 + 0.3, i * 0.057 + 0.7));
        lowest = min(lowest, n);
        highest = max(highest, n);
        sum += n;
        count += 1;
        color c = color noise(i * 0.37 + 0.2);
        if (comp(c, 0) != comp(c, 1) && comp(c, 1) != comp(c, 2)) channelsDiffer += 1;
    }
    mean = sum / count;

    periodic1 = abs(pnoise(1.3, 4) - pnoise(9.3, 4));
    periodic2 = abs(pnoise(0.3, 1.7, 3, 5) - pnoise(-2.7, 11.7, 3, 5));
    periodic3 = abs(pnoise(point(0.3, 1.7, 2.2), point(3, 5, 2))
                    - pnoise(point(3.3, -3.3, 6.2), point(3, 5, 2)));
    periodicSeam = abs(pnoise(3.999, 4) - pnoise(4.001, 4));
    periodicLattice = pnoise(point(1, 2, 3), point(4, 4, 4));
    periodicC = distance(point(color pnoise(point(0.5, 0.25, 0.75), point(2, 2, 2))),
                         point(color pnoise(point(2.5, -1.75, 4.75), point(2, 2, 2))));

    cellSame = (cellnoise(2.1, 3.2) == cellnoise(2.9, 3.99)) ? 1 : 0;
    cellC = distance(point(color cellnoise(point(5.1, 6.2, 7.3))),
                     point(color cellnoise(point(5.9, 6.8, 7.01))));

    knot0 = spline(0, 10, 20, 40, 30, 50, 60);
    knot1 = spline(1 / 3, 10, 20, 40, 30, 50, 60);
    knot2 = spline("catmull-rom", 2 / 3, 10, 20, 40, 30, 50, 60);
    knot3 = spline(1, 10, 20, 40, 30, 50, 60);
    float values[6] = {10, 20, 40, 30, 50, 60};
    knotArray = spline(1 / 3, values);
    linearMid = spline("linear", 0.5, 0, 0, 10, 0);
    knotC = spline(1, color 0, color(0.1, 0.2, 0.3), color(0.4, 0.5, 0.6), color 1);
    knotP = spline("catmull-rom", 0, point(9), point(1, 2, 3), point(4, 5, 6), point(7));

    vector Nz = vector(0, 0, 1);
    float Kt133;
    fresnel(-Nz, Nz, 1 / 1.5, Kr15, Kt15);
    vector R, T;
    fresnel(-Nz, Nz, 1 / 1.33, Kr133, Kt133, R, T);
    Rn = R;
    Tn = T;

    distEnd = ptlined(point(0, 0, 0), point(10, 0, 0), point(13, 4, 0));
    turned = rotate(point(1, 0, 0), PI / 2, point(0, 0, 0), point(0, 0, 1));

    hsv = ctransform("hsv", color(1, 0, 0));
    fromHsv = color "hsv" (2 / 3, 1, 1);

    optionValue = 7;
    optionFound = option("Format", optionValue);
    sidesFound = attribute("Sides", sides);
    rayFound = rayinfo("depth", rayDepth);

    printf("x=%.1f c=%c s=%s %d%%\n", x, color(1, 0.5, 0), "hi", 7.9);
    printf("%s|\n", format("%5.2f|%p|%m", x, point(1, 2, 3), matrix 1));
    printf("no value %f\n");
    Ci = 0;
}
)";

TEST(Library, ValuesKnownInClosedFormAndPrintfInTheMainPassOnly) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "library.sl", Library));
    ovotest::ShaderRun run(dir, "library");
    ASSERT_TRUE(run.shader);
    ovo::RayDifferential ray;
    ray.depth = 3;
    run.env.ray = &ray;
    EXPECT_EQ(ovotest::capturedStdout([&] { run.run(); }),
              "x=2.3 c=[1.000000 0.500000 0.000000] s=hi 7%\n"
              " 2.30|[1.000000 2.000000 3.000000]|[1.000000 0.000000 0.000000 0.000000 "
              "0.000000 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 "
              "0.000000 0.000000 0.000000 1.000000]|\n"
              "no value \n");
    const float fresnel15 = std::pow((1 / 1.5f - 1) / (1 / 1.5f + 1), 2.0f);
    const float kt15 = (1 - fresnel15) / (1.5f * 1.5f);
    const float fresnel133 = std::pow((1 / 1.33f - 1) / (1 / 1.33f + 1), 2.0f);
    // Noise is 0.5 on the integer lattice in every dimension; periodic noise repeats along every
    // axis and has no seam at the period; cell noise is constant within a cell (its values:
    // tests/shading/sl_library_test); catmull-rom passes through the inner values at the knots;
    // reflectance at normal incidence, and energy conservation (radiance scales by eta^2); the
    // library answers no option (the value stays), "Sides" as 2, the ray's depth.
    using Values = std::vector<std::pair<const char*, float>>;
    const Values exact = {
        {"lattice1", 0.5f}, {"lattice2", 0.5f}, {"lattice3", 0.5f}, {"lattice4", 0.5f},
        {"cellSame", 1},    {"cellC", 0},       {"optionFound", 0}, {"optionValue", 7},
        {"sidesFound", 1},  {"sides", 2},       {"rayFound", 1},    {"rayDepth", 3},
    };
    const Values close = {
        {"periodic1", 0}, {"periodic2", 0}, {"periodic3", 0},      {"periodicC", 0},
        {"knot0", 20},    {"knot3", 50},    {"linearMid", 5},      {"Kr15", fresnel15},
        {"Kt15", kt15},   {"distEnd", 5},   {"Kr133", fresnel133},
    };
    const std::pair<float, Values> byTolerance[] = {
        {0, exact},
        {1e-5f, close},
        {1e-6f, {{"periodicLattice", 0.5f}}},
        {1e-4f, {{"knot1", 40}, {"knot2", 30}, {"knotArray", 40}}},
        {0.01f, {{"periodicSeam", 0}}},
    };
    for (const auto& [tolerance, cases] : byTolerance)
        for (const auto& [name, value] : cases)
            EXPECT_NEAR(run.value<float>(name), value, tolerance) << name;
    EXPECT_TRUE(near(Tuple(run.value<Color>("latticeC")), Tuple(0.5f), 0));
    EXPECT_TRUE(near(run.value<Tuple>("latticeP"), Tuple(0.5f), 0));
    EXPECT_TRUE(near(Tuple(run.value<Color>("knotC")), Tuple(0.4f, 0.5f, 0.6f), 1e-5f));
    EXPECT_TRUE(near(run.value<Tuple>("knotP"), Tuple(1, 2, 3), 1e-5f));
    EXPECT_TRUE(near(run.value<Tuple>("Rn"), Tuple(0, 0, 1), 1e-6f));
    EXPECT_TRUE(near(run.value<Tuple>("Tn"), Tuple(0, 0, -1), 1e-6f));
    EXPECT_TRUE(near(run.value<Tuple>("turned"), Tuple(0, 1, 0), 1e-6f));
    EXPECT_TRUE(near(Tuple(run.value<Color>("hsv")), Tuple(0, 1, 1), 1e-6f));
    EXPECT_TRUE(near(Tuple(run.value<Color>("fromHsv")), Tuple(0, 0, 1), 1e-5f));
    // Noise away from the lattice fills [0, 1] around 0.5, each channel its own.
    EXPECT_GE(run.value<float>("lowest"), 0.0f);
    EXPECT_LE(run.value<float>("highest"), 1.0f);
    EXPECT_GT(run.value<float>("highest") - run.value<float>("lowest"), 0.5f);
    EXPECT_NEAR(run.value<float>("mean"), 0.5f, 0.05f);
    EXPECT_GT(run.value<float>("channelsDiffer"), 390.0f);
    run.env.derivPass = 1;
    EXPECT_EQ(ovotest::capturedStdout([&] { run.run(); }), "");
}

}  // namespace
