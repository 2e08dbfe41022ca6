// Plugin factories: loading the test plugins of every kind by name and search path, the
// per-kind caches, and the error of each failure.
#include <gtest/gtest.h>

#include <OpenImageIO/plugin.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "core/api/attributes.h"
#include "core/api/raytracer.h"
#include "core/geometry/primitive.h"
#include "core/plugins/factory.h"
#include "core/render/bucket.h"
#include "core/render/camera.h"
#include "core/render/filter.h"
#include "core/render/integrator.h"
#include "core/render/sampler.h"
#include "core/shading/shader.h"
#include "tests/common/test_util.h"

namespace ovo {
namespace {

namespace fs = std::filesystem;
using ovotest::ScratchDir;

const std::string Dir = OVO_TEST_PLUGIN_DIR, Extension = OIIO::Plugin::plugin_extension();
std::string testPlugin(const std::string& stem) { return Dir + "/" + stem + "." + Extension; }

// The code and message of the Error a call throws, as "code: message"; "" when it throws none.
template <class F>
std::string errorOf(F call) {
    try {
        call();
    } catch (const Error& e) {
        return std::to_string(e.code()) + ": " + e.what();
    }
    return "";
}

class StubPrimitive : public Primitive {
  public:
    bool intersect(const Ray&, Hit&) const override { return false; }
    bool intersect(const Ray&) const override { return false; }
    Aabb objectExtent() const override { return Aabb(); }
    Aabb worldExtent() const override { return Aabb(); }
};

TEST(Factories, GeneratorsAndShapesGetWhatTheyAreGiven) {
    ParameterSet parameters;
    const char* tag = "hello";
    parameters.push_back("tag", ParamType(TypeString), &tag, false);
    ErrorManager* manager = ErrorManager::Create(nullptr, 0);
    RendererAPI* renderer = RendererAPI::CreateRenderer("raytracer", manager);
    std::string search = "/nonexistent:" + Dir;
    renderer->Input(createGenerator("probe", search, parameters), nullptr);
    const char* frames = nullptr;
    ASSERT_TRUE(renderer->GetAttribute("string frames", frames));
    EXPECT_STREQ(frames, "hello");  // run with no argument text

    // The shape gets the attribute record, the mirror its handedness flag, and interpolators
    // for the variables of the right base type only.
    Attributes attributes;
    attributes.shadowBias = 0.5f;
    const float N[3] = {0, 0, 1}, C[3] = {1, 0.5f, 0.25f}, s = 0.25f, t = 0.75f, radius = 3;
    ParameterSet good, other;
    good.push_back("N", ParamType(TypeNormal, 1, InterpVertex), N, false);
    good.push_back("C", ParamType(TypeColor), C, false);
    good.push_back("opacity", ParamType(TypeColor, 1, InterpVertex), C, false);
    good.push_back("s", ParamType(TypeFloat, 1, InterpLinear), &s, false);
    good.push_back("t", ParamType(TypeFloat), &t, false);
    good.push_back("radius", ParamType(TypeFloat), &radius, false);
    other.push_back("N", ParamType(TypePoint), N, false);
    other.push_back("C", ParamType(TypeFloat, 3), C, false);
    other.push_back("s", ParamType(TypeInt), &radius, false);
    search = Dir;
    Reference<Shape> shape(
        createShape("probe", search, *renderer, ::Scale(-1, 1, 1), attributes, good));
    Reference<Shape> plain(
        createShape("probe", search, *renderer, Transform::Identity, attributes, other));
    ASSERT_TRUE(shape && plain);
    EXPECT_FLOAT_EQ(shape->objectExtent().bmax[0], 3.0f);
    EXPECT_FLOAT_EQ(shape->getAttributes().bias, 0.5f);
    EXPECT_TRUE(shape->swapsHandedness() && !plain->swapsHandedness());
    ASSERT_TRUE(shape->getN() && shape->getCs() && shape->getOs() && shape->getS() &&
                shape->getT());
    EXPECT_FLOAT_EQ(shape->getN()->value(0.5f, 0.5f).z, 1.0f);
    EXPECT_EQ(shape->getOs()->value(0, 0), Color(1, 0.5f, 0.25f));
    EXPECT_FLOAT_EQ(shape->getT()->value(0, 0), 0.75f);
    EXPECT_FALSE(good.find("N")->unused());
    EXPECT_FALSE(plain->getN() || plain->getCs() || plain->getOs() || plain->getS());
    // A null from the entry is passed on.
    const int one = 1;
    other.push_back("fail", ParamType(TypeInt), &one, false);
    EXPECT_EQ(createShape("probe", search, *renderer, Transform::Identity, attributes, other),
              nullptr);
    delete renderer;
    delete manager;
}

TEST(Factories, EveryOtherKindGetsItsArguments) {
    // The built filter, sampler and bucket order show in what they make what they were given.
    ParameterSet none, cameraParameters, integratorParameters;
    const std::string built = ovotest::pluginDir();
    const float width[2] = {3, 5};
    std::unique_ptr<Filter> filter(createFilter("box", built, width, none));
    ASSERT_TRUE(filter);
    EXPECT_EQ(std::make_pair(filter->xwidth, filter->ywidth),
              std::make_pair(1.5f, 2.5f));  // halves

    unsigned resolution[2] = {64, 48}, samples[2] = {3, 2}, bucketSize[2] = {16, 8}, nx, ny;
    Extent2D crop = {0.25f, 0.75f, 0.0f, 0.5f};
    float filterWidth[2] = {2, 4};
    std::unique_ptr<Sampler> sampler(
        createSampler("stratified", built, resolution, samples, crop, filterWidth, none));
    std::unique_ptr<BucketOrder> order(
        createBucketOrder("horizontal", built, bucketSize, resolution, crop, none));
    ASSERT_TRUE(sampler && order);
    // Pixels 16..47 by 0..23, widened by half the filter width each way.
    const RasterExtent& e = sampler->getSamplingBoundaries();
    EXPECT_EQ(std::vector<int>({e.x0, e.x1, e.y0, e.y1}), std::vector<int>({15, 49, -2, 26}));
    EXPECT_EQ(sampler->totalSamples(), 34 * 28 * 6);
    order->getNumBuckets(nx, ny);
    EXPECT_EQ(std::make_pair(nx, ny), std::make_pair(2u, 3u));

    const float near = 0.5f;
    const int zero = 0;
    cameraParameters.push_back("near", ParamType(TypeFloat), &near, false);
    integratorParameters.push_back("calls", ParamType(TypeInt), &zero, false);
    std::string search = Dir;
    const MotionTransform placement(::Translate(0, 0, -5));
    std::unique_ptr<Camera> camera(
        createCamera("still", search, placement, nullptr, cameraParameters));
    std::unique_ptr<Integrator> integrator(createIntegrator("idle", Dir, integratorParameters));
    ASSERT_TRUE(camera && integrator);
    EXPECT_FLOAT_EQ(camera->getHither(), 0.5f);
    EXPECT_EQ(camera->getCameraTransform().getSample(0), ::Translate(0, 0, -5));
    integrator->integrate();
    integrator->integrate();
    EXPECT_EQ(integratorParameters.findInt("calls", -1), 2);

    std::vector<Reference<Primitive>> primitives = {new StubPrimitive(), new StubPrimitive()};
    Reference<Aggregate> aggregate(createAggregate("pair", Dir, "accelerator", primitives, none));
    ASSERT_TRUE(aggregate);
    EXPECT_EQ(aggregate->getPrimitives(), primitives);
    // The aggregate cache is shared by both kind words: there is no "pair.shape.so".
    EXPECT_FALSE(fs::exists(testPlugin("pair.shape")));
    EXPECT_TRUE(Reference<Aggregate>(createAggregate("pair", "/none", "shape", primitives, none)));
    // Shader plugins are only loaded and called; this one makes nothing.
    std::map<OIIO::ustring, Transform> spaces;
    EXPECT_EQ(createShader("blank", Dir, spaces, none), nullptr);
}

TEST(Factories, NamesAreCachedOnceLoadedAndFailuresAreNot) {
    ParameterSet none;
    std::map<OIIO::ustring, Transform> spaces;
    const float width[2] = {2, 2};
    ScratchDir dir;
    std::string nowhere = "/nonexistent", here = Dir, search = dir.path;
    EXPECT_EQ(errorOf([&] { createGenerator("absent", nowhere, none); }),
              "3: Unable to find plugin \"absent\"");
    // Each kind looks for its own file: there is no "probe.filter.so".
    EXPECT_EQ(errorOf([&] { createFilter("probe", Dir, width, none); }),
              "3: Unable to find plugin \"probe\"");

    // A name is served from the cache once loaded, even when its file is gone.
    auto copyProbe = [&](const std::string& stem) {
        fs::copy_file(testPlugin("probe.generator"), dir / (stem + ".generator." + Extension),
                      fs::copy_options::overwrite_existing);
    };
    copyProbe("ephemeral");
    delete createGenerator("ephemeral", search, none);
    fs::remove(dir / ("ephemeral.generator." + Extension));
    EXPECT_TRUE(
        std::unique_ptr<RendererAPI::Generator>(createGenerator("ephemeral", nowhere, none)));

    // A name that failed to load (no file, no entry, no library) is looked for again.
    dir.write("broken.generator." + Extension, "not a library");
    const std::string entryPrefix = "4: Cannot get symbol createGenerator in plugin \"" +
                                    fs::canonical(testPlugin("entryless.generator")).string() +
                                    "\": ",
                      openPrefix = "4: Cannot open plugin \"" +
                                   fs::canonical(dir / ("broken.generator." + Extension)).string() +
                                   "\": ";
    EXPECT_EQ(errorOf([&] { createGenerator("latecomer", search, none); }),
              "3: Unable to find plugin \"latecomer\"");
    // Each with the loader's reason after the prefix.
    const std::string entryless = errorOf([&] { createGenerator("entryless", here, none); });
    EXPECT_EQ(entryless.rfind(entryPrefix, 0), 0u) << entryless;
    EXPECT_GT(entryless.size(), entryPrefix.size());
    const std::string unopenable = errorOf([&] { createGenerator("broken", search, none); });
    EXPECT_EQ(unopenable.rfind(openPrefix, 0), 0u) << unopenable;
    EXPECT_GT(unopenable.size(), openPrefix.size());
    for (const char* stem : {"latecomer", "entryless", "broken"}) {
        copyProbe(stem);
        EXPECT_TRUE(std::unique_ptr<RendererAPI::Generator>(createGenerator(stem, search, none)))
            << stem;
    }
}

}  // namespace
}  // namespace ovo
