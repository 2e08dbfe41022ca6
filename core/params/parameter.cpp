#include "core/params/parameter.h"

#include <cstring>
#include <new>
#include <utility>

namespace ovo {

namespace {

// Replaces each of the n string pointers by the interned pointer of the same text.
void internStrings(const char** strings, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (strings[i]) strings[i] = OIIO::ustring(strings[i]).c_str();
    }
}

// Names compare as C strings; a parameter without a name reads as the empty name.
bool sameName(const OIIO::ustring& name, const char* text) {
    const char* s = name.c_str();
    return std::strcmp(s ? s : "", text) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Parameter

Parameter::Parameter() : valueCount(0), ownsCopy(false), storedOutside(false), unread(true) {
    word.ptr = nullptr;
}

Parameter::Parameter(const OIIO::ustring& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    initNoClear(name, type, nvalues, data, copy);
}

Parameter::Parameter(const std::string& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    initNoClear(OIIO::ustring(name), type, nvalues, data, copy);
}

Parameter::Parameter(const char* name, ParamType type, int nvalues, const void* data, bool copy) {
    initNoClear(OIIO::ustring(name), type, nvalues, data, copy);
}

Parameter::Parameter(const Parameter& other, bool copy) {
    initNoClear(other.paramName, other.paramType, other.valueCount, other.data(), copy);
}

Parameter::Parameter(const Parameter& other) : Parameter(other, other.ownsCopy) {}

Parameter::~Parameter() { clearValue(); }

Parameter& Parameter::operator=(const Parameter& other) {
    // Built aside first: the other's data may live in the block this one is about to free.
    if (this != &other) {
        Parameter value(other, other.ownsCopy);
        swap(value);
    }
    return *this;
}

void Parameter::swap(Parameter& other) noexcept {
    std::swap(paramName, other.paramName);
    std::swap(paramType, other.paramType);
    std::swap(valueCount, other.valueCount);
    std::swap(word, other.word);
    std::swap(ownsCopy, other.ownsCopy);
    std::swap(storedOutside, other.storedOutside);
    std::swap(unread, other.unread);
}

void Parameter::init(const OIIO::ustring& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    // Placed aside first: `data` may point into the block this parameter is about to free.
    Parameter value(name, type, nvalues, data, copy);
    swap(value);
}

void Parameter::init(const std::string& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    init(OIIO::ustring(name), type, nvalues, data, copy);
}

void Parameter::init(const char* name, ParamType type, int nvalues, const void* data, bool copy) {
    init(OIIO::ustring(name), type, nvalues, data, copy);
}

std::size_t Parameter::bytes() const {
    return std::size_t(paramType.arraylen()) * std::size_t(valueCount) *
           std::size_t(paramType.elementsize());
}

void Parameter::initNoClear(const OIIO::ustring& name, ParamType type, int nvalues,
                            const void* data, bool copy) {
    paramName = name;
    paramType = type;
    valueCount = nvalues < 0 ? 0 : nvalues;  // a negative count is read as no values
    word.ptr = nullptr;
    ownsCopy = false;
    storedOutside = false;
    unread = true;

    const std::size_t size = bytes();
    const bool isString = type.basetype() == TypeString;
    const std::size_t elements = std::size_t(type.arraylen()) * std::size_t(valueCount);
    const bool fitsInline = type.interpolation() == InterpConstant && type.arraylen() != 0 &&
                            (size <= 4 || (isString && elements == 1));

    if (type.arraylen() == 0 || (!fitsInline && !copy)) {
        // Open arrays, and larger data not copied, stay where the caller keeps them.
        word.ptr = const_cast<void*>(data);
        storedOutside = true;
        return;
    }
    if (fitsInline) {
        if (data && size) std::memcpy(word.bytes, data, size);
        if (isString && size) internStrings(reinterpret_cast<const char**>(word.bytes), 1);
        return;
    }
    // An allocation that fails leaves the parameter without data instead of throwing
    // through the scene interface.
    unsigned char* block = new (std::nothrow) unsigned char[size]();
    storedOutside = true;
    if (!block) return;
    if (data && size) std::memcpy(block, data, size);
    if (isString) internStrings(reinterpret_cast<const char**>(block), elements);
    word.ptr = block;
    ownsCopy = true;
}

void Parameter::clearValue() {
    if (ownsCopy && storedOutside) delete[] static_cast<unsigned char*>(word.ptr);
    word.ptr = nullptr;
    ownsCopy = false;
    storedOutside = false;
    unread = true;
}

template <class T>
T Parameter::first() const {
    T value{};
    if (!storedOutside) {
        std::memcpy(&value, word.bytes, sizeof(T));
        return value;
    }
    // Never read past what the parameter holds; an open array's length is the caller's.
    if (!word.ptr || (paramType.arraylen() != 0 && bytes() < sizeof(T))) return value;
    std::memcpy(&value, word.ptr, sizeof(T));
    return value;
}

float Parameter::getFloat() const { return first<float>(); }
int Parameter::getInt() const { return first<int>(); }
const char* Parameter::getString() const { return first<const char*>(); }

// ---------------------------------------------------------------------------------------------
// ParameterSet

ParameterSet::ParameterSet(const ParameterSet& other) {
    parameters.reserve(other.parameters.size());
    for (const Parameter* p : other.parameters) {
        parameters.push_back(new Parameter(p->name(), p->type(), p->nvalues(), p->data(), false));
    }
}

ParameterSet::ParameterSet(ParameterSet&& other) noexcept
    : parameters(std::move(other.parameters)) {
    other.parameters.clear();
}

ParameterSet& ParameterSet::operator=(const ParameterSet& other) {
    if (this == &other) return *this;
    std::vector<Parameter*> copies;
    copies.reserve(other.parameters.size());
    for (const Parameter* p : other.parameters) copies.push_back(new Parameter(*p, true));
    clear();
    parameters.swap(copies);
    return *this;
}

ParameterSet& ParameterSet::operator=(ParameterSet&& other) noexcept {
    if (this != &other) {
        clear();
        parameters.swap(other.parameters);
    }
    return *this;
}

ParameterSet::~ParameterSet() { clear(); }

Parameter* ParameterSet::push_back(const char* name, ParamType type, const void* data, bool copy) {
    return push_back(new Parameter(name, type, 1, data, copy));
}

Parameter* ParameterSet::push_back(const OIIO::ustring& name, ParamType type, const void* data,
                                   bool copy) {
    return push_back(new Parameter(name, type, 1, data, copy));
}

Parameter* ParameterSet::push_back(Parameter* parameter) {
    if (parameter) parameters.push_back(parameter);
    return parameter;
}

void ParameterSet::append(const ParameterSet& other, bool copy, bool replace) {
    // Indexing with the count taken first lets a set append itself.
    const std::size_t n = other.parameters.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Parameter* source = other.parameters[i];
        if (replace) {
            const char* name = source->name().c_str();
            if (Parameter* target = find(name ? name : "")) {
                if (target != source) {
                    Parameter value(*source, copy);
                    target->swap(value);
                }
                continue;
            }
        }
        parameters.push_back(new Parameter(*source, copy));
    }
}

Parameter* ParameterSet::find(const char* name) const {
    if (!name) return nullptr;
    for (Parameter* p : parameters) {
        if (sameName(p->name(), name)) return p;
    }
    return nullptr;
}

Parameter* ParameterSet::find(const char* name, BaseType base) const {
    if (!name) return nullptr;
    for (Parameter* p : parameters) {
        if (p->type().basetype() == base && sameName(p->name(), name)) {
            p->unused(false);
            return p;
        }
    }
    return nullptr;
}

Parameter* ParameterSet::find(const char* name, ParamType type) const {
    if (!name) return nullptr;
    for (Parameter* p : parameters) {
        const ParamType t = p->type();
        const bool matches =
            t == type || (t.basetype() == type.basetype() && t.arraylen() != type.arraylen() &&
                          (t.arraylen() == 0 || type.arraylen() == 0));
        if (matches && sameName(p->name(), name)) {
            p->unused(false);
            return p;
        }
    }
    return nullptr;
}

float ParameterSet::findFloat(const char* name, float def) const {
    const Parameter* p = find(name, ParamType(TypeFloat));
    return p ? p->getFloat() : def;
}

const float* ParameterSet::findFloats(const char* name) const {
    const Parameter* p = find(name, TypeFloat);
    return p ? p->getFloats() : nullptr;
}

int ParameterSet::findInt(const char* name, int def) const {
    const Parameter* p = find(name, ParamType(TypeInt));
    return p ? p->getInt() : def;
}

const int* ParameterSet::findInts(const char* name) const {
    const Parameter* p = find(name, TypeInt);
    return p ? p->getInts() : nullptr;
}

const float* ParameterSet::findNormals(const char* name) const {
    const Parameter* p = find(name, TypeNormal);
    return p ? p->getFloats() : nullptr;
}

const float* ParameterSet::findPoint(const char* name, const float* def) const {
    const Parameter* p = find(name, ParamType(TypePoint));
    return p ? p->getFloats() : def;
}

const float* ParameterSet::findPoints(const char* name) const {
    const Parameter* p = find(name, TypePoint);
    return p ? p->getFloats() : nullptr;
}

const float* ParameterSet::findColor(const char* name, const float* def) const {
    const Parameter* p = find(name, ParamType(TypeColor));
    return p ? p->getFloats() : def;
}

const char* ParameterSet::findString(const char* name, const char* def) const {
    const Parameter* p = find(name, ParamType(TypeString));
    return p ? p->getString() : def;
}

void ParameterSet::clear() {
    for (Parameter* p : parameters) delete p;
    parameters.clear();
}

int ParameterSet::erase(const char* name) {
    if (!name) return 0;
    int removed = 0;
    std::size_t kept = 0;
    for (Parameter* p : parameters) {
        if (sameName(p->name(), name)) {
            delete p;
            ++removed;
        } else {
            parameters[kept++] = p;
        }
    }
    parameters.resize(kept);
    return removed;
}

bool ParameterSet::remove(Parameter* parameter) {
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (*it == parameter) {
            parameters.erase(it);
            delete parameter;
            return true;
        }
    }
    return false;
}

}  // namespace ovo
