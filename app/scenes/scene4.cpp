// Scene 4: the blob scene drawn off screen, mirrored and blurred onto the
// screen with the title, and the caption strips stepping on random rows.
#include "app/scenes/compose.h"
#include "app/scenes/scenes.h"
#include "app/show.h"
#include "dx/dxdevice.h"
#include "dx/dxtexture.h"
#include "effects/blobscene.h"
#include "effects/zoomblur.h"
#include "music/songclock.h"
#include "platform/crt/random.h"
#include "text/fontatlas.h"

#include <cmath>

namespace app::scenes {

namespace {

void flatDefaults(device& d) {
    d.setLighting(false);
    d.cullNone();
    d.useFixedFunction();
    d.resetStages();
}

} // namespace

int nextCaption(int captionIndex, int row) {
    if (row % 6 != 0 && (platform::crt::rand() & 255) > 120) {
        return (captionIndex + 1) % kCaptionCount;
    }
    return captionIndex;
}

void drawScene4(Show& show, float t, float) {
    device& d = *show.dev;
    const int t1 = show.target(1);
    const int t2 = show.target(2);

    d.beginTarget(t1, 0x0000FF00, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    flatDefaults(d);
    setCamera(show, 70.0f, Vector3{0.0f, 0.0f, 4.0f});
    show.blobs->drawBlobScene(d, t, dx::Vector4{0.0f, 0.0f, 4.0f, 0.0f}, show.program(3).d3dTexture, false, nullptr);
    d.endScene();
    flatDefaults(d);
    resetTo2D(d);

    const float w = screenWidth(d);
    const float h = screenHeight(d);
    fourWayMirror(t2, 0, w, h, d, *show.quad);

    d.beginTarget(t2, 0, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    resetTo2D(d);
    show.atlas->drawText(0.5f, 0.4f, 3.0f + std::sin(t), 0.1f + 0.01f * std::sin(t), 0.1f + 0.01f * std::cos(t), 0.0f,
                         0xFFFFFFFFu, "TEH FF0FF OR 00FF00", true);
    zoomBlur(d, t1, 0, t2, std::sin(0.3f * t) + 1.0f, std::cos(0.3f * t) - 1.5f, 5, 0.001f, 4.1f, 0.0f);

    d.setAlphaBlend(true);
    d.blendAdd();
    show.captionIndex = nextCaption(show.captionIndex, show.music->row());
    d.setTexture(0, *show.captions[static_cast<std::size_t>(show.captionIndex)]);
    d.drawScreenQuad(100.0f, 200.0f, w, std::trunc(h / 2.0f), 0.0f, 0.0f, 1.0f, 1.0f,
                     dx::ColorArgb{1.0f, 1.0f, 1.0f, 1.0f});
    d.setAlphaBlend(false);
    d.endScene();
}

} // namespace app::scenes
