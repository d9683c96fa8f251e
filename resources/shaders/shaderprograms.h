// The four rim programs carried in the executable as token code (each ends
// with the end token), assembled at build time from the .vsh/.psh sources
// beside this header.
//
//   kRimVertexProgram       vs_2_0   c0-c3 world*view*projection, c4-c7 world,
//                                   c8-c10 normal matrix, c12 camera, c13 colour
//   kRimPixelProgram        ps_2_0   s0 texture, c0 ambient
//   kFallbackVertexProgram  vs_1_1   constants as kRimVertexProgram
//   kFallbackPixelProgram   ps_1_3   s0 texture
#pragma once

#include "platform/kernel/windef.h"

namespace resources {

extern const DWORD kRimVertexProgram[];
extern const UINT kRimVertexProgramTokenCount;
extern const DWORD kRimPixelProgram[];
extern const UINT kRimPixelProgramTokenCount;
extern const DWORD kFallbackVertexProgram[];
extern const UINT kFallbackVertexProgramTokenCount;
extern const DWORD kFallbackPixelProgram[];
extern const UINT kFallbackPixelProgramTokenCount;

} // namespace resources
