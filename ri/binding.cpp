// The binding's state and its calls for frames, options, attributes, transforms and shaders.
// It keeps one current context, the renderer RiBegin made or the reader a procedural runs in,
// and forwards each call to it as the scene format's request of the same name.
#include <OpenImageIO/errorhandler.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

#include "core/api/renderer_api.h"
#include "core/base/error.h"
#include "core/plugins/factory.h"
#include "core/plugins/installation.h"
#include "ri/call.h"

namespace ovo {
namespace ri {
namespace {

// Per thread: two readers running objects on two threads each keep their own.
thread_local Context* current = nullptr;
RtErrorHandler userHandler = RiErrorPrint;
long long handles = 0;  // light and object handles given out

// The host's frame: what RiBegin made.
struct Host {
    ErrorManager* errors = nullptr;
    RendererAPI* renderer = nullptr;
    Context* context = nullptr;
    std::unique_ptr<ContextScope> scope;
    ~Host() {
        scope.reset();
        delete context;
        delete renderer;
        delete errors;
    }
};
std::unique_ptr<Host> host;

// Messages of the host's renderer reach the handler the caller chose.
class HandlerBridge : public OIIO::ErrorHandler {
  public:
    void operator()(int code, const std::string& message) override {
        const int severity = code == EH_WARNING  ? RIE_WARNING
                             : code == EH_ERROR  ? RIE_ERROR
                             : code == EH_SEVERE ? RIE_SEVERE
                                                 : RIE_INFO;
        userHandler(code, severity, message.c_str());
    }
};
HandlerBridge bridge;

void installHandler() {
    if (host) host->errors->Handler(userHandler == RiErrorPrint ? nullptr : &bridge);
}

// The handle a light or object gets: a name no scene file uses for its own numbers.
std::string handleName(RtPointer handle) {
    return "ri:" + std::to_string(reinterpret_cast<std::intptr_t>(handle));
}

RtPointer newHandle() { return reinterpret_cast<RtPointer>(static_cast<std::intptr_t>(++handles)); }

}  // namespace

Context* currentContext() { return current; }

ContextScope::ContextScope(Context* context) : outer(current) { current = context; }
ContextScope::~ContextScope() { current = outer; }

void complain(const char* call, const std::string& why) {
    ErrorManager* errors = current ? current->errors() : nullptr;
    if (errors)
        errors->Error("%s: %s", call, why.c_str());
    else
        userHandler(0, RIE_ERROR, (std::string(call) + ": " + why).c_str());
}

long long total(const RtInt* counts, RtInt n) {
    long long sum = 0;
    for (RtInt i = 0; i < n; ++i) {
        if (counts[i] < 0) return -1;
        sum += counts[i];
    }
    return sum;
}

void ParamList::collect(va_list list) {
    while (RtToken token = va_arg(list, RtToken)) {
        tokens.push_back(token);
        values.push_back(va_arg(list, RtPointer));
    }
}

Call& Call::number(double v) {
    Arg a;
    a.numbers.push_back(v);
    args.push_back(std::move(a));
    return *this;
}

Call& Call::integer(int v) {
    number(v);
    args.back().integers = true;
    return *this;
}

Call& Call::numbers(const float* v, std::size_t n) {
    Arg a;
    a.kind = Arg::Numbers;
    if (v) a.numbers.assign(v, v + n);
    args.push_back(std::move(a));
    return *this;
}

Call& Call::integers(const int* v, std::size_t n) {
    Arg a;
    a.kind = Arg::Numbers;
    a.integers = true;
    if (v) a.numbers.assign(v, v + n);
    args.push_back(std::move(a));
    return *this;
}

Call& Call::string(const char* s) {
    Arg a;
    a.kind = Arg::String;
    a.strings.push_back(s ? s : "");
    args.push_back(std::move(a));
    return *this;
}

Call& Call::strings(const char* const* s, std::size_t n) {
    Arg a;
    a.kind = Arg::Strings;
    for (std::size_t i = 0; s && i < n; ++i) a.strings.push_back(s[i] ? s[i] : "");
    args.push_back(std::move(a));
    return *this;
}

Call& Call::params(RtInt n, const RtToken tokens[], const RtPointer values[],
                   std::size_t positions) {
    for (RtInt i = 0; i < n && tokens && values; ++i) {
        if (!tokens[i]) break;
        string(tokens[i]);
        const std::string token = tokens[i];
        if (positions > 0 && values[i] && (token == "P" || token == "Pw")) {
            numbers(static_cast<const float*>(values[i]), positions * (token == "P" ? 3 : 4));
            continue;
        }
        Arg a;
        a.kind = Arg::Values;
        a.values = values[i];
        args.push_back(std::move(a));
    }
    return *this;
}

void Call::send() {
    if (!current) return complain(name, "no frame is open (call RiBegin first)");
    current->request(name, args);
}

}  // namespace ri
}  // namespace ovo

using ovo::ri::Call;

extern "C" {

// ---------------------------------------------------------------------------- tokens

RtToken RI_FRAMEBUFFER = "framebuffer", RI_FILE = "file";
RtToken RI_RGB = "rgb", RI_RGBA = "rgba", RI_RGBZ = "rgbz", RI_RGBAZ = "rgbaz", RI_A = "a",
        RI_Z = "z", RI_AZ = "az";
RtToken RI_PERSPECTIVE = "perspective", RI_ORTHOGRAPHIC = "orthographic";
RtToken RI_HIDDEN = "hidden", RI_PAINT = "paint";
RtToken RI_CONSTANT = "constant", RI_SMOOTH = "smooth";
RtToken RI_FLATNESS = "flatness", RI_FOV = "fov";
RtToken RI_AMBIENTLIGHT = "ambientlight", RI_POINTLIGHT = "pointlight",
        RI_DISTANTLIGHT = "distantlight", RI_SPOTLIGHT = "spotlight";
RtToken RI_INTENSITY = "intensity", RI_LIGHTCOLOR = "lightcolor", RI_FROM = "from", RI_TO = "to",
        RI_CONEANGLE = "coneangle", RI_CONEDELTAANGLE = "conedeltaangle",
        RI_BEAMDISTRIBUTION = "beamdistribution";
RtToken RI_MATTE = "matte", RI_METAL = "metal", RI_SHINYMETAL = "shinymetal",
        RI_PLASTIC = "plastic", RI_PAINTEDPLASTIC = "paintedplastic";
RtToken RI_KA = "Ka", RI_KD = "Kd", RI_KS = "Ks", RI_ROUGHNESS = "roughness", RI_KR = "Kr",
        RI_TEXTURENAME = "texturename", RI_SPECULARCOLOR = "specularcolor";
RtToken RI_DEPTHCUE = "depthcue", RI_FOG = "fog", RI_BUMPY = "bumpy";
RtToken RI_MINDISTANCE = "mindistance", RI_MAXDISTANCE = "maxdistance",
        RI_BACKGROUND = "background", RI_DISTANCE = "distance", RI_AMPLITUDE = "amplitude";
RtToken RI_INSIDE = "inside", RI_OUTSIDE = "outside", RI_LH = "lh", RI_RH = "rh";
RtToken RI_P = "P", RI_PZ = "Pz", RI_PW = "Pw", RI_N = "N", RI_NP = "Np", RI_CS = "Cs",
        RI_OS = "Os", RI_S = "s", RI_T = "t", RI_ST = "st";
RtToken RI_BILINEAR = "bilinear", RI_BICUBIC = "bicubic";
RtToken RI_LINEAR = "linear", RI_CUBIC = "cubic";
RtToken RI_PRIMITIVE = "primitive", RI_INTERSECTION = "intersection", RI_UNION = "union",
        RI_DIFFERENCE = "difference";
RtToken RI_PERIODIC = "periodic", RI_NONPERIODIC = "nonperiodic", RI_CLAMP = "clamp",
        RI_BLACK = "black";
RtToken RI_WIDTH = "width", RI_CONSTANTWIDTH = "constantwidth";
RtToken RI_CATMULLCLARK = "catmull-clark", RI_HOLE = "hole", RI_CREASE = "crease",
        RI_CORNER = "corner", RI_INTERPOLATEBOUNDARY = "interpolateboundary";
RtToken RI_WORLD = "world", RI_OBJECT = "object", RI_CAMERA = "camera", RI_SCREEN = "screen",
        RI_RASTER = "raster", RI_NDC = "NDC";

// ---------------------------------------------------------------------------- errors

RtVoid RiErrorIgnore(RtInt, RtInt, const char*) {}

RtVoid RiErrorPrint(RtInt, RtInt, const char* message) { std::fprintf(stderr, "%s\n", message); }

RtVoid RiErrorAbort(RtInt, RtInt severity, const char* message) {
    std::fprintf(stderr, "%s\n", message);
    if (severity >= RIE_ERROR) std::exit(1);
}

RtVoid RiErrorHandler(RtErrorHandler handler) {
    ovo::ri::userHandler = handler ? handler : RiErrorPrint;
    ovo::ri::installHandler();
}

// ---------------------------------------------------------------------------- contexts

RtVoid RiBegin(RtToken name) {
    using namespace ovo;
    if (ri::host) return ri::complain("RiBegin", "a frame is already open (call RiEnd first)");
    std::unique_ptr<ri::Host> made(new ri::Host);
    made->errors = ErrorManager::Create(nullptr, 1);
    made->renderer = RendererAPI::CreateRenderer("raytracer", made->errors);
    if (name && *name)
        made->errors->Warning("RiBegin: \"%s\": the binding renders; it writes no scene file",
                              name);
    try {
        made->context = findPluginEntry<OvoCreateRiContextEntry>(
            "rib", homeFolder("/plugins"), "generator", "ovoCreateRiContext")(made->renderer);
    } catch (const Error& e) {
        made->errors->Error("RiBegin: %s", e.what());
        return;
    }
    made->scope.reset(new ri::ContextScope(made->context));
    ri::host = std::move(made);
    ri::installHandler();
}

RtVoid RiEnd(void) {
    if (!ovo::ri::host) return ovo::ri::complain("RiEnd", "no frame is open");
    ovo::ri::host->context->finish();
    ovo::ri::host.reset();
}

RtVoid RiFrameBegin(RtInt frame) { Call("FrameBegin").integer(frame).send(); }
RtVoid RiFrameEnd(void) { Call("FrameEnd").send(); }
RtVoid RiWorldBegin(void) { Call("WorldBegin").send(); }
RtVoid RiWorldEnd(void) { Call("WorldEnd").send(); }
RtVoid RiAttributeBegin(void) { Call("AttributeBegin").send(); }
RtVoid RiAttributeEnd(void) { Call("AttributeEnd").send(); }
RtVoid RiTransformBegin(void) { Call("TransformBegin").send(); }
RtVoid RiTransformEnd(void) { Call("TransformEnd").send(); }
RtVoid RiSolidBegin(RtToken operation) { Call("SolidBegin").string(operation).send(); }
RtVoid RiSolidEnd(void) { Call("SolidEnd").send(); }

RtObjectHandle RiObjectBegin(void) {
    RtPointer handle = ovo::ri::newHandle();
    Call("ObjectBegin").string(ovo::ri::handleName(handle).c_str()).send();
    return handle;
}

RtVoid RiObjectEnd(void) { Call("ObjectEnd").send(); }

RtVoid RiObjectInstance(RtObjectHandle handle) {
    Call("ObjectInstance").string(ovo::ri::handleName(handle).c_str()).send();
}

RtVoid RiMotionBeginV(RtInt n, RtFloat times[]) {
    if (n < 0) return ovo::ri::complain("RiMotionBegin", "negative count");
    Call("MotionBegin").numbers(times, std::size_t(n)).send();
}

RtVoid RiMotionBegin(RtInt n, ...) {
    std::vector<RtFloat> times;
    va_list ap;
    va_start(ap, n);
    for (RtInt i = 0; i < n; ++i) times.push_back(RtFloat(va_arg(ap, double)));
    va_end(ap);
    RiMotionBeginV(n, times.data());
}

RtVoid RiMotionEnd(void) { Call("MotionEnd").send(); }

RtToken RiDeclare(RtString name, RtString declaration) {
    if (!name) return RI_NULL;
    Call("Declare").string(name).string(declaration).send();
    // The token stays valid for the life of the process, as callers keep it.
    static std::set<std::string>* names = new std::set<std::string>();
    return names->insert(name).first->c_str();
}

// ---------------------------------------------------------------------------- camera, image

RtVoid RiFormat(RtInt xresolution, RtInt yresolution, RtFloat pixelaspect) {
    Call("Format").integer(xresolution).integer(yresolution).number(pixelaspect).send();
}

RtVoid RiFrameAspectRatio(RtFloat ratio) { Call("FrameAspectRatio").number(ratio).send(); }

RtVoid RiScreenWindow(RtFloat left, RtFloat right, RtFloat bottom, RtFloat top) {
    Call("ScreenWindow").number(left).number(right).number(bottom).number(top).send();
}

RtVoid RiCropWindow(RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax) {
    Call("CropWindow").number(xmin).number(xmax).number(ymin).number(ymax).send();
}

RtVoid RiProjectionV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Projection").string(name).params(n, tokens, values).send();
}

RtVoid RiProjection(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiProjectionV(name, list.size(), list.t(), list.v());
}

RtVoid RiClipping(RtFloat nearplane, RtFloat farplane) {
    Call("Clipping").number(nearplane).number(farplane).send();
}

RtVoid RiDepthOfField(RtFloat fstop, RtFloat focallength, RtFloat focaldistance) {
    Call("DepthOfField").number(fstop).number(focallength).number(focaldistance).send();
}

RtVoid RiShutter(RtFloat opentime, RtFloat closetime) {
    Call("Shutter").number(opentime).number(closetime).send();
}

RtVoid RiPixelSamples(RtFloat xsamples, RtFloat ysamples) {
    Call("PixelSamples").number(xsamples).number(ysamples).send();
}

RtVoid RiPixelFilter(RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth) {
    const char* name = ovo::ri::filterName(filter);
    if (!name) return ovo::ri::complain("RiPixelFilter", "only the standard filters are known");
    Call("PixelFilter").string(name).number(xwidth).number(ywidth).send();
}

RtVoid RiExposure(RtFloat gain, RtFloat gamma) {
    Call("Exposure").number(gain).number(gamma).send();
}

RtVoid RiQuantize(RtToken type, RtInt one, RtInt min, RtInt max, RtFloat ditheramplitude) {
    Call("Quantize")
        .string(type)
        .integer(one)
        .integer(min)
        .integer(max)
        .number(ditheramplitude)
        .send();
}

RtVoid RiDisplayV(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[],
                  RtPointer values[]) {
    Call("Display").string(name).string(type).string(mode).params(n, tokens, values).send();
}

RtVoid RiDisplay(RtToken name, RtToken type, RtToken mode, ...) {
    OVO_RI_PARAMS(mode);
    RiDisplayV(name, type, mode, list.size(), list.t(), list.v());
}

RtVoid RiHiderV(RtToken type, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Hider").string(type).params(n, tokens, values).send();
}

RtVoid RiHider(RtToken type, ...) {
    OVO_RI_PARAMS(type);
    RiHiderV(type, list.size(), list.t(), list.v());
}

RtVoid RiOptionV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Option").string(name).params(n, tokens, values).send();
}

RtVoid RiOption(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiOptionV(name, list.size(), list.t(), list.v());
}

// ---------------------------------------------------------------------------- attributes

RtVoid RiAttributeV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Attribute").string(name).params(n, tokens, values).send();
}

RtVoid RiAttribute(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiAttributeV(name, list.size(), list.t(), list.v());
}

RtVoid RiColor(RtColor color) { Call("Color").numbers(color, 3).send(); }
RtVoid RiOpacity(RtColor opacity) { Call("Opacity").numbers(opacity, 3).send(); }
RtVoid RiSides(RtInt sides) { Call("Sides").integer(sides).send(); }
RtVoid RiOrientation(RtToken orientation) { Call("Orientation").string(orientation).send(); }
RtVoid RiReverseOrientation(void) { Call("ReverseOrientation").send(); }
RtVoid RiMatte(RtBoolean onoff) { Call("Matte").integer(onoff).send(); }
RtVoid RiShadingRate(RtFloat size) { Call("ShadingRate").number(size).send(); }

RtVoid RiBasis(RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep) {
    const RtFloat* bases[2] = {&ubasis[0][0], &vbasis[0][0]};
    const RtInt steps[2] = {ustep, vstep};
    Call call("Basis");
    for (int i = 0; i < 2; ++i) {
        if (const char* name = ovo::ri::basisName(bases[i]))
            call.string(name);
        else
            call.numbers(bases[i], 16);
        call.integer(steps[i]);
    }
    call.send();
}

// ---------------------------------------------------------------------------- transforms

RtVoid RiIdentity(void) { Call("Identity").send(); }
RtVoid RiTransform(RtMatrix transform) { Call("Transform").numbers(&transform[0][0], 16).send(); }

RtVoid RiConcatTransform(RtMatrix transform) {
    Call("ConcatTransform").numbers(&transform[0][0], 16).send();
}

RtVoid RiPerspective(RtFloat fov) { Call("Perspective").number(fov).send(); }

RtVoid RiTranslate(RtFloat dx, RtFloat dy, RtFloat dz) {
    Call("Translate").number(dx).number(dy).number(dz).send();
}

RtVoid RiRotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz) {
    Call("Rotate").number(angle).number(dx).number(dy).number(dz).send();
}

RtVoid RiScale(RtFloat sx, RtFloat sy, RtFloat sz) {
    Call("Scale").number(sx).number(sy).number(sz).send();
}

RtVoid RiCoordinateSystem(RtToken space) { Call("CoordinateSystem").string(space).send(); }

// ---------------------------------------------------------------------------- shaders, lights

RtVoid RiSurfaceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Surface").string(name).params(n, tokens, values).send();
}

RtVoid RiSurface(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiSurfaceV(name, list.size(), list.t(), list.v());
}

RtVoid RiDisplacementV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Displacement").string(name).params(n, tokens, values).send();
}

RtVoid RiDisplacement(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiDisplacementV(name, list.size(), list.t(), list.v());
}

RtVoid RiAtmosphereV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    Call("Atmosphere").string(name).params(n, tokens, values).send();
}

RtVoid RiAtmosphere(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    RiAtmosphereV(name, list.size(), list.t(), list.v());
}

RtLightHandle RiLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    RtPointer handle = ovo::ri::newHandle();
    Call("LightSource")
        .string(name)
        .string(ovo::ri::handleName(handle).c_str())
        .params(n, tokens, values)
        .send();
    return handle;
}

RtLightHandle RiLightSource(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    return RiLightSourceV(name, list.size(), list.t(), list.v());
}

RtLightHandle RiAreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]) {
    RtPointer handle = ovo::ri::newHandle();
    Call("AreaLightSource")
        .string(name)
        .string(ovo::ri::handleName(handle).c_str())
        .params(n, tokens, values)
        .send();
    return handle;
}

RtLightHandle RiAreaLightSource(RtToken name, ...) {
    OVO_RI_PARAMS(name);
    return RiAreaLightSourceV(name, list.size(), list.t(), list.v());
}

RtVoid RiIlluminate(RtLightHandle light, RtBoolean onoff) {
    Call("Illuminate").string(ovo::ri::handleName(light).c_str()).integer(onoff).send();
}

}  // extern "C"
