// Splits HLSL source text into tokens with their line and column.
#pragma once

#include "shadercompiler/hlsl/diagnostics.h"

#include <string>
#include <string_view>
#include <vector>

namespace shadercompiler::hlsl {

enum class TokenKind { identifier, number, punct, end };

struct Token {
    TokenKind kind = TokenKind::end;
    std::string text;
    double number = 0.0;
    bool isInteger = false;
    SourcePos pos;
};

// Throws CompileError on a character that cannot start a token, an unclosed
// comment or a preprocessor directive (none are supported).
std::vector<Token> tokenize(std::string_view source);

} // namespace shadercompiler::hlsl
