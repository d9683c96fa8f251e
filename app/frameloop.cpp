#include "app/frameloop.h"

#include "app/scenes/scenes.h"
#include "app/show.h"
#include "app/timeline.h"
#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "music/songclock.h"
#include "platform/win32/user.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The process-wide state of the frame observer: the one function (and its
// context) that every frame of the loop is reported to.
struct ObserverState {
    app::FrameObserver observer = nullptr;
    void* context = nullptr;
};
ObserverState observerState;

void handleOneMessage() {
    MSG message{};
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

} // namespace

namespace app {

void setFrameObserver(FrameObserver observer, void* context) {
    observerState.observer = observer;
    observerState.context = context;
}

void drawBeatBars(Show& show, int part, float flash, float fadeA, float fadeB) {
    device& d = *show.dev;
    d.beginTarget(0, 0, 0);
    d.setAlphaBlend(true);
    if (part == 5) {
        d.blendScreen();
    } else {
        d.blendAdd();
    }
    d.setRawTexture(0, nullptr);
    d.d3dDevice->SetPixelShader(nullptr);
    if (part != 3 && part != 6) {
        const auto w = static_cast<float>(d.presentParameters.BackBufferWidth);
        const auto h = static_cast<float>(d.presentParameters.BackBufferHeight);
        if (fadeA > 0.0f) {
            d.drawScreenQuad(0.0f, 0.0f, w, h * 0.25f, 0.5f, 0.5f, 0.0f, 0.0f, dx::ColorArgb{1.0f, fadeA, 0.0f, fadeA});
        }
        if (fadeB > 0.0f) {
            const float top = part == 1 ? h * 2.0f / 3.0f : h * 2.0f / 3.0f - std::trunc(h / 2.0f) * flash;
            d.drawScreenQuad(0.0f, top, w, h, 0.5f, 0.5f, 0.0f, 0.0f, dx::ColorArgb{1.0f, 0.0f, fadeB, 0.0f});
        }
    }
    d.setAlphaBlend(false);
    d.endScene();
}

void runFrameLoop(Show& show) {
    device& d = *show.dev;
    for (;;) {
        const int order = show.music->order();
        const int row = show.music->row();
        beatPulse(order, row);
        const auto flash = static_cast<float>(fadeOf(flashClock().elapsed()));

        if ((GetAsyncKeyState(VK_SPACE) & 1) != 0) {
            show.part = nextPart(show.part);
            logPrintf("part = %d", show.part);
        }
        const double t = show.demoClock.elapsed();

        handleOneMessage();

        d.setRawTexture(0, show.program(1).d3dTexture);
        d.setAlphaBlend(false);

        show.part = partAt(show.part, t);
        if (showIsOver(t)) {
            std::exit(0);
        }
        app::scenes::drawScene(show.part, show, static_cast<float>(t), flash);

        const auto fadeA = static_cast<float>(fadeOf(pulseClockA().elapsed()));
        const auto fadeB = static_cast<float>(fadeOf(pulseClockB().elapsed()));
        drawBeatBars(show, show.part, flash, fadeA, fadeB);
        d.setDepthTest(true);
        d.cullCounterClockwise();
        if (observerState.observer != nullptr) {
            observerState.observer(FrameRecord{t, show.part, flash, order, row, show.captionIndex, fadeA, fadeB},
                                   observerState.context);
        }
        d.present();
    }
}

} // namespace app
