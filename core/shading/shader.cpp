// The Shader base: what every compiled shader shares (its handle, its connections and its
// coordinate system), the shader-type names and the global-variable table, the preparation of
// a data block, and createShader, which loads a shader and binds the Shader call's parameters.
#include "core/shading/shader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/geometry/shape.h"
#include "core/plugins/factory.h"
#include "core/shading/connections.h"
#include "core/shading/environment.h"

namespace ovo {

const char* shaderTypeName(unsigned type) {
    switch (type) {
        case ShaderTypeSurface:
            return "surface";
        case ShaderTypeDisplacement:
            return "displacement";
        case ShaderTypeLight:
            return "light";
        case ShaderTypeVolume:
            return "volume";
        case ShaderTypeImager:
            return "imager";
        default:
            return "<unknown>";
    }
}

ShaderType parseShaderType(const char* name) {
    if (!name) return ShaderTypeNone;
    static const ShaderType types[] = {ShaderTypeSurface, ShaderTypeDisplacement, ShaderTypeLight,
                                       ShaderTypeVolume, ShaderTypeImager};
    for (ShaderType t : types)
        if (std::strcmp(name, shaderTypeName(t)) == 0) return t;
    return ShaderTypeNone;
}

GlobalVariable findGlobalVariable(const char* name) {
    struct Entry {
        const char* name;
        unsigned flag;
        BaseType type;
    };
    static const Entry table[] = {
        {"Cs", GlobalCs, TypeColor},         {"Os", GlobalOs, TypeColor},
        {"P", GlobalP, TypePoint},           {"dPdu", GlobalDPdu, TypeVector},
        {"dPdv", GlobalDPdv, TypeVector},    {"N", GlobalN, TypeNormal},
        {"Ng", GlobalNg, TypeNormal},        {"u", GlobalU, TypeFloat},
        {"v", GlobalV, TypeFloat},           {"du", GlobalDu, TypeFloat},
        {"dv", GlobalDv, TypeFloat},         {"s", GlobalS, TypeFloat},
        {"t", GlobalT, TypeFloat},           {"L", GlobalL, TypeVector},
        {"Cl", GlobalCl, TypeColor},         {"Ol", GlobalOl, TypeColor},
        {"E", GlobalE, TypePoint},           {"I", GlobalI, TypeVector},
        {"ncomps", GlobalNcomps, TypeFloat}, {"time", GlobalTime, TypeFloat},
        {"dtime", GlobalDtime, TypeFloat},   {"dPdtime", GlobalDPdtime, TypeVector},
        {"Ci", GlobalCi, TypeColor},         {"Oi", GlobalOi, TypeColor},
        {"Ps", GlobalPs, TypePoint},         {"alpha", GlobalAlpha, TypeFloat},
    };
    if (name)
        for (const Entry& e : table)
            if (std::strcmp(name, e.name) == 0) return GlobalVariable{e.flag, ParamType(e.type)};
    return GlobalVariable{0, ParamType()};
}

// ---------------------------------------------------------------------------------------------
// Argument bindings

// The binding's length: one for a scalar argument, the argument's own for a fixed array, the
// parameter's for an open one. Values the parameter does not hold (a shorter array, an inline
// single value) are read as 0 rather than past its storage; an open-array parameter gives no
// length, so its storage is trusted to cover the binding.
Shader::ArgumentConnectionInterface::ArgumentConnectionInterface(const Argument* argument,
                                                                 const Parameter& parameter)
    : argument(argument), type(parameter.type()) {
    const unsigned argLength = argument->type.arraylen();
    if (argLength == 1)
        type.setArraylen(1);
    else if (argLength > 1)
        type.setArraylen(argLength);
    const BaseType base = type.basetype();
    if (base == TypeString) return;
    const size_t corners = type.interpolation() == InterpLinear ? 4 : 1;
    const size_t width = size_t(ParamType::BaseTypeNFloats(base));
    const size_t needed = width * type.arraylen() * corners;
    size_t available = needed;
    if (parameter.type().arraylen() != 0)
        available = width * parameter.type().arraylen() * corners *
                    std::max<size_t>(1, size_t(parameter.nvalues()));
    if (!parameter.external())
        available = std::min(available, size_t(parameter.datasize()) / sizeof(float));
    values.assign(needed, 0.0f);
    const float* from = parameter.getFloats();
    if (from) std::memcpy(values.data(), from, std::min(needed, available) * sizeof(float));
}

Shader::ArgumentConnectionInterface::~ArgumentConnectionInterface() {}

Shader::Shader() : coordinateSystem(Transform::Identity) {}

Shader::~Shader() {
    for (ShaderConnectionInterface* c : layerConnections) delete c;
    for (ArgumentConnectionInterface* c : argumentConnections) delete c;
}

const Shader::Argument* Shader::find(const OIIO::ustring& name) const {
    const Argument* args = arguments();
    const int n = numArguments();
    for (int i = 0; i < n; ++i)
        if (args[i].name == name) return &args[i];
    return nullptr;
}

namespace {

// A primitive variable's value at the hit, moved along the pixel's step in the offset passes
// the derivatives are taken from.
template <class T>
T variableAt(const Interpolator<T>& i, const ShaderEnvironment& env) {
    T value = i.valueAt(env.face, env.su, env.sv);
    if (env.derivPass == 0) return value;
    const float du = env.derivPass == 1 ? env.dudx : env.dudy;
    const float dv = env.derivPass == 1 ? env.dvdx : env.dvdy;
    return T(value + i.derivativeUAt(env.face, env.su, env.sv) * du +
             i.derivativeVAt(env.face, env.su, env.sv) * dv);
}

}  // namespace

void Shader::init(ShaderEnvironment& env, const Shape* shape, void* data) const {
    env.shaderSpace = coordinateSystem;
    initialize(env, data);
    for (const ArgumentConnectionInterface* c : argumentConnections) c->evaluate(env, data);
    if (shape && !shape->getVariables().empty()) bindVariables(env, *shape, data);
}

bool Shader::keepsArguments() const {
    if (!(info()->properties & ShaderUniformArguments) || !layerConnections.empty()) return false;
    for (const ArgumentConnectionInterface* c : argumentConnections)
        if (c->type.interpolation() != InterpConstant) return false;
    return true;
}

bool Shader::sameEverywhere() const {
    return (info()->properties & ShaderSameEverywhere) && keepsArguments();
}

// The geometry's own values win over the shader call's: a variable gives its value, in the
// current space for the point family, to the single-valued argument of its name and kind.
void Shader::bindVariables(ShaderEnvironment& env, const Shape& shape, void* data) const {
    for (const PrimitiveVariable& v : shape.getVariables()) {
        const Argument* a = find(v.name);
        if (!a || a->type.arraylen() != 1) continue;
        char* at = static_cast<char*>(data) + a->offset;
        const BaseType base = a->type.basetype();
        if (v.floats && base == TypeFloat) {
            *reinterpret_cast<float*>(at) = variableAt(*v.floats, env);
        } else if (v.colors && base == TypeColor) {
            *reinterpret_cast<Color*>(at) = variableAt(*v.colors, env);
        } else if (v.tuples && (base == TypePoint || base == TypeVector || base == TypeNormal)) {
            const Normal n = variableAt(*v.tuples, env);
            Tuple& out = *reinterpret_cast<Tuple*>(at);
            if (v.type == TypePoint)
                out = env.space * Point(n.x, n.y, n.z);
            else if (v.type == TypeVector)
                out = env.space * Vector(n.x, n.y, n.z);
            else
                out = env.space * n;
        }
    }
}

void Shader::init(ShaderEnvironment& env, std::vector<void*>& layerData, const Shape* shape,
                  void* data) const {
    init(env, shape, data);
    for (const ShaderConnectionInterface* c : layerConnections) {
        const size_t source = size_t(c->source.layer);
        if (c->source.layer < 0 || source >= layerData.size())
            throw std::out_of_range("invalid vector<T> subscript");
        c->evaluate(env, layerData[source], data);
    }
}

namespace {

// The argument's value, or its first element for an array; false for an empty array.
template <class T>
bool readArgument(const Shader::Argument& a, void* data, T& out) {
    const char* at = static_cast<const char*>(data) + a.offset;
    if (a.type.arraylen() == 1) {
        out = *reinterpret_cast<const T*>(at);
        return true;
    }
    const std::vector<T>& array = *reinterpret_cast<const std::vector<T>*>(at);
    if (array.empty()) return false;
    out = array[0];
    return true;
}

}  // namespace

bool Shader::getMessage(const OIIO::ustring& name, void* data, float& out) const {
    const Argument* a = find(name);
    if (!a || !data || a->type.basetype() != TypeFloat) return false;
    return readArgument(*a, data, out);
}

bool Shader::getMessage(const OIIO::ustring& name, void* data, Color& out) const {
    const Argument* a = find(name);
    if (!a || !data || a->type.basetype() != TypeColor) return false;
    return readArgument(*a, data, out);
}

bool Shader::getMessage(const OIIO::ustring& name, void* data, Tuple& out) const {
    const Argument* a = find(name);
    if (!a || !data) return false;
    const BaseType b = a->type.basetype();
    if (b != TypePoint && b != TypeVector && b != TypeNormal) return false;
    return readArgument(*a, data, out);
}

namespace {
const OIIO::ustring LeftOutNames[2] = {OIIO::ustring("__nondiffuse"),
                                       OIIO::ustring("__nonspecular")};
}  // namespace

float Shader::leftOut(Contribution which, void* data) const {
    const Argument* a = leftOutFound ? leftOutArguments[which] : find(LeftOutNames[which]);
    float k = 0.0f;
    if (!a || !data || a->type.basetype() != TypeFloat || !readArgument(*a, data, k)) return 0.0f;
    return k;
}

void Shader::rebindArguments(std::map<OIIO::ustring, Transform>& spaces) {
    coordinateSystem = spaces[OIIO::ustring("shader")];
    for (ArgumentConnectionInterface* c : argumentConnections) c->createInterpolators(spaces);
    for (int k = 0; k < 2; ++k) leftOutArguments[k] = find(LeftOutNames[k]);
    leftOutFound = true;
}

// ---------------------------------------------------------------------------------------------
// createShader

namespace {

Shader::ArgumentConnectionInterface* makeBinding(const Shader::Argument* a, const Parameter& p) {
    switch (p.type().basetype()) {
        case TypeString:
            return new Shader::ArgumentConnection<OIIO::ustring>(a, p);
        case TypeFloat:
            return new Shader::ArgumentConnection<float>(a, p);
        case TypePoint:
        case TypeVector:
        case TypeNormal:
        case TypeHPoint:
            return new Shader::ArgumentConnection<Tuple>(a, p);
        case TypeColor:
            return new Shader::ArgumentConnection<Color>(a, p);
        case TypeMatrix:
            return new Shader::ArgumentConnection<Matrix>(a, p);
        default:
            return nullptr;
    }
}

}  // namespace

namespace {

ShaderSourceCompiler sourceCompiler = nullptr;
ShaderSourceOverride sourceOverride = nullptr;

// The plugin's entry; a missing plugin is compiled from its source when that can be done.
OvoCreateShaderEntry shaderEntry(const std::string& name, const std::string& searchPath) {
    if (sourceOverride) {
        const std::string folder = sourceOverride(name);
        if (!folder.empty())
            return findPluginEntry<OvoCreateShaderEntry>(name, folder, "shader", "createShader");
    }
    try {
        return findPluginEntry<OvoCreateShaderEntry>(name, searchPath, "shader", "createShader");
    } catch (const Error& e) {
        if (e.code() != Error::PluginNotFound || !sourceCompiler) throw;
        const std::string folder = sourceCompiler(name, searchPath);
        if (folder.empty()) throw;
        return findPluginEntry<OvoCreateShaderEntry>(name, folder, "shader", "createShader");
    }
}

}  // namespace

void setShaderSourceCompiler(ShaderSourceCompiler compiler) { sourceCompiler = compiler; }
void setShaderSourceOverride(ShaderSourceOverride sceneFirst) { sourceOverride = sceneFirst; }

Shader* createShader(const std::string& name, const std::string& searchPath,
                     std::map<OIIO::ustring, Transform>& spaces, ParameterSet& parameters) {
    Shader* shader = shaderEntry(name, searchPath)();
    if (!shader) return nullptr;
    shader->setCoordinateSystem(spaces[OIIO::ustring("shader")]);
    // The count is asked again after every argument, as a plugin may publish more lazily.
    for (int i = 0; i < shader->numArguments(); ++i) {
        const Shader::Argument* a = shader->arguments() + i;
        const Parameter* p = parameters.find(a->name.c_str(), a->type.basetype());
        if (!p) continue;
        Shader::ArgumentConnectionInterface* c = makeBinding(a, *p);
        if (!c) continue;
        c->createInterpolators(spaces);
        shader->addArgumentConnection(c);
    }
    return shader;
}

}  // namespace ovo
