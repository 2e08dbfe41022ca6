// The Shader base: what every compiled shader shares (its handle, its connections and its
// coordinate system) and the shader-type names.
#include "core/shading/shader.h"

#include <cstring>

namespace ovo {

const char* shaderTypeName(unsigned type) {
    switch (type) {
        case ShaderTypeSurface: return "surface";
        case ShaderTypeDisplacement: return "displacement";
        case ShaderTypeLight: return "light";
        case ShaderTypeVolume: return "volume";
        case ShaderTypeImager: return "imager";
        default: return "<unknown>";
    }
}

ShaderType parseShaderType(const char* name) {
    if (!name) return ShaderTypeNone;
    static const ShaderType types[] = {ShaderTypeSurface, ShaderTypeDisplacement,
                                       ShaderTypeLight, ShaderTypeVolume, ShaderTypeImager};
    for (ShaderType t : types)
        if (std::strcmp(name, shaderTypeName(t)) == 0) return t;
    return ShaderTypeNone;
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

}  // namespace ovo
