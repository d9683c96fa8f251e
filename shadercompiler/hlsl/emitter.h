// The code the generator emits and the values it computes with: operands
// for values (literals become constant registers), temporaries, and the
// arithmetic that the expressions, the intrinsics and the entry point share.
// Literal arithmetic is folded; everything else becomes instructions.
#pragma once

#include "shadercompiler/hlsl/constants.h"
#include "shadercompiler/hlsl/types.h"

#include <map>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

class Emitter {
  public:
    Emitter(const Program& p, const ProfileLimits& limits) : program(p), profile(limits), constants(limits) {}

    Type resolveType(const TypeRef& ref) const { return shadercompiler::hlsl::resolveType(program, ref); }
    std::string typeName(const Type& t) const { return shadercompiler::hlsl::typeName(program, t); }
    Value convert(const Value& v, const Type& to, SourcePos pos) const {
        return shadercompiler::hlsl::convert(program, v, to, pos);
    }

    static Value literalValue(const std::array<float, 4>& lits, int n);
    void requireVector(const Value& v, SourcePos pos, const std::string& what) const;
    // The operand that reads v on lanes 0..n-1 (a scalar is replicated).
    Src operand(const Value& v, int n, SourcePos pos);
    Value newTemp(int n);
    void emitTo(Op op, Reg dst, std::uint8_t mask, std::vector<Src> srcs, SourcePos pos, bool sat = false);
    Value emit(Op op, int n, std::vector<Src> srcs, SourcePos pos, bool sat = false);
    // Ops that read one component and write it to every lane, done lane by lane.
    Value perComponent(Op op, int n, const std::vector<Value>& args, SourcePos pos);
    static Src withSwizzle(Src s, std::uint8_t component);
    // dst.lane = dot(a, b) over n components.
    void dotInto(Reg dst, int lane, const Src& a, const Src& b, int n, SourcePos pos);
    Value negate(Value v, SourcePos pos);
    Value arith(char op, const Value& a, const Value& b, SourcePos pos);
    Value multiplyAdd(const Value& x, const Value& y, const Value& c, SourcePos pos);
    Value dot(const Value& a, const Value& b, int n, SourcePos pos);
    Src matrixRegister(const Value& m, int i) const;

    const Program& program;
    const ProfileLimits& profile;
    std::vector<Instr> code;
    int nextTemp = 0;
    ConstantRegisters constants;
    std::map<int, bool> samplersUsed;
};

} // namespace shadercompiler::hlsl
