// Procedural: "DelayedReadArchive" reads its archive, "RunProgram" asks a helper program for
// RIB, "DynamicLoad" calls a loaded object (reader_binding.cpp). A ray tracer resolves every
// procedural while reading: its rays may meet the contents anywhere, so the bound does not defer
// anything, and the detail a program is told is the area of the whole image.
#include <algorithm>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"
#include "plugins/generators/rib/source.h"

namespace ovo {
namespace rib {

void Reader::doProcedural(const Request& request) {
    Args a(request);
    std::string kind;
    std::vector<std::string> args;
    std::vector<double> bound;
    if (!a.string(kind) || !a.stringArray(args) || !a.numberArray(bound) || !a.end())
        return fail(request, a.error());
    if (bound.size() != 6)
        return fail(request, "the bound needs 6 numbers, got " + std::to_string(bound.size()));
    if (!geometryAllowed(request)) return;
    const std::size_t needed = kind == "DelayedReadArchive" ? 1 : 2;
    if ((kind == "DelayedReadArchive" || kind == "RunProgram" || kind == "DynamicLoad") &&
        args.size() < needed)
        return fail(request, "\"" + kind + "\" needs " + std::to_string(needed) +
                                 (needed == 1 ? " argument" : " arguments"));
    // What a procedural makes keeps its attributes and transforms to itself.
    if (kind == "DelayedReadArchive") {
        renderer->PushAttributes();
        readArchive(request, args[0]);
        renderer->PopAttributes();
    } else if (kind == "RunProgram") {
        runProgram(request, args);
    } else if (kind == "DynamicLoad") {
        dynamicLoad(request, args);
    } else {
        fail(request, "unknown procedural \"" + kind + "\"");
    }
}

double Reader::imageArea() {
    int resolution[2] = {640, 480};
    renderer->GetAttribute("int[2] resolution", resolution);
    return double(resolution[0]) * resolution[1];
}

void Reader::runProgram(const Request& request, const std::vector<std::string>& args) {
    if (!fileArchives) return fail(request, "running programs is turned off");
    if (archiveDepth >= MaxArchiveDepth) return fail(request, "procedurals nested too deeply");
    if (!programs) programs.reset(new Programs());
    std::string rib, why;
    const std::string folder = currentFile ? currentFile->dir : std::string();
    const bool whole = programs->run(args[0], folder, imageArea(), args[1], rib, why);
    if (!whole) {
        fail(request, "program \"" + args[0] + "\": " + why);
        if (rib.empty()) return;
    }
    const std::string name = "RunProgram \"" + args[0] + "\"";
    renderer->PushAttributes();
    MemorySource source(rib.data(), rib.size());
    readNamed(source, name, folder, name + '\n' + args[1]);
    renderer->PopAttributes();
}

}  // namespace rib
}  // namespace ovo
