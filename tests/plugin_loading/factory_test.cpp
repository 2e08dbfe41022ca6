// Plugin factories: loading real test plugins of every kind by name and search path, the
// per-kind caches and the errors of each failure.
#include <OpenImageIO/plugin.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/api/attributes.h"
#include "core/api/raytracer.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/params/error.h"
#include "core/plugins/factory.h"
#include "core/plugins/plugin.h"
#include "core/render/bucket.h"
#include "core/render/camera.h"
#include "core/render/filter.h"
#include "core/render/integrator.h"
#include "core/render/sampler.h"
#include "core/shading/shader.h"
#include "tests/plugin_loading/plugin_test_util.h"

namespace ovo {
namespace testing {
namespace {

namespace fs = std::filesystem;

const std::string kExtension = OIIO::Plugin::plugin_extension();

// The file a test plugin was built into.
std::string pluginFile(const std::string& name, const std::string& kind) {
    return testPlugin(name + "." + kind + "." + kExtension);
}

// The code and message of the Error a call throws; code 0 when it throws none.
template <class F>
std::pair<int, std::string> errorOf(F call) {
    try {
        call();
    } catch (const Error& e) {
        return {e.code(), e.what()};
    }
    return {0, ""};
}

class StubPrimitive : public Primitive {
  public:
    bool intersect(const Ray&, Hit&) const override { return false; }
    bool intersect(const Ray&) const override { return false; }
    Aabb objectExtent() const override { return Aabb(); }
    Aabb worldExtent() const override { return Aabb(); }
};

class FactoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = testPluginDir();
        ASSERT_TRUE(fs::is_directory(path)) << "no test plugins in " << path;
    }
    std::string path;
};

TEST_F(FactoryTest, PluginOpensAndFindsSymbols) {
    Plugin plugin(pluginFile("probe", "generator"));
    EXPECT_EQ(plugin.getName(), pluginFile("probe", "generator"));
    EXPECT_NE(plugin.getSymbol("createGenerator"), nullptr);
    const std::string file = pluginFile("entryless", "generator");
    Plugin entryless(file);
    const auto missing = errorOf([&] { entryless.getSymbol("createGenerator"); });
    EXPECT_EQ(missing.first, Error::PluginLoadFailed);
    const std::string prefix = "Cannot get symbol createGenerator in plugin \"" + file + "\": ";
    EXPECT_EQ(missing.second.substr(0, prefix.size()), prefix);
    EXPECT_GT(missing.second.size(), prefix.size());  // the loader says why

    const auto absent = errorOf([] { Plugin p("/nonexistent/none.generator.so"); });
    EXPECT_EQ(absent.first, Error::PluginLoadFailed);
    EXPECT_EQ(absent.second.rfind("Cannot open plugin \"/nonexistent/none.generator.so\": ", 0),
              0u);
}

TEST_F(FactoryTest, GeneratorRunsOnARenderer) {
    ParameterSet parameters;
    const char* tag = "hello";
    parameters.push_back("tag", ParamType(TypeString), &tag, false);
    std::string search = "/nonexistent:" + path;
    RendererAPI::Generator* generator = createGenerator("probe", search, parameters);
    ASSERT_NE(generator, nullptr);

    ErrorManager* manager = ErrorManager::Create(nullptr, 0);
    RendererAPI* renderer = RendererAPI::CreateRenderer("raytracer", manager);
    renderer->Input(generator, nullptr);  // runs it with no argument text and deletes it
    const char* frames = nullptr;
    ASSERT_TRUE(renderer->GetAttribute("string frames", frames));
    EXPECT_STREQ(frames, "hello");
    delete renderer;
    delete manager;
}

TEST_F(FactoryTest, ShapeGetsItsInterpolators) {
    Attributes attributes;
    attributes.twoSided = false;
    attributes.orientationInside = true;
    attributes.shadowBias = 0.5f;
    ParameterSet parameters;
    const float N[3] = {0, 0, 1};
    const float C[3] = {1, 0.5f, 0.25f};
    const float opacity[3] = {0.5f, 0.5f, 0.5f};
    const float s = 0.25f, t = 0.75f, radius = 3.0f;
    parameters.push_back("N", ParamType(TypeNormal, 1, InterpVertex), N, false);
    parameters.push_back("C", ParamType(TypeColor), C, false);
    parameters.push_back("opacity", ParamType(TypeColor, 1, InterpVertex), opacity, false);
    parameters.push_back("s", ParamType(TypeFloat, 1, InterpLinear), &s, false);
    parameters.push_back("t", ParamType(TypeFloat), &t, false);
    parameters.push_back("radius", ParamType(TypeFloat), &radius, false);

    ErrorManager* manager = ErrorManager::Create(nullptr, 0);
    RendererAPI* renderer = RendererAPI::CreateRenderer("raytracer", manager);
    std::string search = path;
    Reference<Shape> shape(createShape("probe", search, *renderer, ::Scale(-1.0f, 1.0f, 1.0f),
                                       attributes, parameters));
    ASSERT_TRUE(shape);
    EXPECT_FLOAT_EQ(shape->objectExtent().bmax[0], 3.0f);
    // The attribute record reached the shape, and the mirror its handedness flag.
    EXPECT_FALSE(shape->getAttributes().twoSided);
    EXPECT_TRUE(shape->getAttributes().orientationInside);
    EXPECT_FLOAT_EQ(shape->getAttributes().bias, 0.5f);
    EXPECT_TRUE(shape->swapsHandedness());
    ASSERT_TRUE(shape->getN() && shape->getCs() && shape->getOs() && shape->getS() &&
                shape->getT());
    EXPECT_FLOAT_EQ(shape->getN()->value(0.5f, 0.5f).z, 1.0f);
    EXPECT_EQ(shape->getCs()->value(0.0f, 0.0f), Color(1, 0.5f, 0.25f));
    EXPECT_EQ(shape->getOs()->value(0.0f, 0.0f), Color(0.5f));
    EXPECT_FLOAT_EQ(shape->getS()->value(0.0f, 0.0f), 0.25f);
    EXPECT_FLOAT_EQ(shape->getT()->value(0.0f, 0.0f), 0.75f);
    EXPECT_FALSE(parameters.find("N")->unused());

    // Variables of another base type are not interpolated by the core.
    ParameterSet others;
    others.push_back("N", ParamType(TypePoint), N, false);
    others.push_back("C", ParamType(TypeFloat, 3), C, false);
    others.push_back("s", ParamType(TypeInt), &radius, false);
    Reference<Shape> plain(
        createShape("probe", search, *renderer, Transform::Identity, attributes, others));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->getN() || plain->getCs() || plain->getOs() || plain->getS());
    EXPECT_FALSE(plain->swapsHandedness());

    // A null from the entry is passed on.
    ParameterSet failing;
    const int one = 1;
    failing.push_back("fail", ParamType(TypeInt), &one, false);
    EXPECT_EQ(createShape("probe", search, *renderer, Transform::Identity, attributes, failing),
              nullptr);
    delete renderer;
    delete manager;
}

TEST_F(FactoryTest, EveryOtherKind) {
    ParameterSet none;

    const float width[2] = {3.0f, 5.0f};
    std::unique_ptr<Filter> filter(createFilter("halfbox", path, width, none));
    ASSERT_TRUE(filter);
    EXPECT_FLOAT_EQ(filter->xwidth, 1.5f);  // half of each width
    EXPECT_FLOAT_EQ(filter->ywidth, 2.5f);
    EXPECT_FLOAT_EQ(filter->evaluate(1.4f, -2.4f), 1.0f);
    EXPECT_FLOAT_EQ(filter->evaluate(1.6f, 0.0f), 0.0f);

    unsigned resolution[2] = {64, 48};
    unsigned samples[2] = {3, 2};
    Extent2D crop = {0.25f, 0.75f, 0.0f, 0.5f};
    float filterWidth[2] = {2.0f, 4.0f};
    ParameterSet received;
    std::unique_ptr<Sampler> sampler(
        createSampler("echo", path, resolution, samples, crop, filterWidth, received));
    ASSERT_TRUE(sampler);
    const int* counts = received.findInts("received");
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int>{64, 48, 3, 2}));
    const float* window = received.findFloats("received");
    ASSERT_NE(window, nullptr);
    EXPECT_FLOAT_EQ(window[1], 0.75f);
    EXPECT_FLOAT_EQ(window[3], 0.5f);
    EXPECT_FLOAT_EQ(window[5], 4.0f);

    unsigned bucketSize[2] = {16, 8};
    ParameterSet orderReceived;
    std::unique_ptr<BucketOrder> order(
        createBucketOrder("echo", path, bucketSize, resolution, crop, orderReceived));
    ASSERT_TRUE(order);
    const int* orderCounts = orderReceived.findInts("received");
    ASSERT_NE(orderCounts, nullptr);
    EXPECT_EQ(std::vector<int>(orderCounts, orderCounts + 3), (std::vector<int>{16, 8, 64}));
    EXPECT_FLOAT_EQ(orderReceived.findFloats("received")[0], 0.25f);

    std::string search = path;
    ParameterSet cameraParameters;
    const float near = 0.5f;
    cameraParameters.push_back("near", ParamType(TypeFloat), &near, false);
    const MotionTransform placement(::Translate(0.0f, 0.0f, -5.0f));
    std::unique_ptr<Camera> camera(
        createCamera("still", search, placement, nullptr, cameraParameters));
    ASSERT_TRUE(camera);
    EXPECT_FLOAT_EQ(camera->getHither(), 0.5f);
    EXPECT_EQ(camera->getCameraTransform().getSample(0), ::Translate(0.0f, 0.0f, -5.0f));

    ParameterSet integratorParameters;
    const int zero = 0;
    integratorParameters.push_back("calls", ParamType(TypeInt), &zero, false);
    std::unique_ptr<Integrator> integrator(createIntegrator("idle", path, integratorParameters));
    ASSERT_TRUE(integrator);
    integrator->integrate();
    integrator->integrate();
    EXPECT_EQ(integratorParameters.findInt("calls", -1), 2);

    std::vector<Reference<Primitive>> primitives = {new StubPrimitive(), new StubPrimitive()};
    Reference<Aggregate> aggregate(createAggregate("pair", path, "accelerator", primitives, none));
    ASSERT_TRUE(aggregate);
    EXPECT_EQ(aggregate->getPrimitives().size(), 2u);
    EXPECT_EQ(aggregate->getPrimitives()[1], primitives[1]);
    // The aggregate cache is shared by both kind words: "pair.shape.so" does not exist.
    EXPECT_FALSE(fs::exists(pluginFile("pair", "shape")));
    Reference<Aggregate> again(createAggregate("pair", "/nonexistent", "shape", primitives, none));
    EXPECT_TRUE(again);

    // Shader plugins are only loaded and called; this one makes nothing.
    std::map<OIIO::ustring, Transform> spaces;
    EXPECT_EQ(createShader("blank", path, spaces, none), nullptr);
}

TEST_F(FactoryTest, NotFoundAndCachingByName) {
    ParameterSet none;
    std::string nowhere = "/nonexistent";
    std::map<OIIO::ustring, Transform> spaces;
    const auto notFound = errorOf([&] { createGenerator("absent", nowhere, none); });
    EXPECT_EQ(notFound.first, Error::PluginNotFound);
    EXPECT_EQ(notFound.second, "Unable to find plugin \"absent\"");
    EXPECT_EQ(errorOf([&] { createShader("absent", nowhere, spaces, none); }).second,
              "Unable to find plugin \"absent\"");
    // Each kind looks for its own file: there is no "probe.filter.so".
    const float width[2] = {2.0f, 2.0f};
    EXPECT_EQ(errorOf([&] { createFilter("probe", path, width, none); }).first,
              Error::PluginNotFound);

    // A cached name is served without touching the file system, even once the file is gone.
    ScratchDir dir;
    fs::copy_file(pluginFile("probe", "generator"), dir / ("ephemeral.generator." + kExtension));
    std::string search = dir.path;
    delete createGenerator("ephemeral", search, none);
    fs::remove(dir / ("ephemeral.generator." + kExtension));
    RendererAPI::Generator* cached = createGenerator("ephemeral", nowhere, none);
    EXPECT_NE(cached, nullptr);
    delete cached;
}

TEST_F(FactoryTest, FailedLoadsDoNotPoisonTheCache) {
    ParameterSet none;
    ScratchDir dir;
    std::string search = dir.path;
    const std::string late = dir / ("latecomer.generator." + kExtension);
    EXPECT_EQ(errorOf([&] { createGenerator("latecomer", search, none); }).first,
              Error::PluginNotFound);
    fs::copy_file(pluginFile("probe", "generator"), late);
    RendererAPI::Generator* generator = createGenerator("latecomer", search, none);
    EXPECT_NE(generator, nullptr);
    delete generator;

    // A library without its entry: code 4, and the name can be loaded later from elsewhere.
    std::string testPath = path;
    const auto missing = errorOf([&] { createGenerator("entryless", testPath, none); });
    EXPECT_EQ(missing.first, Error::PluginLoadFailed);
    const std::string prefix = "Cannot get symbol createGenerator in plugin \"" +
                               fs::canonical(pluginFile("entryless", "generator")).string() +
                               "\": ";
    EXPECT_EQ(missing.second.substr(0, prefix.size()), prefix);
    fs::copy_file(pluginFile("probe", "generator"), dir / ("entryless.generator." + kExtension));
    generator = createGenerator("entryless", search, none);
    EXPECT_NE(generator, nullptr);
    delete generator;

    // A file that is no library: code 4 with the loader's reason.
    const std::string broken = dir / ("broken.generator." + kExtension);
    touch(broken);
    const auto unopenable = errorOf([&] { createGenerator("broken", search, none); });
    EXPECT_EQ(unopenable.first, Error::PluginLoadFailed);
    const std::string openPrefix =
        "Cannot open plugin \"" + fs::canonical(broken).string() + "\": ";
    EXPECT_EQ(unopenable.second.substr(0, openPrefix.size()), openPrefix);
    EXPECT_GT(unopenable.second.size(), openPrefix.size());
    fs::remove(broken);
    fs::copy_file(pluginFile("probe", "generator"), broken);
    generator = createGenerator("broken", search, none);
    EXPECT_NE(generator, nullptr);
    delete generator;
}

}  // namespace
}  // namespace testing
}  // namespace ovo
