// Options: defaults, every option name with its checks and side effects, and search paths.
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/plugins/search_path.h"
#include "sys/tasking.h"
#include "tests/api/api_test_util.h"

namespace ovo {
namespace testing {
namespace {

// Sets or unsets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name(name) {
        const char* old = std::getenv(name);
        had = old != nullptr;
        if (had) previous = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had) {
            setenv(name, previous.c_str(), 1);
        } else {
            unsetenv(name);
        }
    }

  private:
    const char* name;
    bool had;
    std::string previous;
};

TEST(OptionsRecord, Defaults) {
    ScopedEnv home("OVO_HOME", nullptr);
    const Options o;
    EXPECT_EQ(o.projection, "perspective");
    EXPECT_EQ(o.resolution[0], 640);
    EXPECT_EQ(o.resolution[1], 480);
    EXPECT_FLOAT_EQ(o.frameAspect, 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(o.screen[0], -4.0f / 3.0f);
    EXPECT_FLOAT_EQ(o.screen[1], 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(o.screen[2], -1.0f);
    EXPECT_FLOAT_EQ(o.screen[3], 1.0f);
    EXPECT_TRUE(o.screenAutomatic);
    EXPECT_EQ(o.pixelSamples[0], 2);
    EXPECT_EQ(o.threads, -1);
    EXPECT_EQ(o.specularModel, SpecularBmrt);
    EXPECT_EQ(o.searchPaths.input, ".:./inputs");
    EXPECT_EQ(o.searchPaths.plugin, ".:./plugins");
    EXPECT_EQ(o.searchPaths.shader, ".:./shaders");
    EXPECT_EQ(o.searchPaths.texture, ".:./textures");
    EXPECT_EQ(o.searchPaths.procedural, ".");
}

TEST(OptionsRecord, SearchPathsFollowOvoHome) {
    ScopedEnv home("OVO_HOME", "/opt/ovo");
    const SearchPaths paths;
    EXPECT_EQ(paths.input, ".:./inputs:/opt/ovo/inputs");
    EXPECT_EQ(paths.plugin, ".:./plugins:/opt/ovo/plugins");
    EXPECT_EQ(paths.shader, ".:./shaders:/opt/ovo/shaders");
    EXPECT_EQ(paths.texture, ".:./textures:/opt/ovo/textures");
    EXPECT_EQ(paths.procedural, ".:/opt/ovo/plugins");
}

TEST(OptionsRecord, CopiesOwnTheirParameterValues) {
    Options outer;
    const float big[4] = {1, 2, 3, 4};
    outer.samplerParameters.push_back("jitter", ParamType(TypeFloat, 4), big, true);
    Options* inner = new Options(outer);
    outer.samplerParameters.clear();  // the copy must not depend on the original's block
    const float* copied = inner->samplerParameters.findFloats("jitter");
    ASSERT_NE(copied, nullptr);
    EXPECT_FLOAT_EQ(copied[3], 4.0f);
    delete inner;
}

TEST_F(RaytracerTest, FrameAspectAndScreenWindow) {
    const int res[2] = {1000, 500};
    renderer->Attribute("int[2] resolution", res);
    renderer->Attribute("float pixelaspect", 2.0f);
    const Options& o = renderer->getOptions();
    EXPECT_FLOAT_EQ(o.frameAspect, 4.0f);
    EXPECT_FLOAT_EQ(o.screen[0], -4.0f);
    EXPECT_FLOAT_EQ(o.screen[1], 4.0f);
    EXPECT_FLOAT_EQ(o.screen[2], -1.0f);
    EXPECT_FLOAT_EQ(o.screen[3], 1.0f);

    const float square[4] = {-1, 1, -1, 1};
    renderer->Attribute("float[4] screen", square);
    EXPECT_FALSE(o.screenAutomatic);
    const int res2[2] = {300, 100};
    renderer->Attribute("int[2] resolution", res2);
    EXPECT_FLOAT_EQ(o.frameAspect, 6.0f);
    EXPECT_FLOAT_EQ(o.screen[0], -1.0f);
    EXPECT_FLOAT_EQ(o.screen[1], 1.0f);

    float read[4] = {0, 0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("float[4] screen", read));
    EXPECT_FLOAT_EQ(read[0], -1.0f);
    EXPECT_FLOAT_EQ(read[3], 1.0f);
    expectSilence();
}

TEST_F(RaytracerTest, CropWindowMustBeValid) {
    const Options& o = renderer->getOptions();
    const float inverted[4] = {0.5f, 0.2f, 0.0f, 1.0f};
    renderer->Attribute("float[4] crop", inverted);
    EXPECT_FLOAT_EQ(o.crop[0], 0.0f);
    EXPECT_FLOAT_EQ(o.crop[1], 1.0f);
    const float empty[4] = {0.0f, 1.0f, 0.5f, 0.5f};
    renderer->Attribute("float[4] crop", empty);
    EXPECT_FLOAT_EQ(o.crop[2], 0.0f);
    expectSilence();
    const float valid[4] = {0.25f, 0.75f, 0.1f, 0.9f};
    renderer->Attribute("float[4] crop", valid);
    EXPECT_FLOAT_EQ(o.crop[0], 0.25f);
    EXPECT_FLOAT_EQ(o.crop[1], 0.75f);
    EXPECT_FLOAT_EQ(o.crop[2], 0.1f);
    EXPECT_FLOAT_EQ(o.crop[3], 0.9f);
}

TEST_F(RaytracerTest, TemporalQualityRaisesPixelSamples) {
    const Options& o = renderer->getOptions();
    renderer->Attribute("int temporalquality", 2);  // round(sqrt 2) = 1: no change
    EXPECT_EQ(o.pixelSamples[0], 2);
    EXPECT_EQ(o.pixelSamples[1], 2);
    renderer->Attribute("int temporalquality", 16);
    EXPECT_EQ(o.pixelSamples[0], 4);
    EXPECT_EQ(o.pixelSamples[1], 4);
    renderer->Attribute("int temporalquality", 30);  // sqrt 30 = 5.48 rounds to 5
    EXPECT_EQ(o.pixelSamples[0], 5);
    const int samples[2] = {7, 1};
    renderer->Attribute("int[2] spatialquality", samples);
    renderer->Attribute("int temporalquality", 9);
    EXPECT_EQ(o.pixelSamples[0], 7);  // never lowered
    EXPECT_EQ(o.pixelSamples[1], 3);
    renderer->Attribute("int temporalquality", -4);
    EXPECT_EQ(o.pixelSamples[1], 3);
    expectSilence();
}

TEST_F(RaytracerTest, ThreadCountIsClamped) {
    const int logical = sys::getNumberOfLogicalThreads();
    renderer->Attribute("int limits:threads", 1000);
    EXPECT_EQ(renderer->getOptions().threads, logical);
    EXPECT_EQ(sys::TaskScheduler::getInstance()->getNumThreads(), unsigned(logical));
    renderer->Attribute("int limits:threads", -5);
    EXPECT_EQ(renderer->getOptions().threads, -1);
    renderer->Attribute("int limits:threads", 1);
    EXPECT_EQ(renderer->getOptions().threads, 1);
    EXPECT_EQ(sys::TaskScheduler::getInstance()->getNumThreads(), 1u);
    renderer->Attribute("int limits:threads", -1);
    EXPECT_EQ(sys::TaskScheduler::getInstance()->getNumThreads(), unsigned(logical));
    expectSilence();
}

TEST_F(RaytracerTest, EveryOptionReachesItsField) {
    const Options& o = renderer->getOptions();
    renderer->Attribute("string projection", "orthographic");
    renderer->Attribute("string filter", "box");
    renderer->Attribute("string sampler", "random");
    renderer->Attribute("string accelerator", "grid");
    renderer->Attribute("string bucketorder", "spiral");
    renderer->Attribute("string frames", "1-10");
    renderer->Attribute("string name", "ignored");
    renderer->Attribute("float fov", 45.0f);
    renderer->Attribute("float near", 0.5f);
    renderer->Attribute("float far", 500.0);  // a double goes as a float
    renderer->Attribute("float fstop", 2.8f);
    renderer->Attribute("float focallength", 0.05f);
    const float distance[1] = {7.0f};
    renderer->Attribute("float focaldistance", distance);  // the first of an array
    renderer->Attribute("float shadingquality", 4.0f);
    const int bucket[2] = {16, 8};
    renderer->Attribute("int[2] limits:bucketsize", bucket);
    const int quantize[4] = {0, 65535, 0, 65535};
    renderer->Attribute("int[4] quantize", quantize);
    renderer->Attribute("int ray:maxdepth", 3);
    renderer->Attribute("int ray:maxdiffusedepth", 2);
    renderer->Attribute("int limits:texturememory", 64);
    renderer->Attribute("int limits:texturefiles", 10);
    renderer->Attribute("int texture:automipmap", 0);
    renderer->Attribute("int statistics:level", 2);
    const float width[2] = {3.0f, 4.0f};
    renderer->Attribute("float[2] filterwidth", width);
    const float shutter[2] = {0.25f, 0.75f};
    renderer->Attribute("float[2] shutter", shutter);
    const float grey[3] = {0.5f, 0.25f, 0.125f};
    renderer->Attribute("color ray:maxdepthcolor", grey);
    renderer->Attribute("string ray:specularbrdf", "torrance");
    expectSilence();

    EXPECT_EQ(o.projection, "orthographic");
    EXPECT_EQ(o.filterName, "box");
    EXPECT_EQ(o.samplerName, "random");
    EXPECT_EQ(o.acceleratorName, "grid");
    EXPECT_EQ(o.bucketOrderName, "spiral");
    EXPECT_EQ(o.frames, "1-10");
    EXPECT_FLOAT_EQ(o.fov, 45.0f);
    EXPECT_FLOAT_EQ(o.nearClip, 0.5f);
    EXPECT_FLOAT_EQ(o.farClip, 500.0f);
    EXPECT_FLOAT_EQ(o.fStop, 2.8f);
    EXPECT_FLOAT_EQ(o.focalLength, 0.05f);
    EXPECT_FLOAT_EQ(o.focalDistance, 7.0f);
    EXPECT_EQ(o.bucketSize[0], 16);
    EXPECT_EQ(o.bucketSize[1], 8);
    EXPECT_EQ(o.outputDefaults.quantize[1], 65535);
    EXPECT_EQ(o.maxRayDepth, 3);
    EXPECT_EQ(o.maxDiffuseDepth, 2);
    EXPECT_EQ(o.textureMemory, 64);
    EXPECT_EQ(o.textureFiles, 10);
    EXPECT_FALSE(o.autoMipmap);
    EXPECT_EQ(o.statisticsLevel, 2);
    EXPECT_FLOAT_EQ(o.filterWidth[1], 4.0f);
    EXPECT_FLOAT_EQ(o.shutter[0], 0.25f);
    EXPECT_FLOAT_EQ(o.shutter[1], 0.75f);
    EXPECT_EQ(o.maxDepthColor, Color(0.5f, 0.25f, 0.125f));
    EXPECT_EQ(o.specularModel, SpecularTorrance);

    renderer->Attribute("string ray:specularbrdf", "phong");
    expectReport(kWarning,
                 "Valid arguments for \"ray:specularbrdf\" are \"default/bmrt/torrance\".Received "
                 "\"phong\". Skipping ...");
    EXPECT_EQ(o.specularModel, SpecularTorrance);
    renderer->Attribute("string ray:specularbrdf", "default");
    EXPECT_EQ(o.specularModel, SpecularDefault);

    double fov = 0.0;
    EXPECT_TRUE(renderer->GetAttribute("float fov", fov));
    EXPECT_DOUBLE_EQ(fov, 45.0);
    const char* frames = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string frames", frames));
    EXPECT_STREQ(frames, "1-10");
    expectSilence();
}

TEST_F(RaytracerTest, VerbosityReachesManagerAndHandler) {
    renderer->Attribute("int verbosity", 3);
    EXPECT_EQ(manager->Verbosity(), 3);
    EXPECT_EQ(capture.verbosity(), 3);
    renderer->Attribute("int verbosity", 0);
    EXPECT_EQ(manager->Verbosity(), 0);
    EXPECT_EQ(capture.verbosity(), 0);
}

TEST_F(RaytracerTest, SearchPathOptionsExpand) {
    ScopedEnv var("OVO_TEST_SHADERS", "/srv/shaders");
    const std::string home = homeDirectory("/shaders");
    const std::string before = renderer->getOptions().searchPaths.shader;
    renderer->Attribute("string path:shader", "$OVO_TEST_SHADERS:&:@");
    EXPECT_EQ(renderer->getOptions().searchPaths.shader, "/srv/shaders:" + before + ":" + home);

    renderer->Attribute("string path:input", "/a");
    renderer->Attribute("string path:texture", "&:/t");
    renderer->Attribute("string path:procedural", "@");
    const char* value = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string path:input", value));
    EXPECT_STREQ(value, "/a");
    EXPECT_TRUE(renderer->GetAttribute("string path:texture", value));
    EXPECT_EQ(std::string(value), Options().searchPaths.texture + ":/t");
    EXPECT_TRUE(renderer->GetAttribute("string path:procedural", value));
    EXPECT_EQ(std::string(value), homeDirectory("/plugins"));
    // The plugin path is not an option.
    const std::string plugins = renderer->getOptions().searchPaths.plugin;
    renderer->Attribute("string path:plugin", "/x");
    expectReport(kError, "Attribute: unknown attribute \"path:plugin\". Skipping ...");
    EXPECT_EQ(renderer->getOptions().searchPaths.plugin, plugins);
    // A string read earlier stays valid after the option changes.
    EXPECT_TRUE(renderer->GetAttribute("string path:input", value));
    renderer->Attribute("string path:input", "/b");
    EXPECT_STREQ(value, "/a");
}

TEST_F(RaytracerTest, OptionsSetInsideTheWorldEndWithIt) {
    renderer->Attribute("float fov", 60.0f);
    renderer->World();
    take();
    renderer->Attribute("float fov", 20.0f);
    const int res[2] = {64, 48};
    renderer->Attribute("int[2] resolution", res);
    EXPECT_EQ(renderer->getOptions().resolution[0], 64);
    renderer->Render(nullptr);
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 60.0f);
    EXPECT_EQ(renderer->getOptions().resolution[0], 640);
    EXPECT_FLOAT_EQ(renderer->getOptions().frameAspect, 4.0f / 3.0f);
}

}  // namespace
}  // namespace testing
}  // namespace ovo
