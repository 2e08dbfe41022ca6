// Where an installed OVO finds its parts: the folders of an installation laid out below a
// prefix, found from the library's folder, and OVO_HOME overriding them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/plugins/installation.h"
#include "core/plugins/search_path.h"
#include "tests/common/test_util.h"

namespace {

using ovotest::ScratchDir;

TEST(Installation, FoldersBelowThePrefixOfTheLibrary) {
    ScratchDir prefix;
    std::filesystem::create_directories(prefix / "lib/ovo/plugins");
    const std::string lib = prefix / "lib";
    const struct {
        const char* suffix;
        std::string folder;
    } cases[] = {
        {"/plugins", prefix / "lib/ovo/plugins"},     {"/lib", lib},
        {"/include", prefix / "include/ovo"},         {"/shaders", prefix / "share/ovo/shaders"},
        {"/textures", prefix / "share/ovo/textures"}, {"/inputs", prefix / "share/ovo/inputs"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ovo::installedFolder(lib, c.suffix), c.folder) << c.suffix;

    // A library folder with no ovo/plugins below it (the build tree's lib/) is no installation.
    EXPECT_EQ(ovo::installedFolder(prefix / "elsewhere", "/plugins"), "");
    EXPECT_EQ(ovo::installedFolder("", "/plugins"), "");
    std::filesystem::create_directories(prefix / "bare/ovo");
    EXPECT_EQ(ovo::installedFolder(prefix / "bare", "/shaders"), "");
}

TEST(Installation, OvoHomeWinsAndTheBuildTreeIsNoInstallation) {
    // The suites run the library of the build tree, whose lib/ holds no ovo/plugins.
    const std::string library = ovo::libraryFolder();
    ASSERT_FALSE(library.empty());
    EXPECT_TRUE(std::filesystem::exists(library + "/libovo.so")) << library;
    EXPECT_EQ(ovo::installedFolder(library, "/plugins"), "");

    const char* saved = std::getenv("OVO_HOME");
    const std::string previous = saved ? saved : "";
    setenv("OVO_HOME", "/opt/ovo", 1);
    EXPECT_EQ(ovo::homeFolder("/plugins"), "/opt/ovo/plugins");
    unsetenv("OVO_HOME");
    EXPECT_EQ(ovo::homeFolder("/plugins"), "");
    EXPECT_EQ(ovo::homeDirectory("/plugins"), "./plugins");
    if (saved) setenv("OVO_HOME", previous.c_str(), 1);
}

}  // namespace
