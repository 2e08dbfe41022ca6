#include "core/params/error.h"

#include <cstdio>
#include <cstring>
#include <new>

// ---------------------------------------------------------------------------------------------
// DefaultHandler

DefaultHandler::~DefaultHandler() {}

void DefaultHandler::operator()(int errcode, const std::string& msg) {
    const int v = verbosity();
    switch (errcode & ~0xffff) {
        case EH_INFO:
            if (v >= 2) std::fprintf(stdout, "INFO: %s\n", msg.c_str());
            break;
        case EH_WARNING:
            if (v >= 1) std::fprintf(stderr, "WARNING: %s\n", msg.c_str());
            break;
        case EH_ERROR:
            std::fprintf(stderr, "ERROR: %s\n", msg.c_str());
            break;
        case EH_SEVERE:
            std::fprintf(stderr, "SEVERE ERROR: %s\n", msg.c_str());
            break;
        case EH_DEBUG:
            break;
        default:
            if (v >= 1) std::fprintf(stdout, "%s\n", msg.c_str());
            break;
    }
    std::fflush(stdout);
    std::fflush(stderr);
}

DefaultHandler& DefaultHandler::instance() {
    // Built on first use so static initialisers elsewhere can report, and never destroyed so
    // static destructors can still report during exit.
    alignas(DefaultHandler) static unsigned char storage[sizeof(DefaultHandler)];
    static DefaultHandler* handler = [] {
        DefaultHandler* h = new (storage) DefaultHandler();
        h->verbosity(1);
        return h;
    }();
    return *handler;
}

namespace {
// The handler exists once the library is loaded, whoever asks first.
const DefaultHandler& defaultHandlerAtLoad = DefaultHandler::instance();
}  // namespace

namespace ovo {

// ---------------------------------------------------------------------------------------------
// ErrorManager

ErrorManager::ErrorManager() : verbosity(1), handler(&DefaultHandler::instance()) {}

ErrorManager* ErrorManager::Create(OIIO::ErrorHandler* handler, int verbosity) {
    ErrorManager* manager = new ErrorManager();
    manager->verbosity = verbosity;
    manager->Handler(handler);
    return manager;
}

void* ErrorManager::operator new(std::size_t size) { return ::operator new(size); }

void ErrorManager::operator delete(void* p, std::size_t) { ::operator delete(p); }

void ErrorManager::Verbosity(int level) {
    verbosity = level;
    handler->verbosity(level);
}

void ErrorManager::Handler(OIIO::ErrorHandler* installed) {
    handler = installed ? installed : &DefaultHandler::instance();
    handler->verbosity(verbosity);
}

OIIO::ErrorHandler* ErrorManager::Handler() const {
    return handler == &DefaultHandler::instance() ? nullptr : handler;
}

void ErrorManager::report(int code, const char* format, va_list args) {
    std::string text;
    if (format) {
        va_list sizing;
        va_copy(sizing, args);
        int n = std::vsnprintf(nullptr, 0, format, sizing);
        va_end(sizing);
        if (n > 0) {
            text.resize(size_t(n));
            std::vsnprintf(&text[0], size_t(n) + 1, format, args);
        }
    }
    // The handler filters by its own verbosity, so a host handler sees every message.
    (*handler)(code, text);
}

#define OVO_REPORT(code)          \
    va_list args;                 \
    va_start(args, format);       \
    report((code), format, args); \
    va_end(args)

void ErrorManager::Info(const char* format, ...) { OVO_REPORT(OIIO::ErrorHandler::EH_INFO); }
void ErrorManager::Warning(const char* format, ...) { OVO_REPORT(OIIO::ErrorHandler::EH_WARNING); }
void ErrorManager::Error(const char* format, ...) { OVO_REPORT(OIIO::ErrorHandler::EH_ERROR); }
void ErrorManager::Severe(const char* format, ...) { OVO_REPORT(OIIO::ErrorHandler::EH_SEVERE); }
void ErrorManager::Message(const char* format, ...) { OVO_REPORT(OIIO::ErrorHandler::EH_MESSAGE); }

#undef OVO_REPORT

void ErrorManager::Debug(const char*, ...) {}

// ---------------------------------------------------------------------------------------------
// ErrorScope

namespace {
thread_local ErrorManager* boundManager = nullptr;
}  // namespace

ErrorScope::ErrorScope(ErrorManager* manager) : previous(boundManager) {
    if (manager) boundManager = manager;
}

ErrorScope::~ErrorScope() { boundManager = previous; }

ErrorManager& ErrorScope::current() {
    if (boundManager) return *boundManager;
    // Made once, never freed: reports may come from static destructors. It keeps the shared
    // default handler's verbosity as it is.
    static ErrorManager* const fallback =
        ErrorManager::Create(nullptr, DefaultHandler::instance().verbosity());
    return *fallback;
}

}  // namespace ovo
