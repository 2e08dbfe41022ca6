// Shader and light declarations: shaders attached to the attribute state, shader groups and
// their layer connections, the light table and the active light lists.
#include <OpenImageIO/ustring.h>

#include <cctype>
#include <cstring>
#include <string>

#include "core/api/raytracer.h"
#include "core/shading/connections.h"
#include "core/shading/light.h"
#include "core/shading/shader.h"
#include "core/shading/shader_group.h"

namespace ovo {

namespace {

const OIIO::ustring ShaderSpace("shader");

Reference<ShaderGroup>* groupSlot(Attributes& a, unsigned type) {
    switch (type) {
        case ShaderTypeSurface:
            return &a.surface;
        case ShaderTypeDisplacement:
            return &a.displacement;
        case ShaderTypeVolume:
            return &a.volume;
        default:
            return nullptr;
    }
}

bool isTupleType(BaseType b) {
    return b == TypePoint || b == TypeVector || b == TypeNormal || b == TypeColor;
}

// The connection class for two resolved ends, or null when the types do not connect.
Shader::ShaderConnectionInterface* makeConnection(const ovo::Shader::ConnectionEnd& s,
                                                  const ovo::Shader::ConnectionEnd& d,
                                                  bool arrays) {
    const BaseType a = s.type.basetype(), b = d.type.basetype();
    if (arrays) {
        if (a == TypeString && b == TypeString)
            return new Shader::ArrayConnection<const char*>(s, d);
        if (a == TypeFloat && b == TypeFloat) return new Shader::ArrayConnection<float>(s, d);
        if (isTupleType(a) && isTupleType(b)) return new Shader::ArrayConnection<Tuple>(s, d);
        return nullptr;
    }
    if (a == TypeString && b == TypeString) return new Shader::StringConnection(s, d);
    if (a == TypeFloat && b == TypeFloat) return new Shader::FloatConnection(s, d);
    if (isTupleType(a) && isTupleType(b)) return new Shader::TupleConnection(s, d);
    if (a == TypeFloat && isTupleType(b)) return new Shader::FloatTupleConnection(s, d);
    if (isTupleType(a) && b == TypeFloat) return new Shader::FloatConnection(s, d);
    if (a == TypeMatrix && b == TypeMatrix) return new Shader::MatrixConnection(s, d);
    return nullptr;
}

}  // namespace

void Raytracer::Shader(const char* type, const char* name, const char* handle) {
    struct ClearPending {
        ParameterSet& p;
        ~ClearPending() { p.clear(); }
    } clear{pending};

    if (!type) {
        errorManager->Error("Shader: NULL shader type");
        return;
    }
    const unsigned shaderType = parseShaderType(type);
    if (!shaderType) {
        errorManager->Error("Shader: Unknown shader type \"%s\"", type);
        return;
    }
    // "null" takes the imager away, as users of such renderers expect.
    if (shaderType == ShaderTypeImager && getBlock() != BlockShaderGroup && name &&
        std::strcmp(name, "null") == 0) {
        getOptions().imagerName = name;
        getOptions().imager = nullptr;
        getOptions().imagerParameters.clear();
        return;
    }
    namedSpaces[ShaderSpace] = getCurrentTransform();
    Reference<ovo::Shader> shader;
    if (name) {
        try {
            shader = createShader(name, getOptions().searchPaths.shader, namedSpaces, pending);
        } catch (const ovo::Error& e) {
            errorManager->Severe("%s", e.what());
            return;
        }
    }
    // A shader that could not be made leaves the attribute state as it was: no group or
    // light list may hold a null layer.
    if (!shader) return;
    if (handle) shader->setHandle(handle);

    Attributes& a = getAttributes();
    unsigned slotType = shaderType;
    if (getBlock() == BlockShaderGroup) {
        if (groupShaderType == 0) {
            groupShaderType = shaderType;
            if (Reference<ShaderGroup>* slot = groupSlot(a, shaderType)) *slot = new ShaderGroup();
        } else if (groupShaderType != shaderType) {
            errorManager->Error("Shader: Different shader types in shader group \"%s\" vs \"%s\"",
                                shaderTypeName(groupShaderType), type);
            return;
        }
        slotType = groupShaderType;
        if (Reference<ShaderGroup>* slot = groupSlot(a, slotType)) {
            if (!*slot) *slot = new ShaderGroup();
            (*slot)->add(shader);
            return;
        }
    } else if (Reference<ShaderGroup>* slot = groupSlot(a, slotType)) {
        ShaderGroup* group = new ShaderGroup();
        group->add(shader);
        *slot = group;
        return;
    }
    if (slotType == ShaderTypeImager) {
        if (shader->type() != ShaderTypeImager) {
            errorManager->Error("Shader: \"%s\" is a %s shader, not an imager. Ignoring it ...",
                                name, shaderTypeName(shader->type()));
            return;
        }
        getOptions().imagerName = name;
        getOptions().imager = shader;
        getOptions().imagerParameters.append(pending, true, true);
        return;
    }
    errorManager->Error("Shader: Unsupported shader type \"%s\"", type);
}

void Raytracer::Light(const char* handle, const char* name, const char*) {
    struct ClearPending {
        ParameterSet& p;
        ~ClearPending() { p.clear(); }
    } clear{pending};

    const std::string key = handle ? handle : "";
    Options& o = getOptions();
    if (o.lights.count(key)) errorManager->Warning("Light \"%s\" is already defined", key.c_str());
    namedSpaces[ShaderSpace] = getCurrentTransform();
    try {
        Reference<ovo::Shader> made =
            name ? createShader(name, o.searchPaths.shader, namedSpaces, pending) : nullptr;
        ovo::Light* shader = dynamic_cast<ovo::Light*>(made.get());
        // Not a light shader (or none at all): nothing joins the tables.
        if (!shader) return;
        Reference<ovo::Light> light(shader);
        light->setShadows(getAttributes().lightShadows);
        light->setPlacement(getCurrentTransform());
        const ovo::Parameter* geometry = pending.find("geometry", TypeString);
        const char* const* text = geometry ? geometry->getStrings() : nullptr;
        if (text && text[0]) {
            AreaLight* area = new AreaLight(
                light, unsigned(std::max(1, getAttributes().lightSamples)), OIIO::ustring(text[0]));
            area->setShadows(getAttributes().lightShadows);
            area->setCoordinateSystem(light->getCoordinateSystem());
            light = area;
        }
        o.lights[key] = light;
        Attributes& a = getAttributes();
        LightList* list = new LightList(*a.lights);
        list->lights.push_back(light);
        a.lights = list;
        if (!inWorld) o.lightsOutsideWorld.push_back(light);
    } catch (const ovo::Error& e) {
        errorManager->Severe("%s", e.what());
    }
}

void Raytracer::LightSwitch(const char* handle, bool on) {
    const std::string key = handle ? handle : "";
    const auto found = getOptions().lights.find(key);
    if (found == getOptions().lights.end() || !found->second) {
        errorManager->Warning("Light \"%s\" does not exist", key.c_str());
        return;
    }
    Attributes& a = getAttributes();
    const std::vector<Reference<ovo::Light>>& current = a.lights->lights;
    size_t at = 0;
    while (at < current.size() && current[at] != found->second) ++at;
    const bool present = at < current.size();
    if (on == present) return;
    LightList* list = new LightList(*a.lights);
    if (on)
        list->lights.push_back(found->second);
    else
        list->lights.erase(list->lights.begin() + long(at));
    a.lights = list;
}

namespace {

struct EndText {
    const char* layer;
    const char* parameter;
    const char* which;  // "source" or "destination"
};

// "name" or "name[element]" after leading white space; false when the brackets do not close
// around a number.
bool parseEndParameter(const char* text, std::string& name, int& element) {
    const char* p = text ? text : "";
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    while (*p && (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_')) ++p;
    name.assign(start, p);
    element = -1;
    if (*p != '[') return true;
    ++p;
    const char* digits = p;
    long value = 0;
    while (*p && std::isdigit(static_cast<unsigned char>(*p))) value = value * 10 + (*p++ - '0');
    if (*p != ']' || p == digits) return false;
    element = int(value);
    return true;
}

// The layer (the last one with that handle) and the argument or shading global that one end of
// a connection names; reports why not and fails. "C" and "opacity" name the layer's output
// colours at the source and its input colours at the destination.
bool resolveEnd(ErrorManager& errors, const ShaderGroup& group, const EndText& text, bool isSource,
                ovo::Shader::ConnectionEnd& end, ovo::Shader*& layerShader) {
    const std::string layer = text.layer ? text.layer : "";
    int index = -1;
    for (int i = int(group.layers.size()) - 1; i >= 0 && index < 0; --i)
        if (group.layers[size_t(i)] && group.layers[size_t(i)]->getHandle() == layer) index = i;
    if (index < 0) {
        errors.Error("ConnectShaders: \"%s\" %s layer does not exist", layer.c_str(), text.which);
        return false;
    }
    ovo::Shader& shader = *group.layers[size_t(index)];
    std::string name;
    int element;
    if (!parseEndParameter(text.parameter, name, element)) {
        errors.Error("ConnectShaders: cannot parse \"%s\" %s parameter",
                     text.parameter ? text.parameter : "", text.which);
        return false;
    }
    if (name == "C") name = isSource ? "Ci" : "Cs";
    if (name == "opacity") name = isSource ? "Oi" : "Os";
    end.index = element;
    end.layer = index;
    if (const ovo::Shader::Argument* arg = shader.find(OIIO::ustring(name))) {
        if (element >= 0 && arg->type.arraylen() == 1) {
            errors.Error("ConnectShaders: \"%s\" is not a array", text.parameter);
            return false;
        }
        end.type = arg->type;
        end.global = 0;
        end.offset = arg->offset;
    } else {
        const GlobalVariable g = findGlobalVariable(name.c_str());
        if (!g.flag) {
            errors.Error(
                "ConnectShaders: parameter \"%s\" not found in layer \"%s\" (shader \"%s\")",
                name.c_str(), layer.c_str(), shader.info()->name);
            return false;
        }
        if (element >= 0) {
            errors.Error("ConnectShaders: \"%s\" parameter is not a array", text.parameter);
            return false;
        }
        end.type = g.type;
        end.global = g.flag;
        end.offset = 0;
    }
    layerShader = &shader;
    return true;
}

}  // namespace

void Raytracer::ConnectShaders(const char* sourceLayer, const char* sourceParameter,
                               const char* destinationLayer, const char* destinationParameter) {
    if (getBlock() != BlockShaderGroup) {
        errorManager->Error(
            "ConnectShaders: invalid call outside ShaderGroup block\n\tNo connection made");
        return;
    }
    const std::string srcLayer = sourceLayer ? sourceLayer : "";
    const std::string dstLayer = destinationLayer ? destinationLayer : "";
    if (srcLayer == dstLayer) {
        errorManager->Error("ConnectShaders: same source and destination layers");
        return;
    }
    Reference<ShaderGroup>* slot = groupSlot(getAttributes(), groupShaderType);
    if (!slot) return;
    if (!*slot) {
        errorManager->Error("ConnectShaders: \"%s\" shader group is empty",
                            shaderTypeName(groupShaderType));
        return;
    }
    ovo::Shader::ConnectionEnd source{}, destination{};
    ovo::Shader *sourceShader = nullptr, *destinationShader = nullptr;
    if (!resolveEnd(*errorManager, **slot, {sourceLayer, sourceParameter, "source"}, true, source,
                    sourceShader) ||
        !resolveEnd(*errorManager, **slot, {destinationLayer, destinationParameter, "destination"},
                    false, destination, destinationShader))
        return;
    const bool sourceArray = source.type.arraylen() != 1 && source.index < 0;
    const bool destinationArray = destination.type.arraylen() != 1 && destination.index < 0;
    if (sourceArray != destinationArray) {
        errorManager->Error("ConnectShaders: cannot connect array to non array");
        return;
    }
    // An element of an array connects like a scalar of the element type.
    ovo::Shader::ShaderConnectionInterface* c = makeConnection(source, destination, sourceArray);
    if (!c) {
        errorManager->Error(sourceArray ? "ConnectShaders: array types are not compatible"
                                        : "ConnectShaders: types are not compatible");
        return;
    }
    destinationShader->addLayerConnection(c);
}

}  // namespace ovo
