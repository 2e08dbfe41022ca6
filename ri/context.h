// What the C binding forwards its calls to. The binding turns each Ri call into a request of the
// scene format (its name and arguments) and hands it to the current context, which checks and
// performs it exactly as a scene file's request: the RIB reader implements Context, so
// declarations, value counts, messages and the camera set up before WorldBegin behave the same
// whether a scene comes from a file or from calls.
#pragma once

#include <string>
#include <vector>

#include "core/params/error.h"

namespace ovo {
class RendererAPI;

namespace ri {

// One argument of a request. A parameter value arrives as a bare pointer whose length only the
// token's declaration and the primitive tell: the context reads as many values as it needs.
struct Arg {
    enum Kind { Number, String, Numbers, Strings, Values };
    Kind kind = Number;
    std::vector<double> numbers;
    std::vector<std::string> strings;
    bool integers = false;         // Number and Numbers came from integers
    const void* values = nullptr;  // Values: floats, ints or strings, as declared
};

class Context {
  public:
    Context() {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    virtual ~Context() {}
    // Checks and performs one request (`args` as a scene file would give them).
    virtual void request(const char* name, const std::vector<Arg>& args) = 0;
    // A procedural of the caller's own: `subdivide` runs at once within an attribute block of
    // its own (nesting is limited), then `release`.
    virtual void procedural(const float* bound, void (*subdivide)(void*, float),
                            void (*release)(void*), void* data) = 0;
    // RiEnd: closes what was left open.
    virtual void finish() {}
    // Where messages of calls made without a scene go (null when there is nowhere).
    virtual ErrorManager* errors() = 0;
};

// The context the calling thread's Ri calls go to: the one RiBegin made on it, or the one a
// procedural runs in. Null before RiBegin.
Context* currentContext();

// Makes `context` current for its lifetime (a procedural's calls reach the frame being read).
class ContextScope {
  public:
    explicit ContextScope(Context* context);
    ~ContextScope();
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

  private:
    Context* outer;
};

}  // namespace ri
}  // namespace ovo

// The RIB reader plugin's entry that makes a context reading into `renderer`; the binding's
// RiBegin loads it from the "rib" generator plugin.
extern "C" typedef ovo::ri::Context* (*OvoCreateRiContextEntry)(ovo::RendererAPI* renderer);
