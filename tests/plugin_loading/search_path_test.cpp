// lookup: finding a file on a colon-separated search path; expandSearchPath: building one;
// splitInputWords: the words of an Input request.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/plugins/search_path.h"
#include "tests/common/test_util.h"

namespace {

namespace fs = std::filesystem;
using ovotest::ScratchDir;

std::string canonical(const std::string& path) { return fs::canonical(path).string(); }

// Runs the scope in another working directory.
struct WorkingDir {
    explicit WorkingDir(const std::string& dir) { fs::current_path(dir); }
    ~WorkingDir() { fs::current_path(previous); }
    const fs::path previous = fs::current_path();
};

TEST(Lookup, FirstDirectoryHoldingTheFile) {
    ScratchDir dir;
    for (const char* file : {"a/f.so", "b/f.so", "b/g.so", "f", "plugins/s.so"})
        dir.write(file, "x");
    const std::string a = dir / "a", b = dir / "b";
    EXPECT_EQ(lookup(a + ":" + b, "f.so"), canonical(a + "/f.so"));
    EXPECT_EQ(lookup(b + ":" + a, "f.so"), canonical(b + "/f.so"));
    EXPECT_EQ(lookup(a + ":" + b, "g.so"), canonical(b + "/g.so"));
    EXPECT_EQ(lookup("", "f.so"), "");
    EXPECT_EQ(lookup(dir.path, "a/f.so"), canonical(a + "/f.so"));  // relative names inside
    // Absolute names bypass the search path.
    EXPECT_EQ(lookup("", a + "/f.so"), canonical(a + "/f.so"));
    EXPECT_EQ(lookup(dir.path, a + "/f.so.missing"), "");
    // Between two colons the directory is empty: the candidate is "/" and the file name. A
    // trailing colon adds no empty directory.
    const std::string rooted = dir.path.substr(1) + "/f";
    EXPECT_EQ(lookup("/nonexistent-a::/nonexistent-b", rooted), canonical(dir / "f"));
    EXPECT_EQ(lookup("/nonexistent-a:", rooted), "");
    // Relative directories resolve against the working directory, to a path without "." parts.
    WorkingDir cwd(dir.path);
    EXPECT_EQ(lookup(".:./plugins", "s.so"), canonical(dir / "plugins/s.so"));
}

TEST(Lookup, DriveLetterRules) {
    ScratchDir dir;
    // Folders named like drives exist here as ordinary relative folders.
    for (const char* file : {"C:/x/file", "D:/y/file", "D:/y/other", "q:z"}) dir.write(file, "x");
    WorkingDir cwd(dir.path);
    // "C:/x:D:/y" is two directories, C:/x then D:/y.
    EXPECT_EQ(lookup("C:/x:D:/y", "file"), canonical(dir / "C:/x/file"));
    EXPECT_EQ(lookup("C:/x:D:/y", "other"), canonical(dir / "D:/y/other"));
    // A drive-qualified file name bypasses the search path and comes back as given.
    EXPECT_EQ(lookup("/nowhere", "D:/y/other"), "D:/y/other");
    EXPECT_EQ(lookup(dir.path, "Z:/nothing"), "");
    EXPECT_EQ(lookup(dir.path, "q:z"), "q:z");
    fs::current_path("/");
    EXPECT_EQ(lookup(dir.path, "q:z"), "");  // the path is not searched for such a name
}

TEST(SearchPath, ExpandsPreviousHomeAndEnvironment) {
    setenv("OVO_TEST_VAR", "/v", 1);
    unsetenv("OVO_TEST_UNSET");
    const std::pair<const char*, const char*> cases[] = {
        {"&:@/extra", "prev:/opt/r/inputs/extra"},
        {"plain:text", "plain:text"},
        {"&&", "prevprev"},
        {"", ""},
        {"$OVO_TEST_VAR/x", "/v/x"},
        {"${OVO_TEST_VAR}/x", "/v/x"},
        {"%OVO_TEST_VAR%x", "/vx"},
        {"%OVO_TEST_UNSET%/x", "/x"},
        // The end of the text ends a name.
        {"${OVO_TEST_VAR", "/v"},
        {"%OVO_TEST_VAR", "/v"},
        // A name is letters, digits and '_': the character after it is not expanded.
        {"$OVO_TEST_VAR&", "/v&"},
        {"$OVO_TEST_VAR:&", "/v:prev"},
        // Whatever follows a %NAME is dropped, as the closing '%' would be.
        {"%OVO_TEST_VAR:&", "/vprev"},
        // Either closing bracket closes either opening one.
        {"${OVO_TEST_VAR)y", "/vy"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ovo::expandSearchPath(c.first, "prev", "/opt/r/inputs"), c.second) << c.first;
    unsetenv("OVO_TEST_VAR");
}

TEST(SearchPath, InputWords) {
    // A quoted word keeps its spaces and loses its quotes; an unclosed one runs to the end.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {}},
        {"rib  scene.rib\t-x\n2", {"rib", "scene.rib", "-x", "2"}},
        {"\"my scenes/a b.rib\" arg", {"my scenes/a b.rib", "arg"}},
        {"gen \"open ended", {"gen", "open ended"}},
        {"\"\" x", {"", "x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ovo::splitInputWords(c.first), c.second) << c.first;
}

}  // namespace
