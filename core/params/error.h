// Diagnostics: the ErrorManager that every component reports through, the library's
// DefaultHandler that prints to the standard streams, and the Error exception that
// carries a code and a formatted message where a failure must unwind.
#pragma once

#include <OpenImageIO/errorhandler.h>

#include <cstdarg>
#include <cstddef>
#include <exception>
#include <string>

#if defined(__GNUC__)
#define OVO_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define OVO_PRINTF(fmt, first)
#endif

// The library's own handler: INFO and plain messages to stdout, the rest to stderr,
// filtered by its verbosity. One instance lives for the whole process.
class DefaultHandler : public OIIO::ErrorHandler {
  public:
    ~DefaultHandler() override;
    void operator()(int errcode, const std::string& msg) override;

    // The single process-wide handler every manager without a host handler uses.
    static DefaultHandler& instance();
};

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

    Code code() const { return m_code; }
    const char* what() const noexcept override { return m_message; }

  private:
    Code m_code;
    char m_message[1024];  // always NUL-terminated; longer messages are truncated
};

class ErrorManager {
  public:
    // A null handler means the library's DefaultHandler. Both the manager and the
    // handler get `verbosity`. The caller owns the result.
    static ErrorManager* Create(OIIO::ErrorHandler* handler, int verbosity);

    void Verbosity(int verbosity);
    int Verbosity() const { return m_verbosity; }

    // Null installs the default handler; Handler() answers null for the default one.
    void Handler(OIIO::ErrorHandler* handler);
    OIIO::ErrorHandler* Handler() const;

    void Info(const char* format, ...) OVO_PRINTF(2, 3);
    void Warning(const char* format, ...) OVO_PRINTF(2, 3);
    void Error(const char* format, ...) OVO_PRINTF(2, 3);
    void Severe(const char* format, ...) OVO_PRINTF(2, 3);
    void Message(const char* format, ...) OVO_PRINTF(2, 3);
    void Debug(const char* format, ...) OVO_PRINTF(2, 3);  // accepted and ignored

    ErrorManager& operator=(const ErrorManager&) = default;

    // Managers made by the library are allocated and freed by it.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);

  protected:
    // The default handler at verbosity 1, so a derived manager is usable as it stands.
    ErrorManager();

  private:
    void report(int code, const char* format, va_list args);

    int m_verbosity;
    OIIO::ErrorHandler* m_handler;
};

}  // namespace ovo
