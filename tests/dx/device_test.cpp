// The device wrapper against a mock device: colours, transforms, render
// targets and their depth surfaces, and the calls that raise.
#include "dx/dxdevice.h"
#include "errors/errors.h"
#include "tests/dx/fakedevice.h"
#include "tests/support/heapcount.h"
#include "tests/support/paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::Each;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

class DeviceTest : public ::testing::Test {
  protected:
    DeviceTest() {
        d.d3dDevice = &mock;
        d.presentParameters.BackBufferWidth = 800;
        d.presentParameters.BackBufferHeight = 600;
        d.presentParameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        d.presentParameters.AutoDepthStencilFormat = D3DFMT_D24S8;
        d.targetSurface[0] = &mock.backBuffer;
        d.depthSurface[0] = &mock.autoDepth;
        d.targetCount = 1;
    }
    NiceMock<dx::test::Device> mock;
    device d;
};

TEST(PackColor, ChannelsAreTruncatedProductsOf255) {
    EXPECT_EQ(packColor({1.0f, 1.0f, 0.5f, 0.0f}), 0xFFFF7F00u);
    EXPECT_EQ(packColor({0.0f, 0.0f, 0.0f, 0.0f}), 0x00000000u);
    // 0.999 × 255 = 254.7 truncates to 254; 0.2 × 255 = 51.
    EXPECT_EQ(packColor({0.999f, 0.2f, 1.0f, 0.002f}), 0xFE33FF00u);
}

TEST(PackColor, ColorValueIsRedGreenBlueAlpha) {
    const D3DCOLORVALUE v = toColorValue({0.1f, 0.2f, 0.3f, 0.4f});
    EXPECT_EQ((std::array{v.r, v.g, v.b, v.a}), (std::array{0.2f, 0.3f, 0.4f, 0.1f}));
}

TEST_F(DeviceTest, WorldViewProjectionIsZeroBeforeAnyTransform) {
    EXPECT_THAT(d.worldViewProjection().m, Each(Each(0.0f)));
}

TEST_F(DeviceTest, WorldViewProjectionMultipliesInThatOrder) {
    // Scales and translations whose products differ by order: world scales by 2,
    // view moves x by 3, projection scales by 5; (1,0,0,1) must land at (25, 0, 0, 1).
    Matrix world{}, view{}, projection{};
    identity(world);
    identity(view);
    identity(projection);
    world.m[0][0] = 2.0f;
    view.m[3][0] = 3.0f;
    projection.m[0][0] = 5.0f;
    EXPECT_CALL(mock, SetTransform(D3DTS_WORLD, _));
    EXPECT_CALL(mock, SetTransform(D3DTS_VIEW, _));
    EXPECT_CALL(mock, SetTransform(D3DTS_PROJECTION, _));
    d.setWorld(world);
    d.setView(view);
    d.setProjection(projection);
    const Matrix& m = d.worldViewProjection();
    EXPECT_EQ(std::pair(m.m[0][0], m.m[3][0]), std::pair(10.0f, 15.0f));
    EXPECT_FLOAT_EQ(m.m[3][0] + m.m[0][0], 25.0f);
}

TEST_F(DeviceTest, BeginTargetClearsOnlyWithFlags) {
    EXPECT_CALL(mock, Clear(_, _, _, _, _, _)).Times(0);
    d.beginTarget(0, 0xFF00FF00u, 0);
    ::testing::Mock::VerifyAndClearExpectations(&mock);
    EXPECT_CALL(mock, Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00u, 1.0f, 0));
    d.beginTarget(0, 0xFF00FF00u, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
}

TEST_F(DeviceTest, RefusedTargetRaisesWithItsLine) {
    ON_CALL(mock, SetRenderTarget(_, _)).WillByDefault(Return(D3DERR_INVALIDCALL));
    EXPECT_THROW(d.beginTarget(0, 0, 0), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxdevice\nLine: 117\nMessage: auto throw(d3d)\n");
    EXPECT_THROW(d.present(), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxdevice\nLine: 132\nMessage: auto throw(d3d)\n");
}

TEST_F(DeviceTest, PresentPutsTargetZeroBackFirst) {
    InSequence order;
    EXPECT_CALL(mock, SetRenderTarget(0, &mock.backBuffer));
    EXPECT_CALL(mock, SetDepthStencilSurface(&mock.autoDepth));
    EXPECT_CALL(mock, Present(nullptr, nullptr, nullptr, nullptr));
    d.present();
}

TEST_F(DeviceTest, RenderTargetOfBackBufferFormatAndSharedDepth) {
    ::testing::internal::CaptureStderr();
    EXPECT_CALL(mock, CreateTexture(400, 300, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, _, _));
    EXPECT_CALL(mock, CreateDepthStencilSurface(_, _, _, _, _, _, _, _)).Times(0);
    const int index = d.createRenderTarget(400, 300, 1, D3DFMT_X8R8G8B8, 0);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::pair(index, d.targetCount), std::pair(1, 2));
    EXPECT_EQ(std::tuple(d.depthSurface[1], d.targetSurface[1], d.targetSize[1].width, d.targetSize[1].height),
              std::tuple(&mock.autoDepth, mock.textures[0]->surfaces[0].get(), 400.0f, 300.0f));
    EXPECT_EQ(log, "Format som används\nD3DFMT_X8R8G8B8\ntarget 1 har xres = 400 och yres = 300!\n\n");
}

TEST_F(DeviceTest, LargerOrUnsharedTargetsGetTheirOwnDepth) {
    // Wider than the back buffer, taller than it, and explicitly unshared.
    EXPECT_CALL(mock, CreateDepthStencilSurface(2048, 256, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, FALSE, _, _));
    EXPECT_CALL(mock, CreateDepthStencilSurface(512, 601, D3DFMT_D24S8, _, _, _, _, _));
    EXPECT_CALL(mock, CreateDepthStencilSurface(512, 256, D3DFMT_D24S8, _, _, _, _, _));
    EXPECT_CALL(mock, CreateTexture(_, _, _, _, D3DFMT_A8R8G8B8, _, _, _)).Times(3);
    d.createRenderTarget(2048, 256, 1, D3DFMT_A8R8G8B8, 0);
    d.createRenderTarget(512, 601, 1, D3DFMT_A8R8G8B8, 0);
    d.createRenderTarget(512, 256, 1, D3DFMT_A8R8G8B8, -1);
    EXPECT_EQ(d.targetCount, 4);
    for (int i = 1; i < 4; ++i) {
        EXPECT_NE(d.depthSurface[i], &mock.autoDepth) << i;
        EXPECT_EQ(d.depthSurface[i], mock.depthSurfaces[static_cast<std::size_t>(i - 1)].get()) << i;
    }
}

TEST_F(DeviceTest, FailedTargetLeavesNoIndexAndTheHundredAndFirstIsRefused) {
    EXPECT_CALL(mock, CreateDepthStencilSurface(_, _, _, _, _, _, _, _)).WillOnce(Return(D3DERR_OUTOFVIDEOMEMORY));
    EXPECT_THROW(d.createRenderTarget(64, 64, 1, D3DFMT_A8R8G8B8, -1), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxdevice\nLine: 102\nMessage: auto throw(d3d)\n");
    EXPECT_EQ(d.targetCount, 1);

    for (int i = 1; i < dx::kMaxRenderTargets; ++i) {
        EXPECT_EQ(d.createRenderTarget(16, 16, 1, D3DFMT_A8R8G8B8, 0), i);
    }
    EXPECT_THROW(d.createRenderTarget(16, 16, 1, D3DFMT_A8R8G8B8, 0), qtv_d3d::exception);
    EXPECT_EQ(std::tuple(std::string(errorRecord.message), std::string(errorRecord.file), d.targetCount),
              std::tuple("auto throw(logic)", "dxdevice", dx::kMaxRenderTargets));
}

TEST_F(DeviceTest, ScreenQuadVerticesAndTheStatesLeftBehind) {
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR c;
        float u, v;
    };
    Vertex seen[4]{};
    // Later 3D draws find depth testing and counter-clockwise culling back on.
    std::map<D3DRENDERSTATETYPE, DWORD> last;
    ON_CALL(mock, SetRenderState(_, _)).WillByDefault([&](D3DRENDERSTATETYPE s, DWORD v) {
        last[s] = v;
        return D3D_OK;
    });
    EXPECT_CALL(mock, SetFVF(0x144u));
    EXPECT_CALL(mock, DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, _, 28))
        .WillOnce([&](D3DPRIMITIVETYPE, UINT, const void* data, UINT) {
            std::memcpy(seen, data, sizeof seen);
            return D3D_OK;
        });
    d.drawScreenQuad(10, 20, 30, 40, 0.0f, 0.25f, 1.0f, 0.75f, {1.0f, 0.0f, 1.0f, 0.0f});
    // x, y, u, v of each corner, at depth 1 with rhw 1, in ARGB green.
    const std::array<float, 4> corners[4] = {
        {10, 20, 0.0f, 0.25f}, {30, 20, 1.0f, 0.25f}, {30, 40, 1.0f, 0.75f}, {10, 40, 0.0f, 0.75f}};
    for (int i = 0; i < 4; ++i) {
        const Vertex& v = seen[i];
        EXPECT_EQ(std::tuple(std::array{v.x, v.y, v.u, v.v}, v.z, v.rhw, v.c),
                  std::tuple(corners[i], 1.0f, 1.0f, 0xFF00FF00u))
            << i;
    }
    EXPECT_EQ(std::pair(last[D3DRS_ZENABLE], last[D3DRS_CULLMODE]), (std::pair<DWORD, DWORD>(TRUE, D3DCULL_CCW)));
}

TEST_F(DeviceTest, ZoomQuadWindowIsShrunkAndTurned) {
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR c;
        float u0, v0, u1, v1;
    };
    Vertex seen[4]{};
    EXPECT_CALL(mock, SetFVF(0x244u));
    EXPECT_CALL(mock, DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, _, 36))
        .WillOnce([&](D3DPRIMITIVETYPE, UINT, const void* data, UINT) {
            std::memcpy(seen, data, sizeof seen);
            return D3D_OK;
        });
    EXPECT_CALL(mock, SetRenderState(_, _)).Times(0);
    // Margins 1 give the window 0.5 + 0.0035 .. 0.5 - 0.0035 before turning;
    // a quarter turn about (0.5, 0.5) takes (u, v) to (1 - v, u).
    const float half = 1.5707963f;
    d.drawZoomQuad(0x80FFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f, half, 0.5f, 0.5f, 640.0f, 480.0f);
    const float L = 0.0035f, R = 1.0f - 0.0035f, T = 0.5035f, B = 0.4965f;
    const float corners[4][2] = {{L, T}, {R, T}, {R, B}, {L, B}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(seen[i].u1, 1.0f - corners[i][1], 1e-5f) << i;
        EXPECT_NEAR(seen[i].v1, corners[i][0], 1e-5f) << i;
        EXPECT_EQ(std::pair(seen[i].c, seen[i].z), std::pair(0x80FFFFFFu, 0.0f)) << i;
    }
    EXPECT_EQ((std::array{seen[2].x, seen[2].y, seen[1].u0, seen[3].v0}), (std::array{640.0f, 480.0f, 1.0f, 1.0f}));
}

TEST_F(DeviceTest, FixedFunctionMaterial) {
    D3DMATERIAL9 seen{};
    EXPECT_CALL(mock, SetMaterial(_)).WillOnce([&](const D3DMATERIAL9* m) {
        seen = *m;
        return D3D_OK;
    });
    EXPECT_CALL(mock, SetPixelShader(nullptr));
    EXPECT_CALL(mock, SetVertexShader(nullptr));
    d.useFixedFunction();
    EXPECT_EQ(
        (std::array{seen.Diffuse.r, seen.Ambient.g, seen.Ambient.a, seen.Specular.b, seen.Emissive.a, seen.Power}),
        (std::array{1.0f, 0.1f, 0.1f, 1.0f, 0.0f, 10.0f}));
}

// What a draw after resetStages sees: only stage 0 combines, whatever an
// effect left in stages 1 and 2, and stages past the device's count are untouched.
TEST_F(DeviceTest, ResetStagesLeavesOnlyStageZeroCombining) {
    d.caps.MaxSimultaneousTextures = 4;
    std::map<std::pair<DWORD, D3DTEXTURESTAGESTATETYPE>, DWORD> stage;
    ON_CALL(mock, SetTextureStageState(_, _, _)).WillByDefault([&](DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD v) {
        stage[{s, t}] = v;
        return D3D_OK;
    });
    EXPECT_CALL(mock, SetSamplerState(_, _, _)).Times(::testing::AnyNumber());
    EXPECT_CALL(mock, SetSamplerState(3, _, _)).Times(::testing::AtLeast(1));
    EXPECT_CALL(mock, SetSamplerState(4, _, _)).Times(0);
    d.resetStages();
    const auto at = [&](DWORD s, D3DTEXTURESTAGESTATETYPE t) { return stage[{s, t}]; };
    EXPECT_EQ((std::array{at(0, D3DTSS_COLOROP), at(0, D3DTSS_ALPHAOP), at(0, D3DTSS_ALPHAARG1)}),
              (std::array<DWORD, 3>{D3DTOP_MODULATE, D3DTOP_SELECTARG1, D3DTA_TEXTURE}));
    for (DWORD s : {1u, 2u}) {
        EXPECT_EQ(std::pair(at(s, D3DTSS_COLOROP), at(s, D3DTSS_ALPHAOP)),
                  (std::pair<DWORD, DWORD>(D3DTOP_DISABLE, D3DTOP_DISABLE)))
            << s;
    }
}

TEST_F(DeviceTest, EmbeddedShadersNeedTheirModel) {
    const DWORD code[] = {0xFFFE0101u, 0x0000FFFFu};
    d.caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    d.caps.PixelShaderVersion = D3DPS_VERSION(1, 2);
    EXPECT_CALL(mock, CreateVertexShader(_, _)).Times(0);
    EXPECT_CALL(mock, CreatePixelShader(_, _)).Times(0);
    EXPECT_EQ(std::pair(d.createVertexShaderFromCode(code), d.createPixelShaderFromCode(code)),
              (std::pair<IDirect3DVertexShader9*, IDirect3DPixelShader9*>(nullptr, nullptr)));
    ::testing::Mock::VerifyAndClearExpectations(&mock);

    d.caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    d.caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    EXPECT_CALL(mock, CreateVertexShader(code, _));
    EXPECT_CALL(mock, CreatePixelShader(code, _));
    d.createVertexShaderFromCode(code);
    d.createPixelShaderFromCode(code);
}

TEST_F(DeviceTest, ShaderConstantsFillTheRimRegisters) {
    Matrix world{};
    identity(world);
    world.m[3][0] = 7.0f;
    world.m[3][1] = 8.0f;
    world.m[3][2] = 9.0f;
    std::array<float, 4> normalRow3{};
    std::array<float, 4> ambient{};
    EXPECT_CALL(mock, SetVertexShaderConstantF(0, _, 4));
    EXPECT_CALL(mock, SetVertexShaderConstantF(4, _, 4));
    EXPECT_CALL(mock, SetVertexShaderConstantF(8, _, 4)).WillOnce([&](UINT, const float* v, UINT) {
        std::memcpy(normalRow3.data(), v + 12, sizeof normalRow3);
        return D3D_OK;
    });
    EXPECT_CALL(mock, SetVertexShaderConstantF(12, _, 1));
    EXPECT_CALL(mock, SetVertexShaderConstantF(13, _, 1));
    EXPECT_CALL(mock, SetPixelShaderConstantF(0, _, 1)).WillOnce([&](UINT, const float* v, UINT) {
        std::memcpy(ambient.data(), v, sizeof ambient);
        return D3D_OK;
    });
    const float colour[4] = {1, 0, 0, 1};
    setShaderConstants(d, dx::Vector4{0, 0, -5, 1}, colour, &world);
    EXPECT_EQ(normalRow3, (std::array{0.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(std::pair(ambient[1], ambient[3]), std::pair(0.1f, 1.0f));
    EXPECT_FLOAT_EQ(d.world.m[3][0], 7.0f);
}

TEST_F(DeviceTest, CompiledShadersComeFromTheSourceFiles) {
    DWORD vertexVersion = 0;
    DWORD pixelVersion = 0;
    EXPECT_CALL(mock, CreateVertexShader(_, _)).WillOnce([&](const DWORD* code, IDirect3DVertexShader9**) {
        vertexVersion = code[0];
        return D3D_OK;
    });
    EXPECT_CALL(mock, CreatePixelShader(_, _)).WillOnce([&](const DWORD* code, IDirect3DPixelShader9**) {
        pixelVersion = code[0];
        return D3D_OK;
    });
    d.compileVertexShader(tests::support::sourcePath("shaders/vshader_mojs.vhl").c_str(), "main", "vs_2_0");
    d.compilePixelShader(tests::support::sourcePath("shaders/pshader_mojs.phl").c_str(), "main", "ps_2_0");
    EXPECT_EQ(std::tuple(vertexVersion, pixelVersion), std::tuple(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0)));
}

// A scene that makes its shaders every frame must not leave the compiled code
// behind each time: the device keeps its own copy of the code.
TEST_F(DeviceTest, CompilingAgainLeavesNothingAllocated) {
    ON_CALL(mock, CreateVertexShader(_, _)).WillByDefault(Return(D3D_OK));
    ON_CALL(mock, CreatePixelShader(_, _)).WillByDefault(Return(D3D_OK));
    const std::string vertexFile = tests::support::sourcePath("shaders/vshader_mojs.vhl");
    const std::string pixelFile = tests::support::sourcePath("shaders/pshader_mojs.phl");
    d.compileVertexShader(vertexFile.c_str(), "main", "vs_2_0");
    d.compilePixelShader(pixelFile.c_str(), "main", "ps_2_0");
    const long before = tests::support::liveHeapBlocks();
    for (int frame = 0; frame < 20; ++frame) {
        d.compileVertexShader(vertexFile.c_str(), "main", "vs_2_0");
        d.compilePixelShader(pixelFile.c_str(), "main", "ps_2_0");
    }
    EXPECT_EQ(tests::support::liveHeapBlocks() - before, 0) << "blocks left by 20 frames of compiles";
}

TEST_F(DeviceTest, FailedCompilesRaiseWithTheirLines) {
    EXPECT_CALL(mock, CreateVertexShader(_, _)).Times(0);
    EXPECT_CALL(mock, CreatePixelShader(_, _)).Times(0);
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(d.compileVertexShader("shaders/missing.vhl", "main", "vs_2_0"), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxdevice\nLine: 442\nMessage: auto throw(d3d)\n");
    EXPECT_THROW(d.compilePixelShader(tests::support::sourcePath("shaders/pshader_mojs.phl").c_str(), "main", "vs_2_0"),
                 qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxdevice\nLine: 456\nMessage: auto throw(d3d)\n");
    ::testing::internal::GetCapturedStderr();
}

} // namespace
