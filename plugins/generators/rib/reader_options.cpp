// Camera, image and display options. Most become Attribute calls on the renderer's
// options at once; displays and exposure are kept and declared at WorldBegin, so their
// order in the file does not matter, as in RIB.

#include <algorithm>
#include <cmath>

#include "plugins/generators/rib/args.h"
#include "core/render/output.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

bool Reader::optionAllowed(const Request& request) {
    if (!inWorld) return true;
    fail(request, "not allowed inside WorldBegin");
    return false;
}

void Reader::sendScreen(const float* screen) { renderer->Attribute("float[4] screen", screen); }

// RIB's default screen window spans -1..1 on the shorter side of the frame; OVO's
// automatic one always spans -1..1 vertically, so tall frames are sent explicitly.
void Reader::sendDefaultScreen(float aspect) {
    float screen[4] = {-aspect, aspect, -1.0f, 1.0f};
    if (aspect < 1.0f) {
        screen[0] = -1.0f;
        screen[1] = 1.0f;
        screen[2] = -1.0f / aspect;
        screen[3] = 1.0f / aspect;
    }
    sendScreen(screen);
    frame.screenSent = true;
}

void Reader::doFormat(const Request& request) {
    Args a(request);
    double v[3];
    if (!a.numbers(3, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(v[0] >= 1.0) || !(v[1] >= 1.0) || v[0] > 1e6 || v[1] > 1e6)
        return fail(request, "bad resolution " + numberText(v[0]) + " x " + numberText(v[1]));
    int resolution[2] = {toInt(v[0]), toInt(v[1])};
    // A pixel aspect ratio of 0 or less means the default, square pixels.
    float pixelAspect = v[2] > 0.0 ? toFloat(v[2]) : 1.0f;
    renderer->Attribute("int[2] resolution", static_cast<const int*>(resolution));
    renderer->Attribute("float pixelaspect", pixelAspect);
    if (!frame.screenExplicit && !frame.aspectExplicit) {
        float aspect = float(resolution[0]) * pixelAspect / float(resolution[1]);
        if (aspect < 1.0f || frame.screenSent) sendDefaultScreen(aspect);
    }
}

void Reader::doFrameAspectRatio(const Request& request) {
    Args a(request);
    double ratio;
    if (!a.number(ratio) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(ratio > 0.0) || ratio > 1e30) return fail(request, "the ratio must be positive");
    frame.aspectExplicit = true;
    if (!frame.screenExplicit) sendDefaultScreen(toFloat(ratio));
}

void Reader::doScreenWindow(const Request& request) {
    Args a(request);
    double v[4];
    if (!a.numbers(4, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(v[0] != v[1]) || !(v[2] != v[3])) return fail(request, "the window is empty");
    float screen[4] = {toFloat(v[0]), toFloat(v[1]), toFloat(v[2]), toFloat(v[3])};
    sendScreen(screen);
    frame.screenExplicit = true;
}

void Reader::doCropWindow(const Request& request) {
    Args a(request);
    double v[4];
    if (!a.numbers(4, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    float crop[4];
    for (int i = 0; i < 4; ++i) crop[i] = toFloat(std::min(1.0, std::max(0.0, v[i])));
    if (!(crop[1] > crop[0]) || !(crop[3] > crop[2])) return fail(request, "the window is empty");
    renderer->Attribute("float[4] crop", static_cast<const float*>(crop));
}

void Reader::doProjection(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name)) return fail(request, a.error());
    std::vector<Emitted> params;
    if (!collectParams(request, a.next(), ParamUse::Shader, params)) return;
    if (!optionAllowed(request)) return;
    if (name == "none") {
        warnOnce(request, "Projection:none", "Projection \"none\" is not supported. Ignoring ...");
        return;
    }
    float fov = 90.0f;  // RIB's default field of view when none is given
    bool hasFov = false;
    for (const Emitted& e : params) {
        if (e.decl == "float fov" && !e.floats.empty()) {
            fov = e.floats[0];
            hasFov = true;
        }
    }
    if (!(fov > 0.0f) || !(fov < 180.0f)) return fail(request, "bad field of view");
    // Other projections are camera plugins of that name.
    renderer->Attribute("string projection", name.c_str());
    if (name == "perspective" || hasFov) renderer->Attribute("float fov", fov);
}

void Reader::doClipping(const Request& request) {
    Args a(request);
    double v[2];
    if (!a.numbers(2, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(v[0] > 0.0) || !(v[1] > v[0])) return fail(request, "needs 0 < near < far");
    renderer->Attribute("float near", toFloat(v[0]));
    renderer->Attribute("float far", toFloat(v[1]));
}

void Reader::doDepthOfField(const Request& request) {
    Args a(request);
    double v[3] = {1e30, 0.0, 0.0};
    if (a.more()) {
        if (!a.numbers(3, v) || !a.end()) return fail(request, a.error());
        if (!(v[0] > 0.0) || !(v[1] > 0.0) || !(v[2] > 0.0))
            return fail(request, "the values must be positive");
    }
    if (!optionAllowed(request)) return;
    // Without arguments it turns depth of field off: an infinite f-stop.
    renderer->Attribute("float fstop", toFloat(v[0]));
    if (request.args.empty()) return;
    renderer->Attribute("float focallength", toFloat(v[1]));
    renderer->Attribute("float focaldistance", toFloat(v[2]));
}

void Reader::doShutter(const Request& request) {
    Args a(request);
    double v[2];
    if (!a.numbers(2, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (v[1] < v[0]) return fail(request, "the shutter closes before it opens");
    float shutter[2] = {toFloat(v[0]), toFloat(v[1])};
    renderer->Attribute("float[2] shutter", static_cast<const float*>(shutter));
    frame.shutter[0] = shutter[0];
    frame.shutter[1] = shutter[1];
}

void Reader::doPixelSamples(const Request& request) {
    Args a(request);
    double v[2];
    if (!a.numbers(2, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    // Fractional sample counts round up: asking for 2.5 means more than 2.
    int samples[2] = {std::max(1, toInt(std::ceil(v[0]))), std::max(1, toInt(std::ceil(v[1])))};
    renderer->Attribute("int[2] spatialquality", static_cast<const int*>(samples));
}

void Reader::doPixelFilter(const Request& request) {
    Args a(request);
    std::string name;
    double width[2];
    if (!a.string(name) || !a.numbers(2, width) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(width[0] > 0.0) || !(width[1] > 0.0)) return fail(request, "the widths must be positive");
    struct Alias {
        const char* rib;
        const char* ovo;
    };
    static const Alias Filters[] = {
        {"gaussian", "gaussian"},
        {"RiGaussianFilter", "gaussian"},
        {"box", "box"},
        {"RiBoxFilter", "box"},
        {"triangle", "triangle"},
        {"RiTriangleFilter", "triangle"},
        {"catmull-rom", "catmull-rom"},
        {"RiCatmullRomFilter", "catmull-rom"},
        {"sinc", "sinc"},
        {"RiSincFilter", "sinc"},
    };
    const char* filter = nullptr;
    for (const Alias& f : Filters)
        if (name == f.rib) filter = f.ovo;
    if (filter)
        renderer->Attribute("string filter", filter);
    else
        warnOnce(request, "PixelFilter:" + name,
                 "PixelFilter \"" + name + "\" is not supported. Keeping the current filter ...");
    float widths[2] = {toFloat(width[0]), toFloat(width[1])};
    renderer->Attribute("float[2] filterwidth", static_cast<const float*>(widths));
}

void Reader::doExposure(const Request& request) {
    Args a(request);
    double v[2];
    if (!a.numbers(2, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (!(v[1] > 0.0)) return fail(request, "gamma must be positive");
    frame.gain = toFloat(v[0]);
    frame.gamma = toFloat(v[1]);
}

void Reader::doQuantize(const Request& request) {
    Args a(request);
    std::string type;
    double v[4];
    if (!a.string(type) || !a.numbers(4, v) || !a.end()) return fail(request, a.error());
    if (!optionAllowed(request)) return;
    if (type == "z") {
        int quantize[4] = {0, toInt(v[0]), toInt(v[1]), toInt(v[2])};
        std::copy(quantize, quantize + 4, frame.zQuantize);
        frame.zQuantizeSet = true;
        return;
    }
    if (type != "rgba" && type != "Ci") {
        warnOnce(request, "Quantize:" + type,
                 "Quantize \"" + type + "\" is not supported. Ignoring ...");
        return;
    }
    // OVO's four values: zero, one, minimum, maximum.
    int quantize[4] = {0, toInt(v[0]), toInt(v[1]), toInt(v[2])};
    renderer->Attribute("int[4] quantize", static_cast<const int*>(quantize));
    frame.dither = toFloat(v[3]);
    frame.ditherSet = true;
}

// Rays find the visible surface whatever the hider: "hidden" (the usual one) and "raytrace"
// ask for what OVO does anyway; any other hider would change the picture.
void Reader::doHider(const Request& request) {
    Args a(request);
    std::string type;
    if (!a.string(type)) return fail(request, a.error());
    if (type == "hidden" || type == "raytrace")
        return noteOnce(request, "Hider",
                        "Hider \"" + type + "\" changes nothing in a ray tracer. Ignoring ...");
    warnOnce(request, "Hider:" + type, "Hider \"" + type + "\" is not supported. Ignoring ...");
}

void Reader::doDisplay(const Request& request) {
    Args a(request);
    std::string name, type, mode;
    if (!a.string(name) || !a.string(type) || !a.string(mode)) return fail(request, a.error());
    Display display;
    if (!collectParams(request, a.next(), ParamUse::Display, display.params)) return;
    if (!optionAllowed(request)) return;
    bool append = !name.empty() && name[0] == '+';
    if (append) name.erase(0, 1);
    if (name.empty()) return fail(request, "empty display name");
    if (!append) frame.displays.clear();
    if (type == "null") return;  // no image, as asked

    static const char* const Modes[][2] = {
        {"rgb", "rgb"}, {"rgba", "rgba"}, {"a", "a"}, {"z", "z"}, {"Ci", "rgb"}, {"Ci,a", "rgba"},
    };
    const char* ovoMode = nullptr;
    for (const auto& m : Modes)
        if (mode == m[0]) ovoMode = m[1];
    if (!ovoMode && (mode == "rgbz" || mode == "rgbaz")) {
        ovoMode = mode == "rgbz" ? "rgb" : "rgba";
        warnOnce(request, "Display:" + mode,
                 "Display mode \"" + mode + "\" is not supported. Writing \"" + ovoMode + "\" ...");
    }
    if (!ovoMode) {
        warnOnce(request, "Display:" + mode,
                 "Display mode \"" + mode + "\" is not supported. Ignoring ...");
        return;
    }

    bool toScreen = type == "framebuffer";
    display.name = name;
    display.mode = ovoMode;
    // A program that can show images registers the "framebuffer" format (ovo does); elsewhere
    // the display is written to the file it names.
    if (toScreen && declaredImageFormat("framebuffer"))
        display.format = "framebuffer";
    else
        display.format =
            (type == "file" || toScreen) ? imageFormatForFile(name) : imageFormatName(type);
    for (std::size_t i = 0; i < frame.displays.size(); ++i) {
        if (frame.displays[i].name != name) continue;
        // OVO has no window: a framebuffer display of a file that is already written
        // (the usual "+name" "framebuffer" companion) adds nothing.
        if (toScreen) return;
        frame.displays.erase(frame.displays.begin() + long(i));
        break;
    }
    frame.displays.push_back(std::move(display));
}

// Declares the frame's displays with the renderer, deleting outputs of earlier frames that
// are gone. Exposure and dither go with every output.
void Reader::emitOutputs() {
    for (const std::string& old : emittedOutputs) {
        bool kept = false;
        for (const Display& d : frame.displays) kept = kept || d.name == old;
        if (!kept) renderer->Output(old.c_str(), "null", "rgba", "camera");
    }
    emittedOutputs.clear();
    for (Display& d : frame.displays) {
        renderer->Parameter("float gain", frame.gain);
        renderer->Parameter("float gamma", frame.gamma);
        if (frame.ditherSet) renderer->Parameter("float dither", frame.dither);
        if (frame.zQuantizeSet && d.mode == "z")
            renderer->Parameter("int[4] quantize", static_cast<const int*>(frame.zQuantize));
        emitParams(d.params);
        renderer->Output(d.name.c_str(), d.format.c_str(), d.mode.c_str(), "camera");
        emittedOutputs.push_back(d.name);
    }
}

// The camera: the RIB transformation at WorldBegin maps world to camera space; OVO's
// Camera stores the inverse of the current transformation, so it gets that inverse.
void Reader::emitCamera(const Request& request) {
    const Camera& c = scoped.ctm;
    std::vector<float> matrices(16 * c.samples.size());
    bool singular = false;
    for (std::size_t i = 0; i < c.samples.size(); ++i) {
        Mat4 inverse = Mat4::identity();
        if (!c.samples[i].inverse(inverse)) singular = true;
        inverse.toFloats(&matrices[16 * i]);
    }
    if (singular)
        report(Level::Err, request.line,
               "WorldBegin: the camera transformation is singular. Using the identity ...");
    if (c.samples.size() > 1) renderer->Motion(int(c.samples.size()), c.times.data());
    for (std::size_t i = 0; i < c.samples.size(); ++i)
        renderer->SetTransform(static_cast<const float*>(&matrices[16 * i]));
    renderer->Camera("camera");
}

}  // namespace rib
}  // namespace ovo
