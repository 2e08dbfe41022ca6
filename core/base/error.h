// Error: the exception that carries a code and a formatted message where a failure must unwind
// (a plugin that cannot be found or opened, a base-class method that must not be called, an
// invalid skew). The code that asked for the work catches it and reports it.
#pragma once

#include <exception>

#if defined(__GNUC__)
#define OVO_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define OVO_PRINTF(fmt, first)
#endif

namespace ovo {

class Error : public std::exception {
  public:
    enum Code : int {
        PluginNotFound = 3,       // "Unable to find plugin \"%s\""
        PluginLoadFailed = 4,     // cannot open the library or find its entry symbol
        AggregateIntersect = 14,  // base Aggregate::intersect(const Ray&) called
        InvalidSkew = 61,         // "Skew: invalid angle. Ignoring ..."
    };

    Error(Code code, const char* format, ...) OVO_PRINTF(3, 4);
    Error(const Error& other);
    Error& operator=(const Error& other);

    Code code() const { return errorCode; }
    const char* what() const noexcept override { return message; }

  private:
    Code errorCode;
    char message[1024];  // always NUL-terminated; longer messages are truncated
};

}  // namespace ovo
