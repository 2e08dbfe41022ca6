#include "plugins/generators/rib/tokenizer.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ovo {
namespace rib {

namespace {

inline bool isNameStart(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool isNameChar(int c) { return isNameStart(c) || (c >= '0' && c <= '9'); }
inline bool isNumberStart(int c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

std::string describe(int c) {
    char text[32];
    if (c > 32 && c < 127)
        std::snprintf(text, sizeof text, "'%c'", c);
    else
        std::snprintf(text, sizeof text, "0x%02x", c);
    return text;
}

// Quotes bad input in a message: control and non-ASCII bytes become \xNN.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

bool Tokenizer::fill() {
    if (eof) return false;
    long n = source.read(buffer.get(), BufferSize);
    if (n <= 0) {
        if (n < 0) {
            sourceFailed = true;
            sourceError = source.error();
        }
        eof = true;
        pos = len = 0;
        return false;
    }
    pos = 0;
    len = std::size_t(n);
    return true;
}

void Tokenizer::next(Token& token) {
    token.text.clear();
    token.number = 0.0;
    token.integer = false;
    if (arrayOpen) {
        token.line = currentLine;
        if (arrayNext < arrayValues.size()) {
            token.kind = Token::Number;
            token.number = arrayValues[arrayNext++];
            return;
        }
        token.kind = Token::ArrayEnd;
        arrayOpen = false;
        return;
    }
    for (;;) {
        int c = get();
        if (c >= 0200 && c != 0377) {
            token.line = currentLine;
            if (readBinary(token, c)) return;
            continue;
        }
        switch (c) {
            case -1:
                token.kind = Token::End;
                token.line = currentLine;
                return;
            case '\n':
                ++currentLine;
                continue;
            case ' ':
            case '\t':
            case '\r':
            case '\f':
            case '\v':
                continue;
            case '#':  // comment, "##" structure lines and version remarks alike
                while ((c = peek()) >= 0 && c != '\n') get();
                continue;
            case '[':
                token.kind = Token::ArrayBegin;
                token.line = currentLine;
                return;
            case ']':
                token.kind = Token::ArrayEnd;
                token.line = currentLine;
                return;
            case '"':
                token.line = currentLine;
                readString(token);
                return;
            default:
                token.line = currentLine;
                readWord(token, c);
                return;
        }
    }
}

void Tokenizer::readString(Token& token) {
    token.kind = Token::String;
    for (;;) {
        int c = get();
        if (c == '"') return;
        const bool escaped = c == '\\';
        if (escaped) c = get();
        if (c < 0) {
            token.kind = Token::Invalid;
            token.text = "unterminated string";
            return;
        }
        if (!escaped) {
            if (c == '\n') ++currentLine;
            token.text += char(c);
        } else if (c == '\n' || (c == '\r' && peek() == '\n')) {
            // A backslash before a newline continues the line.
            if (c == '\r') get();
            ++currentLine;
        } else if (c != '\r') {
            token.text += escape(c);
        }
    }
}

char Tokenizer::escape(int c) {
    static const char letters[][2] = {
        {'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'b', '\b'}, {'f', '\f'}};
    for (const auto& l : letters)
        if (c == l[0]) return l[1];
    if (c < '0' || c > '7') return char(c);  // \\, \" and any other character stand for themselves
    int value = c - '0';                     // up to three octal digits
    for (int i = 0; i < 2 && peek() >= '0' && peek() <= '7'; ++i) value = value * 8 + (get() - '0');
    return char(value & 0xff);
}

void Tokenizer::readWord(Token& token, int first) {
    std::string& text = token.text;
    text += char(first);
    if (isNameStart(first)) {
        appendWhile(text, isNameChar);
        if (isDelimiter(peek())) {
            token.kind = Token::Name;
            return;
        }
        first = peek();
    } else if (isNumberStart(first)) {
        // No number is longer than 256 bytes; the rest is garbage.
        appendWhile(
            text, [](int c) { return !isDelimiter(c); }, 256);
        if (isDelimiter(peek())) {
            double value = 0.0;
            bool parsed = false, outOfRange = false;
            // "inf" and "nan" are no RIB numbers, though both readers below take them.
            const bool plain = text.find_first_of("nNiI") == std::string::npos;
            // from_chars reads no sign but '-' and no hexadecimal; a lone '+' may lead.
            const char *begin = text.data(), *stop = begin + text.size();
            if (*begin == '+' && begin + 1 < stop && begin[1] != '-' && begin[1] != '+') ++begin;
            const std::from_chars_result r = std::from_chars(begin, stop, value);
            if (r.ec == std::errc() && r.ptr == stop) {
                parsed = true;
            } else if (r.ec == std::errc::result_out_of_range) {
                // Whether it underflowed or overflowed, as strtod tells it.
                errno = 0;
                char* end = nullptr;
                value = std::strtod(text.c_str(), &end);
                parsed = end && *end == '\0';
                outOfRange = true;
            }
            if (parsed && plain) {
                if (!std::isfinite(value) || outOfRange) {
                    if (std::isfinite(value) && std::fabs(value) < 1.0) {
                        value = 0.0;  // underflow is harmless: the value is zero
                    } else {
                        token.kind = Token::Invalid;
                        token.text = "number out of range \"" + printable(text) + "\"";
                        return;
                    }
                }
                token.kind = Token::Number;
                token.number = value;
                token.integer = text.find_first_of(".eE") == std::string::npos &&
                                std::fabs(value) <= 2147483647.0;
                return;
            }
        }
        token.kind = Token::Invalid;
        while (!isDelimiter(peek()) && text.size() <= 256) text += char(get());
        while (!isDelimiter(peek())) get();
        token.text = "invalid number \"" + printable(text) + "\"";
        return;
    }
    // Anything else up to the next delimiter is one bad word, reported by its first byte.
    while (!isDelimiter(peek())) get();
    token.kind = Token::Invalid;
    token.text = "unexpected character " + describe(first);
}

bool Tokenizer::readBytes(int count, uint64_t& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        const int c = get();
        if (c < 0) return false;
        value = value << 8 | uint64_t(c);
    }
    return true;
}

bool Tokenizer::readBinaryString(Token& token, std::size_t length) {
    token.kind = Token::String;
    for (std::size_t i = 0; i < length; ++i) {
        const int c = get();
        if (c < 0) {
            token.kind = Token::Invalid;
            token.text = "truncated binary string";
            return true;
        }
        token.text += char(c);
    }
    return true;
}

bool Tokenizer::definitionString(Token& token, std::string& text) {
    // Another definition where the name belongs would nest as deep as the input is long.
    Token name;
    if (readingDefinition) {
        name.kind = Token::Invalid;
    } else {
        readingDefinition = true;
        next(name);
        readingDefinition = false;
    }
    if (name.kind != Token::String && name.kind != Token::Name) {
        token.kind = Token::Invalid;
        token.text = "a binary definition needs a string";
        return false;
    }
    text = name.text;
    return true;
}

bool Tokenizer::readBinary(Token& token, int code) {
    uint64_t v = 0;
    auto truncated = [&]() {
        token.kind = Token::Invalid;
        token.text = "truncated binary token " + describe(code);
        return true;
    };
    if (code < 0220) {  // integer or fixed point: w + 1 bytes, d of them after the point
        const int w = code & 3, d = (code >> 2) & 3;
        if (!readBytes(w + 1, v)) return truncated();
        const int bits = 8 * (w + 1);
        int64_t whole = int64_t(v);
        if (v >> (bits - 1)) whole -= int64_t(1) << bits;  // two's complement
        token.kind = Token::Number;
        token.number = std::ldexp(double(whole), -8 * d);
        token.integer = d == 0;
        return true;
    }
    if (code < 0240) return readBinaryString(token, std::size_t(code - 0220));
    if (code < 0244) {
        if (!readBytes(code - 0240 + 1, v)) return truncated();
        return readBinaryString(token, std::size_t(v));
    }
    if (code == 0244 || code == 0245) {
        if (!readBytes(code == 0244 ? 4 : 8, v)) return truncated();
        double value;
        if (code == 0244) {
            const uint32_t bits = uint32_t(v);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            value = f;
        } else {
            std::memcpy(&value, &v, sizeof value);
        }
        if (!std::isfinite(value)) {
            token.kind = Token::Invalid;
            token.text = "binary number out of range";
            return true;
        }
        token.kind = Token::Number;
        token.number = value;
        return true;
    }
    if (code == 0246) {
        if (!readBytes(1, v)) return truncated();
        auto found = requestCodes.find(v);
        if (found == requestCodes.end()) {
            token.kind = Token::Invalid;
            token.text = "undefined binary request " + std::to_string(v);
        } else {
            token.kind = Token::Name;
            token.text = found->second;
        }
        return true;
    }
    if (code >= 0310 && code < 0314) {
        if (!readBytes(code - 0310 + 1, v)) return truncated();
        arrayValues.clear();
        arrayNext = 0;
        for (uint64_t i = 0; i < v; ++i) {
            uint64_t bits;
            if (!readBytes(4, bits)) return truncated();
            const uint32_t b = uint32_t(bits);
            float f;
            std::memcpy(&f, &b, sizeof f);
            if (!std::isfinite(f)) {
                token.kind = Token::Invalid;
                token.text = "binary number out of range";
                return true;
            }
            arrayValues.push_back(f);
        }
        token.kind = Token::ArrayBegin;
        arrayOpen = true;
        return true;
    }
    if (code == 0314 || code == 0315 || code == 0316) {  // definitions
        if (!readBytes(code == 0316 ? 2 : 1, v)) return truncated();
        std::string text;
        if (!definitionString(token, text)) return true;
        (code == 0314 ? requestCodes : stringCodes)[v] = text;
        return false;
    }
    if (code == 0317 || code == 0320) {
        if (!readBytes(code - 0317 + 1, v)) return truncated();
        auto found = stringCodes.find(v);
        if (found == stringCodes.end()) {
            token.kind = Token::Invalid;
            token.text = "undefined binary string " + std::to_string(v);
        } else {
            token.kind = Token::String;
            token.text = found->second;
        }
        return true;
    }
    token.kind = Token::Invalid;
    token.text = "unexpected character " + describe(code);
    return true;
}

}  // namespace rib
}  // namespace ovo
