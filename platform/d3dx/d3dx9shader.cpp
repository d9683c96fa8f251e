#include "platform/d3dx/d3dx9.h"

#include "platform/kernel/kernel.h"
#include "platform/kernel/refusal.h"
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/hlsl/compiler.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <unordered_map>
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

void logLine(const std::string& text) {
    platform::kernel::logRefusal("d3dx", "%s", text.c_str());
}

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

// Token code of the sources compiled so far, keyed by everything the result
// depends on: the source text, the file name (it appears in messages), the
// entry point and the profile. A caller that compiles the same file every
// frame then pays for reading it and one lookup; an edited file is a new key.
class CompiledCodeCache {
  public:
    bool find(const std::string& key, std::vector<unsigned char>& code) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = code_.find(key);
        if (found == code_.end()) {
            return false;
        }
        code = found->second;
        return true;
    }

    void store(std::string key, const std::vector<unsigned char>& code) {
        std::lock_guard<std::mutex> lock(mutex_);
        // A program that compiles ever-new sources must not grow without bound.
        if (code_.size() >= kMaxEntries) {
            code_.clear();
        }
        code_.emplace(std::move(key), code);
    }

  private:
    static constexpr std::size_t kMaxEntries = 64;
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<unsigned char>> code_;
};

CompiledCodeCache& compiledCode() {
    static CompiledCodeCache cache;
    return cache;
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

    std::string key = std::string(pProfile) + '\0' + pFunctionName + '\0' + pSrcFile + '\0' + source.str();
    std::vector<unsigned char> cached;
    if (compiledCode().find(key, cached)) {
        *ppShader = new Buffer(std::move(cached));
        return S_OK;
    }
    const shadercompiler::hlsl::CompileResult compiled =
        shadercompiler::hlsl::compile(source.str(), pSrcFile, pFunctionName, pProfile);
    if (!compiled.ok) {
        return compileFailure(compiled.message, ppErrorMsgs);
    }
    std::vector<shadercompiler::assembler::Token> tokens;
    std::string error;
    if (!shadercompiler::assembler::assemble(compiled.assembly, tokens, error)) {
        // The compiler wrote text the assembler refuses: a fault of ours, not of the source.
        return compileFailure(std::string(pSrcFile) + ": internal error: generated assembly rejected: " + error,
                              ppErrorMsgs);
    }
    std::vector<unsigned char> bytes(tokens.size() * sizeof(shadercompiler::assembler::Token));
    std::memcpy(bytes.data(), tokens.data(), bytes.size());
    compiledCode().store(std::move(key), bytes);
    *ppShader = new Buffer(std::move(bytes));
    return S_OK;
}
