// Each construct of the language once: one compiled shader computes them into output
// parameters at a single shading point, and the test reads the values back.
#include "compile_util.h"
#include "compiler/info.h"

namespace {

using ovo::Color;
using ovo::Tuple;
using ovotest::near;

const char* const Constructs = R"(
float addTo(float x; output float acc) { acc += x; return acc * 2; }
void swap(output float a; output float b) { float t = a; a = b; b = t; }
float firstOver(float limit) {
    float i;
    for (i = 0; i < 10; i += 1)
        if (i * i > limit) return i;
    return -1;
}
surface constructs(
    float arr[3] = {1, 2, 3};
    output varying float rIf = 0, rWhile = 0, rFor = 0, rBreak2 = 0, rContinue2 = 0;
    output varying float rTernary = 0, rOutputArg = 0, rSwap = 0, rNested = 0, rArray = 0;
    output varying float rLocal = 0, rDot = 0, rCompound = 0, rIncrement = 0, rString = 0;
    output varying float rMatrix = 0, rMath = 0, rReturn = 0, rComp = 0, rGlobals = 0;
    output varying float rRandom = 0, rUniform = 0, rPI = 0;
    output varying vector rCross = 0, rVectorSpace = 0; output varying point rSpace = 0;
    output varying color rMix = 0, rTriple = 0)
{
    if (u > 0.5) rIf = 1; else if (u > 0.25) rIf = 2; else rIf = 3;
    float n = 0;
    while (n < 5) n += 2;
    rWhile = n;
    float i, j;
    for (i = 0; i < 5; i += 1) rFor += i;
    for (i = 0; i < 3; i += 1)
        for (j = 0; j < 3; j += 1) {
            rBreak2 += 1;
            if (i == 1 && j == 1) break 2;
        }
    for (i = 0; i < 3; i += 1)
        for (j = 0; j < 3; j += 1) {
            if (j == 1) continue 2;
            rContinue2 += 1;
        }
    rTernary = u > 0.5 ? 10 : 20;
    float acc = 1;
    float r = addTo(2, acc);
    rOutputArg = acc * 10 + r;
    float a = 1, b = 2;
    swap(a, b);
    rSwap = a * 10 + b;
    float total = 0;
    void add(float x) { extern float total; total += x; }
    add(2); add(3);
    rNested = total;
    float far = 7;
    rArray = arr[0] + arr[1] * 10 + arr[2] * 100 + arr[far] * 1000 + arr[-1] * 10000;
    float loc[4] = {1, 2};
    loc[3] = 5;
    rLocal = loc[0] + loc[1] + loc[2] + loc[3];
    rDot = vector(1, 2, 3) . vector(4, 5, 6);
    rCross = vector(1, 0, 0) ^ vector(0, 1, 0);
    float x = 10;
    x += 2; x -= 4; x *= 3; x /= 6;
    rCompound = x;
    float k = 1, m = 5;
    k++; ++k; k--;
    float before = m++;
    rIncrement = k * 100 + before * 10 + m;
    rSpace = point "shader" (1, 2, 3);
    rVectorSpace = vector "shader" (1, 2, 3);
    rMix = mix(color(1, 0, 0), color(0, 0, 1), 0.25);
    string s2 = concat("ab", "cd");
    rString = match("^abc", s2) + (s2 == "abcd" ? 10 : 0) + (shadername() == "constructs" ? 100 : 0);
    matrix mm = (2, 0, 0, 0,  0, 3, 0, 0,  0, 0, 4, 0,  0, 0, 0, 1);
    point q = transform(mm, point(1, 1, 1));
    rMatrix = xcomp(q) * 100 + ycomp(q) * 10 + zcomp(q) + determinant(mm) * 1000 +
              comp(mm / mm, 0, 0) * 100000;
    rTriple = (1, 2, 3) * 2;
    rMath = clamp(5, 0, 2) * 10 + mod(-1, 3) + min(3, 1, 2) * 100 + max(1, 5) * 1000 +
            step(1, 0.5) + smoothstep(0, 1, 0.5) * 10000;
    rReturn = firstOver(10);
    point p = 0;
    setxcomp(p, 5); setcomp(p, 2, 7);
    rComp = xcomp(p) * 10 + zcomp(p);
    rGlobals = u * 100 + v * 10;
    rRandom = random();
    uniform float twice = arr[1] * 2;
    rUniform = twice;
    rPI = PI;
    Ci = color(1, 0.5, 0.25);
    Oi = Os * 0.5;
}
)";

TEST(Constructs, EachConstructComputesItsValue) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "constructs.sl", Constructs));
    std::map<OIIO::ustring, ovo::Transform> spaces;
    spaces[OIIO::ustring("shader")] = Translate(10.0f, 0.0f, 0.0f);
    ovotest::ShaderRun run(dir, "constructs", {}, spaces);
    ASSERT_TRUE(run.shader);
    run.env.u = 0.3f;
    run.env.v = 0.6f;
    run.env.Os = Color(0.5f, 1.0f, 1.0f);
    run.run();
    const std::pair<const char*, float> cases[] = {
        {"rIf", 2},        {"rWhile", 6},       {"rFor", 10},       {"rBreak2", 5},
        {"rContinue2", 3}, {"rTernary", 20},    {"rOutputArg", 36}, {"rSwap", 21},
        {"rNested", 5},    {"rArray", 13321},   {"rLocal", 8},      {"rDot", 32},
        {"rCompound", 4},  {"rIncrement", 256}, {"rString", 111},   {"rMatrix", 124234},
        {"rMath", 10122},  {"rReturn", 4},      {"rComp", 57},      {"rUniform", 4},
    };
    for (const auto& [name, value] : cases) EXPECT_EQ(run.value<float>(name), value) << name;
    EXPECT_NEAR(run.value<float>("rGlobals"), 36.0f, 1e-4f);
    EXPECT_FLOAT_EQ(run.value<float>("rPI"), 3.14159265f);
    const float r = run.value<float>("rRandom");
    EXPECT_TRUE(r >= 0.0f && r < 1.0f) << r;
    EXPECT_TRUE(near(run.value<Tuple>("rCross"), Tuple(0, 0, 1), 0));
    // Points move with the space, vectors do not.
    EXPECT_TRUE(near(run.value<Tuple>("rSpace"), Tuple(11, 2, 3), 1e-6f));
    EXPECT_TRUE(near(run.value<Tuple>("rVectorSpace"), Tuple(1, 2, 3), 1e-6f));
    EXPECT_TRUE(near(Tuple(run.value<Color>("rMix")), Tuple(0.75f, 0, 0.25f), 1e-6f));
    EXPECT_TRUE(near(Tuple(run.value<Color>("rTriple")), Tuple(2, 4, 6), 0));
    EXPECT_TRUE(near(Tuple(run.env.Ci), Tuple(1, 0.5f, 0.25f), 0));
    EXPECT_TRUE(near(Tuple(run.env.Oi), Tuple(0.25f, 0.5f, 0.5f), 0));
}

TEST(Constructs, InfoDescribesTypesDefaultsAndTheLightsKind) {
    ovotest::ScratchDir dir;
    ASSERT_TRUE(ovotest::compileShader(dir, "infolamp.sl", R"(
light infolamp(float intensity = 2; color lightcolor = (1, 0.5, 0.25);
               point from = point "shader" (0, 0, 1); string name = "key";
               float weights[2] = {0.5, 0.25}; output varying float seen = 0;
               matrix m = 1) {
    Cl = intensity * lightcolor;
    seen = 1;
})"));
    ovotest::ShaderRun run(dir, "infolamp");
    ASSERT_TRUE(run.shader);
    EXPECT_EQ(ovo::compiler::describeShader(*run.shader),
              "light \"infolamp\"\n"
              "    reads: L Cl\n"
              "    float intensity = 2\n"
              "    color lightcolor = [1 0.5 0.25]\n"
              "    point from = [0 0 1]\n"
              "    string name = \"key\"\n"
              "    float weights[2] = {0.5, 0.25}\n"
              "    output float seen = 0\n"
              "    matrix m = [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1]\n");
}

}  // namespace
