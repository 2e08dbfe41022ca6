// Parameter: one named, typed value array on its way from a scene call to the object that
// uses it. ParameterSet: the ordered list of them handed to a constructor or plugin factory,
// read through typed lookups that fall back to a default.
#pragma once

#include <OpenImageIO/ustring.h>

#include <cstddef>
#include <string>
#include <vector>

#include "core/params/paramtype.h"

namespace ovo {

class Parameter {
  public:
    // Null name, unknown type with count 1, no values.
    Parameter();
    // Small constant values and single strings are stored inside the parameter; larger data
    // is referred to, or copied into a block the parameter owns when `copy` is true. Strings
    // the parameter stores are interned, so they outlive the caller's buffers.
    Parameter(const OIIO::ustring& name, ParamType type, int nvalues, const void* data, bool copy);
    Parameter(const std::string& name, ParamType type, int nvalues, const void* data, bool copy);
    Parameter(const char* name, ParamType type, int nvalues, const void* data, bool copy);
    Parameter(const Parameter& other, bool copy);
    // Owns its own block exactly when `other` owns one.
    Parameter(const Parameter& other);
    ~Parameter();

    // Takes the other's values, copying them when the other owns its block.
    Parameter& operator=(const Parameter& other);
    void swap(Parameter& other) noexcept;

    void init(const OIIO::ustring& name, ParamType type, int nvalues, const void* data, bool copy);
    void init(const std::string& name, ParamType type, int nvalues, const void* data, bool copy);
    void init(const char* name, ParamType type, int nvalues, const void* data, bool copy);

    const OIIO::ustring& name() const { return paramName; }
    const ParamType& type() const { return paramType; }
    // Changing the type through this reference does not move or resize the data.
    ParamType& type() { return paramType; }
    int nvalues() const { return valueCount; }
    // count x nvalues x element size; 0 for an undefined base type and for open arrays.
    int datasize() const { return int(bytes()); }

    bool copied() const { return ownsCopy; }
    bool external() const { return storedOutside; }
    // True until a typed lookup of a ParameterSet finds the parameter.
    bool unused() const { return unread; }
    void unused(bool value) { unread = value; }

    // The inline word when the value is stored inside, else the stored pointer.
    const void* data() const { return storedOutside ? word.ptr : word.bytes; }
    void* data() { return storedOutside ? word.ptr : word.bytes; }
    const float* getFloats() const { return static_cast<const float*>(data()); }
    float* getFloats() { return static_cast<float*>(data()); }
    const int* getInts() const { return static_cast<const int*>(data()); }
    int* getInts() { return static_cast<int*>(data()); }
    const char* const* getStrings() const { return static_cast<const char* const*>(data()); }
    const char** getStrings() { return static_cast<const char**>(data()); }

    // The first element; 0 (or null) when there is none to read.
    float getFloat() const;
    int getInt() const;
    const char* getString() const;

  private:
    void initNoClear(const OIIO::ustring& name, ParamType type, int nvalues, const void* data,
                     bool copy);
    void clearValue();
    std::size_t bytes() const;
    template <class T>
    T first() const;

    OIIO::ustring paramName;
    ParamType paramType;
    int valueCount;
    // One pointer-sized word: the value itself or a pointer to the values.
    union Word {
        void* ptr;
        unsigned char bytes[sizeof(void*)];
    } word;
    bool ownsCopy;
    bool storedOutside;
    bool unread;
};

// An ordered list of parameters that the set owns; names may repeat and the first one wins.
class ParameterSet {
  public:
    using const_iterator = std::vector<Parameter*>::const_iterator;

    ParameterSet() {}
    // Inline values and single strings are copied; larger data is shared with the source,
    // which must therefore outlive the copy.
    ParameterSet(const ParameterSet& other);
    ParameterSet(ParameterSet&& other) noexcept;
    // Assignment is a deep copy: the target owns a block for everything not stored inline
    // (open arrays excepted, whose length is not known), so it never depends on the source.
    ParameterSet& operator=(const ParameterSet& other);
    ParameterSet& operator=(ParameterSet&& other) noexcept;
    ~ParameterSet();

    // Appends a parameter with one value.
    Parameter* push_back(const char* name, ParamType type, const void* data, bool copy);
    Parameter* push_back(const OIIO::ustring& name, ParamType type, const void* data, bool copy);
    // Appends a parameter made elsewhere; the set takes ownership. Null is ignored.
    Parameter* push_back(Parameter* parameter);

    // Appends a new parameter for each of `other`'s, in order. With `replace`, a parameter
    // whose name is already here takes the new value in place of being appended.
    void append(const ParameterSet& other, bool copy, bool replace = false);

    // First parameter with that name; does not mark it used.
    Parameter* find(const char* name) const;
    // First parameter with that name and base type; marks it used.
    Parameter* find(const char* name, BaseType base) const;
    // First parameter with that name whose type is `type`, or has its base type with one of
    // the two counts open (an open array matches any count); marks it used.
    Parameter* find(const char* name, ParamType type) const;

    float findFloat(const char* name, float def) const;
    const float* findFloats(const char* name) const;
    int findInt(const char* name, int def) const;
    const int* findInts(const char* name) const;
    const float* findNormals(const char* name) const;
    const float* findPoint(const char* name, const float* def) const;
    const float* findPoints(const char* name) const;
    const float* findColor(const char* name, const float* def) const;
    const char* findString(const char* name, const char* def) const;

    std::size_t size() const { return parameters.size(); }
    bool empty() const { return parameters.empty(); }
    // Null past the end.
    Parameter* operator[](std::size_t i) const {
        return i < parameters.size() ? parameters[i] : nullptr;
    }
    const_iterator begin() const { return parameters.begin(); }
    const_iterator end() const { return parameters.end(); }

    // Deletes every parameter.
    void clear();
    // Deletes every parameter with that name; answers how many there were.
    int erase(const char* name);
    // Deletes `parameter` when the set holds it; answers whether it did.
    bool remove(Parameter* parameter);

  private:
    std::vector<Parameter*> parameters;
};

}  // namespace ovo
