// The four rim programs carried in the executable as token code (each ends
// with the end token), assembled at build time from the .vsh/.psh sources
// beside this header.
//
//   rimVertexProgram       vs_2_0   c0-c3 world*view*projection, c4-c7 world,
//                                   c8-c10 normal matrix, c12 camera, c13 colour
//   rimPixelProgram        ps_2_0   s0 texture, c0 ambient
//   fallbackVertexProgram  vs_1_1   constants as rimVertexProgram
//   fallbackPixelProgram   ps_1_3   s0 texture
#pragma once

#include "platform/kernel/windef.h"

namespace resources {

extern const DWORD rimVertexProgram[];
extern const UINT rimVertexProgramTokenCount;
extern const DWORD rimPixelProgram[];
extern const UINT rimPixelProgramTokenCount;
extern const DWORD fallbackVertexProgram[];
extern const UINT fallbackVertexProgramTokenCount;
extern const DWORD fallbackPixelProgram[];
extern const UINT fallbackPixelProgramTokenCount;

} // namespace resources
