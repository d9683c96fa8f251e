// Shader token code to GLSL 3.30: the instruction subset of vs_1_1, vs_2_0,
// ps_1_1..ps_1_3 and ps_2_0 that vertex and pixel programs of the show's kind
// use. The generated code follows the interface of ffpipeline.h, so either
// stage can pair with a generated fixed-function stage.
#pragma once

#include "shadercompiler/asm/shaderprogram.h"

#include <string>
#include <vector>

namespace platform::d3d9 {

// Largest magnitude a pixel 1.x register holds; reported in D3DCAPS9.
inline constexpr float kPixelShader1xMaxValue = 8.0f;

// False with a reason for code outside the subset. definedConstants lists
// the registers that def sets (they win over the application's values).
bool translateToGlsl(const shadercompiler::assembler::Program& program, std::string& glsl,
                     std::vector<unsigned>& definedConstants, std::string& error);

} // namespace platform::d3d9
