// The show's four shader source files compile for their profiles and stay
// within the profiles' limits.
#include "shadercompiler/hlsl/compiler.h"
#include "tests/shadercompiler/hlsl/asm_machine.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::string readFile(const std::string& name) {
    return tests::support::fileText(tests::support::sourcePath(name));
}

struct ShaderFile {
    const char* path;
    const char* profile;
};

class ShaderFiles : public ::testing::TestWithParam<ShaderFile> {};

TEST_P(ShaderFiles, CompileWithinTheProfile) {
    const std::string source = readFile(GetParam().path);
    ASSERT_FALSE(source.empty());
    const shadercompiler::hlsl::CompileResult r =
        shadercompiler::hlsl::compile(source, GetParam().path, "main", GetParam().profile);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.assembly.rfind(std::string(GetParam().profile) + "\n", 0), 0u);
    EXPECT_LE(r.temporaries, 12);
    if (std::string(GetParam().profile) == "ps_2_0") {
        EXPECT_LE(r.arithmeticSlots, 64);
        EXPECT_EQ(r.textureSlots, 1);
        EXPECT_NE(r.assembly.find("dcl_2d s0"), std::string::npos);
        EXPECT_NE(r.assembly.find("mov oC0"), std::string::npos);
    } else {
        EXPECT_LE(r.instructionSlots, 256);
        // The vertex layout of the pools: position, normal, one set of texture coordinates.
        EXPECT_NE(r.assembly.find("dcl_position v0\ndcl_normal v1\ndcl_texcoord v2\n"), std::string::npos)
            << r.assembly;
        // Literals must not land in c0-c13, which the program fills.
        EXPECT_EQ(r.assembly.find("def c1 "), std::string::npos);
        for (int c = 0; c <= 13; ++c) {
            EXPECT_EQ(r.assembly.find("def c" + std::to_string(c) + ","), std::string::npos) << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Show, ShaderFiles,
                         ::testing::Values(ShaderFile{"shaders/vshader_mojs.vhl", "vs_2_0"},
                                           ShaderFile{"shaders/pshader_mojs.phl", "ps_2_0"},
                                           ShaderFile{"shaders/vshader_mojs2.vhl", "vs_2_0"},
                                           ShaderFile{"shaders/pshader_mojs2.phl", "ps_2_0"}));

// The tunnel's normal stream holds a point (frame position plus the rotated
// unit normal); the vertex programs must turn it back into the unit normal,
// and leave true unit normals alone.
TEST(ShaderFilesTunnel, NormalStreamHoldingAPointGivesTheSurfaceNormal) {
    for (const char* path : {"shaders/vshader_mojs.vhl", "shaders/vshader_mojs2.vhl"}) {
        const shadercompiler::hlsl::CompileResult r =
            shadercompiler::hlsl::compile(readFile(path), path, "main", "vs_2_0");
        ASSERT_TRUE(r.ok) << r.message;
        struct Case {
            shadercompiler::hlsl::test::Vec4 position;
            shadercompiler::hlsl::test::Vec4 normalStream;
            shadercompiler::hlsl::test::Vec4 expected;
        };
        const shadercompiler::hlsl::test::Vec4 frame{3, -2, 40, 0};
        const Case cases[] = {
            // tunnel: position = frame + 16.8 (cos a, sin a, 0), stream = frame + (-cos a, -sin a, 0), a = 90 degrees
            {{frame[0], frame[1] + 16.8f, frame[2], 1}, {frame[0], frame[1] - 1, frame[2], 1}, {0, -1, 0, 0}},
            // sphere vertex with its true normal, on the unit sphere: position equals normal
            {{0.6f, 0.8f, 0, 1}, {0.6f, 0.8f, 0, 1}, {0.6f, 0.8f, 0, 0}},
        };
        for (const Case& c : cases) {
            shadercompiler::hlsl::test::AsmMachine vm;
            for (std::size_t i = 0; i < 12; ++i) {
                shadercompiler::hlsl::test::Vec4 row{0, 0, 0, 0};
                row[i % 4] = 1;
                vm.reg["c" + std::to_string(i)] = row; // identity transforms in c0-c11
            }
            vm.reg["c12"] = {0, 0, 0, 0};
            vm.reg["c13"] = {1, 0, 1, 1};
            vm.reg["v0"] = c.position;
            vm.reg["v1"] = c.normalStream;
            vm.reg["v2"] = {0.5f, 0.25f, 0, 1};
            vm.run(r.assembly);
            const shadercompiler::hlsl::test::Vec4& n = vm.reg["oT1"];
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_NEAR(n[k], c.expected[k], 1e-4f) << path << " lane " << k;
                EXPECT_TRUE(std::isfinite(n[k]));
            }
        }
    }
}

} // namespace
