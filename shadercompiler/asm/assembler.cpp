#include "shadercompiler/asm/assembler.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace shadercompiler::assembler {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::vector<std::string_view> splitOperands(std::string_view s) {
    std::vector<std::string_view> out;
    while (!s.empty()) {
        auto comma = s.find(',');
        out.push_back(trim(s.substr(0, comma)));
        if (comma == std::string_view::npos) {
            break;
        }
        s.remove_prefix(comma + 1);
    }
    return out;
}

bool parseUnsigned(std::string_view s, unsigned& value) {
    if (s.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc{} && end == s.data() + s.size();
}

int channelOf(char c) {
    switch (c) {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    default:
        return -1;
    }
}

class Parser {
  public:
    explicit Parser(Program& program) : program_(program) {}

    bool registerOf(std::string_view name, Register& reg, std::string& error) const {
        struct Named {
            const char* prefix;
            RegisterType type;
            int fixedNumber; // -1: a number follows
        };
        static constexpr Named kNames[] = {
            {"opos", RegisterType::rastOut, 0},
            {"ofog", RegisterType::rastOut, 1},
            {"opts", RegisterType::rastOut, 2},
            {"odepth", RegisterType::depthOut, 0},
            {"od", RegisterType::attrOut, -1},
            {"ot", RegisterType::texCrdOut, -1},
            {"oc", RegisterType::colorOut, -1},
            {"r", RegisterType::temp, -1},
            {"v", RegisterType::input, -1},
            {"c", RegisterType::constant, -1},
            {"s", RegisterType::sampler, -1},
            {"i", RegisterType::constInt, -1},
            {"b", RegisterType::constBool, -1},
            {"a", RegisterType::addressOrTexture, -1},
            {"t", RegisterType::addressOrTexture, -1},
        };
        for (const auto& n : kNames) {
            if (!startsWith(name, n.prefix)) {
                continue;
            }
            std::string_view rest = name.substr(std::string_view(n.prefix).size());
            if (n.fixedNumber >= 0) {
                if (!rest.empty()) {
                    continue;
                }
                reg = {n.type, static_cast<unsigned>(n.fixedNumber)};
                return true;
            }
            unsigned number = 0;
            if (!parseUnsigned(rest, number)) {
                continue;
            }
            if ((n.prefix[0] == 'a' && program_.pixel()) || (n.prefix[0] == 't' && !program_.pixel())) {
                error = "register " + std::string(name) + " does not exist in this shader type";
                return false;
            }
            reg = {n.type, number};
            return true;
        }
        error = "unknown register '" + std::string(name) + "'";
        return false;
    }

    bool destination(std::string_view text, Destination& dst, std::string& error) const {
        auto dot = text.find('.');
        if (!registerOf(text.substr(0, dot), dst.reg, error)) {
            return false;
        }
        dst.writeMask = kWriteMaskAll;
        if (dot != std::string_view::npos) {
            std::string_view mask = text.substr(dot + 1);
            unsigned bits = 0;
            int last = -1;
            for (char c : mask) {
                int ch = channelOf(c);
                if (ch <= last) {
                    error = "bad write mask '" + std::string(mask) + "'";
                    return false;
                }
                bits |= 1u << ch;
                last = ch;
            }
            if (bits == 0) {
                error = "empty write mask";
                return false;
            }
            dst.writeMask = bits;
        }
        return true;
    }

    bool source(std::string_view text, Source& src, std::string& error) const {
        bool negate = false;
        bool complement = false;
        if (startsWith(text, "-")) {
            negate = true;
            text = trim(text.substr(1));
        }
        if (startsWith(text, "1-")) {
            complement = true;
            text = trim(text.substr(2));
        }
        std::string_view swizzle;
        auto dot = text.find('.');
        if (dot != std::string_view::npos) {
            swizzle = text.substr(dot + 1);
            text = text.substr(0, dot);
        }
        std::string_view suffix;
        auto underscore = text.find('_');
        if (underscore != std::string_view::npos) {
            suffix = text.substr(underscore + 1);
            text = text.substr(0, underscore);
            // "r0.x_bx2" style: the suffix may also trail the swizzle.
        } else if (auto u2 = swizzle.find('_'); u2 != std::string_view::npos) {
            suffix = swizzle.substr(u2 + 1);
            swizzle = swizzle.substr(0, u2);
        }
        if (!registerOf(text, src.reg, error)) {
            return false;
        }
        src.swizzle = kSwizzleIdentity;
        if (!swizzle.empty()) {
            if (swizzle.size() > 4) {
                error = "bad swizzle '" + std::string(swizzle) + "'";
                return false;
            }
            std::uint8_t bits = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                int ch = channelOf(swizzle[std::min(i, swizzle.size() - 1)]);
                if (ch < 0) {
                    error = "bad swizzle '" + std::string(swizzle) + "'";
                    return false;
                }
                bits = static_cast<std::uint8_t>(bits | (ch << (2 * i)));
            }
            src.swizzle = bits;
        }
        SourceMod mod = SourceMod::none;
        if (suffix.empty()) {
            mod = negate ? SourceMod::negate : SourceMod::none;
        } else if (suffix == "bias") {
            mod = negate ? SourceMod::biasNegate : SourceMod::bias;
        } else if (suffix == "bx2") {
            mod = negate ? SourceMod::signNegate : SourceMod::sign;
        } else if (suffix == "x2") {
            mod = negate ? SourceMod::x2Negate : SourceMod::x2;
        } else if (suffix == "abs") {
            mod = negate ? SourceMod::absNegate : SourceMod::abs;
        } else if ((suffix == "dz" || suffix == "dw") && !negate) {
            mod = suffix == "dz" ? SourceMod::dz : SourceMod::dw;
        } else {
            error = "unknown source modifier '" + std::string(suffix) + "'";
            return false;
        }
        if (complement) {
            if (mod != SourceMod::none) {
                error = "1- cannot be combined with another source modifier";
                return false;
            }
            mod = SourceMod::complement;
        }
        src.mod = mod;
        return true;
    }

    bool versionLine(std::string_view word, std::string& error) {
        std::string w = lower(word);
        unsigned major = 0;
        unsigned minor = 0;
        bool pixel = startsWith(w, "ps_");
        if ((!pixel && !startsWith(w, "vs_")) || w.size() != 6 || w[4] != '_' ||
            !parseUnsigned(std::string_view(w).substr(3, 1), major) ||
            !parseUnsigned(std::string_view(w).substr(5, 1), minor)) {
            error = "expected a shader version such as vs_2_0, found '" + std::string(word) + "'";
            return false;
        }
        program_.version = pixel ? pixelVersion(major, minor) : vertexVersion(major, minor);
        if (!knownVersion(program_.version)) {
            error = "unsupported shader version " + w;
            return false;
        }
        return true;
    }

    bool declaration(std::string_view name, std::string_view operands, Instruction& ins, std::string& error) {
        ins.opcode = Opcode::dcl;
        ins.hasDestination = true;
        std::string_view kind = name.size() > 3 ? name.substr(4) : std::string_view{};
        if (name.size() > 3 && name[3] != '_') {
            error = "unknown instruction '" + std::string(name) + "'";
            return false;
        }
        if (!destination(operands, ins.dst, error)) {
            return false;
        }
        const bool sampler = ins.dst.reg.type == RegisterType::sampler;
        if (sampler) {
            if (kind == "2d") {
                ins.textureType = TextureType::tex2d;
            } else if (kind == "cube") {
                ins.textureType = TextureType::cube;
            } else if (kind == "volume") {
                ins.textureType = TextureType::volume;
            } else {
                error = "a sampler needs dcl_2d, dcl_cube or dcl_volume";
                return false;
            }
            return pixelModel2(error);
        }
        if (program_.pixel()) {
            if (!kind.empty()) {
                error = "pixel inputs are declared with a plain dcl";
                return false;
            }
            return pixelModel2(error);
        }
        struct Usage {
            const char* name;
            DeclUsage usage;
        };
        static constexpr Usage kUsages[] = {
            {"position", DeclUsage::position},
            {"blendweight", DeclUsage::blendWeight},
            {"blendindices", DeclUsage::blendIndices},
            {"normal", DeclUsage::normal},
            {"psize", DeclUsage::pointSize},
            {"texcoord", DeclUsage::texcoord},
            {"tangent", DeclUsage::tangent},
            {"binormal", DeclUsage::binormal},
            {"tessfactor", DeclUsage::tessFactor},
            {"positiont", DeclUsage::positionT},
            {"color", DeclUsage::color},
            {"fog", DeclUsage::fog},
            {"depth", DeclUsage::depth},
            {"sample", DeclUsage::sample},
        };
        // Longest match first so "positiont" is not read as "position" + "t".
        const Usage* best = nullptr;
        for (const auto& u : kUsages) {
            std::string_view un(u.name);
            if (startsWith(kind, un) && (best == nullptr || un.size() > std::string_view(best->name).size())) {
                best = &u;
            }
        }
        if (best == nullptr) {
            error = "unknown declaration usage '" + std::string(kind) + "'";
            return false;
        }
        std::string_view index = kind.substr(std::string_view(best->name).size());
        ins.usage = best->usage;
        ins.usageIndex = 0;
        if (!index.empty() && (!parseUnsigned(index, ins.usageIndex) || ins.usageIndex > 15)) {
            error = "bad usage index in '" + std::string(name) + "'";
            return false;
        }
        if (ins.dst.reg.type != RegisterType::input) {
            error = "vertex declarations name input registers v#";
            return false;
        }
        return true;
    }

    bool pixelModel2(std::string& error) const {
        if (program_.pixel() && program_.major() >= 2) {
            return true;
        }
        error = "this declaration needs ps_2_0";
        return false;
    }

    bool definition(std::string_view operands, Instruction& ins, std::string& error) const {
        ins.opcode = Opcode::def;
        ins.hasDestination = true;
        auto parts = splitOperands(operands);
        if (parts.size() != 5) {
            error = "def takes a register and four values";
            return false;
        }
        if (!destination(parts[0], ins.dst, error)) {
            return false;
        }
        if (ins.dst.reg.type != RegisterType::constant || ins.dst.writeMask != kWriteMaskAll) {
            error = "def writes a whole constant register c#";
            return false;
        }
        for (std::size_t i = 0; i < 4; ++i) {
            std::string value(parts[i + 1]);
            char* end = nullptr;
            ins.values[i] = std::strtof(value.c_str(), &end);
            if (value.empty() || end != value.c_str() + value.size()) {
                error = "bad number '" + value + "' in def";
                return false;
            }
        }
        return true;
    }

    bool opcodeOf(std::string_view base, Opcode& op) const {
        if (base == (program_.pixel() && program_.major() >= 2 ? "texld" : "tex")) {
            op = Opcode::tex;
            return program_.pixel();
        }
        for (unsigned code = 0; code < 128; ++code) {
            auto candidate = static_cast<Opcode>(code);
            if (candidate != Opcode::tex && candidate != Opcode::dcl && candidate != Opcode::def &&
                mnemonic(candidate, program_.version) == base) {
                op = candidate;
                return true;
            }
        }
        return false;
    }

    bool instruction(std::string_view mixedCase, std::string& error) {
        const std::string lowered = lower(mixedCase);
        std::string_view line = lowered;
        Instruction ins;
        if (startsWith(line, "+")) {
            if (!program_.pixel() || program_.major() >= 2) {
                error = "co-issue '+' exists only in pixel models 1.x";
                return false;
            }
            ins.coIssue = true;
            line = trim(line.substr(1));
        }
        auto space = line.find_first_of(" \t");
        std::string name(line.substr(0, space));
        std::string_view operands = space == std::string_view::npos ? std::string_view{} : trim(line.substr(space));
        if (startsWith(name, "dcl")) {
            if (!declaration(name, operands, ins, error)) {
                return false;
            }
        } else if (name == "def") {
            if (!definition(operands, ins, error)) {
                return false;
            }
        } else {
            auto underscore = name.find('_');
            std::string_view base = std::string_view(name).substr(0, underscore);
            if (!opcodeOf(base, ins.opcode)) {
                error = "unknown instruction '" + name + "' for this shader model";
                return false;
            }
            auto counts = operandCounts(ins.opcode, program_.version);
            if (!counts) {
                error = "instruction '" + name + "' is not available in this shader model";
                return false;
            }
            Destination dst;
            if (underscore != std::string::npos &&
                !resultModifiers(std::string_view(name).substr(underscore + 1), dst, error)) {
                return false;
            }
            auto parts = operands.empty() ? std::vector<std::string_view>{} : splitOperands(operands);
            if (static_cast<int>(parts.size()) != counts->destinations + counts->sources) {
                error = "'" + name + "' takes " + std::to_string(counts->destinations + counts->sources) + " operands";
                return false;
            }
            if (counts->destinations > 0) {
                ins.hasDestination = true;
                Destination parsed;
                if (!destination(parts[0], parsed, error)) {
                    return false;
                }
                dst.reg = parsed.reg;
                dst.writeMask = parsed.writeMask;
                ins.dst = dst;
            }
            for (std::size_t i = static_cast<std::size_t>(counts->destinations); i < parts.size(); ++i) {
                Source s;
                if (!source(parts[i], s, error)) {
                    return false;
                }
                ins.src.push_back(s);
            }
        }
        program_.instructions.push_back(std::move(ins));
        return true;
    }

    bool resultModifiers(std::string_view mods, Destination& dst, std::string& error) const {
        while (!mods.empty()) {
            auto underscore = mods.find('_');
            std::string_view m = mods.substr(0, underscore);
            mods = underscore == std::string_view::npos ? std::string_view{} : mods.substr(underscore + 1);
            struct Shift {
                const char* name;
                int value;
            };
            static constexpr Shift kShifts[] = {{"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", -1}, {"d4", -2}, {"d8", -3}};
            bool known = false;
            if (m == "sat") {
                dst.saturate = known = true;
            } else if (m == "pp") {
                dst.partialPrecision = known = true;
            } else {
                for (const auto& s : kShifts) {
                    if (m == s.name) {
                        if (!program_.pixel() || program_.major() >= 2) {
                            error = "result shift _" + std::string(m) + " exists only in pixel models 1.x";
                            return false;
                        }
                        dst.shift = s.value;
                        known = true;
                    }
                }
            }
            if (!known) {
                error = "unknown instruction modifier '_" + std::string(m) + "'";
                return false;
            }
        }
        return true;
    }

  private:
    Program& program_;
};

std::string_view stripComment(std::string_view line) {
    auto cut = std::min(line.find("//"), line.find(';'));
    return trim(line.substr(0, cut));
}

} // namespace

bool parse(std::string_view text, Program& program, std::string& error) {
    program = Program{};
    Parser parser(program);
    bool haveVersion = false;
    int lineNumber = 0;
    while (!text.empty()) {
        auto newline = text.find('\n');
        std::string_view line = stripComment(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        ++lineNumber;
        if (line.empty()) {
            continue;
        }
        std::string message;
        bool ok = haveVersion ? parser.instruction(line, message) : parser.versionLine(line, message);
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": " + message;
            return false;
        }
        haveVersion = true;
    }
    if (!haveVersion) {
        error = "no shader version";
        return false;
    }
    return true;
}

bool assemble(std::string_view text, std::vector<Token>& tokens, std::string& error) {
    Program program;
    if (!parse(text, program, error)) {
        return false;
    }
    tokens = encode(program);
    return true;
}

} // namespace shadercompiler::assembler
