// Token code back to shader assembly text, in the syntax the assembler reads:
// the version on the first line, then one instruction per line.
#pragma once

#include "shadercompiler/asm/shaderprogram.h"

#include <cstddef>
#include <string>

namespace shadercompiler::assembler {

std::string toText(const Program& program);
// Decodes and prints; false with a message when the code is malformed.
bool disassemble(const Token* tokens, std::size_t maxTokens, std::string& text, std::string& error);

} // namespace shadercompiler::assembler
