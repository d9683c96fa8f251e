// Screen text through the real graphics layer: the atlas made by GDI, drawn
// by drawText with the depth arguments the show uses (3 and 10, far outside
// 0..1) on a headless device and read back.
#include "dx/dxdevice.h"
#include "tests/platform/d3d9/harness.h"
#include "text/fontatlas.h"

namespace platform::d3d9::test {
namespace {

constexpr D3DCOLOR kBlack = 0xFF000000u;

class TextRender : public DeviceTest {
  protected:
    // Draws "RIZA" in white at the depth on a black 256 x 64 target and
    // counts the pixels the glyphs lit.
    int litPixels(float depth, Picture& picture) {
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), D3D_OK);
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        EXPECT_EQ(atlas.drawText(0.05f, 0.5f, depth, 0.6f, 0.6f, 0.0f, 0xFFFFFFFFu, "RIZA", false), D3D_OK);
        EXPECT_EQ(device->EndScene(), D3D_OK);
        picture = readBackBuffer(depth > 1.0f ? "far" : "inside");
        int lit = 0;
        for (D3DCOLOR c : picture.pixels) {
            lit += red(c) > 128 ? 1 : 0;
        }
        return lit;
    }

    void SetUp() override {
        DeviceTest::SetUp();
        makeDevice(256, 64);
        owner.d3dDevice = device;
        owner.targetSize[0] = dx::TargetSize{256.0f, 64.0f};
        ASSERT_EQ(atlas.create(), D3D_OK);
    }
    void TearDown() override {
        if (atlas.quadBuffer != nullptr) {
            atlas.quadBuffer->Release();
        }
        if (atlas.texture != nullptr) {
            atlas.texture->Release();
        }
        DeviceTest::TearDown();
    }

    ::device owner;
    fontAtlas atlas{&owner};
};

// The depth test is off for text, so its depth changes nothing: at 3 and 10
// the glyphs light the same pixels as at 0.5, and there are glyph pixels.
TEST_F(TextRender, TextAtDepthsBeyondOneShows) {
    Picture inside;
    Picture far;
    const int insideLit = litPixels(0.5f, inside);
    EXPECT_GT(insideLit, 0);
    EXPECT_EQ(litPixels(3.0f, far), insideLit);
    EXPECT_EQ(far.pixels, inside.pixels);
    EXPECT_EQ(litPixels(10.0f, far), insideLit);
}

} // namespace
} // namespace platform::d3d9::test
