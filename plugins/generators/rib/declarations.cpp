#include "plugins/generators/rib/declarations.h"

#include <cstring>

namespace ovo {
namespace rib {

namespace {

struct Word {
    const char* text;
    int value;
};

const Word ClassWords[] = {
    {"constant", int(StorageClass::Constant)},       {"uniform", int(StorageClass::Uniform)},
    {"varying", int(StorageClass::Varying)},         {"vertex", int(StorageClass::Vertex)},
    {"facevarying", int(StorageClass::FaceVarying)}, {"facevertex", int(StorageClass::FaceVertex)},
};

const Word TypeWords[] = {
    {"float", int(DataType::Float)},   {"integer", int(DataType::Int)},
    {"int", int(DataType::Int)},       {"string", int(DataType::String)},
    {"point", int(DataType::Point)},   {"vector", int(DataType::Vector)},
    {"normal", int(DataType::Normal)}, {"color", int(DataType::Color)},
    {"hpoint", int(DataType::HPoint)}, {"matrix", int(DataType::Matrix)},
};

const char* const TypeNames[] = {"float",  "int",   "string", "point", "vector",
                                 "normal", "color", "hpoint", "matrix"};

// Names a RIB file may use without declaring them: the standard primitive variables and
// the parameters of the standard shaders.
struct Standard {
    const char* name;
    const char* decl;
};
const Standard StandardNames[] = {
    {"P", "vertex point"},
    {"Pz", "vertex float"},
    {"Pw", "vertex hpoint"},
    {"N", "varying normal"},
    {"Np", "uniform normal"},
    {"Cs", "varying color"},
    {"Os", "varying color"},
    {"s", "varying float"},
    {"t", "varying float"},
    {"st", "varying float[2]"},
    {"width", "varying float"},
    {"constantwidth", "constant float"},
    {"Ka", "uniform float"},
    {"Kd", "uniform float"},
    {"Ks", "uniform float"},
    {"Kr", "uniform float"},
    {"Kt", "uniform float"},
    {"Km", "uniform float"},
    {"roughness", "uniform float"},
    {"specularcolor", "uniform color"},
    {"intensity", "uniform float"},
    {"lightcolor", "uniform color"},
    {"from", "uniform point"},
    {"to", "uniform point"},
    {"coneangle", "uniform float"},
    {"conedeltaangle", "uniform float"},
    {"beamdistribution", "uniform float"},
    {"texturename", "uniform string"},
    {"shadowname", "uniform string"},
    {"mapname", "uniform string"},
    {"amplitude", "uniform float"},
    {"mindistance", "uniform float"},
    {"maxdistance", "uniform float"},
    {"background", "uniform color"},
    {"distance", "uniform float"},
    {"samples", "uniform float"},
    {"blur", "uniform float"},
    {"bias", "uniform float"},
    {"eta", "uniform float"},
    {"fov", "uniform float"},
};

int matchWord(const char* p, const Word* words, int count, std::size_t& length) {
    for (int i = 0; i < count; ++i) {
        std::size_t n = std::strlen(words[i].text);
        if (std::strncmp(p, words[i].text, n) == 0) {
            char next = p[n];
            if (next == '\0' || next == ' ' || next == '\t' || next == '[') {
                length = n;
                return words[i].value;
            }
        }
    }
    return -1;
}

inline bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

int Declaration::elements() const {
    static const int Sizes[] = {1, 1, 1, 3, 3, 3, 3, 4, 16};
    return Sizes[int(type)] * arraylen;
}

std::string Declaration::ovoText(const std::string& name, bool keepStorage) const {
    std::string text;
    if (keepStorage) {
        switch (storage) {
            case StorageClass::Constant:
                break;
            case StorageClass::Uniform:
                text = "perpiece ";
                break;
            case StorageClass::Varying:
            case StorageClass::FaceVarying:
                text = "linear ";
                break;
            case StorageClass::Vertex:
            case StorageClass::FaceVertex:
                text = "vertex ";
                break;
        }
    }
    text += TypeNames[int(type)];
    if (arraylen != 1) text += "[" + std::to_string(arraylen) + "]";
    text += ' ';
    text += name;
    return text;
}

DeclParse parseDeclaration(const std::string& text, Declaration& decl, std::string& name) {
    const char* p = text.c_str();
    while (isSpace(*p)) ++p;
    Declaration d;
    std::size_t n = 0;
    int cls = matchWord(p, ClassWords, int(sizeof ClassWords / sizeof ClassWords[0]), n);
    if (cls >= 0) {
        d.storage = StorageClass(cls);
        p += n;
        while (isSpace(*p)) ++p;
    }
    int type = matchWord(p, TypeWords, int(sizeof TypeWords / sizeof TypeWords[0]), n);
    if (type < 0) return cls >= 0 ? DeclParse::Bad : DeclParse::NotADeclaration;
    d.type = DataType(type);
    p += n;
    while (isSpace(*p)) ++p;
    if (*p == '[') {
        ++p;
        while (isSpace(*p)) ++p;
        if (*p < '0' || *p > '9') return DeclParse::Bad;
        long count = 0;
        while (*p >= '0' && *p <= '9') {
            count = count * 10 + (*p++ - '0');
            if (count > 1000000) return DeclParse::Bad;  // no real value is that long
        }
        while (isSpace(*p)) ++p;
        if (*p != ']' || count < 1) return DeclParse::Bad;
        d.arraylen = int(count);
        ++p;
        while (isSpace(*p)) ++p;
    }
    const char* start = p;
    while (*p && !isSpace(*p)) ++p;
    std::string word(start, p);
    while (isSpace(*p)) ++p;
    if (*p) return DeclParse::Bad;  // a name is one word
    decl = d;
    name = word;
    return DeclParse::Ok;
}

bool DeclarationTable::declare(const std::string& name, const std::string& text) {
    Declaration d;
    std::string rest;
    if (parseDeclaration(text, d, rest) != DeclParse::Ok || !rest.empty()) return false;
    if (name.empty() || name.find_first_of(" \t\n\r") != std::string::npos) return false;
    declared[name] = d;
    return true;
}

DeclParse DeclarationTable::resolve(const std::string& token, Declaration& decl,
                                    std::string& name) const {
    DeclParse result = parseDeclaration(token, decl, name);
    if (result == DeclParse::Ok) return name.empty() ? DeclParse::Bad : DeclParse::Ok;
    if (result == DeclParse::Bad) return result;
    if (token.empty() || token.find_first_of(" \t\n\r[") != std::string::npos)
        return DeclParse::Bad;
    name = token;
    auto it = declared.find(token);
    if (it != declared.end()) {
        decl = it->second;
        return DeclParse::Ok;
    }
    for (const Standard& s : StandardNames) {
        if (token == s.name) {
            std::string unused;
            parseDeclaration(s.decl, decl, unused);
            return DeclParse::Ok;
        }
    }
    return DeclParse::NotADeclaration;
}

}  // namespace rib
}  // namespace ovo
