#include "tests/d3d9/harness.h"

namespace d3d9test {
namespace {

TEST_F(DeviceTest, ClearsAndDrawsAQuad) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    drawQuad(8, 8, 24, 16, 0xFFFF0000u);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    Picture p = readBackBuffer("quad");
    EXPECT_EQ(p.at(0, 0), 0xFF102030u);
    EXPECT_EQ(p.at(8, 8), 0xFFFF0000u);
    EXPECT_EQ(p.at(23, 15), 0xFFFF0000u);
    EXPECT_EQ(p.at(24, 15), 0xFF102030u);
    EXPECT_EQ(p.at(23, 16), 0xFF102030u);
    EXPECT_EQ(p.at(7, 8), 0xFF102030u);
    EXPECT_EQ(p.at(8, 7), 0xFF102030u);
}

} // namespace
} // namespace d3d9test
