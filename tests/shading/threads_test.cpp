// Shading where threads and pieces meet: a shaded frame is the same however many threads render
// it and however buckets cut it (derivative passes, light caches and film tiles are per thread
// or per bucket).
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "api/api_test_util.h"

using namespace ovo;

namespace {

class ShadedFrames : public ovo::testing::RaytracerTest {
  protected:
    // The frame as floats: a "derivs" sphere (colour from its u and v derivatives) in front of
    // a matte wall under a shadowing distant light and a point light.
    std::vector<float> render(int threads, int bucket, const char* order) {
        const std::string file = dir / (order + std::to_string(threads * 100 + bucket) + ".exr");
        const int noJitter = 0;
        renderer->getOptions().samplerParameters.push_back("jitter", ParamType(TypeInt), &noJitter,
                                                           true);
        renderer->Attribute("string path:shader",
                            (ovotest::pluginDir(ovotest::Plugins::TestOnly) + ":&").c_str());
        const int res[2] = {48, 36}, size[2] = {bucket, bucket};
        renderer->Attribute("int[2] resolution", res);
        renderer->Attribute("int[2] limits:bucketsize", size);
        renderer->Attribute("string bucketorder", order);
        renderer->Attribute("int limits:threads", threads);
        renderer->Output(file.c_str(), "openexr", "rgba", "camera");
        renderer->World();
        renderer->Attribute("string light:shadows", "on");
        const float to[3] = {0.3f, -0.2f, 1.0f}, from[3] = {1.0f, 1.0f, 1.0f};
        renderer->Parameter("point to", to);
        renderer->Light("sun", "distantlight", nullptr);
        renderer->Parameter("point from", from);
        renderer->Parameter("float intensity", 20.0f);
        renderer->Light("bulb", "pointlight", nullptr);
        renderer->PushAttributes();
        renderer->Shader("surface", "derivs", nullptr);
        renderer->Translate(0.0f, 0.0f, 5.0f);
        renderer->Sphere(2.5f);
        renderer->PopAttributes();
        renderer->Shader("surface", "matte", nullptr);
        const float P[12] = {-20, -20, 9, 20, -20, 9, 20, 20, 9, -20, 20, 9};
        renderer->Parameter("point P", P);
        renderer->Polygon(4);
        renderer->Render(nullptr);
        renderer->Attribute("int limits:threads", -1);
        expectSilence();
        auto in = OIIO::ImageInput::open(file);
        std::vector<float> px(48 * 36 * 4);
        EXPECT_TRUE(in && in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, px.data())) << file;
        return px;
    }
    ovotest::ScratchDir dir;
};

// Caught: a derivative block or light cache shared between threads, a tile merged twice or
// not at all at a bucket border, a bucket written before a neighbour's samples arrived.
TEST_F(ShadedFrames, OneThreadAndTwoGiveTheSameImage) {
    const std::vector<float> streamed = render(1, 1, "horizontal");
    int lit = 0, sphere = 0;
    for (size_t i = 0; i < streamed.size(); i += 4) {
        lit += streamed[i + 1] > 0.05f;
        sphere += streamed[i] > 0.05f && streamed[i + 1] < 1e-4f;
    }
    EXPECT_GT(lit, 300);     // the wall is lit
    EXPECT_GT(sphere, 100);  // the sphere shows its derivatives, and they are not all 0
    for (auto [bucket, order] : {std::make_pair(5, "spiral"), std::make_pair(16, "horizontal")}) {
        const std::vector<float> threaded = render(2, bucket, order);
        int differing = 0;
        for (size_t i = 0; i < streamed.size(); ++i)
            differing +=
                !(std::fabs(threaded[i] - streamed[i]) <= 2e-3f * (1.0f + std::fabs(streamed[i])));
        EXPECT_EQ(differing, 0) << order << " " << bucket;
    }
}

}  // namespace
