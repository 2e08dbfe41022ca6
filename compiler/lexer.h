// The lexer of the shading language. It reads preprocessed text: the preprocessor's line
// markers ("# 12 \"file.sl\"") move the reported places back to the files they came from.
#pragma once

#include <string>
#include <vector>

#include "compiler/diagnostics.h"

namespace ovo {
namespace compiler {

enum class Tok {
    End,
    Identifier,
    Number,
    String,
    // Keywords.
    KwFloat,
    KwString,
    KwColor,
    KwPoint,
    KwVector,
    KwNormal,
    KwMatrix,
    KwVoid,
    KwUniform,
    KwVarying,
    KwOutput,
    KwExtern,
    KwSurface,
    KwDisplacement,
    KwLight,
    KwVolume,
    KwImager,
    KwIf,
    KwElse,
    KwWhile,
    KwFor,
    KwBreak,
    KwContinue,
    KwReturn,
    KwIlluminance,
    KwIlluminate,
    KwSolar,
    KwGather,
    // Punctuation and operators.
    LParen,
    RParen,
    LBracket,
    RBracket,
    LBrace,
    RBrace,
    Semicolon,
    Comma,
    Question,
    Colon,
    Plus,
    Minus,
    Star,
    Slash,
    Caret,
    Dot,
    Not,
    Assign,
    PlusAssign,
    MinusAssign,
    StarAssign,
    SlashAssign,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    And,
    Or,
    PlusPlus,
    MinusMinus,
};

struct Token {
    Tok kind = Tok::End;
    Location where;
    std::string text;  // identifier name, string contents (escapes resolved), number spelling
    double number = 0.0;
};

// How a token reads in a message: "'+'", "identifier 'x'", "end of file".
std::string describe(const Token& t);
// The spelling of a keyword or operator kind ("float", "+=").
const char* spelling(Tok kind);

// Splits the text into tokens; the last one is End. `file` names the text when it carries no
// line markers.
std::vector<Token> tokenize(const std::string& text, int file, Diagnostics& diagnostics);

}  // namespace compiler
}  // namespace ovo
