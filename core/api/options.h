// Options: everything fixed for a whole frame. The renderer keeps a stack of them; Camera()
// captures the current one, World() pushes a copy and Render() hands the top one over.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/base/reference.h"
#include "core/math/tuple.h"
#include "core/params/parameter.h"
#include "core/render/output.h"
#include "core/render/ray_settings.h"

namespace ovo {

class Light;
class Primitive;
class Shader;

// Colon-separated lists of directories.
struct SearchPaths {
    SearchPaths();           // the defaults, with the home folders appended (installation.h)
    std::string input;       // ".:./inputs"     + ":$OVO_HOME/inputs"
    std::string plugin;      // ".:./plugins"    + ":$OVO_HOME/plugins"
    std::string shader;      // ".:./shaders"    + ":$OVO_HOME/shaders"
    std::string texture;     // ".:./textures"   + ":$OVO_HOME/textures"
    std::string procedural;  // "."              + ":$OVO_HOME/plugins"
};

struct Options : RaySettings {
    // Out of line: the maps hold references to types this header only declares.
    Options();
    Options(const Options& other);
    Options& operator=(const Options& other);
    ~Options();

    // The frame aspect from the resolution and pixel aspect, and with it the screen window
    // while the scene has not set one.
    void updateFrameAspect();

    // Image and camera.
    std::string projection = "perspective";
    float fov = 90.0f;
    int resolution[2] = {640, 480};
    float crop[4] = {0.0f, 1.0f, 0.0f, 1.0f};  // xmin, xmax, ymin, ymax
    float screen[4] = {-4.0f / 3.0f, 4.0f / 3.0f, -1.0f, 1.0f};
    bool screenAutomatic = true;
    float pixelAspect = 1.0f;
    float frameAspect = 4.0f / 3.0f;
    float nearClip = 0.1f;
    float farClip = 1000000.0f;
    float shutter[2] = {0.0f, 0.0f};
    float focalDistance = 1e30f;
    float fStop = 1e30f;
    float focalLength = 0.0f;

    // Plugins and sampling.
    std::string filterName = "gaussian";
    float filterWidth[2] = {2.0f, 2.0f};
    ParameterSet filterParameters;
    std::string bucketOrderName = "horizontal";
    ParameterSet bucketOrderParameters;
    int bucketSize[2] = {32, 32};
    std::string samplerName = "stratified";
    int pixelSamples[2] = {2, 2};
    ParameterSet samplerParameters;
    std::string integratorName = "whitted";
    ParameterSet integratorParameters;
    std::string acceleratorName = "bvh";
    ParameterSet acceleratorParameters;
    std::string imagerName = "null";  // "null" means none
    Reference<Shader> imager;
    ParameterSet imagerParameters;

    OutputRecord outputDefaults;  // the template every Output() record starts from
    SearchPaths searchPaths;

    // Resources. The ray-tracing settings come from RaySettings.
    int threads = -1;
    std::string frames;
    int frame = 0;  // the frame number, mixed into the sampler's per-pixel seeds
    int statisticsLevel = 0;
    bool autoMipmap = true;
    int textureMemory = 256;
    int textureFiles = 100;

    // Copied with the record on PushOptions, restored on PopOptions.
    std::map<std::string, Reference<Light>> lights;       // light handle -> light
    std::vector<Reference<Light>> lightsOutsideWorld;     // declared before World()
    std::map<std::string, Reference<Primitive>> objects;  // object name -> object
};

}  // namespace ovo
