#include "compiler/diagnostics.h"

#include <fstream>
#include <sstream>

namespace ovo {
namespace compiler {

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

}  // namespace

int Diagnostics::fileIndex(const std::string& name) {
    for (size_t i = 0; i < files.size(); ++i)
        if (files[i] == name) return int(i);
    files.push_back(name);
    return int(files.size() - 1);
}

void Diagnostics::setText(int file, const std::string& text) { lines[file] = splitLines(text); }

void Diagnostics::error(const Location& where, const std::string& message) {
    if (tooMany()) return;
    list.push_back({Severity::Error, where, message});
    ++errors;
    if (tooMany()) list.push_back({Severity::Error, Location(), "too many errors; stopping"});
}

void Diagnostics::warning(const Location& where, const std::string& message) {
    if (tooMany()) return;
    list.push_back({Severity::Warning, where, message});
}

std::string Diagnostics::sourceLine(const Location& where) const {
    if (where.line <= 0 || where.file < 0 || size_t(where.file) >= files.size()) return "";
    auto found = lines.find(where.file);
    if (found == lines.end()) {
        std::ostringstream text;
        if (fromDisk) {
            std::ifstream in(files[where.file], std::ios::binary);
            if (in) text << in.rdbuf();
        }
        found = lines.emplace(where.file, splitLines(text.str())).first;
    }
    const std::vector<std::string>& text = found->second;
    return size_t(where.line) <= text.size() ? text[where.line - 1] : "";
}

std::string Diagnostics::format(const Diagnostic& d) const {
    std::string out;
    const bool placed = d.where.line > 0 && size_t(d.where.file) < files.size();
    if (placed)
        out = files[d.where.file] + ":" + std::to_string(d.where.line) + ":" +
              std::to_string(d.where.column) + ": ";
    else if (!files.empty())
        out = files[0] + ": ";
    out += d.severity == Severity::Error ? "error: " : "warning: ";
    out += d.message + "\n";
    const std::string line = placed ? sourceLine(d.where) : "";
    if (!line.empty()) {
        out += line + "\n";
        // The caret keeps the tabs of the line so that it lands under the column.
        std::string caret;
        for (int i = 0; i + 1 < d.where.column && size_t(i) < line.size(); ++i)
            caret += line[i] == '\t' ? '\t' : ' ';
        out += caret + "^\n";
    }
    return out;
}

std::string Diagnostics::formatAll() const {
    std::string out;
    for (const Diagnostic& d : list) out += format(d);
    if (errors > 0) out += std::to_string(errors) + (errors == 1 ? " error" : " errors") + "\n";
    return out;
}

}  // namespace compiler
}  // namespace ovo
