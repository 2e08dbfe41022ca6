// Attributes, transformations, shaders and lights.
#include <cmath>
#include <cstring>

#include <map>

#include "core/base/error.h"
#include "core/base/reference.h"
#include "core/math/transform.h"
#include "core/shading/shader.h"
#include "plugins/generators/rib/args.h"
#include "plugins/generators/rib/reader.h"

namespace ovo {
namespace rib {

namespace {

struct BasisInfo {
    const char* rib;
    const char* ovo;
    int step;
    double matrix[16];
};

// The standard bases with their steps and matrices, so a basis written out as a matrix
// is recognised.
const BasisInfo Bases[] = {
    {"bezier", "bezier", 3, {-1, 3, -3, 1, 3, -6, 3, 0, -3, 3, 0, 0, 1, 0, 0, 0}},
    {"b-spline",
     "bspline",
     1,
     {-1 / 6.0, 3 / 6.0, -3 / 6.0, 1 / 6.0, 3 / 6.0, -6 / 6.0, 3 / 6.0, 0, -3 / 6.0, 0, 3 / 6.0, 0,
      1 / 6.0, 4 / 6.0, 1 / 6.0, 0}},
    {"bspline",
     "bspline",
     1,
     {-1 / 6.0, 3 / 6.0, -3 / 6.0, 1 / 6.0, 3 / 6.0, -6 / 6.0, 3 / 6.0, 0, -3 / 6.0, 0, 3 / 6.0, 0,
      1 / 6.0, 4 / 6.0, 1 / 6.0, 0}},
    {"catmull-rom",
     "catmull-rom",
     1,
     {-0.5, 1.5, -1.5, 0.5, 1, -2.5, 2, -0.5, -0.5, 0, 0.5, 0, 0, 1, 0, 0}},
    {"hermite", "hermite", 2, {2, 1, -2, 1, -3, -2, 3, -1, 0, 1, 0, 0, 1, 0, 0, 0}},
    {"power", "power", 4, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
};

const BasisInfo* findBasis(const Value& v) {
    if (v.isText() && v.size() == 1) {
        for (const BasisInfo& b : Bases)
            if (v.strings[0] == b.rib) return &b;
        return nullptr;
    }
    if (v.kind != Value::NumberArray || v.size() != 16) return nullptr;
    for (const BasisInfo& b : Bases) {
        bool same = true;
        for (int i = 0; i < 16; ++i) same = same && std::fabs(v.numbers[i] - b.matrix[i]) < 1e-5;
        if (same) return &b;
    }
    return nullptr;
}

}  // namespace

int usualStep(const std::string& basis) {
    for (const BasisInfo& b : Bases)
        if (basis == b.ovo) return b.step;
    return 3;
}

// ---------------------------------------------------------------------------- attributes

void Reader::colorAttribute(const Request& request, const char* decl) {
    Args a(request);
    double v[3];
    if (!a.numbers(3, v) || !a.end()) return fail(request, a.error());
    float c[3] = {toFloat(v[0]), toFloat(v[1]), toFloat(v[2])};
    renderer->Attribute(decl, static_cast<const float*>(c));
}

void Reader::doColor(const Request& request) { colorAttribute(request, "color C"); }
void Reader::doOpacity(const Request& request) { colorAttribute(request, "color opacity"); }

void Reader::doSides(const Request& request) {
    Args a(request);
    double sides;
    if (!a.number(sides) || !a.end()) return fail(request, a.error());
    if (sides != 1.0 && sides != 2.0) return fail(request, "expected 1 or 2");
    renderer->Attribute("int twosided", sides == 2.0 ? 1 : 0);
}

void Reader::doDetail(const Request& request) {
    Args a(request);
    double v[6];
    if (!a.numbers(6, v) || !a.end()) return fail(request, a.error());
    float bound[6];
    for (int i = 0; i < 6; ++i) bound[i] = toFloat(v[i]);
    renderer->Attribute("float[6] detail:bound", static_cast<const float*>(bound));
}

void Reader::doDetailRange(const Request& request) {
    Args a(request);
    double v[4];
    if (!a.numbers(4, v) || !a.end()) return fail(request, a.error());
    if (!(v[0] <= v[1] && v[1] <= v[2] && v[2] <= v[3]))
        return fail(request,
                    "expected minvisible <= lowertransition <= uppertransition <= maxvisible");
    float range[4];
    for (int i = 0; i < 4; ++i) range[i] = toFloat(v[i]);
    renderer->Attribute("float[4] detail:range", static_cast<const float*>(range));
}

void Reader::doOrientation(const Request& request) {
    Args a(request);
    std::string o;
    if (!a.string(o) || !a.end()) return fail(request, a.error());
    if (o != "lh" && o != "rh" && o != "inside" && o != "outside")
        return fail(request, "unknown orientation \"" + o + "\"");
    renderer->Attribute("string orientation", o.c_str());
}

void Reader::doReverseOrientation(const Request& request) {
    if (!Args(request).end()) return fail(request, "too many arguments");
    renderer->Attribute("string orientation", "reverse");
}

void Reader::doMatte(const Request& request) {
    Args a(request);
    double matte;
    if (!a.number(matte) || !a.end()) return fail(request, a.error());
    if (matte != 0.0) warnOnce(request, "Matte", "Matte is not supported. Ignoring ...");
}

// A hint for micropolygon renderers; a ray tracer shades where rays hit.
void Reader::doShadingRate(const Request& request) {
    Args a(request);
    double rate;
    if (!a.number(rate) || !a.end()) return fail(request, a.error());
}

void Reader::doBasis(const Request& request) {
    const BasisInfo* bases[2] = {nullptr, nullptr};
    int steps[2] = {0, 0};
    Args a(request);
    for (int i = 0; i < 2; ++i) {
        if (!a.more()) return fail(request, "missing argument " + std::to_string(a.next() + 1));
        const Value& v = a.peek();
        bool matrix = v.kind == Value::NumberArray && v.size() == 16;
        if (!(v.isText() && v.size() == 1) && !matrix)
            return fail(request, "argument " + std::to_string(a.next() + 1) +
                                     " must be a basis name or 16 numbers, not " + v.describe());
        bases[i] = findBasis(v);
        if (!bases[i] && !matrix) return fail(request, "unknown basis \"" + v.strings[0] + "\"");
        if (matrix) {
            std::vector<double> values;
            a.numberArray(values);
        } else {
            std::string text;
            a.string(text);
        }
        if (!a.integer(steps[i])) return fail(request, a.error());
        if (steps[i] < 1) return fail(request, "the step must be at least 1");
    }
    if (!a.end()) return fail(request, a.error());

    Scoped& s = scoped;
    std::string* names[2] = {&s.ubasis, &s.vbasis};
    int* stored[2] = {&s.ustep, &s.vstep};
    for (int i = 0; i < 2; ++i) {
        if (!bases[i]) {
            warnOnce(request, "Basis:matrix",
                     "Basis: only the standard bases are supported. Using \"bezier\" ...");
            *names[i] = "bezier";
            *stored[i] = 3;
            continue;
        }
        *names[i] = bases[i]->ovo;
        *stored[i] = steps[i];
    }
}

// ---------------------------------------------------------------------------- transforms

bool Reader::readTransform(const Request& request, Xform& x) {
    Args a(request);
    const std::string& name = request.name;
    double v[16];
    if (name == "Identity") {
        if (!a.end()) return fail(request, a.error()), false;
        x.kind = Xform::Set;
        x.matrix = Mat4::identity();
    } else if (name == "Transform" || name == "ConcatTransform") {
        if (!a.numbers(16, v) || !a.end()) return fail(request, a.error()), false;
        x.kind = name == "Transform" ? Xform::Set : Xform::Append;
        x.matrix = Mat4::fromArray(v);
    } else if (name == "Translate") {
        if (!a.numbers(3, v) || !a.end()) return fail(request, a.error()), false;
        x.kind = Xform::Translate;
        x.matrix = Mat4::translate(v[0], v[1], v[2]);
    } else if (name == "Rotate") {
        if (!a.numbers(4, v) || !a.end()) return fail(request, a.error()), false;
        x.kind = Xform::Rotate;
        if (!Mat4::rotate(v[0], v[1], v[2], v[3], x.matrix))
            return fail(request, "the rotation axis is zero"), false;
    } else if (name == "Scale") {
        if (!a.numbers(3, v) || !a.end()) return fail(request, a.error()), false;
        x.kind = Xform::Scale;
        x.matrix = Mat4::scale(v[0], v[1], v[2]);
    } else if (name == "Skew") {
        if (!a.numbers(7, v) || !a.end()) return fail(request, a.error()), false;
        x.kind = Xform::Append;
        if (!Mat4::skew(v[0], v + 1, v + 4, x.matrix)) return fail(request, "invalid angle"), false;
    } else {
        return false;
    }
    if (x.kind == Xform::Set || x.kind == Xform::Append) {
        x.matrix.toFloats(x.values);
    } else {
        int n = x.kind == Xform::Rotate ? 4 : 3;
        for (int i = 0; i < n; ++i) x.values[i] = toFloat(v[i]);
    }
    return true;
}

void Reader::applyTransform(const Xform& x) {
    if (forwarding()) {
        const float* v = x.values;
        switch (x.kind) {
            case Xform::Set:
                renderer->SetTransform(v);
                break;
            case Xform::Append:
                renderer->AppendTransform(v);
                break;
            case Xform::Translate:
                renderer->Translate(v[0], v[1], v[2]);
                break;
            case Xform::Rotate:
                renderer->Rotate(v[0], v[1], v[2], v[3]);
                break;
            case Xform::Scale:
                renderer->Scale(v[0], v[1], v[2]);
                break;
        }
        return;
    }
    // Before the world: RIB premultiplies, so the new step applies to points first.
    Camera& c = scoped.ctm;
    if (x.kind == Xform::Set) {
        c.samples.assign(1, x.matrix);
        c.times.clear();
        return;
    }
    for (Mat4& s : c.samples) s = x.matrix * s;
}

void Reader::applyMotion(const Request& request, const std::vector<float>& times,
                         const std::vector<Xform>& xs) {
    std::size_t n = xs.size();
    if (forwarding()) {
        // The renderer closes the block itself after the n-th transform call.
        renderer->Motion(int(n), times.data());
        for (const Xform& x : xs) applyTransform(x);
        return;
    }
    Camera& c = scoped.ctm;
    if (xs[0].kind == Xform::Set) {
        c.samples.clear();
        for (const Xform& x : xs) c.samples.push_back(x.matrix);
    } else if (c.samples.size() == 1) {
        Mat4 base = c.samples[0];
        c.samples.clear();
        for (const Xform& x : xs) c.samples.push_back(x.matrix * base);
    } else if (c.samples.size() == n) {
        for (std::size_t i = 0; i < n; ++i) c.samples[i] = xs[i].matrix * c.samples[i];
        return;  // keeps the times of the first moving step
    } else {
        return fail(request, "camera motion blocks must all have " +
                                 std::to_string(c.samples.size()) + " samples");
    }
    c.times = times;
}

void Reader::doIdentity(const Request& request) {
    Xform x;
    if (readTransform(request, x)) applyTransform(x);
}
void Reader::doTransform(const Request& request) { doIdentity(request); }
void Reader::doConcatTransform(const Request& request) { doIdentity(request); }
void Reader::doTranslate(const Request& request) { doIdentity(request); }
void Reader::doRotate(const Request& request) { doIdentity(request); }
void Reader::doScale(const Request& request) { doIdentity(request); }
void Reader::doSkew(const Request& request) { doIdentity(request); }

// A perspective matrix in the camera transformation is a perspective camera; inside the
// world it would make objects projective, which a ray tracer cannot trace.
void Reader::doPerspective(const Request& request) {
    Args a(request);
    double fov;
    if (!a.number(fov) || !a.end()) return fail(request, a.error());
    if (!(fov > 0.0) || !(fov < 180.0)) return fail(request, "bad field of view");
    if (forwarding()) {
        warnOnce(request, "Perspective",
                 "Perspective inside the world is not supported. Ignoring ...");
        return;
    }
    renderer->Attribute("string projection", "perspective");
    renderer->Attribute("float fov", toFloat(fov));
}

void Reader::doCoordinateSystem(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name) || !a.end()) return fail(request, a.error());
    if (forwarding()) {
        // A saved attribute state with the transform is OVO's named coordinate system.
        renderer->SaveAttributes(name.c_str(), "transform");
        return;
    }
    frame.spaces[name] = scoped.ctm.samples[0];
    defer(request);
}

void Reader::doCoordSysTransform(const Request& request) {
    Args a(request);
    std::string name;
    if (!a.string(name) || !a.end()) return fail(request, a.error());
    if (forwarding()) {
        renderer->SetTransform(name.c_str());
        return;
    }
    Camera& c = scoped.ctm;
    auto it = frame.spaces.find(name);
    if (it != frame.spaces.end())
        c.samples.assign(1, it->second);
    else if (name == "camera")
        c.samples.assign(1, Mat4::identity());
    else
        return fail(request, "unknown coordinate system \"" + name + "\"");
    c.times.clear();
}

// Lights and coordinate systems before WorldBegin are placed relative to the camera:
// they are declared once the camera is known.
void Reader::defer(const Request& request) {
    Deferred d;
    d.request = request;
    d.file = fileName();
    d.placement = scoped.ctm.samples[0];
    frame.deferred.push_back(std::move(d));
}

// ---------------------------------------------------------------------------- shaders

// A shader that cannot be found (nor compiled from its source) on the shader path is reported
// here, where the file and line are known, once per name in a frame; the request is then
// dropped. Without a path to look on, the renderer reports it.
bool Reader::shaderFound(const Request& request, const std::string& name) {
    const char* path = nullptr;
    if (!renderer->GetAttribute("string path:shader", path) || !path) return true;
    const std::string key = name + "\n" + path;
    auto known = shaderFindable.find(key);
    if (known == shaderFindable.end()) {
        bool found = true;
        try {
            std::map<OIIO::ustring, Transform> spaces;
            ParameterSet none;
            const Reference<Shader> shader(createShader(name, path, spaces, none));
        } catch (const Error& e) {
            // Other failures (a broken plugin) are the renderer's to report.
            found = e.code() != Error::PluginNotFound;
        }
        known = shaderFindable.emplace(key, found).first;
    }
    if (known->second) return true;
    if (missingShaders.insert(name).second)
        report(Level::Err, request.line,
               request.name + ": shader \"" + name + "\" not found (searched \"" + path + "\")");
    return false;
}

void Reader::shader(const Request& request, const char* type) {
    Args a(request);
    std::string name;
    if (!a.string(name)) return fail(request, a.error());
    std::vector<Emitted> params;
    if (!collectShaderParams(request, a.next(), name, params)) return;
    // An imager named "null" is none: there is nothing to find.
    const bool none = std::strcmp(type, "imager") == 0 && name == "null";
    if (!none && !shaderFound(request, name)) return;
    emitParams(params);
    renderer->Shader(type, name.c_str(), nullptr);
}

void Reader::doSurface(const Request& request) { shader(request, "surface"); }
void Reader::doDisplacement(const Request& request) { shader(request, "displacement"); }
void Reader::doAtmosphere(const Request& request) { shader(request, "volume"); }
void Reader::doImager(const Request& request) {
    if (optionAllowed(request)) shader(request, "imager");
}

void Reader::light(const Request& request, bool area) {
    Args a(request);
    std::string name, handle;
    if (!a.string(name) || !a.handle(handle)) return fail(request, a.error());
    std::vector<Emitted> params;
    if (!collectShaderParams(request, a.next(), name, params)) return;
    if (!forwarding()) {
        if (area) return fail(request, "only allowed inside WorldBegin");
        return defer(request);
    }
    if (!shaderFound(request, name)) {
        // Switching it later is no news to the user.
        missingLights.insert(handle);
        return;
    }
    missingLights.erase(handle);
    traceShadowMaps(request, params);
    emitParams(params);
    // The first definition keeps the file's handle (messages name what the user wrote).
    auto known = lightHandles.emplace(handle, handle);
    if (!known.second) known.first->second = handle + "#" + std::to_string(++lightRedefinitions);
    const std::string& mapped = known.first->second;
    if (!area) {
        renderer->Light(mapped.c_str(), name.c_str(), nullptr);
        return;
    }
    // The geometry that follows in this attribute block is the light's: it goes into a
    // geometry set of its own, which the light names.
    std::string set = "arealight:" + handle + ":" + std::to_string(++areaLights);
    renderer->Parameter("string geometry", set.c_str());
    renderer->Light(mapped.c_str(), name.c_str(), nullptr);
    renderer->Attribute("string geometryset", ("+" + set).c_str());
}

void Reader::doLightSource(const Request& request) { light(request, false); }
void Reader::doAreaLightSource(const Request& request) { light(request, true); }

void Reader::doIlluminate(const Request& request) {
    Args a(request);
    std::string handle;
    double on;
    if (!a.handle(handle) || !a.number(on) || !a.end()) return fail(request, a.error());
    if (!forwarding()) return defer(request);
    if (missingLights.count(handle)) return;
    renderer->LightSwitch(lightHandle(handle).c_str(), on != 0.0);
}

// A handle no LightSource gave goes through as written: the renderer reports it.
const std::string& Reader::lightHandle(const std::string& fileHandle) {
    auto found = lightHandles.find(fileHandle);
    return found == lightHandles.end() ? fileHandle : found->second;
}

// Layered shaders: ShaderLayer requests outside ShaderGroupBegin/End form a group of
// their own, closed by the first request that is not part of it.
void Reader::doShaderLayer(const Request& request) {
    Args a(request);
    std::string type, name, layer;
    if (!a.string(type) || !a.string(name) || !a.string(layer)) return fail(request, a.error());
    const char* ovoType = nullptr;
    if (type == "surface" || type == "displacement")
        ovoType = type == "surface" ? "surface" : "displacement";
    if (type == "atmosphere" || type == "volume") ovoType = "volume";
    if (!ovoType) return fail(request, "unknown shader type \"" + type + "\"");
    std::vector<Emitted> params;
    if (!collectShaderParams(request, a.next(), name, params)) return;
    if (!shaderFound(request, name)) return;
    bool explicitGroup = !blocks.empty() && blocks.back().kind == Block::ShaderGroup;
    if (!explicitGroup && !implicitGroup) {
        renderer->ShaderGroupBegin();
        implicitGroup = true;
    }
    emitParams(params);
    renderer->Shader(ovoType, name.c_str(), layer.c_str());
}

void Reader::doConnectShaderLayers(const Request& request) {
    Args a(request);
    std::string type, layer1, var1, layer2, var2;
    if (!a.string(type) || !a.string(layer1) || !a.string(var1) || !a.string(layer2) ||
        !a.string(var2) || !a.end())
        return fail(request, a.error());
    bool explicitGroup = !blocks.empty() && blocks.back().kind == Block::ShaderGroup;
    if (!explicitGroup && !implicitGroup)
        return fail(request, "only allowed after ShaderLayer or inside ShaderGroupBegin");
    renderer->ConnectShaders(layer1.c_str(), var1.c_str(), layer2.c_str(), var2.c_str());
}

}  // namespace rib
}  // namespace ovo
