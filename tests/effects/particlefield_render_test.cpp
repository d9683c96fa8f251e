// The cloth drawn on the headless layer at a few moments: flat, draped over
// the sphere, blown off it by the wind; its down-facing side lit; pictures kept with RIZA3V_TEST_PNG_DIR.
#include "dx/dxdevice.h"
#include "effects/particlefield.h"
#include "tests/platform/d3d9/harness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class ClothPicture : public platform::d3d9::test::DeviceTest {};

TEST_F(ClothPicture, TheSheetIsDrawnWhereItHasMoved) {
    makeDevice(320, 240);
    ::device d;
    d.d3dDevice = device;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &d.targetSurface[0]), D3D_OK);
    d.targetSurface[0]->Release();
    ASSERT_EQ(device->GetDepthStencilSurface(&d.depthSurface[0]), D3D_OK);
    d.depthSurface[0]->Release();
    ::testing::internal::CaptureStderr();
    particleField cloth(&d);
    cloth.wind = {0.0f, 0.0f, 600.0f};
    cloth.buildLattice(25);
    cloth.buildBuffers();
    // The sphere's centre lands at (0, 0, 20), seen from above and in front.
    Matrix view{}, projection{}, world{};
    lookAtUp(view, {0.0f, 0.0f, 20.0f}, {0.0f, 12.0f, 6.0f});
    perspective(projection, 1.2f);
    identity(world);
    world.m[3][1] = -8.0f;
    world.m[3][2] = 20.0f;
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.8f, 0.6f, 1.0f};
    light.Direction = {0.3f, 1.0f, 0.4f};
    int steps = 0;
    std::vector<D3DCOLOR> first;
    // The first step computes the normals the lighting needs.
    for (const int moment : {1, 30, 150}) {
        for (; steps < moment; ++steps) {
            cloth.step();
        }
        d.beginTarget(0, 0xFF101020u, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d.useFixedFunction();
        d.resetStages();
        d.setRawTexture(0, nullptr);
        d.cullNone();
        d.setDepthTest(true);
        d.setView(view);
        d.setProjection(projection);
        d.setWorld(world);
        device->SetLight(0, &light);
        d.enableLight0();
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        cloth.draw();
        d.endScene();
        const std::string name = "step" + std::to_string(moment);
        const platform::d3d9::test::Picture picture = readBackBuffer(name.c_str());
        if (first.empty()) {
            int lit = 0;
            for (D3DCOLOR c : picture.pixels) {
                lit += platform::d3d9::test::red(c) > 0x40;
            }
            EXPECT_GT(lit, 2000) << "the flat sheet is lit and in view";
            first = picture.pixels;
        } else {
            EXPECT_NE(picture.pixels, first) << name << ": the moved sheet is drawn where it is now";
        }
    }
    ::testing::internal::GetCapturedStderr();
}

} // namespace
