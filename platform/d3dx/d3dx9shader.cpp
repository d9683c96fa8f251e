#include "platform/d3dx/d3dx9.h"

#include "platform/kernel/kernel.h"
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/hlsl/compiler.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(std::vector<unsigned char> bytes) : data(std::move(bytes)) {}

    ULONG AddRef() override { return ++references; }
    ULONG Release() override {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    LPVOID GetBufferPointer() override { return data.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(data.size()); }

private:
    ~Buffer() override = default;

    std::vector<unsigned char> data;
    std::atomic<ULONG> references{1};
};

void logLine(const std::string& text) { OutputDebugStringA(("d3dx: " + text + "\n").c_str()); }

LPD3DXBUFFER textBuffer(const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return new Buffer(std::move(bytes));
}

HRESULT compileFailure(const std::string& message, LPD3DXBUFFER* ppErrorMsgs) {
    logLine(message);
    if (ppErrorMsgs != nullptr) {
        *ppErrorMsgs = textBuffer(message);
    }
    return E_FAIL;
}

} // namespace

HRESULT D3DXCompileShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                   LPCSTR pFunctionName, LPCSTR pProfile, DWORD Flags, LPD3DXBUFFER* ppShader,
                                   LPD3DXBUFFER* ppErrorMsgs, LPD3DXCONSTANTTABLE* ppConstantTable) {
    if (ppShader != nullptr) {
        *ppShader = nullptr;
    }
    if (ppErrorMsgs != nullptr) {
        *ppErrorMsgs = nullptr;
    }
    if (ppConstantTable != nullptr) {
        *ppConstantTable = nullptr;
    }
    if (pSrcFile == nullptr || pFunctionName == nullptr || pProfile == nullptr || ppShader == nullptr) {
        logLine("D3DXCompileShaderFromFileA: file, entry, profile and code buffer are required");
        return D3DERR_INVALIDCALL;
    }
    if (pDefines != nullptr || pInclude != nullptr || Flags != 0 || ppConstantTable != nullptr) {
        logLine("D3DXCompileShaderFromFileA: macros, include handlers, flags and constant tables are not supported");
        return D3DERR_INVALIDCALL;
    }
    std::ifstream file(pSrcFile, std::ios::binary);
    if (!file) {
        logLine(std::string(pSrcFile) + ": cannot open the file");
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    std::stringstream source;
    source << file.rdbuf();

    const hlsl::CompileResult compiled = hlsl::compile(source.str(), pSrcFile, pFunctionName, pProfile);
    if (!compiled.ok) {
        return compileFailure(compiled.message, ppErrorMsgs);
    }
    std::vector<shaderasm::Token> tokens;
    std::string error;
    if (!shaderasm::assemble(compiled.assembly, tokens, error)) {
        // The compiler wrote text the assembler refuses: a fault of ours, not of the source.
        return compileFailure(std::string(pSrcFile) + ": internal error: generated assembly rejected: " + error,
                              ppErrorMsgs);
    }
    std::vector<unsigned char> bytes(tokens.size() * sizeof(shaderasm::Token));
    std::memcpy(bytes.data(), tokens.data(), bytes.size());
    *ppShader = new Buffer(std::move(bytes));
    return S_OK;
}
