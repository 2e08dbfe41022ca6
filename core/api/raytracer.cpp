#include "core/api/raytracer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/geometry/primitive.h"

namespace ovo {

namespace {

// The bare names the renderer knows, with their declared types.
const char* const Declarations[][2] = {
    {"P", "vertex point"},
    {"Pz", "vertex float"},
    {"Pw", "vertex hpoint"},
    {"N", "linear normal"},
    {"C", "color"},
    {"opacity", "color"},
    {"s", "linear float"},
    {"t", "linear float"},
    {"st", "linear float[2]"},
    {"width", "linear float"},
    {"fov", "float"},
    {"far", "float"},
    {"near", "float"},
    {"pixelaspect", "float"},
    {"fstop", "float"},
    {"focallength", "float"},
    {"focaldistance", "float"},
    {"shadingquality", "float"},
    {"resolution", "int[2]"},
    {"spatialquality", "int[2]"},
    {"limits:bucketsize", "int[2]"},
    {"quantize", "int[4]"},
    {"screen", "float[4]"},
    {"crop", "float[4]"},
    {"transform", "matrix"},
    {"sampler", "string"},
    {"filter", "string"},
    {"projection", "string"},
    {"name", "string"},
    {"accelerator", "string"},
    {"bucketorder", "string"},
    {"frames", "string"},
    {"path:input", "string"},
    {"path:shader", "string"},
    {"path:texture", "string"},
    {"path:procedural", "string"},
    {"ray:specularbrdf", "string"},
    {"filterwidth", "float[2]"},
    {"shutter", "float[2]"},
    {"temporalquality", "int"},
    {"ray:maxdepth", "int"},
    {"ray:maxdiffusedepth", "int"},
    {"limits:texturememory", "int"},
    {"limits:texturefiles", "int"},
    {"limits:threads", "int"},
    {"texture:automipmap", "int"},
    {"statistics:level", "int"},
    {"frame", "int"},
    {"verbosity", "int"},
    {"ray:maxdepthcolor", "color"},
    {"orientation", "string"},
    {"light:shadows", "string"},
    {"trimcurve:sense", "string"},
    {"geometryset", "string"},
    {"detail:bound", "float[6]"},
    {"detail:range", "float[4]"},
    {"motion:window", "float[2]"},
    {"shading:diffuse", "string"},
    {"shading:reflections", "string"},
    {"twosided", "int"},
    {"light:nsamples", "int"},
    {"ray:shadows", "int"},
    {"ray:opaqueshadows", "int"},
    {"ray:camera", "int"},
    {"ray:diffuse", "int"},
    {"ray:reflections", "int"},
    {"occlusion:minsamples", "int"},
    {"indirect:minsamples", "int"},
    {"shadow:bias", "float"},
    {"occlusion:maxerror", "float"},
    {"occlusion:maxpixeldist", "float"},
    {"indirect:maxerror", "float"},
    {"indirect:maxpixeldist", "float"},
    {"renderer:name", "string"},
    {"renderer:versionstring", "string"},
    {"renderer:version", "int[3]"},
};

// Managers the library made for hosts that gave none; they live as long as the process.
std::vector<ErrorManager*>& madeManagers() {
    static auto* managers = new std::vector<ErrorManager*>();
    return *managers;
}

}  // namespace

RendererAPI* RendererAPI::CreateRenderer(const char* name, ErrorManager* errorManager) {
    if (name && std::strcmp(name, "raytracer") != 0) return nullptr;
    try {
        if (!errorManager) {
            errorManager = ErrorManager::Create(nullptr, 1);
            madeManagers().push_back(errorManager);
        }
        return new Raytracer(errorManager);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Raytracer::Raytracer(ErrorManager* manager) : errorManager(manager) {
    blocks.push_back(BlockNotStarted);
    inWorld = false;
    root.name = "bvh";
    fillDeclarations();
    namedSpaces[OIIO::ustring("")] = Transform::Identity;
    optionsStack.emplace_back();
    attributesStack.emplace_back();
    root.parent = nullptr;
    nodeStack.push_back(&root);
    currentNode = &root;

    const float white[3] = {1.0f, 1.0f, 1.0f};
    Attribute("color C", white);
    Attribute("color opacity", white);
    Shader("surface", "defaultsurface", nullptr);
    pending.clear();
}

Raytracer::~Raytracer() {
    // The statistics are printed whatever the verbosity, so the texture system is made for
    // them if no frame needed it.
    if (OIIO::TextureSystem* system = textures.get()) {
        std::fprintf(stdout, "%s\n", system->getstats(1, true).c_str());
        std::fflush(stdout);
    }
}

void Raytracer::fillDeclarations() {
    for (const auto& entry : Declarations) declarations[entry[0]] = ParamType(entry[1]);
}

void Raytracer::Input(Generator* generator, const float*) {
    // The renderer owns the generator from here on, whatever run does.
    std::unique_ptr<Generator> owned(generator);
    if (owned) owned->run(this, nullptr);
}

void Raytracer::Input(const char* text) { Input(text, nullptr); }

// The calls this renderer has nothing of its own to do for: comments and commands are for
// other renderers, a sphere of one radius is the full sphere, and the numeric curve forms have
// no shape behind them (curves come by basis name).
void Raytracer::Comment(const char*, ...) {}
void Raytracer::Command(const char*) {}
void Raytracer::Modify(const char*) {}
void Raytracer::Curves(int, int, int, const float*, float, float) {}
void Raytracer::Curves(int, int*, int*, const float*, float*, float*) {}
void Raytracer::Sphere(float radius) { Sphere(radius, -radius, radius, 360.0f); }

}  // namespace ovo
