// The typed calls: Parameter, Attribute and GetAttribute with their checks and messages,
// the attribute record with copy on write, user attributes and saved states.
#include <cstring>
#include <string>

#include "tests/api/api_test_util.h"

namespace ovo {
namespace testing {
namespace {

TEST_F(RaytracerTest, ParameterAppendsTypedValues) {
    const float P[6] = {0, 0, 0, 1, 1, 1};
    const int n[3] = {3, 4, 5};
    const char* names[2] = {"a", "b"};
    renderer->Parameter("vertex point P", P);
    renderer->Parameter("int[] n", n);
    renderer->Parameter("float radius", 2.5f);
    renderer->Parameter("float zmin", 3);  // an int fills a single float
    renderer->Parameter("float zmax", 4.0);
    renderer->Parameter("int count", 7);
    renderer->Parameter("string basis", "bezier");
    renderer->Parameter("string[2] layers", names);
    renderer->Parameter("color Cs", ParamType(TypeColor), P);
    renderer->Parameter("matrix m", static_cast<const void*>(P));
    expectSilence();

    const ParameterSet& pending = renderer->getPendingParameters();
    ASSERT_EQ(pending.size(), 10u);
    EXPECT_STREQ(pending[0]->type().c_str(), "vertex point");
    EXPECT_EQ(pending[0]->getFloats(), P);  // arrays are referred to, not copied
    EXPECT_EQ(pending[1]->getInts(), n);
    EXPECT_FLOAT_EQ(pending.findFloat("radius", 0.0f), 2.5f);
    EXPECT_FLOAT_EQ(pending.findFloat("zmin", 0.0f), 3.0f);
    EXPECT_FLOAT_EQ(pending.findFloat("zmax", 0.0f), 4.0f);
    EXPECT_EQ(pending.findInt("count", 0), 7);
    EXPECT_STREQ(pending.findString("basis", ""), "bezier");
    EXPECT_EQ(pending[7]->getStrings()[1], names[1]);
    EXPECT_STREQ(pending[8]->name().c_str(), "color Cs");  // the name is taken as given
    EXPECT_STREQ(pending[9]->type().c_str(), "matrix");
}

TEST_F(RaytracerTest, ParameterRefusals) {
    const float f[3] = {1, 2, 3};
    const int i[2] = {1, 2};
    const char* s[1] = {"x"};

    renderer->Parameter("P", f);
    expectReport(kError, "Parameter: could not guess type information from \"P\". Skipping ...");
    renderer->Parameter(static_cast<const char*>(nullptr), 1.0f);
    expectReport(kError,
                 "Parameter: could not guess type information from \"(null)\". Skipping ...");
    renderer->Parameter("double d", 1.0f);
    expectReport(kError, "Parameter: unsupported type 'double' for \"d\". Skipping ...");
    renderer->Parameter("uint u", 1);
    expectReport(kError, "Parameter: unsupported type 'uint' for \"u\". Skipping ...");
    renderer->Parameter("x", ParamType(), 1.0f);
    expectReport(kError, "Parameter: unsupported type '<unknown>' for \"x\". Skipping ...");
    renderer->Parameter("float[2] st", 1.0f);
    expectReport(kError,
                 "Parameter: type for \"float[2] st\" doesn't match the 'float' you passed. "
                 "Skipping ...");
    renderer->Parameter("vertex float w", 1);
    expectReport(kError,
                 "Parameter: type for \"vertex float w\" doesn't match the 'int' you passed. "
                 "Skipping ...");
    renderer->Parameter("string a", 1.0);  // doubles report as floats
    expectReport(kError,
                 "Parameter: type for \"string a\" doesn't match the 'float' you passed. "
                 "Skipping ...");
    renderer->Parameter("int a", "text");
    expectReport(kError,
                 "Parameter: type for \"int a\" doesn't match the 'char*' you passed. "
                 "Skipping ...");
    renderer->Parameter("float a", i);
    expectReport(kError,
                 "Parameter: type for \"float a\" doesn't match the 'int*' you passed. "
                 "Skipping ...");
    renderer->Parameter("point a", i);
    expectReport(kError,
                 "Parameter: type for \"point a\" doesn't match the 'int*' you passed. "
                 "Skipping ...");
    renderer->Parameter("int[2] a", f);
    expectReport(kError,
                 "Parameter: type for \"int[2] a\" doesn't match the 'float*' you passed. "
                 "Skipping ...");
    renderer->Parameter("float a", s);
    expectReport(kError,
                 "Parameter: type for \"float a\" doesn't match the 'char**' you passed. "
                 "Skipping ...");
    renderer->Parameter("point a", static_cast<const float*>(nullptr));
    expectReport(kError, "Parameter: no value given for \"point a\". Skipping ...");
    renderer->Parameter("string a", static_cast<const char*>(nullptr));
    expectReport(kError, "Parameter: no value given for \"string a\". Skipping ...");
    renderer->Parameter(nullptr, ParamType(TypeFloat), static_cast<const void*>(nullptr));
    expectReport(kError, "Parameter: no value given for \"float \". Skipping ...");
    renderer->Parameter("half h", static_cast<const void*>(f));
    expectReport(kError, "Parameter: unsupported type 'half' for \"h\". Skipping ...");
    EXPECT_TRUE(renderer->getPendingParameters().empty());
}

// The compatibility of a declared type with what each value kind passes, against the rule:
// same base type with a single constant declaration or an array value; point-like
// declarations take float arrays only; ints also fill single floats.
TEST_F(RaytracerTest, DeclaredTypesAgainstValueKinds) {
    struct Case {
        const char* type;
        bool asInt, asFloat, asString, asInts, asFloats, asStrings;
    };
    const Case cases[] = {
        {"int", true, false, false, true, false, false},
        {"int[2]", false, false, false, true, false, false},
        {"vertex int", false, false, false, true, false, false},
        {"float", true, true, false, false, true, false},
        {"float[3]", false, false, false, false, true, false},
        {"float[]", false, false, false, false, true, false},
        {"linear float", false, false, false, false, true, false},
        {"string", false, false, true, false, false, true},
        {"string[2]", false, false, false, false, false, true},
        {"point", false, false, false, false, true, false},
        {"vertex normal", false, false, false, false, true, false},
        {"color[2]", false, false, false, false, true, false},
        {"hpoint", false, false, false, false, true, false},
        {"matrix", false, false, false, false, true, false},
    };
    const float f[64] = {};
    const int i[64] = {};
    const char* s[4] = {"a", "b", "c", "d"};
    for (const Case& c : cases) {
        const ParamType type(c.type);
        ASSERT_NE(type.basetype(), TypeUnknown) << c.type;
        const bool accepted[6] = {c.asInt,  c.asFloat,  c.asString,
                                  c.asInts, c.asFloats, c.asStrings};
        for (int kind = 0; kind < 6; ++kind) {
            take();
            const size_t before = renderer->getPendingParameters().size();
            switch (kind) {
                case 0:
                    renderer->Parameter("x", type, 1);
                    break;
                case 1:
                    renderer->Parameter("x", type, 1.0f);
                    break;
                case 2:
                    renderer->Parameter("x", type, "a");
                    break;
                case 3:
                    renderer->Parameter("x", type, i);
                    break;
                case 4:
                    renderer->Parameter("x", type, f);
                    break;
                case 5:
                    renderer->Parameter("x", type, s);
                    break;
            }
            const bool appended = renderer->getPendingParameters().size() == before + 1;
            EXPECT_EQ(appended, accepted[kind]) << c.type << " with kind " << kind;
            EXPECT_EQ(take().size(), appended ? 0u : 1u) << c.type << " with kind " << kind;
        }
    }
}

TEST_F(RaytracerTest, AttributeChecksAndMessages) {
    renderer->Attribute("float fov", 35.0f);
    expectSilence();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 35.0f);
    renderer->Attribute("fov", 40.0f);
    expectReport(kError, "Attribute: could not guess type information from \"fov\". Skipping ...");
    renderer->Attribute("int fov", 40);
    expectReport(kError,
                 "Attribute: \"fov\" type mismatch. Skipping ...\n\tYou passed 'int' but expected "
                 "type was 'float'.");
    renderer->Attribute("float fov", 41);  // an int declared as float is a float
    expectSilence();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 41.0f);
    renderer->Attribute("float nosuchthing", 1.0f);
    expectReport(kError, "Attribute: unknown attribute \"nosuchthing\". Skipping ...");
    renderer->Attribute("double fov", 1.0f);
    expectReport(kError, "Attribute: unsupported type 'double' for \"fov\". Skipping ...");
    renderer->Attribute("float fov", "wide");
    expectReport(kError,
                 "Attribute: type for \"float fov\" doesn't match the 'char*' you passed. "
                 "Skipping ...");

    // Non-constant declarations are demoted first; the bias then matches its declaration.
    renderer->Attribute("vertex float shadow:bias", 0.5f);
    expectReport(kWarning,
                 "Attribute: demoting \"vertex float shadow:bias\" to a constant attribute. ");
    EXPECT_FLOAT_EQ(renderer->getAttributes().shadowBias, 0.5f);
    // Declared vertex names can therefore never be matched.
    const float P[3] = {0, 0, 0};
    renderer->Attribute("vertex point P", P);
    auto reports = take();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].first, kWarning);
    EXPECT_EQ(reports[1].second,
              "Attribute: \"P\" type mismatch. Skipping ...\n\tYou passed 'point' but expected "
              "type was 'vertex point'.");

    // Declared names that no handler of the value kind implements.
    const char* words[1] = {"x"};
    renderer->Attribute("string shading:diffuse", "on");
    expectReport(kError,
                 "Attribute: unimplemented attribute \"string shading:diffuse\". Skipping ...");
    renderer->Attribute("string[2] orientation", words);
    expectReport(kError,
                 "Attribute: \"orientation\" type mismatch. Skipping ...\n\tYou passed "
                 "'string[2]' but expected type was 'string'.");
    renderer->Attribute("string orientation", words);
    expectReport(kError, "Attribute: unimplemented attribute \"string orientation\". Skipping ...");
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    renderer->Attribute("matrix transform", m);
    expectReport(kError, "Attribute: unimplemented attribute \"matrix transform\". Skipping ...");
    const int one[1] = {1};
    renderer->Attribute("int twosided", one);
    expectReport(kError, "Attribute: unimplemented attribute \"int twosided\". Skipping ...");
    renderer->Attribute("float shadow:bias", m);
    expectReport(kError, "Attribute: unimplemented attribute \"float shadow:bias\". Skipping ...");
    renderer->Attribute("string renderer:name", "other");
    expectReport(kError,
                 "Attribute: unimplemented attribute \"string renderer:name\". Skipping ...");

    renderer->Attribute("color C", static_cast<const float*>(nullptr));
    expectReport(kError, "Attribute: no value given for \"color C\". Skipping ...");
    renderer->Attribute("string projection", static_cast<const char*>(nullptr));
    expectReport(kError, "Attribute: no value given for \"string projection\". Skipping ...");
    renderer->Attribute(nullptr, ParamType(TypeInt), 1);
    expectReport(kError, "Attribute: unknown attribute \"\". Skipping ...");
    EXPECT_EQ(renderer->getOptions().projection, "perspective");
}

TEST_F(RaytracerTest, UntypedValuesGoByTheirType) {
    const int samples = 5;
    const int res[2] = {320, 240};
    const float fov = 30.0f;
    const float grey[3] = {0.5f, 0.5f, 0.5f};
    const char* projection = "orthographic";
    renderer->Attribute("int light:nsamples", static_cast<const void*>(&samples));
    renderer->Attribute("int[2] resolution", static_cast<const void*>(res));
    renderer->Attribute("float fov", static_cast<const void*>(&fov));
    renderer->Attribute("color C", static_cast<const void*>(grey));
    renderer->Attribute("string projection", static_cast<const void*>(&projection));
    expectSilence();
    EXPECT_EQ(renderer->getAttributes().lightSamples, 5);
    EXPECT_EQ(renderer->getOptions().resolution[1], 240);
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 30.0f);
    EXPECT_EQ(renderer->getAttributes().color(), Color(0.5f));
    EXPECT_EQ(renderer->getOptions().projection, "orthographic");

    renderer->Attribute("half fov", static_cast<const void*>(&fov));
    expectReport(kError, "Attribute: unsupported type 'half' for \"fov\". Skipping ...");
    renderer->Attribute("float fov", static_cast<const void*>(nullptr));
    expectReport(kError, "Attribute: no value given for \"float fov\". Skipping ...");

    float read = 0.0f;
    EXPECT_TRUE(renderer->GetAttribute("float fov", static_cast<void*>(&read)));
    EXPECT_FLOAT_EQ(read, 30.0f);
    const char* name = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string renderer:name", static_cast<void*>(&name)));
    EXPECT_STREQ(name, "OVO");
    int version[3] = {0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("int[3] renderer:version", static_cast<void*>(version)));
    EXPECT_EQ(version[1], 5);
    EXPECT_FALSE(renderer->GetAttribute("float fov", static_cast<void*>(nullptr)));
    expectReport(kError, "GetAttribute: no storage given for \"float fov\". Skipping ...");
}

TEST_F(RaytracerTest, AttributesOfTheRecord) {
    const Attributes& a = renderer->getAttributes();
    renderer->Attribute("int twosided", 0);
    EXPECT_FALSE(a.twoSided);
    renderer->Attribute("int light:nsamples", 0);
    EXPECT_EQ(a.lightSamples, 1);
    renderer->Attribute("int light:nsamples", 8);
    EXPECT_EQ(a.lightSamples, 8);
    renderer->Attribute("int ray:opaqueshadows", 0);
    EXPECT_TRUE(a.shading->transparentShadows);
    renderer->Attribute("int ray:camera", 0);
    renderer->Attribute("int ray:diffuse", 0);
    renderer->Attribute("int ray:reflections", 2);
    renderer->Attribute("int ray:shadows", 0);
    EXPECT_FALSE(a.shading->rayCamera);
    EXPECT_FALSE(a.shading->rayDiffuse);
    EXPECT_TRUE(a.shading->rayReflections);
    EXPECT_FALSE(a.shading->rayShadows);
    renderer->Attribute("int occlusion:minsamples", 7);
    renderer->Attribute("int indirect:minsamples", 9);
    renderer->Attribute("float occlusion:maxerror", 0.5f);
    renderer->Attribute("float occlusion:maxpixeldist", 10.0f);
    renderer->Attribute("float indirect:maxerror", 0.125f);
    renderer->Attribute("float indirect:maxpixeldist", 5.0f);
    EXPECT_EQ(a.occlusionMinSamples, 7);
    EXPECT_EQ(a.indirectMinSamples, 9);
    EXPECT_FLOAT_EQ(a.occlusionMaxError, 0.5f);
    EXPECT_FLOAT_EQ(a.occlusionMaxPixelDistance, 10.0f);
    EXPECT_FLOAT_EQ(a.indirectMaxError, 0.125f);
    EXPECT_FLOAT_EQ(a.indirectMaxPixelDistance, 5.0f);
    const float red[3] = {1, 0, 0};
    renderer->Attribute("color opacity", red);
    EXPECT_EQ(a.opacity(), Color(1, 0, 0));

    renderer->Attribute("string light:shadows", "on");
    EXPECT_TRUE(a.lightShadows);
    renderer->Attribute("string light:shadows", "yes");
    expectReport(kWarning,
                 "Valid arguments for \"light:shadows\" are \"on/off\". Received \"yes\". "
                 "Skipping ...");
    EXPECT_TRUE(a.lightShadows);
    renderer->Attribute("string trimcurve:sense", "outside");
    EXPECT_FALSE(a.trimSenseInside);
    renderer->Attribute("string trimcurve:sense", "in");
    expectReport(kWarning,
                 "Valid arguments for \"trimcurve:sense\" are \"inside/outside\". Received "
                 "\"in\". Skipping ...");
    EXPECT_FALSE(a.trimSenseInside);

    renderer->Attribute("string orientation", "reverse");
    EXPECT_TRUE(a.orientationInside);
    renderer->Attribute("string orientation", "reverse");
    EXPECT_FALSE(a.orientationInside);
    renderer->Attribute("string orientation", "inside");
    EXPECT_TRUE(a.orientationInside);
    renderer->Attribute("string orientation", "outside");
    EXPECT_FALSE(a.orientationInside);
    renderer->Attribute("string orientation", "sideways");
    expectReport(
        kWarning,
        "Valid arguments for \"orientation\" are \"outside/inside/lh/rh/reverse\".Received "
        "\"sideways\". Skipping ...");
    // Relative to the camera space, which is recorded by World().
    renderer->World();
    take();
    const Attributes& inWorld = renderer->getAttributes();
    renderer->Attribute("string orientation", "lh");
    EXPECT_FALSE(inWorld.orientationInside);
    renderer->Attribute("string orientation", "rh");
    EXPECT_TRUE(inWorld.orientationInside);
    renderer->Scale(-1.0f, 1.0f, 1.0f);  // a mirror swaps the answers
    renderer->Attribute("string orientation", "lh");
    EXPECT_TRUE(renderer->getAttributes().orientationInside);

    renderer->Attribute("string geometryset", "a");
    renderer->Attribute("string geometryset", "+b,+c,-a");
    const auto& sets = renderer->getAttributes().geometrySets;
    EXPECT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets.count(OIIO::ustring("b")), 1u);
    EXPECT_EQ(sets.count(OIIO::ustring("c")), 1u);
    renderer->Attribute("string geometryset", "d,+e");
    EXPECT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets.count(OIIO::ustring("d")), 1u);
    renderer->Attribute("string geometryset", "");
    EXPECT_TRUE(sets.empty());
    expectSilence();
}

TEST_F(RaytracerTest, ShadingRecordIsCopiedOnWrite) {
    const Reference<ShadingAttributes> outer = renderer->getAttributes().shading;
    ASSERT_TRUE(outer);
    renderer->PushAttributes();
    EXPECT_EQ(renderer->getAttributes().shading, outer);  // shared until written
    const float blue[3] = {0, 0, 1};
    renderer->Attribute("color C", blue);
    EXPECT_NE(renderer->getAttributes().shading, outer);
    EXPECT_EQ(renderer->getAttributes().color(), Color(0, 0, 1));
    EXPECT_EQ(outer->C, Color(1.0f));
    // A private record is written in place.
    const ShadingAttributes* inner = renderer->getAttributes().shading.get();
    renderer->Attribute("int ray:camera", 0);
    EXPECT_EQ(renderer->getAttributes().shading.get(), inner);
    renderer->PopAttributes();
    EXPECT_EQ(renderer->getAttributes().shading, outer);
    EXPECT_EQ(renderer->getAttributes().color(), Color(1.0f));
    EXPECT_TRUE(outer->rayCamera);

    // A record made from scratch gets its shading record on first write.
    Attributes fresh;
    EXPECT_FALSE(fresh.shading);
    fresh.writableShading().opacity = Color(0.5f);
    EXPECT_TRUE(fresh.shading);
    EXPECT_EQ(fresh.opacity(), Color(0.5f));
    const PrimitiveAttributes shared = fresh.primitiveAttributes();
    EXPECT_EQ(shared.shading, fresh.shading);
    EXPECT_EQ(shared.lights, fresh.lights);
    fresh.twoSided = false;
    fresh.shadowBias = 0.25f;
    const ShapeAttributes shape = fresh.shapeAttributes();
    EXPECT_FALSE(shape.twoSided);
    EXPECT_FLOAT_EQ(shape.bias, 0.25f);
    EXPECT_EQ(shape.trimCurves, fresh.trimCurves);
}

TEST_F(RaytracerTest, UserAttributes) {
    renderer->Attribute("float user:weight", 1.0f);
    renderer->Attribute("float user:weight", 2.0f);
    const float v[3] = {1, 2, 3};
    renderer->Attribute("vector user:dir", v);
    renderer->Attribute("string user:label", "left");
    renderer->Attribute("int user:id", 12);
    renderer->Attribute("float user:scaled", 3);
    expectSilence();
    EXPECT_EQ(renderer->getAttributes().userAttributes.size(), 5u);

    float weight = 0.0f;
    EXPECT_TRUE(renderer->GetAttribute("float user:weight", weight));
    EXPECT_FLOAT_EQ(weight, 2.0f);
    float dir[3] = {0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_FLOAT_EQ(dir[2], 3.0f);
    const char* label = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string user:label", label));
    EXPECT_STREQ(label, "left");
    int id = 0;
    EXPECT_TRUE(renderer->GetAttribute("int user:id", id));
    EXPECT_EQ(id, 12);
    double scaled = 0.0;
    EXPECT_TRUE(renderer->GetAttribute("float user:scaled", scaled));
    EXPECT_DOUBLE_EQ(scaled, 3.0);

    // A value changes type when it is set again.
    renderer->Attribute("int user:weight", 4);
    EXPECT_FALSE(renderer->GetAttribute("float user:weight", weight));
    expectReport(kError,
                 "GetAttribute: \"user:weight\" type mismatch. Skipping ...\n\tYou passed "
                 "'float' but expected type was 'int'.");
    EXPECT_FLOAT_EQ(weight, 2.0f);
    EXPECT_FALSE(renderer->GetAttribute("float user:missing", weight));
    expectReport(kError, "GetAttribute: unknown attribute \"user:missing\". Skipping ...");

    // User attributes belong to the attribute block, and their values are their own.
    renderer->PushAttributes();
    renderer->Attribute("vector user:dir", v);
    float changed[3] = {7, 8, 9};
    renderer->Attribute("vector user:dir", changed);
    changed[0] = 100.0f;
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_FLOAT_EQ(dir[0], 7.0f);
    renderer->PopAttributes();
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_FLOAT_EQ(dir[0], 1.0f);
    expectSilence();
}

TEST_F(RaytracerTest, GetAttributeReadsTheReadOnlyNames) {
    const char* text = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("string renderer:name", text));
    EXPECT_STREQ(text, "OVO");
    EXPECT_TRUE(renderer->GetAttribute("string renderer:versionstring", text));
    EXPECT_STREQ(text, "1.5.0");
    int version[3] = {0, 0, 0};
    EXPECT_TRUE(renderer->GetAttribute("int[3] renderer:version", version));
    EXPECT_EQ(version[0], 1);
    EXPECT_EQ(version[1], 5);
    EXPECT_EQ(version[2], 0);
    expectSilence();

    // Failures write nothing and answer false.
    float fov = -1.0f;
    EXPECT_FALSE(renderer->GetAttribute("fov", fov));
    expectReport(kError,
                 "GetAttribute: could not guess type information from \"fov\". Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("float near", fov));
    expectReport(kError, "GetAttribute: unimplemented attribute \"near\". Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("float nothing", fov));
    expectReport(kError, "GetAttribute: unknown attribute \"nothing\". Skipping ...");
    EXPECT_FLOAT_EQ(fov, -1.0f);
    int count = 0;
    EXPECT_FALSE(renderer->GetAttribute("float fov", count));
    expectReport(kError,
                 "GetAttribute: type for \"float fov\" doesn't match the 'int&' you passed. "
                 "Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("int fov", fov));
    expectReport(kError,
                 "GetAttribute: type for \"int fov\" doesn't match the 'float&' you passed. "
                 "Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("float frames", text));
    expectReport(kError,
                 "GetAttribute: type for \"float frames\" doesn't match the 'char*&' you passed. "
                 "Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("string renderer:version", version));
    expectReport(kError,
                 "GetAttribute: type for \"string renderer:version\" doesn't match the 'int*' you "
                 "passed. Skipping ...");
    float screen[4];
    EXPECT_FALSE(renderer->GetAttribute("string screen", screen));
    expectReport(kError,
                 "GetAttribute: type for \"string screen\" doesn't match the 'float*' you passed. "
                 "Skipping ...");
    char* strings[2] = {nullptr, nullptr};
    EXPECT_FALSE(renderer->GetAttribute("float orientation", strings));
    expectReport(kError,
                 "GetAttribute: type for \"float orientation\" doesn't match the 'char**' you "
                 "passed. Skipping ...");
    EXPECT_FALSE(renderer->GetAttribute("string orientation", strings));
    expectReport(kError, "GetAttribute: unimplemented attribute \"orientation\". Skipping ...");
    // Demoted with a warning, then read.
    EXPECT_TRUE(renderer->GetAttribute("vertex float fov", fov));
    expectReport(kWarning, "GetAttribute: demoting \"vertex float fov\" to a constant attribute. ");
    EXPECT_FLOAT_EQ(fov, 90.0f);
    EXPECT_FALSE(renderer->GetAttribute("int8 fov", count));
    take();
    EXPECT_FALSE(renderer->GetAttribute("float fov", static_cast<float*>(nullptr)));
    expectReport(kError, "GetAttribute: no storage given for \"float fov\". Skipping ...");
}

TEST_F(RaytracerTest, GetAttributeTransformInHostOrder) {
    renderer->Translate(1.0f, 2.0f, 3.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    float m[16];
    ASSERT_TRUE(renderer->GetAttribute("matrix transform", m));
    // Row vectors: the translation is in elements 12 to 14 and the scale on the diagonal.
    const float expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], expected[i]) << i;
    // Reading it back through SetTransform gives the same transformation.
    renderer->PushTransform();
    renderer->SetTransform(m);
    float again[16];
    ASSERT_TRUE(renderer->GetAttribute("matrix transform", again));
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(again[i], expected[i]) << i;
    renderer->PopTransform();
    expectSilence();
}

TEST_F(RaytracerTest, SaveAndRestoreWithPartialMasks) {
    const float red[3] = {1, 0, 0};
    const float green[3] = {0, 1, 0};
    const float half[3] = {0.5f, 0.5f, 0.5f};
    renderer->Attribute("color C", red);
    renderer->Attribute("color opacity", half);
    renderer->Translate(1.0f, 0.0f, 0.0f);
    renderer->SaveAttributes("look", "C,transform");
    expectSilence();
    EXPECT_EQ(renderer->getNamedSpaces()[OIIO::ustring("look")], ::Translate(1.0f, 0.0f, 0.0f));

    renderer->Attribute("color C", green);
    renderer->Attribute("color opacity", green);
    renderer->Translate(0.0f, 5.0f, 0.0f);
    renderer->RestoreAttributes("look", "C,opacity");
    expectReport(kWarning,
                 "RestoreAttributes: missing attributes from state \"look\"\tPerforming partial "
                 "restore");
    EXPECT_EQ(renderer->getAttributes().color(), Color(1, 0, 0));
    EXPECT_EQ(renderer->getAttributes().opacity(), Color(0, 1, 0));  // not saved
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 5.0f, 0.0f));

    renderer->Attribute("color C", green);
    renderer->RestoreAttributes("look", nullptr);
    expectSilence();
    EXPECT_EQ(renderer->getAttributes().color(), Color(1, 0, 0));
    EXPECT_EQ(renderer->getCurrentTransform(), ::Translate(1.0f, 0.0f, 0.0f));

    renderer->RestoreAttributes("nothing", nullptr);
    expectReport(kError, "RestoreAttributes: unknown attribute state \"nothing\"");
}

TEST_F(RaytracerTest, SaveAndRestoreEveryCategory) {
    renderer->Attribute("int twosided", 0);
    renderer->Attribute("string orientation", "inside");
    renderer->Attribute("int light:nsamples", 4);
    renderer->Attribute("float shadow:bias", 0.5f);
    renderer->Attribute("string trimcurve:sense", "outside");
    renderer->Attribute("float occlusion:maxerror", 0.1f);
    renderer->Attribute("float occlusion:maxpixeldist", 2.0f);
    renderer->Attribute("int occlusion:minsamples", 5);
    renderer->Attribute("float indirect:maxerror", 0.2f);
    renderer->Attribute("float indirect:maxpixeldist", 3.0f);
    renderer->Attribute("int indirect:minsamples", 6);
    renderer->Attribute("float user:k", 9.0f);
    const Attributes saved = renderer->getAttributes();
    renderer->SaveAttributes("all", nullptr);
    // Only a full save carries the user attributes.
    renderer->SaveAttributes("listed",
                             "orientation,twosided,trimcurve:sense,light:nsamples,shadow:bias,"
                             "shaders,lights,trimcurve,occlusion:maxerror,occlusion:maxpixeldist,"
                             "occlusion:minsamples,indirect:maxerror,indirect:maxpixeldist,"
                             "indirect:minsamples");
    expectSilence();

    for (const char* state : {"all", "listed"}) {
        renderer->PushAttributes();
        Attributes& a = renderer->getAttributes();
        a = Attributes();
        renderer->RestoreAttributes(state, nullptr);
        expectSilence();
        const Attributes& r = renderer->getAttributes();
        EXPECT_EQ(r.twoSided, saved.twoSided) << state;
        EXPECT_EQ(r.orientationInside, saved.orientationInside) << state;
        EXPECT_EQ(r.lightSamples, 4) << state;
        EXPECT_FLOAT_EQ(r.shadowBias, 0.5f) << state;
        EXPECT_FALSE(r.trimSenseInside) << state;
        EXPECT_FLOAT_EQ(r.occlusionMaxError, 0.1f) << state;
        EXPECT_FLOAT_EQ(r.occlusionMaxPixelDistance, 2.0f) << state;
        EXPECT_EQ(r.occlusionMinSamples, 5) << state;
        EXPECT_FLOAT_EQ(r.indirectMaxError, 0.2f) << state;
        EXPECT_FLOAT_EQ(r.indirectMaxPixelDistance, 3.0f) << state;
        EXPECT_EQ(r.indirectMinSamples, 6) << state;
        EXPECT_EQ(r.lights, saved.lights) << state;
        EXPECT_EQ(r.trimCurves, saved.trimCurves) << state;
        EXPECT_EQ(r.surface, saved.surface) << state;
        EXPECT_EQ(r.userAttributes.size(), std::string(state) == "all" ? 1u : 0u) << state;
        renderer->PopAttributes();
    }

    renderer->SaveAttributes("odd", "C, opacity");
    expectReport(kError, "Save/RestoreAttributes: unknown attribute \" opacity\"");
    renderer->SaveAttributes("odd", "bogus,C,,opacity");
    auto reports = take();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].second, "Save/RestoreAttributes: unknown attribute \"bogus\"");
    EXPECT_EQ(reports[1].second, "Save/RestoreAttributes: unknown attribute \"\"");
    // The words that were read still count: colour and opacity restore without a warning.
    renderer->RestoreAttributes("odd", "opacity,C");
    expectSilence();
    renderer->SaveAttributes(nullptr, "C");
    renderer->RestoreAttributes(nullptr, nullptr);
    expectSilence();
}

}  // namespace
}  // namespace testing
}  // namespace ovo
