// HLSL subset compiler: one entry function of a source file to shader
// assembly text for vs_2_0 or ps_2_0 ("vs_2_0", "dcl_position v0",
// "mul r0, v0.x, c0", ...).
//
// The subset: global float, floatN and floatRxC uniforms (row_major or the
// default column_major packing) with register(cN); static const globals;
// sampler / sampler2D with register(sN); structs whose fields carry
// semantics (POSITION, NORMAL, TEXCOORDn, COLORn, FOG, PSIZE, DEPTH); the
// entry function taking parameters or structs and returning a struct, a
// value with a semantic, or out parameters; helper functions (inlined);
// local variables, assignment (=, +=, -=, *=, /=), return at the end of a
// function; + - * / with scalar broadcast, unary minus, swizzles and write
// masks, constructors, casts (including (Struct)0); the intrinsics mul, dot,
// normalize, length, saturate, lerp, pow, abs, min, max, tex2D, rsqrt,
// reflect, sqrt and frac. No branches, loops, arrays or preprocessor.
#pragma once

#include <string>
#include <string_view>

namespace shadercompiler::hlsl {

struct CompileResult {
    bool ok = false;
    std::string assembly; // when ok
    std::string message;  // when not ok: "file(line,col): error: ..." or "file: error: ..."
    int errorLine = 0;    // 0 when the error has no place in the source
    int errorColumn = 0;
    int instructionSlots = 0; // arithmetic and texture slots together
    int arithmeticSlots = 0;
    int textureSlots = 0;
    int temporaries = 0;
};

CompileResult compile(std::string_view source, std::string_view fileName, std::string_view entry,
                      std::string_view profile);

} // namespace shadercompiler::hlsl
