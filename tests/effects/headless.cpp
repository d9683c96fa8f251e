#include "tests/effects/headless.h"

#include "platform/d3d9/d3d9ext.h"
#include "platform/kernel/runmode.h"
#include "tests/support/png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace effectstest {

device* headlessDevice(UINT width, UINT height) {
    static device* made = [&]() -> device* {
        platform::setRunMode(platform::RunMode::virtualRun);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (d3d == nullptr) {
            return nullptr;
        }
        auto* d = new device();
        D3DPRESENT_PARAMETERS& p = d->presentParameters;
        p.BackBufferWidth = width;
        p.BackBufferHeight = height;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D24S8;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &d->caps) != D3D_OK ||
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d->d3dDevice) !=
                D3D_OK) {
            return nullptr;
        }
        d->d3dDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d->targetSurface[0]);
        d->d3dDevice->GetDepthStencilSurface(&d->depthSurface[0]);
        d->targetSize[0] = TargetSize{static_cast<float>(width), static_cast<float>(height)};
        d->targetCount = 1;
        return d;
    }();
    return made;
}

Picture readTarget(device& d, int target, const char* name) {
    Picture picture;
    EXPECT_EQ(platform::d3d9::readBack(d.targetSurface[target], picture.width, picture.height, picture.pixels), D3D_OK);
    if (const char* dir = std::getenv("RIZA3V_TEST_PNG_DIR")) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string path =
            std::string(dir) + "/" + info->test_suite_name() + "." + info->name() + "-" + name + ".png";
        // Opaque, for looking at: the blur's final pass leaves alpha 0x7F.
        std::vector<D3DCOLOR> opaque = picture.pixels;
        for (D3DCOLOR& c : opaque) {
            c |= 0xFF000000u;
        }
        EXPECT_TRUE(testsupport::writeArgbPng(path, picture.width, picture.height, opaque.data())) << path;
    }
    return picture;
}

void useShaderFolder() {
    ASSERT_EQ(chdir(RIZA3V_BINARY_DIR), 0) << RIZA3V_BINARY_DIR;
}

} // namespace effectstest
