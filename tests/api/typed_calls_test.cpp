// The typed calls: what Parameter, Attribute and GetAttribute accept for each value kind, and
// each refusal with its message.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/api/api_test_util.h"

using namespace ovo;

namespace ovotest {
namespace {

// What a call is given: a value of one kind, or a null pointer of one (the No kinds).
enum Kind { Int, Float, Double, Text, Ints, Floats, Texts, Untyped, NoFloats, NoText, NoUntyped };
const char* const KindNames[] = {"Int",   "Float",   "Double",   "Text",   "Ints",     "Floats",
                                 "Texts", "Untyped", "NoFloats", "NoText", "NoUntyped"};

// Parameter ('P') or Attribute ('A') with a value of `kind`.
void set(RendererAPI& r, char call, const char* decl, Kind kind) {
    static const int ints[64] = {};
    static const float floats[64] = {};
    static const char* texts[4] = {"a", "b", "c", "d"};
    auto go = [&](auto value) {
        call == 'P' ? r.Parameter(decl, value) : r.Attribute(decl, value);
    };
    if (kind == Int) return go(1);
    if (kind == Float) return go(1.0f);
    if (kind == Double) return go(1.0);
    if (kind == Text) return go("text");
    if (kind == Ints) return go(static_cast<const int*>(ints));
    if (kind == Floats) return go(static_cast<const float*>(floats));
    if (kind == Texts) return go(static_cast<const char**>(texts));
    if (kind == Untyped) return go(static_cast<const void*>(floats));
    if (kind == NoFloats) return go(static_cast<const float*>(nullptr));
    if (kind == NoText) return go(static_cast<const char*>(nullptr));
    go(static_cast<const void*>(nullptr));
}

// Storage GetAttribute writes into; the sentinels show when a refused call wrote anyway.
struct Storage {
    int i = -7, ints[4] = {-7, -7, -7, -7};
    float f = -7.0f, floats[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
    const char* text = nullptr;
    char* texts[2] = {nullptr, nullptr};
};

bool get(RendererAPI& r, const char* decl, Kind kind, Storage& s) {
    if (kind == Int) return r.GetAttribute(decl, s.i);
    if (kind == Float) return r.GetAttribute(decl, s.f);
    if (kind == Text) return r.GetAttribute(decl, s.text);
    if (kind == Ints) return r.GetAttribute(decl, s.ints);
    if (kind == Floats) return r.GetAttribute(decl, s.floats);
    if (kind == Texts) return r.GetAttribute(decl, s.texts);
    if (kind == NoFloats) return r.GetAttribute(decl, static_cast<float*>(nullptr));
    return r.GetAttribute(decl, static_cast<void*>(nullptr));
}

// One refusal a line: call (P, A or G for GetAttribute), declaration ("-" for none), value
// kind, message after "<call>: ". One-line messages end in ". Skipping ..." besides.
const char* const Refusals = R"rows(P|P|Floats|could not guess type information from "P"
P|-|Float|could not guess type information from "(null)"
P|double d|Float|unsupported type 'double' for "d"
P|half h|Untyped|unsupported type 'half' for "h"
P|string a|Double|type for "string a" doesn't match the 'float' you passed
P|point a|NoFloats|no value given for "point a"
P|string a|NoText|no value given for "string a"
A|fov|Float|could not guess type information from "fov"
A|int fov|Int|"fov" type mismatch. Skipping ...\n\tYou passed 'int' but expected type was 'float'.
A|float nosuchthing|Float|unknown attribute "nosuchthing"
A|double fov|Float|unsupported type 'double' for "fov"
A|half fov|Untyped|unsupported type 'half' for "fov"
A|float fov|Text|type for "float fov" doesn't match the 'char*' you passed
A|string shading:diffuse|Text|unimplemented attribute "string shading:diffuse"
A|string[2] orientation|Texts|"orientation" type mismatch. Skipping ...\n\tYou passed 'string[2]' but expected type was 'string'.
A|string orientation|Texts|unimplemented attribute "string orientation"
A|matrix transform|Floats|unimplemented attribute "matrix transform"
A|int twosided|Ints|unimplemented attribute "int twosided"
A|float shadow:bias|Floats|unimplemented attribute "float shadow:bias"
A|string renderer:name|Text|unimplemented attribute "string renderer:name"
A|color C|NoFloats|no value given for "color C"
A|string projection|NoText|no value given for "string projection"
A|float fov|NoUntyped|no value given for "float fov"
G|fov|Float|could not guess type information from "fov"
G|float near|Float|unimplemented attribute "near"
G|float nothing|Float|unknown attribute "nothing"
G|float fov|Int|type for "float fov" doesn't match the 'int&' you passed
G|int fov|Float|type for "int fov" doesn't match the 'float&' you passed
G|float frames|Text|type for "float frames" doesn't match the 'char*&' you passed
G|string renderer:version|Ints|type for "string renderer:version" doesn't match the 'int*' you passed
G|string screen|Floats|type for "string screen" doesn't match the 'float*' you passed
G|float orientation|Texts|type for "float orientation" doesn't match the 'char**' you passed
G|string orientation|Texts|unimplemented attribute "orientation"
G|float fov|NoFloats|no storage given for "float fov"
G|float fov|NoUntyped|no storage given for "float fov")rows";

TEST_F(RaytracerTest, ParameterAppendsTypedValues) {
    const float P[6] = {0, 0, 0, 1, 1, 1};
    const int n[3] = {3, 4, 5};
    const char* names[2] = {"a", "b"};
    renderer->Parameter("vertex point P", P);
    renderer->Parameter("int[] n", n);
    renderer->Parameter("float radius", 2.5f);
    renderer->Parameter("float zmin", 3);  // an int fills a single float
    renderer->Parameter("float zmax", 4.0);
    renderer->Parameter("string basis", "bezier");
    renderer->Parameter("string[2] layers", names);
    renderer->Parameter("color Cs", ParamType(TypeColor), P);
    renderer->Parameter("matrix m", static_cast<const void*>(P));
    expectSilence();
    const ParameterSet& pending = renderer->getPendingParameters();
    ASSERT_EQ(pending.size(), 9u);
    EXPECT_STREQ(pending[0]->type().c_str(), "vertex point");
    EXPECT_EQ(pending[0]->getFloats(), P);  // arrays are referred to, not copied
    EXPECT_EQ(pending[1]->getInts(), n);
    EXPECT_FLOAT_EQ(pending.findFloat("radius", 0.0f), 2.5f);
    EXPECT_FLOAT_EQ(pending.findFloat("zmin", 0.0f), 3.0f);
    EXPECT_FLOAT_EQ(pending.findFloat("zmax", 0.0f), 4.0f);
    EXPECT_STREQ(pending.findString("basis", ""), "bezier");
    EXPECT_EQ(pending[6]->getStrings()[1], names[1]);
    EXPECT_STREQ(pending[7]->name().c_str(), "color Cs");  // the name is taken as given
    EXPECT_STREQ(pending[8]->type().c_str(), "matrix");
}

// Every refusal reports once and changes nothing.
TEST_F(RaytracerTest, RefusalsOfTheTypedCalls) {
    renderer->Attribute("float fov", 41);  // an int declared as float is a float
    expectSilence();
    Storage storage;
    std::istringstream rows(Refusals);
    for (std::string row; std::getline(rows, row);) {
        SCOPED_TRACE(row);
        std::vector<std::string> f;
        std::istringstream fields(row);
        for (std::string field; std::getline(fields, field, '|');) f.push_back(field);
        ASSERT_EQ(f.size(), 4u);
        const Kind kind = Kind(std::find(KindNames, KindNames + 11, f[2]) - KindNames);
        const char* decl = f[1] == "-" ? nullptr : f[1].c_str();
        const char* call = f[0] == "P" ? "Parameter" : f[0] == "A" ? "Attribute" : "GetAttribute";
        if (f[0] == "G") {
            EXPECT_FALSE(get(*renderer, decl, kind, storage));
        } else {
            set(*renderer, f[0][0], decl, kind);
        }
        std::string text = f[3];
        const size_t escaped = text.find("\\n\\t");
        if (escaped != std::string::npos) text.replace(escaped, 4, "\n\t");
        expectReport(Error, std::string(call) + ": " + text +
                                (escaped == std::string::npos ? ". Skipping ..." : ""));
    }
    // The typed overloads check the same way.
    renderer->Parameter("x", ParamType(), 1.0f);
    expectReport(Error, "Parameter: unsupported type '<unknown>' for \"x\". Skipping ...");
    renderer->Parameter(nullptr, ParamType(TypeFloat), static_cast<const void*>(nullptr));
    expectReport(Error, "Parameter: no value given for \"float \". Skipping ...");
    renderer->Attribute(nullptr, ParamType(TypeInt), 1);
    expectReport(Error, "Attribute: unknown attribute \"\". Skipping ...");
    EXPECT_TRUE(storage.i == -7 && storage.ints[0] == -7 && storage.f == -7.0f &&
                storage.floats[0] == -7.0f && !storage.text && !storage.texts[0]);
    EXPECT_TRUE(renderer->getPendingParameters().empty());
    EXPECT_EQ(renderer->getOptions().projection, "perspective");
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 41.0f);
    EXPECT_FALSE(renderer->GetAttribute("int8 fov", storage.i));
}

// Against the rule: same base type with a single constant declaration or an array value;
// point-like declarations take float arrays only; ints also fill single floats. Every refusal
// names the declaration and the C++ type passed.
TEST_F(RaytracerTest, DeclaredTypesAgainstValueKinds) {
    // Accepted kinds, in the order Int, Float, Text, Ints, Floats, Texts.
    const std::pair<const char*, const char*> cases[] = {
        {"int", "100100"},          {"int[2]", "000100"},        {"vertex int", "000100"},
        {"float", "110010"},        {"float[3]", "000010"},      {"float[]", "000010"},
        {"linear float", "000010"}, {"string", "001001"},        {"string[2]", "000001"},
        {"point", "000010"},        {"vertex normal", "000010"}, {"color[2]", "000010"},
        {"hpoint", "000010"},       {"matrix", "000010"},
    };
    const Kind kinds[] = {Int, Float, Text, Ints, Floats, Texts};
    const char* const passed[] = {"int", "float", "char*", "int*", "float*", "char**"};
    for (const auto& c : cases) {
        ASSERT_NE(ParamType(c.first).basetype(), TypeUnknown) << c.first;
        for (int k = 0; k < 6; ++k) {
            SCOPED_TRACE(std::string(c.first) + " with kind " + std::to_string(k));
            const size_t before = renderer->getPendingParameters().size();
            set(*renderer, 'P', (std::string(c.first) + " x").c_str(), kinds[k]);
            const bool appended = renderer->getPendingParameters().size() == before + 1;
            EXPECT_EQ(appended, c.second[k] == '1');
            if (appended) {
                expectSilence();
            } else {
                expectReport(Error, "Parameter: type for \"" + std::string(c.first) +
                                        " x\" doesn't match the '" + passed[k] +
                                        "' you passed. Skipping ...");
            }
        }
    }
}

TEST_F(RaytracerTest, AttributeDemotesAndReadsUntypedValuesByTheirDeclaration) {
    renderer->Attribute("vertex float shadow:bias", 0.5f);
    expectReport(Warning,
                 "Attribute: demoting \"vertex float shadow:bias\" to a constant attribute. ");
    EXPECT_FLOAT_EQ(renderer->getAttributes().shadowBias, 0.5f);
    // Declared vertex names can therefore never be matched.
    const float P[3] = {0, 0, 0};
    renderer->Attribute("vertex point P", P);
    auto reports = take();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].code, Warning);
    EXPECT_EQ(reports[1].text,
              "Attribute: \"P\" type mismatch. Skipping ...\n\tYou passed 'point' but expected "
              "type was 'vertex point'.");

    const int samples = 5, res[2] = {320, 240};
    const float grey[3] = {0.5f, 0.5f, 0.5f}, fov = 30.0f;
    const char* projection = "orthographic";
    renderer->Attribute("int light:nsamples", static_cast<const void*>(&samples));
    renderer->Attribute("int[2] resolution", static_cast<const void*>(res));
    renderer->Attribute("float fov", static_cast<const void*>(&fov));
    renderer->Attribute("color C", static_cast<const void*>(grey));
    renderer->Attribute("string projection", static_cast<const void*>(&projection));
    renderer->Attribute("float far", 500.0);  // a double goes as a float
    const float distance[1] = {7.0f};
    renderer->Attribute("float focaldistance", distance);  // the first of an array
    expectSilence();
    const Options& o = renderer->getOptions();
    EXPECT_EQ(renderer->getAttributes().lightSamples, 5);
    EXPECT_EQ(o.resolution[1], 240);
    EXPECT_FLOAT_EQ(o.fov, 30.0f);
    EXPECT_EQ(renderer->getAttributes().color(), Color(0.5f));
    EXPECT_EQ(o.projection, "orthographic");
    EXPECT_FLOAT_EQ(o.farClip, 500.0f);
    EXPECT_FLOAT_EQ(o.focalDistance, 7.0f);
}

TEST_F(RaytracerTest, GetAttributeReadsNamesOptionsAndTheTransform) {
    const char* text = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string renderer:name", text));
    EXPECT_STREQ(text, "OVO");
    EXPECT_TRUE(renderer->GetAttribute("string renderer:versionstring", text));
    EXPECT_STREQ(text, "1.5.0");
    int version[3] = {0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("int[3] renderer:version", version));
    EXPECT_EQ(version[0] * 100 + version[1] * 10 + version[2], 150);
    float fov = 0.0f;
    double wide = 0.0;
    const char* name = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("float fov", static_cast<void*>(&fov)));
    EXPECT_TRUE(renderer->GetAttribute("string renderer:name", static_cast<void*>(&name)));
    EXPECT_TRUE(renderer->GetAttribute("float fov", wide));
    EXPECT_FLOAT_EQ(fov, 90.0f);
    EXPECT_DOUBLE_EQ(wide, 90.0);
    EXPECT_STREQ(name, "OVO");
    expectSilence();
    // Demoted with a warning, then read.
    fov = 0.0f;
    EXPECT_TRUE(renderer->GetAttribute("vertex float fov", fov));
    expectReport(Warning, "GetAttribute: demoting \"vertex float fov\" to a constant attribute. ");
    EXPECT_FLOAT_EQ(fov, 90.0f);

    renderer->Translate(1.0f, 2.0f, 3.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    // Row vectors: the translation is in elements 12 to 14 and the scale on the diagonal; read
    // back through SetTransform it gives the same transformation. Nothing past 16 is written.
    const float expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    for (int pass = 0; pass < 2; ++pass) {
        float m[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -7, -7, -7, -7};
        ASSERT_TRUE(renderer->GetAttribute("matrix transform", m));
        for (int i = 0; i < 20; ++i)
            EXPECT_FLOAT_EQ(m[i], i < 16 ? expected[i] : -7.0f) << pass << " " << i;
        renderer->SetTransform(m);
    }
    expectSilence();
}

}  // namespace
}  // namespace ovotest
