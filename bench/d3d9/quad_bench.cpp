// A full-screen quad with two texture stages (modulate, then blend factor
// alpha) into an 800 x 600 target, 100 quads a frame, on the headless
// context. Reports frames per second and the GL work the layer issues per
// quad once the state has settled.
#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/runmode.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u0, v0, u1, v1;
};

IDirect3DTexture9* makeTexture(IDirect3DDevice9* device, DWORD seed) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (UINT y = 0; y < 256; ++y) {
        auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < 256; ++x) {
            row[x] = 0xFF000000u | ((x * seed) & 0xFF) << 16 | ((y * seed) & 0xFF) << 8 | ((x ^ y) & 0xFF);
        }
    }
    texture->UnlockRect(0);
    return texture;
}

void fullScreenTwoStageQuads(benchmark::State& state) {
    platform::setRunMode(platform::RunMode::virtualRun);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 800;
    params.BackBufferHeight = 600;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D24S8;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (d3d == nullptr ||
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device) != D3D_OK) {
        state.SkipWithError("no headless device");
        return;
    }
    IDirect3DTexture9* t0 = makeTexture(device, 3);
    IDirect3DTexture9* t1 = makeTexture(device, 7);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80808080u);
    device->SetTexture(0, t0);
    device->SetTexture(1, t1);
    for (DWORD s = 0; s < 2; ++s) {
        device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
    const Vertex quad[4] = {{0, 0, 0, 1, 0xFFFFFFFFu, 0, 0, 0, 0},
                            {800, 0, 0, 1, 0xFFFFFFFFu, 1, 0, 1, 0},
                            {800, 600, 0, 1, 0xFFFFFFFFu, 1, 1, 1, 1},
                            {0, 600, 0, 1, 0xFFFFFFFFu, 0, 1, 0, 1}};
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    std::vector<D3DCOLOR> pixels;
    auto frame = [&] {
        device->BeginScene();
        for (int i = 0; i < 100; ++i) {
            device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex));
        }
        device->EndScene();
        // Reading one frame back waits for GL to finish it.
        UINT w = 0;
        UINT h = 0;
        platform::d3d9::readBack(back, w, h, pixels);
    };
    frame(); // builds the program and settles the state
    const auto before = platform::d3d9::countersOf(device);
    frame();
    const auto after = platform::d3d9::countersOf(device);
    for (auto _ : state) {
        frame();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // Per quad in a settled frame; the frame's read-back adds one framebuffer binding.
    state.counters["draws_per_quad"] = static_cast<double>(after.draws - before.draws) / 100.0;
    state.counters["state_changes_per_quad"] = static_cast<double>(after.stateChanges - before.stateChanges) / 100.0;
    state.counters["uploads_per_quad"] = static_cast<double>(after.uploads - before.uploads) / 100.0;
    back->Release();
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    t0->Release();
    t1->Release();
    device->Release();
    d3d->Release();
}
BENCHMARK(fullScreenTwoStageQuads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

} // namespace
