// Diagnostics: the ErrorManager that every component reports through, the library's
// DefaultHandler that prints to the standard streams, and the scope through which code that
// has no renderer of its own reports to the renderer that called it.
#pragma once

#include <OpenImageIO/errorhandler.h>

#include <cstdarg>
#include <cstddef>
#include <string>

#include "core/base/error.h"

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

class ErrorManager {
  public:
    // A null handler means the library's DefaultHandler. Both the manager and the
    // handler get `verbosity`. The caller owns the result.
    static ErrorManager* Create(OIIO::ErrorHandler* handler, int verbosity);

    void Verbosity(int verbosity);
    int Verbosity() const { return verbosity; }

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

    int verbosity;
    OIIO::ErrorHandler* handler;
};

// Aggregate and solid plugins and the primitive constructors have no renderer to report to:
// their entries and constructors take no renderer. A renderer therefore binds its manager
// for the duration of each call that runs such code; the binding belongs to the calling thread
// and nests, so two renderers in one process (or on two threads) never report through each
// other's manager. Without a binding, reports go to the process's default manager.
class ErrorScope {
  public:
    explicit ErrorScope(ErrorManager* manager);
    ~ErrorScope();
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;

    // The manager bound on this thread, or the default one.
    static ErrorManager& current();

  private:
    ErrorManager* previous;
};

}  // namespace ovo
