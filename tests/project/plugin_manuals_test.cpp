// The manual block that opens every plugin and shader source, against its layout:
//
//   // <name>: <one-line summary>
//   //
//   // <free text>
//   //
//   // Parameters:                          or the single line  // Parameters: none
//   //   type    name      default  meaning
//   //   float   radius    1        a row; a row with only a meaning continues the one above
//   //
//   // Example:
//   //   <scene-file lines>                 to the end of the block
//
// and docs/plugins.md, which scripts/docs.sh gathers from the blocks, against the sources.
// GCC 12 with AddressSanitizer warns of an uninitialised std::function inside <regex>'s own
// code; the warning is false and would fail the sanitizer build.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/test_util.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) { return ovotest::readText(path.string()); }

// The layout above as a pattern over the block's lines, each ended by '\n'; the table's columns
// are checked by columnProblem.
const std::regex Layout(
    "// (\\S+): \\S.*\n//\n"      // the name, a one-line summary
    "(?:(?:// .*\n|//\n)*//\n)?"  // free text
    "// Parameters:(?: none\n|\n//   type +name +default +meaning\n(?://   .*\n)+)"
    "//\n// Example:\n(?://\n)*//   .+\n(?://   .+\n|//\n)*");

// What is wrong with the rows of the table under the column line block[header]; "" if nothing.
std::string columnProblem(const std::vector<std::string>& block, std::size_t header) {
    const std::string& h = block[header];
    const std::size_t starts[] = {5, h.find(" name") + 1, h.find(" default") + 1,
                                  h.find(" meaning") + 1, std::string::npos};
    for (std::size_t i = header + 1; i < block.size() && block[i] != "//"; ++i) {
        const std::string& row = block[i];
        std::string cells[4];
        for (int c = 0; c < 4; ++c) {
            if (c && row.size() > starts[c] && row[starts[c] - 1] != ' ')
                return "row \"" + row + "\" runs over a column's start";
            std::istringstream words(
                row.size() > starts[c] ? row.substr(starts[c], starts[c + 1] - starts[c]) : "");
            for (std::string w; words >> w;) cells[c] += w;
        }
        const bool continues = cells[0].empty() && cells[1].empty() && cells[2].empty();
        if (continues && i == header + 1) return "row \"" + row + "\" continues no row";
        if (cells[3].empty()) return "row \"" + row + "\" has no meaning";
        if (!continues && (cells[0].empty() || cells[1].empty() || cells[2].empty()))
            return "row \"" + row + "\" lacks its type, name or default";
    }
    return "";
}

// What is wrong with the manual block that opens `text`, the source of the plugin `stem`; ""
// if nothing.
std::string manualProblem(const std::string& stem, const std::string& text) {
    std::vector<std::string> block;
    std::string joined;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line) && line.compare(0, 2, "//") == 0;) {
        block.push_back(line);
        joined += line + "\n";
    }
    std::smatch m;
    if (block.empty()) return "does not open with its manual block";
    if (!std::regex_match(joined, m, Layout)) return "does not follow the layout";
    if (m[1] != stem) return "names " + m[1].str() + ", not " + stem;
    const auto header = std::find(block.begin(), block.end(), "// Parameters:");
    return header == block.end() ? ""
                                 : columnProblem(block, std::size_t(header - block.begin()) + 1);
}

// Runs a command; its exit status, and what it printed in `output`.
int run(const std::string& command, std::string& output) {
    const ovotest::CommandResult r = ovotest::runCommand(command + " 2>&1");
    output = r.out;
    return r.status;
}

const std::string DocsScript = std::string("bash '") + OVO_SOURCE_DIR + "/scripts/docs.sh'";

TEST(PluginManuals, EveryPluginAndShaderOpensWithItsManual) {
    // The entry of every plugin (plugins/<kind>/<name>.cpp, or <name>/<name>.cpp for a plugin
    // made of a folder) and every shader (<name>.sl, or .cpp for one written in C++).
    std::vector<std::string> files;
    for (const char* top : {"plugins", "shaders"})
        for (const auto& kind : fs::directory_iterator(fs::path(OVO_SOURCE_DIR) / top)) {
            if (!kind.is_directory()) continue;
            for (const auto& entry : fs::directory_iterator(kind.path())) {
                fs::path file = entry.path();
                if (entry.is_directory()) file /= entry.path().filename().string() + ".cpp";
                const std::string ext = file.extension().string();
                if ((ext == ".cpp" || ext == ".sl") && fs::is_regular_file(file))
                    files.push_back(fs::relative(file, OVO_SOURCE_DIR).generic_string());
            }
        }
    // The walk finds the tree: the plugins of every kind and the shaders.
    ASSERT_GE(files.size(), 35u);
    for (const char* known : {"plugins/shapes/sphere.cpp", "shaders/surface/plastic.sl"})
        EXPECT_NE(std::find(files.begin(), files.end(), known), files.end()) << known;
    for (const std::string& file : files)
        EXPECT_EQ(manualProblem(fs::path(file).stem().string(),
                                readFile(fs::path(OVO_SOURCE_DIR) / file)),
                  "")
            << file;
}

TEST(PluginManuals, PluginsMdIsCurrentAndTheCheckNamesAStaleFile) {
    std::string output;
    EXPECT_EQ(run(DocsScript + " --check", output), 0) << output;  // docs/plugins.md is current

    ovotest::ScratchDir dir;
    const std::string file = dir / "plugins.md", missing = dir / "missing.md";
    fs::copy_file(fs::path(OVO_SOURCE_DIR) / "docs/plugins.md", file);
    std::ofstream(file, std::ios::app) << "one line more\n";
    EXPECT_EQ(run(DocsScript + " --check '" + file + "'", output), 1);
    EXPECT_NE(output.find("docs.sh: " + file +
                          " is not what the plugin and shader sources give "
                          "now; run scripts/docs.sh"),
              std::string::npos)
        << output;
    EXPECT_EQ(run(DocsScript + " --check '" + missing + "'", output), 1);
    EXPECT_NE(output.find("docs.sh: " + missing + " is missing"), std::string::npos) << output;
}

}  // namespace
