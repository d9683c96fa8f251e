// The published Direct3D 9 shader token format (driver documentation:
// version, instruction, destination and source parameter tokens, DCL,
// comment and end tokens), for shader models 1.x and 2.0.
#pragma once

#include <cstdint>

namespace shadercompiler::assembler {

using Token = std::uint32_t;

inline constexpr Token kVertexVersionBase = 0xFFFE0000u;
inline constexpr Token kPixelVersionBase = 0xFFFF0000u;
inline constexpr Token kEndToken = 0x0000FFFFu;

constexpr Token vertexVersion(unsigned major, unsigned minor) {
    return kVertexVersionBase | (major << 8) | minor;
}
constexpr Token pixelVersion(unsigned major, unsigned minor) {
    return kPixelVersionBase | (major << 8) | minor;
}
constexpr bool isPixelVersion(Token version) {
    return (version & 0xFFFF0000u) == kPixelVersionBase;
}
constexpr bool isVertexVersion(Token version) {
    return (version & 0xFFFF0000u) == kVertexVersionBase;
}
constexpr unsigned versionMajor(Token version) {
    return (version >> 8) & 0xFF;
}
constexpr unsigned versionMinor(Token version) {
    return version & 0xFF;
}

// Instruction token: opcode bits 15:0, controls 23:16, length 27:24 (models
// 2.0 and up), predicated bit 28, co-issue bit 30 (pixel models below 2.0).
inline constexpr Token kOpcodeMask = 0x0000FFFFu;
inline constexpr int kControlShift = 16;
inline constexpr Token kControlMask = 0x00FF0000u;
inline constexpr int kLengthShift = 24;
inline constexpr Token kLengthMask = 0x0F000000u;
inline constexpr Token kCoIssueBit = 0x40000000u;
inline constexpr Token kParameterBit = 0x80000000u;

// Comment token: 0xFFFE in bits 15:0, DWORDs to skip in bits 30:16.
inline constexpr Token kCommentOpcode = 0xFFFEu;
inline constexpr int kCommentSizeShift = 16;
inline constexpr Token kCommentSizeMask = 0x7FFF0000u;

enum class Opcode : std::uint16_t {
    nop = 0,
    mov = 1,
    add = 2,
    sub = 3,
    mad = 4,
    mul = 5,
    rcp = 6,
    rsq = 7,
    dp3 = 8,
    dp4 = 9,
    min = 10,
    max = 11,
    slt = 12,
    sge = 13,
    exp = 14,
    log = 15,
    lit = 16,
    dst = 17,
    lrp = 18,
    frc = 19,
    m4x4 = 20,
    m4x3 = 21,
    m3x4 = 22,
    m3x3 = 23,
    m3x2 = 24,
    dcl = 31,
    pow = 32,
    crs = 33,
    abs = 35,
    nrm = 36,
    sincos = 37,
    mova = 46,
    texcoord = 64,
    texkill = 65,
    tex = 66, // texld in pixel models 1.4 and up
    expp = 78,
    logp = 79,
    cnd = 80,
    def = 81,
    cmp = 88,
    dp2add = 90,
};

// Register types: ((t >> 28) & 7) | ((t >> 8) & 0x18).
enum class RegisterType : std::uint8_t {
    temp = 0,
    input = 1,
    constant = 2,
    addressOrTexture = 3, // a0 in vertex programs, t# in pixel programs
    rastOut = 4,          // oPos 0, oFog 1, oPts 2
    attrOut = 5,          // oD#
    texCrdOut = 6,        // oT#
    constInt = 7,
    colorOut = 8,
    depthOut = 9,
    sampler = 10,
    constBool = 14,
};

inline constexpr int kRegisterNumberMask = 0x7FF;
inline constexpr int kTypeLowShift = 28;
inline constexpr int kTypeHighShift = 8; // bits 3-4 of the type sit at 12:11

constexpr RegisterType registerTypeOf(Token t) {
    return static_cast<RegisterType>(((t >> kTypeLowShift) & 7) | ((t >> kTypeHighShift) & 0x18));
}
constexpr Token registerTypeBits(RegisterType type) {
    auto t = static_cast<Token>(type);
    return ((t & 7) << kTypeLowShift) | ((t & 0x18) << kTypeHighShift);
}

inline constexpr int kRelativeBit = 13;

// Destination parameter.
inline constexpr int kWriteMaskShift = 16;
inline constexpr Token kWriteMaskAll = 0xF;
inline constexpr int kResultModShift = 20;
inline constexpr Token kResultModSaturate = 1;
inline constexpr Token kResultModPartialPrecision = 2;
inline constexpr Token kResultModCentroid = 4;
inline constexpr int kShiftScaleShift = 24; // signed 4 bits: _x2 1, _x4 2, _x8 3, _d2 -1, _d4 -2, _d8 -3

// Source parameter.
inline constexpr int kSwizzleShift = 16;
inline constexpr std::uint8_t kSwizzleIdentity = 0xE4;
inline constexpr int kSourceModShift = 24;

enum class SourceMod : std::uint8_t {
    none = 0,
    negate = 1,
    bias = 2,
    biasNegate = 3,
    sign = 4, // _bx2
    signNegate = 5,
    complement = 6,
    x2 = 7,
    x2Negate = 8,
    dz = 9,
    dw = 10,
    abs = 11,
    absNegate = 12,
    logicalNot = 13,
};

// DCL token: usage 4:0 and usage index 19:16 for vertex inputs; texture type
// 30:27 for samplers.
inline constexpr Token kDclUsageMask = 0x1F;
inline constexpr int kDclUsageIndexShift = 16;
inline constexpr int kDclTextureTypeShift = 27;

enum class DeclUsage : std::uint8_t {
    position = 0,
    blendWeight = 1,
    blendIndices = 2,
    normal = 3,
    pointSize = 4,
    texcoord = 5,
    tangent = 6,
    binormal = 7,
    tessFactor = 8,
    positionT = 9,
    color = 10,
    fog = 11,
    depth = 12,
    sample = 13,
};

enum class TextureType : std::uint8_t { unknown = 0, tex2d = 2, cube = 3, volume = 4 };

} // namespace shadercompiler::assembler
