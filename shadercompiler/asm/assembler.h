// Shader assembly text to token code, in the platform's assembly syntax:
//
//   vs_2_0                        version first (vs_1_1, vs_2_0, ps_1_1..ps_1_3, ps_2_0)
//   dcl_position v0               vertex inputs: dcl_<usage>[index]
//   dcl_2d s0 / dcl t0.xy         pixel 2.0 samplers and inputs
//   def c0, 1, 0, 0.5, 0
//   m4x4 oPos, v0, c0
//   mul_sat r0.xyz, -r1.x, c2_bx2  result modifiers _sat _pp _x2 _x4 _x8 _d2 _d4 _d8;
//   +mov r0.a, 1-t0               source modifiers -, 1-, _bias, _bx2, _x2, _dz, _dw, _abs;
//   texld r0, t0, s0 / tex t0     '+' co-issues (pixel 1.x)
//
// Comments run from "//" or ";" to the end of the line. Registers: r# v# c#
// a0 (vertex) t# (pixel) s# i# b# oPos oFog oPts oD# oT# oC# oDepth; masks and
// swizzles in xyzw or rgba letters.
#pragma once

#include "shadercompiler/asm/shaderprogram.h"

#include <string>
#include <string_view>
#include <vector>

namespace shadercompiler::assembler {

// Parses text into a program. False with "line N: what" in error.
bool parse(std::string_view text, Program& program, std::string& error);
// Parses and encodes; tokens end with the end token.
bool assemble(std::string_view text, std::vector<Token>& tokens, std::string& error);

} // namespace shadercompiler::assembler
