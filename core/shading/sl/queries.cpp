// The message-passing queries: other layers' arguments through Shader::getMessage, the current
// light's, and the ray's.
#include "core/shading/sl/queries.h"

#include <algorithm>

#include "core/render/scene.h"
#include "core/shading/light.h"
#include "core/shading/shader_group.h"
#include "core/shading/sl/strings.h"

namespace SL {

namespace {

// The last layer of `group` that has a data block and answers `name` with a value of type T.
template <class T>
float fromLayers(const ovo::ShaderGroup* group, const std::vector<void*>& data,
                 const OIIO::ustring& name, T& value) {
    if (!group) return 0.0f;
    for (size_t i = std::min(group->layers.size(), data.size()); i-- > 0;) {
        const ovo::Shader* layer = group->layers[i].get();
        if (layer && data[i] && layer->getMessage(name, data[i], value)) return 1.0f;
    }
    return 0.0f;
}

template <class T>
float fromLight(const ShaderEnvironment& env, const OIIO::ustring& name, T& value) {
    return env.currentLight && env.currentLightData &&
                   env.currentLight->getMessage(name, env.currentLightData, value)
               ? 1.0f
               : 0.0f;
}

}  // namespace

float surface(ShaderEnvironment& env, OIIO::ustring& name, float& value) {
    return fromLayers(env.surface.get(), env.surfaceData, name, value);
}
float surface(ShaderEnvironment& env, OIIO::ustring& name, Color& value) {
    return fromLayers(env.surface.get(), env.surfaceData, name, value);
}
float surface(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value) {
    return fromLayers(env.surface.get(), env.surfaceData, name, value);
}
float displacement(ShaderEnvironment& env, OIIO::ustring& name, float& value) {
    return fromLayers(env.displacement.get(), env.displacementData, name, value);
}
float displacement(ShaderEnvironment& env, OIIO::ustring& name, Color& value) {
    return fromLayers(env.displacement.get(), env.displacementData, name, value);
}
float displacement(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value) {
    return fromLayers(env.displacement.get(), env.displacementData, name, value);
}
float volume(ShaderEnvironment& env, OIIO::ustring& name, float& value) {
    return fromLayers(env.volume.get(), env.volumeData, name, value);
}
float volume(ShaderEnvironment& env, OIIO::ustring& name, Color& value) {
    return fromLayers(env.volume.get(), env.volumeData, name, value);
}
float volume(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value) {
    return fromLayers(env.volume.get(), env.volumeData, name, value);
}

float lightsource(ShaderEnvironment& env, OIIO::ustring& name, float& value) {
    return fromLight(env, name, value);
}
float lightsource(ShaderEnvironment& env, OIIO::ustring& name, Color& value) {
    return fromLight(env, name, value);
}
float lightsource(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value) {
    return fromLight(env, name, value);
}

float attribute(ShaderEnvironment&, OIIO::ustring& name, float& value) {
    if (name != strings::Sides) return 0.0f;
    value = 2.0f;
    return 1.0f;
}
float attribute(ShaderEnvironment&, OIIO::ustring&, OIIO::ustring&) { return 0.0f; }
float attribute(ShaderEnvironment&, OIIO::ustring&, Tuple&) { return 0.0f; }
float option(ShaderEnvironment&, OIIO::ustring&, float&) { return 0.0f; }
float option(ShaderEnvironment&, OIIO::ustring&, OIIO::ustring&) { return 0.0f; }
float option(ShaderEnvironment&, OIIO::ustring&, Tuple&) { return 0.0f; }
float option(ShaderEnvironment& env, OIIO::ustring& name, float* values, int count) {
    if (name != strings::Format || count < 3 || !env.scene) return 0.0f;
    values[0] = float(env.scene->xResolution());
    values[1] = float(env.scene->yResolution());
    values[2] = env.scene->pixelAspect;
    return 1.0f;
}

float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, OIIO::ustring& value) {
    if (!env.ray || name != strings::type) return 0.0f;
    switch (env.ray->type) {
        case ovo::RayDifferential::Camera:
            value = strings::camera;
            break;
        case ovo::RayDifferential::Traced:
            value = strings::specular;
            break;
        case ovo::RayDifferential::Transmission:
            value = strings::transmission;
            break;
        case ovo::RayDifferential::Gather:
            value = strings::diffuse;
            break;
        default:  // a type no tracer makes: answered, the value left as it was
            break;
    }
    return 1.0f;
}

float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, float& value) {
    if (!env.ray) return 0.0f;
    if (name == strings::depth)
        value = float(env.ray->depth);
    else if (name == strings::diffusedepth)
        value = float(env.ray->diffuseDepth);
    else
        return 0.0f;
    return 1.0f;
}

float rayinfo(ShaderEnvironment& env, OIIO::ustring& name, Tuple& value) {
    if (!env.ray) return 0.0f;
    if (name == strings::origin)
        value = env.ray->o;
    else if (name == strings::direction)
        value = env.ray->d;
    else
        return 0.0f;
    return 1.0f;
}

}  // namespace SL
