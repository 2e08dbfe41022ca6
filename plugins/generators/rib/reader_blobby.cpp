// Blobby: the code of an implicit surface is checked against its arrays here, so that the
// shape only meets code whose every index is in range.
#include <string>
#include <vector>

#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"
#include "plugins/generators/rib/ribmath.h"

namespace ovo {
namespace rib {

namespace {

// Why a blobby's code does not fit its floats, strings and leaf count; empty when it does. The
// instructions are numbered in order; combinations refer to earlier ones.
std::string blobbyProblem(int nleaf, const std::vector<int>& code, std::size_t nfloats,
                          std::size_t nstrings) {
    const std::size_t n = code.size();
    std::size_t instructions = 0, leaves = 0, plugins = 0;
    auto at = [](std::size_t i) { return " at code position " + std::to_string(i); };
    for (std::size_t i = 0; i < n; ++instructions) {
        const int op = code[i];
        std::size_t operands = 0, floatsNeeded = 0;
        if (op >= 0 && op <= 3) {
            if (i + 1 >= n || code[i + 1] < 1)
                return "opcode " + std::to_string(op) + at(i) + " needs a count of at least 1";
            operands = std::size_t(code[i + 1]) + 1;
        } else if (op == 4 || op == 5) {
            operands = 2;
        } else if (op == 6 || op == 7) {
            operands = 1;
        } else if (op == 1000 || op == 1001 || op == 1002) {
            operands = 1;
            floatsNeeded = op == 1000 ? 1 : op == 1001 ? 16 : 23;
        } else if (op == 1003) {
            operands = 2;
            floatsNeeded = 4;
        } else if (op >= 9000) {
            ++plugins;
            if (i + 1 >= n || code[i + 1] < 0)
                return "opcode " + std::to_string(op) + at(i) + " needs an operand count";
            operands = std::size_t(code[i + 1]) + 1;
        } else {
            return "unknown opcode " + std::to_string(op) + at(i);
        }
        if (operands > n - i - 1)
            return "opcode " + std::to_string(op) + at(i) + " lacks its operands";
        if (op < 1000) {
            const std::size_t first = op <= 3 ? i + 2 : i + 1;
            for (std::size_t k = first; k <= i + operands; ++k)
                if (code[k] < 0 || std::size_t(code[k]) >= instructions)
                    return "opcode " + std::to_string(op) + at(i) + " refers to instruction " +
                           std::to_string(code[k]) + ", which is not before it";
        } else {
            ++leaves;
        }
        if (op == 1003 && (code[i + 1] < 0 || std::size_t(code[i + 1]) >= nstrings))
            return "the plane" + at(i) + " names string " + std::to_string(code[i + 1]) + " of " +
                   std::to_string(nstrings);
        const int f = op == 1003 ? code[i + 2] : code[i + 1];
        if (floatsNeeded && (f < 0 || std::size_t(f) + floatsNeeded > nfloats))
            return "the element" + at(i) + " needs floats " + std::to_string(f) + " to " +
                   std::to_string(f + (long long)floatsNeeded - 1) + " of " +
                   std::to_string(nfloats);
        i += operands + 1;
    }
    if (instructions == 0) return "the code is empty";
    // Some writers leave field plugins out of the count.
    if (leaves != std::size_t(nleaf) && leaves - plugins != std::size_t(nleaf))
        return "nleaf is " + std::to_string(nleaf) + " but the code makes " +
               std::to_string(leaves) + " leaves";
    return std::string();
}

}  // namespace

void Reader::doBlobby(const Request& request) {
    Args a(request);
    int nleaf = 0;
    std::vector<int> code;
    std::vector<double> values;
    std::vector<std::string> strings;
    if (!a.integer(nleaf) || !a.intArray(code) || !a.numberArray(values) || !a.stringArray(strings))
        return fail(request, a.error());
    if (!geometryAllowed(request)) return;
    if (nleaf < 0 || nleaf > (1 << 30)) return fail(request, "bad leaf count");
    const std::string problem = blobbyProblem(nleaf, code, values.size(), strings.size());
    if (!problem.empty()) return fail(request, problem);
    // Per-leaf matrices ("mpoint", such as "Pref") reach the shape as matrices, one per leaf.
    Request kept = request;
    for (std::size_t i = a.next(); i < kept.args.size(); i += 2) {
        Value& key = kept.args[i];
        if (!key.isText() || key.size() != 1) continue;
        std::string& decl = key.strings[0];
        const std::size_t at = (" " + decl + " ").find(" mpoint ");
        if (at != std::string::npos) decl.replace(at, 6, "matrix");
    }
    // One value per leaf for the varying classes.
    const std::size_t n = std::size_t(nleaf);
    const Counts counts{1, n, n, n};
    std::vector<Emitted> params;
    if (!collectParams(kept, a.next(), ParamUse::Geometry, params, &counts)) return;
    Emitted program;
    program.kind = Emitted::Ints;
    program.decl = "int[" + std::to_string(code.size()) + "] code";
    program.ints = code;
    params.push_back(program);
    Emitted leaves;
    leaves.kind = Emitted::Ints;
    leaves.decl = "int nleaf";
    leaves.ints = {nleaf};
    params.push_back(leaves);
    if (!values.empty()) {
        Emitted f;
        f.kind = Emitted::Floats;
        f.decl = "float[" + std::to_string(values.size()) + "] floats";
        for (double v : values) f.floats.push_back(toFloat(v));
        params.push_back(f);
    }
    if (!strings.empty()) {
        Emitted s;
        s.kind = Emitted::Strings;
        s.decl = "string[" + std::to_string(strings.size()) + "] strings";
        s.strings = strings;
        params.push_back(s);
    }
    emitParams(params);
    renderer->Shape("blobby");
}

}  // namespace rib
}  // namespace ovo
