// Recursive-descent parser for the HLSL subset.
#pragma once

#include "shadercompiler/hlsl/ast.h"

#include <string_view>

namespace shadercompiler::hlsl {

// True for the built-in type names the compiler knows: float, float2..4,
// floatRxC, their half variants, sampler and sampler2D, void.
bool isBuiltinTypeName(std::string_view name);

// Throws CompileError at the first syntax error.
Program parse(std::string_view source);

} // namespace shadercompiler::hlsl
