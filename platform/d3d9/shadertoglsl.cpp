#include "platform/d3d9/shadertoglsl.h"

#include "platform/d3d9/ffpipeline.h"
#include "platform/d3d9/resources.h"

#include <cstdio>
#include <set>

namespace platform::d3d9 {
namespace {

using shadercompiler::assembler::Destination;
using shadercompiler::assembler::Instruction;
using shadercompiler::assembler::Opcode;
using shadercompiler::assembler::Program;
using shadercompiler::assembler::RegisterType;
using shadercompiler::assembler::Source;
using shadercompiler::assembler::SourceMod;

std::string n(unsigned v) {
    return std::to_string(v);
}

std::string floatText(float v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos) {
        s += ".0";
    }
    return s;
}

constexpr char kChannels[] = "xyzw";

class Translator {
  public:
    Translator(const Program& program, std::vector<unsigned>& defined) : p_(program), defined_(defined) {}

    bool run(std::string& glsl, std::string& error) {
        if (!header(error)) {
            return false;
        }
        std::string body;
        std::string pendingWrites;
        for (std::size_t i = 0; i < p_.instructions.size(); ++i) {
            const Instruction& ins = p_.instructions[i];
            if (ins.opcode == Opcode::dcl || ins.opcode == Opcode::def) {
                continue;
            }
            std::string compute;
            std::string write;
            if (!instruction(ins, i, compute, write, error)) {
                return false;
            }
            // A co-issued pair reads its sources before either writes.
            bool nextCoIssued = i + 1 < p_.instructions.size() && p_.instructions[i + 1].coIssue;
            body += compute;
            pendingWrites += write;
            if (!nextCoIssued) {
                body += pendingWrites;
                pendingWrites.clear();
            }
        }
        glsl = head_ + "void main() {\n" + locals_ + body + footer() + "}\n";
        return true;
    }

  private:
    bool pixel() const { return p_.pixel(); }
    bool pixel1() const { return p_.pixel() && p_.major() < 2; }

    bool header(std::string& error) {
        head_ = "#version 330 core\n";
        std::set<unsigned> temps;
        for (const auto& ins : p_.instructions) {
            auto note = [&](const shadercompiler::assembler::Register& r) {
                if (r.type == RegisterType::temp) {
                    temps.insert(r.number);
                }
            };
            if (ins.hasDestination) {
                note(ins.dst.reg);
            }
            for (const auto& s : ins.src) {
                note(s.reg);
            }
            if (ins.opcode == Opcode::def) {
                defined_.push_back(ins.dst.reg.number);
                head_ += "const vec4 d" + n(ins.dst.reg.number) + " = vec4(" + floatText(ins.values[0]) + ", " +
                         floatText(ins.values[1]) + ", " + floatText(ins.values[2]) + ", " + floatText(ins.values[3]) +
                         ");\n";
            }
        }
        if (pixel()) {
            temps.insert(0);
        }
        for (unsigned t : temps) {
            locals_ += "    vec4 r" + n(t) + " = vec4(0.0);\n";
        }
        if (pixel()) {
            head_ += "in vec4 vColor0;\nin vec4 vColor1;\n";
            for (unsigned i = 0; i < 8; ++i) {
                head_ += "in vec4 vTex" + n(i) + ";\n";
            }
            head_ += "uniform vec4 pc[32];\nlayout(location = 0) out vec4 fragColor;\n";
            // Colour inputs of pixel 1.x programs arrive saturated to [0, 1].
            locals_ += pixel1() ? "    vec4 v0 = clamp(vColor0, 0.0, 1.0);\n    vec4 v1 = clamp(vColor1, 0.0, 1.0);\n"
                                : "    vec4 v0 = vColor0;\n    vec4 v1 = vColor1;\n";
            locals_ += "    vec4 oC0 = vec4(0.0);\n";
            if (pixel1()) {
                for (unsigned i = 0; i < 4; ++i) {
                    locals_ += "    vec4 t" + n(i) + " = vec4(0.0);\n";
                    head_ += "uniform sampler2D uSampler" + n(i) + ";\n";
                }
            } else {
                for (unsigned i = 0; i < 8; ++i) {
                    locals_ += "    vec4 t" + n(i) + " = vTex" + n(i) + ";\n";
                }
                for (const auto& ins : p_.instructions) {
                    if (ins.opcode == Opcode::dcl && ins.dst.reg.type == RegisterType::sampler) {
                        if (ins.textureType != shadercompiler::assembler::TextureType::tex2d) {
                            error = "only 2D samplers are supported";
                            return false;
                        }
                        head_ += "uniform sampler2D uSampler" + n(ins.dst.reg.number) + ";\n";
                    }
                }
            }
            return true;
        }
        for (const auto& ins : p_.instructions) {
            if (ins.opcode != Opcode::dcl) {
                continue;
            }
            if (ins.dst.reg.type != RegisterType::input) {
                error = "vertex declarations other than inputs are not supported";
                return false;
            }
            unsigned location = 0;
            switch (ins.usage) {
            case shadercompiler::assembler::DeclUsage::position:
                location = kAttrPosition;
                break;
            case shadercompiler::assembler::DeclUsage::normal:
                location = kAttrNormal;
                break;
            case shadercompiler::assembler::DeclUsage::color:
                location = ins.usageIndex == 0 ? kAttrColor0 : kAttrColor1;
                break;
            case shadercompiler::assembler::DeclUsage::pointSize:
                location = kAttrPointSize;
                break;
            case shadercompiler::assembler::DeclUsage::texcoord:
                location = kAttrTexcoord0 + ins.usageIndex;
                break;
            default:
                error = "vertex input usage " + n(static_cast<unsigned>(ins.usage)) + " is not supported";
                return false;
            }
            if (ins.usageIndex > (ins.usage == shadercompiler::assembler::DeclUsage::texcoord ? 7u
                                  : ins.usage == shadercompiler::assembler::DeclUsage::color  ? 1u
                                                                                              : 0u)) {
                error = "vertex input usage index out of range";
                return false;
            }
            head_ += "layout(location = " + n(location) + ") in vec4 v" + n(ins.dst.reg.number) + ";\n";
        }
        head_ += "out vec4 vColor0;\nout vec4 vColor1;\n";
        for (unsigned i = 0; i < 8; ++i) {
            head_ += "out vec4 vTex" + n(i) + ";\n";
        }
        head_ += "uniform vec4 c[256];\nuniform vec4 uPointSize;\n";
        head_ += kPositionFixup;
        locals_ += "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n    vec4 oFog = vec4(0.0);\n"
                   "    vec4 oPts = vec4(uPointSize.x);\n    vec4 oD0 = vec4(0.0);\n    vec4 oD1 = vec4(0.0);\n"
                   "    ivec4 a0 = ivec4(0);\n";
        for (unsigned i = 0; i < 8; ++i) {
            locals_ += "    vec4 oT" + n(i) + " = vec4(0.0);\n";
        }
        // Every declared input must be read as declared, and undeclared inputs are an error.
        for (const auto& ins : p_.instructions) {
            for (const auto& s : ins.src) {
                if (s.reg.type == RegisterType::input &&
                    head_.find(" v" + n(s.reg.number) + ";") == std::string::npos) {
                    error = "input v" + n(s.reg.number) + " is read but not declared";
                    return false;
                }
            }
        }
        return true;
    }

    std::string footer() const {
        if (pixel1()) {
            return "    fragColor = clamp(r0, 0.0, 1.0);\n";
        }
        if (pixel()) {
            return "    fragColor = oC0;\n";
        }
        std::string s = "    gl_Position = d3dToGl(oPos);\n"
                        "    gl_PointSize = oPts.x;\n"
                        // Vertex colour outputs are clamped to [0, 1] before interpolation.
                        "    vColor0 = clamp(oD0, 0.0, 1.0);\n    vColor1 = clamp(oD1, 0.0, 1.0);\n";
        for (unsigned i = 0; i < 8; ++i) {
            s += "    vTex" + n(i) + " = oT" + n(i) + ";\n";
        }
        return s;
    }

    bool registerName(const shadercompiler::assembler::Register& r, bool asDestination, std::string& out,
                      std::string& error) const {
        switch (r.type) {
        case RegisterType::temp:
            out = "r" + n(r.number);
            return true;
        case RegisterType::input:
            if (pixel() && r.number > 1) {
                break;
            }
            out = "v" + n(r.number);
            return !asDestination || (error = "inputs are read-only", false);
        case RegisterType::constant:
            if (asDestination) {
                break;
            }
            for (unsigned d : defined_) {
                if (d == r.number) {
                    // Pixel 1.x constants hold values in [-1, 1], defined ones included.
                    out = pixel1() ? "clamp(d" + n(r.number) + ", -1.0, 1.0)" : "d" + n(r.number);
                    return true;
                }
            }
            if (pixel()) {
                out = pixel1() ? "clamp(pc[" + n(r.number) + "], -1.0, 1.0)" : "pc[" + n(r.number) + "]";
            } else {
                out = "c[" + n(r.number) + "]";
            }
            return r.number < (pixel() ? 32u : 256u) || (error = "constant register out of range", false);
        case RegisterType::addressOrTexture:
            if (pixel()) {
                out = "t" + n(r.number);
                return r.number < (pixel1() ? 4u : 8u) || (error = "texture register out of range", false);
            }
            out = asDestination ? "a0" : "vec4(a0)";
            return true;
        case RegisterType::rastOut:
            out = r.number == 0 ? "oPos" : r.number == 1 ? "oFog" : "oPts";
            return !pixel();
        case RegisterType::attrOut:
            out = "oD" + n(r.number);
            return !pixel() && r.number < 2;
        case RegisterType::texCrdOut:
            out = "oT" + n(r.number);
            return !pixel() && r.number < 8;
        case RegisterType::colorOut:
            out = "oC0";
            return pixel() && r.number == 0;
        case RegisterType::sampler:
            out = "uSampler" + n(r.number);
            return pixel() && !asDestination;
        default:
            break;
        }
        error = "register type " + n(static_cast<unsigned>(r.type)) + " is not supported here";
        return false;
    }

    bool source(const Source& s, std::string& out, std::string& error, int registerOffset = 0) const {
        shadercompiler::assembler::Register reg = s.reg;
        reg.number += static_cast<unsigned>(registerOffset);
        std::string name;
        if (!registerName(reg, false, name, error)) {
            if (error.empty()) {
                error = "register cannot be read";
            }
            return false;
        }
        std::string swz = ".";
        for (int i = 0; i < 4; ++i) {
            swz += kChannels[(s.swizzle >> (2 * i)) & 3];
        }
        std::string v = "(" + name + ")" + swz;
        switch (s.mod) {
        case SourceMod::none:
            out = v;
            return true;
        case SourceMod::negate:
            out = "(-" + v + ")";
            return true;
        case SourceMod::bias:
            out = "(" + v + " - 0.5)";
            return true;
        case SourceMod::biasNegate:
            out = "(0.5 - " + v + ")";
            return true;
        case SourceMod::sign:
            out = "(2.0 * " + v + " - 1.0)";
            return true;
        case SourceMod::signNegate:
            out = "(1.0 - 2.0 * " + v + ")";
            return true;
        case SourceMod::complement:
            out = "(1.0 - " + v + ")";
            return true;
        case SourceMod::x2:
            out = "(2.0 * " + v + ")";
            return true;
        case SourceMod::x2Negate:
            out = "(-2.0 * " + v + ")";
            return true;
        case SourceMod::abs:
            out = "abs(" + v + ")";
            return true;
        case SourceMod::absNegate:
            out = "(-abs(" + v + "))";
            return true;
        default:
            error = "source modifier " + n(static_cast<unsigned>(s.mod)) + " is not supported";
            return false;
        }
    }

    // The component a scalar instruction reads: the last of the swizzle,
    // which is the replicated one, or w when no swizzle was written.
    std::string scalar(const std::string& src) const { return src + ".w"; }

    bool instruction(const Instruction& ins, std::size_t index, std::string& compute, std::string& write,
                     std::string& error) {
        std::vector<std::string> s(ins.src.size());
        for (std::size_t i = 0; i < ins.src.size(); ++i) {
            if (!source(ins.src[i], s[i], error)) {
                return false;
            }
        }
        std::string e;
        auto matrix = [&](int rows, bool three) -> bool {
            std::string parts;
            for (int r = 0; r < rows; ++r) {
                std::string row;
                if (!source(ins.src[1], row, error, r)) {
                    return false;
                }
                parts += std::string(r > 0 ? ", " : "") +
                         (three ? "dot(" + s[0] + ".xyz, " + row + ".xyz)" : "dot(" + s[0] + ", " + row + ")");
            }
            for (int r = rows; r < 4; ++r) {
                parts += ", 0.0";
            }
            e = "vec4(" + parts + ")";
            return true;
        };
        switch (ins.opcode) {
        case Opcode::nop:
            return true;
        case Opcode::mov:
            e = s[0];
            break;
        case Opcode::add:
            e = s[0] + " + " + s[1];
            break;
        case Opcode::sub:
            e = s[0] + " - " + s[1];
            break;
        case Opcode::mul:
            e = s[0] + " * " + s[1];
            break;
        case Opcode::mad:
            e = s[0] + " * " + s[1] + " + " + s[2];
            break;
        case Opcode::rcp:
            e = "vec4(1.0 / " + scalar(s[0]) + ")";
            break;
        case Opcode::rsq:
            // rsq uses |x|; inversesqrt of a negative number is undefined in GLSL.
            e = "vec4(inversesqrt(abs(" + scalar(s[0]) + ")))";
            break;
        case Opcode::dp3:
            e = "vec4(dot(" + s[0] + ".xyz, " + s[1] + ".xyz))";
            break;
        case Opcode::dp4:
            e = "vec4(dot(" + s[0] + ", " + s[1] + "))";
            break;
        case Opcode::min:
            e = "min(" + s[0] + ", " + s[1] + ")";
            break;
        case Opcode::max:
            e = "max(" + s[0] + ", " + s[1] + ")";
            break;
        case Opcode::slt:
            e = "vec4(lessThan(" + s[0] + ", " + s[1] + "))";
            break;
        case Opcode::sge:
            e = "vec4(greaterThanEqual(" + s[0] + ", " + s[1] + "))";
            break;
        case Opcode::exp:
            e = "vec4(exp2(" + scalar(s[0]) + "))";
            break;
        case Opcode::log:
            e = "vec4(log2(abs(" + scalar(s[0]) + ")))";
            break;
        case Opcode::expp:
            e = p_.major() < 2 ? "vec4(exp2(floor(" + scalar(s[0]) + ")), fract(" + scalar(s[0]) + "), exp2(" +
                                     scalar(s[0]) + "), 1.0)"
                               : "vec4(exp2(" + scalar(s[0]) + "))";
            break;
        case Opcode::logp:
            e = p_.major() < 2
                    ? "vec4(floor(log2(abs(" + scalar(s[0]) + "))), abs(" + scalar(s[0]) + ") / exp2(floor(log2(abs(" +
                          scalar(s[0]) + ")))), log2(abs(" + scalar(s[0]) + ")), 1.0)"
                    : "vec4(log2(abs(" + scalar(s[0]) + ")))";
            break;
        case Opcode::lit:
            e = "vec4(1.0, max(" + s[0] + ".x, 0.0), (" + s[0] + ".x > 0.0 && " + s[0] + ".y > 0.0) ? pow(" + s[0] +
                ".y, clamp(" + s[0] + ".w, -127.9961, 127.9961)) : 0.0, 1.0)";
            break;
        case Opcode::dst:
            e = "vec4(1.0, " + s[0] + ".y * " + s[1] + ".y, " + s[0] + ".z, " + s[1] + ".w)";
            break;
        case Opcode::lrp:
            e = "mix(" + s[2] + ", " + s[1] + ", " + s[0] + ")";
            break;
        case Opcode::frc:
            e = "fract(" + s[0] + ")";
            break;
        case Opcode::m4x4:
            if (!matrix(4, false)) {
                return false;
            }
            break;
        case Opcode::m4x3:
            if (!matrix(3, false)) {
                return false;
            }
            break;
        case Opcode::m3x4:
            if (!matrix(4, true)) {
                return false;
            }
            break;
        case Opcode::m3x3:
            if (!matrix(3, true)) {
                return false;
            }
            break;
        case Opcode::m3x2:
            if (!matrix(2, true)) {
                return false;
            }
            break;
        case Opcode::pow:
            e = "vec4(pow(abs(" + scalar(s[0]) + "), " + scalar(s[1]) + "))";
            break;
        case Opcode::crs:
            e = "vec4(cross(" + s[0] + ".xyz, " + s[1] + ".xyz), 0.0)";
            break;
        case Opcode::abs:
            e = "abs(" + s[0] + ")";
            break;
        case Opcode::nrm:
            e = s[0] + " * inversesqrt(dot(" + s[0] + ".xyz, " + s[0] + ".xyz))";
            break;
        case Opcode::sincos:
            e = "vec4(cos(" + scalar(s[0]) + "), sin(" + scalar(s[0]) + "), 0.0, 0.0)";
            break;
        case Opcode::mova:
            // mova rounds to the nearest integer.
            write = "    a0 = ivec4(floor(" + s[0] + " + 0.5));\n";
            return true;
        case Opcode::tex:
            if (pixel1()) {
                e = "texture(uSampler" + n(ins.dst.reg.number) + ", vTex" + n(ins.dst.reg.number) + ".xy)";
            } else {
                e = "texture(" + samplerName(ins.src[1]) + ", " + s[0] + ".xy)";
            }
            break;
        case Opcode::texcoord:
            e = "clamp(vec4(vTex" + n(ins.dst.reg.number) + ".xyz, 1.0), 0.0, 1.0)";
            break;
        case Opcode::texkill: {
            std::string reg;
            if (!registerName(ins.dst.reg, false, reg, error)) {
                return false;
            }
            write = "    if (any(lessThan((" + reg + ").xyz, vec3(0.0)))) discard;\n";
            return true;
        }
        case Opcode::cnd:
            e = "mix(" + s[2] + ", " + s[1] + ", vec4(greaterThan(" + s[0] + ", vec4(0.5))))";
            break;
        case Opcode::cmp:
            e = "mix(" + s[2] + ", " + s[1] + ", vec4(greaterThanEqual(" + s[0] + ", vec4(0.0))))";
            break;
        case Opcode::dp2add:
            e = "vec4(dot(" + s[0] + ".xy, " + s[1] + ".xy) + " + scalar(s[2]) + ")";
            break;
        default:
            error = "instruction " + std::string(shadercompiler::assembler::mnemonic(ins.opcode, p_.version)) +
                    " is not supported";
            return false;
        }
        return destination(ins, index, e, compute, write, error);
    }

    std::string samplerName(const Source& s) const { return "uSampler" + n(s.reg.number); }

    bool destination(const Instruction& ins, std::size_t index, const std::string& expr, std::string& compute,
                     std::string& write, std::string& error) {
        const Destination& d = ins.dst;
        std::string name;
        if (!registerName(d.reg, true, name, error)) {
            if (error.empty()) {
                error = "register cannot be written";
            }
            return false;
        }
        std::string tmp = "i" + n(static_cast<unsigned>(index));
        std::string value = "(" + expr + ")";
        if (d.shift != 0) {
            value =
                "(" + value + " * " +
                floatText(d.shift > 0 ? static_cast<float>(1 << d.shift) : 1.0f / static_cast<float>(1 << -d.shift)) +
                ")";
        }
        // Shift first, then saturate.
        if (d.saturate) {
            value = "clamp(" + value + ", 0.0, 1.0)";
        } else if (pixel1()) {
            value = "clamp(" + value + ", " + floatText(-kPixelShader1xMaxValue) + ", " +
                    floatText(kPixelShader1xMaxValue) + ")";
        }
        compute = "    vec4 " + tmp + " = " + value + ";\n";
        std::string mask;
        for (int i = 0; i < 4; ++i) {
            if ((d.writeMask & (1u << i)) != 0) {
                mask += kChannels[i];
            }
        }
        if (name == "a0") {
            // mov to a0 in vs_1_1 rounds towards negative infinity.
            write = "    a0." + mask + " = ivec4(floor(" + tmp + "))." + mask + ";\n";
        } else {
            write = "    " + name + "." + mask + " = " + tmp + "." + mask + ";\n";
        }
        return true;
    }

    const Program& p_;
    std::vector<unsigned>& defined_;
    std::string head_;
    std::string locals_;
};

} // namespace

bool translateToGlsl(const shadercompiler::assembler::Program& program, std::string& glsl,
                     std::vector<unsigned>& definedConstants, std::string& error) {
    definedConstants.clear();
    Translator t(program, definedConstants);
    return t.run(glsl, error);
}

} // namespace platform::d3d9
