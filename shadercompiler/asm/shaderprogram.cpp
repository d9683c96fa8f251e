#include "shadercompiler/asm/shaderprogram.h"

#include <bit>

namespace shadercompiler::assembler {
namespace {

enum Model : unsigned { vs11 = 1, vs20 = 2, ps1x = 4, ps20 = 8 };

Model modelOf(Token version) {
    if (version == vertexVersion(1, 1)) {
        return vs11;
    }
    if (version == vertexVersion(2, 0)) {
        return vs20;
    }
    if (version == pixelVersion(2, 0)) {
        return ps20;
    }
    return ps1x;
}

struct OpcodeInfo {
    Opcode op;
    const char* name;
    int destinations;
    int sources;
    unsigned models;
};

constexpr unsigned kVs = vs11 | vs20;
constexpr unsigned kAll = vs11 | vs20 | ps1x | ps20;
constexpr unsigned kSm2 = vs20 | ps20;
constexpr unsigned kNotPs1 = vs11 | vs20 | ps20;

// Instruction sets of the models, per the shader reference of the platform.
constexpr OpcodeInfo kOpcodes[] = {
    {Opcode::nop, "nop", 0, 0, kAll},
    {Opcode::mov, "mov", 1, 1, kAll},
    {Opcode::add, "add", 1, 2, kAll},
    {Opcode::sub, "sub", 1, 2, kAll},
    {Opcode::mad, "mad", 1, 3, kAll},
    {Opcode::mul, "mul", 1, 2, kAll},
    {Opcode::rcp, "rcp", 1, 1, kNotPs1},
    {Opcode::rsq, "rsq", 1, 1, kNotPs1},
    {Opcode::dp3, "dp3", 1, 2, kAll},
    {Opcode::dp4, "dp4", 1, 2, kAll},
    {Opcode::min, "min", 1, 2, kNotPs1},
    {Opcode::max, "max", 1, 2, kNotPs1},
    {Opcode::slt, "slt", 1, 2, kVs},
    {Opcode::sge, "sge", 1, 2, kVs},
    {Opcode::exp, "exp", 1, 1, kNotPs1},
    {Opcode::log, "log", 1, 1, kNotPs1},
    {Opcode::lit, "lit", 1, 1, kVs},
    {Opcode::dst, "dst", 1, 2, kVs},
    {Opcode::lrp, "lrp", 1, 3, vs20 | ps1x | ps20},
    {Opcode::frc, "frc", 1, 1, kNotPs1},
    {Opcode::m4x4, "m4x4", 1, 2, kNotPs1},
    {Opcode::m4x3, "m4x3", 1, 2, kNotPs1},
    {Opcode::m3x4, "m3x4", 1, 2, kNotPs1},
    {Opcode::m3x3, "m3x3", 1, 2, kNotPs1},
    {Opcode::m3x2, "m3x2", 1, 2, kNotPs1},
    {Opcode::pow, "pow", 1, 2, kSm2},
    {Opcode::crs, "crs", 1, 2, kSm2},
    {Opcode::abs, "abs", 1, 1, kSm2},
    {Opcode::nrm, "nrm", 1, 1, kSm2},
    {Opcode::sincos, "sincos", 1, 3, kSm2},
    {Opcode::mova, "mova", 1, 1, vs20},
    {Opcode::texcoord, "texcoord", 1, 0, ps1x},
    {Opcode::texkill, "texkill", 1, 0, ps1x | ps20},
    {Opcode::expp, "expp", 1, 1, kVs},
    {Opcode::logp, "logp", 1, 1, kVs},
    {Opcode::cnd, "cnd", 1, 3, ps1x},
    {Opcode::cmp, "cmp", 1, 3, ps1x | ps20},
    {Opcode::dp2add, "dp2add", 1, 3, ps20},
};

const OpcodeInfo* infoOf(Opcode op, Token version) {
    for (const auto& info : kOpcodes) {
        if (info.op == op) {
            return (info.models & modelOf(version)) != 0 ? &info : nullptr;
        }
    }
    return nullptr;
}

Token registerBits(const Register& reg) {
    return kParameterBit | registerTypeBits(reg.type) | (reg.number & kRegisterNumberMask);
}

Token encodeDestination(const Destination& dst) {
    Token mods = (dst.saturate ? kResultModSaturate : 0) | (dst.partialPrecision ? kResultModPartialPrecision : 0);
    return registerBits(dst.reg) | ((dst.writeMask & 0xF) << kWriteMaskShift) | (mods << kResultModShift) |
           ((static_cast<Token>(dst.shift) & 0xF) << kShiftScaleShift);
}

Token encodeSource(const Source& src) {
    return registerBits(src.reg) | (static_cast<Token>(src.swizzle) << kSwizzleShift) |
           (static_cast<Token>(src.mod) << kSourceModShift);
}

Register decodeRegister(Token t) {
    return Register{registerTypeOf(t), t & kRegisterNumberMask};
}

bool decodeDestination(Token t, Destination& dst, std::string& error) {
    if ((t & kParameterBit) == 0 || (t & (1u << kRelativeBit)) != 0) {
        error = "bad destination parameter token";
        return false;
    }
    dst.reg = decodeRegister(t);
    dst.writeMask = (t >> kWriteMaskShift) & 0xF;
    Token mods = (t >> kResultModShift) & 0xF;
    if ((mods & ~(kResultModSaturate | kResultModPartialPrecision)) != 0) {
        error = "unsupported result modifier";
        return false;
    }
    dst.saturate = (mods & kResultModSaturate) != 0;
    dst.partialPrecision = (mods & kResultModPartialPrecision) != 0;
    // Signed 4-bit field.
    int shift = static_cast<int>((t >> kShiftScaleShift) & 0xF);
    dst.shift = shift >= 8 ? shift - 16 : shift;
    return true;
}

bool decodeSource(Token t, Source& src, std::string& error) {
    if ((t & kParameterBit) == 0) {
        error = "bad source parameter token";
        return false;
    }
    if ((t & (1u << kRelativeBit)) != 0) {
        error = "relative addressing is not supported";
        return false;
    }
    src.reg = decodeRegister(t);
    src.swizzle = static_cast<std::uint8_t>((t >> kSwizzleShift) & 0xFF);
    unsigned mod = (t >> kSourceModShift) & 0xF;
    if (mod > static_cast<unsigned>(SourceMod::logicalNot)) {
        error = "unknown source modifier";
        return false;
    }
    src.mod = static_cast<SourceMod>(mod);
    return true;
}

} // namespace

bool knownVersion(Token version) {
    return version == vertexVersion(1, 1) || version == vertexVersion(2, 0) || version == pixelVersion(1, 1) ||
           version == pixelVersion(1, 2) || version == pixelVersion(1, 3) || version == pixelVersion(2, 0);
}

std::optional<OperandCounts> operandCounts(Opcode op, Token version) {
    if (op == Opcode::tex) {
        if (!isPixelVersion(version)) {
            return std::nullopt;
        }
        return versionMajor(version) >= 2 ? OperandCounts{1, 2} : OperandCounts{1, 0};
    }
    const OpcodeInfo* info = infoOf(op, version);
    if (info == nullptr) {
        return std::nullopt;
    }
    return OperandCounts{info->destinations, info->sources};
}

std::string_view mnemonic(Opcode op, Token version) {
    if (op == Opcode::tex) {
        return versionMajor(version) >= 2 ? "texld" : "tex";
    }
    if (op == Opcode::dcl) {
        return "dcl";
    }
    if (op == Opcode::def) {
        return "def";
    }
    for (const auto& info : kOpcodes) {
        if (info.op == op) {
            return info.name;
        }
    }
    return {};
}

bool decode(const Token* tokens, std::size_t maxTokens, Program& program, std::string& error) {
    program = Program{};
    if (tokens == nullptr || maxTokens == 0) {
        error = "no shader code";
        return false;
    }
    program.version = tokens[0];
    if (!knownVersion(program.version)) {
        error = "unsupported shader version";
        return false;
    }
    const bool sm2 = program.major() >= 2;
    std::size_t at = 1;
    for (;;) {
        if (at >= maxTokens) {
            error = "shader code ends without the end token";
            return false;
        }
        Token head = tokens[at++];
        if (head == kEndToken) {
            return true;
        }
        auto code = head & kOpcodeMask;
        if (code == kCommentOpcode) {
            at += (head & kCommentSizeMask) >> kCommentSizeShift;
            continue;
        }
        if ((head & kParameterBit) != 0) {
            error = "parameter token where an instruction was expected";
            return false;
        }
        if ((head & kControlMask) != 0) {
            error = "instruction controls are not supported";
            return false;
        }
        Instruction ins;
        ins.opcode = static_cast<Opcode>(code);
        ins.coIssue = (head & kCoIssueBit) != 0;
        if (ins.coIssue && (!program.pixel() || sm2)) {
            error = "co-issue outside pixel models 1.x";
            return false;
        }
        std::size_t length = (head & kLengthMask) >> kLengthShift;
        std::size_t expected = 0;
        if (ins.opcode == Opcode::dcl) {
            expected = 2;
        } else if (ins.opcode == Opcode::def) {
            expected = 5;
        } else {
            auto counts = operandCounts(ins.opcode, program.version);
            if (!counts) {
                error = "instruction " + std::to_string(code) + " is not supported in this shader model";
                return false;
            }
            expected = static_cast<std::size_t>(counts->destinations + counts->sources);
        }
        if (sm2 && length != expected) {
            error = "instruction length does not match its operands";
            return false;
        }
        if (at + expected > maxTokens) {
            error = "shader code ends inside an instruction";
            return false;
        }
        const Token* p = tokens + at;
        at += expected;
        if (ins.opcode == Opcode::dcl) {
            Token d = p[0];
            ins.usage = static_cast<DeclUsage>(d & kDclUsageMask);
            ins.usageIndex = (d >> kDclUsageIndexShift) & 0xF;
            ins.textureType = static_cast<TextureType>((d >> kDclTextureTypeShift) & 0xF);
            ins.hasDestination = true;
            if (!decodeDestination(p[1], ins.dst, error)) {
                return false;
            }
        } else if (ins.opcode == Opcode::def) {
            ins.hasDestination = true;
            if (!decodeDestination(p[0], ins.dst, error)) {
                return false;
            }
            for (int i = 0; i < 4; ++i) {
                ins.values[static_cast<std::size_t>(i)] = std::bit_cast<float>(p[1 + i]);
            }
        } else if (expected > 0) {
            ins.hasDestination = true;
            if (!decodeDestination(p[0], ins.dst, error)) {
                return false;
            }
            for (std::size_t i = 1; i < expected; ++i) {
                Source s;
                if (!decodeSource(p[i], s, error)) {
                    return false;
                }
                ins.src.push_back(s);
            }
        }
        program.instructions.push_back(std::move(ins));
    }
}

std::vector<Token> encode(const Program& program) {
    std::vector<Token> out{program.version};
    const bool sm2 = program.major() >= 2;
    for (const auto& ins : program.instructions) {
        std::vector<Token> operands;
        if (ins.opcode == Opcode::dcl) {
            Token d = kParameterBit;
            if (ins.dst.reg.type == RegisterType::sampler) {
                d |= static_cast<Token>(ins.textureType) << kDclTextureTypeShift;
            } else if (!program.pixel()) {
                d |= static_cast<Token>(ins.usage) | (ins.usageIndex << kDclUsageIndexShift);
            }
            operands = {d, encodeDestination(ins.dst)};
        } else if (ins.opcode == Opcode::def) {
            operands.push_back(encodeDestination(ins.dst));
            for (float v : ins.values) {
                operands.push_back(std::bit_cast<Token>(v));
            }
        } else {
            if (ins.hasDestination) {
                operands.push_back(encodeDestination(ins.dst));
            }
            for (const auto& s : ins.src) {
                operands.push_back(encodeSource(s));
            }
        }
        Token head = static_cast<Token>(ins.opcode);
        if (sm2) {
            head |= static_cast<Token>(operands.size()) << kLengthShift;
        }
        if (ins.coIssue) {
            head |= kCoIssueBit;
        }
        out.push_back(head);
        out.insert(out.end(), operands.begin(), operands.end());
    }
    out.push_back(kEndToken);
    return out;
}

} // namespace shadercompiler::assembler
