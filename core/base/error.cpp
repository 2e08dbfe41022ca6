#include "core/base/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ovo {

Error::Error(Code code, const char* format, ...) : errorCode(code) {
    message[0] = '\0';
    if (format) {
        va_list args;
        va_start(args, format);
        // vsnprintf stops at the buffer's end and always terminates: longer text is cut.
        std::vsnprintf(message, sizeof(message), format, args);
        va_end(args);
    }
}

Error::Error(const Error& other) : std::exception(other), errorCode(other.errorCode) {
    std::memcpy(message, other.message, sizeof(message));
}

Error& Error::operator=(const Error& other) {
    errorCode = other.errorCode;
    std::memmove(message, other.message, sizeof(message));
    return *this;
}

}  // namespace ovo
