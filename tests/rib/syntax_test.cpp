// The RIB tokenizer and declarations on their own, and the reader's messages for text it cannot
// read as requests.
#include <gtest/gtest.h>

#include "plugins/generators/rib/declarations.h"
#include "plugins/generators/rib/parser.h"
#include "tests/rib/recorder.h"

using namespace ovo::rib;

namespace {

// Hands out its text a few bytes at a time, so tokens straddle buffer refills.
class TrickleSource : public Source {
  public:
    TrickleSource(const std::string& whole, std::size_t bytesPerRead)
        : text(whole), chunk(bytesPerRead) {}
    long read(char* buffer, std::size_t size) override {
        std::size_t n = std::min({size, chunk, text.size() - pos});
        std::memcpy(buffer, text.data() + pos, n);
        pos += n;
        return long(n);
    }

  private:
    std::string text;
    std::size_t chunk, pos = 0;
};

// The tokens as "line:what": a name, a number (with "i" when written as an integer), a quoted
// string, a bracket, "!message" for an invalid token and "$" for the end.
std::string tokens(Source& source) {
    Tokenizer tokenizer(source);
    std::string out;
    Token t;
    for (int i = 0; i < 100 && (i == 0 || t.kind != Token::End); ++i) {
        tokenizer.next(t);
        char number[32];
        std::snprintf(number, sizeof number, "%.15g%s", t.number, t.integer ? "i" : "");
        const std::string what[] = {"$", t.text, number,      "\"" + t.text + "\"",
                                    "[", "]",    "!" + t.text};
        out += (i ? " " : "") + std::to_string(t.line) + ":" + what[t.kind];
    }
    return out;
}

}  // namespace

TEST(RibTokenizer, ReadsEveryKindOfTokenWithItsLineHoweverTheInputArrives) {
    const std::string text =
        "##RenderMan RIB\nversion 3.03 # a comment\n"
        "Sphere 1 -2.5 .5e1 +7 [ \"a b\" ]\n\n  Translate";
    for (std::size_t chunk : {1u, 3u, 1000u}) {
        TrickleSource source(text, chunk);
        EXPECT_EQ(
            tokens(source),
            "2:version 2:3.03 3:Sphere 3:1i 3:-2.5 3:5 3:7i 3:[ 3:\"a b\" 3:] 5:Translate 5:$")
            << chunk << " bytes at a time";
    }
    // Escapes; lines inside strings count, an escaped newline too. Underflow is zero, not an
    // error; "inf" and "nan" are words, not numbers.
    const std::string escapes =
        "\"a\\n\\t\\\\\\\"\\101\\7x\\\nb\" \"two\nlines\" Next 1e-400 +.5 inf nan";
    TrickleSource source(escapes, 1000);
    EXPECT_EQ(tokens(source),
              "1:\"a\n\t\\\"A\007xb\" 2:\"two\nlines\" 3:Next 3:0 3:0.5 3:inf 3:nan 3:$");
}

TEST(RibSyntax, TextThatIsNoRequestIsReportedAndSkipped) {
    // Line 7 is a one-byte binary integer (-127): a number, one too few for Sphere.
    const char text[] =
        "Sphere 1x\nSphere 1.2.3\nSphere --1\nSphere 0x10\nSphere 1e999\nSphere -1e400\n"
        "Sphere \x80\x81\nSphere @foo\nSphere 1\xff\nSphere \0\nColor [1 \"a\"]\nColor [[1]]\n"
        "Color ] 1\nPolygon \"P\" [0 0 0\n";
    ovotest::expectRows(
        {
            {std::string(text, sizeof text - 1),
             "E: test.rib:1: Sphere: invalid number \"1x\". Skipping ...; E: test.rib:2: Sphere: "
             "invalid number \"1.2.3\". Skipping ...; E: test.rib:3: Sphere: invalid number "
             "\"--1\". Skipping ...; E: test.rib:4: Sphere: invalid number \"0x10\". Skipping ...; "
             "E: test.rib:5: Sphere: number out of range \"1e999\". Skipping ...; E: test.rib:6: "
             "Sphere: number out of range \"-1e400\". Skipping ...; E: test.rib:7: Sphere: "
             "expected 4 numbers, got 1. Skipping ...; E: test.rib:8: Sphere: unexpected character "
             "'@'. Skipping ...; E: test.rib:9: Sphere: unexpected character 0xff. Skipping ...; "
             "E: test.rib:10: Sphere: unexpected character 0x00. Skipping ...; E: test.rib:11: "
             "Color: array mixes numbers and strings. Skipping ...; E: test.rib:12: Color: nested "
             "arrays are not allowed. Skipping ...; E: test.rib:13: Color: unexpected ']'. "
             "Skipping ...; E: test.rib:14: Polygon: unterminated array. Skipping ..."},
            // Values and bad words outside a request, and strings the input ends in.
            {"1 2 \"x\"", "E: test.rib:1: value outside a request"},
            {"Sphere\x01", "E: test.rib:1: unexpected character 0x01"},
            {"Sphere +-1 1 1 360", "E: test.rib:1: Sphere: invalid number \"+-1\". Skipping ..."},
            {"Sphere \"open", "E: test.rib:1: Sphere: unterminated string. Skipping ..."},
            {"Sphere 1 \"open\\", "E: test.rib:1: Sphere: unterminated string. Skipping ..."},
        },
        false);
}

TEST(RibDeclarations, ParsesInlineAndDeclaredForms) {
    Declaration d;
    std::string name;
    auto said = [&](DeclParse result) -> std::string {
        if (result != DeclParse::Ok) return result == DeclParse::Bad ? "bad" : "not a declaration";
        return d.ovoText(name, true) + " (" + std::to_string(d.elements()) + ")";
    };
    const std::pair<const char*, std::string> forms[] = {
        {"uniform float Kd", "perpiece float Kd (1)"},
        {"varying float[2] st", "linear float[2] st (2)"},
        {"facevarying normal [ 3 ] n", "linear normal[3] n (9)"},
        {"vertex point P", "vertex point P (3)"},
        {"constant string x", "string x (1)"},
        {"integer n", "int n (1)"},
        {"int n", "int n (1)"},
        {"hpoint Pw", "hpoint Pw (4)"},
        {"matrix m", "matrix m (16)"},
        {"color", "color  (3)"},
        {"Kd", "not a declaration"},
        {"floats a", "not a declaration"},
        {"uniform Kd", "bad"},
        {"float[x] a", "bad"},
        {"float[0] a", "bad"},
        {"float[2 a", "bad"},
        {"float a b", "bad"},
    };
    for (const auto& f : forms) EXPECT_EQ(said(parseDeclaration(f.first, d, name)), f.second);
    ASSERT_EQ(parseDeclaration("uniform float Kd", d, name), DeclParse::Ok);
    EXPECT_EQ(d.ovoText("Kd", false), "float Kd");

    DeclarationTable table;
    EXPECT_EQ(said(table.resolve("Cs", d, name)), "linear color Cs (3)");  // standard
    EXPECT_EQ(said(table.resolve("freq", d, name)), "not a declaration");
    EXPECT_TRUE(table.declare("freq", "uniform float[3]"));
    EXPECT_EQ(said(table.resolve("freq", d, name)), "perpiece float[3] freq (3)");
    EXPECT_TRUE(table.declare("Cs", "constant color"));  // a declaration overrides the standard
    EXPECT_EQ(said(table.resolve("Cs", d, name)), "color Cs (3)");
    EXPECT_FALSE(table.declare("x", "float y"));  // Declare's text has no name
    EXPECT_FALSE(table.declare("x", "bogus"));
    EXPECT_FALSE(table.declare("", "float"));
    EXPECT_EQ(table.resolve("two words", d, name), DeclParse::Bad);
}
