// Streaming tokenizer for ASCII RIB: request names, numbers, strings with escapes, array
// brackets; comments (including "##" structure lines) are skipped. Every token carries the
// line it starts on. Bad input becomes an Invalid token with a message, never a crash.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

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
    explicit Tokenizer(Source& source) : m_source(source), m_buffer(new char[kBufferSize]) {}

    // Reads the next token; End forever once the input is exhausted.
    void next(Token& token);

    // True once the source reported a read error (the input then ends there).
    bool readFailed() const { return m_readFailed; }
    const std::string& readError() const { return m_readError; }
    int line() const { return m_line; }

  private:
    int get() {
        if (m_pos == m_len && !fill()) return -1;
        return static_cast<unsigned char>(m_buffer[m_pos++]);
    }
    int peek() {
        if (m_pos == m_len && !fill()) return -1;
        return static_cast<unsigned char>(m_buffer[m_pos]);
    }
    bool fill();
    void readString(Token& token);
    void readWord(Token& token, int first);

    static constexpr std::size_t kBufferSize = 1 << 16;
    Source& m_source;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    bool m_eof = false;
    bool m_readFailed = false;
    std::string m_readError;
    int m_line = 1;
};

// True for characters that end a bare word: white space, brackets, quotes, comments.
inline bool isDelimiter(int c) {
    return c < 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
           c == '[' || c == ']' || c == '"' || c == '#';
}

}  // namespace rib
}  // namespace ovo
