// Attributes (detail ranges among them), transformations, shaders (their own parameters need
// no Declare), lights (file handles that a file reuses), blocks, motion, objects, malformed
// requests inside the world, and what the reader tells the user and what it keeps quiet.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/rib/recorder.h"

using ovotest::Recorder;

namespace {
const std::string Identity = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1",
                  World = "SetTransform(" + Identity + "); Camera(camera); World(); ";
const std::string TestPlugins = ovotest::pluginDir(ovotest::Plugins::TestOnly);
}  // namespace

TEST(RibScene, AttributesAndTransforms) {
    ovotest::expectRows({
        {"Color 1 0 0 Color [0 1 0] Opacity .5 .5 .5",
         "Attribute(color C: 1 0 0); Attribute(color C: 0 1 0); Attribute(color opacity: 0.5 0.5 "
         "0.5)"},
        {"Sides 1 Sides 2 Orientation \"rh\" ReverseOrientation",
         "Attribute(int twosided: 0); Attribute(int twosided: 1); Attribute(string orientation: "
         "rh); Attribute(string orientation: reverse)"},
        // Renamed settings; the old string form of "transmission"; names for people only.
        {"Attribute \"visibility\" \"camera\" [0] \"transmission\" \"opaque\" \"transmission\" "
         "\"transparent\" Attribute \"trace\" \"bias\" [0.05] Attribute \"identifier\" \"name\" "
         "[\"thing\"]",
         "Attribute(int ray:camera: 0); Attribute(int ray:shadows: 1); Attribute(int "
         "ray:opaqueshadows: 1); Attribute(int ray:shadows: 0); Attribute(float shadow:bias: "
         "0.05)"},
        {"Attribute \"user\" \"float weight\" [2] \"string tag\" \"x\" \"color tint\" [1 0.5 0]",
         "Attribute(float user:weight: 2); Attribute(string user:tag: x); Attribute(color "
         "user:tint: 1 0.5 0)"},
        {"Attribute \"displacementbound\" \"sphere\" [1]\nMatte 1\nSides 3\nOrientation "
         "\"up\"\nAttribute \"visibility\" \"transmission\" \"maybe\"",
         "I: test.rib:2: Attribute \"displacementbound\" \"sphere\" changes nothing in a ray "
         "tracer. Ignoring ...; W: test.rib:3: Matte is not supported. Ignoring ...; E: "
         "test.rib:4: Sides: expected 1 or 2. Skipping ...; E: test.rib:5: Orientation: unknown "
         "orientation \"up\". Skipping ...; E: test.rib:6: Attribute: unknown transmission "
         "\"maybe\". Skipping ..."},
        {"Translate 1 2 3 Rotate 45 0 0 1 Scale 1 2 3 ConcatTransform [2 0 0 0 0 2 0 0 0 0 2 0 1 1 "
         "1 1] Transform [1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1] Identity",
         "Translate(1 2 3); Rotate(45 0 0 1); Scale(1 2 3); AppendTransform(2 0 0 0 0 2 0 0 0 0 2 "
         "0 1 1 1 1); SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1); SetTransform(" +
             Identity + ")"},
        // Skewing y towards x by 45 degrees: (0,1,0) leans to (1,1,0). With axes 60 degrees
        // apart, skewing by 30 leaves y and brings the angle to 30 degrees: (0.5, 0.866) goes to
        // (1.5, 0.866).
        {"Skew 45 0 1 0 1 0 0 Skew 30 0.5 0.8660254037844386 0 1 0 0",
         "AppendTransform(1 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1); AppendTransform(1 0 0 0 1.1547 1 0 0 0 "
         "0 1 0 0 0 0 1)"},
        // Beyond 90 degrees the axis would lie on or turn past the other; parallel axes have no
        // plane.
        {"Skew 90 0 1 0 1 0 0\nSkew -90 0 1 0 1 0 0\nSkew 10 1 0 0 1 0 0",
         "E: test.rib:2: Skew: invalid angle. Skipping ...; E: test.rib:3: Skew: invalid angle. "
         "Skipping ...; E: test.rib:4: Skew: invalid angle. Skipping ..."},
        {"CoordinateSystem \"mine\" CoordSysTransform \"mine\" TransformBegin Translate 0 0 1 "
         "TransformEnd",
         "SaveAttributes(mine transform); SetTransform(mine); PushTransform(); Translate(0 0 1); "
         "PopTransform()"},
        {"Rotate 10 0 0 0\nPerspective 30",
         "E: test.rib:2: Rotate: the rotation axis is zero. Skipping ...; W: test.rib:3: "
         "Perspective inside the world is not supported. Ignoring ..."},
        // Detail and DetailRange become the "detail:bound" and "detail:range" attributes.
        {"Detail [-1 1 -2 2 -3 3] DetailRange [0 0 20 30] DetailRange 500 600 1e38 1e38",
         "Attribute(float[6] detail:bound: -1 1 -2 2 -3 3); Attribute(float[4] detail:range: 0 0 "
         "20 30); Attribute(float[4] detail:range: 500 600 1e+38 1e+38)"},
        {"Detail [-1 1 -1 1 -1]\nDetailRange [0 30 20 40]\nDetailRange [0 0 20]",
         "E: test.rib:2: Detail: expected 6 numbers, got 5. Skipping ...; E: test.rib:3: "
         "DetailRange: expected minvisible <= lowertransition <= uppertransition <= maxvisible. "
         "Skipping ...; E: test.rib:4: DetailRange: expected 4 numbers, got 3. Skipping ..."},
    });
}

TEST(RibScene, TransformMotionBlocksBecomeMotionCalls) {
    ovotest::expectRows({
        {"MotionBegin [0 1] Translate 0 0 0 Translate 1 0 0 MotionEnd",
         "Motion(2 0 1); Translate(0 0 0); Translate(1 0 0)"},
        {"MotionBegin 0 1 ConcatTransform [$16] ConcatTransform [$15 1] MotionEnd",
         "Motion(2 0 1); AppendTransform($16); AppendTransform($15 1)"},
        {"MotionBegin [0 1] Translate 0 0 0 Rotate 1 0 0 1 MotionEnd\nMotionBegin [0 0.5 1] Scale "
         "1 1 1 MotionEnd",
         "E: test.rib:2: MotionEnd: a motion block must repeat one request, not Translate and "
         "Rotate. Skipping ...; E: test.rib:3: MotionEnd: 1 Scale requests for 3 times. Skipping "
         "..."},
        {"MotionBegin [0 1]\nAttributeBegin\nMotionEnd",
         "E: test.rib:3: AttributeBegin: not allowed inside a motion block. Skipping ..."},
        // A bad sample spoils the whole block: the renderer never sees half of it.
        {"MotionBegin [0 1]\nRotate 1 0 0 1\nRotate 2 0 0 0\nMotionEnd\nMotionEnd",
         "E: test.rib:4: Rotate: the rotation axis is zero. Skipping ...; E: test.rib:6: "
         "MotionEnd: no matching MotionBegin. Skipping ..."},
        {"MotionBegin [0 1] MotionBegin [0 1] MotionEnd",
         "E: test.rib:2: MotionBegin: motion blocks cannot be nested. Skipping ..."},
    });
}

TEST(RibScene, ShadersLightsAndLayers) {
    ovotest::expectRows({
        {"Surface \"plastic\" \"Ks\" [.8] \"uniform color specularcolor\" [1 0 0] \"string "
         "texturename\" \"t.tex\" Displacement \"bumpy\" \"float amplitude\" 0.1 Atmosphere "
         "\"fog\"",
         "Parameter(float Ks: 0.8); Parameter(color specularcolor: 1 0 0); Parameter(string "
         "texturename: t.tex); Shader(surface plastic -); Parameter(float amplitude: 0.1); "
         "Shader(displacement bumpy -); Shader(volume fog -)"},
        {"LightSource \"pointlight\" \"key\" \"from\" [0 1 2] \"float intensity\" 3 Illuminate "
         "\"key\" 0 Illuminate 1 1",
         "Parameter(point from: 0 1 2); Parameter(float intensity: 3); Light(key pointlight -); "
         "LightSwitch(key off); LightSwitch(1 on)"},
        {"AttributeBegin AreaLightSource \"arealight\" 7 \"intensity\" 5 Sphere 1 -1 1 360 "
         "AttributeEnd",
         "PushAttributes(); Parameter(float intensity: 5); Parameter(string geometry: "
         "arealight:7:1); Light(7 arealight -); Attribute(string geometryset: +arealight:7:1); "
         "Sphere(1 -1 1 360); PopAttributes()"},
        {"Surface \"custom\" \"undeclared\" 1 \"float known\" [2]",
         "Parameter(float known: 2); Shader(surface custom -); E: test.rib:2: Surface: parameter "
         "\"undeclared\" is not declared. Ignoring it ..."},
        {"Declare \"freq\" \"uniform float\"\nSurface \"s\" \"freq\" 4\nSurface \"s\" \"string "
         "freq\" 4",
         "Parameter(float freq: 4); Shader(surface s -); E: test.rib:4: Surface: parameter "
         "\"freq\" needs strings, not a number. Skipping ..."},
        // A shadow map named to a light is traced instead, said once per file.
        {"LightSource \"shadowspot\" 1 \"shadowname\" \"key.shd\"\nLightSource \"shadowspot\" 2 "
         "\"shadowname\" \"fill.shd\"\nLightSource \"shadowspot\" 3 \"shadowname\" "
         "\"raytrace\"\nLightSource \"shadowspot\" 4 \"shadowname\" \"\"",
         "Parameter(string shadowname: raytrace); Light(1 shadowspot -); Parameter(string "
         "shadowname: raytrace); Light(2 shadowspot -); Parameter(string shadowname: raytrace); "
         "Light(3 shadowspot -); Parameter(string shadowname: ); Light(4 shadowspot -); W: "
         "test.rib:2: LightSource: OVO traces its shadows: shadow map \"key.shd\" is not read, "
         "\"raytrace\" is used"},
        {"Declare \"bad\" \"uniform\"\nLightSource \"spotlight\"",
         "E: test.rib:2: Declare: bad declaration \"uniform\" for \"bad\". Skipping ...; E: "
         "test.rib:3: LightSource: missing argument 2. Skipping ..."},
        {"ShaderLayer \"surface\" \"texmap\" \"layer1\" \"string texturename\" [\"grid.tex\"] "
         "ShaderLayer \"surface\" \"matte\" \"layer2\" ConnectShaderLayers \"surface\" \"layer1\" "
         "\"Cout\" \"layer2\" \"Cs\" Sphere 1 -1 1 360 ShaderGroupBegin ShaderLayer \"atmosphere\" "
         "\"fog\" \"f\" ShaderGroupEnd",
         "ShaderGroupBegin(); Parameter(string texturename: grid.tex); Shader(surface texmap "
         "layer1); Shader(surface matte layer2); ConnectShaders(layer1 Cout layer2 Cs); "
         "ShaderGroupEnd(); Sphere(1 -1 1 360); ShaderGroupBegin(); Shader(volume fog f); "
         "ShaderGroupEnd()"},
        {"ConnectShaderLayers \"surface\" \"a\" \"b\" \"c\" \"d\"\nShaderLayer \"imager\" \"x\" "
         "\"y\"",
         "E: test.rib:2: ConnectShaderLayers: only allowed after ShaderLayer or inside "
         "ShaderGroupBegin. Skipping ...; E: test.rib:3: ShaderLayer: unknown shader type "
         "\"imager\". Skipping ..."},
    });
}

TEST(RibScene, BlocksMustNestAndObjectsMustBeDefined) {
    ovotest::expectRows(
        {
            // An object defined before WorldBegin lasts into later worlds; one defined inside
            // ends with it.
            {"AttributeEnd\nWorldBegin\nAttributeBegin\nTransformBegin\nAttributeEnd\n"
             "TransformEnd\nAttributeEnd\nSolidBegin \"union\"\nSolidBegin \"xor\"\nSolidEnd\n"
             "ObjectBegin 3\nSphere 1 -1 1 360\nObjectEnd\nObjectInstance 3\n"
             "ObjectInstance \"missing\"\nObjectBegin \"named\"\nObjectBegin 4\nObjectEnd\n"
             "ObjectInstance \"named\"\nWorldEnd\nWorldEnd\nObjectInstance 3\n"
             "WorldBegin\nObjectInstance 3\nWorldBegin\nWorldEnd\nSphere 1 -1 1 360\n"
             "ObjectBegin 5\nSphere 1 -1 1 360\nObjectEnd\nWorldBegin\nObjectInstance 5\nWorldEnd\n"
             "AreaLightSource \"arealight\" 8\n",
             World +
                 "PushAttributes(); PushTransform(); PopTransform(); PopAttributes(); "
                 "SolidBegin(union); SolidEnd(); ObjectBegin(3); Sphere(1 -1 1 360); ObjectEnd(); "
                 "ObjectInstance(3); ObjectBegin(named); ObjectEnd(); ObjectInstance(named); "
                 "Render(-); " +
                 World + "Render(-); ObjectBegin(5); Sphere(1 -1 1 360); ObjectEnd(); " + World +
                 "ObjectInstance(5); Render(-); E: test.rib:1: AttributeEnd: no matching "
                 "AttributeBegin. Skipping ...; E: test.rib:5: AttributeEnd: no matching "
                 "AttributeBegin (the innermost block is TransformBegin from line 4). Skipping "
                 "...; E: test.rib:9: SolidBegin: unknown operation \"xor\". Skipping ...; E: "
                 "test.rib:15: ObjectInstance: unknown object handle \"missing\". Skipping ...; E: "
                 "test.rib:17: ObjectBegin: object definitions cannot be nested. Skipping ...; E: "
                 "test.rib:21: WorldEnd: no matching WorldBegin. Skipping ...; E: test.rib:22: "
                 "ObjectInstance: only allowed inside WorldBegin or ObjectBegin. Skipping ...; E: "
                 "test.rib:24: ObjectInstance: unknown object handle \"3\". Skipping ...; E: "
                 "test.rib:25: WorldBegin: not allowed inside WorldBegin. Skipping ...; E: "
                 "test.rib:27: Sphere: only allowed inside WorldBegin or ObjectBegin. Skipping "
                 "...; E: test.rib:34: AreaLightSource: only allowed inside WorldBegin. Skipping "
                 "..."},
            // The end of the input closes what is open, innermost first.
            {"FrameBegin 1\nWorldBegin\nAttributeBegin\nMotionBegin [0 1]\nTranslate 1 0 0\n",
             "PushOptions(); PushAttributes(); Attribute(int frame: 1); " + World +
                 "PushAttributes(); PopAttributes(); Render(-); PopAttributes(); PopOptions(); E: "
                 "test.rib:4: MotionBegin without MotionEnd; E: test.rib:3: AttributeBegin without "
                 "AttributeEnd; E: test.rib:2: WorldBegin without WorldEnd; E: test.rib:1: "
                 "FrameBegin without FrameEnd"},
            // Values after a request are its arguments, however far down they are; the input may
            // end inside a string.
            {"version 3.04\nWorldBegin\nWorldEnd\n\"stray\" 1\nSphere 1 -1 \"open\n",
             World + "Render(-); E: test.rib:3: WorldEnd: too many arguments. Skipping ...; E: "
                     "test.rib:5: Sphere: unterminated string. Skipping ...; E: test.rib:2: "
                     "WorldBegin without WorldEnd"},
        },
        false);
}

TEST(RibScene, UnsupportedUnknownAndMalformedRequests) {
    ovotest::expectRows({
        // Unsupported requests are reported once per file; a hider needs a name.
        {"Hider \"hidden\"\nHider \"raytrace\"\nMakeBump \"a\" \"b\"\nHider 3",
         "I: test.rib:2: Hider \"hidden\" changes nothing in a ray tracer. Ignoring ...; W: "
         "test.rib:4: MakeBump is not supported. Ignoring ...; E: test.rib:5: Hider: argument 1 "
         "must be a string, not a number. Skipping ..."},
        {"Sphere [1 -1 1 360]", "Sphere(1 -1 1 360)"},
        {"Sphere 1 -1 1 360 \"Cs\"\nSphere 1 -1 1 360 \"Cs\" [1 0 0]",
         "E: test.rib:2: Sphere: parameter \"Cs\" has no value. Skipping ...; E: test.rib:3: "
         "Sphere: parameter \"Cs\" needs 12 values, got 3. Skipping ..."},
        // More values than needed are passed on, the first ones read.
        {"Sphere 1 -1 1 360 \"vertex point P\" [$12] \"Cs\" [$13]",
         "Parameter(vertex point P: $12); Parameter(linear color C: $12); Sphere(1 -1 1 360)"},
        {"Sphere 1 -1 1 360 5 [1]\nSphere \"a\" -1 1 360\nColor 1 0 0 0\nColor [] 0 0",
         "E: test.rib:2: Sphere: expected a parameter name, found a number. Skipping ...; E: "
         "test.rib:3: Sphere: argument 1 must be a number, not a string. Skipping ...; E: "
         "test.rib:4: Color: too many arguments. Skipping ...; E: test.rib:5: Color: argument 1 "
         "must be a number, not an empty array. Skipping ..."},
    });
}

// Names the scene does not declare take the types of the compiled shader's arguments (the test
// plugin "args", found on the shader path).
TEST(RibShaderArguments, UndeclaredNamesTakeTheShadersOwnTypes) {
    Recorder r;
    r.shaderPath = TestPlugins;
    r.read(
        "WorldBegin\n"
        "Surface \"args\" \"c\" [1 0 0] \"vv\" [0 1 0] \"f\" 2 \"fa\" [1 2 3] \"fo\" [4 5]\n"
        "  \"pa\" [0 0 0 1 1 1] \"sa\" [\"x\" \"y\"] \"float n\" [1 2 3] \"nothere\" 1\n"
        "LightSource \"args\" 1 \"c\" [0 0 1]\n"
        "Declare \"vv\" \"uniform float\"\nSurface \"args\" \"vv\" 7\n"
        "Surface \"args\" \"c\" [1 2]\nSurface \"nosuchshader\" \"c\" [1 0 0]\n"
        "WorldEnd\n");
    // A Declare still wins over the shader's own type.
    EXPECT_EQ(
        r.all({"Parameter", "Shader", "Light"}),
        "Parameter(color c: 1 0 0); Parameter(vector vv: 0 1 0); Parameter(float f: 2); "
        "Parameter(float[3] fa: 1 2 3); Parameter(float[2] fo: 4 5); Parameter(point[2] pa: 0 0 0 "
        "1 1 1); Parameter(string[2] sa: x y); Parameter(float n: 1); Shader(surface args -); "
        "Parameter(color c: 0 0 1); Light(1 args -); Parameter(float vv: 7); Shader(surface args "
        "-); E: test.rib:2: Surface: parameter \"nothere\" is not declared. Ignoring it ...; E: "
        "test.rib:7: Surface: parameter \"c\" needs 3 values, got 2. Skipping ...; E: test.rib:8: "
        "Surface: parameter \"c\" is not declared. Ignoring it ...; E: test.rib:8: Surface: "
        "shader \"nosuchshader\" not found (searched \"" +
            TestPlugins + "\")");
    // Without a shader path the names stay undeclared.
    r.shaderPath.clear();
    EXPECT_EQ(r.world("Surface \"args\" \"c\" [1 0 0]"),
              "Shader(surface args -); E: test.rib:2: Surface: parameter \"c\" is not declared. "
              "Ignoring it ...");
}

TEST(RibLights, FileHandlesMapToFreshRendererHandles) {
    const std::pair<const char*, const char*> cases[] = {
        // Switching before the redefinition still reaches the first light.
        {"WorldBegin\nLightSource \"pointlight\" \"key\"\nIlluminate \"key\" 0\n"
         "LightSource \"distantlight\" \"key\"\nIlluminate \"key\" 1\nWorldEnd\n",
         "Light(key pointlight -); LightSwitch(key off); Light(key#1 distantlight -); "
         "LightSwitch(key#1 on)"},
        // Area lights share the numbering with the other lights.
        {"WorldBegin\nLightSource \"pointlight\" 2\nAttributeBegin\n"
         "AreaLightSource \"arealight\" 2\nAttributeEnd\nIlluminate 2 1\nWorldEnd\n",
         "Light(2 pointlight -); Light(2#1 arealight -); LightSwitch(2#1 on)"},
        // Lights before WorldBegin are placed once the camera is known, in file order.
        {"LightSource \"ambientlight\" 1\nLightSource \"pointlight\" 1\nIlluminate 1 0\n"
         "WorldBegin\nIlluminate 1 1\nWorldEnd\n",
         "Light(1 ambientlight -); Light(1#1 pointlight -); LightSwitch(1#1 off); LightSwitch(1#1 "
         "on)"},
        // A reused number defines a new light, each with a handle of its own; Illuminate
        // reaches the latest one.
        {"WorldBegin\nLightSource \"a\" 1\nLightSource \"b\" 1\nLightSource \"c\" 1\n"
         "Illuminate 1 0\nWorldEnd\n",
         "Light(1 a -); Light(1#1 b -); Light(1#2 c -); LightSwitch(1#2 off)"},
    };
    // No message either.
    for (const auto& [rib, expected] : cases)
        EXPECT_EQ(Recorder().read(rib).all({"Light(", "LightSwitch("}), expected) << rib;
}

// What changes nothing in a ray-traced picture is a note (shown at -v); what would change
// the picture stays a warning.
TEST(RibQuietRequests, NotesForWhatChangesNothingWarningsForTheRest) {
    // The request, then what the message names, and whether it is a note. None reaches the
    // renderer (the limits OVO uses do: options_test).
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"ShadingInterpolation \"smooth\"", "ShadingInterpolation", true},
        {"Hider \"hidden\" \"jitter\" 0", "Hider \"hidden\"", true},
        {"Hider \"stochastic\"", "Hider \"stochastic\"", false},
        {"Option \"limits\" \"eyesplits\" 10", "Option \"limits\" \"eyesplits\"", true},
        {"Attribute \"displacementbound\" \"coordinatesystem\" \"object\"",
         "Attribute \"displacementbound\" \"coordinatesystem\"", true},
        // These change the picture: the user must hear of them.
        {"Attribute \"cull\" \"backfacing\" 1", "Attribute \"cull\" \"backfacing\"", false},
        {"Option \"render\" \"multipass\" 1", "Option \"render\" \"multipass\"", false},
        {"Interior \"water\"", "Interior", false},
    };
    for (const auto& [rib, subject, note] : cases) {
        const std::string said = note ? " changes nothing in a ray tracer. Ignoring ..."
                                      : " is not supported. Ignoring ...";
        // Said twice, reported once.
        EXPECT_EQ(Recorder().read(std::string(rib) + "\n" + rib + "\n").all(),
                  (note ? "I: test.rib:1: " : "W: test.rib:1: ") + std::string(subject) + said);
    }
}

// Geometry of a type OVO lacks is counted per type over the input and reported once at its
// end, where the first request was.
TEST(RibMessages, UnknownGeometryIsReportedOncePerTypeWithACount) {
    EXPECT_EQ(
        Recorder()
            .read("Geometry \"klein\"\nWorldBegin\nGeometry \"klein\"\nGeometry \"klein\"\n"
                  "Geometry \"bunny\"\nGeometry \"klein\"\nWorldEnd\n"
                  "WorldBegin\nGeometry \"klein\"\nWorldEnd\nWorldBegin\nGeometry 1\nWorldEnd\n")
            .all({"Render("}),
        "Render(-); Render(-); Render(-); E: test.rib:1: Geometry: only allowed inside "
        "WorldBegin or ObjectBegin. Skipping ...; E: test.rib:12: Geometry: argument 1 must "
        "be a string, not a number. Skipping ...; E: test.rib:5: Geometry \"bunny\" is not "
        "supported: 1 request skipped; E: test.rib:3: Geometry \"klein\" is not supported: 4 "
        "requests skipped");
}
