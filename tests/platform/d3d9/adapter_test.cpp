// The adapter object and the device's handling of calls outside the subset.
#include "tests/platform/d3d9/harness.h"

#include "platform/kernel/clock.h"

#include <cstring>

namespace platform::d3d9::test {
namespace {

TEST_F(DeviceTest, AdapterAnswersModesFormatsAndCaps) {
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    ASSERT_EQ(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER9 id{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_GT(std::strlen(id.Description), 0u);
    EXPECT_NE(id.DriverVersion.QuadPart, 0);
    EXPECT_EQ(d3d->GetAdapterIdentifier(1, 0, &id), D3DERR_INVALIDCALL);

    // The virtual adapter: common sizes, each at 60 and 75 Hz, X8R8G8B8 only.
    const UINT count = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GE(count, 4u);
    EXPECT_EQ(count % 2, 0u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
    bool has800x600at75 = false;
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE mode{};
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &mode), D3D_OK);
        EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
        EXPECT_TRUE(mode.RefreshRate == 60 || mode.RefreshRate == 75);
        has800x600at75 = has800x600at75 || (mode.Width == 800 && mode.Height == 600 && mode.RefreshRate == 75);
    }
    EXPECT_TRUE(has800x600at75);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, count, &mode), D3DERR_INVALIDCALL);

    // Render-target and depth formats answered by what the device makes.
    auto check = [&](DWORD usage, D3DFORMAT format) {
        return d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, D3DRTYPE_SURFACE, format);
    };
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_G16R16}) {
        EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, f), D3D_OK) << f;
    }
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5), D3DERR_NOTAVAILABLE);
    // Each depth format it claims can really be made.
    for (D3DFORMAT f : {D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16, D3DFMT_D32}) {
        EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, f), D3D_OK) << f;
        Ref<IDirect3DSurface9> depth;
        ASSERT_EQ(device->CreateDepthStencilSurface(32, 32, f, D3DMULTISAMPLE_NONE, 0, FALSE, depth.put(), nullptr),
                  D3D_OK)
            << f;
    }
    for (D3DFORMAT f : {D3DFMT_D24X4S4, D3DFMT_D24FS8, D3DFMT_D15S1, D3DFMT_D16_LOCKABLE, D3DFMT_D32F_LOCKABLE}) {
        EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, f), D3DERR_NOTAVAILABLE) << f;
    }

    D3DCAPS9 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.AdapterOrdinal, 0u);
    EXPECT_NE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
    EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
    EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0200u);
    EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0200u);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, DeviceCreationChecksThePresentationParameters) {
    D3DPRESENT_PARAMETERS p = params;
    IDirect3DDevice9* other = nullptr;
    auto create = [&](DWORD flags) { return d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, flags, &p, &other); };
    p.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
    EXPECT_EQ(create(D3DCREATE_HARDWARE_VERTEXPROCESSING), D3DERR_INVALIDCALL);
    p = params;
    p.AutoDepthStencilFormat = D3DFMT_D15S1;
    EXPECT_EQ(create(D3DCREATE_HARDWARE_VERTEXPROCESSING), D3DERR_INVALIDCALL);
    p = params;
    EXPECT_EQ(create(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(other, nullptr);
    // Full screen at a mode's size with vertical sync, as the show asks.
    p.Windowed = FALSE;
    p.FullScreen_RefreshRateInHz = 60;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    p.BackBufferCount = 2;
    ASSERT_EQ(create(D3DCREATE_SOFTWARE_VERTEXPROCESSING), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(other->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, params.BackBufferWidth);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    // The back buffer's references are the device's: releasing it keeps the device.
    EXPECT_EQ(back->Release(), 1u);
    EXPECT_EQ(other->Release(), 0u);
}

// D3DPRESENT_PARAMETERS: a windowed device's refresh rate must be 0, and a
// full-screen device given 0 (D3DPRESENT_RATE_DEFAULT) takes the adapter's
// default rate, although no listed mode has 0 Hz.
TEST_F(DeviceTest, ZeroRefreshRateIsTheAdapterDefault) {
    for (BOOL windowed : {TRUE, FALSE}) {
        D3DPRESENT_PARAMETERS p = params;
        p.Windowed = windowed;
        p.BackBufferWidth = 800; // a listed mode, at 60 and 75 Hz
        p.BackBufferHeight = 600;
        p.FullScreen_RefreshRateInHz = 0;
        IDirect3DDevice9* other = nullptr;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &other),
                  D3D_OK)
            << "windowed " << windowed;
        EXPECT_EQ(other->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0), D3D_OK);
        EXPECT_EQ(other->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(other->Release(), 0u);
    }
}

// Buffer bounds are summed in 64 bits: a start vertex or primitive count near
// 2^32 wraps a 32-bit sum into range, and must be refused instead.
TEST_F(DeviceTest, DrawRangesNearTheWrapAreRefused) {
    Ref<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device->CreateVertexBuffer(6 * sizeof(XyzVertex), 0, D3DFVF_XYZ, D3DPOOL_MANAGED, buffer.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, buffer, 0, sizeof(XyzVertex)), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3D_OK); // vertices 3..5: the last three
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 4, 1), D3DERR_INVALIDCALL);
    // 0xFFFFFFFE + 3 is 1 in 32 bits.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0xFFFFFFFEu, 1), D3DERR_INVALIDCALL);
    // 0x55555556 triangles are 0x100000002 vertices, 2 in 32 bits.
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0x55555556u), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0, 0x80000001u), D3DERR_INVALIDCALL);
    const XyzVertex vertices[3] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0x55555556u, vertices, sizeof(XyzVertex)),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

// States, stages, transforms and resources outside the subset fail with
// D3DERR_INVALIDCALL and leave the state as it was.
TEST_F(DeviceTest, CallsOutsideTheSubsetFailLoudly) {
    DWORD value = 0;
    EXPECT_EQ(device->SetRenderState(D3DRS_FOGENABLE, TRUE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRS_STENCILENABLE, TRUE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(250), 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->GetRenderState(D3DRS_SHADEMODE, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DSHADE_GOURAUD));
    EXPECT_EQ(device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRS_ANTIALIASEDLINEENABLE, TRUE), D3D_OK);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLOROP, 24 /* D3DTOP_DOTPRODUCT3 */), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEMP), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC), D3DERR_INVALIDCALL);
    D3DMATRIX m{};
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(257), &m), D3DERR_INVALIDCALL);
    D3DLIGHT9 spot{};
    spot.Type = D3DLIGHT_SPOT;
    EXPECT_EQ(device->SetLight(0, &spot), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LightEnable(8, TRUE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetFVF(D3DFVF_XYZ | 0x1000 /* D3DFVF_XYZB? */), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetStreamSource(1, nullptr, 0, 0), D3DERR_INVALIDCALL);
    // 256 vertex and 32 pixel constant registers; a start near 2^32 must not
    // wrap around into range.
    const float zeros[8] = {};
    EXPECT_EQ(device->SetVertexShaderConstantF(255, zeros, 1), D3D_OK);
    EXPECT_EQ(device->SetVertexShaderConstantF(255, zeros, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShaderConstantF(0xFFFFFFFFu, zeros, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetPixelShaderConstantF(31, zeros, 1), D3D_OK);
    EXPECT_EQ(device->SetPixelShaderConstantF(32, zeros, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetPixelShaderConstantF(1, zeros, 0xFFFFFFFFu), D3DERR_INVALIDCALL);

    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL); // 16 x 16 has five levels
    EXPECT_EQ(
        device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(device->CreateIndexBuffer(64, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &ib, nullptr), D3DERR_INVALIDCALL);
    const D3DVERTEXELEMENT9 blend[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_BLENDWEIGHT, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    EXPECT_EQ(device->CreateVertexDeclaration(blend, &decl), D3DERR_INVALIDCALL);

    // Render-target textures cannot be locked; drawing needs a scene.
    ASSERT_EQ(
        device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    texture->Release();
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no stream after UP
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

// Objects count references; a released texture or surface that was bound
// leaves nothing dangling behind in the device.
TEST_F(DeviceTest, ReferenceCountsAndReleasedBindings) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 3u); // creation, level, this call
    EXPECT_EQ(level->Release(), 2u);  // a level counts on its texture
    EXPECT_EQ(texture->Release(), 1u);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    device->SetRenderTarget(0, level);
    device->SetTexture(1, texture);
    level->Release();
    EXPECT_EQ(texture->Release(), 0u);
    // The device drops the target and the texture; drawing now fails cleanly.
    device->BeginScene();
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    device->EndScene();
    Ref<IDirect3DSurface9> back;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.put());
    EXPECT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(readBackBuffer("after").at(3, 3), 0xFF00FF00u);
}

// In virtual run mode a presented frame moves the virtual clock by one frame
// step, and the back buffer keeps the frame for reading back.
TEST_F(DeviceTest, PresentAdvancesTheVirtualClockByOneFrame) {
    constexpr std::uint64_t kStep = 16'666'667;
    platform::kernel::useVirtualClock(kStep);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), D3D_OK);
    const std::uint64_t before = platform::kernel::clockNowNs();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const std::uint64_t after = platform::kernel::clockNowNs();
    platform::kernel::useWallClock();
    EXPECT_EQ(after - before, 2 * kStep);
    EXPECT_EQ(readBackBuffer("presented").at(0, 0), 0xFF123456u);
    RECT source{0, 0, 8, 8};
    EXPECT_EQ(device->Present(&source, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace platform::d3d9::test
