// The front end's tables: sources that must be accepted without a word, and sources with a
// mistake and the exact first diagnostic (place and text) the compiler must give.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <string>
#include <vector>

#include "compiler/compile_util.h"
#include "compiler/frontend.h"

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

// Each source with the exact first diagnostic the compiler must give for it.
void expectFirstDiagnostics(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [source, message] : cases) {
        const std::vector<std::string> found = diagnose(source);
        ASSERT_FALSE(found.empty()) << source;
        EXPECT_EQ(found.front(), message) << source;
    }
}

TEST(Frontend, ParserRefusals) {
    expectFirstDiagnostics({
        {"surface s() { Ci = 1 }", "t.sl:1:22: error: expected ';' before '}'"},
        {"surface s() { float = 1; }", "t.sl:1:21: error: expected an expression before '='"},
        {"surface s() { Ci = @; }", "t.sl:1:20: error: unexpected character '@'"},
        {"surface s() { string x = \"abc; }", "t.sl:1:26: error: unterminated string"},
        {"surface s() {} /* never closed", "t.sl:1:16: error: unterminated comment"},
        {"surface s(float a[0] = 1) {}",
         "t.sl:1:19: error: array length must be a positive whole number"},
        {"surface s() { while (1) break 0; }",
         "t.sl:1:31: error: the number of loops to leave must be a positive whole number"},
        {"foo",
         "t.sl:1:1: error: expected a shader or function definition before identifier 'foo'"},
        {"surface a() {} surface b() {}",
         "t.sl:1:24: error: a file holds one shader; 'a' is already defined"},
        {"surface s() { if (1) }", "t.sl:1:22: error: expected an expression before '}'"},
        {"surface s() { gather(\"illuminance\", P, N, 1, 8) { Ci = 1; } }",
         "t.sl:1:15: error: 'gather' loops are not supported: use trace, occlusion or "
         "indirectdiffuse"},
        {"surface s() { float x[] = {1}; }",
         "t.sl:1:23: error: expected an array length before ']'"},
        {"surface s() { Ci = 1 + ; }", "t.sl:1:24: error: expected an expression before ';'"},
        {"surface s(void x = 1) {}", "t.sl:1:11: error: a parameter cannot be void"},
        {"surface s() { float x = 1 x = 2; }",
         "t.sl:1:27: error: expected ';' before identifier 'x'"},
        // The shader kinds are keywords but where they are message-passing calls.
        {"surface s() { float x = surface; }",
         "t.sl:1:25: error: expected an expression before 'surface'"},
        {"surface s() { Ci = displacement + 1; }",
         "t.sl:1:20: error: expected an expression before 'displacement'"},
        // Nesting too deep is refused, not a crash.
        {"surface s() { Ci = " + std::string(5000, '(') + "1" + std::string(5000, ')') + "; }",
         "t.sl:1:119: error: expression nested too deeply"},
        {"surface s() " + std::string(5000, '{') + std::string(5000, '}'),
         "t.sl:1:214: error: statements nested too deeply"},
    });
}

TEST(Frontend, CheckerRefusals) {
    expectFirstDiagnostics({
        {"surface s() { Ci = nothing; }", "t.sl:1:20: error: 'nothing' is not declared"},
        {"surface s() { point p = color(1, 0, 0); }",
         "t.sl:1:25: error: cannot convert color to point in the initial value of 'p'"},
        {"surface s() { u = 1; }", "t.sl:1:15: error: cannot assign to 'u': it is read-only"},
        {"surface s(float Ka = 1) { Ka = 2; }",
         "t.sl:1:27: error: cannot assign to parameter 'Ka': it is not an output parameter"},
        {"surface s(float Ka) {}", "t.sl:1:17: error: shader parameter 'Ka' needs a default value"},
        {"surface s() { uniform float x = s; }",
         "t.sl:1:33: error: cannot give the uniform variable 'x' a varying value"},
        {"surface s() { uniform float x = 0; if (u > 0.5) x = 1; }",
         "t.sl:1:51: error: cannot assign to uniform variable 'x' under a condition that varies"},
        {"surface s(output float k = 0) { k = u; }",
         "t.sl:1:35: error: cannot assign a varying value to uniform variable 'k'"},
        {"surface s() { float x = foo(1); }", "t.sl:1:25: error: 'foo' is not a function"},
        {"surface s() { float x = mix(1, \"a\", 2); }",
         "t.sl:1:25: error: no form of 'mix' takes (float, string, float)"},
        {"float f(float x) { return f(x); } surface s() {}",
         "t.sl:1:27: error: 'f' calls itself: shading-language functions cannot be recursive"},
        {"surface s() { break; }", "t.sl:1:15: error: 'break' is not inside a loop"},
        {"surface s() { while (1) { continue 2; } }",
         "t.sl:1:27: error: 'continue 2' is not inside 2 loops"},
        {"float f() { } surface s() {}",
         "t.sl:1:7: error: function 'f' returns float but has no return statement"},
        {"surface s() { return 1; }", "t.sl:1:15: error: a shader returns no value"},
        {"void f() { return 1; } surface s() {}",
         "t.sl:1:12: error: function 'f' returns void: it cannot return a value"},
        {"float f() { return; } surface s() {}",
         "t.sl:1:13: error: function 'f' must return float"},
        {"surface s() { float x = (1, 2, 3) . Cs; }",
         "t.sl:1:35: error: cannot apply '.' to triple and color"},
        {"surface s() { float a[3]; Ci = a[3]; }",
         "t.sl:1:34: error: index 3 is outside the array (3 values)"},
        {"surface s() { float x = 1; x[0] = 1; }",
         "t.sl:1:29: error: only arrays can be indexed, not float"},
        {"surface s() { float x; float x; }",
         "t.sl:1:30: error: 'x' is already declared in this scope"},
        {"surface s() { illuminate(P) { Cl = 1; } }",
         "t.sl:1:15: error: 'illuminate' belongs in light shaders"},
        {"light l() { illuminance(P) { Cl = 1; } }",
         "t.sl:1:13: error: 'illuminance' cannot be used in a light shader"},
        {"light l() { illuminate() { Cl = 1; } }",
         "t.sl:1:13: error: wrong number of arguments to 'illuminate'"},
        {"surface s() { Ci = u > 0 ? Cs : \"a\"; }",
         "t.sl:1:26: error: the two branches of '?:' have different types: color and string"},
        {"surface s() { float x = 1; float g() { return x; } }",
         "t.sl:1:47: error: 'x' belongs to an enclosing function: declare it extern to use it "
         "here"},
        {"surface s() { float g() { extern float y; return y; } }",
         "t.sl:1:40: error: extern variable 'y' is not declared in an enclosing function"},
        {"surface s() { Ci = trace(P, N, \"samples\"); }",
         "t.sl:1:32: error: options of 'trace' come in name/value pairs: the last name has no "
         "value"},
        {"surface s(float x[] = {1}) {}",
         "t.sl:1:17: error: shader parameter 'x' needs an array length"},
        {"surface s() { setcomp(Cs + 1, 0, 1); }",
         "t.sl:1:26: error: cannot pass as output an expression: only variables and array elements "
         "can be changed"},
        {"surface s() { if (Cs) Ci = 1; }",
         "t.sl:1:19: error: a condition must be a comparison or a float, not color"},
        {"surface s() { string t = \"a\"; Ci = -t; }", "t.sl:1:36: error: cannot negate string"},
        {"surface s() { Ci = (1, 2); }",
         "t.sl:1:20: error: a parenthesised list has 3 or 16 components, not 2"},
        {"surface s() { Ci = float \"world\" 1; }",
         "t.sl:1:20: error: a float has no space: \"world\""},
        {"surface s() { float x = float Cs; }", "t.sl:1:25: error: cannot convert color to float"},
        {"surface s() { float x = bake3d(\"f\", \"\", P, N); }",
         "t.sl:1:25: error: point-cloud baking (bake3d) is not supported: OVO computes occlusion "
         "and indirect light with its own caches"},
        {"surface s() { x++; }", "t.sl:1:15: error: 'x' is not declared"},
        {"surface s() { string t; t++; }", "t.sl:1:26: error: '++' needs a float, not string"},
        {"float f(float x = 1) { return x; } surface s() {}",
         "t.sl:1:15: error: a function parameter takes no default value"},
        {"float f(output float x) { x = 1; return x; } surface s() { f(1); }",
         "t.sl:1:62: error: cannot pass as output an expression: only variables and array elements "
         "can be changed"},
        {"float f(uniform float x) { return x; } surface s() { float y = f(u); }",
         "t.sl:1:66: error: parameter 'x' of 'f' is uniform, but the value passed varies"},
        {"float f(float x) { return x; } surface s() { float y = f(1, 2); }",
         "t.sl:1:56: error: no function 'f' takes (float, float)"},
        {"float f() { return 1; }", "t.sl: error: no shader is defined in this file"},
        {"surface s() { float w; surface(\"a\", \"b\"); }",
         "t.sl:1:24: error: no form of 'surface' takes (string, string)"},
        // Only an imager sees alpha, and it sees none of a surface's globals.
        {"imager i() { Ci = Cs; }", "t.sl:1:19: error: 'Cs' is not declared"},
        {"surface s() { Oi = alpha; }", "t.sl:1:20: error: 'alpha' is not declared"},
        {"float f() { return alpha; }\nsurface s() { Ci = f(); }",
         "t.sl:1:20: error: 'alpha' is not declared"},
    });
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
