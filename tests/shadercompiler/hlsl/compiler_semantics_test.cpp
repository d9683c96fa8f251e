// What compiled programs compute, run on the CPU by the assembly
// interpreter and held against the formulas of HLSL's operations.
#include "shadercompiler/hlsl/compiler.h"
#include "tests/shadercompiler/hlsl/asm_machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <sstream>

namespace {

using shadercompiler::hlsl::test::AsmMachine;
using shadercompiler::hlsl::test::Vec4;

std::string compileOk(const std::string& source, const char* profile) {
    const shadercompiler::hlsl::CompileResult r = shadercompiler::hlsl::compile(source, "t.hlsl", "main", profile);
    EXPECT_TRUE(r.ok) << r.message;
    return r.assembly;
}

void expectVec(const Vec4& got, const Vec4& want, int lanes, const std::string& what) {
    for (int k = 0; k < lanes; ++k) {
        const float w = want[static_cast<std::size_t>(k)];
        EXPECT_NEAR(got[static_cast<std::size_t>(k)], w, 1e-4f * std::max(1.0f, std::fabs(w))) << what << " lane " << k;
    }
}

// A machine that has run `text` from the given registers.
AsmMachine runWith(const std::string& text, std::map<std::string, Vec4> registers) {
    AsmMachine vm;
    vm.reg = std::move(registers);
    vm.run(text);
    return vm;
}

std::vector<std::string> instructionLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.rfind("def", 0) != 0 && line.rfind("dcl", 0) != 0 && line.rfind("vs_", 0) != 0 &&
            line.rfind("ps_", 0) != 0) {
            out.push_back(line);
        }
    }
    return out;
}

struct SourceOperand {
    std::string reg;     // "c4", "v0", "r1"
    std::string swizzle; // "", ".x", ".yzxw"
};

// The source operands of an instruction line ("mad r0, -v0.y, c1, r0").
std::vector<SourceOperand> sourcesOf(const std::string& line) {
    std::vector<SourceOperand> out;
    std::stringstream rest(line.substr(line.find(',') + 1));
    for (std::string part; std::getline(rest, part, ',');) {
        const auto start = part.find_first_not_of(" -");
        const auto dot = part.find('.', start); // npos - start still reaches the end
        out.push_back({part.substr(start, dot - start), dot == std::string::npos ? "" : part.substr(dot)});
    }
    return out;
}

// vs_2_0 reads at most one distinct constant and one distinct input register
// per instruction.
void expectVertexReadPorts(const std::string& text) {
    for (const std::string& line : instructionLines(text)) {
        std::map<char, std::set<std::string>> read; // by register file: 'c', 'v', 'r'
        for (const SourceOperand& o : sourcesOf(line)) {
            read[o.reg[0]].insert(o.reg);
        }
        EXPECT_LE(read['c'].size(), 1u) << line;
        EXPECT_LE(read['v'].size(), 1u) << line;
    }
}

const Vec4 kP{0.5f, -1.25f, 2.0f, 0.75f};
const Vec4 kQ{1.5f, 0.25f, 3.0f, 4.0f};
const Vec4 kN{0.3f, -0.4f, 1.2f, 1.0f};

TEST(CompiledCode, MatrixProductsFollowThePacking) {
    const std::string text = compileOk(R"(
        row_major float4x4 R : register(c0);
        float4x4 C : register(c4);
        row_major float3x3 N : register(c8);
        struct O { float4 pos : POSITION; float4 a : TEXCOORD0; float4 b : TEXCOORD1;
                   float3 n : TEXCOORD2; float4 d : TEXCOORD3; };
        O main(float4 p : POSITION, float3 n : NORMAL) {
            O o;
            o.pos = mul(p, R);
            o.a = mul(p, C);
            o.b = mul(R, p);
            o.n = mul(n, N);
            o.d = mul(C, p);
            return o;
        })",
                                       "vs_2_0");
    expectVertexReadPorts(text);
    std::array<Vec4, 4> m{};
    AsmMachine vm;
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = 0; j < 4; ++j) {
            m[i][j] = static_cast<float>(i * 4 + j + 1) * (j % 2 == 0 ? 1.0f : -0.5f);
        }
        vm.reg["c" + std::to_string(i)] = m[i];     // R: register i is row i
        vm.reg["c" + std::to_string(4 + i)] = m[i]; // C: register 4+i is column i, so C = transpose(m)
        if (i < 3) {
            vm.reg["c" + std::to_string(8 + i)] = m[i];
        }
    }
    vm.reg["v0"] = kP;
    vm.reg["v1"] = kN;
    vm.run(text);
    Vec4 pR{}, pC{}, Rp{}, Cp{}, nN{};
    for (std::size_t j = 0; j < 4; ++j) {
        for (std::size_t i = 0; i < 4; ++i) {
            pR[j] += kP[i] * m[i][j];
            pC[j] += kP[i] * m[j][i];
            Rp[j] += m[j][i] * kP[i];
            Cp[j] += m[i][j] * kP[i];
            if (i < 3 && j < 3) {
                nN[j] += kN[i] * m[i][j];
            }
        }
    }
    expectVec(vm.reg["oPos"], pR, 4, "mul(p, row_major)");
    expectVec(vm.reg["oT0"], pC, 4, "mul(p, column_major)");
    expectVec(vm.reg["oT1"], Rp, 4, "mul(row_major, p)");
    expectVec(vm.reg["oT2"], nN, 3, "mul(float3, row_major float3x3)");
    expectVec(vm.reg["oT3"], Cp, 4, "mul(column_major, p)");
}

TEST(CompiledCode, ArithmeticBroadcastMasksAndCompoundAssignment) {
    const std::string text = compileOk(R"(
        float4 k : register(c0);
        float4 main(float4 p : POSITION, float4 q : NORMAL) : POSITION {
            float4 a = p * 2 + q.x - k / 4;
            float4 b = -a * (q - 1) / q.y;
            b += 3;
            b.yx = a.xy * 0.5;
            b.w *= (2 * 3 - 1);
            b.z = q.z - p.x * a.w;
            return b;
        })",
                                       "vs_2_0");
    expectVertexReadPorts(text);
    const Vec4 k{0.4f, -8.0f, 1.0f, 12.0f};
    AsmMachine vm = runWith(text, {{"c0", k}, {"v0", kP}, {"v1", kQ}});
    Vec4 a{}, b{};
    for (std::size_t i = 0; i < 4; ++i) {
        a[i] = kP[i] * 2 + kQ[0] - k[i] / 4;
        b[i] = -a[i] * (kQ[i] - 1) / kQ[1] + 3;
    }
    b[1] = a[0] * 0.5f;
    b[0] = a[1] * 0.5f;
    b[3] *= 5;
    b[2] = kQ[2] - kP[0] * a[3];
    expectVec(vm.reg["oPos"], b, 4, "b");
}

TEST(CompiledCode, Intrinsics) {
    const std::string text = compileOk(R"(
        struct O { float4 pos : POSITION; float4 t0 : TEXCOORD0; float4 t1 : TEXCOORD1; float4 t2 : TEXCOORD2;
                   float4 t3 : TEXCOORD3; float4 t4 : TEXCOORD4; float4 t5 : TEXCOORD5; };
        O main(float4 p : POSITION, float3 n : NORMAL, float4 q : TEXCOORD0) {
            O o;
            o.pos = p;
            o.t0 = float4(dot(p, q), dot(n, q.xyz), length(n), length(q.xy));
            o.t1 = float4(normalize(n), rsqrt(q.w));
            o.t2 = float4(reflect(n, normalize(q.xyz)), sqrt(q.z));
            o.t3 = lerp(p, q, 0.25);
            o.t4 = float4(pow(q.xy, 2.5), min(p.z, q.y), max(p.w, q.w));
            o.t5 = saturate(p) + abs(q.wzyx) + frac(p * 1.5);
            return o;
        })",
                                       "vs_2_0");
    expectVertexReadPorts(text);
    AsmMachine vm = runWith(text, {{"v0", kP}, {"v1", kN}, {"v2", kQ}});
    auto dot3 = [](const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const float nLen = std::sqrt(dot3(kN, kN));
    expectVec(vm.reg["oT0"], {dot3(kP, kQ) + kP[3] * kQ[3], dot3(kN, kQ), nLen, std::hypot(kQ[0], kQ[1])}, 4,
              "dot, length");
    expectVec(vm.reg["oT1"], {kN[0] / nLen, kN[1] / nLen, kN[2] / nLen, 1 / std::sqrt(kQ[3])}, 4, "normalize, rsqrt");
    const float qLen = std::sqrt(dot3(kQ, kQ));
    const Vec4 u{kQ[0] / qLen, kQ[1] / qLen, kQ[2] / qLen, 0};
    const float d = dot3(u, kN);
    expectVec(vm.reg["oT2"], {kN[0] - 2 * d * u[0], kN[1] - 2 * d * u[1], kN[2] - 2 * d * u[2], std::sqrt(kQ[2])}, 4,
              "reflect, sqrt");
    Vec4 l{}, s{};
    for (std::size_t i = 0; i < 4; ++i) {
        l[i] = kP[i] + (kQ[i] - kP[i]) * 0.25f;
        const float f = kP[i] * 1.5f;
        s[i] = std::clamp(kP[i], 0.0f, 1.0f) + std::fabs(kQ[3 - i]) + (f - std::floor(f));
    }
    expectVec(vm.reg["oT3"], l, 4, "lerp");
    expectVec(vm.reg["oT4"],
              {std::pow(kQ[0], 2.5f), std::pow(kQ[1], 2.5f), std::min(kP[2], kQ[1]), std::max(kP[3], kQ[3])}, 4,
              "pow, min, max");
    expectVec(vm.reg["oT5"], s, 4, "saturate, abs, frac");
}

// ps_2_0 takes only the identity, replicate, .yzxw, .zxyw and .wzyx source
// swizzles; other orders must be built with moves.
TEST(CompiledCode, PixelSwizzlesStayWithinTheProfile) {
    const std::string text = compileOk(R"(
        sampler s : register(s0);
        float4 main(float4 c : COLOR0, float2 uv : TEXCOORD0, float4 w : TEXCOORD1) : COLOR {
            float4 t = tex2D(s, uv.yx * 2);
            return float4(t.zx, w.wy) + c.ywxz;
        })",
                                       "ps_2_0");
    const std::set<std::string> legal = {"", ".x", ".y", ".z", ".w", ".yzxw", ".zxyw", ".wzyx"};
    for (const std::string& line : instructionLines(text)) {
        for (const SourceOperand& o : sourcesOf(line)) {
            EXPECT_EQ(legal.count(o.swizzle), 1u) << line;
        }
    }
    AsmMachine pm;
    pm.reg["v0"] = {0.1f, 0.2f, 0.3f, 0.4f};
    pm.reg["t0"] = {0.25f, 0.75f, 0, 0};
    pm.reg["t1"] = {5, 6, 7, 8};
    pm.sample = [](const Vec4& c) { return Vec4{c[0], c[1], c[0] + 10 * c[1], 1}; };
    pm.run(text);
    // uv.yx * 2 = (1.5, 0.5): texel (1.5, 0.5, 6.5, 1)
    expectVec(pm.reg["oC0"], {6.5f + 0.2f, 1.5f + 0.4f, 8 + 0.1f, 6 + 0.3f}, 4, "colour");
}

TEST(CompiledCode, HelpersParameterWritesZeroInitAndStaticConstants) {
    const std::string text = compileOk(R"(
        static const float scale = 0.5;
        struct O { float4 pos : POSITION; float4 c : COLOR0; float4 t : TEXCOORD0; };
        float4 twice(float4 x) { x = x * 2; return x; }
        O main(float4 p : POSITION) {
            O o = (O)0;
            o.pos = twice(p);
            p.x = 7;
            o.t = p * scale;
            return o;
        })",
                                       "vs_2_0");
    AsmMachine vm = runWith(text, {{"v0", kP}});
    expectVec(vm.reg["oPos"], {2 * kP[0], 2 * kP[1], 2 * kP[2], 2 * kP[3]}, 4, "helper");
    expectVec(vm.reg["oT0"], {3.5f, kP[1] / 2, kP[2] / 2, kP[3] / 2}, 4, "written parameter");
    expectVec(vm.reg["oD0"], {0, 0, 0, 0}, 4, "zero-filled field");
}

TEST(CompiledCode, OutParametersAndNarrowColourOutputs) {
    const std::string text = compileOk(R"(
        void main(float4 c : COLOR0, float3 t : TEXCOORD0, out float4 o : COLOR0, out float3 o1 : COLOR1) {
            o = c.wzyx;
            o1 = t;
        })",
                                       "ps_2_0");
    AsmMachine pm = runWith(text, {{"v0", {0.1f, 0.2f, 0.3f, 0.4f}}, {"t0", {0.5f, 0.6f, 0.7f, 0.8f}}});
    expectVec(pm.reg["oC0"], {0.4f, 0.3f, 0.2f, 0.1f}, 4, "oC0");
    // Colour outputs are written whole: a float3 gets alpha 1.
    expectVec(pm.reg["oC1"], {0.5f, 0.6f, 0.7f, 1.0f}, 4, "oC1");
}

// Thirteen values alive at once need thirteen registers; vs_2_0 and ps_2_0
// have twelve. Twelve fit.
std::string manyLiveValues(int count) {
    std::string s = "float4 main(float4 p : POSITION, float4 q : NORMAL) : POSITION {\n";
    for (int i = 0; i < count; ++i) {
        s += "  float4 a" + std::to_string(i) + " = p * q.x + " + std::to_string(i + 1) + ";\n";
    }
    s += "  return a0";
    for (int i = 1; i < count; ++i) {
        s += " * a" + std::to_string(i);
    }
    return s + ";\n}\n";
}

TEST(CompiledCode, TwelveLiveValuesShareTheRegistersCorrectlyThirteenDoNotFit) {
    const shadercompiler::hlsl::CompileResult r =
        shadercompiler::hlsl::compile(manyLiveValues(12), "t.hlsl", "main", "vs_2_0");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.temporaries, 12);
    AsmMachine vm = runWith(r.assembly, {{"v0", {0.5f, -0.25f, 0.125f, 1.0f}}, {"v1", {0.5f, 0, 0, 0}}});
    Vec4 want{1, 1, 1, 1};
    for (int i = 0; i < 12; ++i) {
        for (std::size_t k = 0; k < 4; ++k) {
            want[k] *= vm.reg["v0"][k] * 0.5f + static_cast<float>(i + 1);
        }
    }
    expectVec(vm.reg["oPos"], want, 4, "product");
    const shadercompiler::hlsl::CompileResult thirteen =
        shadercompiler::hlsl::compile(manyLiveValues(13), "t.vhl", "main", "vs_2_0");
    ASSERT_FALSE(thirteen.ok);
    EXPECT_NE(thirteen.message.find("too many temporaries"), std::string::npos) << thirteen.message;
    EXPECT_GT(thirteen.errorLine, 1);
}

} // namespace
