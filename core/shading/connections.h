// The bindings of Shader-call parameters to shader arguments (ArgumentConnection<T>) and the
// layer-to-layer connections that ConnectShaders makes. Both write into a data block while
// Shader::init prepares it.
#pragma once

#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "core/geometry/interpolator.h"
#include "core/math/matrix.h"
#include "core/math/transform.h"
#include "core/math/tuple.h"
#include "core/params/parameter.h"
#include "core/shading/environment.h"
#include "core/shading/shader.h"

namespace ovo {

namespace shading_detail {

// The element value of binding element e (corner c of a linear binding) from the float values.
template <class T>
T elementValue(const std::vector<float>& v, size_t first);
template <>
inline float elementValue<float>(const std::vector<float>& v, size_t first) {
    return v[first];
}
template <>
inline Color elementValue<Color>(const std::vector<float>& v, size_t first) {
    return Color(&v[first]);
}
template <>
inline Tuple elementValue<Tuple>(const std::vector<float>& v, size_t first) {
    return Tuple(&v[first]);
}
template <>
inline Matrix elementValue<Matrix>(const std::vector<float>& v, size_t first) {
    return Matrix(&v[first]);
}

// A value of the named space, brought into current space as the binding's base type says.
inline Tuple fromSpace(const Transform& t, BaseType base, const Tuple& value) {
    switch (base) {
        case TypePoint:
            return t.m * Point(value);
        case TypeVector:
            return t.m * Vector(value);
        case TypeNormal:
            return t * Normal(value);
        default:
            return value;
    }
}

[[noreturn]] inline void badSubscript() { throw std::out_of_range("invalid vector<T> subscript"); }

}  // namespace shading_detail

template <class T>
class Shader::ArgumentConnection : public Shader::ArgumentConnectionInterface {
    static_assert(std::is_same<T, float>::value || std::is_same<T, OIIO::ustring>::value ||
                      std::is_same<T, Color>::value || std::is_same<T, Tuple>::value ||
                      std::is_same<T, Matrix>::value,
                  "bindings exist for float, ustring, Color, Tuple and Matrix");

  public:
    ArgumentConnection(const Argument* argument, const Parameter& parameter)
        : ArgumentConnectionInterface(argument, parameter) {
        const size_t n = type.arraylen();
        if constexpr (std::is_same<T, OIIO::ustring>::value) {
            // Strings are kept as interned names rather than in the float values.
            const size_t available =
                parameter.type().arraylen() == 0 ? n : size_t(parameter.type().arraylen());
            const char* const* text = parameter.getStrings();
            strings.assign(n, OIIO::ustring());
            for (size_t e = 0; e < n && e < available && text; ++e)
                strings[e] = OIIO::ustring(text[e] ? text[e] : "");
        }
        if constexpr (std::is_same<T, Tuple>::value) spaces.assign(n, OIIO::ustring("shader"));
    }
    ~ArgumentConnection() override { clearInterpolators(); }

    void evaluate(ShaderEnvironment& env, void* data) const override {
        if (interpolators.empty()) return;
        char* at = static_cast<char*>(data) + argument->offset;
        if (argument->type.arraylen() == 1) {
            *reinterpret_cast<T*>(at) = interpolators[0]->value(env.u, env.v);
            return;
        }
        std::vector<T>& array = *reinterpret_cast<std::vector<T>*>(at);
        if (array.size() != type.arraylen()) array.resize(type.arraylen());
        const size_t n = std::min(array.size(), interpolators.size());
        for (size_t k = 0; k < n; ++k)
            if (interpolators[k]) array[k] = interpolators[k]->value(env.u, env.v);
    }

    void createInterpolators(std::map<OIIO::ustring, Transform>& named) override {
        clearInterpolators();
        const size_t n = type.arraylen();
        const Interpolation interp = type.interpolation();
        if (interp != InterpConstant && interp != InterpLinear) return;
        if constexpr (std::is_same<T, OIIO::ustring>::value) {
            if (interp != InterpConstant) return;
            for (size_t e = 0; e < n; ++e)
                interpolators.push_back(new ConstantInterpolator<OIIO::ustring>(strings[e]));
        } else {
            const BaseType base = type.basetype();
            // An hpoint binding makes nothing: the argument keeps its default.
            if (base == TypeHPoint) return;
            const size_t width = size_t(ParamType::BaseTypeNFloats(base));
            const size_t corners = interp == InterpLinear ? 4 : 1;
            for (size_t e = 0; e < n; ++e) {
                T c[4];
                for (size_t k = 0; k < corners; ++k) {
                    c[k] = shading_detail::elementValue<T>(values, (e * corners + k) * width);
                    if constexpr (std::is_same<T, Tuple>::value)
                        c[k] = shading_detail::fromSpace(named[spaces[e]], base, c[k]);
                }
                if (corners == 1)
                    interpolators.push_back(new ConstantInterpolator<T>(c[0]));
                else
                    interpolators.push_back(new BilinearInterpolator<T>(c));
            }
        }
    }

    void clearInterpolators() override {
        for (Interpolator<T>* i : interpolators) delete i;
        interpolators.clear();
    }

    const std::vector<Interpolator<T>*>& getInterpolators() const { return interpolators; }

  private:
    ArgumentConnection(const ArgumentConnection&) = delete;
    ArgumentConnection& operator=(const ArgumentConnection&) = delete;

    std::vector<Interpolator<T>*> interpolators;
    std::vector<OIIO::ustring> strings;  // the values of a string binding
};

// ---------------------------------------------------------------------------------------------
// Layer connections

namespace shading_detail {

// The storage of an array of a tuple type (colours and the point family have one stride).
struct TupleSpan {
    float* first;
    size_t size;
};
inline TupleSpan tupleArray(void* at, BaseType base) {
    if (base == TypeColor) {
        std::vector<Color>& v = *static_cast<std::vector<Color>*>(at);
        return {v.empty() ? nullptr : &v[0].r, v.size()};
    }
    std::vector<Tuple>& v = *static_cast<std::vector<Tuple>*>(at);
    return {v.empty() ? nullptr : &v[0].x, v.size()};
}

template <class E>
inline void* element(void* at, int index) {
    std::vector<E>& v = *static_cast<std::vector<E>*>(at);
    if (index < 0 || size_t(index) >= v.size()) badSubscript();
    return &v[size_t(index)];
}

}  // namespace shading_detail

// The address an end refers to: a global's field, a scalar argument, one element of an array
// argument, or (index -1 on an array) the array object itself.
inline void* resolveAddress(ShaderEnvironment& env, const Shader::ConnectionEnd& end, void* data) {
    if (end.global) return env.globalAddress(end.global);
    char* at = static_cast<char*>(data) + end.offset;
    if (end.type.arraylen() == 1 || end.index < 0) return at;
    switch (end.type.basetype()) {
        case TypeFloat:
            return shading_detail::element<float>(at, end.index);
        case TypeString:
            return shading_detail::element<OIIO::ustring>(at, end.index);
        case TypeColor:
            return shading_detail::element<Color>(at, end.index);
        case TypeMatrix:
            return shading_detail::element<Matrix>(at, end.index);
        default:
            return shading_detail::element<Tuple>(at, end.index);
    }
}

class Shader::FloatConnection : public Shader::ShaderConnectionInterface {
  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    // A tuple source gives its first component.
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        const void* from = resolveAddress(env, source, src);
        void* to = resolveAddress(env, destination, dst);
        if (from && to) std::memcpy(to, from, sizeof(float));
    }
};

class Shader::TupleConnection : public Shader::ShaderConnectionInterface {
  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    // Three components: the fourth float of a Tuple and the pad of a Color stay as they are.
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        const void* from = resolveAddress(env, source, src);
        void* to = resolveAddress(env, destination, dst);
        if (from && to) std::memmove(to, from, 3 * sizeof(float));
    }
};

class Shader::FloatTupleConnection : public Shader::ShaderConnectionInterface {
  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        const float* from = static_cast<const float*>(resolveAddress(env, source, src));
        float* to = static_cast<float*>(resolveAddress(env, destination, dst));
        if (!from || !to) return;
        const float f = *from;
        to[0] = to[1] = to[2] = f;
    }
};

class Shader::StringConnection : public Shader::ShaderConnectionInterface {
  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        const void* from = resolveAddress(env, source, src);
        void* to = resolveAddress(env, destination, dst);
        if (from && to) *static_cast<OIIO::ustring*>(to) = *static_cast<const OIIO::ustring*>(from);
    }
};

class Shader::MatrixConnection : public Shader::ShaderConnectionInterface {
  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        const void* from = resolveAddress(env, source, src);
        void* to = resolveAddress(env, destination, dst);
        if (from && to) std::memmove(to, from, sizeof(Matrix));
    }
};

// Copies the source array's declared length (its current size for an open array), never more
// elements than either array holds.
template <class T>
class Shader::ArrayConnection : public Shader::ShaderConnectionInterface {
    static_assert(std::is_same<T, float>::value || std::is_same<T, const char*>::value ||
                      std::is_same<T, Tuple>::value,
                  "array connections exist for float, const char* and Tuple");

  public:
    using ShaderConnectionInterface::ShaderConnectionInterface;
    void evaluate(ShaderEnvironment& env, void* src, void* dst) const override {
        void* from = resolveAddress(env, source, src);
        void* to = resolveAddress(env, destination, dst);
        if (!from || !to) return;
        const size_t declared = source.type.arraylen();
        if constexpr (std::is_same<T, Tuple>::value) {
            const shading_detail::TupleSpan a =
                shading_detail::tupleArray(from, source.type.basetype());
            const shading_detail::TupleSpan b =
                shading_detail::tupleArray(to, destination.type.basetype());
            const size_t n = std::min(declared ? declared : a.size, std::min(a.size, b.size));
            for (size_t i = 0; i < n; ++i) std::memmove(b.first + 4 * i, a.first + 4 * i, 12);
        } else {
            using E = typename std::conditional<std::is_same<T, float>::value, float,
                                                OIIO::ustring>::type;
            const std::vector<E>& a = *static_cast<const std::vector<E>*>(from);
            std::vector<E>& b = *static_cast<std::vector<E>*>(to);
            const size_t n = std::min(declared ? declared : a.size(), std::min(a.size(), b.size()));
            for (size_t i = 0; i < n; ++i) b[i] = a[i];
        }
    }
};

}  // namespace ovo
