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
    auto mismatch = [](const char* decl, const char* kind) {
        return std::string("Parameter: type for \"") + decl + "\" doesn't match the '" + kind +
               "' you passed. Skipping ...";
    };
    // One value kind per overload, so each names what it was given.
    const std::string m[] = {mismatch("float[2] st", "float"), mismatch("vertex float w", "int"),
                             mismatch("string a", "float"),    mismatch("int a", "char*"),
                             mismatch("float a", "int*"),      mismatch("int[2] a", "float*"),
                             mismatch("float a", "char**")};
    expectErrors({
        {[&] { renderer->Parameter("P", f); },
         "Parameter: could not guess type information from \"P\". Skipping ..."},
        {[&] { renderer->Parameter(static_cast<const char*>(nullptr), 1.0f); },
         "Parameter: could not guess type information from \"(null)\". Skipping ..."},
        {[&] { renderer->Parameter("double d", 1.0f); },
         "Parameter: unsupported type 'double' for \"d\". Skipping ..."},
        {[&] { renderer->Parameter("x", ParamType(), 1.0f); },
         "Parameter: unsupported type '<unknown>' for \"x\". Skipping ..."},
        {[&] { renderer->Parameter("half h", static_cast<const void*>(f)); },
         "Parameter: unsupported type 'half' for \"h\". Skipping ..."},
        {[&] { renderer->Parameter("float[2] st", 1.0f); }, m[0].c_str()},
        {[&] { renderer->Parameter("vertex float w", 1); }, m[1].c_str()},
        {[&] { renderer->Parameter("string a", 1.0); }, m[2].c_str()},  // doubles report as floats
        {[&] { renderer->Parameter("int a", "text"); }, m[3].c_str()},
        {[&] { renderer->Parameter("float a", i); }, m[4].c_str()},
        {[&] { renderer->Parameter("int[2] a", f); }, m[5].c_str()},
        {[&] { renderer->Parameter("float a", s); }, m[6].c_str()},
        {[&] { renderer->Parameter("point a", static_cast<const float*>(nullptr)); },
         "Parameter: no value given for \"point a\". Skipping ..."},
        {[&] { renderer->Parameter("string a", static_cast<const char*>(nullptr)); },
         "Parameter: no value given for \"string a\". Skipping ..."},
        {[&] {
             renderer->Parameter(nullptr, ParamType(TypeFloat), static_cast<const void*>(nullptr));
         },
         "Parameter: no value given for \"float \". Skipping ..."},
    });
    EXPECT_TRUE(renderer->getPendingParameters().empty());
}

// The compatibility of a declared type with what each value kind passes, against the rule:
// same base type with a single constant declaration or an array value; point-like
// declarations take float arrays only; ints also fill single floats.
TEST_F(RaytracerTest, DeclaredTypesAgainstValueKinds) {
    // Accepted kinds: int, float, string, int*, float*, char**.
    const std::pair<const char*, const char*> cases[] = {
        {"int", "100100"},          {"int[2]", "000100"},        {"vertex int", "000100"},
        {"float", "110010"},        {"float[3]", "000010"},      {"float[]", "000010"},
        {"linear float", "000010"}, {"string", "001001"},        {"string[2]", "000001"},
        {"point", "000010"},        {"vertex normal", "000010"}, {"color[2]", "000010"},
        {"hpoint", "000010"},       {"matrix", "000010"},
    };
    const float f[64] = {};
    const int i[64] = {};
    const char* s[4] = {"a", "b", "c", "d"};
    for (const auto& c : cases) {
        const ParamType type(c.first);
        ASSERT_NE(type.basetype(), TypeUnknown) << c.first;
        for (int kind = 0; kind < 6; ++kind) {
            SCOPED_TRACE(std::string(c.first) + " with kind " + std::to_string(kind));
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
            EXPECT_EQ(appended, c.second[kind] == '1');
            EXPECT_EQ(take().size(), appended ? 0u : 1u);
        }
    }
}

TEST_F(RaytracerTest, AttributeChecksAndMessages) {
    renderer->Attribute("float fov", 35.0f);
    renderer->Attribute("float fov", 41);  // an int declared as float is a float
    expectSilence();
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 41.0f);

    const char* words[1] = {"x"};
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int one[1] = {1};
    const float fov = 30.0f;
    expectErrors({
        {[&] { renderer->Attribute("fov", 40.0f); },
         "Attribute: could not guess type information from \"fov\". Skipping ..."},
        {[&] { renderer->Attribute("int fov", 40); },
         "Attribute: \"fov\" type mismatch. Skipping ...\n\tYou passed 'int' but expected "
         "type was 'float'."},
        {[&] { renderer->Attribute("float nosuchthing", 1.0f); },
         "Attribute: unknown attribute \"nosuchthing\". Skipping ..."},
        {[&] { renderer->Attribute(nullptr, ParamType(TypeInt), 1); },
         "Attribute: unknown attribute \"\". Skipping ..."},
        {[&] { renderer->Attribute("double fov", 1.0f); },
         "Attribute: unsupported type 'double' for \"fov\". Skipping ..."},
        {[&] { renderer->Attribute("half fov", static_cast<const void*>(&fov)); },
         "Attribute: unsupported type 'half' for \"fov\". Skipping ..."},
        {[&] { renderer->Attribute("float fov", "wide"); },
         "Attribute: type for \"float fov\" doesn't match the 'char*' you passed. Skipping ..."},
        // Declared names that no handler of the value kind implements.
        {[&] { renderer->Attribute("string shading:diffuse", "on"); },
         "Attribute: unimplemented attribute \"string shading:diffuse\". Skipping ..."},
        {[&] { renderer->Attribute("string[2] orientation", words); },
         "Attribute: \"orientation\" type mismatch. Skipping ...\n\tYou passed 'string[2]' but "
         "expected type was 'string'."},
        {[&] { renderer->Attribute("string orientation", words); },
         "Attribute: unimplemented attribute \"string orientation\". Skipping ..."},
        {[&] { renderer->Attribute("matrix transform", m); },
         "Attribute: unimplemented attribute \"matrix transform\". Skipping ..."},
        {[&] { renderer->Attribute("int twosided", one); },
         "Attribute: unimplemented attribute \"int twosided\". Skipping ..."},
        {[&] { renderer->Attribute("float shadow:bias", m); },
         "Attribute: unimplemented attribute \"float shadow:bias\". Skipping ..."},
        {[&] { renderer->Attribute("string renderer:name", "other"); },
         "Attribute: unimplemented attribute \"string renderer:name\". Skipping ..."},
        {[&] { renderer->Attribute("color C", static_cast<const float*>(nullptr)); },
         "Attribute: no value given for \"color C\". Skipping ..."},
        {[&] { renderer->Attribute("string projection", static_cast<const char*>(nullptr)); },
         "Attribute: no value given for \"string projection\". Skipping ..."},
        {[&] { renderer->Attribute("float fov", static_cast<const void*>(nullptr)); },
         "Attribute: no value given for \"float fov\". Skipping ..."},
    });
    EXPECT_EQ(renderer->getOptions().projection, "perspective");
    EXPECT_FLOAT_EQ(renderer->getOptions().fov, 41.0f);

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

    // Untyped values go by their declared type.
    const int samples = 5, res[2] = {320, 240};
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
}

TEST_F(RaytracerTest, AttributesOfTheRecord) {
    const Attributes& a = renderer->getAttributes();
    renderer->Attribute("int twosided", 0);
    renderer->Attribute("int light:nsamples", 0);
    EXPECT_FALSE(a.twoSided);
    EXPECT_EQ(a.lightSamples, 1);  // at least one
    renderer->Attribute("int ray:opaqueshadows", 0);
    renderer->Attribute("int ray:camera", 0);
    renderer->Attribute("int ray:diffuse", 0);
    renderer->Attribute("int ray:reflections", 2);
    renderer->Attribute("int ray:shadows", 0);
    EXPECT_TRUE(a.shading->transparentShadows);
    EXPECT_FALSE(a.shading->rayCamera);
    EXPECT_FALSE(a.shading->rayDiffuse);
    EXPECT_TRUE(a.shading->rayReflections);
    EXPECT_FALSE(a.shading->rayShadows);
    const float red[3] = {1, 0, 0};
    renderer->Attribute("color opacity", red);
    EXPECT_EQ(a.opacity(), Color(1, 0, 0));

    // Keyword attributes keep their value on a word they do not know.
    renderer->Attribute("string light:shadows", "on");
    renderer->Attribute("string light:shadows", "yes");
    expectReport(kWarning,
                 "Valid arguments for \"light:shadows\" are \"on/off\". Received \"yes\". "
                 "Skipping ...");
    EXPECT_TRUE(a.lightShadows);
    renderer->Attribute("string trimcurve:sense", "outside");
    renderer->Attribute("string trimcurve:sense", "in");
    expectReport(kWarning,
                 "Valid arguments for \"trimcurve:sense\" are \"inside/outside\". Received "
                 "\"in\". Skipping ...");
    EXPECT_FALSE(a.trimSenseInside);
    const std::pair<const char*, bool> orientations[] = {
        {"reverse", true}, {"reverse", false}, {"inside", true}, {"outside", false}};
    for (const auto& o : orientations) {
        renderer->Attribute("string orientation", o.first);
        EXPECT_EQ(a.orientationInside, o.second) << o.first;
    }
    renderer->Attribute("string orientation", "sideways");
    expectReport(
        kWarning,
        "Valid arguments for \"orientation\" are \"outside/inside/lh/rh/reverse\".Received "
        "\"sideways\". Skipping ...");
    // Relative to the camera space, which is recorded by World().
    renderer->World();
    take();
    renderer->Attribute("string orientation", "lh");
    EXPECT_FALSE(renderer->getAttributes().orientationInside);
    renderer->Attribute("string orientation", "rh");
    EXPECT_TRUE(renderer->getAttributes().orientationInside);
    renderer->Scale(-1.0f, 1.0f, 1.0f);  // a mirror swaps the answers
    renderer->Attribute("string orientation", "lh");
    EXPECT_TRUE(renderer->getAttributes().orientationInside);

    renderer->Attribute("string geometryset", "a");
    renderer->Attribute("string geometryset", "+b,+c,-a");
    const auto& sets = renderer->getAttributes().geometrySets;
    EXPECT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets.count(OIIO::ustring("b")) + sets.count(OIIO::ustring("c")), 2u);
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
    EXPECT_TRUE(outer->rayCamera);

    // A record made from scratch gets its shading record on first write, and the shape and
    // primitive views share what they refer to.
    Attributes fresh;
    EXPECT_FALSE(fresh.shading);
    fresh.writableShading().opacity = Color(0.5f);
    EXPECT_EQ(fresh.opacity(), Color(0.5f));
    EXPECT_EQ(fresh.primitiveAttributes().shading, fresh.shading);
    fresh.shadowBias = 0.25f;
    EXPECT_FLOAT_EQ(fresh.shapeAttributes().bias, 0.25f);
    EXPECT_EQ(fresh.shapeAttributes().trimCurves, fresh.trimCurves);
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

    float weight = 0.0f, dir[3] = {0, 0, 0};
    const char* label = nullptr;
    int id = 0;
    double scaled = 0.0;
    EXPECT_TRUE(renderer->GetAttribute("float user:weight", weight));
    EXPECT_TRUE(renderer->GetAttribute("vector user:dir", dir));
    EXPECT_TRUE(renderer->GetAttribute("string user:label", label));
    EXPECT_TRUE(renderer->GetAttribute("int user:id", id));
    EXPECT_TRUE(renderer->GetAttribute("float user:scaled", scaled));
    EXPECT_FLOAT_EQ(weight, 2.0f);
    EXPECT_FLOAT_EQ(dir[2], 3.0f);
    EXPECT_STREQ(label, "left");
    EXPECT_EQ(id, 12);
    EXPECT_DOUBLE_EQ(scaled, 3.0);

    // A value changes type when it is set again.
    renderer->Attribute("int user:weight", 4);
    expectErrors({
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float user:weight", weight)); },
         "GetAttribute: \"user:weight\" type mismatch. Skipping ...\n\tYou passed 'float' but "
         "expected type was 'int'."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float user:missing", weight)); },
         "GetAttribute: unknown attribute \"user:missing\". Skipping ..."},
    });
    EXPECT_FLOAT_EQ(weight, 2.0f);

    // User attributes belong to the attribute block, and their values are their own.
    renderer->PushAttributes();
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
    EXPECT_EQ(version[0] * 100 + version[1] * 10 + version[2], 150);
    // Through the untyped overload too.
    float fov = 0.0f;
    const char* name = nullptr;
    EXPECT_TRUE(renderer->GetAttribute("float fov", static_cast<void*>(&fov)));
    EXPECT_TRUE(renderer->GetAttribute("string renderer:name", static_cast<void*>(&name)));
    EXPECT_FLOAT_EQ(fov, 90.0f);
    EXPECT_STREQ(name, "OVO");
    expectSilence();

    // Failures write nothing and answer false.
    fov = -1.0f;
    int count = 0;
    float screen[4];
    char* strings[2] = {nullptr, nullptr};
    auto mismatch = [](const char* decl, const char* kind) {
        return std::string("GetAttribute: type for \"") + decl + "\" doesn't match the '" + kind +
               "' you passed. Skipping ...";
    };
    const std::string m[] = {
        mismatch("float fov", "int&"),       mismatch("int fov", "float&"),
        mismatch("float frames", "char*&"),  mismatch("string renderer:version", "int*"),
        mismatch("string screen", "float*"), mismatch("float orientation", "char**")};
    expectErrors({
        {[&] { EXPECT_FALSE(renderer->GetAttribute("fov", fov)); },
         "GetAttribute: could not guess type information from \"fov\". Skipping ..."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float near", fov)); },
         "GetAttribute: unimplemented attribute \"near\". Skipping ..."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float nothing", fov)); },
         "GetAttribute: unknown attribute \"nothing\". Skipping ..."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float fov", count)); }, m[0].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("int fov", fov)); }, m[1].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float frames", text)); }, m[2].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("string renderer:version", version)); },
         m[3].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("string screen", screen)); }, m[4].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float orientation", strings)); }, m[5].c_str()},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("string orientation", strings)); },
         "GetAttribute: unimplemented attribute \"orientation\". Skipping ..."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float fov", static_cast<float*>(nullptr))); },
         "GetAttribute: no storage given for \"float fov\". Skipping ..."},
        {[&] { EXPECT_FALSE(renderer->GetAttribute("float fov", static_cast<void*>(nullptr))); },
         "GetAttribute: no storage given for \"float fov\". Skipping ..."},
    });
    EXPECT_FLOAT_EQ(fov, -1.0f);
    // Demoted with a warning, then read.
    EXPECT_TRUE(renderer->GetAttribute("vertex float fov", fov));
    expectReport(kWarning, "GetAttribute: demoting \"vertex float fov\" to a constant attribute. ");
    EXPECT_FLOAT_EQ(fov, 90.0f);
    EXPECT_FALSE(renderer->GetAttribute("int8 fov", count));
}

TEST_F(RaytracerTest, GetAttributeTransformInHostOrder) {
    renderer->Translate(1.0f, 2.0f, 3.0f);
    renderer->Scale(2.0f, 2.0f, 2.0f);
    // Row vectors: the translation is in elements 12 to 14 and the scale on the diagonal; read
    // back through SetTransform it gives the same transformation.
    const float expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    float m[16];
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(renderer->GetAttribute("matrix transform", m));
        for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], expected[i]) << pass << " " << i;
        renderer->SetTransform(m);
    }
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
        SCOPED_TRACE(state);
        renderer->PushAttributes();
        renderer->getAttributes() = Attributes();
        renderer->RestoreAttributes(state, nullptr);
        expectSilence();
        const Attributes& r = renderer->getAttributes();
        EXPECT_FALSE(r.twoSided);
        EXPECT_TRUE(r.orientationInside);
        EXPECT_EQ(r.lightSamples, 4);
        EXPECT_FLOAT_EQ(r.shadowBias, 0.5f);
        EXPECT_FALSE(r.trimSenseInside);
        EXPECT_FLOAT_EQ(r.occlusionMaxError, 0.1f);
        EXPECT_FLOAT_EQ(r.occlusionMaxPixelDistance, 2.0f);
        EXPECT_EQ(r.occlusionMinSamples, 5);
        EXPECT_FLOAT_EQ(r.indirectMaxError, 0.2f);
        EXPECT_FLOAT_EQ(r.indirectMaxPixelDistance, 3.0f);
        EXPECT_EQ(r.indirectMinSamples, 6);
        EXPECT_EQ(r.lights, saved.lights);
        EXPECT_EQ(r.trimCurves, saved.trimCurves);
        EXPECT_EQ(r.surface, saved.surface);
        EXPECT_EQ(r.userAttributes.size(), std::string(state) == "all" ? 1u : 0u);
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
    renderer->SaveAttributes(nullptr, "C");
    renderer->RestoreAttributes(nullptr, nullptr);
    expectSilence();
}

}  // namespace
}  // namespace testing
}  // namespace ovo
