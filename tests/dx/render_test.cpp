// The framework on the real Direct3D 9 layer in virtual run mode: the setup
// dialog answered by the scripted user opens a device, and textures, screen
// quads and screen text reach the back buffer.
#include "dx/dxbase.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "resources/dialogs/dialogs.h"
#include "text/fontatlas.h"
#include "tools/headless/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
    EXPECT_EQ(shared->presentParameters.BackBufferWidth, 640u);
    EXPECT_EQ(shared->presentParameters.BackBufferHeight, 480u);
    EXPECT_EQ(shared->presentParameters.Windowed, TRUE);
    EXPECT_EQ(shared->targetCount, 2);
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
    EXPECT_EQ(half.at(0, 0), 0xFFFE0000u);
    EXPECT_EQ(half.at(31, 31), 0xFF0000FEu);

    d.beginTarget(0, D3DCOLOR_XRGB(0, 64, 0), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    d.resetStages();
    d.setTexture(0, t);
    d.drawScreenQuad(100, 100, 228, 164, 0, 0, 1, 1, {1, 1, 1, 1});
    d.endScene();
    d.present();
    const Picture back = read(d.targetSurface[0]);
    EXPECT_EQ(back.at(10, 10) & 0xFFFFFFu, 0x004000u);
    EXPECT_EQ(back.at(110, 120) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(back.at(220, 120) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(back.at(230, 120) & 0xFFFFFFu, 0x004000u);
}

TEST_F(RenderTest, ScreenTextLandsInItsBox) {
    device& d = *shared;
    fontAtlas atlas(&d);
    ASSERT_EQ(atlas.create(), D3D_OK);
    d.beginTarget(0, D3DCOLOR_XRGB(0, 0, 0), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    // "HI" centred on the middle of the screen, 0.2 of the height tall.
    atlas.drawText(0.5f, 0.5f, 0.5f, 0.2f, 0.2f, 0.0f, 0xFFFFFF00u, "HI", true);
    d.endScene();
    d.present();
    const Picture back = read(d.targetSurface[0]);
    int lit = 0;
    int outside = 0;
    const float lineTop = 480.0f * 0.5f - 0.5f - 0.6f * 96.0f;
    for (UINT y = 0; y < back.height; ++y) {
        for (UINT x = 0; x < back.width; ++x) {
            const D3DCOLOR c = back.at(x, y) & 0xFFFFFFu;
            if (c == 0) {
                continue;
            }
            EXPECT_EQ(c & 0xFF, 0u) << "text is yellow";
            const bool inBox = static_cast<float>(y) >= lineTop - 1.0f && static_cast<float>(y) <= lineTop + 97.0f &&
                               x > 200 && x < 440;
            (inBox ? lit : outside) += 1;
        }
    }
    EXPECT_GT(lit, 500);
    EXPECT_EQ(outside, 0);
}

TEST_F(RenderTest, PoolTrianglesDrawThroughEveryBuffer) {
    device& d = *shared;
    vertexbuffer pool(&d, 65535 + 3, false, 1, false, true);
    std::memset(pool.vertices.data(), 0, pool.byteSize);
    Matrix unit{};
    identity(unit);
    d.setWorld(unit);
    d.setView(unit);
    d.setProjection(unit);
    // The last triangle of the first buffer covers the left half of the screen,
    // the only triangle of the second buffer the right half.
    const float left[3][3] = {{-1, 1, 0.5f}, {0, 1, 0.5f}, {-1, -1, 0.5f}};
    const float right[3][3] = {{0, 1, 0.5f}, {1, 1, 0.5f}, {1, -1, 0.5f}};
    for (int v = 0; v < 3; ++v) {
        std::memcpy(pool.position(65532 + v, false), left[v], sizeof left[v]);
        std::memcpy(pool.position(65535 + v, false), right[v], sizeof right[v]);
    }
    pool.upload();
    d.beginTarget(0, D3DCOLOR_XRGB(0, 0, 0), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    d.useFixedFunction();
    d.resetStages();
    d.setRawTexture(0, nullptr);
    d.setLighting(false);
    d.cullNone();
    d.setDepthTest(false);
    d.d3dDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    pool.drawTriangles(-1);
    d.endScene();
    d.present();
    const Picture back = read(d.targetSurface[0]);
    EXPECT_NE(back.at(40, 60) & 0xFFFFFFu, 0u);
    EXPECT_NE(back.at(600, 60) & 0xFFFFFFu, 0u);
    EXPECT_EQ(back.at(600, 470) & 0xFFFFFFu, 0u);
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
