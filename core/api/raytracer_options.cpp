// Options: the frame-level settings that Attribute() calls reach by name.
#include <OpenImageIO/ustring.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/api/raytracer.h"
#include "core/plugins/search_path.h"
#include "sys/tasking.h"

namespace ovo {

namespace {

inline bool is(const char* name, const char* word) { return std::strcmp(name, word) == 0; }

// The search paths that options set, with the folder below $OVO_HOME that "@" stands for.
const struct {
    const char* name;
    const char* suffix;
    std::string SearchPaths::*field;
} PathOptions[] = {
    {"path:input", "/inputs", &SearchPaths::input},
    {"path:shader", "/shaders", &SearchPaths::shader},
    {"path:texture", "/textures", &SearchPaths::texture},
    {"path:procedural", "/plugins", &SearchPaths::procedural},
};

float* floatField(Options& o, const char* name) {
    if (is(name, "fov")) return &o.fov;
    if (is(name, "near")) return &o.nearClip;
    if (is(name, "far")) return &o.farClip;
    if (is(name, "fstop")) return &o.fStop;
    if (is(name, "focallength")) return &o.focalLength;
    if (is(name, "focaldistance")) return &o.focalDistance;
    if (is(name, "pixelaspect")) return &o.pixelAspect;
    return nullptr;
}

int* intField(Options& o, const char* name) {
    if (is(name, "ray:maxdepth")) return &o.maxRayDepth;
    if (is(name, "ray:maxdiffusedepth")) return &o.maxDiffuseDepth;
    if (is(name, "limits:texturememory")) return &o.textureMemory;
    if (is(name, "limits:texturefiles")) return &o.textureFiles;
    if (is(name, "statistics:level")) return &o.statisticsLevel;
    if (is(name, "frame")) return &o.frame;
    return nullptr;
}

std::string* stringField(Options& o, const char* name) {
    if (is(name, "projection")) return &o.projection;
    if (is(name, "filter")) return &o.filterName;
    if (is(name, "sampler")) return &o.samplerName;
    if (is(name, "accelerator")) return &o.acceleratorName;
    if (is(name, "bucketorder")) return &o.bucketOrderName;
    if (is(name, "frames")) return &o.frames;
    return nullptr;
}

}  // namespace

bool Raytracer::applyOption(const char* name, int value) {
    Options& o = getOptions();
    if (int* field = intField(o, name)) {
        *field = value;
    } else if (is(name, "temporalquality")) {
        // Enough samples per pixel side for value samples in time.
        const int side = value > 0 ? int(std::sqrt(double(value)) + 0.5) : 0;
        o.pixelSamples[0] = std::max(o.pixelSamples[0], side);
        o.pixelSamples[1] = std::max(o.pixelSamples[1], side);
    } else if (is(name, "texture:automipmap")) {
        o.autoMipmap = value != 0;
    } else if (is(name, "limits:threads")) {
        o.threads = std::min(std::max(value, -1), sys::getNumberOfLogicalThreads());
        sys::TaskScheduler::init(o.threads);
    } else if (is(name, "verbosity")) {
        errorManager->Verbosity(value);
    } else {
        return false;
    }
    return true;
}

bool Raytracer::applyOption(const char* name, float value) {
    Options& o = getOptions();
    if (float* field = floatField(o, name)) {
        *field = value;
        if (field == &o.pixelAspect) o.updateFrameAspect();
        return true;
    }
    return is(name, "shadingquality");  // accepted, without effect
}

bool Raytracer::applyOption(const char* name, const char* value) {
    Options& o = getOptions();
    if (std::string* field = stringField(o, name)) {
        *field = value;
        return true;
    }
    for (const auto& option : PathOptions) {
        if (is(name, option.name)) {
            std::string& path = o.searchPaths.*option.field;
            path = expandSearchPath(value, path, homeDirectory(option.suffix));
            return true;
        }
    }
    if (is(name, "ray:specularbrdf")) {
        if (is(value, "default")) {
            o.specularModel = SpecularDefault;
        } else if (is(value, "bmrt")) {
            o.specularModel = SpecularBmrt;
        } else if (is(value, "torrance")) {
            o.specularModel = SpecularTorrance;
        } else {
            errorManager->Warning(
                "Valid arguments for \"ray:specularbrdf\" are \"default/bmrt/torrance\"."
                "Received \"%s\". Skipping ...",
                value);
        }
        return true;
    }
    return is(name, "name");  // accepted, without effect
}

bool Raytracer::applyOption(const char* name, const int* value) {
    Options& o = getOptions();
    if (is(name, "resolution")) {
        o.resolution[0] = value[0];
        o.resolution[1] = value[1];
        o.updateFrameAspect();
    } else if (is(name, "spatialquality")) {
        o.pixelSamples[0] = value[0];
        o.pixelSamples[1] = value[1];
    } else if (is(name, "limits:bucketsize")) {
        o.bucketSize[0] = value[0];
        o.bucketSize[1] = value[1];
    } else if (is(name, "quantize")) {
        std::copy(value, value + 4, o.outputDefaults.quantize);
    } else {
        return false;
    }
    return true;
}

bool Raytracer::applyOption(const char* name, const float* value) {
    Options& o = getOptions();
    if (floatField(o, name) || is(name, "shadingquality")) return applyOption(name, value[0]);
    if (is(name, "filterwidth")) {
        o.filterWidth[0] = value[0];
        o.filterWidth[1] = value[1];
    } else if (is(name, "shutter")) {
        o.shutter[0] = value[0];
        o.shutter[1] = value[1];
    } else if (is(name, "crop")) {
        // An empty or inverted window is ignored.
        if (value[1] > value[0] && value[3] > value[2]) std::copy(value, value + 4, o.crop);
    } else if (is(name, "screen")) {
        std::copy(value, value + 4, o.screen);
        o.screenAutomatic = false;
    } else if (is(name, "ray:maxdepthcolor")) {
        o.maxDepthColor = Color(value[0], value[1], value[2]);
    } else {
        return false;
    }
    return true;
}

bool Raytracer::readOption(const char* name, const char*& value) const {
    const Options& o = getOptions();
    const std::string* text = nullptr;
    if (is(name, "path:input")) {
        text = &o.searchPaths.input;
    } else if (is(name, "path:shader")) {
        text = &o.searchPaths.shader;
    } else if (is(name, "path:texture")) {
        text = &o.searchPaths.texture;
    } else if (is(name, "path:procedural")) {
        text = &o.searchPaths.procedural;
    } else if (is(name, "frames")) {
        text = &o.frames;
    } else if (is(name, "renderer:name")) {
        value = "OVO";
        return true;
    } else if (is(name, "renderer:versionstring")) {
        value = OVO_VERSION_STRING;
        return true;
    } else {
        return false;
    }
    // Interned, so the host's pointer stays valid when the option changes later.
    value = OIIO::ustring(*text).c_str();
    return true;
}

bool Raytracer::readOption(const char* name, float& value) const {
    if (!is(name, "fov")) return false;
    value = getOptions().fov;
    return true;
}

bool Raytracer::readOption(const char* name, float* value) const {
    if (is(name, "screen")) {
        std::copy(getOptions().screen, getOptions().screen + 4, value);
        return true;
    }
    if (is(name, "transform")) {
        // The host's row-vector order: element 4r + c is our [c][r].
        const Matrix& m = getCurrentTransform().m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) value[4 * r + c] = m.m[c][r];
        return true;
    }
    return false;
}

bool Raytracer::readOption(const char* name, int* value) const {
    // Procedurals are told the image's area as their detail.
    if (is(name, "resolution")) {
        value[0] = getOptions().resolution[0];
        value[1] = getOptions().resolution[1];
        return true;
    }
    if (!is(name, "renderer:version")) return false;
    value[0] = OVO_VERSION_MAJOR;
    value[1] = OVO_VERSION_MINOR;
    value[2] = OVO_VERSION_PATCH;
    return true;
}

}  // namespace ovo
