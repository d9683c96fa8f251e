// Types and values of the code generator: the numeric types of the subset
// (scalars, vectors, matrices), samplers and structures, and a value as the
// generated code holds it (a register operand or a literal).
#pragma once

#include "shadercompiler/hlsl/ast.h"
#include "shadercompiler/hlsl/ir.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace shadercompiler::hlsl {

struct Type {
    enum class Kind { voidType, numeric, sampler, structure };
    Kind kind = Kind::voidType;
    int rows = 1;
    int cols = 1; // component count of a scalar or vector
    bool matrix = false;
    int structIndex = -1;

    bool isVector() const { return kind == Kind::numeric && !matrix; }
    bool operator==(const Type&) const = default;
};

Type vectorType(int n);

// Lanes 0..n-1 as a write mask.
std::uint8_t laneMask(int n);

struct Value {
    Type type;
    Src src;
    std::uint8_t undefinedLanes = 0;
    std::string origin; // the variable a read came from, for messages
    bool literal = false;
    std::array<float, 4> lits{};
    int regBase = 0; // matrix: first constant register; sampler: its number
    bool rowMajor = false;
    std::vector<Value> fields;

    int count() const { return type.cols; }
};

// Result size of an operation on vectors: a scalar takes the other's size;
// two vectors meet at the smaller (HLSL's implicit truncation).
int combinedCount(int a, int b);

// The type a name of the source stands for; CompileError for an unknown one.
Type resolveType(const Program& program, const TypeRef& ref);
// The type as the source spells it, for messages.
std::string typeName(const Program& program, const Type& t);
// v as a value of type `to`: a scalar is replicated, a vector truncated;
// CompileError for any other conversion.
Value convert(const Program& program, const Value& v, const Type& to, SourcePos pos);

} // namespace shadercompiler::hlsl
