// Input: generators named by the first word of a text, files handed to the generator named by
// their extension, generators passed in by the host, and bounded inputs made once as objects.
#include <string>

#include "api/api_test_util.h"

namespace ovo {
namespace testing {
namespace {

class InputTest : public RaytracerTest {
  protected:
    void SetUp() override {
        Options& o = renderer->getOptions();
        o.searchPaths.plugin = testPlugins + ":" + o.searchPaths.plugin;
        o.searchPaths.input = folder.path;
    }

    void touch(const std::string& name) { folder.write(name, "\n"); }
    // What the probe generator wrote, then cleared.
    std::string probed() {
        const char* value = nullptr;
        EXPECT_TRUE(renderer->GetAttribute("string frames", value));
        const std::string text = value ? value : "";
        renderer->Attribute("string frames", "");
        return text;
    }

    const std::string testPlugins = ovotest::pluginDir(ovotest::Plugins::TestOnly);
    ovotest::ScratchDir folder;
};

TEST_F(InputTest, TheFirstWordNamesAGeneratorAndTheRestAreItsArguments) {
    renderer->Input("probe a b");
    expectSilence();
    EXPECT_EQ(probed(), "probe a b");

    // The first argument becomes a full path when the input path has it; the pending list
    // goes to the generator.
    touch("a");
    renderer->Parameter("string tag", "tagged");
    renderer->Input("probe a \"b c\"");
    expectSilence();
    EXPECT_EQ(probed(), "tagged " + folder.path + "/a \"b c\"");
    EXPECT_TRUE(renderer->getPendingParameters().empty());
}

TEST_F(InputTest, AFileGoesToTheGeneratorOfItsExtension) {
    touch("scene.probe");
    renderer->Input("scene.probe");
    expectSilence();
    EXPECT_EQ(probed(), "probe " + folder.path + "/scene.probe");

    // Refused files; the pending list is dropped all the same.
    const std::pair<const char*, const char*> refusals[] = {
        {"missing.probe", "Input (\"missing.probe\") --\n\tNo file found"},
        {"noext", "Input (\"noext\") -- no extension\n\tCannot guess file type without extension"},
        {"scene.zzz", "Input: no support for file type ( zzz )"}};
    for (const auto& [name, report] : refusals) {
        if (name[0] != 'm') touch(name);
        renderer->Parameter("float unused", 1.0f);
        renderer->Input(name);
        expectReport(kError, report);
        EXPECT_TRUE(renderer->getPendingParameters().empty()) << name;
    }
    // A library without the entry: reported with the loader's own message (pinned in
    // tests/plugin_loading/factory_test.cpp).
    touch("scene.entryless");
    renderer->Input("scene.entryless");
    const auto reports = take();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(testPlugins + "/entryless.generator.so"), std::string::npos);
    EXPECT_EQ(probed(), "");
}

// Bounded inputs: a host's generator runs at once and is deleted; a file is made once as an
// object, and each later use instances it without running the generator again.
TEST_F(InputTest, BoundedInputs) {
    struct HostGenerator : RendererAPI::Generator {
        HostGenerator(bool& ran, bool& deleted) : ran(ran), deleted(deleted) {}
        ~HostGenerator() override { deleted = true; }
        void run(RendererAPI* renderer, const char* args) override {
            ran = renderer != nullptr && args == nullptr;
            renderer->Sphere(1.0f);
        }
        bool &ran, &deleted;
    };
    bool ran = false, deleted = false;
    touch("part.probe");
    enterWorld();
    const float bound[6] = {-1, 1, -1, 1, -1, 1};
    renderer->Input(new HostGenerator(ran, deleted), bound);
    EXPECT_TRUE(ran && deleted);
    expectSilence();
    EXPECT_EQ(renderer->getWorldNode()->primitives.size(), 1u);
    renderer->Input("part.probe", bound);
    expectSilence();
    EXPECT_EQ(probed(), "probe " + folder.path + "/part.probe");
    EXPECT_EQ(renderer->getOptions().objects.count("part.probe"), 1u);
    renderer->Input("part.probe", bound);
    expectSilence();
    EXPECT_EQ(probed(), "");
    finishFrame();
}

}  // namespace
}  // namespace testing
}  // namespace ovo
