// Streaming tokenizer for RIB: request names, numbers, strings with escapes, array brackets;
// comments (including "##" structure lines) are skipped. The binary encoding (bytes 0200 to
// 0320: integers, fixed-point numbers, floats, strings, float arrays, encoded requests and
// strings) may be mixed freely with text and yields the same tokens. Every token carries the
// line it starts on. Bad input becomes an Invalid token with a message, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugins/generators/rib/source.h"

namespace ovo {
namespace rib {

struct Token {
    enum Kind { End, Name, Number, String, ArrayBegin, ArrayEnd, Invalid };
    Kind kind = End;
    int line = 1;
    double number = 0.0;
    bool integer = false;  // a number written without '.', exponent or overflow
    std::string text;      // the name, the string's characters, or the error message
};

class Tokenizer {
  public:
    explicit Tokenizer(Source& input) : source(input), buffer(new char[BufferSize]) {}

    // Reads the next token; End forever once the input is exhausted.
    void next(Token& token);

    // True once the source reported a read error (the input then ends there).
    bool readFailed() const { return sourceFailed; }
    const std::string& readError() const { return sourceError; }
    int line() const { return currentLine; }

  private:
    int get() {
        if (pos == len && !fill()) return -1;
        return static_cast<unsigned char>(buffer[pos++]);
    }
    int peek() {
        if (pos == len && !fill()) return -1;
        return static_cast<unsigned char>(buffer[pos]);
    }
    bool fill();
    // Appends the bytes from here on that `keep` accepts to `text`, a buffer's run at a time,
    // until one is refused, the input ends or `text` is longer than `limit`.
    template <class Keep>
    void appendWhile(std::string& text, Keep keep, std::size_t limit = std::string::npos) {
        for (;;) {
            if (pos == len && !fill()) return;
            const std::size_t start = pos;
            while (pos < len && text.size() + (pos - start) <= limit &&
                   keep(static_cast<unsigned char>(buffer[pos])))
                ++pos;
            text.append(buffer.get() + start, pos - start);
            if (pos < len || text.size() > limit) return;
        }
    }
    void readString(Token& token);
    // The character a backslash escape stands for, `c` being the one after the backslash.
    char escape(int c);
    void readWord(Token& token, int first);
    // A binary token starting with byte `code` (0200 or more). False when it only defined an
    // encoded request or string and no token came of it.
    bool readBinary(Token& token, int code);
    // `count` bytes as a big-endian unsigned number; false at the end of the input.
    bool readBytes(int count, uint64_t& value);
    bool readBinaryString(Token& token, std::size_t length);
    // The token after a definition's code: the string it defines.
    bool definitionString(Token& token, std::string& text);

    static constexpr std::size_t BufferSize = 1 << 16;
    Source& source;
    std::unique_ptr<char[]> buffer;
    std::size_t pos = 0;
    std::size_t len = 0;
    bool eof = false;
    bool sourceFailed = false;
    std::string sourceError;
    int currentLine = 1;
    // A binary float array, handed out as '[', its numbers and ']'.
    std::vector<float> arrayValues;
    std::size_t arrayNext = 0;
    bool arrayOpen = false;
    std::map<uint64_t, std::string> requestCodes, stringCodes;
    bool readingDefinition = false;  // a definition's own name is being read
};

// True for characters that end a bare word: white space, brackets, quotes, comments.
inline bool isDelimiter(int c) {
    return c < 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
           c == '[' || c == ']' || c == '"' || c == '#' || c >= 0200;
}

}  // namespace rib
}  // namespace ovo
