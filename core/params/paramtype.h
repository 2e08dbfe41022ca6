// ParamType: one 32-bit word describing a value that crosses the scene interface:
// base type (bits 0-4), elements per value (bits 5-26, 0 = open array) and
// interpolation class (bits 27-28). Its text form is "vertex point", "float[2]", ...
#pragma once

namespace ovo {

enum BaseType : unsigned {
    TypeUnknown = 0,
    TypeVoid = 1,
    TypeString = 2,
    TypeFloat = 3,
    TypeHalf = 4,
    TypeDouble = 5,
    TypePoint = 6,
    TypeVector = 7,
    TypeNormal = 8,
    TypeColor = 9,
    TypeHPoint = 10,
    TypeMatrix = 11,
    TypeInt8 = 12,
    TypeUInt8 = 13,
    TypeInt16 = 14,
    TypeUInt16 = 15,
    TypeInt = 16,
    TypeUInt = 17,
};

enum Interpolation : unsigned {
    InterpConstant = 0,
    InterpPerPiece = 1,
    InterpLinear = 2,
    InterpVertex = 3,
};

class ParamType {
  public:
    // Base type <unknown>, count 1, constant.
    ParamType() : packed(1u << 5) {}
    ParamType(BaseType base, unsigned int count = 1, Interpolation interp = InterpConstant)
        : packed((base & 0x1fu) | ((count & 0x3fffffu) << 5) | ((interp & 0x3u) << 27)) {}
    // Parses a declaration ("vertex point P"); on failure the base type is <unknown>.
    explicit ParamType(const char* text);

    static ParamType fromBits(unsigned bits) {
        ParamType t;
        t.packed = bits;
        return t;
    }
    unsigned bits() const { return packed; }

    BaseType basetype() const { return BaseType(packed & 0x1fu); }
    unsigned arraylen() const { return (packed >> 5) & 0x3fffffu; }
    Interpolation interpolation() const { return Interpolation((packed >> 27) & 0x3u); }
    void setBasetype(BaseType b) { packed = (packed & ~0x1fu) | (b & 0x1fu); }
    void setArraylen(unsigned n) { packed = (packed & ~(0x3fffffu << 5)) | ((n & 0x3fffffu) << 5); }
    void setInterpolation(Interpolation i) {
        packed = (packed & ~(0x3u << 27)) | ((i & 0x3u) << 27);
    }

    // Parses a declaration; returns the characters consumed (0 on failure, type unchanged)
    // and, through rest, the start of the name that follows (null on failure).
    int fromString(const char* text, const char** rest);
    // Canonical text, interned: valid for the life of the process.
    const char* c_str() const;

    int nfloats() const { return BaseTypeNFloats(basetype()) * int(arraylen()); }
    bool isarray() const { return arraylen() != 1; }
    void unarray() { setArraylen(1); }
    bool isResizable() const { return arraylen() == 0; }
    // Size in bytes of one element of the base type (a string element is one pointer).
    int elementsize() const { return BaseTypeSize(basetype()); }

    bool operator==(const ParamType& o) const { return packed == o.packed; }
    bool operator!=(const ParamType& o) const { return packed != o.packed; }

    static int BaseTypeSize(int code);
    static const char* BaseTypeNameString(int code);
    static int BaseTypeNFloats(int code);

  private:
    unsigned packed;
};

}  // namespace ovo
