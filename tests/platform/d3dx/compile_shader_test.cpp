#include "platform/d3dx/d3dx9.h"
#include "resources/shaders/shaderprograms.h"
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/asm/disassembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<DWORD> tokensOf(ID3DXBuffer* buffer) {
    std::vector<DWORD> t(buffer->GetBufferSize() / sizeof(DWORD));
    std::memcpy(t.data(), buffer->GetBufferPointer(), t.size() * sizeof(DWORD));
    return t;
}

// Disassembling and assembling again must give the same tokens.
void expectRoundTrip(const std::vector<DWORD>& tokens, const std::string& what) {
    std::string text;
    std::string error;
    ASSERT_TRUE(shadercompiler::assembler::disassemble(tokens.data(), tokens.size(), text, error))
        << what << ": " << error;
    std::vector<shadercompiler::assembler::Token> again;
    ASSERT_TRUE(shadercompiler::assembler::assemble(text, again, error)) << what << ": " << error << "\n" << text;
    EXPECT_EQ(std::vector<DWORD>(again.begin(), again.end()), tokens) << what << "\n" << text;
}

// Stands in for a stale pointer that a failing call must replace with null.
class StaleBuffer final : public ID3DXBuffer {
  public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    LPVOID GetBufferPointer() override { return nullptr; }
    DWORD GetBufferSize() override { return 0; }
};

class CompileFailures : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = std::filesystem::path(::testing::TempDir()) /
              ("d3dx_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = (dir / name).string();
        std::ofstream(path) << text;
        return path;
    }

    // Compiles, capturing the debug log; the code buffer must stay null.
    HRESULT compile(const std::string& path, const char* entry, const char* profile, std::string& log,
                    LPD3DXBUFFER* errors = nullptr) const {
        StaleBuffer stale;
        LPD3DXBUFFER code = &stale;
        ::testing::internal::CaptureStderr();
        const HRESULT hr =
            D3DXCompileShaderFromFileA(path.c_str(), nullptr, nullptr, entry, profile, 0, &code, errors, nullptr);
        log = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, nullptr);
        return hr;
    }

    std::filesystem::path dir;
};

const char* kGood = "float4 main(float4 p : POSITION) : POSITION { return p; }\n";

TEST_F(CompileFailures, MissingFile) {
    std::string log;
    EXPECT_EQ(compile((dir / "absent.vhl").string(), "main", "vs_2_0", log), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(log.find("d3dx: "), std::string::npos);
    EXPECT_NE(log.find("absent.vhl"), std::string::npos);
}

TEST_F(CompileFailures, SyntaxErrorNamesItsLineInTheLogAndTheErrorBuffer) {
    const std::string path =
        write("broken.vhl", "float4 main(float4 p : POSITION) : POSITION {\n  float4 a = p * 2\n  return a;\n}\n");
    std::string log;
    LPD3DXBUFFER errors = nullptr;
    EXPECT_EQ(compile(path, "main", "vs_2_0", log, &errors), E_FAIL);
    EXPECT_NE(log.find("broken.vhl(3,3): error: expected ';'"), std::string::npos) << log;
    EXPECT_EQ(log.rfind("d3dx: ", 0), 0u) << log;
    ASSERT_NE(errors, nullptr);
    const std::string text(static_cast<const char*>(errors->GetBufferPointer()));
    EXPECT_NE(text.find("broken.vhl(3,3)"), std::string::npos) << text;
    EXPECT_EQ(errors->GetBufferSize(), text.size() + 1);
    errors->Release();
}

TEST_F(CompileFailures, ArgumentsOutsideTheSubsetAreRefused) {
    const std::string good = write("good.vhl", kGood);
    LPD3DXBUFFER code = nullptr;
    const D3DXMACRO macros[] = {{"A", "1"}, {nullptr, nullptr}};
    const auto call = [](const char* file, const D3DXMACRO* defines, DWORD flags, LPD3DXBUFFER* out) {
        return D3DXCompileShaderFromFileA(file, defines, nullptr, "main", "vs_2_0", flags, out, nullptr, nullptr);
    };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(call(good.c_str(), macros, 0, &code), D3DERR_INVALIDCALL);
    EXPECT_EQ(call(good.c_str(), nullptr, 1, &code), D3DERR_INVALIDCALL);
    EXPECT_EQ(call(good.c_str(), nullptr, 0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(call(nullptr, nullptr, 0, &code), D3DERR_INVALIDCALL);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, nullptr);
    EXPECT_NE(log.find("d3dx: "), std::string::npos);
}

// The same file compiled again gives the same code in a buffer of its own;
// an edited file, another entry point or another profile is compiled afresh,
// and a file that no longer compiles fails again rather than giving old code.
TEST_F(CompileFailures, RecompilingFollowsTheFileEntryAndProfile) {
    const std::string path =
        write("again.vhl", std::string(kGood) + "float4 other(float4 p : POSITION) : POSITION { return p * 2; }\n");
    auto compileOk = [](const std::string& file, const char* entry, const char* profile) {
        LPD3DXBUFFER code = nullptr;
        EXPECT_EQ(
            D3DXCompileShaderFromFileA(file.c_str(), nullptr, nullptr, entry, profile, 0, &code, nullptr, nullptr),
            D3D_OK)
            << file << " " << entry << " " << profile;
        std::vector<DWORD> tokens;
        if (code != nullptr) {
            tokens = tokensOf(code);
            code->Release();
        }
        return tokens;
    };
    const std::vector<DWORD> first = compileOk(path, "main", "vs_2_0");
    ASSERT_FALSE(first.empty());
    LPD3DXBUFFER kept = nullptr;
    ASSERT_EQ(D3DXCompileShaderFromFileA(path.c_str(), nullptr, nullptr, "main", "vs_2_0", 0, &kept, nullptr, nullptr),
              D3D_OK);
    EXPECT_EQ(tokensOf(kept), first);
    EXPECT_EQ(compileOk(path, "main", "vs_2_0"), first) << "releasing one buffer leaves the other whole";
    EXPECT_EQ(tokensOf(kept), first);
    kept->Release();

    const std::vector<DWORD> other = compileOk(path, "other", "vs_2_0");
    EXPECT_NE(other, first) << "the second entry point has code of its own";
    // A pixel program cannot write a position: the vertex code must not be handed out for ps_2_0.
    std::string pixelLog;
    EXPECT_TRUE(FAILED(compile(path, "main", "ps_2_0", pixelLog)));

    // The same file name with new text: the code of the new text.
    write("again.vhl", "float4 main(float4 p : POSITION) : POSITION { return p + p; }\n");
    const std::vector<DWORD> edited = compileOk(path, "main", "vs_2_0");
    EXPECT_NE(edited, first);
    const std::string fresh = write("fresh.vhl", "float4 main(float4 p : POSITION) : POSITION { return p + p; }\n");
    EXPECT_EQ(compileOk(fresh, "main", "vs_2_0"), edited)
        << "the edited file compiles like a fresh one of the same text";

    write("again.vhl", "float4 main(float4 p : POSITION) : POSITION { return q; }\n");
    std::string log;
    EXPECT_TRUE(FAILED(compile(path, "main", "vs_2_0", log)));
    EXPECT_NE(log.find("again.vhl"), std::string::npos) << log;
}

// ---- the embedded programs -----------------------------------------------

struct Embedded {
    const char* name;
    const DWORD* code;
    const UINT* count;
    DWORD version;
    std::set<unsigned> constantsRead; // uploaded constants (def registers excluded)
};

std::set<unsigned> uploadedConstantsRead(const shadercompiler::assembler::Program& p) {
    std::set<unsigned> defined;
    std::set<unsigned> read;
    for (const shadercompiler::assembler::Instruction& in : p.instructions) {
        if (in.opcode == shadercompiler::assembler::Opcode::def) {
            defined.insert(in.dst.reg.number);
        }
        for (const shadercompiler::assembler::Source& s : in.src) {
            if (s.reg.type == shadercompiler::assembler::RegisterType::constant &&
                in.opcode != shadercompiler::assembler::Opcode::def) {
                read.insert(s.reg.number);
            }
        }
    }
    for (unsigned d : defined) {
        read.erase(d);
    }
    return read;
}

TEST(EmbeddedPrograms, VersionsConstantsAndRoundTrip) {
    const std::set<unsigned> vertexConstants = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13};
    const Embedded programs[] = {
        {"rim vertex", resources::kRimVertexProgram, &resources::kRimVertexProgramTokenCount, 0xFFFE0200u,
         vertexConstants},
        {"rim pixel", resources::kRimPixelProgram, &resources::kRimPixelProgramTokenCount, 0xFFFF0200u, {0}},
        {"fallback vertex", resources::kFallbackVertexProgram, &resources::kFallbackVertexProgramTokenCount,
         0xFFFE0101u, vertexConstants},
        {"fallback pixel", resources::kFallbackPixelProgram, &resources::kFallbackPixelProgramTokenCount, 0xFFFF0103u,
         std::set<unsigned>{}}};
    for (const Embedded& e : programs) {
        const std::vector<DWORD> tokens(e.code, e.code + *e.count);
        EXPECT_EQ(e.code[0], e.version) << e.name;
        EXPECT_EQ(e.code[*e.count - 1], 0x0000FFFFu) << e.name;
        shadercompiler::assembler::Program program;
        std::string error;
        ASSERT_TRUE(shadercompiler::assembler::decode(tokens.data(), tokens.size(), program, error))
            << e.name << ": " << error;
        EXPECT_EQ(uploadedConstantsRead(program), e.constantsRead) << e.name;
        expectRoundTrip(tokens, e.name);
    }
}

} // namespace
