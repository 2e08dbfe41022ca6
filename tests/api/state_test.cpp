// The graphics state: attribute words with meaning beyond a field, the shading record's copy on
// write, user attributes, saved states, and the options that compute or check what they set.
#include <cstdlib>
#include <string>

#include "core/plugins/search_path.h"
#include "sys/tasking.h"
#include "tests/api/api_test_util.h"

using namespace ovo;

namespace ovotest {
namespace {

TEST_F(RaytracerTest, KeywordAttributes) {
    const Attributes& a = renderer->getAttributes();
    renderer->Attribute("int light:nsamples", 0);
    EXPECT_EQ(a.lightSamples, 1);  // at least one
    // A word that is not known keeps the value the word before it set.
    const char* const rows[][4] = {
        {"light:shadows", "on", "yes", "\"on/off\". Received"},
        {"trimcurve:sense", "outside", "in", "\"inside/outside\". Received"},
        {"orientation", "inside", "sideways", "\"outside/inside/lh/rh/reverse\".Received"},
        {"ray:specularbrdf", "torrance", "phong", "\"default/bmrt/torrance\".Received"}};
    for (const auto& row : rows) {
        renderer->Attribute((std::string("string ") + row[0]).c_str(), row[1]);
        renderer->Attribute((std::string("string ") + row[0]).c_str(), row[2]);
        expectReport(Warning, std::string("Valid arguments for \"") + row[0] + "\" are " + row[3] +
                                  " \"" + row[2] + "\". Skipping ...");
    }
    EXPECT_TRUE(a.lightShadows && a.orientationInside && !a.trimSenseInside);
    EXPECT_EQ(renderer->getOptions().specularModel, SpecularTorrance);
    renderer->Attribute("string orientation", "reverse");
    renderer->Attribute("string ray:specularbrdf", "default");
    EXPECT_FALSE(a.orientationInside);
    EXPECT_EQ(renderer->getOptions().specularModel, SpecularDefault);

    // Handedness is relative to the camera space, which is recorded by World().
    enterWorld();
    const Attributes& w = renderer->getAttributes();
    renderer->Attribute("string orientation", "lh");
    EXPECT_FALSE(w.orientationInside);
    renderer->Attribute("string orientation", "rh");
    EXPECT_TRUE(w.orientationInside);
    renderer->Scale(-1.0f, 1.0f, 1.0f);  // a mirror swaps the answers
    renderer->Attribute("string orientation", "lh");
    EXPECT_TRUE(w.orientationInside);
    renderer->Attribute("string geometryset", "a");
    renderer->Attribute("string geometryset", "+b,+c,-a");
    EXPECT_EQ(w.geometrySets, (std::set<OIIO::ustring>{OIIO::ustring("b"), OIIO::ustring("c")}));
    renderer->Attribute("string geometryset", "d");
    EXPECT_EQ(w.geometrySets, std::set<OIIO::ustring>{OIIO::ustring("d")});
    expectSilence();
}

TEST_F(RaytracerTest, ShadingRecordIsCopiedOnWrite) {
    const Reference<ShadingAttributes> outer = renderer->getAttributes().shading;
    ASSERT_TRUE(outer);  // construction sets colour and opacity
    renderer->PushAttributes();
    EXPECT_EQ(renderer->getAttributes().shading, outer);  // shared until written
    const float blue[3] = {0, 0, 1};
    renderer->Attribute("color C", blue);
    EXPECT_NE(renderer->getAttributes().shading, outer);
    EXPECT_EQ(renderer->getAttributes().color(), Color(0, 0, 1));
    EXPECT_EQ(outer->C, Color(1.0f));
    // A private record is written in place.
    const ShadingAttributes* inner = renderer->getAttributes().shading.get();
    renderer->Attribute("int ray:camera", 0);
    EXPECT_EQ(renderer->getAttributes().shading.get(), inner);
    EXPECT_FALSE(inner->rayCamera);
    renderer->PopAttributes();
    EXPECT_EQ(renderer->getAttributes().shading, outer);
    EXPECT_TRUE(outer->rayCamera);
}

TEST_F(RaytracerTest, UserAttributes) {
    renderer->Attribute("float user:weight", 1.0f);
    renderer->Attribute("float user:weight", 2.0f);
    const float v[3] = {1, 2, 3};
    renderer->Attribute("vector user:dir", v);
    renderer->Attribute("string user:label", "left");
    expectSilence();
    EXPECT_EQ(renderer->getAttributes().userAttributes.size(), 3u);
    float weight = 0.0f, dir[3] = {0, 0, 0};
    const char* label = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("float user:weight", weight));
    EXPECT_TRUE(renderer->GetAttribute("string user:label", label));
    EXPECT_FLOAT_EQ(weight, 2.0f);
    EXPECT_STREQ(label, "left");

    // A value changes type when it is set again.
    renderer->Attribute("int user:weight", 4);
    EXPECT_FALSE(renderer->GetAttribute("float user:weight", weight));
    expectReport(Error,
                 "GetAttribute: \"user:weight\" type mismatch. Skipping ...\n\tYou passed 'float' "
                 "but expected type was 'int'.");
    EXPECT_FALSE(renderer->GetAttribute("float user:missing", weight));
    expectReport(Error, "GetAttribute: unknown attribute \"user:missing\". Skipping ...");
    EXPECT_FLOAT_EQ(weight, 2.0f);

    // User attributes belong to the attribute block, and their values are their own.
    renderer->PushAttributes();
    float changed[3] = {7, 8, 9};
    renderer->Attribute("vector user:dir", changed);
    changed[0] = 100.0f;
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_FLOAT_EQ(dir[0], 7.0f);
    renderer->PopAttributes();
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_FLOAT_EQ(dir[0], 1.0f);
    expectSilence();
}

TEST_F(RaytracerTest, SaveAndRestoreAttributes) {
    const float red[3] = {1, 0, 0}, green[3] = {0, 1, 0}, half[3] = {0.5f, 0.5f, 0.5f};
    renderer->Attribute("color C", red);
    renderer->Attribute("color opacity", half);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    renderer->SaveAttributes("look", "C,transform");
    expectSilence();
    EXPECT_EQ(renderer->getNamedSpaces()[OIIO::ustring("look")], ::Translate(1.0f, 0.0f, 0.0f));
    renderer->Attribute("color C", green);
    renderer->Attribute("color opacity", green);
    renderer->Translate(0.0f, 5.0f, 0.0f);
    renderer->RestoreAttributes("look", "C,opacity");
    expectReport(Warning,
                 "RestoreAttributes: missing attributes from state \"look\"\tPerforming partial "
                 "restore");
    EXPECT_EQ(renderer->getAttributes().color(), Color(1, 0, 0));
    EXPECT_EQ(renderer->getAttributes().opacity(), Color(0, 1, 0));  // not saved
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 5.0f, 0.0f));
    renderer->Attribute("color C", green);
    renderer->RestoreAttributes("look", nullptr);
    expectSilence();
    EXPECT_EQ(renderer->getAttributes().color(), Color(1, 0, 0));
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 0.0f, 0.0f));
    renderer->RestoreAttributes("nothing", nullptr);
    expectReport(Error, "RestoreAttributes: unknown attribute state \"nothing\"");

    // Only a full save carries the user attributes.
    renderer->Attribute("float user:k", 0.5f);
    renderer->SaveAttributes("all", nullptr);
    renderer->SaveAttributes("listed", "orientation,twosided,shaders,lights,trimcurve");
    for (const char* state : {"all", "listed"}) {
        renderer->PushAttributes();
        renderer->getAttributes() = Attributes();
        renderer->RestoreAttributes(state, nullptr);
        EXPECT_EQ(renderer->getAttributes().userAttributes.size(), *state == 'a' ? 1u : 0u);
        renderer->PopAttributes();
    }
    expectSilence();
    renderer->SaveAttributes("odd", "C, opacity");
    expectReport(Error, "Save/RestoreAttributes: unknown attribute \" opacity\"");
    renderer->SaveAttributes("odd", "bogus,C,,opacity");
    auto reports = take();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].text, "Save/RestoreAttributes: unknown attribute \"bogus\"");
    EXPECT_EQ(reports[1].text, "Save/RestoreAttributes: unknown attribute \"\"");
    // The words that were read still count: colour and opacity restore without a warning.
    renderer->RestoreAttributes("odd", "opacity,C");
    renderer->SaveAttributes(nullptr, "C");
    renderer->RestoreAttributes(nullptr, nullptr);
    expectSilence();
}

TEST(OptionsRecord, SearchPathsFollowOvoHomeAndCopiesOwnTheirValues) {
    const char* home = std::getenv("OVO_HOME");
    const std::string previous = home ? home : "";
    setenv("OVO_HOME", "/opt/ovo", 1);
    const SearchPaths paths;
    home ? setenv("OVO_HOME", previous.c_str(), 1) : unsetenv("OVO_HOME");
    EXPECT_EQ(paths.input, ".:./inputs:/opt/ovo/inputs");
    EXPECT_EQ(paths.plugin, ".:./plugins:/opt/ovo/plugins");
    EXPECT_EQ(paths.shader, ".:./shaders:/opt/ovo/shaders");
    EXPECT_EQ(paths.texture, ".:./textures:/opt/ovo/textures");
    EXPECT_EQ(paths.procedural, ".:/opt/ovo/plugins");

    // A copy owns its parameter values.
    Options outer;
    const float big[4] = {1, 2, 3, 4};
    outer.samplerParameters.push_back("jitter", ParamType(TypeFloat, 4), big, true);
    Options* inner = new Options(outer);
    outer.samplerParameters.clear();
    const float* copied = inner->samplerParameters.findFloats("jitter");
    ASSERT_NE(copied, nullptr);
    EXPECT_FLOAT_EQ(copied[3], 4.0f);
    delete inner;
}

TEST_F(RaytracerTest, FrameAspectScreenCropAndPixelSamples) {
    const int res[2] = {1000, 500};
    renderer->Attribute("int[2] resolution", res);
    renderer->Attribute("float pixelaspect", 2.0f);
    const Options& o = renderer->getOptions();
    EXPECT_FLOAT_EQ(o.frameAspect, 4.0f);
    EXPECT_EQ(std::vector<float>(o.screen, o.screen + 4), (std::vector<float>{-4, 4, -1, 1}));
    const float square[4] = {-1, 1, -1, 1};
    renderer->Attribute("float[4] screen", square);
    EXPECT_FALSE(o.screenAutomatic);
    const int res2[2] = {300, 100};
    renderer->Attribute("int[2] resolution", res2);
    EXPECT_FLOAT_EQ(o.frameAspect, 6.0f);
    float read[4] = {0, 0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("float[4] screen", read));
    EXPECT_EQ(std::vector<float>(read, read + 4), std::vector<float>(square, square + 4));

    // Crop windows that are inverted or empty are refused silently.
    const float inverted[4] = {0.5f, 0.2f, 0.0f, 1.0f}, empty[4] = {0.0f, 1.0f, 0.5f, 0.5f};
    const float valid[4] = {0.25f, 0.75f, 0.1f, 0.9f};
    renderer->Attribute("float[4] crop", inverted);
    renderer->Attribute("float[4] crop", empty);
    EXPECT_EQ(std::vector<float>(o.crop, o.crop + 4), (std::vector<float>{0, 1, 0, 1}));
    renderer->Attribute("float[4] crop", valid);
    EXPECT_EQ(std::vector<float>(o.crop, o.crop + 4), std::vector<float>(valid, valid + 4));

    // round(sqrt q) per side, never lowered; negative values change nothing.
    const auto pixelSamples = [&] { return std::make_pair(o.pixelSamples[0], o.pixelSamples[1]); };
    for (const auto& [quality, side] : {std::pair{2, 2}, {16, 4}, {30, 5}, {-4, 5}}) {
        renderer->Attribute("int temporalquality", quality);
        EXPECT_EQ(pixelSamples(), std::make_pair(side, side)) << quality;
    }
    const int samples[2] = {7, 1};
    renderer->Attribute("int[2] spatialquality", samples);
    renderer->Attribute("int temporalquality", 9);
    EXPECT_EQ(pixelSamples(), std::make_pair(7, 3));
    expectSilence();
}

TEST_F(RaytracerTest, ThreadsAndVerbosityReachTheirOwners) {
    const unsigned logical = unsigned(sys::getNumberOfLogicalThreads());
    const int steps[][3] = {{1000, int(logical), int(logical)}, {-5, -1, -1}, {1, 1, 1}};
    for (const auto& s : steps) {
        renderer->Attribute("int limits:threads", s[0]);
        EXPECT_EQ(renderer->getOptions().threads, s[1]) << s[0];
        EXPECT_EQ(sys::TaskScheduler::getInstance()->getNumThreads(),
                  s[2] < 0 ? logical : unsigned(s[2]));
    }
    for (int v : {3, 0}) {
        renderer->Attribute("int verbosity", v);
        EXPECT_EQ(capture.manager->Verbosity(), v);
        EXPECT_EQ(capture.handler.verbosity(), v);
    }
}

TEST_F(RaytracerTest, SearchPathOptionsExpand) {
    // (How a path expands is pinned in tests/plugin_loading/search_path_test.cpp.)
    const std::string before = renderer->getOptions().searchPaths.shader;
    renderer->Attribute("string path:shader", "&:@");
    EXPECT_EQ(renderer->getOptions().searchPaths.shader, before + ":" + homeDirectory("/shaders"));
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
    expectReport(Error, "Attribute: unknown attribute \"path:plugin\". Skipping ...");
    EXPECT_EQ(renderer->getOptions().searchPaths.plugin, plugins);
    // A string read earlier stays valid after the option changes.
    EXPECT_TRUE(renderer->GetAttribute("string path:input", value));
    renderer->Attribute("string path:input", "/b");
    EXPECT_STREQ(value, "/a");
}

}  // namespace
}  // namespace ovotest
