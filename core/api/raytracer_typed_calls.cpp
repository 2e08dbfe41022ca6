// The typed calls: Parameter, Attribute and GetAttribute with the checks they share, and user
// attributes.
#include <cstring>
#include <string>
#include <type_traits>

#include "core/api/raytracer.h"

namespace ovo {

namespace {

// The word naming each value kind in messages, for setting and for reading calls.
const char* const SetKindWords[] = {"int", "float", "char*", "int*", "float*", "char**"};
const char* const GetKindWords[] = {"int&", "float&", "char*&", "int*", "float*", "char**"};

inline const char* orNull(const char* text) { return text ? text : "(null)"; }

bool isUserName(const char* name) { return std::strncmp(name, "user:", 5) == 0; }

bool isPointLike(BaseType base) {
    return base == TypePoint || base == TypeVector || base == TypeNormal || base == TypeColor ||
           base == TypeHPoint || base == TypeMatrix;
}

bool isSupported(BaseType base) {
    return base == TypeString || base == TypeFloat || base == TypeInt || isPointLike(base);
}

const char* baseWord(ParamType type) {
    const char* word = ParamType::BaseTypeNameString(type.basetype());
    return word ? word : "<unknown>";
}

// Whether a value passed as `passed` may fill something declared as `declared`.
bool compatible(ParamType declared, ParamType passed) {
    if (declared == passed) return true;
    const BaseType base = declared.basetype();
    if (isPointLike(base)) return passed.basetype() == TypeFloat && passed.arraylen() != 1;
    if (base != TypeString && base != TypeFloat && base != TypeInt) return false;
    if (passed.basetype() != base) return false;
    return (declared.interpolation() == InterpConstant && declared.arraylen() == 1) ||
           passed.arraylen() != 1;
}

bool kindMatches(ParamType declared, Raytracer::ValueKind kind, bool reading) {
    switch (kind) {
        case Raytracer::KindInt:
            // Setting calls also let a single int fill a single float.
            return compatible(declared, ParamType(TypeInt)) ||
                   (!reading && compatible(declared, ParamType(TypeFloat)));
        case Raytracer::KindFloat:
            return compatible(declared, ParamType(TypeFloat));
        case Raytracer::KindString:
            return compatible(declared, ParamType(TypeString));
        case Raytracer::KindInts:
            return compatible(declared, ParamType(TypeInt, 0));
        case Raytracer::KindFloats:
            return compatible(declared, ParamType(TypeFloat, 0));
        case Raytracer::KindStrings:
            return compatible(declared, ParamType(TypeString, 0));
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Checks

bool Raytracer::parseDeclaration(const char* call, const char* decl, ParamType& type,
                                 const char*& name) {
    if (type.fromString(decl, &name) == 0) {
        errorManager->Error("%s: could not guess type information from \"%s\". Skipping ...", call,
                            orNull(decl));
        return false;
    }
    return true;
}

bool Raytracer::checkParameter(const char*& name, ParamType type, ValueKind kind,
                               const void* value) {
    if (!name) name = "";
    if (!isSupported(type.basetype())) {
        errorManager->Error("Parameter: unsupported type '%s' for \"%s\". Skipping ...",
                            baseWord(type), name);
        return false;
    }
    if (!kindMatches(type, kind, false)) {
        errorManager->Error(
            "Parameter: type for \"%s %s\" doesn't match the '%s' you passed. Skipping ...",
            type.c_str(), name, SetKindWords[kind]);
        return false;
    }
    if (!value) {
        errorManager->Error("Parameter: no value given for \"%s %s\". Skipping ...", type.c_str(),
                            name);
        return false;
    }
    return true;
}

bool Raytracer::checkAttribute(bool reading, const char*& name, ParamType& type, ValueKind kind,
                               const void* value) {
    const char* call = reading ? "GetAttribute" : "Attribute";
    if (!name) name = "";
    if (type.interpolation() != InterpConstant) {
        errorManager->Warning("%s: demoting \"%s %s\" to a constant attribute. ", call,
                              type.c_str(), name);
        type.setInterpolation(InterpConstant);
    }
    if (!isSupported(type.basetype())) {
        errorManager->Error("%s: unsupported type '%s' for \"%s\". Skipping ...", call,
                            baseWord(type), name);
        return false;
    }
    if (!kindMatches(type, kind, reading)) {
        errorManager->Error(
            "%s: type for \"%s %s\" doesn't match the '%s' you passed. Skipping ...", call,
            type.c_str(), name, reading ? GetKindWords[kind] : SetKindWords[kind]);
        return false;
    }
    if (!value) {
        errorManager->Error(reading ? "%s: no storage given for \"%s %s\". Skipping ..."
                                    : "%s: no value given for \"%s %s\". Skipping ...",
                            call, type.c_str(), name);
        return false;
    }
    return true;
}

bool Raytracer::checkDeclared(const char* call, const char* name, ParamType type) {
    auto declared = declarations.find(name);
    if (declared == declarations.end()) {
        errorManager->Error("%s: unknown attribute \"%s\". Skipping ...", call, name);
        return false;
    }
    if (declared->second != type) {
        errorManager->Error(
            "%s: \"%s\" type mismatch. Skipping ...\n\tYou passed '%s' but expected type was "
            "'%s'.",
            call, name, type.c_str(), declared->second.c_str());
        return false;
    }
    return true;
}

bool Raytracer::declaredAttribute(const char* name, ParamType type, const void* data) {
    if (!isUserName(name)) return checkDeclared("Attribute", name, type);
    ParameterSet& user = getAttributes().userAttributes;
    if (ovo::Parameter* existing = user.find(name)) {
        existing->init(name, type, 1, data, true);
    } else {
        user.push_back(new ovo::Parameter(name, type, 1, data, true));
    }
    return false;
}

const ovo::Parameter* Raytracer::findUserAttribute(const char* name, ParamType type) {
    const ovo::Parameter* p = getAttributes().userAttributes.find(name);
    if (!p) {
        errorManager->Error("GetAttribute: unknown attribute \"%s\". Skipping ...", name);
        return nullptr;
    }
    if (p->type() != type) {
        errorManager->Error(
            "GetAttribute: \"%s\" type mismatch. Skipping ...\n\tYou passed '%s' but expected "
            "type was '%s'.",
            name, type.c_str(), p->type().c_str());
        return nullptr;
    }
    return p;
}

void Raytracer::unimplemented(bool reading, const char* name, ParamType type) {
    if (reading) {
        errorManager->Error("GetAttribute: unimplemented attribute \"%s\". Skipping ...", name);
    } else {
        errorManager->Error("Attribute: unimplemented attribute \"%s %s\". Skipping ...",
                            type.c_str(), name);
    }
}

// The declaration forms ("float Kd", "color[2] c", ...) of Parameter and Attribute parse the
// declaration and call the typed form of the same value kind.
#define DECLARATION_FORMS(TYPE)                                         \
    void Raytracer::Parameter(const char* decl, TYPE value) {           \
        byDeclaration("Parameter", &Raytracer::Parameter, decl, value); \
    }                                                                   \
    void Raytracer::Attribute(const char* decl, TYPE value) {           \
        byDeclaration("Attribute", &Raytracer::Attribute, decl, value); \
    }

DECLARATION_FORMS(const char**)
DECLARATION_FORMS(const float*)
DECLARATION_FORMS(const int*)
DECLARATION_FORMS(const char*)
DECLARATION_FORMS(double)
DECLARATION_FORMS(float)
DECLARATION_FORMS(int)
DECLARATION_FORMS(const void*)

#undef DECLARATION_FORMS

// ---------------------------------------------------------------------------------------------
// Parameter

// Arrays are appended by reference: they must live until the command that consumes them.
void Raytracer::Parameter(const char* name, ParamType type, const char** value) {
    if (checkParameter(name, type, KindStrings, value)) pending.push_back(name, type, value, false);
}

void Raytracer::Parameter(const char* name, ParamType type, const float* value) {
    if (checkParameter(name, type, KindFloats, value)) pending.push_back(name, type, value, false);
}

void Raytracer::Parameter(const char* name, ParamType type, const int* value) {
    if (checkParameter(name, type, KindInts, value)) pending.push_back(name, type, value, false);
}

// Single values are stored inside the parameter (and strings interned), so taking the
// address of the argument is enough.
void Raytracer::Parameter(const char* name, ParamType type, const char* value) {
    if (checkParameter(name, type, KindString, value)) pending.push_back(name, type, &value, false);
}

void Raytracer::Parameter(const char* name, ParamType type, double value) {
    Parameter(name, type, float(value));
}

void Raytracer::Parameter(const char* name, ParamType type, float value) {
    if (checkParameter(name, type, KindFloat, &value)) pending.push_back(name, type, &value, false);
}

void Raytracer::Parameter(const char* name, ParamType type, int value) {
    if (!checkParameter(name, type, KindInt, &value)) return;
    if (type.basetype() == TypeFloat) {
        const float converted = float(value);
        pending.push_back(name, type, &converted, false);
    } else {
        pending.push_back(name, type, &value, false);
    }
}

void Raytracer::Parameter(const char* name, ParamType type, const void* value) {
    if (!name) name = "";
    if (!isSupported(type.basetype())) {
        errorManager->Error("Parameter: unsupported type '%s' for \"%s\". Skipping ...",
                            baseWord(type), name);
    } else if (!value) {
        errorManager->Error("Parameter: no value given for \"%s %s\". Skipping ...", type.c_str(),
                            name);
    } else {
        pending.push_back(name, type, value, false);
    }
}

// ---------------------------------------------------------------------------------------------
// Attribute

void Raytracer::Attribute(const char* name, ParamType type, const char** value) {
    if (!checkAttribute(false, name, type, KindStrings, value)) return;
    // No named attribute takes a string array; only user attributes do.
    if (declaredAttribute(name, type, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, const float* value) {
    if (!checkAttribute(false, name, type, KindFloats, value)) return;
    if (!declaredAttribute(name, type, value)) return;
    if (!applyOption(name, value) && !applyAttribute(name, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, const int* value) {
    if (!checkAttribute(false, name, type, KindInts, value)) return;
    if (!declaredAttribute(name, type, value)) return;
    if (!applyOption(name, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, const char* value) {
    if (!checkAttribute(false, name, type, KindString, value)) return;
    if (!declaredAttribute(name, type, &value)) return;
    if (!applyOption(name, value) && !applyAttribute(name, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, double value) {
    Attribute(name, type, float(value));
}

void Raytracer::Attribute(const char* name, ParamType type, float value) {
    if (!checkAttribute(false, name, type, KindFloat, &value)) return;
    if (!declaredAttribute(name, type, &value)) return;
    if (!applyOption(name, value) && !applyAttribute(name, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, int value) {
    if (!checkAttribute(false, name, type, KindInt, &value)) return;
    if (type.basetype() == TypeFloat) {
        // Passed the checks as a float: continue as one.
        Attribute(name, type, float(value));
        return;
    }
    if (!declaredAttribute(name, type, &value)) return;
    if (!applyOption(name, value) && !applyAttribute(name, value)) unimplemented(false, name, type);
}

void Raytracer::Attribute(const char* name, ParamType type, const void* value) {
    if (!name) name = "";
    const BaseType base = type.basetype();
    const bool single = type.arraylen() == 1;
    if (!isSupported(base)) {
        errorManager->Error("Attribute: unsupported type '%s' for \"%s\". Skipping ...",
                            baseWord(type), name);
    } else if (!value) {
        errorManager->Error("Attribute: no value given for \"%s %s\". Skipping ...", type.c_str(),
                            name);
    } else if (base == TypeInt) {
        if (single) {
            Attribute(name, type, *static_cast<const int*>(value));
        } else {
            Attribute(name, type, static_cast<const int*>(value));
        }
    } else if (base == TypeString) {
        if (single) {
            Attribute(name, type, *static_cast<const char* const*>(value));
        } else {
            Attribute(name, type, static_cast<const char**>(const_cast<void*>(value)));
        }
    } else if (base == TypeFloat && single) {
        Attribute(name, type, *static_cast<const float*>(value));
    } else {
        Attribute(name, type, static_cast<const float*>(value));
    }
}

// ---------------------------------------------------------------------------------------------
// GetAttribute

namespace {

// Where a GetAttribute overload's value goes: the caller's array, or the caller's variable
// (a single string is a variable of pointer type).
template <class T>
const void* storageOf(const T& value) {
    if constexpr (std::is_same<T, char**>::value || std::is_same<T, float*>::value ||
                  std::is_same<T, int*>::value)
        return value;
    else
        return &value;
}

void copyOut(const ovo::Parameter& p, char** value) { std::memcpy(value, p.data(), p.datasize()); }
void copyOut(const ovo::Parameter& p, float* value) { std::memcpy(value, p.data(), p.datasize()); }
void copyOut(const ovo::Parameter& p, int* value) { std::memcpy(value, p.data(), p.datasize()); }
void copyOut(const ovo::Parameter& p, const char*& value) { value = p.getString(); }
void copyOut(const ovo::Parameter& p, float& value) { value = p.getFloat(); }
void copyOut(const ovo::Parameter& p, int& value) { value = p.getInt(); }

}  // namespace

template <class T>
bool Raytracer::getAttributeAs(const char* decl, ValueKind kind, T& value) {
    ParamType type;
    const char* name;
    if (!parseDeclaration("GetAttribute", decl, type, name) ||
        !checkAttribute(true, name, type, kind, storageOf(value)))
        return false;
    if (isUserName(name)) {
        const ovo::Parameter* p = findUserAttribute(name, type);
        if (p) copyOut(*p, value);
        return p != nullptr;
    }
    if (!checkDeclared("GetAttribute", name, type)) return false;
    // No read-only name is a string array or a single int.
    if constexpr (!std::is_same<T, char**>::value && !std::is_same<T, int>::value)
        if (readOption(name, value)) return true;
    unimplemented(true, name, type);
    return false;
}

bool Raytracer::GetAttribute(const char* decl, char** value) {
    return getAttributeAs(decl, KindStrings, value);
}

bool Raytracer::GetAttribute(const char* decl, float* value) {
    return getAttributeAs(decl, KindFloats, value);
}

bool Raytracer::GetAttribute(const char* decl, int* value) {
    return getAttributeAs(decl, KindInts, value);
}

bool Raytracer::GetAttribute(const char* decl, const char*& value) {
    return getAttributeAs(decl, KindString, value);
}

bool Raytracer::GetAttribute(const char* decl, double& value) {
    float f;
    if (!GetAttribute(decl, f)) return false;
    value = f;
    return true;
}

bool Raytracer::GetAttribute(const char* decl, float& value) {
    return getAttributeAs(decl, KindFloat, value);
}

bool Raytracer::GetAttribute(const char* decl, int& value) {
    return getAttributeAs(decl, KindInt, value);
}

bool Raytracer::GetAttribute(const char* decl, void* value) {
    ParamType type;
    const char* name;
    if (!parseDeclaration("GetAttribute", decl, type, name)) return false;
    const BaseType base = type.basetype();
    const bool single = type.arraylen() == 1;
    if (!isSupported(base)) {
        errorManager->Error("GetAttribute: unsupported type '%s' for \"%s\". Skipping ...",
                            baseWord(type), name);
        return false;
    }
    if (!value) {
        errorManager->Error("GetAttribute: no storage given for \"%s %s\". Skipping ...",
                            type.c_str(), name);
        return false;
    }
    if (base == TypeInt)
        return single ? GetAttribute(decl, *static_cast<int*>(value))
                      : GetAttribute(decl, static_cast<int*>(value));
    if (base == TypeString)
        return single ? GetAttribute(decl, *static_cast<const char**>(value))
                      : GetAttribute(decl, static_cast<char**>(value));
    if (base == TypeFloat && single) return GetAttribute(decl, *static_cast<float*>(value));
    return GetAttribute(decl, static_cast<float*>(value));
}

}  // namespace ovo
