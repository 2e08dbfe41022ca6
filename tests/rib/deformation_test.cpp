// Deformation blur: a motion block of one geometry request becomes one copy of the shape per
// slice of the shutter, its numbers blended at the slice's middle and its window set around it;
// samples that differ in more than their numbers draw the first sample, reported once.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/rib/recorder.h"

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
        {"MotionBegin [0 1]\nPointsPolygons [3] [0 1 2] \"P\" [$9]\nPointsPolygons [3] [0 2 1] "
         "\"P\" [$9]\nMotionEnd",
         "Parameter(vertex point P: $9); Mesh(linear 1 [3] [0 1 2]); W: test.rib:3: "
         "PointsPolygons: the motion samples differ in more than their numbers (argument 2). Using "
         "the first sample ..."},
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
