// The rooms of the code and what each may include: data flows from the scene interface down to
// the render engine, and the base rooms know nothing of rendering. A new arrow between rooms is a
// design decision: make it here and in docs/architecture.md, not by accident.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The rooms each room may include besides itself. The engine rooms (geometry, render, shading)
// are one layer and use each other; none of them reaches the scene interface above.
const std::string Base = "core/base core/image core/math core/params core/plugins ";
const std::map<std::string, std::string> Allowed = {
    {"core/base", ""},
    // Image writers and the loader of OpenImageIO's bridge, which it finds beside libovo.
    {"core/image", "core/base core/plugins"},
    {"core/math", "core/base"},
    {"core/params", "core/base"},
    {"core/plugins", "core/base"},
    {"core/geometry", Base + "core/shading sys"},
    {"core/render", Base + "core/geometry core/shading sys"},
    {"core/shading", Base + "core/geometry core/render sys"},
    {"core/api", Base + "core/geometry core/render core/shading sys"},
    {"sys", ""},
    // The shading-language compiler uses the shader contract (and its generated code the
    // shading library); never the scene interface, and nothing in the core uses it.
    {"compiler", Base + "core/geometry core/render core/shading sys"},
    // The live viewer serves images to a browser; it knows the core's image writers only.
    {"viewer", "core/image"},
    // The C binding forwards its calls to a context; it finds the RIB reader as a plugin.
    {"ri", Base + "core/api"},
};

// The room of a repository path: core/<room> (core/shading/sl belongs to core/shading), sys,
// compiler, apps/<app>, plugins/<kind>/<plugin folder or kind>, shaders, or core itself (the
// umbrella header).
std::string roomOf(const std::string& path) {
    const size_t first = path.find('/');
    if (first == std::string::npos) return path;
    const std::string top = path.substr(0, first);
    if (top == "sys" || top == "shaders" || top == "compiler" || top == "viewer" || top == "ri")
        return top;
    const size_t second = path.find('/', first + 1);
    if (second == std::string::npos) return top;
    if (top == "plugins") {
        // plugins/<kind>/<name>/...: a folder plugin is a room of its own.
        const size_t third = path.find('/', second + 1);
        return third == std::string::npos ? path.substr(0, second) : path.substr(0, third);
    }
    return path.substr(0, second);
}

bool within(const std::string& room, const std::string& other) {
    return other == room || other.compare(0, room.size() + 1, room + "/") == 0;
}

// Why `from` may not include `to`, or the empty string when it may.
std::string refusal(const std::string& from, const std::string& to) {
    const std::string room = roomOf(from), target = roomOf(to);
    if (room == target) return "";
    if (room == "core") return "";  // core/ovo.h gathers the whole public interface
    const auto allowed = Allowed.find(room);
    if (allowed != Allowed.end())
        return (" " + allowed->second + " ").find(" " + target + " ") != std::string::npos
                   ? ""
                   : room + " may not include " + target;
    const bool intoCore = to.compare(0, 5, "core/") == 0 || to.compare(0, 4, "sys/") == 0;
    if (intoCore) return "";
    // Applications may use the compiler too (ovo compiles shaders on demand).
    if (room.compare(0, 5, "apps/") == 0 && to.compare(0, 9, "compiler/") == 0) return "";
    // Applications may serve the viewer; nothing else may (the core does not depend on it).
    if (room.compare(0, 5, "apps/") == 0 && to.compare(0, 7, "viewer/") == 0) return "";
    // The RIB reader is the binding's context and runs the objects "DynamicLoad" names.
    if (within("plugins/generators", room) && to.compare(0, 3, "ri/") == 0) return "";
    // Plugins, shaders and applications share only the core: one plugin's helpers stay in its
    // kind's folder, and no application reaches into a plugin.
    if (room.compare(0, 8, "plugins/") == 0) {
        const size_t kindEnd = room.find('/', 8);
        if (within(kindEnd == std::string::npos ? room : room.substr(0, kindEnd), to)) return "";
    }
    return room + " may include only the core, not " + to;
}

std::vector<std::string> includesOf(const fs::path& file) {
    std::vector<std::string> found;
    std::ifstream in(file);
    const std::string directive = "#include \"";
    for (std::string line; std::getline(in, line);) {
        const std::size_t end = line.find('"', directive.size());
        if (line.compare(0, directive.size(), directive) == 0 && end != std::string::npos)
            found.push_back(line.substr(directive.size(), end - directive.size()));
    }
    return found;
}

TEST(Layers, NoRoomIncludesWhatItMayNot) {
    const fs::path root(OVO_SOURCE_DIR);
    int files = 0;
    for (const char* top :
         {"core", "sys", "compiler", "plugins", "shaders", "apps", "python", "viewer", "ri"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            ++files;
            const std::string from = fs::relative(entry.path(), root).generic_string();
            for (const std::string& to : includesOf(entry.path())) {
                const std::string why = refusal(from, to);
                EXPECT_TRUE(why.empty()) << from << " includes " << to << ": " << why;
            }
        }
    }
    EXPECT_GT(files, 100);  // the tree was found
}

// A file past this many lines holds more than one job; split it.
TEST(Layers, NoProductFileIsOverSevenHundredLines) {
    const fs::path root(OVO_SOURCE_DIR);
    for (const char* top :
         {"core", "sys", "plugins", "shaders", "apps", "compiler", "python", "viewer", "ri"}) {
        if (!fs::exists(root / top)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path());
            int lines = 0;
            for (std::string line; std::getline(in, line);) ++lines;
            EXPECT_LE(lines, 700) << fs::relative(entry.path(), root).generic_string();
        }
    }
}

}  // namespace
