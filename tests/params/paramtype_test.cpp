#include <gtest/gtest.h>

#include <OpenImageIO/ustring.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "core/params/paramtype.h"

using namespace ovo;

TEST(ParamType, BitLayoutAndMasking) {
    // Other subsystems build types straight from the word, so the layout is fixed.
    EXPECT_EQ(ParamType(TypeFloat).bits(), 35u);
    EXPECT_EQ(ParamType(TypeInt, 4000).bits(), 4000u * 32u + 16u);
    EXPECT_EQ(ParamType(TypePoint, 1, InterpVertex).bits(), 6u | (1u << 5) | (3u << 27));
    // Each field is masked to its width and never spills into its neighbour or bits 29-31.
    const ParamType masked(BaseType(32 + 3), (1u << 22) + 5u, Interpolation(4 + 2));
    EXPECT_EQ(masked, ParamType(TypeFloat, 5, InterpLinear));
    EXPECT_EQ(masked.bits() >> 29, 0u);
    ParamType t(TypeColor, 3, InterpVertex);
    t.setArraylen(9), t.setInterpolation(InterpPerPiece), t.setBasetype(TypeNormal);
    EXPECT_EQ(t, ParamType(TypeNormal, 9, InterpPerPiece));
    EXPECT_NE(t, ParamType(TypeNormal, 9, InterpLinear));
    EXPECT_EQ(ParamType::fromBits(t.bits()), t);
}

// Each declaration parses to the type whose canonical text is given, leaving the name; a
// failure consumes nothing, gives a null remainder and leaves the type as it was.
TEST(ParamType, Declarations) {
    const struct {
        const char *text, *canonical, *name;
    } parsed[] = {
        {"vertex point P", "vertex point", "P"},
        {"int[] n", "int[]", "n"},
        {"  float[4]   crop", "float[4]", "crop"},
        // The word must end at a space, '[' or the end, so the sized integers are themselves.
        {"int8 a", "int8", "a"},
        {"uint a", "uint", "a"},
        {"constant float k", "float", "k"},
        {"vertex    hpoint[2] Pw", "vertex hpoint[2]", "Pw"},
        {"float [3] x", "float[3]", "x"},
        // After the type no space is needed before the name, and any white space is skipped.
        {"float[3]x", "float[3]", "x"},
        {"float x y ", "float", "x y "},
        {"float[1] one", "float", "one"},
        {"float[007] z", "float[7]", "z"},
        {"linear  normal  [12]", "linear normal[12]", ""},
    };
    for (const auto& c : parsed) {
        SCOPED_TRACE(c.text);
        const char* rest = nullptr;
        ParamType t;
        const int consumed = t.fromString(c.text, &rest);
        // The remainder points into the caller's text, just past what was consumed.
        EXPECT_EQ(rest, c.text + std::strlen(c.text) - std::strlen(c.name));
        EXPECT_EQ(consumed, int(std::strlen(c.text) - std::strlen(c.name)));
        EXPECT_STREQ(t.c_str(), c.canonical);
        EXPECT_EQ(ParamType(c.text), t);
        EXPECT_EQ(ParamType().fromString(c.text, nullptr), consumed);
    }
    // Only the space character is skipped before the type ("\tfloat x").
    for (const char* text : std::initializer_list<const char*>{
             "integer a", "linear[3]", "vertex", "float[x] a", "\tfloat x", "float\tx",
             "  vertex point P", "vertexpoint P", "float[3 ] a", "float[3", "Float x", "",
             "vertex vertex point P", nullptr}) {
        SCOPED_TRACE(text ? text : "null");
        const char* rest = "untouched";
        ParamType t(TypeMatrix, 7, InterpLinear);
        EXPECT_EQ(t.fromString(text, &rest), 0);
        EXPECT_EQ(rest, nullptr);
        EXPECT_EQ(t, ParamType(TypeMatrix, 7, InterpLinear));
        EXPECT_EQ(ParamType(text).basetype(), TypeUnknown);
    }
}

TEST(ParamType, CountsWrapModulo2To22) {
    EXPECT_EQ(ParamType("float[4194304] a").arraylen(), 0u);
    EXPECT_TRUE(ParamType("float[4194304] a").isResizable());
    EXPECT_FALSE(ParamType("float[4194305] a").isarray());
    // Far beyond 32 bits: compare against exact wide arithmetic.
    const char* digits = "123456789012345678901234567";
    unsigned __int128 exact = 0;
    for (const char* d = digits; *d; ++d) exact = exact * 10 + unsigned(*d - '0');
    EXPECT_EQ(ParamType((std::string("int[") + digits + "] big").c_str()).arraylen(),
              unsigned(exact % (1u << 22)));
}

TEST(ParamType, CanonicalTextTablesAndQueries) {
    EXPECT_STREQ(ParamType(TypeUInt16, 1000, InterpVertex).c_str(), "vertex uint16[1000]");
    EXPECT_STREQ(ParamType().c_str(), "<unknown>");
    EXPECT_STREQ(ParamType(BaseType(20), 2).c_str(), "<unknown>[2]");  // undefined codes
    // Interned: one pointer per text, for the life of the process.
    const char* a = ParamType("vertex point P").c_str();
    EXPECT_EQ(a, ParamType(TypePoint, 1, InterpVertex).c_str());
    EXPECT_EQ(a, OIIO::ustring("vertex point").c_str());
    // The canonical text reads back as the same type.
    for (int base = 0; base <= 17; ++base)
        for (int interp = 0; interp < 4; ++interp)
            for (unsigned count : {0u, 1u, 2u, (1u << 22) - 1}) {
                const ParamType t(BaseType(base), count, Interpolation(interp));
                EXPECT_EQ(ParamType(t.c_str()), t) << t.c_str();
            }

    EXPECT_EQ(ParamType("vertex hpoint[2]").elementsize(), 16);
    EXPECT_EQ(ParamType("matrix[3]").nfloats(), 48);
    EXPECT_EQ(ParamType("float[]").nfloats(), 0);
    for (int code : {-1, 18, 1000}) {
        EXPECT_EQ(ParamType::BaseTypeSize(code), 0) << code;
        EXPECT_EQ(ParamType::BaseTypeNameString(code), nullptr) << code;
    }
    EXPECT_TRUE(ParamType("float[]").isarray());
    ParamType c("vertex color[3]");
    c.unarray();
    EXPECT_EQ(c, ParamType(TypeColor, 1, InterpVertex));
}
