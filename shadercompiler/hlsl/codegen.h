// Type checking and code generation: the syntax tree of one program to
// shader assembly text for one entry point and profile.
#pragma once

#include "shadercompiler/hlsl/ast.h"
#include "shadercompiler/hlsl/ir.h"

#include <string>

namespace shadercompiler::hlsl {

struct GeneratedCode {
    bool entryFound = false;
    std::string assembly;
    int arithmeticSlots = 0;
    int textureSlots = 0;
    int temporaries = 0;
};

// Throws CompileError at the first type error or when the program does not
// fit the profile; entryFound is false when no function has the entry name.
GeneratedCode generate(const Program& program, const ProfileLimits& profile, const std::string& entry);

} // namespace shadercompiler::hlsl
