#include "core/plugins/factory.h"

#include <OpenImageIO/plugin.h>

#include <map>
#include <memory>

#include "core/api/attributes.h"
#include "core/geometry/primitive.h"
#include "core/geometry/shape.h"
#include "core/params/error.h"
#include "core/plugins/plugin.h"
#include "core/plugins/search_path.h"
#include "core/render/bucket.h"
#include "core/render/camera.h"
#include "core/render/filter.h"
#include "core/render/integrator.h"
#include "core/render/sampler.h"
#include "core/shading/shader.h"

namespace ovo {

namespace {

// One loaded plugin of one kind. Never destroyed: the library stays loaded until exit.
template <class Entry>
struct PluginFactory {
    PluginFactory(const std::string& fileName, const char* symbol)
        : plugin(fileName), create(reinterpret_cast<Entry>(plugin.getSymbol(symbol))) {}

    Plugin plugin;
    Entry create;
};

// One cache per entry type, keyed by plugin name. It is never freed, so that plugins stay
// reachable (and usable by static destructors) until the process ends.
template <class Entry>
std::map<std::string, PluginFactory<Entry>*>& factoryCache() {
    static auto* cache = new std::map<std::string, PluginFactory<Entry>*>();
    return *cache;
}

template <class Entry>
PluginFactory<Entry>& findFactory(const std::string& name, const std::string& searchPath,
                                  const std::string& kind, const char* symbol) {
    auto& cache = factoryCache<Entry>();
    auto found = cache.find(name);
    if (found != cache.end()) return *found->second;

    std::string fileName = name;
    if (!kind.empty()) fileName += "." + kind;
    fileName += ".";
    fileName += OIIO::Plugin::plugin_extension();
    const std::string path = lookup(searchPath, fileName);
    if (path.empty())
        throw Error(Error::PluginNotFound, "Unable to find plugin \"%s\"", name.c_str());

    // Cached only once both the library and its entry are there, so a failure can be retried.
    std::unique_ptr<PluginFactory<Entry>> factory(new PluginFactory<Entry>(path, symbol));
    cache[name] = factory.get();
    return *factory.release();
}

}  // namespace

Shape* createShape(const std::string& name, std::string& searchPath, RendererAPI& renderer,
                   const Transform& objectToWorld, const Attributes& attributes,
                   ParameterSet& parameters) {
    auto& factory = findFactory<OvoCreateShapeEntry>(name, searchPath, "shape", "createShape");
    Shape* shape =
        factory.create(renderer, objectToWorld, attributes.shapeAttributes(), parameters);
    if (!shape) return nullptr;

    // The primitive variables the core interpolates for every shape.
    if (Parameter* p = parameters.find("N", TypeNormal))
        shape->setN(shape->createNormalInterpolator(*p));
    if (Parameter* p = parameters.find("C", TypeColor))
        shape->setCs(shape->createColorInterpolator(*p));
    if (Parameter* p = parameters.find("opacity", TypeColor))
        shape->setOs(shape->createColorInterpolator(*p));
    if (Parameter* p = parameters.find("s", TypeFloat))
        shape->setS(shape->createFloatInterpolator(*p));
    if (Parameter* p = parameters.find("t", TypeFloat))
        shape->setT(shape->createFloatInterpolator(*p));
    return shape;
}

Camera* createCamera(const std::string& name, std::string& searchPath,
                     const MotionTransform& cameraTransform, Film* film, ParameterSet& parameters) {
    auto& factory = findFactory<OvoCreateCameraEntry>(name, searchPath, "camera", "createCamera");
    return factory.create(cameraTransform, film, parameters);
}

Aggregate* createAggregate(const std::string& name, const std::string& searchPath,
                           const std::string& kind, std::vector<Reference<Primitive>>& primitives,
                           ParameterSet& parameters) {
    auto& factory = findFactory<OvoCreateAggregateEntry>(name, searchPath, kind, "createAggregate");
    return factory.create(primitives, parameters);
}

Integrator* createIntegrator(const std::string& name, const std::string& searchPath,
                             ParameterSet& parameters) {
    auto& factory =
        findFactory<OvoCreateIntegratorEntry>(name, searchPath, "integrator", "createIntegrator");
    return factory.create(parameters);
}

RendererAPI::Generator* createGenerator(const std::string& name, std::string& searchPath,
                                        ParameterSet& parameters) {
    auto& factory =
        findFactory<OvoCreateGeneratorEntry>(name, searchPath, "generator", "createGenerator");
    return factory.create(parameters);
}

Shader* createShaderPlugin(const std::string& name, const std::string& searchPath) {
    auto& factory = findFactory<OvoCreateShaderEntry>(name, searchPath, "shader", "createShader");
    return factory.create();
}

Filter* createFilter(const std::string& name, const std::string& searchPath,
                     const float* filterWidth, ParameterSet& parameters) {
    auto& factory = findFactory<OvoCreateFilterEntry>(name, searchPath, "filter", "createFilter");
    return factory.create(filterWidth[0] * 0.5f, filterWidth[1] * 0.5f, parameters);
}

Sampler* createSampler(const std::string& name, const std::string& searchPath, unsigned* resolution,
                       unsigned* samplesPerPixel, Extent2D& crop, float* filterWidth,
                       ParameterSet& parameters) {
    auto& factory =
        findFactory<OvoCreateSamplerEntry>(name, searchPath, "sampler", "createSampler");
    return factory.create(resolution, samplesPerPixel, crop, filterWidth, parameters);
}

BucketOrder* createBucketOrder(const std::string& name, const std::string& searchPath,
                               unsigned* bucketSize, unsigned* resolution, Extent2D& crop,
                               ParameterSet& parameters) {
    auto& factory = findFactory<OvoCreateBucketOrderEntry>(name, searchPath, "bucketorder",
                                                           "createBucketOrder");
    return factory.create(bucketSize, resolution, crop, parameters);
}

}  // namespace ovo
