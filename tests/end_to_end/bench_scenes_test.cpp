// The benchmark scenes (bench/scenes, and what generate.py writes there at bench time) render
// cleanly and show what they are meant to: scripts/bench.sh times them, so a scene that fails
// or draws nothing would make its figures meaningless. Rendered tiny; nothing here is timed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/common/picture.h"
#include "tests/common/test_util.h"

namespace ovotest {
namespace {

const std::string BenchScenes = std::string(OVO_SOURCE_DIR) + "/bench/scenes/";

// The dominant channel of a pixel: 0 red, 1 green, 2 blue.
int dominant(const Picture& p, int x, int y) {
    const float r = p.at(x, y, 0), g = p.at(x, y, 1), b = p.at(x, y, 2);
    return r > g && r > b ? 0 : (g > b ? 1 : 2);
}

// Renders `rib` at 64x48 with 2x2 samples into dir/image.exr; the run must be clean.
Picture render(const ScratchDir& dir, const std::string& rib) {
    const CommandResult r =
        runCommand("cd '" + dir.path + "' && " + OVO_BINARY_DIR +
                   "/bin/ovo --res 64 48 --samples 2 -o image.exr '" + rib + "' 2>&1");
    EXPECT_EQ(r.status, 0) << rib;
    EXPECT_EQ(r.out, "") << rib << ": a bench scene renders without a message";
    Picture p;
    p.read(dir / "image.exr");
    return p;
}

// Runs generate.py; gives what it printed (the count it wrote).
std::string generate(const ScratchDir& dir, const std::string& args) {
    const CommandResult r = runCommand("cd '" + dir.path + "' && /usr/bin/python3 '" + BenchScenes +
                                       "generate.py' " + args);
    EXPECT_EQ(r.status, 0) << args;
    return r.out;
}

TEST(BenchScenes, ThreeSpheresShowRedGreenBlueOnALitFloor) {
    ScratchDir dir;
    const Picture p = render(dir, BenchScenes + "three_spheres.rib");
    ASSERT_EQ(p.width, 64);
    // Left to right at mid-height: red matte, green plastic, blue plastic.
    EXPECT_EQ(dominant(p, 18, 24), 0);
    EXPECT_EQ(dominant(p, 32, 24), 1);
    EXPECT_EQ(dominant(p, 46, 24), 2);
    EXPECT_EQ(p.litInRows(0, 1), 0) << "empty sky above";
    EXPECT_EQ(p.litInRows(47, 48), 64) << "the floor fills the bottom row";
}

TEST(BenchScenes, ThousandSpheresFillTheirBoxInBothMaterials) {
    ScratchDir dir;
    const Picture p = render(dir, BenchScenes + "thousand_spheres.rib");
    ASSERT_EQ(p.width, 64);
    EXPECT_EQ(p.litInRows(0, 1), 0);
    // The lattice covers most of the band between the top of the box and the floor.
    EXPECT_GT(p.litInRows(8, 24), 64 * 16 / 2);
    int red = 0, blue = 0;
    for (int y = 8; y < 24; ++y)
        for (int x = 0; x < 64; ++x) {
            if (!p.lit(x, y)) continue;
            red += dominant(p, x, y) == 0;
            blue += dominant(p, x, y) == 2;
        }
    EXPECT_GT(red, 64);
    EXPECT_GT(blue, 64);
}

TEST(BenchScenes, GeneratedSpheresAreCountedInBothFormats) {
    // A count that is not a cube leaves the lattice's last layer partly empty.
    for (int count : {1, 30, 1000}) {
        ScratchDir dir;
        EXPECT_EQ(generate(dir, "spheres " + std::to_string(count) + " scene"),
                  std::to_string(count) + "\n");
        EXPECT_EQ(occurrences(readText(dir / "scene.rib"), " Sphere "), size_t(count));
        EXPECT_EQ(occurrences(readText(dir / "scene.pov"), "sphere {"), size_t(count));
    }
    // The committed thousand-sphere scene is what the generator writes.
    ScratchDir dir;
    generate(dir, "spheres 1000 thousand_spheres");
    EXPECT_EQ(readText(dir / "thousand_spheres.rib"),
              readText(BenchScenes + "thousand_spheres.rib"));
    EXPECT_EQ(readText(dir / "thousand_spheres.pov"),
              readText(BenchScenes + "thousand_spheres.pov"));
}

TEST(BenchScenes, GeneratedMeshCoversTheWholeFrame) {
    ScratchDir dir;
    // 10x10 quads: 200 triangles, each listed in both files.
    EXPECT_EQ(generate(dir, "mesh 200 wall"), "200\n");
    const std::string pov = readText(dir / "wall.pov");
    EXPECT_NE(pov.find("vertex_vectors { 121,"), std::string::npos);
    EXPECT_NE(pov.find("face_indices { 200,"), std::string::npos);
    const Picture p = render(dir, dir / "wall.rib");
    ASSERT_EQ(p.width, 64);
    EXPECT_EQ(p.litInRows(0, 48), 64 * 48) << "a hole in the mesh or a frame it does not fill";
}

}  // namespace
}  // namespace ovotest
