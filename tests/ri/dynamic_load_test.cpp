// Procedural "DynamicLoad": an object the test built, loaded by the RIB reader, draws into the
// frame being read through the binding, nested procedurals included; what cannot be loaded is
// reported with the file and line, and the frame goes on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/api/renderer_api.h"
#include "tests/common/test_util.h"
#include "tests/ri/picture.h"

using ovotest::CapturingManager;
using ovotest::Picture;
using ovotest::readPicture;
using ovotest::ScratchDir;

namespace {

// Three columns of 32 pixels over x in [-3, 3]: whatever `procedurals` draw, then a white
// square in the third column drawn by the file after them.
std::string scene(const std::string& picture, const std::string& procedurals) {
    return "Option \"searchpath\" \"procedural\" [\"" OVO_RI_TEST_DIR ":" + ovotest::pluginDir() +
           "\"]\n"
           "Format 96 32 1\nDisplay \"" +
           picture +
           "\" \"file\" \"rgba\"\n"
           "Projection \"orthographic\"\nScreenWindow -3 3 -1 1\n"
           "Translate 0 0 5\nWorldBegin\nSurface \"constant\"\n" +
           procedurals +
           "Polygon \"P\" [1.2 -0.8 0 2.8 -0.8 0 2.8 0.8 0 1.2 0.8 0]\n"
           "WorldEnd\n";
}

std::vector<std::string> errors(const CapturingManager& m) {
    std::vector<std::string> found;
    for (const ovotest::Report& r : m.handler.reports)
        if (r.level() >= OIIO::ErrorHandler::EH_ERROR) found.push_back(r.text);
    return found;
}

Picture render(const ScratchDir& dir, const std::string& procedurals, CapturingManager& m) {
    const std::string file = dir.write("scene.rib", scene(dir / "out.tif", procedurals));
    std::unique_ptr<ovo::RendererAPI> renderer(
        ovo::RendererAPI::CreateRenderer("raytracer", m.manager));
    renderer->Input(file.c_str());
    renderer.reset();
    return readPicture(dir / "out.tif");
}

}  // namespace

// The ovo command does not link the binding: the object's Ri calls resolve against the copy the
// reader plugin brought in.
TEST(RiDynamicLoad, TheOvoCommandRunsObjectsThoughItDoesNotLinkTheBinding) {
    ScratchDir dir;
    const std::string file = dir.write(
        "scene.rib", scene(dir / "out.tif",
                           "Procedural \"DynamicLoad\" [\"ri_squares\" \"2\"] [-3 3 -1 1 -1 1]\n"));
    const std::string command = OVO_BINARY_DIR "/bin/ovo -q '" + file + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const Picture p = readPicture(dir / "out.tif");
    ASSERT_EQ(p.width, 96);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(coverage(p, 32 * k, 32 * k + 32), 0.64, 0.02) << k;
}

TEST(RiDynamicLoad, AnObjectAndItsNestedProceduralDrawInTheirOwnAttributeBlock) {
    ScratchDir dir;
    CapturingManager m;
    const Picture p =
        render(dir, "Procedural \"DynamicLoad\" [\"ri_squares\" \"2\"] [-3 3 -1 1 -1 1]\n", m);
    EXPECT_EQ(errors(m), std::vector<std::string>());
    ASSERT_EQ(p.width, 96);
    // Column centres: green from the object's RiColor, blue from the nested procedural's "Cs",
    // white from the file once the object's attribute block has closed.
    const float expected[3][3] = {{0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    for (int k = 0; k < 3; ++k) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(p.at(16 + 32 * k, 16, c), expected[k][c], 1e-3f) << k << " " << c;
        // Each square covers 0.8 of its column's width and height.
        EXPECT_NEAR(coverage(p, 32 * k, 32 * k + 32), 0.64, 0.02) << k;
    }
}

TEST(RiDynamicLoad, WhatCannotBeLoadedIsReportedAndTheFrameGoesOn) {
    ScratchDir dir;
    CapturingManager m;
    // A plugin is a loadable object without the procedural's entry points.
    const Picture p = render(dir,
                             "Procedural \"DynamicLoad\" [\"nothere\" \"\"] [0 1 0 1 0 1]\n"
                             "Procedural \"DynamicLoad\" [\"sphere.shape\" \"\"] [0 1 0 1 0 1]\n"
                             "Procedural \"DynamicLoad\" [\"ri_squares\"] [0 1 0 1 0 1]\n",
                             m);
    const std::string at = dir / "scene.rib" + ":";
    EXPECT_EQ(errors(m),
              (std::vector<std::string>{
                  at + "9: Procedural: cannot find object \"nothere\". Skipping ...",
                  at + "10: Procedural: object \"sphere.shape\" has no ConvertParameters "
                       "function. Skipping ...",
                  at + "11: Procedural: \"DynamicLoad\" needs 2 arguments. Skipping ..."}));
    ASSERT_EQ(p.width, 96);
    EXPECT_NEAR(coverage(p, 0, 64), 0.0, 1e-6);
    EXPECT_NEAR(coverage(p, 64, 96), 0.64, 0.02);
}
