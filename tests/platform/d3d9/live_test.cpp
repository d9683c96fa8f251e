// The live path: a device on an SDL window. SDL's offscreen video driver
// gives a real SDL window with a GL context and no display, so this runs
// headless. The window lookup normally comes from the window manager; this
// test program supplies its own, for the one window it makes.
#include "platform/kernel/runmode.h"
#include "platform/win32/windowhost.h"
#include "tests/platform/d3d9/harness.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdlib>
#include <vector>

namespace {
SDL_Window* testWindow = nullptr;
HWND const kTestHandle = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x100));
} // namespace

namespace platform::win32 {
SDL_Window* sdlWindowFor(HWND window) {
    return window == kTestHandle ? testWindow : nullptr;
}
} // namespace platform::win32

namespace {

class LiveDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        testWindow = SDL_CreateWindow("live test", 0, 0, 320, 240, SDL_WINDOW_OPENGL);
        ASSERT_NE(testWindow, nullptr) << SDL_GetError();
        platform::kernel::setRunMode(platform::kernel::RunMode::live);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    void TearDown() override {
        if (d3d != nullptr) {
            d3d->Release();
        }
        SDL_DestroyWindow(testWindow);
        testWindow = nullptr;
        SDL_Quit();
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    }

    IDirect3D9* d3d = nullptr;
};

// Present shows the back buffer in the window the right way up: what was
// drawn at the top of the back buffer is at the top of the window.
TEST_F(LiveDevice, PresentShowsTheBackBufferUprightInTheWindow) {
    EXPECT_GE(d3d->GetAdapterCount(), 1u);
    EXPECT_GE(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 1u);
    // The headless back buffer, but double-buffered and shown in the test's window.
    D3DPRESENT_PARAMETERS params = headless::presentParameters(320, 240);
    params.BackBufferCount = 2;
    params.hDeviceWindow = kTestHandle;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, kTestHandle, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    const platform::d3d9::test::ScreenVertex band[4] = {{0, 0, 0, 1, 0xFF00FF00u, 0, 0},
                                                        {320, 0, 0, 1, 0xFF00FF00u, 0, 0},
                                                        {320, 60, 0, 1, 0xFF00FF00u, 0, 0},
                                                        {0, 60, 0, 1, 0xFF00FF00u, 0, 0}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, band, sizeof band[0]), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // The offscreen driver's window surface keeps its contents after the
    // swap; read its top and bottom rows (GL rows count from the bottom).
    using ReadPixels = void (*)(int, int, int, int, unsigned, unsigned, void*);
    using ReadBuffer = void (*)(unsigned);
    auto readPixels = reinterpret_cast<ReadPixels>(SDL_GL_GetProcAddress("glReadPixels"));
    auto readBuffer = reinterpret_cast<ReadBuffer>(SDL_GL_GetProcAddress("glReadBuffer"));
    auto bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBindFramebuffer"));
    ASSERT_TRUE(readPixels != nullptr && readBuffer != nullptr && bindFramebuffer != nullptr);
    bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    readBuffer(GL_BACK);
    unsigned char top[4] = {};
    unsigned char bottom[4] = {};
    readPixels(10, 239, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, top);
    readPixels(10, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom);
    // Red and green: the green band on top, the red clear colour below.
    EXPECT_EQ((std::vector<int>{top[0], top[1], bottom[0], bottom[1]}), (std::vector<int>{0, 255, 255, 0}));

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    UINT w = 0;
    UINT h = 0;
    std::vector<D3DCOLOR> pixels;
    ASSERT_EQ(platform::d3d9::readBack(back, w, h, pixels), D3D_OK);
    EXPECT_EQ(pixels[10], 0xFF00FF00u);
    EXPECT_EQ(pixels[static_cast<std::size_t>(239) * 320 + 10], 0xFFFF0000u);
    back->Release();
    EXPECT_EQ(device->Release(), 0u);
}

} // namespace
