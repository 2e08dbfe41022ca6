// Attributes, transformations, shaders, lights, blocks, motion and objects inside the world.
#include <gtest/gtest.h>

#include "tests/rib/helpers.h"
#include "tests/rib/recorder.h"

using ovotest::Recorder;
using Calls = std::vector<std::string>;

namespace {

const Calls WorldCalls = {"SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)", "Camera(camera)",
                          "World()"};

// The calls between World() and the final Render(-).
Calls inside(const Recorder& r) {
    Calls out;
    bool in = false;
    for (const std::string& c : r.calls) {
        if (c == "Render(-)") in = false;
        if (in) out.push_back(c);
        if (c == "World()") in = true;
    }
    return out;
}

}  // namespace

TEST(RibAttributes, AttributeRequestsMapOntoRendererAttributes) {
    Recorder r;
    r.read(
        "WorldBegin\nColor 1 0 0\nColor [0 1 0]\nOpacity .5 .5 .5\nSides 1\nSides 2\n"
        "Orientation \"rh\"\nReverseOrientation\n"
        "Attribute \"visibility\" \"camera\" [0] \"trace\" 1 \"transmission\" \"opaque\" "
        "\"diffuse\" [1]\n"
        "Attribute \"visibility\" \"transmission\" \"transparent\"\n"
        "Attribute \"trace\" \"bias\" [0.05]\nAttribute \"light\" \"shadows\" [\"on\"]\n"
        "Attribute \"user\" \"float weight\" [2] \"string tag\" \"x\" \"color tint\" [1 0.5 0]\n"
        "Attribute \"identifier\" \"name\" [\"thing\"]\n"
        "Attribute \"displacementbound\" \"sphere\" [1]\n"
        "Attribute \"displacementbound\" \"sphere\" [2]\n"
        "Matte 1\nShadingRate 4\nSides 3\nOrientation \"up\"\n"
        "Attribute \"visibility\" \"transmission\" \"maybe\"\nWorldEnd\n");
    Calls expected = {
        "Attribute(color C: 1 0 0)",
        "Attribute(color C: 0 1 0)",
        "Attribute(color opacity: 0.5 0.5 0.5)",
        "Attribute(int twosided: 0)",
        "Attribute(int twosided: 1)",
        "Attribute(string orientation: rh)",
        "Attribute(string orientation: reverse)",
        "Attribute(int ray:camera: 0)",
        "Attribute(int ray:reflections: 1)",
        "Attribute(int ray:shadows: 1)",
        "Attribute(int ray:opaqueshadows: 1)",
        "Attribute(int ray:diffuse: 1)",
        "Attribute(int ray:shadows: 0)",
        "Attribute(float shadow:bias: 0.05)",
        "Attribute(string light:shadows: on)",
        "Attribute(float user:weight: 2)",
        "Attribute(string user:tag: x)",
        "Attribute(color user:tint: 1 0.5 0)",
    };
    EXPECT_EQ(inside(r), expected);
    Calls diagnostics = {
        "I: test.rib:15: Attribute \"displacementbound\" \"sphere\" changes nothing in a ray "
        "tracer. Ignoring ...",
        "W: test.rib:17: Matte is not supported. Ignoring ...",
        "E: test.rib:19: Sides: expected 1 or 2. Skipping ...",
        "E: test.rib:20: Orientation: unknown orientation \"up\". Skipping ...",
        "E: test.rib:21: Attribute: unknown transmission \"maybe\". Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibTransforms, TransformsInsideTheWorldAreForwarded) {
    Recorder r;
    r.read(
        "WorldBegin\nTranslate 1 2 3\nRotate 45 0 0 1\nScale 1 2 3\n"
        "ConcatTransform [2 0 0 0 0 2 0 0 0 0 2 0 1 1 1 1]\n"
        "Transform [1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1]\nIdentity\nSkew 45 0 1 0 1 0 0\n"
        "CoordinateSystem \"mine\"\nCoordSysTransform \"mine\"\n"
        "TransformBegin\nTranslate 0 0 1\nTransformEnd\nRotate 10 0 0 0\nPerspective 30\n"
        "Skew 90 0 1 0 1 0 0\nTranslate 1 2\nWorldEnd\n");
    Calls expected = {
        "Translate(1 2 3)",
        "Rotate(45 0 0 1)",
        "Scale(1 2 3)",
        "AppendTransform(2 0 0 0 0 2 0 0 0 0 2 0 1 1 1 1)",
        "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 4 5 6 1)",
        "SetTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)",
        // y leans onto x by 45 degrees: (0,1,0) goes to (1,1,0), in row-vector order.
        "AppendTransform(1 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1)",
        "SaveAttributes(mine transform)",
        "SetTransform(mine)",
        "PushTransform()",
        "Translate(0 0 1)",
        "PopTransform()",
    };
    EXPECT_EQ(inside(r), expected);
    Calls diagnostics = {
        "E: test.rib:14: Rotate: the rotation axis is zero. Skipping ...",
        "W: test.rib:15: Perspective inside the world is not supported. Ignoring ...",
        "E: test.rib:16: Skew: invalid angle. Skipping ...",
        "E: test.rib:17: Translate: expected 3 numbers, got 2. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibMotion, TransformMotionBlocksBecomeMotionCalls) {
    Recorder r;
    r.read(
        "WorldBegin\nMotionBegin [0 1]\nTranslate 0 0 0\nTranslate 1 0 0\nMotionEnd\n"
        "MotionBegin [0 1]\nSphere 1 -1 1 360\nSphere 2 -2 2 360\nMotionEnd\n"
        "MotionBegin [0 1]\nTranslate 0 0 0\nRotate 1 0 0 1\nMotionEnd\n"
        "MotionBegin [0 0.5 1]\nScale 1 1 1\nMotionEnd\n"
        "MotionBegin [0 1]\nAttributeBegin\nMotionEnd\n"
        "MotionBegin 0 1\nConcatTransform [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1]\n"
        "ConcatTransform [1 0 0 0 0 1 0 0 0 0 1 0 0 1 0 1]\nMotionEnd\n"
        "MotionBegin [0 1]\nRotate 1 0 0 1\nRotate 2 0 0 0\nMotionEnd\nMotionEnd\n"
        "MotionBegin [0 1]\nMotionBegin [0 1]\nMotionEnd\nWorldEnd\n");
    Calls expected = {
        "Motion(2: 0 1)",
        "Translate(0 0 0)",
        "Translate(1 0 0)",
        "Sphere(1 -1 1 360)",
        "Motion(2: 0 1)",
        "AppendTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1)",
        "AppendTransform(1 0 0 0 0 1 0 0 0 0 1 0 0 1 0 1)",
    };
    EXPECT_EQ(inside(r), expected);
    Calls diagnostics = {
        "W: test.rib:9: motion blur of Sphere is not supported. Using the first sample ...",
        "E: test.rib:13: MotionEnd: a motion block must repeat one request, not Translate and "
        "Rotate. Skipping ...",
        "E: test.rib:16: MotionEnd: 1 Scale requests for 3 times. Skipping ...",
        "E: test.rib:18: AttributeBegin: not allowed inside a motion block. Skipping ...",
        // A bad sample spoils the whole block: the renderer never sees half of it.
        "E: test.rib:26: Rotate: the rotation axis is zero. Skipping ...",
        "E: test.rib:28: MotionEnd: no matching MotionBegin. Skipping ...",
        "E: test.rib:30: MotionBegin: motion blocks cannot be nested. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibShading, ShadersLightsAndAreaLights) {
    Recorder r;
    r.read(
        "WorldBegin\n"
        "Surface \"plastic\" \"Ks\" [.8] \"uniform color specularcolor\" [1 0 0] \"string "
        "texturename\" \"t.tex\"\n"
        "Displacement \"bumpy\" \"float amplitude\" 0.1\nAtmosphere \"fog\"\n"
        "LightSource \"pointlight\" \"key\" \"from\" [0 1 2] \"float intensity\" 3\n"
        "Illuminate \"key\" 0\nIlluminate 1 1\n"
        "AttributeBegin\nAreaLightSource \"arealight\" 7 \"intensity\" 5\nSphere 1 -1 1 360\n"
        "AttributeEnd\n"
        "Surface \"custom\" \"undeclared\" 1 \"float known\" [2]\n"
        "Declare \"freq\" \"uniform float\"\nDeclare \"bad\" \"uniform\"\nSurface \"s\" \"freq\" "
        "4\n"
        "Surface \"s\" \"string freq\" 4\nLightSource \"spotlight\"\nWorldEnd\n"
        "AreaLightSource \"arealight\" 8\n");
    Calls expected = {
        "Parameter(float Ks: 0.8)",
        "Parameter(color specularcolor: 1 0 0)",
        "Parameter(string texturename: t.tex)",
        "Shader(surface plastic -)",
        "Parameter(float amplitude: 0.1)",
        "Shader(displacement bumpy -)",
        "Shader(volume fog -)",
        "Parameter(point from: 0 1 2)",
        "Parameter(float intensity: 3)",
        "Light(key pointlight -)",
        "LightSwitch(key off)",
        "LightSwitch(1 on)",
        "PushAttributes()",
        "Parameter(float intensity: 5)",
        "Parameter(string geometry: arealight:7:1)",
        "Light(7 arealight -)",
        "Attribute(string geometryset: +arealight:7:1)",
        "Sphere(1 -1 1 360)",
        "PopAttributes()",
        "Parameter(float known: 2)",
        "Shader(surface custom -)",
        "Parameter(float freq: 4)",
        "Shader(surface s -)",
    };
    EXPECT_EQ(inside(r), expected);
    Calls diagnostics = {
        "E: test.rib:12: Surface: parameter \"undeclared\" is not declared. Ignoring it ...",
        "E: test.rib:14: Declare: bad declaration \"uniform\" for \"bad\". Skipping ...",
        "E: test.rib:16: Surface: parameter \"freq\" needs strings, not a number. Skipping ...",
        "E: test.rib:17: LightSource: missing argument 2. Skipping ...",
        "E: test.rib:19: AreaLightSource: only allowed inside WorldBegin. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibShading, ShaderLayersFormAGroup) {
    Recorder r;
    r.read(
        "WorldBegin\n"
        "ShaderLayer \"surface\" \"texmap\" \"layer1\" \"string texturename\" [\"grid.tex\"]\n"
        "ShaderLayer \"surface\" \"matte\" \"layer2\"\n"
        "ConnectShaderLayers \"surface\" \"layer1\" \"Cout\" \"layer2\" \"Cs\"\n"
        "Sphere 1 -1 1 360\nConnectShaderLayers \"surface\" \"a\" \"b\" \"c\" \"d\"\n"
        "ShaderGroupBegin\nShaderLayer \"atmosphere\" \"fog\" \"f\"\nShaderGroupEnd\n"
        "ShaderLayer \"imager\" \"x\" \"y\"\nWorldEnd\n");
    Calls expected = {
        "ShaderGroupBegin()",
        "Parameter(string texturename: grid.tex)",
        "Shader(surface texmap layer1)",
        "Shader(surface matte layer2)",
        "ConnectShaders(layer1 Cout layer2 Cs)",
        "ShaderGroupEnd()",
        "Sphere(1 -1 1 360)",
        "ShaderGroupBegin()",
        "Shader(volume fog f)",
        "ShaderGroupEnd()",
    };
    EXPECT_EQ(inside(r), expected);
    EXPECT_EQ(r.diagnostics(),
              (Calls{"E: test.rib:6: ConnectShaderLayers: only allowed after ShaderLayer or "
                     "inside ShaderGroupBegin. Skipping ...",
                     "E: test.rib:10: ShaderLayer: unknown shader type \"imager\". Skipping ..."}));
}

TEST(RibBlocks, BlocksMustNestAndObjectsMustBeDefined) {
    Recorder r;
    r.read(
        "AttributeEnd\nWorldBegin\nAttributeBegin\nTransformBegin\nAttributeEnd\nTransformEnd\n"
        "AttributeEnd\nSolidBegin \"union\"\nSolidBegin \"xor\"\nSolidEnd\n"
        "ObjectBegin 3\nSphere 1 -1 1 360\nObjectEnd\nObjectInstance 3\n"
        "ObjectInstance \"missing\"\nObjectBegin \"named\"\nObjectBegin 4\nObjectEnd\n"
        "ObjectInstance \"named\"\nWorldEnd\nWorldEnd\nObjectInstance 3\n"
        "WorldBegin\nObjectInstance 3\nWorldBegin\nWorldEnd\nSphere 1 -1 1 360\n"
        "ObjectBegin 5\nSphere 1 -1 1 360\nObjectEnd\nWorldBegin\nObjectInstance 5\nWorldEnd\n");
    Calls expected = {
        WorldCalls[0],
        WorldCalls[1],
        WorldCalls[2],
        "PushAttributes()",
        "PushTransform()",
        "PopTransform()",
        "PopAttributes()",
        "SolidBegin(union)",
        "SolidEnd()",
        "ObjectBegin(3)",
        "Sphere(1 -1 1 360)",
        "ObjectEnd()",
        "ObjectInstance(3)",
        "ObjectBegin(named)",
        "ObjectEnd()",
        "ObjectInstance(named)",
        "Render(-)",
        WorldCalls[0],
        WorldCalls[1],
        WorldCalls[2],
        "Render(-)",
        // An object defined before WorldBegin lasts into later worlds.
        "ObjectBegin(5)",
        "Sphere(1 -1 1 360)",
        "ObjectEnd()",
        WorldCalls[0],
        WorldCalls[1],
        WorldCalls[2],
        "ObjectInstance(5)",
        "Render(-)",
    };
    EXPECT_EQ(r.calls, expected);
    Calls diagnostics = {
        "E: test.rib:1: AttributeEnd: no matching AttributeBegin. Skipping ...",
        "E: test.rib:5: AttributeEnd: no matching AttributeBegin (the innermost block is "
        "TransformBegin from line 4). Skipping ...",
        "E: test.rib:9: SolidBegin: unknown operation \"xor\". Skipping ...",
        "E: test.rib:15: ObjectInstance: unknown object handle \"missing\". Skipping ...",
        "E: test.rib:17: ObjectBegin: object definitions cannot be nested. Skipping ...",
        "E: test.rib:21: WorldEnd: no matching WorldBegin. Skipping ...",
        "E: test.rib:22: ObjectInstance: only allowed inside WorldBegin or ObjectBegin. Skipping "
        "...",
        // Objects defined inside a world end with it.
        "E: test.rib:24: ObjectInstance: unknown object handle \"3\". Skipping ...",
        "E: test.rib:25: WorldBegin: not allowed inside WorldBegin. Skipping ...",
        "E: test.rib:27: Sphere: only allowed inside WorldBegin or ObjectBegin. Skipping ...",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}

TEST(RibBlocks, EndOfInputClosesWhatIsOpen) {
    Recorder r;
    r.read("FrameBegin 1\nWorldBegin\nAttributeBegin\nMotionBegin [0 1]\nTranslate 1 0 0\n");
    EXPECT_EQ(r.calls, (Calls{"PushOptions()", "PushAttributes()", WorldCalls[0], WorldCalls[1],
                              WorldCalls[2], "PushAttributes()", "PopAttributes()", "Render(-)",
                              "PopAttributes()", "PopOptions()"}));
    EXPECT_EQ(r.diagnostics(), (Calls{"E: test.rib:4: MotionBegin without MotionEnd",
                                      "E: test.rib:3: AttributeBegin without AttributeEnd",
                                      "E: test.rib:2: WorldBegin without WorldEnd",
                                      "E: test.rib:1: FrameBegin without FrameEnd"}));
}

TEST(RibRequests, UnsupportedUnknownAndMalformedRequests) {
    Recorder r;
    r.read(
        "version 3.04\nHider \"hidden\"\nHider \"raytrace\"\nFoo 1 2\nMakeBump \"a\" \"b\"\n"
        "WorldBegin\nSphere 1 2 3\nSphere [1 -1 1 360]\nSphere 1 -1 1 360 \"Cs\"\n"
        "Sphere 1 -1 1 360 \"Cs\" [1 0 0]\nSphere 1 -1 1 360 5 [1]\nSphere \"a\" -1 1 360\n"
        "Color 1 0 0 0\nColor [] 0 0\nSphere 1 -1 1 360 \"vertex point P\" [1 2 3 4 5 6 7 8 9 "
        "10 11 12] \"Cs\" [1 2 3 4 5 6 7 8 9 10 11 12 13]\nWorldEnd\n"
        "\"stray\" 1\nSphere 1 -1 \"open\n");
    EXPECT_EQ(
        inside(r),
        (Calls{"Sphere(1 -1 1 360)", "Parameter(vertex point P: 1 2 3 4 5 6 7 8 9 10 11 12)",
               "Parameter(linear color C: 1 2 3 4 5 6 7 8 9 10 11 12)", "Sphere(1 -1 1 360)"}));
    Calls diagnostics = {
        "I: test.rib:2: Hider \"hidden\" changes nothing in a ray tracer. Ignoring ...",
        "E: test.rib:4: unknown request \"Foo\". Skipping ...",
        "W: test.rib:5: MakeBump is not supported. Ignoring ...",
        "E: test.rib:7: Sphere: expected 4 numbers, got 3. Skipping ...",
        "E: test.rib:9: Sphere: parameter \"Cs\" has no value. Skipping ...",
        "E: test.rib:10: Sphere: parameter \"Cs\" needs 12 values, got 3. Skipping ...",
        "E: test.rib:11: Sphere: expected a parameter name, found a number. Skipping ...",
        "E: test.rib:12: Sphere: argument 1 must be a number, not a string. Skipping ...",
        "E: test.rib:13: Color: too many arguments. Skipping ...",
        "E: test.rib:14: Color: argument 1 must be a number, not an empty array. Skipping ...",
        // Values after a request are its arguments, however far down they are.
        "E: test.rib:16: WorldEnd: too many arguments. Skipping ...",
        "E: test.rib:18: Sphere: unterminated string. Skipping ...",
        "E: test.rib:6: WorldBegin without WorldEnd",
    };
    EXPECT_EQ(r.diagnostics(), diagnostics);
}
