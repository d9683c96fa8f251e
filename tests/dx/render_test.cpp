// The framework on the real Direct3D 9 layer in virtual run mode: the setup
// dialog answered by the scripted user opens a device, and textures and screen
// quads reach the back buffer.
#include "dx/dxbase.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "resources/dialogs/dialogs.h"
#include "tools/headless/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>
#include <vector>

namespace script = platform::win32::script;

namespace {

using headless::Picture;

Picture read(IDirect3DSurface9* surface) {
    Picture p;
    EXPECT_EQ(headless::readPicture(surface, p), D3D_OK);
    return p;
}

// One device for the whole suite: the layer makes one device per process.
class RenderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        resources::installDialogResources();
        static dx::dxwindow window;
        window.createMainWindow();
        script::clear();
        script::chooseRow(resources::kAdapterList, 0);
        script::chooseRowText(resources::kResolutionList, "640x480");
        script::chooseRowText(resources::kRefreshRateList, "75 Hz");
        script::click(IDOK);
        DemoSettings settings{};
        settings.showSetupDialog = 1;
        settings.hardwareVertexProcessing = 1;
        settings.backBufferFormat = D3DFMT_X8R8G8B8;
        ::testing::internal::CaptureStderr();
        shared = window.setupDisplay(settings);
        startLog = new std::string(::testing::internal::GetCapturedStderr());
    }
    static device* shared;
    static std::string* startLog;
};

device* RenderTest::shared = nullptr;
std::string* RenderTest::startLog = nullptr;

TEST_F(RenderTest, TheDialogOpensTheChosenModeWithTheShadowTarget) {
    ASSERT_NE(shared, nullptr);
    const D3DPRESENT_PARAMETERS& p = shared->presentParameters;
    EXPECT_EQ(std::tuple(p.BackBufferWidth, p.BackBufferHeight, p.Windowed, shared->targetCount),
              std::tuple(640u, 480u, TRUE, 2));
    EXPECT_EQ(*startLog, "Backbuffer format:\nD3DFMT_X8R8G8B8\nUsable depthstencilformat:\nD3DFMT_D24S8\n"
                         "Format som används\nD3DFMT_G16R16\ntarget 1 har xres = 1024 och yres = 1024!\n\n");
    const Picture shadow = read(shared->targetSurface[1]);
    EXPECT_EQ(shadow.width, 1024u);
}

TEST_F(RenderTest, TexturedScreenQuadAndItsSmallerLevels) {
    device& d = *shared;
    std::vector<std::uint32_t> pixels(64 * 64);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = (i % 64) < 32 ? 0xFFFF0000u : 0xFF0000FFu;
    }
    texture t(&d, pixels.data(), 64, 64, -1, 0);
    IDirect3DSurface9* level1 = nullptr;
    ASSERT_EQ(t.d3dTexture->GetSurfaceLevel(1, &level1), D3D_OK);
    const Picture half = read(level1);
    level1->Release();
    EXPECT_EQ(t.d3dTexture->GetLevelCount(), 7u);
    ASSERT_EQ(half.width, 32u);
    EXPECT_EQ(std::pair(half.at(0, 0), half.at(31, 31)), std::pair(0xFFFE0000u, 0xFF0000FEu));

    d.beginTarget(0, D3DCOLOR_XRGB(0, 64, 0), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    d.resetStages();
    d.setTexture(0, t);
    d.drawScreenQuad(100, 100, 228, 164, 0, 0, 1, 1, {1, 1, 1, 1});
    d.endScene();
    d.present();
    const Picture back = read(d.targetSurface[0]);
    // Background, the quad's red and blue halves, background again.
    const auto rgb = [&](UINT x, UINT y) { return back.at(x, y) & 0xFFFFFFu; };
    EXPECT_EQ((std::array{rgb(10, 10), rgb(110, 120), rgb(220, 120), rgb(230, 120)}),
              (std::array{0x004000u, 0xFF0000u, 0x0000FFu, 0x004000u}));
}

// The wrapper's three blend modes over a grey-blue background, by the
// platform's rule result = source x SRCBLEND + destination x DESTBLEND:
// screen s x s + d x (1 - s), multiply d x s, add s + d.
TEST_F(RenderTest, BlendModesMixTheQuadWithTheTarget) {
    device& d = *shared;
    const int background[3] = {0x40, 0x80, 0xC0};
    const dx::ColorArgb quad{1.0f, 0.8f, 0.4f, 0.2f};
    const float source[3] = {quad.r, quad.g, quad.b};
    struct Mode {
        void (device::*set)();
        const char* name;
    };
    for (const Mode& m : {Mode{&device::blendScreen, "screen"}, Mode{&device::blendMultiply, "multiply"},
                          Mode{&device::blendAdd, "add"}}) {
        d.beginTarget(0, D3DCOLOR_XRGB(background[0], background[1], background[2]),
                      D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d.resetStages();
        d.setRawTexture(0, nullptr);
        d.d3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        d.setAlphaBlend(true);
        (d.*m.set)();
        d.drawScreenQuad(0, 0, 64, 64, 0, 0, 1, 1, quad);
        d.setAlphaBlend(false);
        d.endScene();
        const Picture back = read(d.targetSurface[0]);
        for (int c = 0; c < 3; ++c) {
            const double s = static_cast<std::uint8_t>(source[c] * 255.0f) / 255.0;
            const double dst = background[c] / 255.0;
            const double expected = m.set == &device::blendScreen     ? s * s + dst * (1 - s)
                                    : m.set == &device::blendMultiply ? dst * s
                                                                      : std::min(1.0, s + dst);
            const int got = static_cast<int>((back.at(20, 20) >> (16 - 8 * c)) & 0xFF);
            EXPECT_NEAR(got, expected * 255.0, 1.5) << m.name << " channel " << c;
        }
    }
}

} // namespace
