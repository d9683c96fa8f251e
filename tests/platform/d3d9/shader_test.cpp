// Shaders from token code (assembled from text here) against the same
// drawing by the fixed-function pipeline, and instruction results against
// values computed by hand.
#include "tests/platform/d3d9/harness.h"

#include "shadercompiler/asm/assembler.h"

#include <cmath>

namespace platform::d3d9::test {
namespace {

std::vector<DWORD> tokens(const char* text) {
    std::vector<shadercompiler::assembler::Token> t;
    std::string error;
    EXPECT_TRUE(shadercompiler::assembler::assemble(text, t, error)) << error;
    return {t.begin(), t.end()};
}

struct MeshVertex {
    float x, y, z;
    D3DCOLOR colour;
    float u, v;
};

// A square in the z = 0 plane, a colour and a texture corner at each vertex.
const MeshVertex kSquare[4] = {{-1, -1, 0, 0xFFFFFFFFu, 0, 1},
                               {-1, 1, 0, 0xFFFF8040u, 0, 0},
                               {1, 1, 0, 0xFF40FF80u, 1, 0},
                               {1, -1, 0, 0xFF8080FFu, 1, 1}};

D3DCOLOR checker(UINT x, UINT y) {
    return ((x / 4 + y / 4) % 2) != 0 ? 0xFFFFE080u : 0xFF3060C0u;
}

class Shaders : public DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        texture = makeTexture(16, 16, checker);
        // A perspective view of a tilted square.
        const float c = std::cos(0.6f);
        const float s = std::sin(0.6f);
        D3DMATRIX world{{{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}, {0, 0, 2.5f, 1}}};
        const float f = 1.0f / std::tan(0.5f);
        D3DMATRIX proj{{{f, 0, 0, 0}, {0, f, 0, 0}, {0, 0, 10.0f / 9.9f, 1}, {0, 0, -1.0f / 9.9f, 0}}};
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTransform(D3DTS_PROJECTION, &proj);
        // c0..c3 = the transpose of world x view x projection (the view is
        // the identity), so that dp4 with c0..c3 gives the row-vector product.
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                for (int k = 0; k < 4; ++k) {
                    transposed[j][i] += world.m[i][k] * proj.m[k][j];
                }
            }
        }
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
            {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
            D3DDECL_END()};
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    }
    void TearDown() override {
        texture->Release();
        declaration->Release();
        DeviceTest::TearDown();
    }

    Picture draw(IDirect3DVertexShader9* vs, IDirect3DPixelShader9* ps, const char* name, bool textured = true) {
        begin();
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetTexture(0, textured ? texture : nullptr);
        device->SetVertexDeclaration(declaration);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        device->SetVertexShaderConstantF(0, &transposed[0][0], 4);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, kSquare, sizeof kSquare[0]), D3D_OK) << name;
        end();
        return readBackBuffer(name);
    }

    static void expectSame(const Picture& a, const Picture& b, const char* what) {
        int worst = 0;
        int covered = 0;
        for (std::size_t i = 0; i < a.pixels.size(); ++i) {
            for (int shift : {0, 8, 16}) {
                worst = std::max(worst, std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                                                 static_cast<int>((b.pixels[i] >> shift) & 0xFF)));
            }
            covered += a.pixels[i] != 0xFF000000u ? 1 : 0;
        }
        EXPECT_LE(worst, 1) << what;
        EXPECT_GT(covered, 1000) << what; // the square fills a good part of the 64 x 64 target
    }

    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    float transposed[4][4] = {};
};

const char* const kVs20 = "vs_2_0\n"
                          "dcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                          "m4x4 oPos, v0, c0\nmov oD0, v1\nmov oT0.xy, v2\n";
const char* const kPs20 = "ps_2_0\n"
                          "dcl t0.xy\ndcl v0\ndcl_2d s0\n"
                          "texld r0, t0, s0\nmul r0, r0, v0\nmov oC0, r0\n";
const char* const kVs11 = "vs_1_1\n"
                          "dcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                          "dp4 oPos.x, v0, c0\ndp4 oPos.y, v0, c1\ndp4 oPos.z, v0, c2\ndp4 oPos.w, v0, c3\n"
                          "mov oD0, v1\nmov oT0, v2\n";
const char* const kPs13 = "ps_1_3\ntex t0\nmul r0, t0, v0\n";

// Texture x vertex colour through a transform: the fixed-function stage 0
// default (MODULATE of TEXTURE and CURRENT) and each shader pairing.
TEST_F(Shaders, TokenCodeDrawsWhatTheFixedFunctionPipelineDraws) {
    Picture reference = draw(nullptr, nullptr, "fixed");
    Ref<IDirect3DVertexShader9> vs20;
    Ref<IDirect3DPixelShader9> ps20;
    Ref<IDirect3DVertexShader9> vs11;
    Ref<IDirect3DPixelShader9> ps13;
    ASSERT_EQ(device->CreateVertexShader(tokens(kVs20).data(), vs20.put()), D3D_OK);
    ASSERT_EQ(device->CreatePixelShader(tokens(kPs20).data(), ps20.put()), D3D_OK);
    ASSERT_EQ(device->CreateVertexShader(tokens(kVs11).data(), vs11.put()), D3D_OK);
    ASSERT_EQ(device->CreatePixelShader(tokens(kPs13).data(), ps13.put()), D3D_OK);
    expectSame(reference, draw(vs20, ps20, "vs20ps20"), "vs_2_0 + ps_2_0");
    expectSame(reference, draw(vs11, ps13, "vs11ps13"), "vs_1_1 + ps_1_3");
    expectSame(reference, draw(vs20, nullptr, "vs20fixed"), "vs_2_0 + fixed pixels");
    expectSame(reference, draw(nullptr, ps20, "fixedps20"), "fixed vertices + ps_2_0");
}

// A scene that makes its shader pair from the same code every frame: after
// the first pair no GL shader is compiled and no program linked, and a pair
// made after the previous one was released still draws the same picture.
TEST_F(Shaders, TheSameCodeMadeAgainSharesItsTranslation) {
    const auto vsCode = tokens(kVs20);
    const auto psCode = tokens(kPs20);
    Picture first;
    platform::d3d9::DeviceCounters settled{};
    IDirect3DVertexShader9* previousVs = nullptr;
    IDirect3DPixelShader9* previousPs = nullptr;
    for (int i = 0; i < 1000; ++i) {
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        ASSERT_EQ(device->CreateVertexShader(vsCode.data(), &vs), D3D_OK);
        ASSERT_EQ(device->CreatePixelShader(psCode.data(), &ps), D3D_OK);
        if (previousVs != nullptr) {
            previousVs->Release();
            previousPs->Release();
        }
        if (i == 0) {
            first = draw(vs, ps, "first");
            settled = platform::d3d9::countersOf(device);
        } else if (i % 100 == 99) {
            expectSame(first, draw(vs, ps, "again"), "a pair made again");
        } else {
            device->SetVertexShader(vs);
            device->SetPixelShader(ps);
        }
        previousVs = vs;
        previousPs = ps;
    }
    const auto after = platform::d3d9::countersOf(device);
    EXPECT_EQ(after.shadersCompiled, settled.shadersCompiled);
    EXPECT_EQ(after.programsBuilt, settled.programsBuilt);
    // Different code still gets its own translation.
    Ref<IDirect3DPixelShader9> other;
    ASSERT_EQ(device->CreatePixelShader(tokens(kPs13).data(), other.put()), D3D_OK);
    EXPECT_EQ(platform::d3d9::countersOf(device).shadersCompiled, settled.shadersCompiled + 1);
    previousVs->Release();
    previousPs->Release();
}

// Every newly linked program gets the current transforms: 32 programs, each
// a pixel shader that samples all eight stages, each drawn once through its
// own world matrix (a new transform serial) into a 4 x 4 cell of the target.
// A cell left black is a program that drew with transforms it was never sent.
TEST_F(Shaders, EveryNewProgramGetsTheTransforms) {
    // The view keeps its default, the identity.
    const D3DMATRIX identity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    device->SetTransform(D3DTS_PROJECTION, &identity);
    begin();
    device->SetTexture(0, texture);
    device->SetVertexDeclaration(declaration);
    for (int cell = 0; cell < 32; ++cell) {
        std::string declarations = "ps_2_0\ndef c0, " + std::to_string(cell / 256.0f) + ", 1, 0, 1\ndcl t0.xy\n";
        std::string samples;
        std::string sums;
        for (const std::string s : {"0", "1", "2", "3", "4", "5", "6", "7"}) {
            declarations += "dcl_2d s" + s + "\n";
            samples += "texld r" + s + ", t0, s" + s + "\n";
            sums += s == "0" ? "" : "add r0, r0, r" + s + "\n";
        }
        const std::string code = declarations + samples + sums + "add r0, r0, c0\nmov oC0, r0\n";
        Ref<IDirect3DPixelShader9> ps;
        ASSERT_EQ(device->CreatePixelShader(tokens(code.c_str()).data(), ps.put()), D3D_OK);
        // The quad's centre on the centre pixel of its cell, one pixel to each side.
        const float half = 2.0f / 64.0f;
        const float x = static_cast<float>(cell % 16 * 4 + 2);
        const float y = static_cast<float>(cell / 16 * 4 + 2);
        const D3DMATRIX world{{{half, 0, 0, 0},
                               {0, half, 0, 0},
                               {0, 0, 1, 0},
                               {(x + 0.5f) / 32.0f - 1.0f, 1.0f - (y + 0.5f) / 32.0f, 0, 1}}};
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetPixelShader(ps);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, kSquare, sizeof kSquare[0]), D3D_OK);
    }
    device->EndScene();
    const Picture picture = readBackBuffer("cells");
    for (UINT cell = 0; cell < 32; ++cell) {
        // Green is 1 plus what the samplers add, so full in every drawn cell.
        EXPECT_EQ(green(picture.at(cell % 16 * 4 + 2, cell / 16 * 4 + 2)), 0xFF) << "cell " << cell;
    }
}

// Direct3D runs no vertex shader on pre-transformed vertices; a bound pixel
// shader still colours them. A quad from (10.5, 20.5) to (30.5, 50.5) covers
// the pixels whose centres (integer coordinates) lie inside it: x 11..30, y 21..50.
TEST_F(Shaders, PreTransformedVerticesSkipTheVertexShader) {
    Ref<IDirect3DVertexShader9> vs;
    Ref<IDirect3DPixelShader9> ps;
    ASSERT_EQ(device->CreateVertexShader(tokens(kVs20).data(), vs.put()), D3D_OK);
    ASSERT_EQ(device->CreatePixelShader(tokens("ps_2_0\ndef c0, 0.0, 1.0, 0.5, 1.0\ndcl v0\n"
                                               "mul r0, v0, c0\nmov oC0, r0\n")
                                            .data(),
                                        ps.put()),
              D3D_OK);
    device->SetVertexShader(vs);
    auto drawWith = [&](IDirect3DPixelShader9* pixel, const char* name) {
        begin();
        device->SetPixelShader(pixel);
        drawQuad(10.5f, 20.5f, 30.5f, 50.5f, 0xFF4080C0u);
        end();
        return readBackBuffer(name);
    };
    const Picture plain = drawWith(nullptr, "vertexShaderBound");
    const Picture shaded = drawWith(ps, "bothBound");
    for (UINT y = 0; y < plain.height; ++y) {
        for (UINT x = 0; x < plain.width; ++x) {
            const bool inside = x >= 11 && x <= 30 && y >= 21 && y <= 50;
            ASSERT_EQ(plain.at(x, y), inside ? 0xFF4080C0u : 0xFF000000u) << x << "," << y;
            // The pixel shader's product: red 0x40 x 0, green 0x80 x 1, blue 0xC0 x 0.5.
            ASSERT_EQ(shaded.at(x, y), inside ? 0xFF008060u : 0xFF000000u) << x << "," << y;
        }
    }
}

// One full-screen output colour per program; the expected values are
// worked out by hand from each instruction's definition.
TEST_F(Shaders, InstructionResults) {
    struct Case {
        const char* ps;
        float r, g, b;
    };
    const Case cases[] = {
        // rcp 1/4; rsq uses |x|: 1/sqrt(4); min/max.
        {"ps_2_0\ndef c0, 4, -4, 0.25, 0.75\nrcp r0.x, c0.x\nrsq r0.y, c0.y\nmax r0.z, c0.z, c0.w\nmov r0.w, c0.w\n"
         "mov oC0, r0\n",
         0.25f, 0.5f, 0.75f},
        // lrp: s0 (s1 - s2) + s2; frc; pow.
        {"ps_2_0\ndef c0, 0.25, 1, 0, 2.5\ndef c1, 0.5, 0.5, 0.5, 0.5\nlrp r0.x, c0.x, c0.y, c0.z\nfrc r0.y, c0.w\n"
         "pow r0.z, c1.x, c0.y\nmov r0.w, c0.y\nmov oC0, r0\n",
         0.25f, 0.5f, 0.5f},
        // nrm of (3, 0, 4) = (0.6, 0, 0.8); negate and swizzle; _sat.
        {"ps_2_0\ndef c0, 3, 0, 4, 1\ndef c1, -0.5, 0.3, 2, 0\nnrm r0.xyz, c0\nmov_sat r1, -c1.xxxx\n"
         "add r0.y, r1.x, r0.y\nmov r0.w, c0.w\nmov oC0, r0\n",
         0.6f, 0.5f, 0.8f},
        // cmp picks src1 where src0 >= 0; dp3; mad; abs.
        {"ps_2_0\ndef c0, -1, 0, 1, 1\ndef c1, 0.2, 0.4, 0.6, 1\ncmp r0, c0, c1, c1.wzyx\ndp3 r1.x, c1, c0\n"
         "mad r0.y, r1.x, c1.x, c1.y\nabs r2, c0\nmul r0.z, r2.x, c1.z\nmov oC0, r0\n",
         1.0f, 0.48f, 0.6f},
        // ps_1_3: _x2 and _d2 result shifts, _bx2 and 1- source modifiers, a co-issued alpha.
        {"ps_1_3\ndef c0, 0.25, 0.75, 0.5, 1\nmov_x2 r0.r, c0\n+mov r0.a, c0.a\nmov_d2 r1, c0.g\n"
         "add r0.g, r1, c0_bx2.r\nmov r0.b, 1-c0.g\n",
         0.5f, 0.0f, 0.25f},
        // Result shift before saturation: 2 x 0.7 saturates to 1, then 1 - 0.5 (saturating
        // first would keep 1.4 in the register and give 0.9).
        {"ps_1_3\ndef c0, 0.7, 1, 0.5, 1\nmul_x2_sat r1, c0.r, c0.g\nsub r0, r1, c0.b\n", 0.5f, 0.5f, 0.5f},
        // Pixel 1.x constants are clamped to [-1, 1]; cnd compares with 0.5.
        {"ps_1_3\ndef c0, 2, 0.6, 0.25, 1\ndef c1, 0.1, 0.2, 0.3, 0.4\nmul r0.rgb, c0.r, c0.b\n"
         "cnd r1, c0.g, c1.b, c1.r\nmov r0.g, r1\n+mov r0.a, c0.a\n",
         0.25f, 0.3f, 0.25f},
    };
    // Expected green of the fifth case: r1 = 0.75 / 2 = 0.375; c0.r _bx2 = 2 x 0.25 - 1 = -0.5;
    // 0.375 - 0.5 saturates at the colour output to 0.
    Ref<IDirect3DVertexShader9> vs;
    ASSERT_EQ(device->CreateVertexShader(tokens(kVs20).data(), vs.put()), D3D_OK);
    for (const auto& c : cases) {
        Ref<IDirect3DPixelShader9> ps;
        ASSERT_EQ(device->CreatePixelShader(tokens(c.ps).data(), ps.put()), D3D_OK) << c.ps;
        Picture p = draw(vs, ps, "instruction");
        D3DCOLOR centre = p.at(32, 32);
        auto to8 = [](float v) { return std::clamp(v, 0.0f, 1.0f) * 255.0f; };
        EXPECT_NEAR(red(centre), to8(c.r), 1.0) << c.ps;
        EXPECT_NEAR(green(centre), to8(c.g), 1.0) << c.ps;
        EXPECT_NEAR(blue(centre), to8(c.b), 1.0) << c.ps;
    }
}

// Vertex programs: the matrix forms, sge/slt, defined constants that win
// over SetVertexShaderConstantF, and colour outputs clamped to [0, 1].
TEST_F(Shaders, VertexInstructionResults) {
    const char* text = "vs_2_0\n"
                       "dcl_position v0\n"
                       "def c10, 0.5, 2, -1, 0.25\n"
                       "m4x4 oPos, v0, c0\n"
                       "m3x3 r0.xyz, c10, c4\n"   // rows c4..c6: (1,0,0), (0,1,0), (0,0,1) -> c10.xyz
                       "sge r1.x, c10.x, c10.w\n" // 0.5 >= 0.25 -> 1
                       "slt r1.y, c10.x, c10.w\n" // 0.5 < 0.25 -> 0
                       "mul r2, r0.xxyy, c10.w\n" // (0.125, 0.125, 0.5, 0.5)
                       "mov oD0.x, r1.x\n"
                       "mov oD0.y, r2.z\n"
                       "mov oD0.z, r0.y\n" // 2, clamped to 1
                       "mov oD0.w, c10.w\n";
    Ref<IDirect3DVertexShader9> vs;
    ASSERT_EQ(device->CreateVertexShader(tokens(text).data(), vs.put()), D3D_OK);
    const float rows[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    device->SetVertexShaderConstantF(4, &rows[0][0], 3);
    const float ignored[4] = {9, 9, 9, 9};
    device->SetVertexShaderConstantF(10, ignored, 1); // c10 is defined by the program
    Picture p = draw(vs, nullptr, "vertex", false);
    D3DCOLOR centre = p.at(32, 32);
    EXPECT_EQ(red(centre), 255);
    EXPECT_NEAR(green(centre), 0.5 * 255, 1);
    EXPECT_EQ(blue(centre), 255);
}

// Code above the device's shader versions, of the wrong kind, malformed or
// outside the instruction subset is refused with D3DERR_INVALIDCALL.
TEST_F(DeviceTest, ShaderCodeOutsideTheSubsetIsRefused) {
    IDirect3DPixelShader9* ps = nullptr;
    IDirect3DVertexShader9* vs = nullptr;
    EXPECT_EQ(device->CreatePixelShader(tokens(kVs20).data(), &ps), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexShader(tokens(kPs20).data(), &vs), D3DERR_INVALIDCALL);
    const DWORD texbem[] = {0xFFFF0103u, 0x00000042u, 0xB00F0000u, 0x00000043u, 0xB00F0001u, 0xB0E40000u, 0x0000FFFFu};
    EXPECT_EQ(device->CreatePixelShader(texbem, &ps), D3DERR_INVALIDCALL);
    const DWORD relative[] = {0xFFFE0101u, 0x0000001Fu, 0x80000000u, 0x900F0000u,
                              0x00000001u, 0xC00F0000u, 0xA0E42000u, 0x0000FFFFu};
    EXPECT_EQ(device->CreateVertexShader(relative, &vs), D3DERR_INVALIDCALL);
    EXPECT_EQ(ps, nullptr);
    EXPECT_EQ(vs, nullptr);

    // Caps lowered to vs_1_1 / ps_1_3: model 2 code is refused, model 1 code accepted.
    platform::d3d9::limitShaderVersions(D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 3));
    makeDevice(64, 64);
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0101u);
    EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0103u);
    EXPECT_EQ(device->CreatePixelShader(tokens(kPs20).data(), &ps), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateVertexShader(tokens(kVs20).data(), &vs), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreatePixelShader(tokens(kPs13).data(), &ps), D3D_OK);
    ps->Release();
    platform::d3d9::limitShaderVersions(0, 0);
    makeDevice(64, 64);
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, 0u);
    EXPECT_EQ(device->CreatePixelShader(tokens(kPs13).data(), &ps), D3DERR_INVALIDCALL);
    platform::d3d9::limitShaderVersions(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0));
}

} // namespace
} // namespace platform::d3d9::test
