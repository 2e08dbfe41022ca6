// A noisy shaded frame is the same bit for bit whatever threads, bucket order or crop windows
// render it: every pixel has its own seed, and per-thread state stays per thread.
#include <OpenImageIO/imagebuf.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "api/api_test_util.h"
#include "core/math/random.h"

using namespace ovo;

namespace {

const int Width = 40, Height = 30;

// How a frame is rendered.
struct Way {
    int threads, bucket;
    const char* order;
    float crop[4];
    int frame;
};

class NoisyFrames : public ovo::testing::RaytracerTest {
  protected:
    // Jittered samples and an occlusion gathered at every shading point with few rays: every
    // pixel depends on many random numbers. Returns the full frame, zero outside the crop.
    std::vector<float> render(const Way& s) {
        // Float TIFF: OpenEXR's own writer threads hold more locks at once than ThreadSanitizer
        // can follow.
        const std::string file = dir / ("f" + std::to_string(count++) + ".tif");
        const int res[2] = {Width, Height}, size[2] = {s.bucket, s.bucket};
        renderer->Attribute("int[2] resolution", res);
        renderer->Attribute("int[2] limits:bucketsize", size);
        renderer->Attribute("string bucketorder", s.order);
        renderer->Attribute("int limits:threads", s.threads);
        renderer->Attribute("float[4] crop", s.crop);
        renderer->Attribute("int frame", s.frame);
        const int asFloat[4] = {0, 0, 0, 0};
        renderer->Parameter("int[4] quantize", asFloat);
        renderer->Output(file.c_str(), "tiff", "rgba", "camera");
        renderer->Attribute("string path:shader",
                            (ovotest::pluginDir(ovotest::Plugins::TestOnly) + ":&").c_str());
        renderer->World();
        renderer->Parameter("float samples", 6.0f);
        renderer->Parameter("float maxerror", 0.0f);
        renderer->Shader("surface", "occlusion", nullptr);
        sphereAt(0.3f, 0.2f, 4.0f, 1.2f);
        const float P[12] = {-9, -1.2f, -9, 9, -1.2f, -9, 9, -1.2f, 9, -9, -1.2f, 9};
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
        // Rays of one thread meet these in another order in every way: other shaders, one
        // that runs the derivative passes ("derivs": Ci = (Du(u), Dv(u), Du(v))), a
        // half-transparent surface, per-vertex variables and traced shadows.
        renderer->Attribute("string light:shadows", "on");
        const float from[3] = {-2.0f, 3.0f, 1.0f}, Os[3] = {0.5f, 0.5f, 0.5f};
        renderer->Parameter("point from", from);
        renderer->Parameter("float intensity", 8.0f);
        renderer->Light("bulb", "pointlight", nullptr);
        renderer->Shader("surface", "derivs", nullptr);
        sphereAt(-1.4f, 1.1f, 4.0f, 0.8f);
        renderer->PushAttributes();
        renderer->Shader("surface", "plastic", nullptr);
        renderer->Attribute("color opacity", Os);
        sphereAt(-1.3f, -0.6f, 2.8f, 0.5f);
        renderer->PopAttributes();
        const float Q[12] = {0.8f, -1.2f, 2.5f, 1.8f, -1.2f, 2.5f,
                             1.8f, 0.2f,  3.5f, 0.8f, 0.2f,  3.5f};
        const float N[12] = {0, 1, 0, 1, 1, 0, 0, 1, -1, -1, 0, -1};
        const float Cs[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0};
        renderer->Shader("surface", "matte", nullptr);
        renderer->Parameter("point P", Q);
        renderer->Parameter("normal N", N);
        renderer->Parameter("color Cs", Cs);
        renderer->Polygon(4);
        renderer->Render(nullptr);
        renderer->Attribute("int limits:threads", -1);
        expectSilence();

        // The whole frame: pixels outside the file's window read as zero.
        std::vector<float> frame(Width * Height * 4, -1.0f);
        OIIO::ImageBuf in(file);
        EXPECT_TRUE(in.get_pixels(OIIO::ROI(0, Width, 0, Height, 0, 1, 0, 4), OIIO::TypeDesc::FLOAT,
                                  frame.data()))
            << file;
        return frame;
    }

    static int differing(const std::vector<float>& a, const std::vector<float>& b) {
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
        return n;
    }

    ovotest::ScratchDir dir;
    int count = 0;
};

// Caught: jitter or shading drawing from a per-thread sequence (the numbers a pixel gets depend
// on which pixels its thread did before), a reused hit record keeping a value of the thread's
// previous ray, a derivative block or light cache shared between threads, a film sum whose
// rounding depends on the order in which buckets' tiles arrive, a tile merged twice or not at
// all at a bucket border, tiles that drop or repeat a column where crop windows meet.
TEST_F(NoisyFrames, ThreadsBucketOrdersAndCropWindowsGiveTheSamePixels) {
    const Way whole = {1, 1, "horizontal", {0, 1, 0, 1}, 1};
    const std::vector<float> reference = render(whole);
    std::set<float> values(reference.begin(), reference.end());
    EXPECT_GT(values.size(), 400u);  // noisy: otherwise the test would prove nothing
    int derivatives = 0;  // the derivs sphere shows its derivatives: Du(u) > 0, Dv(u) = 0
    for (size_t i = 0; i < reference.size(); i += 4)
        derivatives += reference[i] > 0.05f && reference[i + 1] < 1e-4f;
    EXPECT_GT(derivatives, 8);

    const Way others[] = {
        {2, 7, "spiral", {0, 1, 0, 1}, 1},
        {2, 5, "vertical", {0, 1, 0, 1}, 1},
        {1, 16, "horizontal", {0, 1, 0, 1}, 1},
    };
    for (const Way& s : others)
        EXPECT_EQ(differing(render(s), reference), 0)
            << s.threads << " " << s.order << " " << s.bucket;

    // Three by two tiles at uneven edges, added up.
    const float xs[] = {0.0f, 0.3f, 0.55f, 1.0f}, ys[] = {0.0f, 0.47f, 1.0f};
    std::vector<float> stitched(reference.size(), 0.0f);
    for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 3; ++i) {
            const Way tile = {
                2, 6, i % 2 ? "spiral" : "horizontal", {xs[i], xs[i + 1], ys[j], ys[j + 1]}, 1};
            const std::vector<float> part = render(tile);
            for (size_t k = 0; k < part.size(); ++k) stitched[k] += part[k];
        }
    }
    EXPECT_EQ(differing(stitched, reference), 0);

    // Another frame number gives other noise.
    Way next = whole;
    next.frame = 2;
    EXPECT_GT(differing(render(next), reference), 200);
}

TEST(PixelSeed, NeighboursAndFramesGetDistinctNonZeroSeeds) {
    std::set<uint32_t> seeds;
    for (int frame = 0; frame < 3; ++frame)
        for (int y = -2; y < 30; ++y)
            for (int x = -2; x < 30; ++x) {
                const uint32_t s = pixelSeed(x, y, frame);
                EXPECT_NE(s, 0u);
                seeds.insert(s);
            }
    EXPECT_EQ(seeds.size(), 3u * 32u * 32u);
}

}  // namespace
