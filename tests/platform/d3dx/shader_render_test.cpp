// The rim programs and the show's compiled shaders drawn on the headless
// device and read back. Expected colours come from the programs' formulas.
#include "platform/d3dx/d3dx9.h"
#include "resources/shaders/shaderprograms.h"
#include "tests/platform/d3d9/harness.h"
#include "tests/support/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::d3d9::test::Picture;

// The vertex layout of the show's pools: position, normal, one set of three
// texture coordinates (36 bytes).
struct Vertex {
    float px, py, pz;
    float nx, ny, nz;
    float u, v, w;
};

using Vec4 = std::array<float, 4>;

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Texture fill functions are plain function pointers; the uniform one reads
// its colour from here.
D3DCOLOR gTexel = 0;
D3DCOLOR uniformTexel(UINT, UINT) {
    return gTexel;
}
D3DCOLOR whiteThenBlack(UINT x, UINT) {
    return x == 0 ? 0xFFFFFFFFu : 0x00000000u;
}

int channel(float f) {
    return static_cast<int>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255.0f));
}

void expectPixel(D3DCOLOR got, const Vec4& want, const std::string& what, int tolerance = 2) {
    EXPECT_NEAR(platform::d3d9::test::red(got), channel(want[0]), tolerance) << what;
    EXPECT_NEAR(platform::d3d9::test::green(got), channel(want[1]), tolerance) << what;
    EXPECT_NEAR(platform::d3d9::test::blue(got), channel(want[2]), tolerance) << what;
}

float texelChannel(D3DCOLOR c, int shift) {
    return static_cast<float>((c >> shift) & 0xFF) / 255.0f;
}

class ShaderRender : public platform::d3d9::test::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_NE(device, nullptr);
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
            {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
            D3DDECL_END()};
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
        keep(declaration);
        ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    }
    void TearDown() override {
        for (IUnknown* o : owned) {
            o->Release();
        }
        DeviceTest::TearDown();
    }

    template <class T> T* keep(T* object) {
        owned.push_back(object);
        return object;
    }

    void useShaders(const DWORD* vertexCode, const DWORD* pixelCode) {
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        ASSERT_EQ(device->CreateVertexShader(vertexCode, &vs), D3D_OK);
        ASSERT_EQ(device->CreatePixelShader(pixelCode, &ps), D3D_OK);
        ASSERT_EQ(device->SetVertexShader(keep(vs)), D3D_OK);
        ASSERT_EQ(device->SetPixelShader(keep(ps)), D3D_OK);
    }

    // Compiles one of the show's two pairs of shader files (the tunnel and
    // sphere pair, or the glow pair) and draws with it.
    void useCompiledPair(bool glow) {
        std::vector<DWORD> tokens[2];
        const std::string files[2] = {glow ? "vshader_mojs2.vhl" : "vshader_mojs.vhl",
                                      glow ? "pshader_mojs2.phl" : "pshader_mojs.phl"};
        for (int i = 0; i < 2; ++i) {
            const std::string path = tests::support::sourcePath("shaders/" + files[i]);
            LPD3DXBUFFER code = nullptr;
            ASSERT_EQ(D3DXCompileShaderFromFileA(path.c_str(), nullptr, nullptr, "main", i == 0 ? "vs_2_0" : "ps_2_0",
                                                 0, &code, nullptr, nullptr),
                      S_OK);
            ASSERT_NE(code, nullptr);
            tokens[i].resize(code->GetBufferSize() / sizeof(DWORD));
            std::memcpy(tokens[i].data(), code->GetBufferPointer(), code->GetBufferSize());
            code->Release();
        }
        useShaders(tokens[0].data(), tokens[1].data());
    }

    // The constant layout the show uploads: rows as stored; the normal
    // matrix is the world matrix without its translation.
    void setConstants(const float* wvp, const float* world, const Vec4& camera, const Vec4& colour,
                      const Vec4& ambient) {
        float normalWorld[16];
        std::memcpy(normalWorld, world, sizeof normalWorld);
        normalWorld[12] = normalWorld[13] = normalWorld[14] = 0;
        ASSERT_EQ(device->SetVertexShaderConstantF(0, wvp, 4), D3D_OK);
        ASSERT_EQ(device->SetVertexShaderConstantF(4, world, 4), D3D_OK);
        ASSERT_EQ(device->SetVertexShaderConstantF(8, normalWorld, 4), D3D_OK);
        ASSERT_EQ(device->SetVertexShaderConstantF(12, camera.data(), 1), D3D_OK);
        ASSERT_EQ(device->SetVertexShaderConstantF(13, colour.data(), 1), D3D_OK);
        ASSERT_EQ(device->SetPixelShaderConstantF(0, ambient.data(), 1), D3D_OK);
    }

    void bindTexture(D3DCOLOR (*pixel)(UINT, UINT), UINT width) {
        IDirect3DTexture9* t = keep(makeTexture(width, 1, pixel));
        ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
    }

    void draw(const std::vector<Vertex>& vertices) {
        IDirect3DVertexBuffer9* vb = nullptr;
        const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(Vertex));
        ASSERT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
        keep(vb);
        void* data = nullptr;
        ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
        std::memcpy(data, vertices.data(), bytes);
        ASSERT_EQ(vb->Unlock(), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, vb, 0, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size() / 3)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }

    void clear() {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
    }

    // A quad over the whole target at depth 0.5 with identity transforms:
    // texture coordinates (0, 0) top left to (1, 1) bottom right. The normal
    // stream gets normal + offset.
    static std::vector<Vertex> screenQuad(const Vec4& normal, const Vec4& offset = {0, 0, 0, 0}) {
        const float corners[4][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {1, -1, 1, 1}, {-1, -1, 0, 1}};
        std::vector<Vertex> out;
        for (int i : {0, 1, 2, 0, 2, 3}) {
            const float* c = corners[i];
            out.push_back({c[0], c[1], 0.5f, normal[0] + c[0] * offset[3] + offset[0],
                           normal[1] + c[1] * offset[3] + offset[1], normal[2] + 0.5f * offset[3] + offset[2], c[2],
                           c[3], 0});
        }
        return out;
    }

    IDirect3DVertexDeclaration9* declaration = nullptr;
    std::vector<IUnknown*> owned;
};

const Vec4 kColour{1.0f, 0.5f, 0.25f, 1.0f};
const Vec4 kShowAmbient{0.0f, 0.1f, 0.1f, 1.0f};

TEST_F(ShaderRender, RimPairFacingTheCameraGivesAmbient) {
    useShaders(resources::kRimVertexProgram, resources::kRimPixelProgram);
    gTexel = 0x80808080u;
    bindTexture(uniformTexel, 1);
    setConstants(kIdentity, kIdentity, {0, 0, -1000, 1}, kColour, kShowAmbient);
    clear();
    draw(screenQuad({0, 0, -1, 0}));
    const Picture p = readBackBuffer("facing");
    for (UINT y : {5u, 32u, 60u}) {
        for (UINT x : {5u, 32u, 60u}) {
            expectPixel(p.at(x, y), kShowAmbient, "facing at " + std::to_string(x) + "," + std::to_string(y));
        }
    }
}

TEST_F(ShaderRender, RimPairAtGrazingAnglesMovesToTheColourByTheChannelSum) {
    useShaders(resources::kRimVertexProgram, resources::kRimPixelProgram);
    setConstants(kIdentity, kIdentity, {0, 0, -1000, 1}, kColour, kShowAmbient);
    for (D3DCOLOR texel : {0x40404040u, 0x20202020u, 0x00000000u}) {
        gTexel = texel;
        bindTexture(uniformTexel, 1);
        clear();
        draw(screenQuad({1, 0, 0, 0}));
        const Picture p = readBackBuffer("grazing");
        // rim = (1 - 0)^2; f = 0.5 * rim * (r + g + b + a)
        const float f = 0.5f * (texelChannel(texel, 0) + texelChannel(texel, 8) + texelChannel(texel, 16) +
                                texelChannel(texel, 24));
        Vec4 want{};
        for (std::size_t k = 0; k < 4; ++k) {
            want[k] = kShowAmbient[k] + f * (kColour[k] - kShowAmbient[k]);
        }
        expectPixel(p.at(32, 32), want, "texel " + std::to_string(texel));
    }
}

TEST_F(ShaderRender, RimPairDoublesTheTextureCoordinates) {
    useShaders(resources::kRimVertexProgram, resources::kRimPixelProgram);
    // Texel 0 white (f = 2), texel 1 clear (f = 0); ambient 0, colour grey
    // 0.5: white where texel 0 lands, black where texel 1 does.
    bindTexture(whiteThenBlack, 2);
    setConstants(kIdentity, kIdentity, {0, 0, -1000, 1}, {0.5f, 0.5f, 0.5f, 1}, {0, 0, 0, 0});
    clear();
    draw(screenQuad({1, 0, 0, 0}));
    const Picture p = readBackBuffer("doubled");
    // u runs 0..1 over the 64 columns, doubled to 0..2: the two texels
    // repeat twice, 16 columns each.
    for (UINT x : {8u, 24u, 40u, 56u}) {
        const float level = x % 32 < 16 ? 1.0f : 0.0f;
        expectPixel(p.at(x, 32), {level, level, level, 1}, "column " + std::to_string(x));
    }
}

TEST_F(ShaderRender, FallbackPairHasNoAmbientAndScalesTheColour) {
    useShaders(resources::kFallbackVertexProgram, resources::kFallbackPixelProgram);
    gTexel = 0x40404040u;
    bindTexture(uniformTexel, 1);
    // An ambient value the fallback must ignore; the camera in front along +z.
    setConstants(kIdentity, kIdentity, {0, 0, 1000, 1}, kColour, {0.5f, 0.5f, 0.5f, 1});
    clear();
    // Normal along the view: dot4((0,0,1,0), (0,0,1,1)) = 1, rim 0: black.
    draw(screenQuad({0, 0, 1, 0}));
    expectPixel(readBackBuffer("fallback-facing").at(32, 32), {0, 0, 0, 1}, "facing");
    clear();
    // Normal across the view: rim 1, colour * 0.5 * (channel sum).
    draw(screenQuad({1, 0, 0, 0}));
    const float f = 0.5f * 4 * texelChannel(0x40404040u, 0);
    expectPixel(readBackBuffer("fallback-grazing").at(32, 32), {kColour[0] * f, kColour[1] * f, kColour[2] * f, 1},
                "grazing");
}

// A surface whose normal stream holds a point (the tunnel's) must look like
// the same surface with its true normal. Facing the camera, pair 1 gives
// ambient + texel * colour, pair 2 ambient + texel / 4 (no rim at all).
class CompiledPairs : public ShaderRender {
  protected:
    void checkQuads(bool glowPair) {
        ASSERT_NO_FATAL_FAILURE(useCompiledPair(glowPair));
        gTexel = 0xFF808080u;
        bindTexture(uniformTexel, 1);
        setConstants(kIdentity, kIdentity, {0, 0, -1000, 1}, {1, 0, 1, 1}, kShowAmbient);
        clear();
        draw(screenQuad({0, 0, -1, 0}));
        const Picture trueNormal = readBackBuffer("true-normal");
        clear();
        // Normal stream = position + 17.8 * normal: a point, as the tunnel writes it.
        draw(screenQuad({0, 0, -17.8f, 0}, {0, 0, 0, 1}));
        const Picture pointNormal = readBackBuffer("point-normal");
        ASSERT_EQ(trueNormal.pixels.size(), pointNormal.pixels.size());
        int worst = 0;
        for (std::size_t i = 0; i < trueNormal.pixels.size(); ++i) {
            for (int shift : {0, 8, 16}) {
                const int a = static_cast<int>((trueNormal.pixels[i] >> shift) & 0xFF);
                const int b = static_cast<int>((pointNormal.pixels[i] >> shift) & 0xFF);
                worst = std::max(worst, std::abs(a - b));
            }
        }
        EXPECT_LE(worst, 2);
        const float t = 128.0f / 255.0f;
        const Vec4 want = glowPair ? Vec4{t / 4, 0.1f + t / 4, 0.1f + t / 4, 1} : Vec4{t, 0.1f, 0.1f + t, 1};
        expectPixel(trueNormal.at(32, 32), want, "facing");
    }

    // A unit sphere (normals = positions) seen along +z: the silhouette must
    // turn toward the colour compared with the centre.
    void checkSphere(bool glowPair) {
        ASSERT_NO_FATAL_FAILURE(useCompiledPair(glowPair));
        IDirect3DTexture9* t = keep(
            makeTexture(8, 8, [](UINT x, UINT y) { return ((x / 2 + y / 2) % 2) != 0 ? 0xFFC0C0C0u : 0xFF606060u; }));
        ASSERT_EQ(device->SetTexture(0, t), D3D_OK);
        // Clip = (0.9 x, 0.9 y, 0.25 z + 0.5, 1).
        const float wvp[16] = {0.9f, 0, 0, 0, 0, 0.9f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0.5f, 1};
        setConstants(wvp, kIdentity, {0, 0, -10, 1}, {1, 0, 1, 1}, kShowAmbient);
        clear();
        draw(sphere(32, 16));
        const Picture p = readBackBuffer("sphere");
        const D3DCOLOR centre = p.at(32, 32);
        const D3DCOLOR edge = p.at(32 + 27, 32); // 0.9 * 32 = 28.8 pixels out is the silhouette
        EXPECT_GT(platform::d3d9::test::red(edge), platform::d3d9::test::red(centre))
            << std::hex << edge << " " << centre;
        EXPECT_EQ(p.at(1, 1) & 0xFFFFFFu, 0u); // outside the sphere: the clear colour
    }

    static std::vector<Vertex> sphere(int slices, int stacks) {
        const float pi = 3.14159265f;
        auto point = [&](int i, int j) {
            const float theta = pi * static_cast<float>(j) / static_cast<float>(stacks);
            const float phi = 2 * pi * static_cast<float>(i) / static_cast<float>(slices);
            const float x = std::sin(theta) * std::cos(phi);
            const float y = std::cos(theta);
            const float z = std::sin(theta) * std::sin(phi);
            const float u = static_cast<float>(i) / static_cast<float>(slices);
            return Vertex{x, y, z, x, y, z, u, static_cast<float>(j) / static_cast<float>(stacks), 0};
        };
        std::vector<Vertex> out;
        for (int j = 0; j < stacks; ++j) {
            for (int i = 0; i < slices; ++i) {
                const Vertex a = point(i, j), b = point(i + 1, j), c = point(i + 1, j + 1), d = point(i, j + 1);
                out.insert(out.end(), {a, b, c, a, c, d});
            }
        }
        return out;
    }
};

// The tunnel and sphere pair, then the glow pair.
TEST_F(CompiledPairs, DrawQuadsWithAPointNormalStreamAndLightASphereWithARim) {
    for (bool glow : {false, true}) {
        SCOPED_TRACE(glow ? "glow pair" : "tunnel and sphere pair");
        checkQuads(glow);
        checkSphere(glow);
    }
}

} // namespace
