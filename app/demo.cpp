#include "app/demo.h"

#include "app/core/errors.h"
#include "dx/dxbase.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/win32/user.h"
#include "resources/dialogs/dialogs.h"
#include "resources/pictures/pictures.h"
#include "resources/texprograms/texprograms.h"
#include "texgen/program.h"
#include "text/fontatlas.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr int kTextureSide = 256;
constexpr std::size_t kTexturePitch = kTextureSide * 4;

// What drawScreenQuad is called through by the effects.
struct QuadObject {
    device* owner;
};

struct BlurContext {
    device* owner;
    QuadObject* quad;
};

// The counter frequency and the count at the start of the show.
struct StartCount {
    std::int64_t frequency;
    std::int64_t start;
};

// Everything start-up makes; it lives until the process ends.
struct Show {
    device* dev = nullptr;
    fontAtlas* atlas = nullptr;
    QuadObject* quad = nullptr;
    BlurContext* blur = nullptr;
    vertexbuffer* pool = nullptr;
    std::array<int, 6> targets{};
    std::array<texture*, 4> programs{};
    std::vector<std::uint32_t> fifthProgram;
    texture* logo = nullptr;
    std::vector<texture*> captions;
    Matrix view{};
    Matrix projection{};
    StartCount demoClock{};
};

// Weak shader hardware shows the first texture in grey: the mean of the three
// colour bytes (each divided by three, summed in floating point and truncated),
// with alpha 0.
void turnGrey(std::vector<std::uint32_t>& pixels) {
    for (std::uint32_t& p : pixels) {
        const float red = static_cast<float>((p >> 16) & 0xFF);
        const float green = static_cast<float>((p >> 8) & 0xFF);
        const float blue = static_cast<float>(p & 0xFF);
        const auto grey = static_cast<std::uint32_t>(red / 3.0f + blue / 3.0f + green / 3.0f);
        p = grey << 16 | grey << 8 | grey;
    }
}

std::vector<std::uint32_t> runProgram(int number) {
    std::vector<std::uint32_t> pixels(std::size_t{kTextureSide} * kTextureSide);
    texgen::runTextureProgram(resources::textureProgram(number), pixels.data(), kTexturePitch);
    return pixels;
}

// The atlas, the four program textures, the logo and a caption on one frame.
void drawTestFrame(const Show& c) {
    device& d = *c.dev;
    const float w = d.targetSize[0].width;
    const float h = d.targetSize[0].height;
    d.beginTarget(0, D3DCOLOR_XRGB(16, 16, 48), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    d.resetStages();
    const ColorArgb white{1.0f, 1.0f, 1.0f, 1.0f};
    const float side = std::min(w / 4.0f, h / 2.0f);
    for (int i = 0; i < 4; ++i) {
        d.setTexture(0, *c.programs[static_cast<std::size_t>(i)]);
        d.drawScreenQuad(side * static_cast<float>(i), 0.0f, side * static_cast<float>(i + 1), side, 0.0f, 0.0f, 1.0f,
                         1.0f, white);
    }
    d.setTexture(0, *c.logo);
    d.drawScreenQuad(w / 2.0f, h / 2.0f, w, h * 3.0f / 4.0f, 0.0f, 0.0f, 1.0f, 1.0f, white);
    d.setTexture(0, *c.captions.front());
    d.drawScreenQuad(w / 2.0f, h * 3.0f / 4.0f, w, h * 7.0f / 8.0f, 0.0f, 0.0f, 1.0f, 1.0f, white);

    d.setAlphaBlend(true);
    d.d3dDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d.d3dDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d.d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d.d3dDevice->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d.setRawTexture(0, c.atlas->texture);
    d.drawScreenQuad(0.0f, h / 2.0f, h / 2.0f, h, 0.0f, 0.0f, 1.0f, 1.0f, white);
    c.atlas->drawText(0.75f, 0.9f, 0.5f, 0.05f, 0.05f, 0.0f, 0xFFFF40FFu, "RIZA3V test frame\nEscape quits", true);
    d.setAlphaBlend(false);
    d.endScene();
    d.present();
}

// Shows the test frame until a window message raises the quit exception.
[[noreturn]] void runTestFrame(const Show& c) {
    for (;;) {
        MSG message{};
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        drawTestFrame(c);
    }
}

} // namespace

void runDemo(int, char*) {
    installDialogResources();

    DemoSettings settings{};
    settings.showSetupDialog = 1;
    settings.caption = "hehe";
    settings.hardwareVertexProcessing = 1;
    settings.width = 800;
    settings.height = 600;
    settings.refreshRate = 75;
    settings.backBufferFormat = D3DFMT_X8R8G8B8;
    settings.windowed = 0;

    auto* show = new Show;
    dxwindow* window = (new dxwindow)->createMainWindow();
    device* dev = window->setupDisplay(settings);
    show->dev = dev;

    show->atlas = new fontAtlas(dev);
    show->atlas->create();

    show->quad = new QuadObject{dev};
    show->blur = new BlurContext{dev, show->quad};

    show->pool = new vertexbuffer(dev, 1000, true, 1, false, true);

    const int backWidth = static_cast<int>(dev->presentParameters.BackBufferWidth);
    const int backHeight = static_cast<int>(dev->presentParameters.BackBufferHeight);
    for (std::size_t t = 0; t < show->targets.size(); ++t) {
        const bool screenSized = t < 3;
        show->targets[t] = dev->createRenderTarget(screenSized ? backWidth : 512, screenSized ? backHeight : 256, 1,
                                                   D3DFMT_A8R8G8B8, 0);
    }

    const bool weakShaders =
        dev->caps.VertexShaderVersion < D3DVS_VERSION(1, 1) || dev->caps.PixelShaderVersion < D3DPS_VERSION(1, 3);
    for (int number = 1; number <= 4; ++number) {
        std::vector<std::uint32_t> pixels = runProgram(number);
        if (number == 1 && weakShaders) {
            turnGrey(pixels);
        }
        show->programs[static_cast<std::size_t>(number - 1)] =
            new texture(dev, pixels.data(), kTextureSide, kTextureSide, -1, 0);
    }
    // Program 5's pixels stay in memory for the effects that read them.
    show->fifthProgram = runProgram(5);

    const std::vector<std::uint8_t> logo = logoPicture();
    show->logo =
        new texture(dev, toPixels32(logo.data(), kLogoWidth, kLogoHeight).data(), kLogoWidth, kLogoHeight, 0, 0);
    const std::vector<std::uint8_t> strips = stripPictures();
    for (int strip : kCaptionStrips) {
        const std::uint8_t* rgb =
            strips.data() + std::size_t{kStripWidth} * kStripHeight * 3 * static_cast<std::size_t>(strip);
        show->captions.push_back(
            new texture(dev, toPixels32(rgb, kStripWidth, kStripHeight).data(), kStripWidth, kStripHeight, 0, 0));
    }

    dev->d3dDevice->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    dev->useFixedFunction();
    identity(show->view);
    perspective(show->projection, 90.4f);

    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    show->demoClock = StartCount{frequency.QuadPart, now.QuadPart};

    runTestFrame(*show);
}
