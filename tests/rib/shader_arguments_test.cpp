// A shader's own parameters need no Declare: names the scene does not declare take the types
// of the compiled shader's arguments (the test plugin "args", found on the shader path).
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

using ovotest::Recorder;

namespace {
const std::string TestPlugins = ovotest::pluginDir(ovotest::Plugins::TestOnly);
}

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
