#include "compiler/info.h"

#include <cstdio>
#include <vector>

#include "compiler/globals.h"
#include "core/base/error.h"
#include "core/base/reference.h"
#include "core/math/matrix.h"
#include "core/plugins/plugin.h"
#include "core/shading/environment.h"
#include "core/shading/shader.h"

namespace ovo {
namespace compiler {

namespace {

std::string number(float f) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", double(f));
    return buffer;
}

std::string floats(const float* v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? " " : "") + number(v[i]);
    return n == 1 ? s : "[" + s + "]";
}

// One value of the argument's base type at p.
std::string value(BaseType type, const char* p) {
    switch (type) {
        case TypeString:
            return "\"" + reinterpret_cast<const OIIO::ustring*>(p)->string() + "\"";
        case TypeFloat:
            return floats(reinterpret_cast<const float*>(p), 1);
        case TypeMatrix:
            return floats(&reinterpret_cast<const Matrix*>(p)->m[0][0], 16);
        case TypeHPoint:
            return floats(&reinterpret_cast<const Tuple*>(p)->x, 4);
        default:
            return floats(&reinterpret_cast<const Tuple*>(p)->x, 3);
    }
}

// An array argument holds a std::vector of its element type.
template <class T>
std::string elements(const char* p, BaseType type) {
    const std::vector<T>& v = *reinterpret_cast<const std::vector<T>*>(p);
    std::string s;
    for (const T& e : v)
        s += (s.empty() ? "" : ", ") + value(type, reinterpret_cast<const char*>(&e));
    return "{" + s + "}";
}

std::string arrayValue(BaseType type, const char* p) {
    switch (type) {
        case TypeString:
            return elements<OIIO::ustring>(p, type);
        case TypeFloat:
            return elements<float>(p, type);
        case TypeMatrix:
            return elements<Matrix>(p, type);
        case TypeColor:
            return elements<Color>(p, type);
        default:
            return elements<Tuple>(p, type);
    }
}

std::string globalsRead(unsigned mask) {
    std::string s;
    for (const GlobalInfo* g = allGlobals(); g->name; ++g)
        if (g->flag && !g->lightOnly && (mask & g->flag)) s += std::string(" ") + g->name;
    return s.empty() ? " nothing" : s;
}

}  // namespace

std::string describeShader(const Shader& shader) {
    const ShaderInfo* info = shader.info();
    std::string text =
        std::string(shaderTypeName(info->type)) + " \"" + (info->name ? info->name : "") + "\"\n";
    text += "    reads:" + globalsRead(info->globals) + "\n";
    ShaderEnvironment env;
    void* data = shader.createData();
    shader.initialize(env, data);
    const char* block = static_cast<const char*>(data);
    for (int i = 0; i < shader.numArguments(); ++i) {
        const Shader::Argument& a = shader.arguments()[i];
        const BaseType type = a.type.basetype();
        std::string line = "    ";
        if (a.flags & 1u) line += "output ";
        line += ParamType::BaseTypeNameString(type);
        line += " " + a.name.string();
        if (a.type.isarray()) line += "[" + std::to_string(a.type.arraylen()) + "]";
        line += " = " + (a.type.isarray() ? arrayValue(type, block + a.offset)
                                          : value(type, block + a.offset));
        text += line + "\n";
    }
    shader.destroyData(data);
    return text;
}

bool describeShaderFile(const std::string& path, std::string& text) {
    try {
        // Kept loaded: a tool that describes a few files and exits.
        // A bare file name would send the loader to the library path.
        Plugin* plugin = new Plugin(path.find('/') == std::string::npos ? "./" + path : path);
        auto create = reinterpret_cast<OvoCreateShaderEntry>(plugin->getSymbol("createShader"));
        const Reference<Shader> shader(create());
        if (!shader) {
            text = path + ": the plugin made no shader\n";
            return false;
        }
        text = describeShader(*shader);
        return true;
    } catch (const Error& e) {
        text = path + ": " + e.what() + "\n";
        return false;
    }
}

}  // namespace compiler
}  // namespace ovo
