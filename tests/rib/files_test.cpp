// Files: ReadArchive lookup, inline archives, compressed input, standard input, the plugin
// entry point, and input no reader should choke on.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>

#include "core/params/parameter.h"
#include "plugins/generators/rib/reader.h"
#include "tests/common/test_util.h"
#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

using TempDir = ovotest::ScratchDir;

Calls geometry(const Recorder& r) {
    return r.only({"Sphere", "Cone", "Disk", "Cylinder", "Torus"});
}

}  // namespace

TEST(RibArchives, ReadArchiveLooksNextToTheIncludingFileThenOnTheInputPath) {
    TempDir dir, lib;
    ASSERT_FALSE(dir.path.empty());
    dir.write("main.rib",
              "WorldBegin\nReadArchive \"sub/part.rib\"\nReadArchive \"lib.rib\"\n"
              "ReadArchive \"nowhere.rib\"\nReadArchive \"" +
                  lib.path + "/lib.rib\"\nReadArchive \"sub\"\nWorldEnd\n");
    dir.write("sub/part.rib", "Sphere 1 -1 1 360\nReadArchive \"inner.rib\"\nHider \"x\"\n");
    dir.write("sub/inner.rib", "Cone 1 1 360\nHider \"x\"\n");
    lib.write("lib.rib", "Disk 0 1 360\nBogus\nHider \"x\"\n");

    Recorder r;
    r.inputPath = "/nonexistent::" + lib.path;
    ovo::rib::Reader reader(&r);
    ASSERT_TRUE(reader.readFile(dir.path + "/main.rib"));
    reader.finish();
    EXPECT_EQ(geometry(r),
              (Calls{"Sphere(1 -1 1 360)", "Cone(1 1 360)", "Disk(0 0 1 360)", "Disk(0 0 1 360)"}));
    Calls diagnostics = {
        "W: " + dir.path + "/sub/inner.rib:2: Hider \"x\" is not supported. Ignoring ...",
        // Unsupported requests are reported once per file.
        "W: " + dir.path + "/sub/part.rib:3: Hider \"x\" is not supported. Ignoring ...",
        "E: " + lib.path + "/lib.rib:2: unknown request \"Bogus\". Skipping ...",
        "W: " + lib.path + "/lib.rib:3: Hider \"x\" is not supported. Ignoring ...",
        "E: " + dir.path +
            "/main.rib:4: ReadArchive: cannot find archive \"nowhere.rib\". Skipping ...",
        // Read again: errors are reported again, the warning is not.
        "E: " + lib.path + "/lib.rib:2: unknown request \"Bogus\". Skipping ...",
        "E: " + dir.path + "/main.rib:6: ReadArchive: cannot find archive \"sub\". Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibArchives, CyclesAndDeepNestingAreRefused) {
    TempDir dir;
    // Two files that read each other would never end.
    dir.write("a.rib", "ReadArchive \"b.rib\"\nReadArchive \"b.rib\"\n");
    dir.write("b.rib", "ReadArchive \"a.rib\"\nColor 1 0 0\n");
    Recorder r;
    ovo::rib::Reader reader(&r);
    ASSERT_TRUE(reader.readFile(dir.path + "/a.rib"));
    reader.finish();
    EXPECT_EQ(r.calls, (Calls{"Attribute(color C: 1 0 0)", "Attribute(color C: 1 0 0)"}));
    EXPECT_EQ(r.diagnostics(),
              (Calls{"E: " + dir.path +
                         "/b.rib:1: ReadArchive: archive \"a.rib\" reads itself. Skipping ...",
                     "E: " + dir.path +
                         "/b.rib:1: ReadArchive: archive \"a.rib\" reads itself. Skipping ..."}));

    // A chain of distinct archives deeper than the limit stops there, once.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "ArchiveBegin \"a" + std::to_string(i) + "\"\nReadArchive \"a" +
                std::to_string(i + 1) + "\"\nArchiveEnd\n";
    text += "ArchiveBegin \"a40\"\nColor 0 1 0\nArchiveEnd\nReadArchive \"a0\"\n";
    r.clear();
    r.read(text);
    EXPECT_TRUE(r.calls.empty()) << testing::PrintToString(r.calls);
    ASSERT_EQ(r.messages.size(), 1u);
    // The top-level file is depth 1, so archive a30 is the 32nd level and its read fails.
    EXPECT_EQ(r.messages[0].second,
              "test.rib:92: ReadArchive: archives nested too deeply. Skipping ...");
}

TEST(RibArchives, CompressedFilesAndStandardInput) {
    TempDir dir;
    std::string text = "WorldBegin\nReadArchive \"part.rib.gz\"\nWorldEnd\n";
    dir.write("main.rib", text);
    gzFile gz = gzopen((dir.path + "/part.rib.gz").c_str(), "wb");
    ASSERT_TRUE(gz);
    std::string part = "Torus 2 0.5 0 360 360\n";
    gzwrite(gz, part.data(), unsigned(part.size()));
    gzclose(gz);

    Recorder r;
    {
        ovo::rib::Reader reader(&r);
        ASSERT_TRUE(reader.readFile(dir.path + "/main.rib"));
        reader.finish();
    }
    EXPECT_EQ(geometry(r), Calls{"Torus(2 0.5 0 360 360)"});
    EXPECT_TRUE(r.messages.empty()) << testing::PrintToString(r.diagnostics());

    // "-" reads standard input; archives are then found from the working directory or the
    // input path, and messages name "<stdin>".
    r.clear();
    dir.write("stdin.rib", "WorldBegin\nReadArchive \"part.rib.gz\"\nSphere 1\nWorldEnd\n");
    int saved = dup(0);
    int fd = open((dir.path + "/stdin.rib").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    dup2(fd, 0);
    close(fd);
    r.inputPath = dir.path;
    {
        ovo::rib::Reader reader(&r);
        EXPECT_TRUE(reader.readFile("-"));
        reader.finish();
    }
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(geometry(r), Calls{"Torus(2 0.5 0 360 360)"});
    EXPECT_EQ(r.diagnostics(),
              Calls{"E: <stdin>:3: Sphere: expected 4 numbers, got 1. Skipping ..."});

    r.clear();
    ovo::rib::Reader reader(&r);
    EXPECT_FALSE(reader.readFile(dir.path + "/missing.rib"));
    EXPECT_FALSE(reader.readFile(dir.path));
    EXPECT_EQ(
        r.diagnostics(),
        (Calls{"E: " + dir.path + "/missing.rib: cannot open file (No such file or directory)",
               "E: " + dir.path + ": cannot open file (is a directory)"}));
}

TEST(RibArchives, InlineArchivesAreRecordedAndReplayed) {
    Recorder r;
    r.read(
        "ArchiveBegin \"a\"\nSphere 1 -1 1 360\nArchiveBegin \"b\"\nCone 1 1 360\nArchiveEnd\n"
        "Bad 1\nArchiveEnd\nWorldBegin\nReadArchive \"a\"\nReadArchive \"b\"\nReadArchive \"a\"\n"
        "WorldEnd\nArchiveEnd\n"
        "ArchiveBegin \"loop\"\nReadArchive \"loop\"\nArchiveEnd\nReadArchive \"loop\"\n"
        "ArchiveBegin \"open\"\nSphere 1 -1 1 360\n");
    EXPECT_EQ(geometry(r), (Calls{"Sphere(1 -1 1 360)", "Cone(1 1 360)", "Sphere(1 -1 1 360)"}));
    EXPECT_EQ(r.calls.front(),
              "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)");  // nothing ran early
    Calls diagnostics = {
        "E: test.rib:6: unknown request \"Bad\". Skipping ...",
        "E: test.rib:6: unknown request \"Bad\". Skipping ...",
        "E: test.rib:13: ArchiveEnd: no matching ArchiveBegin. Skipping ...",
        "E: test.rib:15: ReadArchive: archive \"loop\" reads itself. Skipping ...",
        "E: test.rib:18: ArchiveBegin \"open\" without ArchiveEnd",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibPlugin, TheBuiltPluginRunsAFile) {
    const char* home = std::getenv("OVO_BINARY_DIR");
    if (!home) home = std::getenv("OVO_HOME");
    ASSERT_TRUE(home) << "OVO_BINARY_DIR or OVO_HOME must name the build folder";
    std::string path = std::string(home) + "/plugins/rib.generator.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(handle) << dlerror();
    using Entry = ovo::RendererAPI::Generator* (*)(ovo::ParameterSet&);
    Entry entry = reinterpret_cast<Entry>(dlsym(handle, "createGenerator"));
    ASSERT_TRUE(entry);

    TempDir dir;
    dir.write("a b/scene.rib", "WorldBegin\nSphere 2 -2 2 360\nWorldEnd\n");
    ovo::ParameterSet params;
    Recorder r;
    ovo::RendererAPI::Generator* generator = entry(params);
    ASSERT_TRUE(generator);
    generator->run(&r, ("\"" + dir.path + "/a b/scene.rib\" extra words").c_str());
    generator->run(&r, "");
    generator->run(&r, (dir.path + "/none.rib").c_str());
    delete generator;
    EXPECT_EQ(geometry(r), Calls{"Sphere(2 -2 2 360)"});
    EXPECT_EQ(
        r.diagnostics(),
        (Calls{"E: rib: no input file given",
               "E: " + dir.path + "/none.rib: cannot open file (No such file or directory)"}));
    dlclose(handle);
}

TEST(RibRobustness, GarbageDeepNestingAndHugeNumbersNeverCrash) {
    // Pseudo-random bytes: every kind of bad token, reported up to the per-file limit.
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage += char(state >> 23);
    }
    Recorder r;
    r.read(garbage);
    std::size_t errors = 0;
    for (const auto& m : r.messages) errors += m.first == 'E';
    EXPECT_GE(errors, 2u);
    EXPECT_LE(errors, std::size_t(ovo::rib::Reader::MaxErrorsPerFile) + 1);

    // Past the limit a file is given up with one last message.
    std::string bad;
    for (int i = 0; i < 300; ++i) bad += "Foo\n";
    r.clear();
    r.read(bad);
    ASSERT_EQ(r.messages.size(), std::size_t(ovo::rib::Reader::MaxErrorsPerFile) + 1);
    EXPECT_EQ(r.messages[19].second, "test.rib:20: unknown request \"Foo\". Skipping ...");
    EXPECT_EQ(r.messages.back().second, "too many errors in test.rib; giving up");

    // Ten thousand open blocks are closed again at the end.
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "AttributeBegin\n";
    r.clear();
    r.read(deep);
    EXPECT_EQ(r.only({"PushAttributes"}).size(), 10000u);
    EXPECT_EQ(r.only({"PopAttributes"}).size(), 10000u);

    // Numbers beyond float range are clamped; NUL bytes are bad characters, not the end.
    r.clear();
    r.read(std::string(
        "WorldBegin\nSphere 1e300 -1e300 1 360\nCone 1 1 360 \0\0\nDisk 0 1 360\nWorldEnd\n", 75));
    EXPECT_EQ(geometry(r), (Calls{"Sphere(3.40282e+38 -3.40282e+38 1 360)", "Disk(0 0 1 360)"}));
    EXPECT_EQ(r.diagnostics(),
              Calls{"E: test.rib:3: Cone: unexpected character 0x00. Skipping ..."});
}
