// Compiled shaders in frames rendered by the ovo command: colours known in closed form on a
// square a little wider than a 90-degree view, s and u running from 0 at its left edge to 1 at
// its right (the tracing calls' keyword lists reach the library with the types it reads, so
// the square alone is fully lit, unoccluded and unshadowed); the compiled plastic against the
// hand-written one; primitive variables reaching the shader arguments; texture lookups
// filtered over the pixel's footprint; shaders compiled on demand, and the process runner
// the driver uses.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <cmath>
#include <tuple>

#include "compile_util.h"
#include "compiler/process.h"

namespace {

using ovo::Tuple;

const int Size = 8;
// Images are written with 8 bits a channel: exact values come back within half a step each.
const float Quantum = 0.5f / 255.0f * 1.7321f;

// Modes 8 and 9 light the square from behind it, through a wall behind the square: in mode 9
// a loop whose cone leaves the light out comes first and leaves its shadow untraced; the later
// loop without a cone that takes the light must still see it blocked.
const char* const ClosedForm = R"(
surface closedform(float mode = 0; float arr[3] = {0, 0, 0}) {
    normal Nf = faceforward(normalize(N), I);
    color C = 0;
    if (mode == 5) {
        Ci = color(Du(P) * 0.4) + color(0, 0, length(Dv(P)) * 0.4);  // the first derivative site
    } else if (mode == 1) {
        Ci = mix(color(1, 0, 0), color(0, 0, 1), s);
    } else if (mode == 2) {
        illuminance(P, Nf, PI / 2) { C += Cl * (normalize(L) . Nf); }
        Ci = C;
    } else if (mode == 3) {
        Ci = diffuse(Nf);
    } else if (mode == 4) {
        Ci = color(Du(u) * 0.5, Dv(u) + 0.25, Dv(v) * 0.75);
    } else if (mode == 6) {
        Ci = transmission(P, P - 4 * Nf, "samples", 4, "samplecone", 0.1);
    } else if (mode == 7) {
        Ci = 1 - occlusion(P, Nf, 16, "falloffmode", 1, "falloff", 2, "maxhitdist", 10,
                           "bias", 0.01);
    } else if (mode >= 8) {
        if (mode == 9)
            illuminance(P, Nf, PI / 2) { C += 1; }
        illuminance(P) { C += Cl; }
        Ci = C;
    } else {
        Ci = color(arr[0], arr[1], arr[2]);
    }
    Oi = 1;
}
)";

// A distant light whose shadow is traced; nothing stands between it and the square.
const char* const Shadowed = R"(
light shadowed(float intensity = 1; point from = point "shader" (0, 0, 0);
               point to = point "shader" (0, 0, 1)) {
    solar(to - from, 0) {
        Cl = intensity * (1 - shadow("raytrace", Ps, "samples", 4, "blur", 0.05));
    }
}
)";

// s at the centre of pixel column x: the view spans -1..1 of the patch's -1.25..1.25.
float sAt(int x) { return (-1.0f + 2.0f * (x + 0.5f) / Size + 1.25f) / 2.5f; }

TEST(CompiledFrames, ColoursAndTracedLightMatchTheirClosedForms) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "closedform.sl", ClosedForm));
    ASSERT_TRUE(ovotest::compileShader(dir, "shadowed.sl", Shadowed));
    // A distant light from behind the camera, tilted 26.6 degrees in x; one behind the square
    // that casts shadows, and a wall behind the square.
    const std::string tilted = "\" 1 \"intensity\" [1] \"from\" [0 0 0] \"to\" [0.5 0 1]\n";
    const std::string distant = "LightSource \"distantlight" + tilted;
    const std::string behind =
        "Attribute \"light\" \"string shadows\" [\"on\"]\n"
        "LightSource \"distantlight\" 1 \"from\" [0 0 5] \"to\" [0 0 0]\n";
    const std::string wall = "Polygon \"P\" [-9 -9 3  9 -9 3  9 9 3  -9 9 3]\n";
    const auto constant = [](Tuple c) { return [c](int, int) { return c; }; };
    const float cosine = 1.0f / std::sqrt(1.25f);  // N is (0, 0, -1), L (-0.5, 0, -1)
    ovotest::Image images[12];
    // The arguments after the mode, the lights and what else stands in the world, the colour of
    // pixel (x, y) and its tolerance.
    const std::tuple<const char*, std::string, std::function<Tuple(int, int)>, float> cases[] = {
        {"1", distant, [](int x, int) { return Tuple(1 - sAt(x), 0, sAt(x)); }, 0.01f},  // mix
        {"2", distant, constant(Tuple(cosine)), Quantum},  // an illuminance loop
        {"3", distant, [&](int x, int y) { return Tuple(images[1].at(x, y)); }, 1e-5f},  // diffuse
        // Du(u) is 1, Dv(u) and Du(v) are 0, Dv(v) is 1 on the patch.
        {"4", distant, constant(Tuple(0.5f, 0.25f, 0.75f)), Quantum},
        // Du(P) is the patch's width (2.5) along x; Dv(P) is as long as its height.
        {"5", distant, constant(Tuple(1, 0, 1)), Quantum},
        {"0] \"float[3] arr\" [0.2 0.4 0.6", distant, constant(Tuple(0.2f, 0.4f, 0.6f)), Quantum},
        {"6", distant, constant(Tuple(1)), 0.01f},                                 // transmission
        {"7", distant, constant(Tuple(1)), 0.01f},                                 // occlusion
        {"3", "LightSource \"shadowed" + tilted, constant(Tuple(cosine)), 0.01f},  // unshadowed
        {"8", behind + wall, constant(Tuple(0.0f)), 0.01f},
        {"9", behind + wall, constant(Tuple(0.0f)), 0.01f},
        {"9", behind, constant(Tuple(1)), 0.01f},
    };
    for (int i = 0; i < 12; ++i) {
        const auto& [arguments, world, expected, tolerance] = cases[i];
        const std::string surface =
            std::string("Surface \"closedform\" \"float mode\" [") + arguments + "]\n";
        SCOPED_TRACE(world + surface);
        const std::string rib = ovotest::frameRib(
            Size, Size,
            "PixelSamples 4 4\nPixelFilter \"box\" 1 1\nProjection \"perspective\" \"fov\" [90]",
            world + surface + ovotest::ViewFillingSquare, dir.path);
        ASSERT_TRUE(ovotest::renderClean(dir, rib, images[i]));
        ASSERT_EQ(images[i].width, Size);
        ovotest::expectPixels(images[i], expected, tolerance);
    }
}

// No pixel differs by more than 1/255 from the hand-written C++ plastic of the test plugins.
TEST(CompiledFrames, CompiledPlasticMatchesTheHandWrittenOne) {
    ovotest::ScratchDir dir;
    const std::string frame =
        "Display \"frame.tif\" \"file\" \"rgb\"\nFormat 48 48 1\nPixelSamples 2 2\n"
        "Projection \"perspective\" \"fov\" [40]\nTranslate 0 0 5\nWorldBegin\n"
        "LightSource \"ambientlight\" 1 \"intensity\" [0.1]\n"
        "LightSource \"distantlight\" 2 \"from\" [1 1 -1] \"to\" [0 0 0]\n"
        "LightSource \"pointlight\" 3 \"from\" [-2 1 -3] \"intensity\" [8]\n"
        "Color [0.8 0.3 0.2]\n";
    const std::string sphere = " \"Ks\" [0.8] \"roughness\" [0.05]\nSphere 1 -1 1 360\nWorldEnd\n";
    ovotest::Image compiled, handWritten;
    ASSERT_TRUE(
        ovotest::renderRib(dir, frame + "Surface \"plastic\"" + sphere, "frame.tif", compiled));
    ASSERT_TRUE(ovotest::renderRib(dir,
                                   "Option \"searchpath\" \"shader\" [\"" +
                                       ovotest::pluginDir(ovotest::Plugins::TestOnly) + ":&\"]\n" +
                                       frame + "Surface \"handplastic\"" + sphere,
                                   "frame.tif", handWritten));
    ASSERT_EQ(compiled.pixels.size(), handWritten.pixels.size());
    float worst = 0, brightest = 0;
    for (size_t i = 0; i < compiled.pixels.size(); ++i) {
        worst = std::max(worst, std::fabs(compiled.pixels[i] - handWritten.pixels[i]));
        brightest = std::max(brightest, compiled.pixels[i]);
    }
    EXPECT_LE(worst, 1.0f / 255.0f);
    EXPECT_GT(brightest, 0.5f);  // the sphere is there, with its highlight
}

const char* Lookups = R"(
surface lookups(string map = ""; float form = 0) {
    if (form == 0)
        Ci = color texture(map, s, t);
    else if (form == 1)
        Ci = color texture(map);
    else if (form == 2)
        Ci = texture(map[1], s, t);  // a float from the second channel on
    else
        Ci = color texture(map, s, t, s, t, s, t, s, t);  // a footprint of no area
    Oi = 1;
}
)";

// A checkerboard of squares 4 texels wide, 64 texels across, white and black, made into a
// MIP-mapped texture.
std::string makeCheckerTexture(const ovotest::ScratchDir& dir) {
    OIIO::ImageBuf image(OIIO::ImageSpec(64, 64, 3, OIIO::TypeDesc::FLOAT));
    OIIO::ImageBufAlgo::checker(image, 4, 4, 1, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f});
    const std::string file = dir / "texels.tx";
    OIIO::ImageSpec config;
    config.attribute("wrapmodes", "periodic,periodic");
    EXPECT_TRUE(
        OIIO::ImageBufAlgo::make_texture(OIIO::ImageBufAlgo::MakeTxTexture, image, file, config));
    return file;
}

// Seen head on, each of the 8 by 8 pixels spans two squares each way: filtered over that
// footprint the board is about its average grey everywhere, wherever the pixel's one sample
// falls. Looked up at single points (a quadrilateral of no area), a pixel shows the square
// under its sample: mostly white or black.
TEST(FilteredTextures, LookupsAtCoordinatesAverageTheTexelsUnderThePixel) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "lookups.sl", Lookups));
    const std::string texture = makeCheckerTexture(dir);
    for (int form : {0, 1, 2, 3}) {
        const std::string rib = ovotest::frameRib(
            8, 8, "PixelSamples 1 1\nPixelFilter \"box\" 1 1\nProjection \"orthographic\"",
            "Surface \"lookups\" \"string map\" [\"" + texture + "\"] \"float form\" [" +
                std::to_string(form) +
                "]\nPolygon \"P\" [-1 -1 1  1 -1 1  1 1 1  -1 1 1]\n"
                "  \"st\" [0.03125 0.03125  1.03125 0.03125  1.03125 1.03125  0.03125 1.03125]",
            dir.path);
        ovotest::Image image;
        ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image)) << form;
        int grey = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                // The float form reads the green channel, into all three.
                const ovo::Color c = image.at(x, y);
                grey += std::fabs(c.r - 0.5f) < 0.15f && std::fabs(c.g - 0.5f) < 0.15f;
            }
        if (form == 3)
            EXPECT_LT(grey, 32);
        else
            EXPECT_EQ(grey, 64) << "form " << form;
    }
}

}  // namespace

// Values of the geometry call that the shape does not read reach the shader arguments of the
// same name: interpolated, of every class, the point family moved from the object's space;
// what a shape reads itself (a disk's radius) stays the shape's.
TEST(CompiledFrames, PrimitiveVariablesReachTheShaderArguments) {
    ovotest::ScratchDir dir;
    dir.write(
        "vars.sl",
        "surface vars(float which = 0; varying float grey = 0.5; color tint = color(1, 0, 0);\n"
        "             varying point Pref = 0; float radius = 0.25) {\n"
        "    if (which == 0) Ci = grey; else if (which == 1) Ci = tint;\n"
        "    else if (which == 2) Ci = color(xcomp(Pref) - 1, 0, 0); else Ci = radius;\n"
        "    Oi = 1;\n}\n");
    // Eight columns of one world unit at z = 1, in four pairs.
    const std::string rib = ovotest::frameRib(
        8, 2, "PixelFilter \"box\" 1 1\nPixelSamples 8 8\nProjection \"perspective\" \"fov\" [90]",
        "AttributeBegin Surface \"vars\" \"which\" [0]\n"
        "Polygon \"P\" [-4 -1 1  -2 -1 1  -2 1 1  -4 1 1] \"varying float grey\" [0 1 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [1]\n"
        "Polygon \"P\" [-2 -1 1  0 -1 1  0 1 1  -2 1 1] \"constant color tint\" [0 1 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [2] Translate 1 0 0\n"
        "Polygon \"P\" [-1 -1 1  1 -1 1  1 1 1  -1 1 1]\n"
        "  \"vertex point Pref\" [0 0 0  1 0 0  1 0 0  0 0 0]\n"
        "AttributeEnd\nAttributeBegin Surface \"vars\" \"which\" [3] Translate 3.5 0 1.5\n"
        "Disk 0 3 360\nAttributeEnd");
    ovotest::Image image;
    ASSERT_TRUE(ovotest::renderClean(dir, rib, image));
    // The colour of each column.
    const ovo::Tuple grey(0.25f), green(0, 1, 0);
    const ovo::Tuple expected[] = {grey,          ovo::Tuple(0.75f), green, green,
                                   {0.25f, 0, 0}, {0.75f, 0, 0},     grey,  grey};
    ovotest::expectPixels(
        image, [&](int x, int) { return expected[x]; }, 0.01f);
}

// The scene's own "matte" beats the standard one (black here, with no light), and its
// parameters need no Declare. Two stripes over the square: the included tint on its left half,
// green on its right (the pixel filter blends the two columns at the edge).
TEST(CompiledFrames, OvoCompilesShaderSourcesOnDemandAndAgainAfterAnEdit) {
    ovotest::ScratchDir dir;
    dir.write("matte.sl",
              "#include \"tint.h\"\n"
              "surface matte(float freq = 4; color a = TINT; color b = 0) {\n"
              "    Ci = mod(floor(s * freq), 2) == 0 ? a : b;\n    Oi = 1;\n}\n");
    const std::string rib = ovotest::frameRib(
        8, 8, "Projection \"perspective\" \"fov\" [90]",
        std::string("Surface \"matte\" \"freq\" [2] \"b\" [0 1 0]\n") + ovotest::ViewFillingSquare);
    const float quantum = 0.5f / 255.0f * 1.7321f;  // 8 bits a channel
    // The tint, whether ovo compiles the shader, the colour of the left stripe.
    const std::tuple<const char*, bool, ovo::Tuple> runs[] = {
        {"color(1, 0, 0)", true, ovo::Tuple(1, 0, 0)},
        {"color(1, 0, 0)", false, ovo::Tuple(1, 0, 0)},
        {"color(0, 0, 1)", true, ovo::Tuple(0, 0, 1)}};
    std::vector<float> previous;
    for (const auto& [tint, compiles, left] : runs) {
        SCOPED_TRACE(tint);
        dir.write("tint.h", std::string("#define TINT ") + tint + "\n");
        ovotest::Image image;
        std::string messages, printed;
        ASSERT_TRUE(ovotest::renderRib(dir, rib, "frame.tif", image, &messages, &printed));
        EXPECT_EQ(messages, "");
        // A run that compiles says which shader from where; one that does not says nothing of it.
        const std::string compiled = "Compiled the shader \"matte\" from " + dir / "matte.sl";
        EXPECT_EQ(printed.find(compiles ? compiled : "Compiled") != std::string::npos, compiles)
            << printed;
        for (int x : {0, 1, 2, 5, 6, 7})
            EXPECT_TRUE(ovotest::near(ovo::Tuple(image.at(x, 4)),
                                      x < 4 ? left : ovo::Tuple(0, 1, 0), quantum))
                << x;
        EXPECT_TRUE(compiles || image.pixels == previous);  // the same shader again
        previous = image.pixels;
    }
}

// The preprocessor and C++ compiler the driver runs: each stream whole however small the
// writes, the exit status, and a program that cannot be run.
TEST(CompilerProcess, CapturesBothStreamsAndTheExitStatus) {
    const ovo::compiler::ProcessResult r =
        ovo::compiler::runProcess({"sh", "-c", "printf x; printf yz >&2; exit 3"});
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.out, "x");
    EXPECT_EQ(r.err, "yz");
    EXPECT_EQ(r.status, 3);
    const ovo::compiler::ProcessResult missing = ovo::compiler::runProcess({"/no/such/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.err, "cannot run /no/such/program");
}
