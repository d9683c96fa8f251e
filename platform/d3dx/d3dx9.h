// The D3DX shader compiler call the show makes, backed by shadercompiler/:
// HLSL source file -> shader assembly (shadercompiler/hlsl) -> token code
// (shadercompiler/asm).
//
// D3DXCompileShaderFromFileA(file, defines, include, entry, profile, flags,
//                            &code, &errors, &constants)
//   reads the file, compiles the function `entry` for "vs_2_0" or "ps_2_0"
//   and hands back a buffer of token code (ending with the end token) that
//   CreateVertexShader / CreatePixelShader take. Results:
//     S_OK                           compiled; *ppShader holds the code
//     D3DERR_INVALIDCALL             null file, entry, profile or ppShader; or
//                                    defines, an include handler, flags other
//                                    than 0 or a constant table asked for
//                                    (outside the subset the show uses)
//     HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)  the file cannot be read
//     E_FAIL                         syntax or type error, unknown entry
//                                    point, unsupported profile or construct,
//                                    a program too large for the profile
//   Every failure writes one OutputDebugStringA line starting with "d3dx: ";
//   a compile error carries "file(line,column): error: message". When
//   ppErrorMsgs is not null it receives that text (null terminated) on a
//   compile failure and null otherwise. *ppShader is null after a failure.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/kernel/kernel.h"

struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};

// Include handlers and constant tables are not provided; the types exist so
// the call keeps its signature.
class ID3DXInclude;
class ID3DXConstantTable;
using LPD3DXINCLUDE = ID3DXInclude*;
using LPD3DXCONSTANTTABLE = ID3DXConstantTable*;

class ID3DXBuffer : public IUnknown {
  public:
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
using LPD3DXBUFFER = ID3DXBuffer*;

constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return code == 0 ? S_OK : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}

HRESULT D3DXCompileShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                   LPCSTR pFunctionName, LPCSTR pProfile, DWORD Flags, LPD3DXBUFFER* ppShader,
                                   LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE* ppConstantTable);
