// End to end: every example scene in scenes/ rendered through the ovo command at a small
// resolution, checked for a clean run (no message at all), its image and its coverage.
#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct TempDir {
    TempDir() {
        char name[] = "/tmp/ovo-scenes-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        if (path.empty()) return;
        std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "cannot remove %s\n", path.c_str());
    }
    std::string path;
};

std::string slurp(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CommandRun {
    int status = -1;
    std::string out, err;
};

// Runs the ovo command in `dir` with `args`, capturing both streams.
CommandRun ovo(const std::string& dir, const std::string& args, const std::string& input = "") {
    CommandRun r;
    std::string command = "cd '" + dir + "' && " + std::string(OVO_BINARY_DIR) + "/bin/ovo " +
                          args + " >'" + dir + "/stdout' 2>'" + dir + "/stderr'";
    if (!input.empty()) {
        std::ofstream(dir + "/stdin.rib") << input;
        command += " <'" + dir + "/stdin.rib'";
    }
    int s = std::system(command.c_str());
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    r.out = slurp(dir + "/stdout");
    r.err = slurp(dir + "/stderr");
    return r;
}

struct Image {
    int width = 0, height = 0, channels = 0;
    std::vector<float> pixels;
    bool read(const std::string& file) {
        OIIO::ImageBuf buf(file);
        if (!buf.read(0, 0, true, OIIO::TypeDesc::FLOAT)) return false;
        width = buf.spec().width;
        height = buf.spec().height;
        channels = buf.nchannels();
        pixels.resize(std::size_t(width) * height * channels);
        return buf.get_pixels(buf.roi(), OIIO::TypeDesc::FLOAT, pixels.data());
    }
    float at(int x, int y, int c) const {
        return pixels[(std::size_t(y) * width + x) * channels + c];
    }
    // Every sample carries alpha 1, so what a scene covers shows in its colour: a ray that
    // misses everything leaves black.
    bool lit(int x, int y) const { return at(x, y, 0) + at(x, y, 1) + at(x, y, 2) > 0.004f; }
    double coverage() const {
        long n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) n += lit(x, y);
        return double(n) / (double(width) * height);
    }
    // Mean of the colour channels over covered pixels.
    double meanColour() const {
        double sum = 0;
        long n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (lit(x, y)) {
                    sum += (at(x, y, 0) + at(x, y, 1) + at(x, y, 2)) / 3;
                    ++n;
                }
        return n ? sum / double(n) : 0;
    }
    double meanRed() const {
        double sum = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) sum += at(x, y, 0);
        return sum / (double(width) * height);
    }
};

struct SceneCase {
    const char* file;
    double minCoverage, maxCoverage;  // fraction of the frame the scene's geometry covers
};

}  // namespace

TEST(ExampleScenes, EachRendersCleanlyWithItsCoverage) {
    // Each scene stands on a floor that fills the lower part of the frame, with sky above.
    const SceneCase cases[] = {
        {"example.rib", 0.5, 0.97},     {"quadrics.rib", 0.4, 0.95},  {"polygons.rib", 0.3, 0.95},
        {"solids.rib", 0.04, 0.6},      {"instances.rib", 0.5, 0.97}, {"motionblur.rib", 0.3, 0.95},
        {"dof.rib", 0.3, 0.95},         {"teapot.rib", 0.5, 0.97},    {"trimmed.rib", 0.5, 0.97},
        {"subdivision.rib", 0.5, 0.97}, {"curves.rib", 0.5, 0.97},    {"patterns.rib", 0.6, 0.95},
    };
    for (const SceneCase& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        ASSERT_FALSE(dir.path.empty());
        const std::string image = dir.path + "/image.png";
        CommandRun r = ovo(dir.path, "--res 96 54 --samples 2 -o '" + image + "' '" +
                                         OVO_SOURCE_DIR + "/scenes/" + c.file + "'");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "") << "a scene must render without a message";
        Image img;
        ASSERT_TRUE(img.read(image));
        EXPECT_EQ(img.width, 96);
        EXPECT_EQ(img.height, 54);
        ASSERT_EQ(img.channels, 4);
        const double cov = img.coverage();
        EXPECT_GT(cov, c.minCoverage);
        EXPECT_LT(cov, c.maxCoverage);
        // The top-left corner shows the sky, the bottom-centre the floor.
        EXPECT_FALSE(img.lit(0, 0));
        if (std::string(c.file) != "solids.rib") {
            EXPECT_TRUE(img.lit(48, 53));
        }
        // Lit and shaded: covered pixels are neither black nor blown out on average.
        const double mean = img.meanColour();
        EXPECT_GT(mean, 0.05);
        EXPECT_LT(mean, 0.95);
    }
}

TEST(ExampleScenes, StandardInputProgressAndFailures) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string scene =
        "Display \"x.tif\" \"file\" \"rgb\"\nFormat 32 32 1\nProjection \"orthographic\"\n"
        "WorldBegin\nSurface \"constant\"\nTranslate 0 0 5\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n";

    // "-" reads the scene from standard input; the progress bar ends at 100%.
    CommandRun r = ovo(dir.path, "--progress -o piped.tif -", scene);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
    Image img;
    ASSERT_TRUE(img.read(dir.path + "/piped.tif"));
    // A white constant sphere of radius 0.5 under the orthographic screen window -1..1 covers
    // pi/16 of the frame; the filtered edge keeps the mean exact.
    EXPECT_NEAR(img.meanRed(), 3.14159265 / 16, 0.01);

    // A file that cannot be read fails the run, names the file, and the others still render.
    r = ovo(dir.path, "missing.rib -", scene);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("missing.rib"), std::string::npos) << r.err;
    EXPECT_TRUE(img.read(dir.path + "/x.tif"));

    // A malformed request names its file and line; the run reports failure.
    std::ofstream(dir.path + "/bad.rib") << "Format 32 32 1\nSphere 1 -1\nWorldBegin\nWorldEnd\n";
    r = ovo(dir.path, "bad.rib");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("bad.rib:2:"), std::string::npos) << r.err;
}
