// The RIB tokenizer, parser, declarations and matrix helpers on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "plugins/generators/rib/declarations.h"
#include "plugins/generators/rib/parser.h"
#include "plugins/generators/rib/ribmath.h"

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
    std::size_t chunk;
    std::size_t pos = 0;
};

std::vector<Token> tokenize(Source& source) {
    Tokenizer tokenizer(source);
    std::vector<Token> out;
    Token t;
    do {
        tokenizer.next(t);
        out.push_back(t);
    } while (t.kind != Token::End && out.size() < 1000);
    return out;
}

std::vector<Token> tokenize(const std::string& text) {
    MemorySource source(text.data(), text.size());
    return tokenize(source);
}

std::vector<Request> parse(const std::string& text) {
    MemorySource source(text.data(), text.size());
    Tokenizer tokenizer(source);
    Parser parser(tokenizer);
    std::vector<Request> out;
    Request r;
    while (parser.next(r) && out.size() < 1000) out.push_back(r);
    return out;
}

}  // namespace

TEST(RibTokenizer, ReadsEveryKindOfTokenWithItsLine) {
    const std::string text =
        "##RenderMan RIB\nversion 3.03 # a comment\n"
        "Sphere 1 -2.5 .5e1 +7 [ \"a b\" ]\n\n  Translate";
    std::vector<Token> t = tokenize(text);
    ASSERT_EQ(t.size(), 12u);
    EXPECT_EQ(t[0].kind, Token::Name);
    EXPECT_EQ(t[0].text, "version");
    EXPECT_EQ(t[0].line, 2);
    EXPECT_EQ(t[1].kind, Token::Number);
    EXPECT_DOUBLE_EQ(t[1].number, 3.03);
    EXPECT_FALSE(t[1].integer);
    EXPECT_EQ(t[2].text, "Sphere");
    EXPECT_EQ(t[2].line, 3);
    EXPECT_DOUBLE_EQ(t[3].number, 1.0);
    EXPECT_TRUE(t[3].integer);
    EXPECT_DOUBLE_EQ(t[4].number, -2.5);
    EXPECT_DOUBLE_EQ(t[5].number, 5.0);
    EXPECT_FALSE(t[5].integer);  // written with an exponent
    EXPECT_DOUBLE_EQ(t[6].number, 7.0);
    EXPECT_EQ(t[7].kind, Token::ArrayBegin);
    EXPECT_EQ(t[8].kind, Token::String);
    EXPECT_EQ(t[8].text, "a b");
    EXPECT_EQ(t[9].kind, Token::ArrayEnd);
    EXPECT_EQ(t[10].text, "Translate");
    EXPECT_EQ(t[10].line, 5);
    EXPECT_EQ(t[11].kind, Token::End);

    // The same text handed over one and three bytes at a time gives the same tokens.
    for (std::size_t chunk : {1u, 3u}) {
        TrickleSource source(text, chunk);
        std::vector<Token> u = tokenize(source);
        ASSERT_EQ(u.size(), t.size());
        for (std::size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(u[i].kind, t[i].kind);
            EXPECT_EQ(u[i].text, t[i].text);
            EXPECT_EQ(u[i].number, t[i].number);
            EXPECT_EQ(u[i].line, t[i].line);
        }
    }
}

TEST(RibTokenizer, DecodesStringEscapesAndCountsLinesInsideStrings) {
    std::vector<Token> t = tokenize("\"a\\n\\t\\\\\\\"\\101\\7x\\\nb\" \"two\nlines\" Next");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].text, std::string("a\n\t\\\"A\007xb"));
    EXPECT_EQ(t[1].text, "two\nlines");
    EXPECT_EQ(t[1].line, 2);  // the escaped newline continued line 1 but still counts
    EXPECT_EQ(t[2].text, "Next");
    EXPECT_EQ(t[2].line, 3);
}

TEST(RibTokenizer, TurnsBadInputIntoInvalidTokens) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"\"open", "unterminated string"},
        {"\"open\\", "unterminated string"},
        {"1x", "invalid number \"1x\""},
        {"1.2.3", "invalid number \"1.2.3\""},
        {"--1", "invalid number \"--1\""},
        {"0x10", "invalid number \"0x10\""},
        {"1e999", "number out of range \"1e999\""},
        {"-1e400", "number out of range \"-1e400\""},
        {std::string("\x80\x81 "), "unexpected character 0x80"},
        {std::string("\0", 1), "unexpected character 0x00"},
        {"@foo", "unexpected character '@'"},
        {"Sphere\x01", "unexpected character 0x01"},
        {std::string("1\xff"), "invalid number \"1\\xff\""},
    };
    for (const Case& c : cases) {
        std::vector<Token> t = tokenize(c.text);
        ASSERT_GE(t.size(), 2u) << c.text;
        EXPECT_EQ(t[0].kind, Token::Invalid) << c.text;
        EXPECT_EQ(t[0].text, c.message) << c.text;
        EXPECT_EQ(t.back().kind, Token::End);
    }
    // Underflow is zero, not an error; "inf" and "nan" are words, not numbers.
    std::vector<Token> t = tokenize("1e-400 inf nan");
    EXPECT_EQ(t[0].kind, Token::Number);
    EXPECT_EQ(t[0].number, 0.0);
    EXPECT_EQ(t[1].kind, Token::Name);
    EXPECT_EQ(t[2].kind, Token::Name);
}

TEST(RibParser, GroupsArgumentsIntoRequests) {
    std::vector<Request> r = parse(
        "Sphere 1 -1 1 360 \"float Ka\" [0.5]\n"
        "Display \"a.tif\" \"file\" \"rgba\"\n"
        "Polygon \"P\" [0 0 0 1 0 0 1 1 0] \"st\" []\n"
        "WorldEnd");
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].name, "Sphere");
    ASSERT_EQ(r[0].args.size(), 6u);
    EXPECT_EQ(r[0].args[0].kind, Value::Number);
    EXPECT_EQ(r[0].args[4].kind, Value::String);
    EXPECT_EQ(r[0].args[5].kind, Value::NumberArray);
    EXPECT_FALSE(r[0].args[5].integers);
    EXPECT_EQ(r[1].line, 2);
    EXPECT_EQ(r[1].args[2].strings[0], "rgba");
    EXPECT_EQ(r[2].args[1].numbers.size(), 9u);
    EXPECT_TRUE(r[2].args[1].integers);
    EXPECT_EQ(r[2].args[3].kind, Value::EmptyArray);
    EXPECT_EQ(r[3].name, "WorldEnd");
    EXPECT_TRUE(r[3].args.empty());
    for (const Request& q : r) EXPECT_EQ(q.error, "");
}

TEST(RibParser, MarksMalformedRequestsAndRecoversAtTheNextName) {
    std::vector<Request> r = parse(
        "1 2 \"x\"\n"
        "Polygon \"P\" [0 0 0\n"
        "Color [1 \"a\"]\n"
        "Color [[1]]\n"
        "Color ] 1\n"
        "Sphere 1 -1 1 360");
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(r[0].name, "");
    EXPECT_EQ(r[0].error, "value outside a request");
    EXPECT_EQ(r[1].name, "Polygon");
    EXPECT_EQ(r[1].error, "unterminated array");
    EXPECT_EQ(r[2].error, "array mixes numbers and strings");
    EXPECT_EQ(r[3].error, "nested arrays are not allowed");
    EXPECT_EQ(r[4].error, "unexpected ']'");
    EXPECT_EQ(r[5].name, "Sphere");
    EXPECT_EQ(r[5].error, "");
    EXPECT_EQ(r[5].line, 6);

    // A bad word inside a request spoils that request only.
    r = parse("Sphere 1 @ 2\nWorldEnd");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].error, "unexpected character '@'");
    EXPECT_EQ(r[1].error, "");
}

TEST(RibDeclarations, ParsesInlineAndDeclaredForms) {
    Declaration d;
    std::string name;
    EXPECT_EQ(parseDeclaration("uniform float Kd", d, name), DeclParse::Ok);
    EXPECT_EQ(d.storage, StorageClass::Uniform);
    EXPECT_EQ(d.type, DataType::Float);
    EXPECT_EQ(name, "Kd");
    EXPECT_EQ(d.ovoText("Kd", true), "perpiece float Kd");
    EXPECT_EQ(d.ovoText("Kd", false), "float Kd");

    EXPECT_EQ(parseDeclaration("varying float[2] st", d, name), DeclParse::Ok);
    EXPECT_EQ(d.arraylen, 2);
    EXPECT_EQ(d.elements(), 2);
    EXPECT_EQ(d.ovoText(name, true), "linear float[2] st");
    EXPECT_EQ(parseDeclaration("facevarying normal [ 3 ] n", d, name), DeclParse::Ok);
    EXPECT_EQ(d.elements(), 9);
    EXPECT_EQ(d.ovoText(name, true), "linear normal[3] n");
    EXPECT_EQ(parseDeclaration("vertex point P", d, name), DeclParse::Ok);
    EXPECT_EQ(d.ovoText(name, true), "vertex point P");
    EXPECT_EQ(parseDeclaration("constant string x", d, name), DeclParse::Ok);
    EXPECT_EQ(d.ovoText(name, true), "string x");
    EXPECT_EQ(parseDeclaration("integer n", d, name), DeclParse::Ok);
    EXPECT_EQ(d.ovoText(name, true), "int n");
    EXPECT_EQ(parseDeclaration("int n", d, name), DeclParse::Ok);
    EXPECT_EQ(d.type, DataType::Int);
    EXPECT_EQ(parseDeclaration("hpoint Pw", d, name), DeclParse::Ok);
    EXPECT_EQ(d.elements(), 4);
    EXPECT_EQ(parseDeclaration("matrix m", d, name), DeclParse::Ok);
    EXPECT_EQ(d.elements(), 16);
    EXPECT_EQ(parseDeclaration("color", d, name), DeclParse::Ok);
    EXPECT_EQ(name, "");

    EXPECT_EQ(parseDeclaration("Kd", d, name), DeclParse::NotADeclaration);
    EXPECT_EQ(parseDeclaration("uniform Kd", d, name), DeclParse::Bad);
    EXPECT_EQ(parseDeclaration("float[x] a", d, name), DeclParse::Bad);
    EXPECT_EQ(parseDeclaration("float[0] a", d, name), DeclParse::Bad);
    EXPECT_EQ(parseDeclaration("float[2 a", d, name), DeclParse::Bad);
    EXPECT_EQ(parseDeclaration("float a b", d, name), DeclParse::Bad);
    EXPECT_EQ(parseDeclaration("floats a", d, name), DeclParse::NotADeclaration);

    DeclarationTable table;
    EXPECT_EQ(table.resolve("Cs", d, name), DeclParse::Ok);  // standard
    EXPECT_EQ(d.storage, StorageClass::Varying);
    EXPECT_EQ(d.type, DataType::Color);
    EXPECT_EQ(table.resolve("Km", d, name), DeclParse::Ok);
    EXPECT_EQ(table.resolve("freq", d, name), DeclParse::NotADeclaration);
    EXPECT_TRUE(table.declare("freq", "uniform float[3]"));
    EXPECT_EQ(table.resolve("freq", d, name), DeclParse::Ok);
    EXPECT_EQ(d.arraylen, 3);
    EXPECT_TRUE(table.declare("Cs", "constant color"));  // a declaration overrides the standard
    EXPECT_EQ(table.resolve("Cs", d, name), DeclParse::Ok);
    EXPECT_EQ(d.storage, StorageClass::Constant);
    EXPECT_FALSE(table.declare("x", "float y"));  // Declare's text has no name
    EXPECT_FALSE(table.declare("x", "bogus"));
    EXPECT_FALSE(table.declare("", "float"));
    EXPECT_EQ(table.resolve("two words", d, name), DeclParse::Bad);
}

namespace {
void apply(const Mat4& m, const double* p, double* out) {
    for (int c = 0; c < 3; ++c)
        out[c] = p[0] * m.m[c] + p[1] * m.m[4 + c] + p[2] * m.m[8 + c] + m.m[12 + c];
}
}  // namespace

TEST(RibMath, TransformsFollowRowVectorConventions) {
    double p[3] = {1, 0, 0}, q[3];
    Mat4 r;
    ASSERT_TRUE(Mat4::rotate(90, 0, 0, 1, r));
    apply(r, p, q);  // a quarter turn about z takes x to y
    EXPECT_NEAR(q[0], 0.0, 1e-12);
    EXPECT_NEAR(q[1], 1.0, 1e-12);
    EXPECT_FALSE(Mat4::rotate(30, 0, 0, 0, r));

    // Translate then (applied first) scale: (1,0,0) -> (2,0,0) -> (3,0,0).
    Mat4 m = Mat4::scale(2, 2, 2) * Mat4::translate(1, 0, 0);
    apply(m, p, q);
    EXPECT_DOUBLE_EQ(q[0], 3.0);

    Mat4 inv;
    ASSERT_TRUE(m.inverse(inv));
    Mat4 id = m * inv;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(id.m[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-12);
    EXPECT_FALSE(Mat4::scale(1, 0, 1).inverse(inv));

    // Skewing y towards x by 45 degrees: (0,1,0) leans to (1,1,0); x stays.
    double y[3] = {0, 1, 0}, x[3] = {1, 0, 0};
    Mat4 s;
    ASSERT_TRUE(Mat4::skew(45, y, x, s));
    apply(s, y, q);
    EXPECT_NEAR(q[0], 1.0, 1e-12);
    EXPECT_NEAR(q[1], 1.0, 1e-12);
    apply(s, x, q);
    EXPECT_NEAR(q[0], 1.0, 1e-12);
    EXPECT_NEAR(q[1], 0.0, 1e-12);
    // Axes 60 degrees apart: skewing by 30 brings the angle to 30 degrees.
    double a1[3] = {0.5, std::sqrt(3.0) / 2, 0};
    ASSERT_TRUE(Mat4::skew(30, a1, x, s));
    apply(s, a1, q);
    EXPECT_NEAR(std::atan2(q[1], q[0]) * 180 / M_PI, 30.0, 1e-9);
    EXPECT_FALSE(Mat4::skew(90, y, x, s));   // would lay y onto x
    EXPECT_FALSE(Mat4::skew(-90, y, x, s));  // would turn y past -x
    EXPECT_FALSE(Mat4::skew(10, x, x, s));   // parallel axes
}
