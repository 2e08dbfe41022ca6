// lookup: finding a file on a colon-separated search path; expandSearchPath: building one.
#include <cstdlib>
#include <filesystem>

#include "core/plugins/search_path.h"
#include "tests/plugin_loading/plugin_test_util.h"

namespace ovo {
namespace testing {
namespace {

namespace fs = std::filesystem;

std::string canonical(const std::string& path) { return fs::canonical(path).string(); }

TEST(Lookup, FirstDirectoryHoldingTheFileAbsolute) {
    ScratchDir dir;
    touch(dir / "a/f.so");
    touch(dir / "b/f.so");
    touch(dir / "b/g.so");
    EXPECT_EQ(lookup(dir / "a" + ":" + dir / "b", "f.so"), canonical(dir / "a/f.so"));
    EXPECT_EQ(lookup(dir / "b" + ":" + dir / "a", "f.so"), canonical(dir / "b/f.so"));
    EXPECT_EQ(lookup(dir / "a" + ":" + dir / "b", "g.so"), canonical(dir / "b/g.so"));
    EXPECT_EQ(lookup(dir / "a", "g.so"), "");
    EXPECT_EQ(lookup("", "f.so"), "");
    // Relative names inside a directory work too.
    EXPECT_EQ(lookup(dir.path, "a/f.so"), canonical(dir / "a/f.so"));
}

TEST(Lookup, AbsoluteNamesBypassTheSearchPath) {
    ScratchDir dir;
    touch(dir / "scenes/x.rib");
    const std::string absolute = canonical(dir / "scenes/x.rib");
    EXPECT_EQ(lookup(".:./inputs", absolute), absolute);
    EXPECT_EQ(lookup("", absolute), absolute);
    EXPECT_EQ(lookup(dir.path, absolute + ".missing"), "");
}

TEST(Lookup, RelativeDirectoriesResolveAgainstTheWorkingDirectory) {
    ScratchDir dir;
    touch(dir / "plugins/sphere.shape.so");
    ScopedWorkingDir cwd(dir.path);
    const std::string found = lookup(".:./plugins", "sphere.shape.so");
    EXPECT_EQ(found, canonical(dir / "plugins/sphere.shape.so"));
    EXPECT_EQ(found[0], '/');
    EXPECT_EQ(found.find("./"), std::string::npos);  // no "." segments left
}

TEST(Lookup, EmptyDirectoriesAndTrailingColons) {
    ScratchDir dir;
    touch(dir / "f");
    // Between two colons the directory is empty: the candidate is "/" and the file name.
    const std::string rooted = dir.path.substr(1) + "/f";
    EXPECT_EQ(lookup("/nonexistent-a::/nonexistent-b", rooted), canonical(dir / "f"));
    // A trailing colon adds no empty directory.
    EXPECT_EQ(lookup("/nonexistent-a:", rooted), "");
}

TEST(Lookup, DriveLetterRules) {
    ScratchDir dir;
    // Folders named like drives exist here as ordinary relative folders.
    touch(dir / "C:/x/file");
    touch(dir / "D:/y/file");
    touch(dir / "D:/y/other");
    ScopedWorkingDir cwd(dir.path);
    // "C:/x:D:/y" is two directories, C:/x then D:/y.
    EXPECT_EQ(lookup("C:/x:D:/y", "file"), canonical(dir / "C:/x/file"));
    EXPECT_EQ(lookup("C:/x:D:/y", "other"), canonical(dir / "D:/y/other"));
    EXPECT_EQ(lookup("D:/y", "other"), canonical(dir / "D:/y/other"));
    // A drive-qualified file name bypasses the search path and comes back as given.
    EXPECT_EQ(lookup("/nowhere", "D:/y/other"), "D:/y/other");
    EXPECT_EQ(lookup(dir.path, "Z:/nothing"), "");
    touch(dir / "q:z");
    EXPECT_EQ(lookup(dir.path, "q:z"), "q:z");
    fs::current_path("/");
    EXPECT_EQ(lookup(dir.path, "q:z"), "");  // the path is not searched for such a name
}

class EnvTest : public ::testing::Test {
  protected:
    EnvTest() {
        setenv("OVO_TEST_VAR", "/v", 1);
        unsetenv("OVO_TEST_UNSET");
    }
    ~EnvTest() override { unsetenv("OVO_TEST_VAR"); }
};

TEST_F(EnvTest, ExpandSearchPath) {
    EXPECT_EQ(expandSearchPath("&:@/extra", ".:./inputs", "/opt/r/inputs"),
              ".:./inputs:/opt/r/inputs/extra");
    EXPECT_EQ(expandSearchPath("plain:text", "prev", "home"), "plain:text");
    EXPECT_EQ(expandSearchPath("&&", "ab", ""), "abab");
    EXPECT_EQ(expandSearchPath("", "prev", "home"), "");

    EXPECT_EQ(expandSearchPath("$OVO_TEST_VAR/x", "", ""), "/v/x");
    EXPECT_EQ(expandSearchPath("${OVO_TEST_VAR}/x", "", ""), "/v/x");
    EXPECT_EQ(expandSearchPath("$(OVO_TEST_VAR)/x", "", ""), "/v/x");
    EXPECT_EQ(expandSearchPath("%OVO_TEST_VAR%x", "", ""), "/vx");
    EXPECT_EQ(expandSearchPath("$OVO_TEST_UNSET/x", "", ""), "/x");
    EXPECT_EQ(expandSearchPath("%OVO_TEST_UNSET%/x", "", ""), "/x");
    // The end of the text ends a name.
    EXPECT_EQ(expandSearchPath("a:$OVO_TEST_VAR", "", ""), "a:/v");
    EXPECT_EQ(expandSearchPath("${OVO_TEST_VAR", "", ""), "/v");
    EXPECT_EQ(expandSearchPath("%OVO_TEST_VAR", "", ""), "/v");
    // A name is letters, digits and '_': the character after it is not expanded.
    EXPECT_EQ(expandSearchPath("$OVO_TEST_VAR&", "prev", ""), "/v&");
    EXPECT_EQ(expandSearchPath("$OVO_TEST_VAR:&", "prev", ""), "/v:prev");
    // Whatever follows a %NAME is dropped, as the closing '%' would be.
    EXPECT_EQ(expandSearchPath("%OVO_TEST_VAR:&", "prev", ""), "/vprev");
    // Either closing bracket closes either opening one.
    EXPECT_EQ(expandSearchPath("${OVO_TEST_VAR)y", "", ""), "/vy");
}

TEST(HomeDirectory, FollowsOvoHome) {
    const char* saved = std::getenv("OVO_HOME");
    const std::string previous = saved ? saved : "";
    setenv("OVO_HOME", "/opt/ovo", 1);
    EXPECT_EQ(homeDirectory("/shaders"), "/opt/ovo/shaders");
    unsetenv("OVO_HOME");
    EXPECT_EQ(homeDirectory("/shaders"), "./shaders");
    if (saved) setenv("OVO_HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace testing
}  // namespace ovo

TEST(SearchPath, InputWords) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(ovo::splitInputWords(""), Words{});
    EXPECT_EQ(ovo::splitInputWords(" \t\r\n"), Words{});
    EXPECT_EQ(ovo::splitInputWords("rib  scene.rib\t-x\n2"),
              (Words{"rib", "scene.rib", "-x", "2"}));
    // A quoted word keeps its spaces and loses its quotes; an unclosed one runs to the end.
    EXPECT_EQ(ovo::splitInputWords("\"my scenes/a b.rib\" arg"),
              (Words{"my scenes/a b.rib", "arg"}));
    EXPECT_EQ(ovo::splitInputWords("gen \"open ended"), (Words{"gen", "open ended"}));
    EXPECT_EQ(ovo::splitInputWords("\"\" x"), (Words{"", "x"}));
}
