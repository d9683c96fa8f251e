#include "shadercompiler/asm/disassembler.h"

#include <cstdio>

namespace shadercompiler::assembler {
namespace {

std::string registerName(const Register& reg, bool pixel) {
    std::string n = std::to_string(reg.number);
    switch (reg.type) {
    case RegisterType::temp:
        return "r" + n;
    case RegisterType::input:
        return "v" + n;
    case RegisterType::constant:
        return "c" + n;
    case RegisterType::addressOrTexture:
        return (pixel ? "t" : "a") + n;
    case RegisterType::rastOut:
        return reg.number == 0 ? "oPos" : reg.number == 1 ? "oFog" : "oPts";
    case RegisterType::attrOut:
        return "oD" + n;
    case RegisterType::texCrdOut:
        return "oT" + n;
    case RegisterType::constInt:
        return "i" + n;
    case RegisterType::colorOut:
        return "oC" + n;
    case RegisterType::depthOut:
        return "oDepth";
    case RegisterType::sampler:
        return "s" + n;
    case RegisterType::constBool:
        return "b" + n;
    }
    return "?" + n;
}

constexpr char kChannels[] = "xyzw";

std::string destinationText(const Destination& dst, bool pixel) {
    std::string out = registerName(dst.reg, pixel);
    if (dst.writeMask != kWriteMaskAll) {
        out += '.';
        for (int i = 0; i < 4; ++i) {
            if ((dst.writeMask & (1u << i)) != 0) {
                out += kChannels[i];
            }
        }
    }
    return out;
}

std::string swizzleText(std::uint8_t swizzle) {
    if (swizzle == kSwizzleIdentity) {
        return {};
    }
    std::string letters;
    for (int i = 0; i < 4; ++i) {
        letters += kChannels[(swizzle >> (2 * i)) & 3];
    }
    // The assembler repeats the last letter, so trailing repeats can go.
    while (letters.size() > 1 && letters[letters.size() - 1] == letters[letters.size() - 2]) {
        letters.pop_back();
    }
    return "." + letters;
}

std::string sourceText(const Source& src, bool pixel) {
    std::string reg = registerName(src.reg, pixel);
    std::string swizzle = swizzleText(src.swizzle);
    switch (src.mod) {
    case SourceMod::none:
        return reg + swizzle;
    case SourceMod::negate:
        return "-" + reg + swizzle;
    case SourceMod::bias:
        return reg + "_bias" + swizzle;
    case SourceMod::biasNegate:
        return "-" + reg + "_bias" + swizzle;
    case SourceMod::sign:
        return reg + "_bx2" + swizzle;
    case SourceMod::signNegate:
        return "-" + reg + "_bx2" + swizzle;
    case SourceMod::complement:
        return "1-" + reg + swizzle;
    case SourceMod::x2:
        return reg + "_x2" + swizzle;
    case SourceMod::x2Negate:
        return "-" + reg + "_x2" + swizzle;
    case SourceMod::dz:
        return reg + "_dz" + swizzle;
    case SourceMod::dw:
        return reg + "_dw" + swizzle;
    case SourceMod::abs:
        return reg + "_abs" + swizzle;
    case SourceMod::absNegate:
        return "-" + reg + "_abs" + swizzle;
    case SourceMod::logicalNot:
        return "!" + reg + swizzle;
    }
    return reg;
}

const char* usageName(DeclUsage usage) {
    static constexpr const char* kNames[] = {"position", "blendweight", "blendindices", "normal",     "psize",
                                             "texcoord", "tangent",     "binormal",     "tessfactor", "positiont",
                                             "color",    "fog",         "depth",        "sample"};
    auto i = static_cast<std::size_t>(usage);
    return i < std::size(kNames) ? kNames[i] : "unknown";
}

std::string number(float v) {
    char buf[32];
    // Nine significant digits give back the same float.
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

std::string modifiers(const Destination& dst) {
    std::string out;
    static constexpr const char* kShift[] = {"_d8", "_d4", "_d2", "", "_x2", "_x4", "_x8"};
    if (dst.shift >= -3 && dst.shift <= 3) {
        out += kShift[dst.shift + 3];
    }
    if (dst.saturate) {
        out += "_sat";
    }
    if (dst.partialPrecision) {
        out += "_pp";
    }
    return out;
}

} // namespace

std::string toText(const Program& program) {
    const bool pixel = program.pixel();
    std::string out =
        (pixel ? "ps_" : "vs_") + std::to_string(program.major()) + "_" + std::to_string(program.minor()) + "\n";
    for (const auto& ins : program.instructions) {
        std::string line = ins.coIssue ? "+" : "";
        if (ins.opcode == Opcode::dcl) {
            line += "dcl";
            if (ins.dst.reg.type == RegisterType::sampler) {
                line += ins.textureType == TextureType::cube     ? "_cube"
                        : ins.textureType == TextureType::volume ? "_volume"
                                                                 : "_2d";
            } else if (!pixel) {
                line += std::string("_") + usageName(ins.usage);
                if (ins.usageIndex != 0) {
                    line += std::to_string(ins.usageIndex);
                }
            }
            line += " " + destinationText(ins.dst, pixel);
        } else if (ins.opcode == Opcode::def) {
            line += "def " + destinationText(ins.dst, pixel);
            for (float v : ins.values) {
                line += ", " + number(v);
            }
        } else {
            line += std::string(mnemonic(ins.opcode, program.version)) + modifiers(ins.dst);
            const char* sep = " ";
            if (ins.hasDestination) {
                line += sep + destinationText(ins.dst, pixel);
                sep = ", ";
            }
            for (const auto& s : ins.src) {
                line += sep + sourceText(s, pixel);
                sep = ", ";
            }
        }
        out += line + "\n";
    }
    return out;
}

bool disassemble(const Token* tokens, std::size_t maxTokens, std::string& text, std::string& error) {
    Program program;
    if (!decode(tokens, maxTokens, program, error)) {
        return false;
    }
    text = toText(program);
    return true;
}

} // namespace shadercompiler::assembler
