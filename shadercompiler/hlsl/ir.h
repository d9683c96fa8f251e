// Straight-line shader code between the code generator and the assembly
// text: instructions over virtual temporaries, then the passes that make it
// fit a profile (read ports, swizzles, dead code, copies, register limits).
#pragma once

#include "shadercompiler/hlsl/diagnostics.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

enum class ShaderKind { vertex, pixel };

struct ProfileLimits {
    ShaderKind kind = ShaderKind::vertex;
    std::string name; // "vs_2_0"
    int temporaries = 12;
    int constants = 256;
    int totalSlots = 256; // vs_2_0; ps_2_0 counts its two kinds apart
    int arithmeticSlots = 0;
    int textureSlots = 0;
    int constantReadPorts = 1;
    int inputReadPorts = 1;
    int texcoordReadPorts = 1;
    bool arbitrarySwizzle = true;
};

// vs_2_0 and ps_2_0 as the register reference pages list them; null for any
// other profile name.
const ProfileLimits* findProfile(const std::string& name);

enum class RegFile : std::uint8_t {
    temp,     // virtual until allocate() runs
    input,    // v#
    constant, // c#
    texcoord, // t# (pixel input)
    sampler,  // s#
    rastOut,  // oPos (0), oFog (1), oPts (2)
    attrOut,  // oD#
    texOut,   // oT#
    colorOut, // oC#
    depthOut, // oDepth
};

struct Reg {
    RegFile file = RegFile::temp;
    int index = 0;
    bool operator==(const Reg&) const = default;
};

// A source operand: lane k of the instruction reads component swz[k].
struct Src {
    Reg reg;
    std::array<std::uint8_t, 4> swz{0, 1, 2, 3};
    bool negate = false;
};

enum class Op : std::uint8_t { mov, add, mul, mad, dp3, dp4, rcp, rsq, min, max, lrp, pow, abs, frc, texld };

struct Instr {
    Op op = Op::mov;
    Reg dst;
    std::uint8_t mask = 0xF; // bit k: lane k written
    bool saturate = false;
    std::vector<Src> src;
    SourcePos pos; // the source construct this instruction came from
};

// Mnemonic and instruction slots of an opcode, as the instruction reference
// counts them.
const char* opName(Op op);
int opSlots(Op op);

// Bit k set: lane k of the source is read by the instruction.
std::uint8_t lanesRead(const Instr& in, std::size_t srcIndex);

// The passes, in the order compile() runs them. Each throws CompileError when
// the program cannot be made to fit the profile.
void legalizeOperands(std::vector<Instr>& code, const ProfileLimits& profile, int& nextTemp);
void removeDeadCode(std::vector<Instr>& code);
void coalesceCopies(std::vector<Instr>& code, const ProfileLimits& profile);
int allocateTemporaries(std::vector<Instr>& code, const ProfileLimits& profile); // returns registers used
void removeIdentityMoves(std::vector<Instr>& code); // "mov r0.xyz, r0" left where two values shared a register

std::string formatRegister(const Reg& reg);
std::string formatInstruction(const Instr& in, const ProfileLimits& profile);

} // namespace shadercompiler::hlsl
