// Damaged copies of the show's four shader files through
// D3DXCompileShaderFromFileA: bytes flipped, lines cut, tokens swapped, very
// long names and deep nesting. Each must come back as code that decodes or as
// E_FAIL with a message naming the file; none may crash or hang (this test
// earns its keep under the sanitizers). The generator is seeded, so a failure
// names a case that can be run again.

#include "platform/d3dx/d3dx9.h"
#include "shadercompiler/asm/shaderprogram.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ShaderFile {
    const char* path;
    const char* profile;
    DWORD version;
};
const ShaderFile kFiles[] = {{"shaders/vshader_mojs.vhl", "vs_2_0", 0xFFFE0200u},
                             {"shaders/pshader_mojs.phl", "ps_2_0", 0xFFFF0200u},
                             {"shaders/vshader_mojs2.vhl", "vs_2_0", 0xFFFE0200u},
                             {"shaders/pshader_mojs2.phl", "ps_2_0", 0xFFFF0200u}};

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Splits text into words, runs of blanks and single other characters, so that
// joining the pieces gives the text back.
std::vector<std::string> pieces(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto blank = [](char c) { return c == ' ' || c == '\n'; };
        const bool word = isWordChar(text[i]);
        std::size_t j = i + 1;
        while ((word || blank(text[i])) && j < text.size() && (word ? isWordChar(text[j]) : blank(text[j]))) {
            ++j;
        }
        out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

std::string join(const std::vector<std::string>& parts) {
    return std::accumulate(parts.begin(), parts.end(), std::string());
}

std::string repeat(const std::string& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

// One damaged copy of `text`; `kind` picks the damage.
std::string mutate(const std::string& text, int kind, std::mt19937& rng) {
    const auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    std::string s = text;
    switch (kind) {
    case 0: // a few bytes flipped, any value
        for (int i = 0, n = 1 + static_cast<int>(pick(4)); i < n; ++i) {
            s[pick(s.size())] ^= static_cast<char>(1 + pick(255));
        }
        return s;
    case 1: { // a run of lines cut out
        std::vector<std::string> lines;
        std::stringstream in(s);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line + "\n");
        }
        const std::size_t from = pick(lines.size());
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(from),
                    lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), from + 1 + pick(3))));
        return join(lines);
    }
    case 2: // cut off anywhere
        return s.substr(0, pick(s.size()));
    case 3: { // two tokens swapped, or one dropped or doubled
        std::vector<std::string> p = pieces(s);
        const std::size_t a = pick(p.size());
        const std::size_t b = pick(p.size());
        switch (pick(3)) {
        case 0:
            std::swap(p[a], p[b]);
            break;
        case 1:
            p.erase(p.begin() + static_cast<std::ptrdiff_t>(a));
            break;
        default:
            p.insert(p.begin() + static_cast<std::ptrdiff_t>(a), p[b]);
            break;
        }
        return join(p);
    }
    case 4: { // a name made very long
        std::vector<std::string> p = pieces(s);
        for (int tries = 0; tries < 50; ++tries) {
            std::string& w = p[pick(p.size())];
            if (!w.empty() && isWordChar(w[0]) && !(w[0] >= '0' && w[0] <= '9')) {
                w += std::string(1000 + pick(60000), static_cast<char>('a' + pick(26)));
                break;
            }
        }
        return join(p);
    }
    case 5: { // deep nesting at the first return, or a block nested deep
        const std::size_t depth = 50 + pick(20000);
        const std::size_t at = s.find("return ");
        if (at == std::string::npos) {
            return s;
        }
        const std::size_t value = at + 7;
        const std::size_t end = s.find(';', value);
        const std::string e = s.substr(value, end - value);
        const std::size_t form = pick(6);
        if (form == 5) { // blocks inside blocks around the return
            const std::size_t line = s.rfind('\n', at);
            s.insert(end + 1, std::string(depth, '}'));
            s.insert(line + 1, std::string(depth, '{'));
            return s;
        }
        const std::string deep[] = {repeat("(", depth) + e + repeat(")", depth),                // parentheses
                                    repeat("-+ ", depth / 2) + (depth % 2 == 1 ? "-" : "") + e, // prefix operators
                                    e + repeat(" + " + e, depth),                   // sums: the tree nests to the left
                                    repeat("abs(", depth) + e + repeat(")", depth), // calls inside calls
                                    "(" + e + ")" + repeat(".xyzw", depth)};        // members of members
        return s.substr(0, value) + deep[form] + s.substr(end);
    }
    default: { // bytes inserted: controls, a zero byte, high bytes
        for (int i = 0, n = 1 + static_cast<int>(pick(3)); i < n; ++i) {
            s.insert(pick(s.size() + 1), 1, static_cast<char>(pick(256)));
        }
        return s;
    }
    }
}

TEST(ShaderFuzz, DamagedShaderFilesFailWithAMessageOrCompile) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "d3dx_fuzz";
    std::filesystem::create_directories(dir);
    std::mt19937 rng(20260312u);
    constexpr int kKinds = 7;
    constexpr int kPerKind = 24;
    int failed = 0;
    int compiled = 0;
    ::testing::internal::CaptureStderr();
    for (const ShaderFile& f : kFiles) {
        const std::string original = tests::support::fileText(tests::support::sourcePath(f.path));
        ASSERT_FALSE(original.empty()) << f.path;
        const std::string path = (dir / std::filesystem::path(f.path).filename()).string();
        for (int kind = 0; kind < kKinds; ++kind) {
            for (int n = 0; n < kPerKind; ++n) {
                const std::string text = mutate(original, kind, rng);
                std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
                LPD3DXBUFFER code = nullptr;
                LPD3DXBUFFER errors = nullptr;
                const HRESULT hr = D3DXCompileShaderFromFileA(path.c_str(), nullptr, nullptr, "main", f.profile, 0,
                                                              &code, &errors, nullptr);
                const std::string what =
                    std::string(f.path) + " kind " + std::to_string(kind) + " case " + std::to_string(n);
                if (hr == S_OK) {
                    ++compiled;
                    ASSERT_NE(code, nullptr) << what;
                    EXPECT_EQ(errors, nullptr) << what;
                    std::vector<DWORD> tokens(code->GetBufferSize() / sizeof(DWORD));
                    std::memcpy(tokens.data(), code->GetBufferPointer(), tokens.size() * sizeof(DWORD));
                    shadercompiler::assembler::Program program;
                    std::string error;
                    EXPECT_TRUE(shadercompiler::assembler::decode(tokens.data(), tokens.size(), program, error))
                        << what << error;
                    EXPECT_EQ(tokens.empty() ? 0u : tokens.front(), f.version) << what;
                    code->Release();
                    continue;
                }
                ++failed;
                ASSERT_EQ(hr, E_FAIL) << what;
                EXPECT_EQ(code, nullptr) << what;
                ASSERT_NE(errors, nullptr) << what;
                const std::string message(static_cast<const char*>(errors->GetBufferPointer()));
                EXPECT_EQ(message.rfind(path, 0), 0u) << what << ": " << message.substr(0, 200);
                EXPECT_EQ(message.find("internal error"), std::string::npos) << what << ": " << message;
                errors->Release();
            }
        }
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    std::filesystem::remove_all(dir);
    ::testing::Test::RecordProperty("refused", failed);
    ::testing::Test::RecordProperty("compiled", compiled);
    // Most damage breaks the program; every failure logged one line.
    EXPECT_GT(failed, compiled);
    std::size_t lines = 0;
    for (std::size_t at = log.find("d3dx: "); at != std::string::npos; at = log.find("d3dx: ", at + 1)) {
        ++lines;
    }
    EXPECT_GE(lines, static_cast<std::size_t>(failed));
}

} // namespace
