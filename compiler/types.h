// The types of the shading language: float, string, the triples (color, point, vector,
// normal), matrix and void, with fixed-size arrays of them, and the conversions between them
// that the language makes by itself.
#pragma once

#include <string>

namespace ovo {
namespace compiler {

enum class Base {
    Error,  // the type of an expression that already failed: it converts to anything quietly
    Void,
    Float,
    String,
    Color,
    Point,
    Vector,
    Normal,
    Matrix,
    Bool,    // the result of a comparison; it converts to float
    Triple,  // an untyped (a, b, c): it takes the triple type it is used as
};

struct Type {
    Base base = Base::Error;
    // 0 for a single value; the element count of an array, or -1 for an array parameter of
    // unspecified length ("float a[]").
    int arrayLength = 0;

    Type() = default;
    Type(Base b, int n = 0) : base(b), arrayLength(n) {}

    bool isArray() const { return arrayLength != 0; }
    Type element() const { return Type(base); }
    bool operator==(const Type& o) const { return base == o.base && arrayLength == o.arrayLength; }
    bool operator!=(const Type& o) const { return !(*this == o); }
};

// point, vector and normal: the geometric triples, freely interchangeable.
inline bool isPointLike(Base b) {
    return b == Base::Point || b == Base::Vector || b == Base::Normal;
}
// Anything of three components.
inline bool isTriple(Base b) { return isPointLike(b) || b == Base::Color || b == Base::Triple; }
// Values arithmetic applies to.
inline bool isNumeric(Base b) {
    return b == Base::Float || b == Base::Bool || isTriple(b) || b == Base::Matrix;
}

std::string typeName(Base b);
std::string typeName(const Type& t);

// How well a value of type `from` fits where `to` is expected, for overload resolution:
// 0 exact, a small positive cost for a conversion the language makes by itself, -1 when it
// does not fit at all.
int conversionCost(const Type& from, const Type& to);
inline bool converts(const Type& from, const Type& to) { return conversionCost(from, to) >= 0; }

}  // namespace compiler
}  // namespace ovo
