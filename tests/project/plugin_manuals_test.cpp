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
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/test_util.h"

namespace {

namespace fs = std::filesystem;

// Sources whose owners convert their blocks themselves. Each entry fails once its file follows
// the layout, so that the list empties itself.
std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// The cell of `line` from column `from` up to column `to` (npos: to the end), trimmed.
std::string cell(const std::string& line, std::size_t from, std::size_t to) {
    if (from >= line.size()) return "";
    return trim(line.substr(from, to == std::string::npos ? to : to - from));
}

// "//   type  name  default  meaning", the columns as wide as the spaces make them.
bool isColumnLine(const std::string& line) {
    if (line.compare(0, 9, "//   type") != 0) return false;
    std::istringstream in(line.substr(2));
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words == std::vector<std::string>{"type", "name", "default", "meaning"};
}

// Checks the rows of the table whose column line is block[header]; returns the index of the
// line after the last row.
std::size_t checkTable(const std::vector<std::string>& block, std::size_t header,
                       std::vector<std::string>& problems) {
    if (header >= block.size() || !isColumnLine(block[header])) {
        problems.push_back(
            "the line after \"// Parameters:\" is not the column line "
            "\"//   type  name  default  meaning\"");
        while (header < block.size() && block[header] != "//") ++header;
        return header;
    }
    const std::string& h = block[header];
    const std::size_t name = h.find(" name") + 1, def = h.find(" default") + 1,
                      meaning = h.find(" meaning") + 1;
    std::size_t i = header + 1;
    for (; i < block.size() && block[i] != "//"; ++i) {
        const std::string& row = block[i];
        const std::string quoted = "row \"" + row + "\" ";
        if (row.compare(0, 5, "//   ") != 0) {
            problems.push_back(quoted + "is not indented like the column line");
            continue;
        }
        for (std::size_t column : {name, def, meaning})
            if (row.size() > column && row[column - 1] != ' ')
                problems.push_back(quoted + "runs over a column's start");
        const std::string type = cell(row, 5, name), id = cell(row, name, def),
                          value = cell(row, def, meaning),
                          what = cell(row, meaning, std::string::npos);
        const bool continues = type.empty() && id.empty() && value.empty();
        if (continues && i == header + 1) problems.push_back(quoted + "continues no row");
        if (what.empty()) problems.push_back(quoted + "has no meaning");
        if (!continues && (type.empty() || id.empty() || value.empty()))
            problems.push_back(quoted + "lacks its type, name or default");
    }
    if (i == header + 1) problems.push_back("the table has no rows");
    return i;
}

// What is wrong with the manual block that opens `text`, the source of the plugin `stem`.
std::vector<std::string> manualProblems(const std::string& stem, const std::string& text) {
    std::vector<std::string> block;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line) && line.compare(0, 2, "//") == 0;)
        block.push_back(line);
    if (block.empty()) return {"does not open with its manual block"};

    std::vector<std::string> problems;
    const std::string head = "// " + stem + ": ";
    if (block[0].compare(0, head.size(), head) != 0)
        problems.push_back("the first line is not \"// " + stem + ": <summary>\"");
    else if (trim(block[0].substr(head.size())).empty())
        problems.push_back("the summary is empty");
    if (block.size() < 2 || block[1] != "//")
        problems.push_back("the summary is not one line followed by \"//\"");

    std::size_t parameters = 0, example = 0;
    for (std::size_t i = 1; i < block.size(); ++i) {
        if (!parameters && block[i].compare(0, 14, "// Parameters:") == 0) parameters = i;
        if (!example && block[i] == "// Example:") example = i;
    }
    if (!parameters) problems.push_back("no \"// Parameters:\" line");
    if (!example) problems.push_back("no \"// Example:\" line");
    if (!parameters || !example) return problems;
    if (example < parameters) {
        problems.push_back("\"// Example:\" comes before \"// Parameters:\"");
        return problems;
    }

    if (block[parameters - 1] != "//") problems.push_back("no \"//\" before \"// Parameters:\"");
    std::size_t after = parameters + 1;
    if (block[parameters] == "// Parameters:")
        after = checkTable(block, parameters + 1, problems);
    else if (block[parameters] != "// Parameters: none")
        problems.push_back("\"" + block[parameters] +
                           "\" is neither \"// Parameters:\" nor \"// Parameters: none\"");
    if (after + 1 != example || block[after] != "//")
        problems.push_back("the parameters are not followed by \"//\" and \"// Example:\"");

    std::size_t lines = 0;
    for (std::size_t i = example + 1; i < block.size(); ++i) {
        if (block[i] == "//") continue;
        if (block[i].size() > 5 && block[i].compare(0, 5, "//   ") == 0)
            ++lines;
        else
            problems.push_back("example line \"" + block[i] + "\" is not indented by two spaces");
    }
    if (lines == 0) problems.push_back("no example line after \"// Example:\"");
    return problems;
}

// The entry of every plugin (plugins/<kind>/<name>.cpp, or <name>/<name>.cpp for a plugin made
// of a folder) and every shader (shaders/<kind>/<name>.sl, or .cpp for one written in C++),
// relative to the source tree.
std::vector<std::string> manualSources(const fs::path& root) {
    std::vector<std::string> files;
    for (const char* top : {"plugins", "shaders"})
        for (const fs::directory_entry& kind : fs::directory_iterator(root / top)) {
            if (!kind.is_directory()) continue;
            for (const fs::directory_entry& entry : fs::directory_iterator(kind.path())) {
                fs::path file = entry.path();
                if (entry.is_directory()) file /= entry.path().filename().string() + ".cpp";
                const std::string ext = file.extension().string();
                if ((ext == ".cpp" || ext == ".sl") && fs::is_regular_file(file))
                    files.push_back(fs::relative(file, root).generic_string());
            }
        }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs a command; its exit status, and what it printed in `output`.
int run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += "\n  " + l;
    return text;
}

const std::string DocsScript = std::string("bash '") + OVO_SOURCE_DIR + "/scripts/docs.sh'";

TEST(PluginManuals, EveryPluginAndShaderOpensWithItsManual) {
    const std::vector<std::string> files = manualSources(OVO_SOURCE_DIR);
    // The walk finds the tree: the plugins of every kind and the shaders.
    ASSERT_GE(files.size(), 35u);
    for (const char* known : {"plugins/shapes/sphere.cpp", "plugins/generators/rib/rib.cpp",
                              "shaders/surface/plastic.sl", "shaders/light/spotlight.sl"})
        EXPECT_NE(std::find(files.begin(), files.end(), known), files.end()) << known;
    for (const std::string& file : files) {
        const std::vector<std::string> problems = manualProblems(
            fs::path(file).stem().string(), readFile(fs::path(OVO_SOURCE_DIR) / file));
        EXPECT_TRUE(problems.empty()) << file << ":" << joined(problems);
    }
}

// One table: a good block, a good block without parameters, and each rule broken once, with
// the problem the check must name.
TEST(PluginManuals, TheLayoutCheckNamesEachBreak) {
    const std::string good =
        "// box: every sample counts the same.\n"
        "//\n"
        "// Free text.\n"
        "//\n"
        "// Parameters:\n"
        "//   type   name   default  meaning\n"
        "//   float  alpha  2        falloff; larger values give\n"
        "//                          a narrower bell\n"
        "//   color  tint   1 1 1    colour\n"
        "//\n"
        "// Example:\n"
        "//   PixelFilter \"box\" 1 1\n"
        "//     \"float alpha\" [3]\n"
        "#include <cmath>\n";
    const std::string none =
        "// box: every sample counts the same.\n"
        "//\n"
        "// Parameters: none\n"
        "//\n"
        "// Example:\n"
        "//   PixelFilter \"box\" 1 1\n"
        "\n"
        "// not part of the block\n";
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    struct Case {
        std::string text;
        std::string problem;  // empty: the block is right
    };
    const std::vector<Case> cases = {
        {good, ""},
        {none, ""},
        {"#include <cmath>\n" + good, "does not open with its manual block"},
        {replaced(good, "// box:", "// boxes:"), "the first line is not \"// box: <summary>\""},
        {replaced(good, "// box: every", "// box - every"),
         "the first line is not \"// box: <summary>\""},
        {replaced(good, "// box: every sample counts the same.", "// box:  "),
         "the summary is empty"},
        {replaced(good, "same.\n//\n", "same.\n// and more.\n//\n"),
         "the summary is not one line followed by \"//\""},
        {replaced(none, "// Parameters: none\n//\n", ""), "no \"// Parameters:\" line"},
        {replaced(none, "// Example:\n//   PixelFilter \"box\" 1 1\n", ""),
         "no \"// Example:\" line"},
        {"// box: a.\n//\n// Example:\n//   X\n//\n// Parameters: none\n",
         "\"// Example:\" comes before \"// Parameters:\""},
        {replaced(good, "// Free text.\n//\n", "// Free text.\n"),
         "no \"//\" before \"// Parameters:\""},
        {replaced(none, "Parameters: none", "Parameters: none (the widths come from elsewhere)"),
         "\"// Parameters: none (the widths come from elsewhere)\" is neither \"// Parameters:\" "
         "nor \"// Parameters: none\""},
        {replaced(good, "//   type   name   default  meaning\n", ""),
         "the line after \"// Parameters:\" is not the column line "
         "\"//   type  name  default  meaning\""},
        {replaced(good, "type   name   default  meaning", "name   type   default  meaning"),
         "the line after \"// Parameters:\" is not the column line "
         "\"//   type  name  default  meaning\""},
        {replaced(good,
                  "//   float  alpha  2        falloff; larger values give\n"
                  "//                          a narrower bell\n"
                  "//   color  tint   1 1 1    colour\n",
                  ""),
         "the table has no rows"},
        {replaced(good, "//   float  alpha  2        falloff; larger values give\n", ""),
         "row \"//                          a narrower bell\" continues no row"},
        {replaced(good, "//   color  tint   1 1 1    colour", "//   color  tint   1 1 1"),
         "row \"//   color  tint   1 1 1\" has no meaning"},
        {replaced(good, "//   color  tint   1 1 1    colour", "//   color  tint            colour"),
         "row \"//   color  tint            colour\" lacks its type, name or default"},
        {replaced(good, "//   color  tint   1 1 1    colour", "//   colour3d tint 1 1 1    colour"),
         "row \"//   colour3d tint 1 1 1    colour\" runs over a column's start"},
        {replaced(good, "//   color  tint   1 1 1    colour", "// color  tint   1 1 1    colour"),
         "row \"// color  tint   1 1 1    colour\" is not indented like the column line"},
        {replaced(good, "//   color  tint   1 1 1    colour\n//\n",
                  "//   color  tint   1 1 1    colour\n"),
         "the parameters are not followed by \"//\" and \"// Example:\""},
        {replaced(none, "//\n// Example:", "// Example:"),
         "the parameters are not followed by \"//\" and \"// Example:\""},
        {replaced(none, "//   PixelFilter \"box\" 1 1\n", ""),
         "no example line after \"// Example:\""},
        {replaced(none, "//   PixelFilter", "// PixelFilter"),
         "example line \"// PixelFilter \"box\" 1 1\" is not indented by two spaces"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> problems = manualProblems("box", c.text);
        if (c.problem.empty()) {
            EXPECT_TRUE(problems.empty()) << c.text << joined(problems);
            continue;
        }
        EXPECT_NE(std::find(problems.begin(), problems.end(), c.problem), problems.end())
            << "expected: " << c.problem << "\nin:\n"
            << c.text << "got:" << joined(problems);
    }
}

TEST(PluginManuals, PluginsMdIsWhatDocsShWritesNow) {
    std::string output;
    EXPECT_EQ(run(DocsScript + " --check", output), 0) << output;
}

TEST(PluginManuals, DocsShCheckNamesTheStaleFile) {
    ovotest::ScratchDir dir;
    const std::string file = dir / "plugins.md";
    std::string output;
    ASSERT_EQ(run(DocsScript + " '" + file + "'", output), 0) << output;
    EXPECT_TRUE(readFile(file) == readFile(fs::path(OVO_SOURCE_DIR) / "docs/plugins.md"))
        << file << " differs from docs/plugins.md";
    EXPECT_EQ(run(DocsScript + " --check '" + file + "'", output), 0) << output;

    std::ofstream(file, std::ios::app) << "one line more\n";
    EXPECT_EQ(run(DocsScript + " --check '" + file + "'", output), 1);
    EXPECT_NE(output.find("docs.sh: " + file +
                          " is not what the plugin and shader sources give "
                          "now; run scripts/docs.sh"),
              std::string::npos)
        << output;

    const std::string missing = dir / "missing.md";
    EXPECT_EQ(run(DocsScript + " --check '" + missing + "'", output), 1);
    EXPECT_NE(output.find("docs.sh: " + missing + " is missing"), std::string::npos) << output;
}

}  // namespace
