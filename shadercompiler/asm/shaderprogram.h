// Shader token code decoded into instructions, and back. The assembler, the
// disassembler and the translation to other shading languages share it.
#pragma once

#include "shadercompiler/asm/shadertokens.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shadercompiler::assembler {

struct Register {
    RegisterType type = RegisterType::temp;
    unsigned number = 0;
    bool operator==(const Register&) const = default;
};

struct Destination {
    Register reg;
    unsigned writeMask = kWriteMaskAll; // bit 0 x .. bit 3 w
    bool saturate = false;
    bool partialPrecision = false;
    int shift = 0; // _x2 1 .. _d8 -3 (pixel models below 2.0)
    bool operator==(const Destination&) const = default;
};

struct Source {
    Register reg;
    std::uint8_t swizzle = kSwizzleIdentity; // 2 bits per output channel, x first
    SourceMod mod = SourceMod::none;
    bool operator==(const Source&) const = default;
};

struct Instruction {
    Opcode opcode = Opcode::nop;
    bool coIssue = false;
    bool hasDestination = false;
    Destination dst;
    std::vector<Source> src;
    // dcl: the DCL token's fields.
    DeclUsage usage = DeclUsage::position;
    unsigned usageIndex = 0;
    TextureType textureType = TextureType::unknown;
    // def: the four values.
    std::array<float, 4> values{};
    bool operator==(const Instruction&) const = default;
};

struct Program {
    Token version = 0;
    std::vector<Instruction> instructions;

    bool pixel() const { return isPixelVersion(version); }
    unsigned major() const { return versionMajor(version); }
    unsigned minor() const { return versionMinor(version); }
};

// The models the toolchain knows: vs_1_1, vs_2_0, ps_1_1 to ps_1_3, ps_2_0.
bool knownVersion(Token version);

// Operand counts of an opcode in a model; nullopt for an opcode the toolchain
// does not know there.
struct OperandCounts {
    int destinations;
    int sources;
};
std::optional<OperandCounts> operandCounts(Opcode op, Token version);
// The mnemonic in the model (tex is texld in pixel models 1.4 and up).
std::string_view mnemonic(Opcode op, Token version);

// Decodes token code up to and including the end token; reads no further
// than maxTokens. False with a message on anything malformed or unknown.
bool decode(const Token* tokens, std::size_t maxTokens, Program& program, std::string& error);
// Encodes a program, end token included.
std::vector<Token> encode(const Program& program);

} // namespace shadercompiler::assembler
