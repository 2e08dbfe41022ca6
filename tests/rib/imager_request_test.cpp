// The Imager request: a shader of the options, its parameters declared by the shader or inline.
#include <gtest/gtest.h>

#include "tests/rib/recorder.h"

TEST(RibImager, AnImagerIsAShaderOfTheOptions) {
    EXPECT_EQ(ovotest::Recorder()
                  .read("Imager \"background\" \"color background\" [0.25 0.5 1]\n"
                        "Imager \"ramp\" \"float scale\" 2 \"string map\" \"sky.tex\"\n"
                        "Imager \"null\"\n"
                        "Imager\n"
                        "WorldBegin\nImager \"background\"\nWorldEnd\n")
                  .all({"Parameter", "Shader", "World"}),
              "Parameter(color background: 0.25 0.5 1); Shader(imager background -); "
              "Parameter(float scale: 2); Parameter(string map: sky.tex); Shader(imager ramp -); "
              "Shader(imager null -); World(); E: test.rib:4: Imager: "
              "missing argument 1. Skipping ...; E: test.rib:6: Imager: not allowed inside "
              "WorldBegin. Skipping ...");
}
