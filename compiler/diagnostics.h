// Diagnostics of the shading-language compiler, given as compilers give them:
// "file:line:column: error: message", then the source line and a caret under the column.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ovo {
namespace compiler {

// A place in the source: the file (an index into the Diagnostics' file names), a line and a
// column, both counted from 1. Line 0 means "no place" (a message about the whole file).
struct Location {
    int file = 0;
    int line = 0;
    int column = 0;
};

enum class Severity { Warning, Error };

struct Diagnostic {
    Severity severity;
    Location where;
    std::string message;
};

class Diagnostics {
  public:
    // Past this many errors the compiler stops reporting (and parsing): one typo should not
    // bury the screen.
    static const int MaxErrors = 50;

    // The index of a file name, registered on first use.
    int fileIndex(const std::string& name);
    const std::string& fileName(int index) const { return files[index]; }
    // The text of a file, for the source lines shown under a message. Files not given here are
    // read from disk when a message needs them.
    void setText(int file, const std::string& text);
    // Whether files named by the preprocessor's line markers may be read for their lines (not
    // when the text comes from anywhere: the fuzz target).
    void readFiles(bool on) { fromDisk = on; }

    void error(const Location& where, const std::string& message);
    void warning(const Location& where, const std::string& message);

    int errorCount() const { return errors; }
    bool tooMany() const { return errors >= MaxErrors; }
    const std::vector<Diagnostic>& all() const { return list; }

    // One diagnostic as printed: the header line and, when the line is known, the source line
    // and the caret.
    std::string format(const Diagnostic& d) const;
    // Every diagnostic, in order, and a closing count of errors when there were any.
    std::string formatAll() const;

  private:
    std::string sourceLine(const Location& where) const;

    std::vector<std::string> files;
    mutable std::map<int, std::vector<std::string>> lines;  // by file, read lazily
    std::vector<Diagnostic> list;
    int errors = 0;
    bool fromDisk = true;
};

}  // namespace compiler
}  // namespace ovo
