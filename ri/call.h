// How a binding call becomes a request: its fixed arguments in order, then its parameter list,
// sent to the current context. A call made with no context is reported to the error handler.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

#include "ri/context.h"
#include "ri/ri.h"

namespace ovo {
namespace ri {

class Call {
  public:
    explicit Call(const char* requestName) : name(requestName) {}
    Call& number(double v);
    Call& integer(int v);
    Call& numbers(const float* v, std::size_t n);
    Call& integers(const int* v, std::size_t n);
    Call& string(const char* s);
    Call& strings(const char* const* s, std::size_t n);
    // The token/value pairs. Polygon and Points have no count of their own but their positions:
    // `positions` gives "P" and "Pw" that many points.
    Call& params(RtInt n, const RtToken tokens[], const RtPointer values[],
                 std::size_t positions = 0);
    void send();

  private:
    const char* name;
    std::vector<Arg> args;
};

// A parameter list given as RI_NULL-terminated pairs.
struct ParamList {
    std::vector<RtToken> tokens;
    std::vector<RtPointer> values;
    void collect(va_list list);
    RtInt size() const { return RtInt(tokens.size()); }
    RtToken* t() { return tokens.data(); }
    RtPointer* v() { return values.data(); }
};

// Reports what went wrong with a call through the error handler: the host's renderer when there
// is one, else the handler the caller chose (standard error by default).
void complain(const char* call, const std::string& why);

// The sum of n counts, or -1 when one is negative.
long long total(const RtInt* counts, RtInt n);

// Names of standard functions the scene format knows by name ("gaussian", "DynamicLoad").
const char* filterName(RtFilterFunc filter);
const char* basisName(const RtFloat* basis);

}  // namespace ri
}  // namespace ovo

// The interface puts a float right before some token lists (RiSphere's thetamax). va_start
// only marks where the unnamed arguments begin, which both compilers find without looking at
// the last named argument's type; clang warns about its promotion all the same.
#if defined(__clang__)
#define OVO_RI_VA_START(ap, last)                                                      \
    _Pragma("clang diagnostic push") _Pragma("clang diagnostic ignored \"-Wvarargs\"") \
        va_start(ap, last);                                                            \
    _Pragma("clang diagnostic pop")
#else
#define OVO_RI_VA_START(ap, last) va_start(ap, last)
#endif

// The parameter list after the fixed argument `last`, as `list`.
#define OVO_RI_PARAMS(last)        \
    ::ovo::ri::ParamList list;     \
    {                              \
        va_list ap;                \
        OVO_RI_VA_START(ap, last); \
        list.collect(ap);          \
        va_end(ap);                \
    }
