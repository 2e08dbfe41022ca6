// The front end's tables: sources that must be accepted without a word, and sources with a
// mistake and the exact first diagnostic (place and text) the compiler must give.
#include <filesystem>

#include "compile_util.h"

namespace {

using namespace ovo::compiler;
namespace fs = std::filesystem;

using ovotest::diagnose;

// The standard shaders, and what of the language they do not use.
TEST(Frontend, AcceptsTheWholeLanguage) {
    std::vector<std::string> sources = {
        // Parameters of every type with defaults that use other parameters, spaces and casts.
        "surface s(matrix m = 1; normal nn = (0, 0, 1); vector v = vector \"world\" (1, 0, 0);\n"
        "          output varying color c = 0; color d = (color(1) + c) / 2;) {\n"
        "  matrix q = matrix \"object\" 1; varying point p = P; Ci = c;\n}",
        // Parameters separated by commas and by semicolons, a trailing semicolon.
        "surface s(float Ka = 1, Kd = 0.5; float Ks = .5, roughness = 1e-1;) {}",
        "surface s() {\n"
        "  float d = 1, x = d > 0 && !(d <= 1) || d != 2 ? 1 : 0; vector c = 1; c /= x + 1;\n"
        "  Ci = color(c) * -x + (Cs == color 1 ? 1 : Cs); P += N * 0.1;\n}",
        "surface s() {\n"
        "  point p = transform(\"object\", \"world\", P); vector v = vtransform(\"world\", I);\n"
        "  normal n = ntransform(\"object\", N); Ci = color(p) + color(v) + color(n);\n}",
        "surface s() { color C = 0; illuminance(\"key\", P) { C += Cl; } Ci = C + phong(N, -I, "
        "10); }",
        "surface s() {\n"
        "  float f = sign(-1) + abs(-1) + log(8, 2) + Deriv(u, v) + area(P) + depth(P);\n"
        "  f += distance(P, E) + filterstep(0.5, u) + filterstep(0.5, u, v, \"width\", 2);\n"
        "  Ci = trace(P, reflect(I, N), \"samples\", 4) * f;\n}",
        // Preprocessor line markers move places to the files they name.
        "# 10 \"other.sl\"\nsurface s() {}",
        // An imager sees the pixel and alpha, and so do the functions of its file.
        "imager i() { Ci = Ci * Oi + color(xcomp(P), ncomps, time); alpha = 1 - alpha; }",
        "float f() { return alpha; }\nimager i() { alpha = f(); }",
        // Message passing named like the shader kinds: calls inside bodies.
        "surface s() { float w = 1; surface(\"glazed\", w); Ci = w; }",
        "surface s() { color c = 0; if (surface(\"Ct\", c) != 0) Ci = c; }",
        "surface s() { point p = 0; float f = displacement(\"lift\", p); Ci = f; }",
        "float peek() { float w = 0; surface(\"w\", w); return w; } surface s() { Ci = peek(); }",
    };
    const std::size_t own = sources.size();
    for (const char* kind : {"surface", "light", "displacement", "volume"})
        for (const auto& file : fs::directory_iterator(fs::path(OVO_SOURCE_DIR) / "shaders" / kind))
            if (file.path().extension() == ".sl") sources.push_back(ovotest::readText(file.path()));
    EXPECT_GT(sources.size(), own + 30);
    for (const std::string& source : sources) {
        const std::vector<std::string> found = diagnose(source);
        EXPECT_TRUE(found.empty()) << source << "\n--> " << found.front();
    }
}

// Each source with the column and text of the first error the compiler must give for it.
TEST(Frontend, RefusalsNameTheFirstMistake) {
    const struct {
        std::string source;
        int column;
        const char* message;
    } cases[] = {
        {"surface s() { Ci = 1 }", 22, "expected ';' before '}'"},
        {"surface s() { float = 1; }", 21, "expected an expression before '='"},
        {"surface s() { Ci = @; }", 20, "unexpected character '@'"},
        {"surface s() { string x = \"abc; }", 26, "unterminated string"},
        {"surface s() {} /* never closed", 16, "unterminated comment"},
        {"surface s(float a[0] = 1) {}", 19, "array length must be a positive whole number"},
        {"surface s() { while (1) break 0; }", 31,
         "the number of loops to leave must be a positive whole number"},
        {"foo", 1, "expected a shader or function definition before identifier 'foo'"},
        {"surface a() {} surface b() {}", 24, "a file holds one shader; 'a' is already defined"},
        {"surface s() { if (1) }", 22, "expected an expression before '}'"},
        {"surface s() { gather(\"illuminance\", P, N, 1, 8) { Ci = 1; } }", 15,
         "'gather' loops are not supported: use trace, occlusion or indirectdiffuse"},
        {"surface s() { float x[] = {1}; }", 23, "expected an array length before ']'"},
        {"surface s() { Ci = 1 + ; }", 24, "expected an expression before ';'"},
        {"surface s(void x = 1) {}", 11, "a parameter cannot be void"},
        {"surface s() { float x = 1 x = 2; }", 27, "expected ';' before identifier 'x'"},
        // The shader kinds are keywords but where they are message-passing calls.
        {"surface s() { float x = surface; }", 25, "expected an expression before 'surface'"},
        {"surface s() { Ci = displacement + 1; }", 20,
         "expected an expression before 'displacement'"},
        // Nesting too deep is refused, not a crash.
        {"surface s() { Ci = " + std::string(5000, '(') + "1" + std::string(5000, ')') + "; }", 119,
         "expression nested too deeply"},
        {"surface s() " + std::string(5000, '{') + std::string(5000, '}'), 214,
         "statements nested too deeply"},
        {"surface s() { Ci = nothing; }", 20, "'nothing' is not declared"},
        {"surface s() { point p = color(1, 0, 0); }", 25,
         "cannot convert color to point in the initial value of 'p'"},
        {"surface s() { u = 1; }", 15, "cannot assign to 'u': it is read-only"},
        {"surface s(float Ka = 1) { Ka = 2; }", 27,
         "cannot assign to parameter 'Ka': it is not an output parameter"},
        {"surface s(float Ka) {}", 17, "shader parameter 'Ka' needs a default value"},
        {"surface s() { uniform float x = s; }", 33,
         "cannot give the uniform variable 'x' a varying value"},
        {"surface s() { uniform float x = 0; if (u > 0.5) x = 1; }", 51,
         "cannot assign to uniform variable 'x' under a condition that varies"},
        {"surface s(output float k = 0) { k = u; }", 35,
         "cannot assign a varying value to uniform variable 'k'"},
        {"surface s() { float x = foo(1); }", 25, "'foo' is not a function"},
        {"surface s() { float x = mix(1, \"a\", 2); }", 25,
         "no form of 'mix' takes (float, string, float)"},
        {"float f(float x) { return f(x); } surface s() {}", 27,
         "'f' calls itself: shading-language functions cannot be recursive"},
        {"surface s() { break; }", 15, "'break' is not inside a loop"},
        {"surface s() { while (1) { continue 2; } }", 27, "'continue 2' is not inside 2 loops"},
        {"float f() { } surface s() {}", 7,
         "function 'f' returns float but has no return statement"},
        {"surface s() { return 1; }", 15, "a shader returns no value"},
        {"void f() { return 1; } surface s() {}", 12,
         "function 'f' returns void: it cannot return a value"},
        {"float f() { return; } surface s() {}", 13, "function 'f' must return float"},
        {"surface s() { float x = (1, 2, 3) . Cs; }", 35, "cannot apply '.' to triple and color"},
        {"surface s() { float a[3]; Ci = a[3]; }", 34, "index 3 is outside the array (3 values)"},
        {"surface s() { float x = 1; x[0] = 1; }", 29, "only arrays can be indexed, not float"},
        {"surface s() { float x; float x; }", 30, "'x' is already declared in this scope"},
        {"surface s() { illuminate(P) { Cl = 1; } }", 15, "'illuminate' belongs in light shaders"},
        {"light l() { illuminance(P) { Cl = 1; } }", 13,
         "'illuminance' cannot be used in a light shader"},
        {"light l() { illuminate() { Cl = 1; } }", 13, "wrong number of arguments to 'illuminate'"},
        {"surface s() { Ci = u > 0 ? Cs : \"a\"; }", 26,
         "the two branches of '?:' have different types: color and string"},
        {"surface s() { float x = 1; float g() { return x; } }", 47,
         "'x' belongs to an enclosing function: declare it extern to use it here"},
        {"surface s() { float g() { extern float y; return y; } }", 40,
         "extern variable 'y' is not declared in an enclosing function"},
        {"surface s() { Ci = trace(P, N, \"samples\"); }", 32,
         "options of 'trace' come in name/value pairs: the last name has no value"},
        {"surface s(float x[] = {1}) {}", 17, "shader parameter 'x' needs an array length"},
        {"surface s() { setcomp(Cs + 1, 0, 1); }", 26,
         "cannot pass as output an expression: only variables and array elements can be changed"},
        {"surface s() { if (Cs) Ci = 1; }", 19,
         "a condition must be a comparison or a float, not color"},
        {"surface s() { string t = \"a\"; Ci = -t; }", 36, "cannot negate string"},
        {"surface s() { Ci = (1, 2); }", 20, "a parenthesised list has 3 or 16 components, not 2"},
        {"surface s() { Ci = float \"world\" 1; }", 20, "a float has no space: \"world\""},
        {"surface s() { float x = float Cs; }", 25, "cannot convert color to float"},
        {"surface s() { float x = bake3d(\"f\", \"\", P, N); }", 25,
         "point-cloud baking (bake3d) is not supported: OVO computes occlusion and indirect light "
         "with its own caches"},
        {"surface s() { x++; }", 15, "'x' is not declared"},
        {"surface s() { string t; t++; }", 26, "'++' needs a float, not string"},
        {"float f(float x = 1) { return x; } surface s() {}", 15,
         "a function parameter takes no default value"},
        {"float f(output float x) { x = 1; return x; } surface s() { f(1); }", 62,
         "cannot pass as output an expression: only variables and array elements can be changed"},
        {"float f(uniform float x) { return x; } surface s() { float y = f(u); }", 66,
         "parameter 'x' of 'f' is uniform, but the value passed varies"},
        {"float f(float x) { return x; } surface s() { float y = f(1, 2); }", 56,
         "no function 'f' takes (float, float)"},
        {"surface s() { float w; surface(\"a\", \"b\"); }", 24,
         "no form of 'surface' takes (string, string)"},
        // Only an imager sees alpha, and it sees none of a surface's globals.
        {"imager i() { Ci = Cs; }", 19, "'Cs' is not declared"},
        {"surface s() { Oi = alpha; }", 20, "'alpha' is not declared"},
        {"float f() { return alpha; }\nsurface s() { Ci = f(); }", 20, "'alpha' is not declared"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> found = diagnose(c.source);
        ASSERT_FALSE(found.empty()) << c.source;
        EXPECT_EQ(found.front(),
                  "t.sl:1:" + std::to_string(c.column) + ": error: " + std::string(c.message))
            << c.source;
    }
}

// Every diagnostic of a source, in order: several mistakes in one run, a message placed in the
// file a line marker names, the warning that derivatives in light statements are zero.
TEST(Frontend, ReportsEveryDiagnosticInOrder) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"surface s() {\n  Ci = a;\n  Oi = b;\n  float c = \"x\";\n}",
         {"t.sl:2:8: error: 'a' is not declared", "t.sl:3:8: error: 'b' is not declared",
          "t.sl:4:13: error: cannot convert string to float in the initial value of 'c'"}},
        {"# 1 \"main.sl\"\n# 1 \"lib.h\" 1\nfloat f() { return q; }\n# 2 \"main.sl\" 2\n"
         "surface s() { Ci = f(); }",
         {"lib.h:1:20: error: 'q' is not declared"}},
        {"float f() { return 1; }", {"t.sl: error: no shader is defined in this file"}},
        {"surface s() { illuminance(P) { Ci += Du(u); } }",
         {"t.sl:1:38: warning: derivatives are 0 inside illuminance, illuminate and solar "
          "statements and in parameter defaults: 'Du' takes none here"}},
    };
    for (const auto& [source, expected] : cases) EXPECT_EQ(diagnose(source), expected) << source;
}

TEST(Frontend, ShowsTheSourceLineAndACaretUnderTheColumn) {
    Diagnostics d;
    frontEnd("surface s() {\n\tCi = Cs +  P;\n}", "t.sl", d);
    ASSERT_EQ(d.errorCount(), 1);
    EXPECT_EQ(d.formatAll(),
              "t.sl:2:10: error: cannot apply '+' to color and point\n"
              "\tCi = Cs +  P;\n"
              "\t        ^\n"
              "1 error\n");
}

}  // namespace
