// RIB parameter declarations: "uniform float Kd", "varying float[2] st", "vertex point P",
// the Declare table, and the standard names every RIB file may use undeclared. Also turns
// a declaration into the text OVO's Parameter calls take ("perpiece float Kd").
#pragma once

#include <map>
#include <string>

namespace ovo {
namespace rib {

enum class StorageClass { Constant, Uniform, Varying, Vertex, FaceVarying, FaceVertex };
enum class DataType { Float, Int, String, Point, Vector, Normal, Color, HPoint, Matrix };

struct Declaration {
    StorageClass storage = StorageClass::Constant;
    DataType type = DataType::Float;
    int arraylen = 1;

    // Numbers (or strings) in one value: 3 for a point, 2 for float[2], 16 for a matrix.
    int elements() const;
    bool isString() const { return type == DataType::String; }
    bool isInt() const { return type == DataType::Int; }
    // OVO's declaration text for `name`: the class word ("perpiece", "linear", "vertex";
    // none for constant, and none at all without keepStorage), the type word and "[n]".
    std::string ovoText(const std::string& name, bool keepStorage) const;
};

enum class DeclParse { Ok, NotADeclaration, Bad };

// Parses a declaration with an optional trailing name ("uniform float Kd", "float[2]").
// NotADeclaration when the first word is neither a class nor a type (a bare name).
DeclParse parseDeclaration(const std::string& text, Declaration& decl, std::string& name);

class DeclarationTable {
  public:
    // Declare "name" "decl": false when the declaration text is malformed or names a name.
    bool declare(const std::string& name, const std::string& text);
    // Resolves a parameter token: an inline declaration, a Declare'd name or a standard
    // name. Returns Bad for a malformed inline declaration, NotADeclaration when the bare
    // name is unknown.
    DeclParse resolve(const std::string& token, Declaration& decl, std::string& name) const;

  private:
    std::map<std::string, Declaration> declared;
};

}  // namespace rib
}  // namespace ovo
