#include "compiler/types.h"

namespace ovo {
namespace compiler {

std::string typeName(Base b) {
    switch (b) {
        case Base::Error:
            return "<error>";
        case Base::Void:
            return "void";
        case Base::Float:
            return "float";
        case Base::String:
            return "string";
        case Base::Color:
            return "color";
        case Base::Point:
            return "point";
        case Base::Vector:
            return "vector";
        case Base::Normal:
            return "normal";
        case Base::Matrix:
            return "matrix";
        case Base::Bool:
            return "boolean";
        case Base::Triple:
            return "triple";
    }
    return "?";
}

std::string typeName(const Type& t) {
    std::string name = typeName(t.base);
    if (t.arrayLength > 0) name += "[" + std::to_string(t.arrayLength) + "]";
    if (t.arrayLength < 0) name += "[]";
    return name;
}

namespace {

int baseCost(Base from, Base to) {
    if (from == to) return 0;
    if (from == Base::Error || to == Base::Error) return 0;
    if (isPointLike(from) && isPointLike(to)) return 1;
    if (from == Base::Triple && isTriple(to)) return 1;
    if (from == Base::Bool && to == Base::Float) return 1;
    if ((from == Base::Float || from == Base::Bool) && (isTriple(to) || to == Base::Matrix))
        return 2;
    return -1;
}

}  // namespace

int conversionCost(const Type& from, const Type& to) {
    if (from.base == Base::Error || to.base == Base::Error) return 0;
    if (from.isArray() || to.isArray()) {
        if (!from.isArray() || !to.isArray()) return -1;
        // Arrays pass only as they are (an unsized array parameter takes any length).
        if (to.arrayLength > 0 && from.arrayLength != to.arrayLength) return -1;
        const bool same = from.base == to.base || (isPointLike(from.base) && isPointLike(to.base));
        return same ? (from.base == to.base ? 0 : 1) : -1;
    }
    return baseCost(from.base, to.base);
}

}  // namespace compiler
}  // namespace ovo
