// The benchmark scenes (bench/scenes, and what generate.py writes there at bench time) render
// cleanly and show what they are meant to: scripts/bench.sh times them, so a scene that fails
// or draws nothing would make its figures meaningless. Rendered tiny; nothing here is timed.
#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/test_util.h"

namespace ovotest {
namespace {

const std::string BenchScenes = std::string(OVO_SOURCE_DIR) + "/bench/scenes/";

// Runs `command` in `dir` with its output kept there; returns the exit status.
int runIn(const ScratchDir& dir, const std::string& command) {
    const int s = std::system(("cd '" + dir.path + "' && " + command).c_str());
    return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
}

std::string readFile(const std::string& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

size_t occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
}

struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<float> pixels;
    float at(int x, int y, int c) const { return pixels[(size_t(y) * width + x) * channels + c]; }
    bool lit(int x, int y) const { return at(x, y, 0) + at(x, y, 1) + at(x, y, 2) > 0.004f; }
    int dominant(int x, int y) const {
        const float r = at(x, y, 0), g = at(x, y, 1), b = at(x, y, 2);
        return r > g && r > b ? 0 : (g > b ? 1 : 2);
    }
    int litInRows(int y0, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < width; ++x) n += lit(x, y);
        return n;
    }
};

// Renders `rib` at 64x48 with 2x2 samples into dir/image.exr; the run must be clean.
Picture render(const ScratchDir& dir, const std::string& rib) {
    const int status =
        runIn(dir, std::string(OVO_BINARY_DIR) + "/bin/ovo --res 64 48 --samples 2 -o image.exr '" +
                       rib + "' >stdout 2>stderr");
    EXPECT_EQ(status, 0) << rib;
    EXPECT_EQ(readFile(dir / "stderr"), "") << rib << ": a bench scene renders without a message";
    Picture p;
    OIIO::ImageBuf buf(dir / "image.exr");
    if (!buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return p;
    p.width = buf.spec().width;
    p.height = buf.spec().height;
    p.channels = buf.nchannels();
    p.pixels.resize(size_t(p.width) * p.height * p.channels);
    buf.get_pixels(buf.roi(), OIIO::TypeDesc::FLOAT, p.pixels.data());
    return p;
}

// Runs generate.py; gives what it printed (the count it wrote).
std::string generate(const ScratchDir& dir, const std::string& args) {
    EXPECT_EQ(runIn(dir, "/usr/bin/python3 '" + BenchScenes + "generate.py' " + args + " >count"),
              0)
        << args;
    return readFile(dir / "count");
}

TEST(BenchScenes, ThreeSpheresShowRedGreenBlueOnALitFloor) {
    ScratchDir dir;
    const Picture p = render(dir, BenchScenes + "three_spheres.rib");
    ASSERT_EQ(p.width, 64);
    // Left to right at mid-height: red matte, green plastic, blue plastic.
    EXPECT_EQ(p.dominant(18, 24), 0);
    EXPECT_EQ(p.dominant(32, 24), 1);
    EXPECT_EQ(p.dominant(46, 24), 2);
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
            red += p.dominant(x, y) == 0;
            blue += p.dominant(x, y) == 2;
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
        EXPECT_EQ(occurrences(readFile(dir / "scene.rib"), " Sphere "), size_t(count));
        EXPECT_EQ(occurrences(readFile(dir / "scene.pov"), "sphere {"), size_t(count));
    }
    // The committed thousand-sphere scene is what the generator writes.
    ScratchDir dir;
    generate(dir, "spheres 1000 thousand_spheres");
    EXPECT_EQ(readFile(dir / "thousand_spheres.rib"),
              readFile(BenchScenes + "thousand_spheres.rib"));
    EXPECT_EQ(readFile(dir / "thousand_spheres.pov"),
              readFile(BenchScenes + "thousand_spheres.pov"));
}

TEST(BenchScenes, OneGeneratedSphereSitsAboveTheCentre) {
    ScratchDir dir;
    generate(dir, "spheres 1 one");
    const Picture p = render(dir, dir / "one.rib");
    ASSERT_EQ(p.width, 64);
    EXPECT_TRUE(p.lit(32, 19));
    EXPECT_EQ(p.dominant(32, 19), 0);
    EXPECT_EQ(p.litInRows(0, 1), 0);
}

TEST(BenchScenes, GeneratedMeshCoversTheWholeFrame) {
    ScratchDir dir;
    // 10x10 quads: 200 triangles, each listed in both files.
    EXPECT_EQ(generate(dir, "mesh 200 wall"), "200\n");
    const std::string pov = readFile(dir / "wall.pov");
    EXPECT_NE(pov.find("vertex_vectors { 121,"), std::string::npos);
    EXPECT_NE(pov.find("face_indices { 200,"), std::string::npos);
    const Picture p = render(dir, dir / "wall.rib");
    ASSERT_EQ(p.width, 64);
    EXPECT_EQ(p.litInRows(0, 48), 64 * 48) << "a hole in the mesh or a frame it does not fill";
}

}  // namespace
}  // namespace ovotest
