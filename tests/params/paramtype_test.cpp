#include <gtest/gtest.h>

#include <OpenImageIO/ustring.h>

#include <cstring>
#include <string>

#include "core/params/paramtype.h"

using namespace ovo;

namespace {

struct Declaration {
    const char* text;
    BaseType base;
    unsigned count;
    Interpolation interp;
    const char* name;  // expected remainder
};

struct Parsed {
    int consumed;
    const char* rest;
    ParamType type;
};

Parsed parse(const char* text) {
    Parsed p;
    p.rest = "untouched";
    // A recognisable starting value shows whether a failed parse left the type alone.
    p.type = ParamType(TypeMatrix, 7, InterpLinear);
    p.consumed = p.type.fromString(text, &p.rest);
    return p;
}

}  // namespace

TEST(ParamType, BitLayoutAndMasking) {
    // Other subsystems build types straight from the word, so the layout is fixed.
    EXPECT_EQ(ParamType(TypeFloat).bits(), 35u);
    for (unsigned n : {0u, 1u, 2u, 17u, 4000u}) {
        EXPECT_EQ(ParamType(TypeInt, n).bits(), n * 32u + 16u) << n;
    }
    EXPECT_EQ(ParamType(TypePoint, 1, InterpVertex).bits(), 6u | (1u << 5) | (3u << 27));

    ParamType def;
    EXPECT_EQ(def.basetype(), TypeUnknown);
    EXPECT_EQ(def.arraylen(), 1u);
    EXPECT_EQ(def.interpolation(), InterpConstant);

    // Each field is masked to its width and never spills into its neighbour or bits 29-31.
    ParamType masked(BaseType(32 + 3), (1u << 22) + 5u, Interpolation(4 + 2));
    EXPECT_EQ(masked.basetype(), TypeFloat);
    EXPECT_EQ(masked.arraylen(), 5u);
    EXPECT_EQ(masked.interpolation(), InterpLinear);
    EXPECT_EQ(masked.bits() >> 29, 0u);
    EXPECT_EQ(ParamType(TypeFloat, 1u << 22).arraylen(), 0u);

    ParamType t(TypeColor, 3, InterpVertex);
    t.setArraylen(9);
    t.setInterpolation(InterpPerPiece);
    t.setBasetype(TypeNormal);
    EXPECT_EQ(t, ParamType(TypeNormal, 9, InterpPerPiece));
    EXPECT_NE(t, ParamType(TypeNormal, 9, InterpLinear));
    EXPECT_EQ(ParamType::fromBits(t.bits()), t);
}

TEST(ParamType, DeclarationsThatParse) {
    const Declaration cases[] = {
        {"vertex point P", TypePoint, 1, InterpVertex, "P"},
        {"float[2] st", TypeFloat, 2, InterpConstant, "st"},
        {"int[] n", TypeInt, 0, InterpConstant, "n"},
        {"color C", TypeColor, 1, InterpConstant, "C"},
        {"float", TypeFloat, 1, InterpConstant, ""},
        {"float x", TypeFloat, 1, InterpConstant, "x"},
        {"float[4]   crop", TypeFloat, 4, InterpConstant, "crop"},
        {"  float x", TypeFloat, 1, InterpConstant, "x"},
        // The word must end at a space, '[' or the end, so the sized integers are themselves.
        {"int8 a", TypeInt8, 1, InterpConstant, "a"},
        {"int a", TypeInt, 1, InterpConstant, "a"},
        {"uint8 a", TypeUInt8, 1, InterpConstant, "a"},
        {"int16 a", TypeInt16, 1, InterpConstant, "a"},
        {"uint16 a", TypeUInt16, 1, InterpConstant, "a"},
        {"uint a", TypeUInt, 1, InterpConstant, "a"},
        {"constant float k", TypeFloat, 1, InterpConstant, "k"},
        {"perpiece color Cs", TypeColor, 1, InterpPerPiece, "Cs"},
        {"linear float[3] q", TypeFloat, 3, InterpLinear, "q"},
        {"vertex    normal N", TypeNormal, 1, InterpVertex, "N"},
        {"vertex hpoint[2] Pw", TypeHPoint, 2, InterpVertex, "Pw"},
        {"matrix m", TypeMatrix, 1, InterpConstant, "m"},
        {"string basis", TypeString, 1, InterpConstant, "basis"},
        {"half h", TypeHalf, 1, InterpConstant, "h"},
        {"double d", TypeDouble, 1, InterpConstant, "d"},
        {"vector v", TypeVector, 1, InterpConstant, "v"},
        {"void", TypeVoid, 1, InterpConstant, ""},
        // Spaces may stand between the type word and the array part.
        {"float [3] x", TypeFloat, 3, InterpConstant, "x"},
        // After the type, no white space is needed before the name, and any kind is skipped.
        {"float[3]x", TypeFloat, 3, InterpConstant, "x"},
        {"float \t x", TypeFloat, 1, InterpConstant, "x"},
        {"float[2]\n\t st", TypeFloat, 2, InterpConstant, "st"},
        // The name is everything that remains.
        {"float x y ", TypeFloat, 1, InterpConstant, "x y "},
        {"float[1] one", TypeFloat, 1, InterpConstant, "one"},
        {"float[007] z", TypeFloat, 7, InterpConstant, "z"},
    };
    for (const Declaration& c : cases) {
        SCOPED_TRACE(c.text);
        Parsed p = parse(c.text);
        ASSERT_NE(p.rest, nullptr);
        EXPECT_STREQ(p.rest, c.name);
        // The remainder points into the caller's text, just past what was consumed.
        EXPECT_EQ(p.rest, c.text + std::strlen(c.text) - std::strlen(c.name));
        EXPECT_EQ(p.consumed, int(p.rest - c.text));
        EXPECT_EQ(p.type, ParamType(c.base, c.count, c.interp));

        // The text constructor agrees, and a null remainder pointer is allowed.
        EXPECT_EQ(ParamType(c.text), p.type);
        ParamType q;
        EXPECT_EQ(q.fromString(c.text, nullptr), p.consumed);
        EXPECT_EQ(q, p.type);
    }
}

TEST(ParamType, DeclarationsThatFail) {
    const char* cases[] = {
        "integer a",         // "int" must end at a space, '[' or the end
        "linear[3]",         // an interpolation word followed by '[' leaves no type word
        "vertex",            // interpolation alone
        "P",                 // a bare name
        "float[x] a",        // the array part takes only digits
        "\tfloat x",         // only the space character is skipped before the type
        "float\tx",          // a tab does not end the type word
        "  vertex point P",  // spaces are skipped after the interpolation slot, not before
        "vertexpoint P",
        "float[ 3] a",
        "float[3 ] a",
        "float[",
        "float[3",
        "floats x",
        "Float x",
        "",
        " ",
        "constant",
        "vertex vertex point P",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        Parsed p = parse(text);
        EXPECT_EQ(p.consumed, 0);
        EXPECT_EQ(p.rest, nullptr);
        EXPECT_EQ(p.type, ParamType(TypeMatrix, 7, InterpLinear));  // unchanged

        ParamType fresh(text);
        EXPECT_EQ(fresh.basetype(), TypeUnknown);
    }
    Parsed p = parse(nullptr);
    EXPECT_EQ(p.consumed, 0);
    EXPECT_EQ(p.rest, nullptr);
    EXPECT_EQ(ParamType(static_cast<const char*>(nullptr)).basetype(), TypeUnknown);
}

TEST(ParamType, CountsWrapModulo2To22) {
    const unsigned modulus = 1u << 22;
    EXPECT_EQ(ParamType("float[4194304] a").arraylen(), 0u);
    EXPECT_TRUE(ParamType("float[4194304] a").isResizable());
    EXPECT_EQ(ParamType("float[4194305] a").arraylen(), 1u);
    EXPECT_FALSE(ParamType("float[4194305] a").isarray());
    EXPECT_EQ(ParamType("float[4194303] a").arraylen(), modulus - 1);

    // Far beyond 32 bits: compare against exact wide arithmetic.
    const char* digits = "123456789012345678901234567";
    unsigned __int128 exact = 0;
    for (const char* d = digits; *d; ++d) exact = exact * 10 + unsigned(*d - '0');
    std::string text = std::string("int[") + digits + "] big";
    const char* rest = nullptr;
    ParamType t;
    ASSERT_GT(t.fromString(text.c_str(), &rest), 0);
    EXPECT_EQ(t.arraylen(), unsigned(exact % modulus));
    EXPECT_EQ(t.basetype(), TypeInt);
    EXPECT_STREQ(rest, "big");
}

TEST(ParamType, CanonicalText) {
    EXPECT_STREQ(ParamType("vertex point P").c_str(), "vertex point");
    EXPECT_STREQ(ParamType("float[2] st").c_str(), "float[2]");
    EXPECT_STREQ(ParamType("int[] n").c_str(), "int[]");
    EXPECT_STREQ(ParamType("constant color C").c_str(), "color");
    EXPECT_STREQ(ParamType("float[1] f").c_str(), "float");
    EXPECT_STREQ(ParamType("perpiece float").c_str(), "perpiece float");
    EXPECT_STREQ(ParamType("linear  normal  [12]").c_str(), "linear normal[12]");
    EXPECT_STREQ(ParamType(TypeUInt16, 1000, InterpVertex).c_str(), "vertex uint16[1000]");
    EXPECT_STREQ(ParamType().c_str(), "<unknown>");
    // Undefined codes have no name of their own.
    EXPECT_STREQ(ParamType(BaseType(20), 2).c_str(), "<unknown>[2]");

    // Interned: one pointer per text, for the life of the process.
    const char* a = ParamType("vertex point P").c_str();
    EXPECT_EQ(a, ParamType(TypePoint, 1, InterpVertex).c_str());
    EXPECT_EQ(a, OIIO::ustring("vertex point").c_str());

    // The canonical text reads back as the same type.
    const Interpolation interps[] = {InterpConstant, InterpPerPiece, InterpLinear, InterpVertex};
    for (int base = 0; base <= 17; ++base) {
        for (Interpolation interp : interps) {
            for (unsigned count : {0u, 1u, 2u, 16u, (1u << 22) - 1}) {
                ParamType t(BaseType(base), count, interp);
                EXPECT_EQ(ParamType(t.c_str()), t) << t.c_str();
            }
        }
    }
}

TEST(ParamType, QueriesAndTables) {
    EXPECT_EQ(ParamType("point[4]").nfloats(), 12);
    EXPECT_EQ(ParamType("matrix").nfloats(), 16);
    EXPECT_EQ(ParamType("int[3]").nfloats(), 0);
    EXPECT_EQ(ParamType("float[]").nfloats(), 0);
    EXPECT_EQ(ParamType("vertex hpoint").nfloats(), 4);
    EXPECT_EQ(ParamType("color[2]").nfloats(), 6);
    EXPECT_EQ(ParamType("string").nfloats(), 0);
    EXPECT_EQ(ParamType("double").nfloats(), 0);
    EXPECT_EQ(ParamType(BaseType(25), 3).nfloats(), 0);

    EXPECT_FALSE(ParamType("float[1]").isarray());
    EXPECT_TRUE(ParamType("float[]").isarray());
    EXPECT_TRUE(ParamType("float[2]").isarray());
    EXPECT_TRUE(ParamType("float[]").isResizable());
    EXPECT_FALSE(ParamType("float[2]").isResizable());
    EXPECT_FALSE(ParamType("float").isResizable());

    ParamType c("vertex color[3]");
    c.unarray();
    EXPECT_STREQ(c.c_str(), "vertex color");
    EXPECT_EQ(c, ParamType(TypeColor, 1, InterpVertex));
    ParamType open("int[]");
    open.unarray();
    EXPECT_EQ(open, ParamType(TypeInt));

    const int sizes[] = {0, 0, 8, 4, 2, 8, 12, 12, 12, 12, 16, 64, 1, 1, 2, 2, 4, 4};
    const int floats[] = {0, 0, 0, 1, 0, 0, 3, 3, 3, 3, 4, 16, 0, 0, 0, 0, 0, 0};
    const char* names[] = {"<unknown>", "void",   "string", "float",  "half",   "double",
                           "point",     "vector", "normal", "color",  "hpoint", "matrix",
                           "int8",      "uint8",  "int16",  "uint16", "int",    "uint"};
    EXPECT_EQ(ParamType::BaseTypeSize(TypeString), int(sizeof(const char*)));
    for (int code = 0; code <= 17; ++code) {
        EXPECT_EQ(ParamType::BaseTypeSize(code), sizes[code]) << code;
        EXPECT_EQ(ParamType::BaseTypeNFloats(code), floats[code]) << code;
        EXPECT_STREQ(ParamType::BaseTypeNameString(code), names[code]) << code;
        EXPECT_EQ(ParamType(BaseType(code)).elementsize(), sizes[code]) << code;
    }
    for (int code : {-1, 18, 31, 1000}) {
        EXPECT_EQ(ParamType::BaseTypeSize(code), 0) << code;
        EXPECT_EQ(ParamType::BaseTypeNFloats(code), 0) << code;
        EXPECT_EQ(ParamType::BaseTypeNameString(code), nullptr) << code;
    }
}
