#include "core/plugins/search_path.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

#include "core/plugins/installation.h"

namespace {

// A regular file, or anything its owner may read.
bool qualifies(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    return (info.st_mode & 0x8100) != 0;
}

std::string absolutePath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The environment variable whose name starts at text[i]; i is left after the name.
std::string environmentValue(const std::string& text, size_t& i) {
    size_t start = i;
    while (i < text.size() && isNameChar(text[i])) ++i;
    const char* value = std::getenv(text.substr(start, i - start).c_str());
    return value ? value : "";
}

}  // namespace

std::string lookup(const std::string& searchPath, const std::string& fileName) {
    if (fileName.size() > 1 && fileName[1] == ':') return qualifies(fileName) ? fileName : "";
    // An absolute path names its file on its own here, as a drive-qualified one does on Windows.
    if (!fileName.empty() && fileName[0] == '/')
        return qualifies(fileName) ? absolutePath(fileName) : "";

    const size_t n = searchPath.size();
    size_t start = 0;
    while (start < n) {
        size_t end = searchPath.find(':', start);
        // A drive letter: "C:" belongs to the directory that follows it.
        if (end == start + 1 && std::isalpha(static_cast<unsigned char>(searchPath[start])))
            end = searchPath.find(':', end + 1);
        if (end == std::string::npos) end = n;
        std::string candidate = searchPath.substr(start, end - start) + "/" + fileName;
        if (qualifies(candidate)) return absolutePath(candidate);
        start = end + 1;
    }
    return "";
}

namespace ovo {

std::string expandSearchPath(const std::string& text, const std::string& previous,
                             const std::string& home) {
    std::string result;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const char c = text[i++];
        if (c == '&') {
            result += previous;
        } else if (c == '@') {
            result += home;
        } else if (c == '$') {
            if (i < n && (text[i] == '{' || text[i] == '(')) ++i;
            result += environmentValue(text, i);
            // The character after the name closes a bracket or is taken literally.
            if (i < n) {
                if (text[i] != '}' && text[i] != ')') result += text[i];
                ++i;
            }
        } else if (c == '%') {
            result += environmentValue(text, i);
            if (i < n) ++i;  // the closing '%'
        } else {
            result += c;
        }
    }
    return result;
}

std::string homeDirectory(const char* suffix) {
    const std::string folder = homeFolder(suffix);
    return folder.empty() ? std::string(".") + suffix : folder;
}

std::vector<std::string> splitInputWords(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
        if (!*p) break;
        std::string word;
        if (*p == '"') {
            for (++p; *p && *p != '"'; ++p) word += *p;
            if (*p) ++p;
        } else {
            for (; *p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r'; ++p) word += *p;
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace ovo
