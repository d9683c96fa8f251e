// Scene 3: a point cloud that pulses on random frames, mirrored into four
// quarters, blurred and mirrored again, under the logo growing past the
// screen's corner.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "dx/dxvertexbuffer.h"
#include "effects/zoomblur.h"
#include "platform/crt/random.h"

#include <cmath>

namespace app::scenes {

namespace {

// About half the frames draw a second value and pulse by up to 0.5 either
// way; the rest do not pulse.
float drawPulse() {
    const auto r1 = static_cast<float>(platform::crt::rand() & 255);
    if (0.5f - r1 / 255.0f > 0.0f) {
        const auto r2 = static_cast<float>(platform::crt::rand() & 255);
        return 0.5f - r2 / 255.0f;
    }
    return 0.0f;
}

} // namespace

void drawScene3(Show& show, float t, float) {
    device& d = *show.dev;
    const int t1 = show.target(1);
    const int t2 = show.target(2);
    const float pulse = drawPulse();

    d.beginTarget(t1, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    setCamera(show, 90.6f, Vector3{std::sin(t + 0.1f), 1.4f * std::cos(t), -0.8f});
    d.setWireframe(false);
    vertexbuffer& pool = *show.pool;
    for (int i = 0; i < 1000; ++i) {
        const auto fi = static_cast<float>(i);
        float* p = pool.position(i, false);
        p[0] = std::sin(pulse + 0.1f * fi + t);
        p[1] = std::sin(t + 0.01f * fi);
        p[2] = pulse * std::sin(std::cos(0.1f * fi) + 0.01f * fi + t);
    }
    d.setAlphaBlend(true);
    d.blendAdd();
    drawSpriteCloud(show, 0.5f);
    d.setAlphaBlend(false);
    d.setZWrite(true);
    d.endScene();
    d.setLighting(false);
    d.cullNone();
    d.useFixedFunction();
    d.resetStages();

    const float w = screenWidth(d);
    const float h = screenHeight(d);
    fourWayMirror(t1, t2, w, h, d, *show.quad);
    d.beginTarget(0, 0, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    zoomBlur(d, t2, t1, t2, 0.0f, 0.0f, 10, 0.05f, 5.0f, pulse);
    fourWayMirror(t2, 0, w, h, d, *show.quad);

    d.setAlphaBlend(true);
    d.blendAdd();
    d.setTexture(0, *show.logo);
    d.drawScreenQuad(0.0f, 0.0f, w + 2.0f * t, h + 2.0f * t, 0.0f, 0.0f, 1.0f, 1.0f,
                     dx::ColorArgb{1.0f, 1.0f, pulse, 1.0f});
    d.setAlphaBlend(false);
    d.endScene();
}

} // namespace app::scenes
