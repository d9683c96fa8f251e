#include "tests/platform/d3d9/harness.h"

#include "tests/support/png.h"

#include <cstdlib>

namespace platform::d3d9::test {

void DeviceTest::SetUp() {
    d3d = headless::openVirtualLayer();
    ASSERT_NE(d3d, nullptr);
    makeDevice(64, 64);
}

void DeviceTest::TearDown() {
    if (device != nullptr) {
        EXPECT_EQ(device->Release(), 0u);
    }
    if (d3d != nullptr) {
        d3d->Release();
    }
}

void DeviceTest::begin(D3DCOLOR clear, IDirect3DBaseTexture9* texture) {
    Ref<IDirect3DSurface9> depth;
    device->GetDepthStencilSurface(depth.put());
    const DWORD targets = depth != nullptr ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_TARGET;
    ASSERT_EQ(device->Clear(0, nullptr, targets, clear, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    if (texture != nullptr) {
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    }
}

void DeviceTest::makeDevice(UINT width, UINT height, BOOL autoDepth, D3DFORMAT depthFormat) {
    if (device != nullptr) {
        device->Release();
        device = nullptr;
    }
    params = headless::presentParameters(width, height, autoDepth, depthFormat);
    ASSERT_EQ(headless::createDevice(d3d, params, &device), D3D_OK);
}

Picture DeviceTest::read(IDirect3DSurface9* surface, const char* name) {
    Picture p;
    EXPECT_EQ(headless::readPicture(surface, p), D3D_OK);
    tests::support::keepPicture(name, p.width, p.height, p.pixels.data());
    return p;
}

Picture DeviceTest::readBackBuffer(const char* name) {
    IDirect3DSurface9* back = nullptr;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    Picture p = read(back, name);
    back->Release();
    return p;
}

void DeviceTest::drawQuad(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z, float u1, float v1) {
    ScreenVertex v[4] = {{x0, y0, z, 1.0f, colour, 0.0f, 0.0f},
                         {x1, y0, z, 1.0f, colour, u1, 0.0f},
                         {x1, y1, z, 1.0f, colour, u1, v1},
                         {x0, y1, z, 1.0f, colour, 0.0f, v1}};
    drawPrimitiveUp(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, D3DPT_TRIANGLEFAN, 2, v);
}

IDirect3DTexture9* DeviceTest::makeTexture(UINT width, UINT height, D3DCOLOR (*pixel)(UINT x, UINT y), D3DFORMAT format,
                                           UINT levels) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    if (texture == nullptr) {
        return nullptr;
    }
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < height; ++y) {
        auto* row =
            reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + static_cast<std::size_t>(y) * locked.Pitch);
        for (UINT x = 0; x < width; ++x) {
            row[x] = pixel(x, y);
        }
    }
    EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
    return texture;
}

void expectPixels(const Picture& p, std::initializer_list<Probe> probes) {
    for (const Probe& probe : probes) {
        EXPECT_EQ(p.at(probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
    }
}

} // namespace platform::d3d9::test
