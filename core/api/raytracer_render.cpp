// Cameras, outputs, scene input and Render: what turns a described world into image files.
#include <algorithm>
#include <OpenImageIO/texture.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <new>

#include "core/api/raytracer.h"
#include "core/geometry/primitive.h"
#include "core/plugins/search_path.h"
#include "core/render/bucket.h"
#include "core/render/camera.h"
#include "core/render/film.h"
#include "core/render/filter.h"
#include "core/render/output.h"
#include "core/render/sampler.h"
#include "core/render/scene.h"
#include "core/shading/imager.h"
#include "core/shading/light.h"

namespace ovo {

namespace {

const OIIO::ustring CameraSpace("camera");
const OIIO::ustring ScreenSpace("screen");
const OIIO::ustring RasterSpace("raster");
const OIIO::ustring NdcSpace("NDC");
const OIIO::ustring ShaderSpace("shader");

// The first n values of a float or int parameter holding at least n of them.
template <class T>
bool pendingValues(const ParameterSet& p, const char* name, BaseType type, int n, T* out) {
    const ovo::Parameter* found = p.find(name, type);
    if (!found || int(found->type().arraylen()) * found->nvalues() < n) return false;
    const T* v = static_cast<const T*>(found->data());
    if (!v) return false;
    for (int i = 0; i < n; ++i) out[i] = v[i];
    return true;
}

void addMissing(ParameterSet& p, const char* name, int n, const float* values) {
    if (!p.find(name)) p.push_back(name, ParamType(TypeFloat, unsigned(n)), values, true);
}

// A generator argument: quoted again when it holds white space, so the generator sees one word.
std::string argumentWord(const std::string& word) {
    if (word.find_first_of(" \t") == std::string::npos) return word;
    return "\"" + word + "\"";
}

// The generator for a file: its extension, looking through a compression suffix (".rib.gz" is
// a compressed "rib" file). Empty when the file name has none.
std::string extensionOf(const std::string& file) {
    std::string base = file;
    const size_t slash = base.rfind('/');
    std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0 &&
        name.find('.') < name.size() - 3)
        name.erase(name.size() - 3);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Cameras and outputs

void Raytracer::Camera(const char* name) {
    Options& current = getOptions();
    float shutter[2];
    if (pendingValues(pending, "shutter", TypeFloat, 2, shutter)) {
        current.shutter[0] = shutter[0];
        current.shutter[1] = shutter[1];
    }

    CameraRecord record;
    record.name = name ? name : "";
    record.options = current;
    record.cameraTransform = currentNode->accumulated.inverse();
    record.parameters.append(pending, true);

    Options& o = record.options;
    int resolution[2];
    if (pendingValues(pending, "resolution", TypeInt, 2, resolution)) {
        o.resolution[0] = resolution[0];
        o.resolution[1] = resolution[1];
        o.updateFrameAspect();
    }
    int samples[2];
    if (pendingValues(pending, "spatialquality", TypeInt, 2, samples)) {
        o.pixelSamples[0] = samples[0];
        o.pixelSamples[1] = samples[1];
    }
    if (const ovo::Parameter* p = pending.find("projection", TypeString))
        if (const char* projection = p->getString()) o.projection = projection;

    // The camera plugin always finds these.
    ParameterSet& params = record.parameters;
    addMissing(params, "fov", 1, &o.fov);
    addMissing(params, "pixelaspect", 1, &o.pixelAspect);
    addMissing(params, "screen", 4, o.screen);
    addMissing(params, "near", 1, &o.nearClip);
    addMissing(params, "far", 1, &o.farClip);
    addMissing(params, "shutter", 2, o.shutter);
    addMissing(params, "fstop", 1, &o.fStop);
    addMissing(params, "focallength", 1, &o.focalLength);
    addMissing(params, "focaldistance", 1, &o.focalDistance);

    if (const ovo::Parameter* p = pending.find("bucketorder", TypeString))
        if (const char* order = p->getString()) o.bucketOrderName = order;

    for (auto c = cameras.begin(); c != cameras.end(); ++c) {
        if (c->name == record.name) {
            cameras.erase(c);
            break;
        }
    }
    cameras.push_back(std::move(record));
    pending.clear();
}

void Raytracer::Output(const char* name, const char* type, const char* mode, const char* camera) {
    const std::string file = name ? name : "";
    for (auto o = outputs.begin(); o != outputs.end(); ++o) {
        if (o->name == file) {
            outputs.erase(o);
            break;
        }
    }
    if (type && std::strcmp(type, "null") != 0) {
        OutputRecord record = getOptions().outputDefaults;
        record.name = file;
        record.type = type;
        record.mode = mode ? mode : "";
        record.camera = camera ? camera : "";
        record.gain = pending.findFloat("gain", 1.0f);
        record.gamma = pending.findFloat("gamma", 1.0f);
        // An output may quantise unlike the others (depth maps are usually kept as floats).
        const ovo::Parameter* quantize = pending.find("quantize", TypeInt);
        if (quantize && quantize->type().arraylen() == 4)
            std::copy(quantize->getInts(), quantize->getInts() + 4, record.quantize);
        record.parameters.append(pending, true);
        outputs.push_back(std::move(record));
    }
    pending.clear();
}

// ---------------------------------------------------------------------------------------------
// Input

void Raytracer::Input(const char* text, const float* bound) {
    const std::string name = text ? text : "";
    if (bound) {
        // A bounded input is an object made once and instanced at each use.
        if (!getOptions().objects.count(name)) {
            ObjectBegin(name.c_str());
            Input(name.c_str(), nullptr);
            ObjectEnd();
        }
        ObjectInstance(name.c_str());
        pending.clear();
        return;
    }

    const std::vector<std::string> words = splitInputWords(name.c_str());
    std::string pluginPath = getOptions().searchPaths.plugin;
    const std::string inputPath = getOptions().searchPaths.input;
    std::unique_ptr<Generator> generator;
    if (!words.empty()) {
        try {
            generator.reset(createGenerator(words[0], pluginPath, pending));
            // Made: the further words are its arguments, the first of them a file when the
            // input path has it.
            pending.clear();
            std::string arguments;
            for (size_t i = 1; i < words.size(); ++i) {
                std::string word = words[i];
                if (i == 1) {
                    const std::string full = lookup(inputPath, word);
                    if (!full.empty()) word = full;
                }
                if (i > 1) arguments += " ";
                arguments += argumentWord(word);
            }
            if (generator) generator->run(this, arguments.c_str());
            return;
        } catch (const Error&) {
            // Not a generator: the whole text names a file.
        }
    }

    const std::string full = lookup(inputPath, name);
    if (full.empty()) {
        errorManager->Error("Input (\"%s\") --\n\tNo file found", name.c_str());
        pending.clear();
        return;
    }
    const std::string extension = extensionOf(name);
    if (extension.empty()) {
        errorManager->Error(
            "Input (\"%s\") -- no extension\n\tCannot guess file type without extension",
            name.c_str());
        pending.clear();
        return;
    }
    try {
        generator.reset(createGenerator(extension, pluginPath, pending));
    } catch (const Error& e) {
        if (e.code() == Error::PluginNotFound)
            errorManager->Error("Input: no support for file type ( %s )", extension.c_str());
        else
            errorManager->Error("%s", e.what());
        pending.clear();
        return;
    }
    pending.clear();
    if (generator) generator->run(this, full.c_str());
}

// ---------------------------------------------------------------------------------------------
// Coordinate systems of a camera

void Raytracer::defineCameraSpaces(const ovo::Camera& camera,
                                   const MotionTransform& cameraTransform) {
    namedSpaces[CameraSpace] = cameraTransform.getSample(0).inverse();
    // Screen and raster spaces exist for projective cameras only.
    const auto* projective = dynamic_cast<const ProjectiveCamera*>(&camera);
    const Film* film = camera.getFilm();
    if (!projective || !film) return;
    const Transform screen = projective->getWorldToScreen().inverse();
    const Transform raster = screen * projective->getRasterToScreen();
    namedSpaces[ScreenSpace] = screen;
    namedSpaces[RasterSpace] = raster;
    namedSpaces[NdcSpace] =
        raster * ::Scale(float(film->xResolution()), float(film->yResolution()), 1.0f);
}

void Raytracer::defineScreenSpaces() {
    if (cameras.empty()) return;
    const CameraRecord& record = cameras.front();
    const Options& o = record.options;
    if (o.resolution[0] < 1 || o.resolution[1] < 1) return;
    unsigned resolution[2] = {unsigned(o.resolution[0]), unsigned(o.resolution[1])};
    std::string pluginPath = getOptions().searchPaths.plugin;
    try {
        // The spaces depend on the film's resolution only: the film needs no filter, and an
        // empty window spares filling a frame's worth of pixels that nothing reads.
        Extent2D none = {0.0f, 0.0f, 0.0f, 0.0f};
        Film film(resolution, none, nullptr);
        ParameterSet parameters;
        parameters = record.parameters;
        std::unique_ptr<ovo::Camera> camera(
            createCamera(o.projection, pluginPath, record.cameraTransform, &film, parameters));
        if (camera) defineCameraSpaces(*camera, record.cameraTransform);
    } catch (const Error&) {
        // Render reports a camera plugin that cannot be loaded, when it renders that camera.
    } catch (const std::bad_alloc&) {
    }
}

// ---------------------------------------------------------------------------------------------
// Render

void Raytracer::configureTextureSystem() {
    const Options& o = getOptions();
    image::LazyTextureSystem::Settings settings;
    settings.searchPath = o.searchPaths.texture;
    settings.pluginSearchPath = o.searchPaths.plugin;
    settings.autoMipmap = o.autoMipmap;
    settings.maxOpenFiles = o.textureFiles;
    settings.maxMemoryMB = float(o.textureMemory);
    textures.configure(settings);
}

void Raytracer::renderFrame(const char* camera) {
    configureTextureSystem();
    ErrorScope reports(errorManager);
    for (auto& set : geometrySets) set.second.finalize();

    FrameWorld world;
    if (!camera) {
        for (CameraRecord& record : cameras) renderCamera(record, world);
        cameras.clear();
    } else {
        auto found = cameras.begin();
        while (found != cameras.end() && found->name != camera) ++found;
        if (found == cameras.end()) {
            errorManager->Severe("Render(\"%s\"): no such camera. Rendering aborted ...", camera);
        } else {
            renderCamera(*found, world);
            cameras.erase(found);
        }
    }
    // The sets name this frame's primitives by address.
    geometrySets.clear();
}

// Places every light of the frame for one camera. Shading happens in world space and a light's
// placement, the transform current at its declaration, already maps light space to world
// space; composing the camera's transform on top would move world lights with the camera, so
// the placement is the light's "shader" space as it stands, for every camera. Area lights then
// gather the primitives made under their geometry name.
void Raytracer::placeLights(const CameraRecord&) {
    for (auto& entry : getOptions().lights) {
        if (!entry.second) continue;
        namedSpaces[ShaderSpace] = entry.second->getPlacement();
        entry.second->rebindArguments(namedSpaces);
    }
    for (auto& entry : getOptions().lights) {
        auto* area = dynamic_cast<AreaLight*>(entry.second.get());
        if (!area) continue;
        auto found = geometryNames.find(area->getGeometryName());
        area->attach(found != geometryNames.end() ? found->second
                                                  : std::vector<Reference<Primitive>>());
    }
}

// The scene freezes what render time reads of the options and of this renderer's named
// spaces; from then on nothing that renders reaches back into the scene interface.
Scene::Scene(Raytracer* raytracer, ovo::Camera* camera, Primitive* primitive, Sampler* sampler,
             image::LazyTextureSystem* textures, Options& options)
    : Scene(camera, primitive, sampler, textures, options,
            raytracer ? raytracer->getNamedSpaces() : NamedSpaces(),
            raytracer ? raytracer->getGeometrySets() : GeometrySets()) {}

bool Raytracer::checkRenderable(CameraRecord& record, std::vector<OutputRecord>& assigned) {
    const Options& o = record.options;
    const char* name = record.name.c_str();
    assigned.clear();
    for (const OutputRecord& output : outputs)
        if (output.camera == record.name) assigned.push_back(output);
    if (assigned.empty()) {
        errorManager->Severe(
            "Render(\"%s\"): no output(s) assigned to camera. Rendering aborted ...", name);
        return false;
    }
    if (o.integratorName == "null") return false;
    if (o.resolution[0] < 1 || o.resolution[1] < 1 || o.pixelSamples[0] < 1 ||
        o.pixelSamples[1] < 1) {
        errorManager->Severe(
            "Render(\"%s\"): resolution %d x %d with %d x %d samples per pixel. Rendering "
            "aborted ...",
            name, o.resolution[0], o.resolution[1], o.pixelSamples[0], o.pixelSamples[1]);
        return false;
    }
    return true;
}

// Every plugin of the frame is made before an output file is opened, so that a frame that
// cannot be rendered leaves no half-written image behind. Throws the Error of a plugin that
// cannot be loaded or makes nothing.
void Raytracer::makeFramePlugins(const CameraRecord& record, FramePlugins& frame) {
    const Options& o = record.options;
    std::string pluginPath = getOptions().searchPaths.plugin;
    unsigned resolution[2] = {unsigned(o.resolution[0]), unsigned(o.resolution[1])};
    unsigned samples[2] = {unsigned(o.pixelSamples[0]), unsigned(o.pixelSamples[1])};
    Extent2D crop = {o.crop[0], o.crop[1], o.crop[2], o.crop[3]};
    float filterWidth[2] = {o.filterWidth[0], o.filterWidth[1]};

    ParameterSet filterParameters, cameraParameters, samplerParameters;
    filterParameters = o.filterParameters;
    cameraParameters = record.parameters;
    samplerParameters = o.samplerParameters;
    // The frame being rendered now, whatever the camera record captured earlier: successive
    // frames of a sequence get different noise, the same frame the same noise on any machine.
    const int frameNumber = getOptions().frame;
    if (!samplerParameters.find("frame"))
        samplerParameters.push_back("frame", ParamType(TypeInt), &frameNumber, true);

    Filter* filter = createFilter(o.filterName, pluginPath, filterWidth, filterParameters);
    if (!filter)
        throw Error(Error::PluginLoadFailed, "Filter \"%s\" made nothing", o.filterName.c_str());
    frame.film.reset(new Film(resolution, crop, filter));
    frame.camera.reset(createCamera(o.projection, pluginPath, record.cameraTransform,
                                    frame.film.get(), cameraParameters));
    if (!frame.camera)
        throw Error(Error::PluginLoadFailed, "Camera \"%s\" made nothing", o.projection.c_str());
    // What the camera's rays never read, the sampler need not make (unless the user says).
    const int readsLens = frame.camera->readsLens(), readsTime = frame.camera->readsTime();
    if (!samplerParameters.find("lens"))
        samplerParameters.push_back("lens", ParamType(TypeInt), &readsLens, true);
    if (!samplerParameters.find("time"))
        samplerParameters.push_back("time", ParamType(TypeInt), &readsTime, true);
    frame.sampler.reset(createSampler(o.samplerName, pluginPath, resolution, samples, crop,
                                      filterWidth, samplerParameters));
    if (!frame.sampler)
        throw Error(Error::PluginLoadFailed, "Sampler \"%s\" made nothing", o.samplerName.c_str());
}

// The world primitive, built once per frame for all its cameras; an empty world still gets an
// aggregate, so that every ray finds nothing the same way.
Reference<Primitive> Raytracer::worldPrimitive(FrameWorld& world) {
    if (!world.built) {
        world.primitive = worldNode ? buildPrimitive(*worldNode) : Reference<Primitive>();
        world.built = true;
    }
    if (world.primitive) return world.primitive;
    const Options& o = getOptions();
    std::vector<Reference<Primitive>> none;
    ParameterSet parameters;
    parameters = o.acceleratorParameters;
    Reference<Primitive> empty(
        createAggregate(o.acceleratorName, o.searchPaths.plugin, "accelerator", none, parameters));
    return empty ? empty : Reference<Primitive>(new Aggregate());
}

void Raytracer::renderCamera(CameraRecord& record, FrameWorld& world) {
    const Options& o = record.options;
    const char* name = record.name.c_str();
    std::vector<OutputRecord> assigned;
    if (!checkRenderable(record, assigned)) return;
    if (stopRequested()) return;  // an interrupted run leaves earlier images as they were
    std::string pluginPath = getOptions().searchPaths.plugin;
    try {
        placeLights(record);
        FramePlugins frame;
        makeFramePlugins(record, frame);
        defineCameraSpaces(*frame.camera, record.cameraTransform);
        const Reference<Primitive> primitive = worldPrimitive(world);

        std::unique_ptr<Scene> scene(new Scene(this, frame.camera.get(), primitive.get(),
                                               frame.sampler.get(), &textures, getOptions()));
        scene->setProgressCallback(progressCallback, progressData);
        scene->setStopFlag(&stopRequest);
        scene->setErrorManager(errorManager);
        // The imager and the format it answers for are the frame's, as the camera took the
        // options: one asked for inside the world comes too late, as for every option.
        scene->pixelAspect = o.pixelAspect;
        if (o.imager) frame.film->setImager(std::make_unique<ShaderImager>(o.imager, *scene));
        // A bucket side of 1 renders by streaming samples on this thread.
        if (o.bucketSize[0] > 1 && o.bucketSize[1] > 1) {
            unsigned bucketSize[2] = {unsigned(o.bucketSize[0]), unsigned(o.bucketSize[1])};
            unsigned resolution[2] = {unsigned(o.resolution[0]), unsigned(o.resolution[1])};
            Extent2D crop = {o.crop[0], o.crop[1], o.crop[2], o.crop[3]};
            float filterWidth[2] = {o.filterWidth[0], o.filterWidth[1]};
            ParameterSet orderParameters;
            orderParameters = o.bucketOrderParameters;
            std::unique_ptr<BucketOrder> order(createBucketOrder(
                o.bucketOrderName, pluginPath, bucketSize, resolution, crop, orderParameters));
            if (order) scene->buildBuckets(*order, filterWidth);
        }

        // Every plugin is loaded by now, so the image library may load meanwhile.
        scene->openOutputs(assigned, pluginPath, name);

        const auto start = std::chrono::steady_clock::now();
        scene->render();
        const auto end = std::chrono::steady_clock::now();
        scene->closeOutputs();
        reportStatistics(std::chrono::duration<double>(end - start).count(), *scene);
        // The scene goes first: it refers to the camera, sampler and primitive.
        scene.reset();
    } catch (const Error& e) {
        errorManager->Severe("%s. Rendering aborted", e.what());
    } catch (const std::bad_alloc&) {
        errorManager->Severe("Render(\"%s\"): out of memory. Rendering aborted ...", name);
    }
}

void Raytracer::reportStatistics(double seconds, const Scene& scene) {
    const Options& top = getOptions();
    if (top.statisticsLevel <= 0) return;
    errorManager->Message("Rendering time %f\n", seconds);
    errorManager->Message("%s\n", scene.cacheStatistics().c_str());
    errorManager->Message("%s\n", OIIO::ustring::getstats(true).c_str());
    if (OIIO::TextureSystem* system = textures.get())
        errorManager->Message("%s\n", system->getstats(top.statisticsLevel, true).c_str());
}

}  // namespace ovo
