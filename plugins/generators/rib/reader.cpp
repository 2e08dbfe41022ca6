// Reading files and memory, dispatching requests to their handlers, and the messages.
#include "plugins/generators/rib/reader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "plugins/generators/rib/args.h"

namespace ovo {
namespace rib {

namespace {

// Requests that a motion block may hold besides geometry (Reader::isShapeRequest): transforms
// take part in the motion, everything else is taken from the first sample.
const char* const MotionRequests[] = {
    "Translate",   "Rotate",          "Scale",   "Skew",    "ConcatTransform", "Transform",
    "Identity",    "Color",           "Opacity", "Surface", "Displacement",    "Atmosphere",
    "LightSource", "AreaLightSource",
};

// Known RIB requests OVO has no use for: a warning once per file, then skipped.
const char* const UnsupportedRequests[] = {
    "Interior",
    "Exterior",
    "MakeBump",
    "MakeOcclusion",
    "MakeBrickMap",
    "PixelVariance",
    "ColorSamples",
    "RelativeDetail",
    "ClippingPlane",
    "TextureCoordinates",
    "Procedural2",
    "Resource",
    "ResourceBegin",
    "ResourceEnd",
    "IfBegin",
    "ElseIf",
    "Else",
    "IfEnd",
    "System",
    "Camera",
    "DisplayChannel",
    "Shader",
    "PixelSampleImager",
    "Volume",
    "VolumePixelSamples",
    "Pattern",
    "Bxdf",
    "Integrator",
    "Deformation",
    "EditBegin",
    "EditEnd",
    "EditWorldBegin",
    "EditWorldEnd",
    "EditAttributeBegin",
    "EditAttributeEnd",
};

// Requests that only steer a scan-line renderer's dicing, shading or bookkeeping: nothing
// in a ray-traced picture changes, so they are noted at -v only.
const char* const QuietRequests[] = {
    "ShadingInterpolation", "GeometricApproximation", "Bound", "ArchiveRecord", "ErrorHandler",
};

}  // namespace

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

Reader::Reader(RendererAPI* target)
    : renderer(target), errors(target ? target->GetErrorManager() : nullptr) {}

Reader::~Reader() { closeObjects(); }

// ---------------------------------------------------------------------------- reading

std::string resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool Reader::readFile(const std::string& path) {
    std::string why;
    std::unique_ptr<Source> source = openFileSource(path, why);
    const bool standardInput = path == "-";
    std::string name = standardInput ? std::string("<stdin>") : path;
    if (!source) {
        if (errors) errors->Error("%s: cannot open file (%s)", name.c_str(), why.c_str());
        return false;
    }
    readNamed(*source, name, standardInput ? std::string() : folderOf(path),
              standardInput ? path : resolvedPath(path));
    return true;
}

void Reader::readNamed(Source& source, const std::string& name, const std::string& dir,
                       const std::string& key) {
    FileContext context;
    context.name = name;
    context.dir = dir;
    beingRead.push_back(key);
    readSource(source, context);
    beingRead.pop_back();
}

void Reader::readMemory(const std::string& name, const char* data, std::size_t size) {
    MemorySource source(data, size);
    FileContext context;
    context.name = name;
    context.dir = folderOf(name);
    readSource(source, context);
}

void Reader::readSource(Source& source, FileContext& context) {
    FileContext* outer = currentFile;
    currentFile = &context;
    ++archiveDepth;
    std::unique_ptr<Tokenizer> tokenizer(new Tokenizer(source));
    Parser parser(*tokenizer);
    Request request;
    Request* outerRequest = streamed;
    streamed = &request;
    while (!context.abandoned && parser.next(request)) execute(request);
    streamed = outerRequest;
    if (tokenizer->readFailed())
        report(Level::Err, tokenizer->line(), "read error: " + tokenizer->readError());
    --archiveDepth;
    currentFile = outer;
}

void Reader::report(Level level, int line, const std::string& text) {
    if (!errors || (currentFile && currentFile->abandoned)) return;
    const char* file = currentFile ? currentFile->name.c_str() : "";
    if (level == Level::Info) {
        errors->Info("%s:%d: %s", file, line, text.c_str());
        return;
    }
    if (level == Level::Warn) {
        errors->Warning("%s:%d: %s", file, line, text.c_str());
        return;
    }
    errors->Error("%s:%d: %s", file, line, text.c_str());
    if (currentFile && ++currentFile->errors >= MaxErrorsPerFile && !currentFile->abandoned) {
        currentFile->abandoned = true;
        errors->Error("too many errors in %s; giving up", file);
    }
}

void Reader::fail(const Request& request, const std::string& why) {
    if (request.name.empty())
        report(Level::Err, request.line, why);
    else
        report(Level::Err, request.line, request.name + ": " + why + ". Skipping ...");
}

void Reader::warn(const Request& request, const std::string& text) {
    report(Level::Warn, request.line, text);
}

void Reader::warnOnce(const Request& request, const std::string& key, const std::string& text) {
    // Keyed by file name too, so an archive read many times warns once.
    if (warned.insert(fileName() + '\n' + key).second) warn(request, text);
}

void Reader::noteOnce(const Request& request, const std::string& key, const std::string& text) {
    if (warned.insert(fileName() + "\nnote:" + key).second) report(Level::Info, request.line, text);
}

void Reader::execute(const Request& request) {
    if (recordingDepth > 0) {
        // Inside ArchiveBegin: keep the requests for ReadArchive, nested archives included.
        if (!request.error.empty()) {
            fail(request, request.error);
            return;
        }
        if (request.name == "ArchiveBegin") ++recordingDepth;
        if (request.name == "ArchiveEnd" && --recordingDepth == 0) {
            archives[recordingName] = std::move(recording);
            recording = Archive();
            return;
        }
        recording.requests.push_back(request);
        return;
    }
    if (!request.error.empty()) {
        fail(request, request.error);
        return;
    }
    if (implicitGroup && request.name != "ShaderLayer" && request.name != "ConnectShaderLayers")
        closeImplicitGroup();
    if (motionBlock.active && request.name != "MotionEnd") {
        bool held = isShapeRequest(request.name);
        for (const char* name : MotionRequests) held = held || request.name == name;
        if (held) {
            motionBlock.requests.push_back(request);
            return;
        }
        if (findHandler(request.name) && request.name != "version" &&
            request.name != "MotionBegin") {
            fail(request, "not allowed inside a motion block");
            return;
        }
    }
    dispatch(request);
}

// Long only because it is the table of every request and its handler.
Reader::Handler Reader::findHandler(const std::string& name) {
    struct Entry {
        const char* name;
        Handler handler;
    };
    static const Entry Requests[] = {
        {"version", &Reader::doVersion},
        {"Declare", &Reader::doDeclare},
        {"Option", &Reader::doOption},
        {"Attribute", &Reader::doAttribute},
        {"FrameBegin", &Reader::doFrameBegin},
        {"FrameEnd", &Reader::doFrameEnd},
        {"WorldBegin", &Reader::doWorldBegin},
        {"WorldEnd", &Reader::doWorldEnd},
        {"AttributeBegin", &Reader::doAttributeBegin},
        {"AttributeEnd", &Reader::doAttributeEnd},
        {"TransformBegin", &Reader::doTransformBegin},
        {"TransformEnd", &Reader::doTransformEnd},
        {"SolidBegin", &Reader::doSolidBegin},
        {"SolidEnd", &Reader::doSolidEnd},
        {"ObjectBegin", &Reader::doObjectBegin},
        {"ObjectEnd", &Reader::doObjectEnd},
        {"ObjectInstance", &Reader::doObjectInstance},
        {"MotionBegin", &Reader::doMotionBegin},
        {"MotionEnd", &Reader::doMotionEnd},
        {"ReadArchive", &Reader::doReadArchive},
        {"Procedural", &Reader::doProcedural},
        {"ArchiveBegin", &Reader::doArchiveBegin},
        {"ArchiveEnd", &Reader::doArchiveEnd},
        {"ShaderGroupBegin", &Reader::doShaderGroupBegin},
        {"ShaderGroupEnd", &Reader::doShaderGroupEnd},
        {"Format", &Reader::doFormat},
        {"FrameAspectRatio", &Reader::doFrameAspectRatio},
        {"ScreenWindow", &Reader::doScreenWindow},
        {"CropWindow", &Reader::doCropWindow},
        {"Projection", &Reader::doProjection},
        {"Clipping", &Reader::doClipping},
        {"DepthOfField", &Reader::doDepthOfField},
        {"Shutter", &Reader::doShutter},
        {"PixelSamples", &Reader::doPixelSamples},
        {"PixelFilter", &Reader::doPixelFilter},
        {"Exposure", &Reader::doExposure},
        {"Quantize", &Reader::doQuantize},
        {"Display", &Reader::doDisplay},
        {"Hider", &Reader::doHider},
        {"Color", &Reader::doColor},
        {"Opacity", &Reader::doOpacity},
        {"Sides", &Reader::doSides},
        {"Detail", &Reader::doDetail},
        {"DetailRange", &Reader::doDetailRange},
        {"Orientation", &Reader::doOrientation},
        {"ReverseOrientation", &Reader::doReverseOrientation},
        {"Matte", &Reader::doMatte},
        {"ShadingRate", &Reader::doShadingRate},
        {"Basis", &Reader::doBasis},
        {"Identity", &Reader::doIdentity},
        {"Transform", &Reader::doTransform},
        {"ConcatTransform", &Reader::doConcatTransform},
        {"Translate", &Reader::doTranslate},
        {"Rotate", &Reader::doRotate},
        {"Scale", &Reader::doScale},
        {"Skew", &Reader::doSkew},
        {"Perspective", &Reader::doPerspective},
        {"CoordinateSystem", &Reader::doCoordinateSystem},
        {"ScopedCoordinateSystem", &Reader::doCoordinateSystem},
        {"CoordSysTransform", &Reader::doCoordSysTransform},
        {"Surface", &Reader::doSurface},
        {"Displacement", &Reader::doDisplacement},
        {"Atmosphere", &Reader::doAtmosphere},
        {"Imager", &Reader::doImager},
        {"LightSource", &Reader::doLightSource},
        {"AreaLightSource", &Reader::doAreaLightSource},
        {"Illuminate", &Reader::doIlluminate},
        {"ShaderLayer", &Reader::doShaderLayer},
        {"ConnectShaderLayers", &Reader::doConnectShaderLayers},
        {"Sphere", &Reader::doSphere},
        {"Cone", &Reader::doCone},
        {"Cylinder", &Reader::doCylinder},
        {"Disk", &Reader::doDisk},
        {"Hyperboloid", &Reader::doHyperboloid},
        {"Paraboloid", &Reader::doParaboloid},
        {"Torus", &Reader::doTorus},
        {"Polygon", &Reader::doPolygon},
        {"GeneralPolygon", &Reader::doGeneralPolygon},
        {"PointsPolygons", &Reader::doPointsPolygons},
        {"PointsGeneralPolygons", &Reader::doPointsGeneralPolygons},
        {"SubdivisionMesh", &Reader::doSubdivisionMesh},
        {"Patch", &Reader::doPatch},
        {"PatchMesh", &Reader::doPatchMesh},
        {"NuPatch", &Reader::doNuPatch},
        {"TrimCurve", &Reader::doTrimCurve},
        {"Curves", &Reader::doCurves},
        {"Points", &Reader::doPoints},
        {"Blobby", &Reader::doBlobby},
        {"Geometry", &Reader::doGeometry},
        {"MakeTexture", &Reader::doMakeTexture},
        {"MakeLatLongEnvironment", &Reader::doMakeLatLongEnvironment},
        {"MakeCubeFaceEnvironment", &Reader::doMakeCubeFaceEnvironment},
        {"MakeShadow", &Reader::doMakeShadow},
    };
    // Every request of a file is looked up here: by hash, not along the table.
    static const std::unordered_map<std::string_view, Handler> byName = [] {
        std::unordered_map<std::string_view, Handler> m;
        for (const Entry& e : Requests) m.emplace(e.name, e.handler);
        return m;
    }();
    const auto found = byName.find(name);
    return found == byName.end() ? nullptr : found->second;
}

void Reader::releaseValues(const Request& request) {
    if (&request == streamed) std::vector<Value>().swap(streamed->args);
}

void Reader::dispatch(const Request& request) {
    if (Handler handler = findHandler(request.name)) {
        (this->*handler)(request);
        return;
    }
    for (const char* name : QuietRequests) {
        if (request.name == name) {
            noteOnce(request, request.name,
                     request.name + " changes nothing in a ray tracer. Ignoring ...");
            return;
        }
    }
    for (const char* name : UnsupportedRequests) {
        if (request.name == name) {
            warnOnce(request, request.name, request.name + " is not supported. Ignoring ...");
            return;
        }
    }
    report(Level::Err, request.line, "unknown request \"" + request.name + "\". Skipping ...");
}

void Reader::doVersion(const Request& request) {
    Args a(request);
    double v;
    if (!a.number(v) || !a.end()) fail(request, a.error());
}

void Reader::doDeclare(const Request& request) {
    Args a(request);
    std::string name, decl;
    if (!a.string(name) || !a.string(decl) || !a.end()) return fail(request, a.error());
    if (!decls.declare(name, decl))
        fail(request, "bad declaration \"" + decl + "\" for \"" + name + "\"");
}

}  // namespace rib
}  // namespace ovo
