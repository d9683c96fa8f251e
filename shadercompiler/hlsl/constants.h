// Constant and sampler registers: where the uniforms go, explicitly or in
// the first free range, and the literals the code reads, packed four to a
// register above every uniform and written out as "def" lines.
#pragma once

#include "shadercompiler/hlsl/diagnostics.h"
#include "shadercompiler/hlsl/ir.h"

#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

// Whether the two floats have the same bits (so 0 and -0 differ).
bool sameBits(float a, float b);

class ConstantRegisters {
  public:
    explicit ConstantRegisters(const ProfileLimits& profile) : profile_(profile) {}

    // Takes `size` registers from `index` for the uniform `name`; CompileError
    // when they do not fit the profile or overlap another uniform's.
    void place(const std::string& name, bool isSampler, int index, int size, SourcePos pos);
    // The lowest index from which `size` registers are free.
    int firstFree(bool isSampler, int size) const;
    // An operand that reads the literal f (replicated) or the n literals of
    // `values`; a literal already held is shared. CompileError when the
    // value is not finite or no register is left.
    Src scalar(float f, SourcePos pos);
    Src vector(const std::array<float, 4>& values, int n, SourcePos pos);
    // One "def" line per literal register, lowest register first.
    void writeDefs(std::ostream& out) const;

  private:
    struct DefRegister {
        int index = 0;
        std::array<float, 4> values{};
        int used = 0; // lanes holding scalar literals; 4 for a vector literal
    };
    int newRegister(SourcePos pos);

    const ProfileLimits& profile_;
    std::vector<bool> constantUsed_;
    std::vector<bool> samplerUsed_;
    std::vector<DefRegister> defs_;
};

} // namespace shadercompiler::hlsl
