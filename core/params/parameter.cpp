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

Parameter::Parameter() : m_nvalues(0), m_copied(false), m_external(false), m_unused(true) {
    m_data.ptr = nullptr;
}

Parameter::Parameter(const OIIO::ustring& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    init_noclear(name, type, nvalues, data, copy);
}

Parameter::Parameter(const std::string& name, ParamType type, int nvalues, const void* data,
                     bool copy) {
    init_noclear(OIIO::ustring(name), type, nvalues, data, copy);
}

Parameter::Parameter(const char* name, ParamType type, int nvalues, const void* data, bool copy) {
    init_noclear(OIIO::ustring(name), type, nvalues, data, copy);
}

Parameter::Parameter(const Parameter& other, bool copy) {
    init_noclear(other.m_name, other.m_type, other.m_nvalues, other.data(), copy);
}

Parameter::Parameter(const Parameter& other) : Parameter(other, other.m_copied) {}

Parameter::~Parameter() { clear_value(); }

Parameter& Parameter::operator=(const Parameter& other) {
    // Built aside first: the other's data may live in the block this one is about to free.
    if (this != &other) {
        Parameter value(other, other.m_copied);
        swap(value);
    }
    return *this;
}

void Parameter::swap(Parameter& other) noexcept {
    std::swap(m_name, other.m_name);
    std::swap(m_type, other.m_type);
    std::swap(m_nvalues, other.m_nvalues);
    std::swap(m_data, other.m_data);
    std::swap(m_copied, other.m_copied);
    std::swap(m_external, other.m_external);
    std::swap(m_unused, other.m_unused);
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
    return std::size_t(m_type.arraylen()) * std::size_t(m_nvalues) *
           std::size_t(m_type.elementsize());
}

void Parameter::init_noclear(const OIIO::ustring& name, ParamType type, int nvalues,
                             const void* data, bool copy) {
    m_name = name;
    m_type = type;
    m_nvalues = nvalues < 0 ? 0 : nvalues;  // a negative count is read as no values
    m_data.ptr = nullptr;
    m_copied = false;
    m_external = false;
    m_unused = true;

    const std::size_t size = bytes();
    const bool isString = type.basetype() == TypeString;
    const std::size_t elements = std::size_t(type.arraylen()) * std::size_t(m_nvalues);
    const bool fitsInline = type.interpolation() == InterpConstant && type.arraylen() != 0 &&
                            (size <= 4 || (isString && elements == 1));

    if (type.arraylen() == 0 || (!fitsInline && !copy)) {
        // Open arrays, and larger data not copied, stay where the caller keeps them.
        m_data.ptr = const_cast<void*>(data);
        m_external = true;
        return;
    }
    if (fitsInline) {
        if (data && size) std::memcpy(m_data.bytes, data, size);
        if (isString && size) internStrings(reinterpret_cast<const char**>(m_data.bytes), 1);
        return;
    }
    // An allocation that fails leaves the parameter without data instead of throwing
    // through the scene interface.
    unsigned char* block = new (std::nothrow) unsigned char[size]();
    m_external = true;
    if (!block) return;
    if (data && size) std::memcpy(block, data, size);
    if (isString) internStrings(reinterpret_cast<const char**>(block), elements);
    m_data.ptr = block;
    m_copied = true;
}

void Parameter::clear_value() {
    if (m_copied && m_external) delete[] static_cast<unsigned char*>(m_data.ptr);
    m_data.ptr = nullptr;
    m_copied = false;
    m_external = false;
    m_unused = true;
}

template <class T>
T Parameter::first() const {
    T value{};
    if (!m_external) {
        std::memcpy(&value, m_data.bytes, sizeof(T));
        return value;
    }
    // Never read past what the parameter holds; an open array's length is the caller's.
    if (!m_data.ptr || (m_type.arraylen() != 0 && bytes() < sizeof(T))) return value;
    std::memcpy(&value, m_data.ptr, sizeof(T));
    return value;
}

float Parameter::getFloat() const { return first<float>(); }
int Parameter::getInt() const { return first<int>(); }
const char* Parameter::getString() const { return first<const char*>(); }

// ---------------------------------------------------------------------------------------------
// ParameterSet

ParameterSet::ParameterSet(const ParameterSet& other) {
    m_parameters.reserve(other.m_parameters.size());
    for (const Parameter* p : other.m_parameters) {
        m_parameters.push_back(new Parameter(p->name(), p->type(), p->nvalues(), p->data(), false));
    }
}

ParameterSet::ParameterSet(ParameterSet&& other) noexcept
    : m_parameters(std::move(other.m_parameters)) {
    other.m_parameters.clear();
}

ParameterSet& ParameterSet::operator=(const ParameterSet& other) {
    if (this == &other) return *this;
    std::vector<Parameter*> copies;
    copies.reserve(other.m_parameters.size());
    for (const Parameter* p : other.m_parameters) copies.push_back(new Parameter(*p, true));
    clear();
    m_parameters.swap(copies);
    return *this;
}

ParameterSet& ParameterSet::operator=(ParameterSet&& other) noexcept {
    if (this != &other) {
        clear();
        m_parameters.swap(other.m_parameters);
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
    if (parameter) m_parameters.push_back(parameter);
    return parameter;
}

void ParameterSet::append(const ParameterSet& other, bool copy, bool replace) {
    // Indexing with the count taken first lets a set append itself.
    const std::size_t n = other.m_parameters.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Parameter* source = other.m_parameters[i];
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
        m_parameters.push_back(new Parameter(*source, copy));
    }
}

Parameter* ParameterSet::find(const char* name) const {
    if (!name) return nullptr;
    for (Parameter* p : m_parameters) {
        if (sameName(p->name(), name)) return p;
    }
    return nullptr;
}

Parameter* ParameterSet::find(const char* name, BaseType base) const {
    if (!name) return nullptr;
    for (Parameter* p : m_parameters) {
        if (p->type().basetype() == base && sameName(p->name(), name)) {
            p->setUnused(false);
            return p;
        }
    }
    return nullptr;
}

Parameter* ParameterSet::find(const char* name, ParamType type) const {
    if (!name) return nullptr;
    for (Parameter* p : m_parameters) {
        const ParamType t = p->type();
        const bool matches =
            t == type || (t.basetype() == type.basetype() && t.arraylen() != type.arraylen() &&
                          (t.arraylen() == 0 || type.arraylen() == 0));
        if (matches && sameName(p->name(), name)) {
            p->setUnused(false);
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
    for (Parameter* p : m_parameters) delete p;
    m_parameters.clear();
}

int ParameterSet::erase(const char* name) {
    if (!name) return 0;
    int removed = 0;
    std::size_t kept = 0;
    for (Parameter* p : m_parameters) {
        if (sameName(p->name(), name)) {
            delete p;
            ++removed;
        } else {
            m_parameters[kept++] = p;
        }
    }
    m_parameters.resize(kept);
    return removed;
}

bool ParameterSet::remove(Parameter* parameter) {
    for (auto it = m_parameters.begin(); it != m_parameters.end(); ++it) {
        if (*it == parameter) {
            m_parameters.erase(it);
            delete parameter;
            return true;
        }
    }
    return false;
}

}  // namespace ovo
