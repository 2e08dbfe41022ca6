// Parameter lists and the Option/Attribute requests.
#include <algorithm>
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

std::size_t classCount(StorageClass storage, const Counts& counts) {
    switch (storage) {
        case StorageClass::Constant:
            return 1;
        case StorageClass::Uniform:
            return counts.uniform;
        case StorageClass::Varying:
            return counts.varying;
        case StorageClass::Vertex:
            return counts.vertex;
        // OVO stores face-varying data as linear data, indexed like the vertices: it
        // must cover both counts to be read safely.
        case StorageClass::FaceVarying:
            return counts.facevarying > counts.varying ? counts.facevarying : counts.varying;
        case StorageClass::FaceVertex:
            return counts.facevarying > counts.vertex ? counts.facevarying : counts.vertex;
    }
    return 1;
}

// Fills `e` with the first `count` values of `v`, converted to the declared type.
void fill(Emitted& e, const Declaration& d, const Value& v, std::size_t count) {
    if (d.isString()) {
        e.kind = Emitted::Strings;
        e.strings.assign(v.strings.begin(), v.strings.begin() + count);
    } else if (d.isInt()) {
        e.kind = Emitted::Ints;
        e.ints.resize(count);
        for (std::size_t i = 0; i < count; ++i) e.ints[i] = toInt(v.numbers[i]);
    } else {
        e.kind = Emitted::Floats;
        e.floats.resize(count);
        for (std::size_t i = 0; i < count; ++i) e.floats[i] = toFloat(v.numbers[i]);
    }
}

// The type a value suggests when nothing declares it: int or float numbers, strings.
Declaration guess(const Value& v) {
    Declaration d;
    if (v.kind == Value::String || v.kind == Value::StringArray)
        d.type = DataType::String;
    else
        d.type = v.integers ? DataType::Int : DataType::Float;
    d.arraylen = v.size() > 1 ? int(v.size()) : 1;
    return d;
}

// RIB "category:name" settings with an OVO counterpart of another name.
struct Rename {
    const char* rib;
    const char* ovo;
    const char* type;
};
const Rename Renames[] = {
    {"searchpath:shader", "path:shader", "string"},
    {"searchpath:texture", "path:texture", "string"},
    {"searchpath:archive", "path:input", "string"},
    {"searchpath:procedural", "path:procedural", "string"},
    {"statistics:endofframe", "statistics:level", "int"},
    {"trace:maxdepth", "ray:maxdepth", "int"},
    {"trace:maxspeculardepth", "ray:maxdepth", "int"},
    {"trace:maxdiffusedepth", "ray:maxdiffusedepth", "int"},
    {"trace:bias", "shadow:bias", "float"},
    {"visibility:camera", "ray:camera", "int"},
    {"visibility:trace", "ray:reflections", "int"},
    {"visibility:specular", "ray:reflections", "int"},
    {"visibility:transmission", "ray:shadows", "int"},
    {"visibility:diffuse", "ray:diffuse", "int"},
    {"irradiance:maxerror", "indirect:maxerror", "float"},
    {"irradiance:maxpixeldist", "indirect:maxpixeldist", "float"},
    // The renderer's own names, reachable as Option/Attribute "category" "name".
    {"limits:bucketsize", "limits:bucketsize", "int[2]"},
    // Plugin choices the scene format has no request for: Option "render" "sampler" "name".
    {"render:sampler", "sampler", "string"},
    {"render:bucketorder", "bucketorder", "string"},
    {"render:accelerator", "accelerator", "string"},
    {"limits:texturememory", "limits:texturememory", "int"},
    {"limits:texturefiles", "limits:texturefiles", "int"},
    {"limits:threads", "limits:threads", "int"},
    {"texture:automipmap", "texture:automipmap", "int"},
    {"statistics:level", "statistics:level", "int"},
    {"ray:maxdepth", "ray:maxdepth", "int"},
    {"ray:maxdiffusedepth", "ray:maxdiffusedepth", "int"},
    {"ray:specularbrdf", "ray:specularbrdf", "string"},
    {"ray:maxdepthcolor", "ray:maxdepthcolor", "color"},
    {"path:input", "path:input", "string"},
    {"path:shader", "path:shader", "string"},
    {"path:texture", "path:texture", "string"},
    {"path:procedural", "path:procedural", "string"},
    {"light:shadows", "light:shadows", "string"},
    {"light:nsamples", "light:nsamples", "int"},
    {"trimcurve:sense", "trimcurve:sense", "string"},
    {"ray:shadows", "ray:shadows", "int"},
    {"ray:opaqueshadows", "ray:opaqueshadows", "int"},
    {"ray:camera", "ray:camera", "int"},
    {"ray:diffuse", "ray:diffuse", "int"},
    {"ray:reflections", "ray:reflections", "int"},
    {"shadow:bias", "shadow:bias", "float"},
    {"occlusion:maxerror", "occlusion:maxerror", "float"},
    {"occlusion:maxpixeldist", "occlusion:maxpixeldist", "float"},
    {"occlusion:minsamples", "occlusion:minsamples", "int"},
    {"indirect:maxerror", "indirect:maxerror", "float"},
    {"indirect:maxpixeldist", "indirect:maxpixeldist", "float"},
    {"indirect:minsamples", "indirect:minsamples", "int"},
};

// What a setting's name turns into: the OVO name and declaration text, found in Renames.
bool renamedSetting(const std::string& rib, std::string& ovoName, Declaration& decl) {
    for (const Rename& r : Renames) {
        if (rib == r.rib) {
            ovoName = r.ovo;
            std::string unused;
            parseDeclaration(r.type, decl, unused);
        }
    }
    return !ovoName.empty();
}

// Settings OVO does not use that only steer a scan-line renderer's dicing and memory: the
// displacement bound (rays displace exactly), dicing, and the "limits" OVO has no use for.
bool withoutEffect(bool option, const std::string& category) {
    if (option) return category == "limits";
    return category == "displacementbound" || category == "dice";
}

// A parameter name is one string (a one-string array is accepted too).
bool isParameterName(const Value& key) {
    return key.kind == Value::String || (key.kind == Value::StringArray && key.size() == 1);
}

std::string notAName(const Value& key) {
    return std::string("expected a parameter name, found ") + key.describe();
}

// Why `value` cannot give `need` values of the declared type; empty when it can. `what`
// names the value in the message, `strings` says what a string declaration wants.
std::string valueProblem(const std::string& what, const Declaration& decl, const Value& value,
                         std::size_t need, const char* strings) {
    if (value.kind != Value::EmptyArray && decl.isString() != value.isText())
        return what + " needs " + (decl.isString() ? strings : "numbers") + ", not " +
               value.describe();
    if (value.size() < need)
        return what + " needs " + std::to_string(need) + " values, got " +
               std::to_string(value.size());
    return std::string();
}

// The `need` values a bare pointer from the C binding holds, read as its declaration says.
Value sized(const Value& bare, const Declaration& decl, std::size_t need) {
    Value v;
    v.kind = need == 0         ? Value::EmptyArray
             : decl.isString() ? Value::StringArray
                               : Value::NumberArray;
    v.integers = decl.isInt();
    if (decl.isString()) {
        const char* const* strings = static_cast<const char* const*>(bare.bare);
        for (std::size_t i = 0; i < need; ++i) v.strings.push_back(strings[i] ? strings[i] : "");
    } else if (decl.isInt()) {
        const int* ints = static_cast<const int*>(bare.bare);
        v.numbers.assign(ints, ints + need);
    } else {
        const float* floats = static_cast<const float*>(bare.bare);
        v.numbers.assign(floats, floats + need);
    }
    return v;
}

std::string notDeclared(const Request& request, const std::string& token) {
    return request.name + ": parameter \"" + token + "\" is not declared. Ignoring it ...";
}

// Emitted values of one int, for settings made up by the reader.
Emitted intSetting(const char* decl, int value) {
    Emitted e;
    e.decl = decl;
    e.kind = Emitted::Ints;
    e.ints.push_back(value);
    return e;
}

}  // namespace

bool Reader::collectParams(const Request& request, std::size_t first, ParamUse use,
                           std::vector<Emitted>& out, const Counts* counts) {
    const std::vector<Value>& args = request.args;
    for (std::size_t i = first; i < args.size(); i += 2) {
        const Value& key = args[i];
        if (!isParameterName(key)) return fail(request, notAName(key)), false;
        const std::string& token = key.strings[0];
        if (i + 1 >= args.size())
            return fail(request, "parameter \"" + token + "\" has no value"), false;
        const Value& value = args[i + 1];
        Declaration decl;
        std::string name;
        DeclParse parsed = decls.resolve(token, decl, name);
        if (parsed == DeclParse::Bad)
            return fail(request, "bad parameter declaration \"" + token + "\""), false;
        if (parsed == DeclParse::NotADeclaration && use == ParamUse::Shader &&
            shaderArgument(token, value, decl)) {
            parsed = DeclParse::Ok;
            name = token;
        }
        if (parsed == DeclParse::NotADeclaration) {
            // A bare pointer has no value to guess a type from.
            if (use != ParamUse::Display || value.kind == Value::Bare) {
                report(Level::Err, request.line, notDeclared(request, token));
                continue;
            }
            decl = guess(value);
            name = token;
        }
        std::size_t n = 1;
        if (use == ParamUse::Geometry && counts) n = classCount(decl.storage, *counts);
        std::size_t need = n * std::size_t(decl.elements());
        if (value.kind == Value::Bare && !value.bare)
            return fail(request, "parameter \"" + name + "\" has no value"), false;
        Value read;  // a copy only for a bare pointer: meshes' arrays are large
        const Value& given = value.kind == Value::Bare ? (read = sized(value, decl, need)) : value;
        std::string problem =
            valueProblem("parameter \"" + name + "\"", decl, given, need, "strings");
        if (!problem.empty()) return fail(request, problem), false;
        if (need == 0) continue;  // no pieces of that class: nothing to pass

        std::string ovoName = name;
        if (use == ParamUse::Geometry) {
            if (name == "Cs") ovoName = "C";
            if (name == "Os") ovoName = "opacity";
        }
        Emitted e;
        e.decl = decl.ovoText(ovoName, use == ParamUse::Geometry);
        fill(e, decl, given, need);
        out.push_back(std::move(e));
    }
    return true;
}

namespace {

bool dataTypeOf(BaseType base, DataType& type) {
    switch (base) {
        case TypeFloat:
            type = DataType::Float;
            return true;
        case TypeString:
            type = DataType::String;
            return true;
        case TypePoint:
            type = DataType::Point;
            return true;
        case TypeVector:
            type = DataType::Vector;
            return true;
        case TypeNormal:
            type = DataType::Normal;
            return true;
        case TypeColor:
            type = DataType::Color;
            return true;
        case TypeHPoint:
            type = DataType::HPoint;
            return true;
        case TypeMatrix:
            type = DataType::Matrix;
            return true;
        default:
            return false;
    }
}

}  // namespace

bool Reader::collectShaderParams(const Request& request, std::size_t first,
                                 const std::string& shader, std::vector<Emitted>& out) {
    paramsShader = shader;
    const bool ok = collectParams(request, first, ParamUse::Shader, out);
    paramsShader.clear();
    return ok;
}

// Users of such renderers expect a shader's own parameters to need no Declare. The shader is
// loaded as the renderer will load it (a plugin that cannot be loaded declares nothing).
bool Reader::shaderArgument(const std::string& name, const Value& value, Declaration& decl) {
    const char* path = nullptr;
    if (paramsShader.empty() || !renderer->GetAttribute("string path:shader", path) || !path)
        return false;
    const std::string key = paramsShader + "\n" + path;
    auto found = shaderArguments.find(key);
    if (found == shaderArguments.end()) {
        std::vector<std::pair<std::string, Declaration>> arguments;
        try {
            std::map<OIIO::ustring, Transform> spaces;
            ParameterSet none;
            const Reference<Shader> shader(createShader(paramsShader, path, spaces, none));
            for (int i = 0; shader && i < shader->numArguments(); ++i) {
                const Shader::Argument& a = shader->arguments()[i];
                Declaration d;
                if (!dataTypeOf(a.type.basetype(), d.type)) continue;
                d.arraylen = int(a.type.arraylen());
                arguments.emplace_back(a.name.string(), d);
            }
        } catch (const Error&) {
            // Not found or not loadable: the Shader request itself reports it.
        }
        found = shaderArguments.emplace(key, std::move(arguments)).first;
    }
    for (const auto& argument : found->second)
        if (argument.first == name) {
            decl = argument.second;
            if (decl.arraylen == 0) {
                Declaration one = decl;
                one.arraylen = 1;
                decl.arraylen = std::max(1, int(value.size()) / std::max(1, one.elements()));
            }
            return true;
        }
    return false;
}

void Reader::emitParams(std::vector<Emitted>& params) {
    for (Emitted& e : params) {
        switch (e.kind) {
            case Emitted::Floats:
                renderer->Parameter(e.decl.c_str(), static_cast<const float*>(e.floats.data()));
                break;
            case Emitted::Ints:
                renderer->Parameter(e.decl.c_str(), static_cast<const int*>(e.ints.data()));
                break;
            case Emitted::Strings:
                e.pointers.clear();
                for (const std::string& s : e.strings) e.pointers.push_back(s.c_str());
                renderer->Parameter(e.decl.c_str(), e.pointers.data());
                break;
        }
    }
}

void Reader::doOption(const Request& request) { settings(request, true); }
void Reader::doAttribute(const Request& request) { settings(request, false); }

// Option and Attribute "category" "name" value ... become Attribute("type category:name").
// Every pair is checked before the first is sent, so a bad pair sends nothing.
void Reader::settings(const Request& request, bool option) {
    Args a(request);
    std::string category;
    if (!a.string(category)) return fail(request, a.error());
    std::size_t first = a.next();
    if ((request.args.size() - first) % 2 != 0) {
        const Value& last = request.args.back();
        if (last.isText() && last.size() == 1)
            return fail(request, "parameter \"" + last.strings[0] + "\" has no value");
        return fail(request, notAName(last));
    }
    std::vector<Emitted> pending;
    for (std::size_t i = first; i < request.args.size(); i += 2) {
        if (!readSetting(request, option, category, i, pending)) return;
    }
    for (Emitted& e : pending) sendSetting(e);
}

// One "name" value pair of a setting into `out`; false when it was reported as an error.
// Names OVO has no use for are reported once per file and skipped.
bool Reader::readSetting(const Request& request, bool option, const std::string& category,
                         std::size_t at, std::vector<Emitted>& out) {
    const Value& key = request.args[at];
    const Value& given = request.args[at + 1];
    if (!isParameterName(key)) return fail(request, notAName(key)), false;
    Declaration decl;
    std::string name;
    DeclParse parsed = decls.resolve(key.strings[0], decl, name);
    if (parsed == DeclParse::Bad)
        return fail(request, "bad parameter declaration \"" + key.strings[0] + "\""), false;
    if (category == "identifier") return true;  // names for people; nothing to render

    std::string rib = category + ":" + name;
    std::string ovoName;
    if (category == "user") {
        ovoName = rib;
        if (parsed != DeclParse::Ok && given.kind == Value::Bare)
            return report(Level::Err, request.line, notDeclared(request, key.strings[0])), true;
        if (parsed != DeclParse::Ok) decl = guess(given);
        decl.storage = StorageClass::Constant;
    } else if (!renamedSetting(rib, ovoName, decl)) {
        if (withoutEffect(option, category)) {
            noteOnce(request, (option ? "Option:" : "Attribute:") + rib,
                     std::string(option ? "Option" : "Attribute") + " \"" + category + "\" \"" +
                         name + "\" changes nothing in a ray tracer. Ignoring ...");
            return true;
        }
        std::string text = std::string(option ? "Option" : "Attribute") + " \"" + category +
                           "\" \"" + name + "\" is not supported. Ignoring ...";
        warnOnce(request, (option ? "Option:" : "Attribute:") + rib, text);
        return true;
    }
    std::size_t need = std::size_t(decl.elements());
    if (given.kind == Value::Bare && !given.bare)
        return fail(request, "\"" + name + "\" has no value"), false;
    Value read;
    const Value& value = given.kind == Value::Bare ? (read = sized(given, decl, need)) : given;
    if (rib == "visibility:transmission" && value.isText() && value.size() == 1)
        return transmission(request, value.strings[0], out);

    std::string problem = valueProblem("\"" + name + "\"", decl, value, need, "a string");
    if (!problem.empty()) return fail(request, problem), false;
    Emitted e;
    e.decl = decl.ovoText(ovoName, false);
    fill(e, decl, value, need);
    if (rib == "limits:texturememory" && !e.ints.empty()) {
        // RIB gives texture memory in kilobytes, OVO takes megabytes.
        int kb = e.ints[0];
        e.ints[0] = kb <= 0 ? 0 : (kb > 2147482624 ? 2097151 : (kb + 1023) / 1024);
    }
    out.push_back(std::move(e));
    return true;
}

// The old string form of Attribute "visibility" "transmission": opaque, transparent, or
// shadows from the opacity ("Os", "shader").
bool Reader::transmission(const Request& request, const std::string& mode,
                          std::vector<Emitted>& out) {
    if (mode != "transparent" && mode != "opaque" && mode != "Os" && mode != "shader")
        return fail(request, "unknown transmission \"" + mode + "\""), false;
    out.push_back(intSetting("int ray:shadows", mode == "transparent" ? 0 : 1));
    if (mode != "transparent")
        out.push_back(intSetting("int ray:opaqueshadows", mode == "opaque" ? 1 : 0));
    return true;
}

// One value is sent as a value, more as an array; a float array of one ("float[1]") stays
// an array.
void Reader::sendSetting(Emitted& e) {
    const char* decl = e.decl.c_str();
    switch (e.kind) {
        case Emitted::Ints:
            if (e.ints.size() == 1)
                renderer->Attribute(decl, e.ints[0]);
            else
                renderer->Attribute(decl, static_cast<const int*>(e.ints.data()));
            break;
        case Emitted::Floats:
            if (e.floats.size() == 1 && std::strncmp(decl, "float ", 6) == 0)
                renderer->Attribute(decl, e.floats[0]);
            else
                renderer->Attribute(decl, static_cast<const float*>(e.floats.data()));
            break;
        case Emitted::Strings:
            if (e.strings.size() == 1) {
                renderer->Attribute(decl, e.strings[0].c_str());
            } else {
                for (const std::string& s : e.strings) e.pointers.push_back(s.c_str());
                renderer->Attribute(decl, e.pointers.data());
            }
            break;
    }
}

}  // namespace rib
}  // namespace ovo
