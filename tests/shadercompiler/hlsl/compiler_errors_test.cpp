#include "shadercompiler/hlsl/compiler.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct ErrorCase {
    const char* name;
    const char* source;
    const char* profile;
    int line;
    int column;
    const char* says;
};

constexpr const char* kVertexHeader = "float4x4 wvp : register(c0);\n";

const ErrorCase kCases[] = {
    {"MissingSemicolon", "float4 main(float4 p : POSITION) : POSITION {\n  float4 a = p\n  return a;\n}\n", "vs_2_0", 3,
     3, "expected ';'"},
    {"UndeclaredName", "float4 main(float4 p : POSITION) : POSITION {\n  return q;\n}\n", "vs_2_0", 2, 10,
     "undeclared identifier 'q'"},
    {"NarrowToWide", "float4 main(float2 p : POSITION) : POSITION {\n  float4 a = p;\n  return a;\n}\n", "vs_2_0", 2,
     14, "cannot convert from 'float2' to 'float4'"},
    {"UnknownFunction", "float4 main(float4 p : POSITION) : POSITION {\n  return smoothstep(p);\n}\n", "vs_2_0", 2, 10,
     "unknown function 'smoothstep'"},
    {"Branch", "float4 main(float4 p : POSITION) : POSITION {\n  if (p.x) p = 0;\n  return p;\n}\n", "vs_2_0", 2, 3,
     "'if' statements are not supported"},
    {"UseBeforeInit", "float4 main(float4 p : POSITION) : POSITION {\n  float4 a;\n  a.xy = p.xy;\n  return a;\n}\n",
     "vs_2_0", 4, 10, "'a' is used before it is completely initialised"},
    {"NoPosition", "float4 main(float4 p : POSITION) : COLOR0 {\n  return p;\n}\n", "vs_2_0", 1, 8,
     "must write POSITION"},
    {"TextureInVertexProgram",
     "sampler s : register(s0);\nfloat4 main(float4 p : POSITION) : POSITION {\n  return tex2D(s, p.xy);\n}\n",
     "vs_2_0", 3, 10, "tex2D is not available in vs_2_0"},
    {"RegisterKind", "float4 k : register(s1);\nfloat4 main(float4 p : POSITION) : POSITION {\n  return p * k;\n}\n",
     "vs_2_0", 1, 21, "does not fit a float4"},
    {"OverlappingRegisters",
     "float4x4 m : register(c0);\nfloat4 k : register(c2);\nfloat4 main(float4 p : POSITION) : POSITION {\n  return "
     "mul(p, m) + k;\n}\n",
     "vs_2_0", 2, 21, "overlaps"},
    {"BadSwizzle", "float4 main(float2 p : POSITION) : POSITION {\n  return p.xyzw;\n}\n", "vs_2_0", 2, 11,
     "reads past the end"},
    {"RepeatedWriteMask",
     "float4 main(float4 p : POSITION) : POSITION {\n  float4 a = p;\n  a.xx = p.xy;\n  return a;\n}\n", "vs_2_0", 3, 4,
     "invalid write mask"},
    {"AssignToUniform",
     "float4 k : register(c1);\nfloat4 main(float4 p : POSITION) : POSITION {\n  k = p;\n  return p;\n}\n", "vs_2_0", 3,
     3, "cannot be assigned"},
    {"DivisionByZeroConstant", "float4 main(float4 p : POSITION) : POSITION {\n  return p / 0;\n}\n", "vs_2_0", 2, 12,
     "not a finite number"},
    {"UnterminatedComment", "/* open\nfloat4 main() : POSITION { return 0; }\n", "vs_2_0", 1, 1,
     "unterminated comment"},
    {"Preprocessor", "float4 k;\n#define X 1\n", "vs_2_0", 2, 1, "preprocessor"},
    {"PixelPositionInput", "float4 main(float4 p : POSITION) : COLOR {\n  return p;\n}\n", "ps_2_0", 1, 13,
     "not a pixel input semantic"},
    {"CodeAfterReturn", "float4 main(float4 p : POSITION) : POSITION {\n  return p;\n  p = 1;\n}\n", "vs_2_0", 2, 3,
     "last statement"},
    {"Indexing", "float4x4 a : register(c0);\nfloat4 main(float4 p : POSITION) : POSITION {\n  return a[0];\n}\n",
     "vs_2_0", 3, 11, "indexing is not supported"},
    {"MatrixTimesMatrix",
     "float4x4 a : register(c0);\nfloat4x4 b : register(c4);\nfloat4 main(float4 p : POSITION) : POSITION {\n  return "
     "mul(a, b);\n}\n",
     "vs_2_0", 4, 10, "matrix by matrix"},
};

class CompileErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrors, ReportFileLineColumnAndCause) {
    const ErrorCase& c = GetParam();
    const shadercompiler::hlsl::CompileResult r =
        shadercompiler::hlsl::compile(c.source, "shaders/test.vhl", "main", c.profile);
    ASSERT_FALSE(r.ok) << r.assembly;
    EXPECT_EQ(r.errorLine, c.line) << r.message;
    EXPECT_EQ(r.errorColumn, c.column) << r.message;
    const std::string where =
        "shaders/test.vhl(" + std::to_string(c.line) + "," + std::to_string(c.column) + "): error: ";
    EXPECT_EQ(r.message.rfind(where, 0), 0u) << r.message;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
    EXPECT_TRUE(r.assembly.empty());
}

INSTANTIATE_TEST_SUITE_P(Hlsl, CompileErrors, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ErrorCase>& p) { return std::string(p.param.name); });

TEST(CompileFailures, UnknownEntryAndProfileHaveNoSourcePlace) {
    const char* ok = "float4 main(float4 p : POSITION) : POSITION { return p; }";
    ASSERT_TRUE(shadercompiler::hlsl::compile(ok, "a.vhl", "main", "vs_2_0").ok);

    const shadercompiler::hlsl::CompileResult entry = shadercompiler::hlsl::compile(ok, "a.vhl", "vsmain", "vs_2_0");
    EXPECT_FALSE(entry.ok);
    EXPECT_EQ(entry.message, "a.vhl: error: entry point 'vsmain' not found");
    EXPECT_EQ(entry.errorLine, 0);

    for (const char* profile : {"vs_3_0", "ps_1_4", "vs_1_1", ""}) {
        const shadercompiler::hlsl::CompileResult p = shadercompiler::hlsl::compile(ok, "a.vhl", "main", profile);
        EXPECT_FALSE(p.ok) << profile;
        EXPECT_NE(p.message.find("unsupported profile"), std::string::npos) << p.message;
    }
}

// Nesting that would exhaust the stack of the parser, the code generator or
// the tree's destruction is refused with its place; 256 levels still compile.
TEST(CompileFailures, DeepNestingIsRefusedNotOverflowed) {
    const auto shader = [](const std::string& body) {
        return "float4 main(float4 p : POSITION) : POSITION {\n" + body + "\n}\n";
    };
    const auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            out += s;
        }
        return out;
    };
    const struct {
        const char* what;
        std::function<std::string(int)> source;
    } shapes[] = {
        {"parentheses", [&](int n) { return shader("return " + repeat("(", n) + "p" + repeat(")", n) + ";"); }},
        {"signs", [&](int n) { return shader("return " + repeat("- ", n) + "p;"); }},
        {"calls", [&](int n) { return shader("return " + repeat("abs(", n) + "p" + repeat(")", n) + ";"); }},
        {"blocks",
         [&](int n) { return shader("float4 a = p;" + repeat("{", n) + "a = p;" + repeat("}", n) + "return a;"); }},
        {"sums", [&](int n) { return shader("return p" + repeat(" + p", n) + ";"); }},
        {"swizzles", [&](int n) { return shader("return p" + repeat(".xyzw", n) + ";"); }},
    };
    for (const auto& shape : shapes) {
        const shadercompiler::hlsl::CompileResult deep =
            shadercompiler::hlsl::compile(shape.source(100000), "n.vhl", "main", "vs_2_0");
        EXPECT_FALSE(deep.ok) << shape.what;
        EXPECT_NE(deep.message.find("deeper than 256 levels is not supported"), std::string::npos) << deep.message;
        EXPECT_EQ(deep.errorLine, 2) << shape.what;
        const shadercompiler::hlsl::CompileResult edge =
            shadercompiler::hlsl::compile(shape.source(200), "n.vhl", "main", "vs_2_0");
        EXPECT_EQ(edge.message.find("deeper"), std::string::npos) << shape.what << ": " << edge.message;
    }
}

TEST(CompileFailures, PixelArithmeticSlotLimit) {
    // Each pow is three slots: 22 of them need 66 of ps_2_0's 64.
    std::string s = "float4 main(float4 c : COLOR0) : COLOR {\n  float4 a = c;\n";
    for (int i = 0; i < 22; ++i) {
        s += "  a.x = pow(a.x, c.y);\n";
    }
    s += "  return a;\n}\n";
    const shadercompiler::hlsl::CompileResult r = shadercompiler::hlsl::compile(s, "p.phl", "main", "ps_2_0");
    ASSERT_FALSE(r.ok);
    EXPECT_NE(r.message.find("64"), std::string::npos) << r.message;
}

} // namespace
