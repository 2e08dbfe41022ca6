// Files: ReadArchive lookup, inline archives, compressed input, standard input, the plugin
// entry point, procedurals (archives read in place and helper programs asked for RIB, each in an
// attribute block of its own), and input no reader should choke on (with the fuzz target's seeds
// and regressions: tests/common/fuzz_replay.h).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "core/params/parameter.h"
#include "tests/common/fuzz_replay.h"
#include "tests/rib/recorder.h"

using ovotest::Recorder;
using ovotest::ScratchDir;

namespace {
const std::vector<std::string> Shapes = {"Sphere", "Cone", "Disk", "Torus"};
// Reads the file `path` through a fresh reader; what readFile answered.
bool readFile(Recorder& r, const std::string& path) {
    ovo::rib::Reader reader(&r);
    const bool read = reader.readFile(path);
    reader.finish();
    return read;
}

// A helper program: answers each "detail data" line with a sphere of radius `data` and the
// count of requests it has answered, so a test sees that one process serves them all.
const char* const Answerer =
    "n=0\nwhile read detail data; do n=$((n+1)); "
    "printf 'Sphere %s -1 1 360 # %s\\n' \"$data\" \"$n\"; "
    "printf 'Translate %s 0 0\\n' \"$n\"; printf '\\377'; done\n";
}  // namespace

TEST(RibArchives, ReadArchiveLooksNextToTheIncludingFileThenOnTheInputPath) {
    ScratchDir dir, lib;
    dir.write("main.rib",
              "WorldBegin\nReadArchive \"sub/part.rib\"\nReadArchive \"lib.rib\"\n"
              "ReadArchive \"nowhere.rib\"\nReadArchive \"" +
                  lib.path + "/lib.rib\"\nReadArchive \"sub\"\nWorldEnd\n");
    dir.write("sub/part.rib", "Sphere 1 -1 1 360\nReadArchive \"inner.rib\"\nHider \"x\"\n");
    dir.write("sub/inner.rib", "Cone 1 1 360\nHider \"x\"\n");
    lib.write("lib.rib", "Disk 0 1 360\nBogus\nHider \"x\"\n");
    Recorder r;
    r.inputPath = "/nonexistent::" + lib.path;
    ASSERT_TRUE(readFile(r, dir / "main.rib"));
    // Unsupported requests are reported once per file; errors every time.
    EXPECT_EQ(
        ovotest::replaced(ovotest::replaced(r.all(Shapes), dir.path, "DIR"), lib.path, "LIB"),
        "Sphere(1 -1 1 360); Cone(1 1 360); Disk(0 0 1 360); Disk(0 0 1 360); W: "
        "DIR/sub/inner.rib:2: Hider \"x\" is not supported. Ignoring ...; W: DIR/sub/part.rib:3: "
        "Hider \"x\" is not supported. Ignoring ...; E: LIB/lib.rib:2: unknown request \"Bogus\". "
        "Skipping ...; W: LIB/lib.rib:3: Hider \"x\" is not supported. Ignoring ...; E: "
        "DIR/main.rib:4: ReadArchive: cannot find archive \"nowhere.rib\". Skipping ...; E: "
        "LIB/lib.rib:2: unknown request \"Bogus\". Skipping ...; E: DIR/main.rib:6: ReadArchive: "
        "cannot find archive \"sub\". Skipping ...");
}

TEST(RibArchives, CyclesAndDeepNestingAreRefused) {
    ScratchDir dir;
    // Two files that read each other would never end.
    dir.write("a.rib", "ReadArchive \"b.rib\"\nReadArchive \"b.rib\"\n");
    dir.write("b.rib", "ReadArchive \"a.rib\"\nColor 1 0 0\n");
    Recorder r;
    ASSERT_TRUE(readFile(r, dir / "a.rib"));
    const std::string cycle =
        "E: DIR/b.rib:1: ReadArchive: archive \"a.rib\" reads itself. Skipping ...";
    EXPECT_EQ(ovotest::replaced(r.all(), dir.path, "DIR"),
              "Attribute(color C: 1 0 0); Attribute(color C: 1 0 0); " + cycle + "; " + cycle);

    // A chain of distinct archives deeper than the limit stops there, once: the top-level file
    // is depth 1, so archive a30 is the 32nd level and its read fails.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "ArchiveBegin \"a" + std::to_string(i) + "\"\nReadArchive \"a" +
                std::to_string(i + 1) + "\"\nArchiveEnd\n";
    r.read(text + "ArchiveBegin \"a40\"\nColor 0 1 0\nArchiveEnd\nReadArchive \"a0\"\n");
    EXPECT_EQ(r.all(), "E: test.rib:92: ReadArchive: archives nested too deeply. Skipping ...");
}

TEST(RibArchives, InlineArchivesAreRecordedAndReplayed) {
    Recorder r;
    r.read(
        "ArchiveBegin \"a\"\nSphere 1 -1 1 360\nArchiveBegin \"b\"\nCone 1 1 360\nArchiveEnd\n"
        "Bad 1\nArchiveEnd\nWorldBegin\nReadArchive \"a\"\nReadArchive \"b\"\nReadArchive \"a\"\n"
        "WorldEnd\nArchiveEnd\n"
        "ArchiveBegin \"loop\"\nReadArchive \"loop\"\nArchiveEnd\nReadArchive \"loop\"\n"
        "ArchiveBegin \"open\"\nSphere 1 -1 1 360\n");
    EXPECT_EQ(r.calls.front(),
              "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)");  // nothing ran early
    EXPECT_EQ(r.all(Shapes),
              "Sphere(1 -1 1 360); Cone(1 1 360); Sphere(1 -1 1 360); E: test.rib:6: unknown "
              "request \"Bad\". Skipping ...; E: test.rib:6: unknown request \"Bad\". Skipping "
              "...; E: test.rib:13: ArchiveEnd: no matching ArchiveBegin. Skipping ...; E: "
              "test.rib:15: ReadArchive: archive \"loop\" reads itself. Skipping ...; E: "
              "test.rib:18: ArchiveBegin \"open\" without ArchiveEnd");
}

TEST(RibFiles, CompressedFilesStandardInputAndTheBuiltPlugin) {
    ScratchDir dir;
    dir.write("main.rib", "WorldBegin\nReadArchive \"part.rib.gz\"\nWorldEnd\n");
    gzFile gz = gzopen((dir / "part.rib.gz").c_str(), "wb");
    ASSERT_TRUE(gz);
    gzputs(gz, "Torus 2 0.5 0 360 360\n");
    gzclose(gz);
    Recorder r;
    ASSERT_TRUE(readFile(r, dir / "main.rib"));
    EXPECT_EQ(r.all(Shapes), "Torus(2 0.5 0 360 360)");

    // "-" reads standard input; archives are then found from the working directory or the
    // input path, and messages name "<stdin>".
    r.clear();
    dir.write("stdin.rib", "WorldBegin\nReadArchive \"part.rib.gz\"\nSphere 1\nWorldEnd\n");
    const int saved = dup(0), fd = open((dir / "stdin.rib").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    dup2(fd, 0);
    close(fd);
    r.inputPath = dir.path;
    EXPECT_TRUE(readFile(r, "-"));
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(
        r.all(Shapes),
        "Torus(2 0.5 0 360 360); E: <stdin>:3: Sphere: expected 4 numbers, got 1. Skipping ...");
    r.clear();
    EXPECT_FALSE(readFile(r, dir / "missing.rib"));
    EXPECT_FALSE(readFile(r, dir.path));
    EXPECT_EQ(ovotest::replaced(r.all(), dir.path, "DIR"),
              "E: DIR/missing.rib: cannot open file (No such file or directory); E: DIR: cannot "
              "open file (is a directory)");

    // The built plugin's entry: a quoted file name, then arguments it ignores.
    using Entry = ovo::RendererAPI::Generator* (*)(ovo::ParameterSet&);
    const auto entry = ovotest::pluginSymbol<Entry>("rib.generator.so", "createGenerator");
    ASSERT_TRUE(entry);
    dir.write("a b/scene.rib", "WorldBegin\nSphere 2 -2 2 360\nWorldEnd\n");
    ovo::ParameterSet params;
    ovo::RendererAPI::Generator* generator = entry(params);
    ASSERT_TRUE(generator);
    r.clear();
    generator->run(&r, ("\"" + dir.path + "/a b/scene.rib\" extra words").c_str());
    generator->run(&r, "");
    generator->run(&r, (dir / "none.rib").c_str());
    delete generator;
    EXPECT_EQ(ovotest::replaced(r.all(Shapes), dir.path, "DIR"),
              "Sphere(2 -2 2 360); E: rib: no input file given; E: DIR/none.rib: cannot open file "
              "(No such file or directory)");
}

TEST(RibRobustness, GarbageErrorLimitDeepNestingAndHugeNumbers) {
    // Pseudo-random bytes: every kind of bad token, reported up to the per-file limit.
    std::string garbage, bad;
    for (unsigned i = 0, state = 12345; i < 200000; ++i)
        garbage += char((state = state * 1103515245u + 12345u) >> 23);
    Recorder r;
    r.read(garbage);
    EXPECT_GE(r.reports().size(), 2u);
    EXPECT_LE(r.reports().size(), std::size_t(ovo::rib::Reader::MaxErrorsPerFile) + 1);

    // Past the limit a file is given up with one last message.
    for (int i = 0; i < 300; ++i) bad += "Foo\n";
    r.read(bad);
    ASSERT_EQ(r.reports().size(), std::size_t(ovo::rib::Reader::MaxErrorsPerFile) + 1);
    EXPECT_EQ(r.reports()[19].text, "test.rib:20: unknown request \"Foo\". Skipping ...");
    EXPECT_EQ(r.reports().back().text, "too many errors in test.rib; giving up");

    // Ten thousand open blocks are closed again at the end.
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "AttributeBegin\n";
    r.read(deep);
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "PushAttributes()"), 10000);
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "PopAttributes()"), 10000);

    // Numbers beyond float range are clamped.
    r.read("WorldBegin\nSphere 1e300 -1e300 1 360\nWorldEnd\n");
    EXPECT_EQ(r.all(Shapes), "Sphere(3.40282e+38 -3.40282e+38 1 360)");
}

TEST(RibProcedural, ArchivesAndProgramsAnswerInTheirOwnBlocksAndBadOnesAreReported) {
    ScratchDir dir;
    dir.write("part.rib", "Color [1 0 0]\nSphere 1 -1 1 360\n");
    dir.write("answer.sh", Answerer);
    dir.write("quits.sh", "read line; echo 'Sphere 4 -1 1 360'\n");
    Recorder r;
    r.read(
        "WorldBegin\n"
        "Procedural \"DelayedReadArchive\" [\"part.rib\"] [-1 1 -1 1 -1 1]\n"
        "Procedural \"RunProgram\" [\"sh answer.sh\" \"2\"] [-2 2 -2 2 -2 2]\n"
        "Procedural \"RunProgram\" [\"sh answer.sh\" \"3\"] [-3 3 -3 3 -3 3]\n"
        "Procedural \"RunProgram\" [\"sh quits.sh\" \"\"] [0 1 0 1 0 1]\n"
        "Procedural \"RunProgram\" [\"sh quits.sh\"] [0 1 0 1 0 1]\n"
        "Procedural \"DelayedReadArchive\" [\"none.rib\"] [0 1 0 1]\n"
        "Procedural \"Teapots\" [] [0 1 0 1 0 1]\n"
        "Procedural \"DelayedReadArchive\" [\"none.rib\"] [0 1 0 1 0 1]\n"
        "WorldEnd\n",
        dir / "scene.rib");
    // What a program wrote before it quit is still read; an archive not found leaves its block
    // empty.
    EXPECT_EQ(
        ovotest::replaced(r.all({"Push", "Pop", "Sphere", "Translate", "Attribute("}), dir.path,
                          "DIR"),
        "PushAttributes(); Attribute(color C: 1 0 0); Sphere(1 -1 1 360); PopAttributes(); "
        "PushAttributes(); Sphere(2 -1 1 360); Translate(1 0 0); PopAttributes(); "
        "PushAttributes(); Sphere(3 -1 1 360); Translate(2 0 0); PopAttributes(); "
        "PushAttributes(); Sphere(4 -1 1 360); PopAttributes(); PushAttributes(); PopAttributes(); "
        "E: DIR/scene.rib:5: Procedural: program \"sh quits.sh\": the program ended before the "
        "end of its output. Skipping ...; E: DIR/scene.rib:6: Procedural: \"RunProgram\" needs 2 "
        "arguments. Skipping ...; E: DIR/scene.rib:7: Procedural: the bound needs 6 numbers, got "
        "4. Skipping ...; E: DIR/scene.rib:8: Procedural: unknown procedural \"Teapots\". "
        "Skipping ...; E: DIR/scene.rib:9: Procedural: cannot find archive \"none.rib\". "
        "Skipping ...");
}

TEST(FuzzReplay, CorpusAndRegressionsReadCleanly) {
    EXPECT_GE(ovotest::replayFuzzInputs({"corpus", "regressions"}), 5);
}
