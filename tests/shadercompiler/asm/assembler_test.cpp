// Token values below are worked out by hand from the published token layout
// (version, instruction, destination and source parameter tokens), not taken
// from the assembler's own tables.
#include "shadercompiler/asm/assembler.h"
#include "shadercompiler/asm/disassembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using shadercompiler::assembler::Token;

namespace {

std::vector<Token> assembleOk(const std::string& text) {
    std::vector<Token> tokens;
    std::string error;
    EXPECT_TRUE(shadercompiler::assembler::assemble(text, tokens, error)) << error;
    return tokens;
}

std::string disassembleOk(const std::vector<Token>& tokens) {
    std::string text;
    std::string error;
    EXPECT_TRUE(shadercompiler::assembler::disassemble(tokens.data(), tokens.size(), text, error)) << error;
    return text;
}

std::string assembleError(const std::string& text) {
    std::vector<Token> tokens;
    std::string error;
    EXPECT_FALSE(shadercompiler::assembler::assemble(text, tokens, error)) << text;
    return error;
}

TEST(Assembler, VertexModel2DeclarationAndMatrix) {
    const std::vector<Token> expected = {
        0xFFFE0200u, 0x0200001Fu, 0x80000000u, 0x900F0000u, // dcl_position v0
        0x0200001Fu, 0x80010005u, 0x900F0002u,              // dcl_texcoord1 v2: usage 5, index 1
        0x03000014u, 0xC00F0000u, 0x90E40000u, 0xA0E40000u, // m4x4 oPos, v0, c0
        0x02000001u, 0xE0030000u, 0x90E40002u,              // mov oT0.xy, v2 (type 6)
        0x0000FFFFu,
    };
    EXPECT_EQ(
        assembleOk("vs_2_0\ndcl_position v0   // position\ndcl_texcoord1 v2\nm4x4 oPos, v0, c0\nmov oT0.xy, v2\n"),
        expected);
}

TEST(Assembler, PixelModel2SamplerAndColourOutput) {
    const std::vector<Token> expected = {
        0xFFFF0200u, 0x0200001Fu, 0x80000000u, 0xB0030000u, // dcl t0.xy
        0x0200001Fu, 0x90000000u, 0xA00F0800u,              // dcl_2d s0: type 2 at bit 27; sampler type 10
        0x03000042u, 0x800F0000u, 0xB0E40000u, 0xA0E40800u, // texld r0, t0, s0
        0x02000001u, 0x800F0800u, 0x80E40000u,              // mov oC0, r0: colour out is type 8
        0x0000FFFFu,
    };
    EXPECT_EQ(assembleOk("ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n"), expected);
}

TEST(Assembler, PixelModel1ShiftsCoIssueAndComplement) {
    const std::vector<Token> expected = {
        0xFFFF0103u, 0x00000042u, 0xB00F0000u,              // tex t0: no length field in 1.x
        0x00000005u, 0x81070000u, 0xB0E40000u, 0x90E40000u, // shift +1 in bits 27:24
        0x40000001u, 0x8F080000u, 0xB6E40000u,              // co-issue bit 30; shift -1 = 0xF; complement 6
        0x00000004u, 0x801F0001u, 0xB4E40000u, 0x93E40001u, 0xA0E40007u, // _sat = 1 at bit 20; bx2 4; -bias 3
        0x0000FFFFu,
    };
    EXPECT_EQ(
        assembleOk("ps_1_3\ntex t0\nmul_x2 r0.rgb, t0, v0\n+mov_d2 r0.a, 1-t0\nmad_sat r1, t0_bx2, -v1_bias, c7\n"),
        expected);
}

TEST(Assembler, SwizzlesRepeatTheLastLetterAndNegate) {
    const std::vector<Token> expected = {
        0xFFFE0101u, 0x00000002u, 0x800F0000u, 0xA1000001u, 0x80090001u, // .x -> xxxx (0x00); .yzx -> yzxx (0x09)
        0x00000001u, 0x80090002u, 0x901B0000u,                           // mask xw = 0x9; wzyx = 3,2,1,0 -> 0x1B
        0x0000FFFFu,
    };
    EXPECT_EQ(assembleOk("vs_1_1\nadd r0, -c1.x, r1.yzx\nmov r2.xw, v0.wzyx\n"), expected);
}

TEST(Assembler, DefinitionsCarryIeeeFloats) {
    EXPECT_EQ(assembleOk("vs_1_1\ndef c0, 1, 0, 0.5, -2\n"),
              (std::vector<Token>{0xFFFE0101u, 0x00000051u, 0xA00F0000u, 0x3F800000u, 0x00000000u, 0x3F000000u,
                                  0xC0000000u, 0x0000FFFFu}));
    EXPECT_EQ(assembleOk("ps_2_0\ndef c3, 0.25, 1.5, 0, 1\n"),
              (std::vector<Token>{0xFFFF0200u, 0x05000051u, 0xA00F0003u, 0x3E800000u, 0x3FC00000u, 0x00000000u,
                                  0x3F800000u, 0x0000FFFFu}));
}

TEST(Assembler, RefusesWhatTheModelLacks) {
    struct Case {
        const char* text;
        const char* expectedFragment;
    };
    const Case cases[] = {
        {"vs_2_0\nfoo r0, r1\n", "line 2: unknown instruction"},
        {"vs_1_1\nnrm r0, r1\n", "not available in this shader model"},
        {"ps_1_3\ntexld r0, t0, s0\n", "unknown instruction"},
        {"vs_2_0\nmov r0, t0\n", "does not exist"},
        {"ps_2_0\nmov r0, a0\n", "does not exist"},
        {"vs_2_0\nadd r0, r1\n", "takes 3 operands"},
        {"vs_2_0\nmov r0.yx, r1\n", "bad write mask"},
        {"vs_2_0\nmov r0, r1.xq\n", "bad swizzle"},
        {"vs_2_0\n+mov r0, r1\n", "co-issue"},
        {"vs_2_0\nmul_x2 r0, r1, r2\n", "exists only in pixel models 1.x"},
        {"mov r0, r1\n", "expected a shader version"},
        {"vs_3_0\nmov r0, r1\n", "unsupported shader version"},
        {"// nothing\n", "no shader version"},
        {"vs_2_0\ndcl_bogus v0\n", "unknown declaration usage"},
        {"ps_1_3\ndcl_2d s0\n", "needs ps_2_0"},
        {"vs_2_0\ndef c0, 1, 2, x, 4\n", "bad number"},
        {"vs_2_0\nmov r0, r1_foo\n", "unknown source modifier"},
    };
    for (const auto& c : cases) {
        std::string error = assembleError(c.text);
        EXPECT_NE(error.find(c.expectedFragment), std::string::npos) << c.text << " -> " << error;
    }
}

// A program of each model goes to tokens, to text and back to the same tokens.
TEST(Disassembler, RoundTripsEveryModel) {
    const char* programs[] = {
        "vs_1_1\ndcl_position v0\ndcl_normal v1\ndcl_texcoord v2\ndef c20, 0.5, 2, 0, 1\n"
        "m4x4 oPos, v0, c0\nm3x3 r1.xyz, v1, c8\ndp3 r2.w, r1, r1\nrsq r2.w, r2.w\n"
        "mul r1.xyz, r1, r2.w\nmad oD1, r1, c20.x, c20.x\nmul oT0.xy, v2, c20.y\nmov oD0, c13\n"
        "sge r3, v0.wzyx, -c1.y\nexpp r4, r3.x\n",
        "vs_2_0\ndcl_position v0\ndcl_texcoord0 v3\ndcl_color1 v4\nmova a0.x, v3.x\nnrm r0.xyz, v4\n"
        "pow r1.x, r0.x, c2.y\nlrp r2, v4, c0, c1\nsincos r3.xy, r1.x, c4, c5\nabs r4, -v0\nm4x3 oT1.xyz, v0, c4\n"
        "frc r5, v0\nmin r6, r5, c0\nmax r7, r6, c1\nmov oPos, v0\n",
        "ps_1_3\ndef c0, 0, 0.1, 0.1, 1\ntex t0\ntexcoord t1\nmul r0, t0, v0\n+add_d2 r0.a, t0.a, v1.b\n"
        "dp3_x4_sat r1, t1_bx2, v1_bx2\nlrp r0.rgb, 1-r1, c0, r0\ncnd r0, r0.a, r1, -c0\n",
        "ps_2_0\ndcl t0.xy\ndcl t1\ndcl v0\ndcl_2d s0\ntexld r0, t0, s0\ndp4 r1.x, t1, t1\n"
        "add r1.x, -r1.x, c1.x\nmul_pp r1.x, r1.x, r1.x\ncmp r2, -r1, c0, v0\ndp2add r3.x, t0, c2, c2.w\n"
        "texkill t1\nrcp r4.y, r1.x\nlog r5.x, r4_abs.y\nmov_sat oC0, r0\n",
    };
    for (const char* text : programs) {
        const std::vector<Token> first = assembleOk(text);
        const std::string printed = disassembleOk(first);
        EXPECT_EQ(assembleOk(printed), first) << printed;
    }
}

TEST(Disassembler, PrintsThePlatformSyntax) {
    EXPECT_EQ(disassembleOk({0xFFFF0103u, 0x00000042u, 0xB00F0000u, 0x00000005u, 0x81070000u, 0xB0E40000u, 0x90E40000u,
                             0x40000001u, 0x8F080000u, 0xB6E40000u, 0x0000FFFFu}),
              "ps_1_3\ntex t0\nmul_x2 r0.xyz, t0, v0\n+mov_d2 r0.w, 1-t0\n");
}

TEST(Decoder, RefusesMalformedCode) {
    struct Case {
        std::vector<Token> tokens;
        const char* fragment;
    };
    const Case cases[] = {
        {{0xFFFE0200u, 0x02000001u, 0x800F0000u, 0x80E40001u}, "without the end token"},
        {{0xFFFE0200u, 0x03000001u, 0x800F0000u, 0x80E40001u, 0x80E40001u, 0x0000FFFFu}, "length"},
        {{0xFFFE0101u, 0x00000001u, 0x800F0000u, 0xA0E42001u, 0x0000FFFFu}, "relative addressing"},
        {{0xFFFE0300u, 0x0000FFFFu}, "unsupported shader version"},
        {{0xFFFE0200u, 0x0100005Bu, 0x800F0000u, 0x0000FFFFu}, "not supported"},
        {{0xFFFF0200u, 0x02000001u, 0x800F0000u}, "ends inside"},
        {{0xFFFF0200u, 0x03010042u, 0x800F0000u, 0xB0E40000u, 0xA0E40800u, 0x0000FFFFu}, "controls"},
    };
    for (const auto& c : cases) {
        shadercompiler::assembler::Program program;
        std::string error;
        EXPECT_FALSE(shadercompiler::assembler::decode(c.tokens.data(), c.tokens.size(), program, error)) << c.fragment;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << error;
    }
}

TEST(Decoder, SkipsComments) {
    // A two-DWORD comment between the version and the first instruction.
    EXPECT_EQ(disassembleOk({0xFFFE0200u, 0x0002FFFEu, 0x12345678u, 0x9ABCDEF0u, 0x02000001u, 0xC00F0000u, 0x90E40000u,
                             0x0000FFFFu}),
              "vs_2_0\nmov oPos, v0\n");
}

} // namespace
